#pragma once

#include "catalogue/core/engine_catalogue.h"

#include <QList>
#include <QString>
#include <QStringList>

// Engines that share what they receive (the catalogue's "Shares" key): sending to one of a group
// reaches the others, so choosing several sends the same thing more than once.

struct SharedGroup {
    QString name;       // the group's name as the first of its engines spells it
    QStringList titles; // its chosen engines, in the order chosen
};

// What makes two engines' Shares values one group: the name without blanks at either end,
// regardless of letter case. Empty for an engine that shares with none.
QString sharesGroupKey(const QString& shares);

// The groups with two or more engines among chosenTitles (engine titles, as in the current
// list), in the order of their first engine there. Group names match regardless of letter
// case; an engine without a group, a title not in the catalogue and a title given twice count
// once or not at all.
QList<SharedGroup> sharedGroups(const Engine_Type& catalogue, const QStringList& chosenTitles);

// The notice for one group: "These engines share what they receive; one of them is enough: "
// followed by its titles joined by ", ".
QString sharedGroupNotice(const SharedGroup& group);
