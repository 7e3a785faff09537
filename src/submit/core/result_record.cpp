#include "submit/core/result_record.h"

QString verdictText(ResultRecord::Verdict verdict) {
    switch (verdict) {
    case ResultRecord::Verdict::Ok:
        return QStringLiteral("OK");
    case ResultRecord::Verdict::Error:
        return QStringLiteral("ERROR");
    case ResultRecord::Verdict::Skipped:
        return QStringLiteral("SKIPPED");
    case ResultRecord::Verdict::Pending:
        break;
    }
    return QStringLiteral("PENDING");
}

QStringList RunResults::failedTitles() const {
    QStringList titles;
    for (const ResultRecord& record : records) {
        if (record.failed())
            titles.append(record.title);
    }
    return titles;
}
