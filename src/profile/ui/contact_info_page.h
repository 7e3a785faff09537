#pragma once

#include "profile/ui/profile_page.h"

class QComboBox;
class QLineEdit;

// The Contact Info page (GroupBox1): organisation, e-mail, names, address, country with its
// two-letter code, phone, fax and password. Picking a country from the list puts its code
// into the code box; text the program sets never does.
class ContactInfoPage : public ProfilePage {
    Q_OBJECT

public:
    explicit ContactInfoPage(QWidget* parent = nullptr);

    // Copies the page's fields into fields / sets them from fields (Site Info members are
    // left alone). Setting the country text does not look its code up.
    void readFields(ProfileFields& fields) const override;
    void setFields(const ProfileFields& fields) override;

private:
    void ComboBox9Change(int position);

    QLineEdit* m_edits[12] = {};       // Edit1 … Edit12
    QComboBox* m_country = nullptr;    // ComboBox9
    QComboBox* m_countryIds = nullptr; // ID, never shown
};
