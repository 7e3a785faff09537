#pragma once

#include <QByteArray>
#include <QStringView>

// JSON text as the program writes it (reports, request bodies): UTF-8, every string written by
// appendJsonString, so that the same text is the same bytes everywhere.

// Appends text as a JSON string, quotes included: the quote and the backslash escaped, control
// characters as \b, \f, \n, \r, \t or \u00XX, U+2028 and U+2029 as \u2028 and \u2029 (which some
// readers take for line ends); everything else as its UTF-8 bytes.
void appendJsonString(QByteArray& out, QStringView text);
// The same as a value of its own.
QByteArray jsonString(QStringView text);
