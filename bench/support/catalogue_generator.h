#pragma once

#include <QByteArray>
#include <QString>

// A catalogue at full capacity, for benchmarks: kMaxEngines engines ("Search Engine 001" …),
// each with kMaxVariables form fields and kMaxOptionLists option lists of kMaxChoices choices
// with values, about a quarter of a million keys. Values hold no commas or quotes, so other
// INI readers see the same texts.
QByteArray fullCapacityCatalogue();

// Writes fullCapacityCatalogue() as directory + "/Engine.dat" and returns that path, or an
// empty string when it could not be written.
QString writeFullCapacityCatalogue(const QString& directory);
