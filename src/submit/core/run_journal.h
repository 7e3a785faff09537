#pragma once

#include "submit/core/result_record.h"

#include <QDateTime>
#include <QString>

// Where a run is written down as it goes (the history, when one is kept). The run controller
// tells it when a run starts, each record as it is judged, and when the run ends; what it does
// with them, and whether it can, is its own affair: a journal never stops a run.
class RunJournal {
public:
    virtual ~RunJournal() = default;

    // A run started with these records (all Pending) for the site of siteUrl.
    virtual void runStarted(const RunResults& results, const QString& siteUrl) = 0;
    // The record of the run's engine was judged (OK, ERROR or SKIPPED).
    virtual void recordJudged(const ResultRecord& record) = 0;
    // The record at index (its place in the run, which is also the order it was judged in) was
    // completed after it was judged: a key-file check's outcome. It may come after the run ended.
    virtual void recordCompleted(int /*index*/, const ResultRecord& /*record*/) {}
    // The run ended (Done or Stop) at finished.
    virtual void runEnded(const QDateTime& finished) = 0;
};
