#include "submit/core/result_text.h"

#include "platform/text_codec.h"

#include <QStringList>

namespace {

// Outside text in the details: whole, with its control characters made visible.
QString whole(const QString& text) {
    return displayText(text, text.size());
}

} // namespace

QString resultEngineText(const ResultRecord& record) {
    if (!record.isBatch())
        return displayText(record.title);
    return QStringLiteral("%1 (%2 addresses)").arg(displayText(record.title), QString::number(record.batchSize));
}

QString resultStatusText(const ResultRecord& record) {
    if (record.httpStatus > 0)
        return QString::number(record.httpStatus);
    return displayText(record.error);
}

QString resultSummary(const ResultRecord& record) {
    const QString status =
        record.httpStatus > 0 ? QStringLiteral("HTTP %1").arg(record.httpStatus) : displayText(record.error);
    return status.isEmpty() ? record.meaning : status + QStringLiteral(": ") + record.meaning;
}

QString resultDetails(const ResultRecord& record) {
    QStringList lines;
    lines << QStringLiteral("Engine: ") + whole(record.title) << QStringLiteral("URL sent: ") + whole(record.url)
          << QStringLiteral("Verdict: ") + verdictText(record.verdict);
    if (record.httpStatus > 0)
        lines << QStringLiteral("Status: %1").arg(record.httpStatus);
    if (!record.error.isEmpty())
        lines << QStringLiteral("Error: ") + whole(record.error);
    lines << QStringLiteral("Meaning: ") + record.meaning;
    if (!record.keyFile.isEmpty())
        lines << QStringLiteral("Key file: ") + whole(record.keyFile);
    if (!record.pageTitle.isEmpty())
        lines << QStringLiteral("Page title: ") + whole(record.pageTitle);
    lines << QStringLiteral("Time: %1 ms").arg(record.milliseconds);
    if (record.isBatch()) {
        lines << QStringLiteral("Batch: %1 addresses, from %2 to %3")
                     .arg(QString::number(record.batchSize), whole(record.batchFirst), whole(record.batchLast));
    }
    lines << QString() << QStringLiteral("Reason (the page's text):") << whole(record.reason);
    return lines.join(u'\n');
}
