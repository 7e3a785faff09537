#include "submit/core/run_report.h"

#include "platform/atomic_file.h"
#include "platform/json_text.h"
#include "platform/program_info.h"

#include <QStringList>
#include <algorithm>

namespace {

// A cell as a spreadsheet may not take it for a formula: text that begins with =, +, -, @, a tab
// or a carriage return gets a leading apostrophe. NUL characters, which no spreadsheet keeps,
// are dropped.
QString csvField(QString value) {
    value.remove(QChar(u'\0'));
    if (!value.isEmpty() && QStringView(u"=+-@\t\r").contains(value.front()))
        value.prepend(u'\'');
    if (!value.contains(u',') && !value.contains(u'"') && !value.contains(u'\r') && !value.contains(u'\n'))
        return value;
    value.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + value + u'"';
}

QString csvRow(const QStringList& fields) {
    QStringList out;
    out.reserve(fields.size());
    for (const QString& field : fields)
        out.append(csvField(field));
    return out.join(u',') + QStringLiteral("\r\n");
}

bool anyRecord(const RunResults& results, bool (*has)(const ResultRecord&)) {
    return std::any_of(results.records.cbegin(), results.records.cend(), has);
}

bool isBatch(const ResultRecord& record) {
    return record.isBatch();
}

bool hasKeyFile(const ResultRecord& record) {
    return !record.keyFile.isEmpty();
}

QByteArray jsonTextOrNull(const QString& text) {
    return text.isEmpty() ? QByteArray("null") : jsonString(text);
}

QByteArray jsonTimeOrNull(const QDateTime& time) {
    return time.isValid() ? jsonString(isoTimeWithOffset(time)) : QByteArray("null");
}

} // namespace

ReportFormat reportFormatForPath(const QString& path) {
    return path.endsWith(QLatin1StringView(".json"), Qt::CaseInsensitive) ? ReportFormat::Json : ReportFormat::Csv;
}

QString isoTimeWithOffset(const QDateTime& time) {
    const int offset = time.offsetFromUtc();
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")) + (offset < 0 ? u'-' : u'+') +
           QStringLiteral("%1:%2").arg(QString::number(minutes / 60).rightJustified(2, u'0'),
                                       QString::number(minutes % 60).rightJustified(2, u'0'));
}

QByteArray runReportCsv(const RunResults& results) {
    const bool batches = anyRecord(results, isBatch);
    const bool keyFiles = anyRecord(results, hasKeyFile);
    QStringList header{QStringLiteral("title"),  QStringLiteral("url"),         QStringLiteral("verdict"),
                       QStringLiteral("status"), QStringLiteral("error"),       QStringLiteral("meaning"),
                       QStringLiteral("reason"), QStringLiteral("milliseconds")};
    if (batches)
        header << QStringLiteral("batch_first") << QStringLiteral("batch_last") << QStringLiteral("batch_size");
    if (keyFiles)
        header << QStringLiteral("key_file");
    QString out = csvRow(header);
    for (const ResultRecord& record : results.records) {
        QStringList row{record.title,
                        record.url,
                        verdictText(record.verdict),
                        record.httpStatus > 0 ? QString::number(record.httpStatus) : QString(),
                        record.error,
                        record.meaning,
                        record.reason,
                        QString::number(record.milliseconds)};
        if (batches) {
            row << record.batchFirst << record.batchLast
                << (record.isBatch() ? QString::number(record.batchSize) : QString());
        }
        if (keyFiles)
            row << record.keyFile;
        out += csvRow(row);
    }
    return out.toUtf8();
}

QByteArray runReportJson(const RunResults& results) {
    QByteArray out;
    out += "{\n  \"program\": " + jsonString(programName());
    out += ",\n  \"version\": " + jsonString(programVersion());
    out += ",\n  \"started\": " + jsonTimeOrNull(results.started);
    out += ",\n  \"finished\": " + jsonTimeOrNull(results.finished);
    out += ",\n  \"profile\": " + jsonTextOrNull(results.profilePath);
    out += ",\n  \"engines\": [";
    bool first = true;
    for (const ResultRecord& record : results.records) {
        out += first ? "\n    {" : ",\n    {";
        first = false;
        out += "\n      \"title\": " + jsonString(record.title);
        out += ",\n      \"url\": " + jsonString(record.url);
        out += ",\n      \"verdict\": " + jsonString(verdictText(record.verdict));
        out += ",\n      \"status\": " +
               (record.httpStatus > 0 ? QByteArray::number(record.httpStatus) : QByteArray("null"));
        out += ",\n      \"error\": " + jsonTextOrNull(record.error);
        out += ",\n      \"meaning\": " + jsonString(record.meaning);
        out += ",\n      \"reason\": " + jsonString(record.reason);
        out += ",\n      \"milliseconds\": " + QByteArray::number(record.milliseconds);
        if (!record.keyFile.isEmpty())
            out += ",\n      \"key_file\": " + jsonString(record.keyFile);
        if (record.isBatch()) {
            out += ",\n      \"batch\": {\"first\": " + jsonString(record.batchFirst) +
                   ", \"last\": " + jsonString(record.batchLast) +
                   ", \"size\": " + QByteArray::number(record.batchSize) + '}';
        }
        out += "\n    }";
    }
    out += first ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

QString saveRunReport(const QString& path, const RunResults& results) {
    const QByteArray bytes =
        reportFormatForPath(path) == ReportFormat::Json ? runReportJson(results) : runReportCsv(results);
    return saveFileAtomically(path, bytes);
}
