#pragma once

#include "profile/ui/profile_page.h"

class QLineEdit;
class QPlainTextEdit;

// The Site Info page (GroupBox2): site title and URL, eight keywords and the description.
class SiteInfoPage : public ProfilePage {
    Q_OBJECT

public:
    explicit SiteInfoPage(QWidget* parent = nullptr);

    // Copies the page's fields into fields / sets them from fields (Contact Info members are
    // left alone). The description uses CR LF between its lines.
    void readFields(ProfileFields& fields) const override;
    void setFields(const ProfileFields& fields) override;

private:
    QLineEdit* m_title = nullptr;            // Edit13
    QLineEdit* m_url = nullptr;              // Edit14
    QLineEdit* m_keywords[8] = {};           // Edit15 … Edit22
    QPlainTextEdit* m_description = nullptr; // Memo1
};
