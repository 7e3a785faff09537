#pragma once

#include "history/core/history_dialect.h"

#include <QSqlDatabase>
#include <QString>

// The history's tables. Version 1: sites, engine_groups, jobs, records, pages, page_states;
// version 2 adds claims; version 3 the latest Google inspection of each page; version 4 the machine
// and process that wrote each job. Times are whole seconds (page tables) or
// milliseconds (jobs, records) since 1970 UTC; pages are keyed by pageKey() of their address, so that a page costs its
// address once and a few integers per engine group.
inline constexpr int kHistorySchemaVersion = 4;

// Brings a database of version `from` (0: empty) up to kHistorySchemaVersion. Runs inside the
// caller's write transaction; false with *error when a statement failed.
// `to` is for tests that make an older history.
bool upgradeHistorySchema(QSqlDatabase& db, const HistoryDialect& dialect, int from, QString* error,
                          int to = kHistorySchemaVersion);
