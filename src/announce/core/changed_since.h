#pragma once

#include <QDate>
#include <QDateTime>
#include <QStringView>

// The "changed since" rule of an announcement: pages whose lastmod is earlier are left out.
// A date alone means midnight at the start of that day in the local time zone (as `date` and
// `find -newermt` read it); a date with a time and a zone is that instant.

// Local midnight at the start of date; invalid for an invalid date.
QDateTime changedSinceOfDate(QDate date);

// Reads a date as typed on the command line: YYYY, YYYY-MM or YYYY-MM-DD (local midnight of its
// first day), or a W3C date and time with its zone (2026-12-31T08:00:00Z, …+01:00). Invalid for
// anything else.
QDateTime parseChangedSince(QStringView text);
