#include "profile/ui/contact_info_page.h"

#include "common/ui/typed_text_combo_box.h"
#include "common/ui/widget_placement.h"
#include "profile/core/country_table.h"

#include <QComboBox>
#include <QLineEdit>
#include <QValidator>

namespace {

// The code box takes at most two typed characters and upper-cases typed letters. Text set by
// the program (a code with trailing blanks) is not validated, so it may be longer.
class CountryCodeValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        return input.size() <= 2 ? Acceptable : Invalid;
    }
};

struct FieldPlace {
    const char* labelName;
    const char* caption;
    int left;
    int top;
};

// Edit<n> sits 16 pixels below its label, 169 x 21, except Edit9 (the code box beside the
// country list).
constexpr FieldPlace kFields[] = {
    {"Label1", "Name of Organization", 16, 16},
    {"Label2", "E-mail Address", 16, 64},
    {"Label3", "First Name", 16, 112},
    {"Label4", "Last Name", 16, 160},
    {"Label5", "Street", 16, 208},
    {"Label6", "City", 16, 256},
    {"Label7", "State", 200, 16},
    {"Label8", "Zip", 200, 64},
    {"Label9", "Country", 200, 112},
    {nullptr, nullptr, 344, 112},
    {"Label10", "Phone", 200, 160},
    {"Label11", "Fax (optional)", 200, 208},
    {"Label12", "Password", 200, 256},
};

} // namespace

ContactInfoPage::ContactInfoPage(QWidget* parent) : ProfilePage(parent) {
    setObjectName(QStringLiteral("GroupBox1"));

    // Created in tab order: Edit1 … Edit8, ComboBox9, Edit9, Edit10 … Edit12.
    int editNumber = 1;
    QLabel* countryLabel = nullptr;
    for (const FieldPlace& field : kFields) {
        QLabel* label = nullptr;
        if (field.labelName)
            label = placeLabel(this, field.labelName, QString::fromLatin1(field.caption), field.left, field.top);
        if (qstrcmp(field.labelName, "Label9") == 0) {
            m_country = placeWidget<QComboBox>(this, "ComboBox9", 200, 128, 137, 21);
            countryLabel = label;
            continue;
        }
        const QByteArray name = "Edit" + QByteArray::number(editNumber);
        const bool isCodeBox = editNumber == 9;
        auto* edit =
            placeWidget<QLineEdit>(this, name.constData(), field.left, field.top + 16, isCodeBox ? 25 : 169, 21);
        m_edits[editNumber - 1] = edit;
        if (label)
            labelControl(label, edit);
        else
            nameControl(edit, QStringLiteral("Country code")); // the code box beside the country list
        connect(edit, &QLineEdit::textChanged, this, &ContactInfoPage::modified);
        ++editNumber;
    }
    m_edits[8]->setValidator(new CountryCodeValidator(m_edits[8]));

    keepTypedText(m_country);
    m_country->setMaxVisibleItems(16);
    m_country->addItems(countryNames());
    m_country->setCurrentIndex(-1);
    labelControl(countryLabel, m_country);
    // A pick from the list looks its code up; typing leaves no list entry current.
    connect(m_country, &QComboBox::activated, this, &ContactInfoPage::ComboBox9Change);
    connect(m_country->lineEdit(), &QLineEdit::textEdited, this, [this] { ComboBox9Change(-1); });

    m_countryIds = new QComboBox(this);
    m_countryIds->setObjectName(QStringLiteral("ID"));
    m_countryIds->addItems(countryCodes());
    m_countryIds->hide();
}

void ContactInfoPage::ComboBox9Change(int position) {
    emit modified();
    m_countryIds->setCurrentIndex(position >= 0 && position < m_countryIds->count() ? position : -1);
    m_edits[8]->setText(m_countryIds->currentText());
}

void ContactInfoPage::readFields(ProfileFields& f) const {
    QString* const targets[] = {&f.Company, &f.Email, &f.First_Name, &f.Last_Name, &f.Street, &f.City,
                                &f.State,   &f.Zip,   &f.Country_ID, &f.Phone,     &f.Fax,    &f.Password};
    for (int i = 0; i < 12; ++i)
        *targets[i] = m_edits[i]->text();
    f.Country = m_country->currentText();
}

void ContactInfoPage::setFields(const ProfileFields& f) {
    const QString* const sources[] = {&f.Company, &f.Email, &f.First_Name, &f.Last_Name, &f.Street, &f.City,
                                      &f.State,   &f.Zip,   &f.Country_ID, &f.Phone,     &f.Fax,    &f.Password};
    for (int i = 0; i < 12; ++i)
        m_edits[i]->setText(*sources[i]);
    m_country->setEditText(f.Country);
}
