#pragma once

#include "submit/core/result_record.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// The report of a run, as a file scripts and spreadsheets read.
enum class ReportFormat { Csv, Json };

// JSON when the file name ends in ".json" (any letter case), CSV otherwise.
ReportFormat reportFormatForPath(const QString& path);

// CSV as RFC 4180 has it, in UTF-8: a header row, then one row per record; lines end in CR LF,
// and a field holding a comma, a double quote, CR or LF is enclosed in double quotes (with its
// double quotes doubled). A field that begins with =, +, -, @, a tab or a carriage return gets a
// leading apostrophe, so that no spreadsheet takes outside text for a formula, and NUL characters
// are dropped (JSON keeps every text as it is). Columns: title, url, verdict, status (empty when none), error, meaning,
// reason, milliseconds; when any record is a batch, batch_first, batch_last and batch_size follow,
// and when any record holds a key-file check, key_file (see ResultRecord::keyFile) after them.
QByteArray runReportCsv(const RunResults& results);

// JSON in UTF-8, keys in this order:
//   {"program": "Torvane", "version": programVersion(), "started": time, "finished": time,
//    "profile": path or null, "engines": [{"title", "url", "verdict", "status" (number or
//    null), "error" (text or null), "meaning", "reason", "milliseconds"}, …]}
// Times are ISO 8601 with their offset from UTC, or null when not set. A record holding a
// key-file check adds "key_file" (its sentence) after "milliseconds", and a batch record adds
// "batch": {"first", "last", "size"} after that; other records have no such keys.
QByteArray runReportJson(const RunResults& results);

// A time as ISO 8601 with its offset from UTC ("2026-12-08T23:42:26+01:00").
QString isoTimeWithOffset(const QDateTime& time);

// Writes the report of results to path in the format its name asks for, atomically. Returns an
// empty string on success, else the error text (see saveFileAtomically).
QString saveRunReport(const QString& path, const RunResults& results);
