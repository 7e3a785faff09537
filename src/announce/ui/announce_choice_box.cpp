#include "announce/ui/announce_choice_box.h"

#include "announce/core/changed_since.h"

#include <QButtonGroup>
#include <QDateEdit>
#include <QGridLayout>
#include <QRadioButton>

using namespace Qt::StringLiterals;

AnnounceChoiceBox::AnnounceChoiceBox(QWidget* parent) : QGroupBox(u"What to announce"_s, parent) {
    setObjectName(u"WhatToAnnounce"_s);
    m_newOrChanged = new QRadioButton(u"New or changed since last announced"_s, this);
    m_newOrChanged->setObjectName(u"NewOrChanged"_s);
    m_newOrChanged->setToolTip(u"The pages never announced with an OK answer, those changed since, and those gone "
                               u"from the sitemap; it needs the history of the announcements."_s);
    m_newOrChanged->setEnabled(false);
    m_everyPage = new QRadioButton(u"Every page"_s, this);
    m_everyPage->setObjectName(u"EveryPage"_s);
    m_everyPage->setChecked(true);
    m_changedSince = new QRadioButton(u"Pages changed since"_s, this);
    m_changedSince->setObjectName(u"ChangedSinceFilter"_s);
    m_date = new QDateEdit(QDate::currentDate().addDays(-7), this);
    m_date->setObjectName(u"ChangedSince"_s);
    m_date->setCalendarPopup(true);
    m_date->setDisplayFormat(u"yyyy-MM-dd"_s);
    m_date->setAccessibleName(m_changedSince->text());
    m_date->setEnabled(false);

    m_group = new QButtonGroup(this);
    m_group->addButton(m_newOrChanged, static_cast<int>(AnnounceChoice::NewOrChanged));
    m_group->addButton(m_everyPage, static_cast<int>(AnnounceChoice::EveryPage));
    m_group->addButton(m_changedSince, static_cast<int>(AnnounceChoice::ChangedSince));
    connect(m_group, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (!checked)
            return;
        m_chosen = m_chosen || !m_settingDefault;
        m_date->setEnabled(m_changedSince->isChecked());
        emit choiceChanged();
    });
    connect(m_date, &QDateEdit::dateChanged, this, [this] {
        if (m_changedSince->isChecked())
            emit choiceChanged();
    });

    auto* layout = new QGridLayout(this);
    layout->addWidget(m_newOrChanged, 0, 0, 1, 2);
    layout->addWidget(m_everyPage, 1, 0, 1, 2);
    layout->addWidget(m_changedSince, 2, 0);
    layout->addWidget(m_date, 2, 1, Qt::AlignLeft);
    layout->setColumnStretch(1, 1);
}

AnnounceChoice AnnounceChoiceBox::choice() const {
    return static_cast<AnnounceChoice>(m_group->checkedId());
}

QDateTime AnnounceChoiceBox::changedSince() const {
    return m_changedSince->isChecked() ? changedSinceOfDate(m_date->date()) : QDateTime();
}

QDate AnnounceChoiceBox::date() const {
    return m_date->date();
}

void AnnounceChoiceBox::setHistoryKept(bool kept) {
    m_newOrChanged->setEnabled(kept);
    if (!kept && m_newOrChanged->isChecked())
        setDefault(m_everyPage); // nothing is known to be unchanged without a history
}

void AnnounceChoiceBox::offerDefault(bool siteHasHistory) {
    if (!m_chosen)
        setDefault(siteHasHistory && m_newOrChanged->isEnabled() ? m_newOrChanged : m_everyPage);
}

void AnnounceChoiceBox::setDefault(QRadioButton* button) {
    if (button->isChecked())
        return;
    m_settingDefault = true;
    button->setChecked(true);
    m_settingDefault = false;
}
