#include "profile/ui/site_info_page.h"

#include "common/ui/widget_placement.h"

#include <QLineEdit>
#include <QPlainTextEdit>

namespace {

constexpr int kKeywordLefts[4] = {16, 104, 192, 280};
constexpr int kKeywordWidths[4] = {81, 81, 81, 89};

} // namespace

SiteInfoPage::SiteInfoPage(QWidget* parent) : ProfilePage(parent) {
    setObjectName(QStringLiteral("GroupBox2"));

    // Created in tab order: Edit13 … Edit22, then Memo1.
    QLabel* label = placeLabel(this, "Label13", QStringLiteral("Your site title"), 16, 16);
    m_title = placeWidget<QLineEdit>(this, "Edit13", 16, 32, 353, 21);
    labelControl(label, m_title);
    label = placeLabel(this, "Label14", QStringLiteral("Your url (for example https://www.torvane.example/)"), 16, 64);
    m_url = placeWidget<QLineEdit>(this, "Edit14", 16, 80, 353, 21);
    labelControl(label, m_url);
    label = placeLabel(this, "Label15", QStringLiteral("Enter keywords that related to your site"), 16, 112);
    for (int i = 0; i < 8; ++i) {
        const QByteArray name = "Edit" + QByteArray::number(15 + i);
        m_keywords[i] = placeWidget<QLineEdit>(this, name.constData(), kKeywordLefts[i % 4], i < 4 ? 128 : 160,
                                               kKeywordWidths[i % 4], 21);
        // One caption for the eight boxes: it is the first box's buddy, and each is named by number.
        nameControl(m_keywords[i], QStringLiteral("Keyword %1").arg(i + 1));
    }
    label->setBuddy(m_keywords[0]);
    label = placeLabel(this, "Label16", QStringLiteral("Tell us about your site (25 words or less)"), 16, 192);
    m_description = placeWidget<QPlainTextEdit>(this, "Memo1", 16, 208, 353, 81);
    labelControl(label, m_description);
    m_description->setTabChangesFocus(true);

    connect(m_title, &QLineEdit::textChanged, this, &SiteInfoPage::modified);
    connect(m_url, &QLineEdit::textChanged, this, &SiteInfoPage::modified);
    for (QLineEdit* keyword : m_keywords)
        connect(keyword, &QLineEdit::textChanged, this, &SiteInfoPage::modified);
    connect(m_description, &QPlainTextEdit::textChanged, this, &SiteInfoPage::modified);
}

void SiteInfoPage::readFields(ProfileFields& fields) const {
    fields.Site_Title = m_title->text();
    fields.Site_URL = m_url->text();
    for (int i = 0; i < 8; ++i)
        fields.Keyword[i] = m_keywords[i]->text();
    fields.Description = m_description->toPlainText().replace(u'\n', QStringLiteral("\r\n"));
}

void SiteInfoPage::setFields(const ProfileFields& fields) {
    m_title->setText(fields.Site_Title);
    m_url->setText(fields.Site_URL);
    for (int i = 0; i < 8; ++i)
        m_keywords[i]->setText(fields.Keyword[i]);
    QString description = fields.Description;
    description.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    // Setting the same text again would still count as a change of the memo.
    if (m_description->toPlainText() != description)
        m_description->setPlainText(description);
}
