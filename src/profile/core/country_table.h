#pragma once

#include <QString>
#include <QStringList>

// The country list of the Contact Info page and its parallel list of codes, matched by position
// only. A code is two upper-case letters followed by two blanks, or by one blank for twelve of
// them; the blanks are part of the code and are copied with it.
inline constexpr int kCountryCount = 241;

// The country names, in list order (the items of ComboBox9, not sorted).
QStringList countryNames();

// The codes, in the same order (the items of the hidden list ID).
QStringList countryCodes();

// The code at a list position (from 0); empty when there is no position (-1) or it is out of range.
QString countryCodeAt(int position);
