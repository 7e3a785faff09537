#pragma once

#include "announce/core/announce_choice.h"

#include <QDate>
#include <QDateTime>
#include <QGroupBox>

class QButtonGroup;
class QDateEdit;
class QRadioButton;

// "What to announce" (objectName "WhatToAnnounce"): New or changed since last announced, Every
// page, or Pages changed since a date. Until the user chooses, the window offers a default
// (offerDefault); New or changed is offered only while a history is kept.
class AnnounceChoiceBox final : public QGroupBox {
    Q_OBJECT

public:
    explicit AnnounceChoiceBox(QWidget* parent = nullptr);

    AnnounceChoice choice() const;
    // The date rule of Pages changed since (local midnight of the date chosen); invalid for the
    // other choices.
    QDateTime changedSince() const;
    QDate date() const;

    // Whether a history is kept; without, New or changed cannot be chosen (Every page replaces it).
    void setHistoryKept(bool kept);
    // Unless the user has chosen: New or changed when the site has a history, else Every page.
    void offerDefault(bool siteHasHistory);

signals:
    // The choice, or the date of Pages changed since, changed.
    void choiceChanged();

private:
    // Checks button as the window's default, not as the user's choice.
    void setDefault(QRadioButton* button);

    QButtonGroup* m_group = nullptr;
    QRadioButton* m_newOrChanged = nullptr;
    QRadioButton* m_everyPage = nullptr;
    QRadioButton* m_changedSince = nullptr;
    QDateEdit* m_date = nullptr;
    bool m_chosen = false;         // the user chose
    bool m_settingDefault = false; // the window, not the user, changes the choice
};
