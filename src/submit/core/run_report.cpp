#include "submit/core/run_report.h"

#include "platform/atomic_file.h"
#include "platform/program_info.h"

#include <QStringList>
#include <algorithm>

namespace {

QString csvField(const QString& value) {
    if (!value.contains(u',') && !value.contains(u'"') && !value.contains(u'\r') && !value.contains(u'\n'))
        return value;
    QString quoted = value;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
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

// A JSON string literal: quotes, backslashes and control characters escaped.
QString jsonString(const QString& text) {
    QString out;
    out.reserve(text.size() + 2);
    out.append(u'"');
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'"':
            out.append(QStringLiteral("\\\""));
            break;
        case u'\\':
            out.append(QStringLiteral("\\\\"));
            break;
        case u'\n':
            out.append(QStringLiteral("\\n"));
            break;
        case u'\r':
            out.append(QStringLiteral("\\r"));
            break;
        case u'\t':
            out.append(QStringLiteral("\\t"));
            break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x2028 || c.unicode() == 0x2029)
                out.append(QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0')));
            else
                out.append(c);
        }
    }
    out.append(u'"');
    return out;
}

QString jsonTextOrNull(const QString& text) {
    return text.isEmpty() ? QStringLiteral("null") : jsonString(text);
}

QString jsonTimeOrNull(const QDateTime& time) {
    return time.isValid() ? jsonString(isoTimeWithOffset(time)) : QStringLiteral("null");
}

} // namespace

ReportFormat reportFormatForPath(const QString& path) {
    return path.endsWith(QLatin1StringView(".json"), Qt::CaseInsensitive) ? ReportFormat::Json : ReportFormat::Csv;
}

QString isoTimeWithOffset(const QDateTime& time) {
    const int offset = time.offsetFromUtc();
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")) + (offset < 0 ? u'-' : u'+') +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
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
    QString out;
    out += QStringLiteral("{\n  \"program\": ") + jsonString(programName());
    out += QStringLiteral(",\n  \"version\": ") + jsonString(programVersion());
    out += QStringLiteral(",\n  \"started\": ") + jsonTimeOrNull(results.started);
    out += QStringLiteral(",\n  \"finished\": ") + jsonTimeOrNull(results.finished);
    out += QStringLiteral(",\n  \"profile\": ") + jsonTextOrNull(results.profilePath);
    out += QStringLiteral(",\n  \"engines\": [");
    bool first = true;
    for (const ResultRecord& record : results.records) {
        out += first ? QStringLiteral("\n    {") : QStringLiteral(",\n    {");
        first = false;
        out += QStringLiteral("\n      \"title\": ") + jsonString(record.title);
        out += QStringLiteral(",\n      \"url\": ") + jsonString(record.url);
        out += QStringLiteral(",\n      \"verdict\": ") + jsonString(verdictText(record.verdict));
        out += QStringLiteral(",\n      \"status\": ") +
               (record.httpStatus > 0 ? QString::number(record.httpStatus) : QStringLiteral("null"));
        out += QStringLiteral(",\n      \"error\": ") + jsonTextOrNull(record.error);
        out += QStringLiteral(",\n      \"meaning\": ") + jsonString(record.meaning);
        out += QStringLiteral(",\n      \"reason\": ") + jsonString(record.reason);
        out += QStringLiteral(",\n      \"milliseconds\": ") + QString::number(record.milliseconds);
        if (!record.keyFile.isEmpty())
            out += QStringLiteral(",\n      \"key_file\": ") + jsonString(record.keyFile);
        if (record.isBatch()) {
            out += QStringLiteral(",\n      \"batch\": {\"first\": ") + jsonString(record.batchFirst) +
                   QStringLiteral(", \"last\": ") + jsonString(record.batchLast) + QStringLiteral(", \"size\": ") +
                   QString::number(record.batchSize) + u'}';
        }
        out += QStringLiteral("\n    }");
    }
    out += first ? QStringLiteral("]\n}\n") : QStringLiteral("\n  ]\n}\n");
    return out.toUtf8();
}

QString saveRunReport(const QString& path, const RunResults& results) {
    const QByteArray bytes =
        reportFormatForPath(path) == ReportFormat::Json ? runReportJson(results) : runReportCsv(results);
    return saveFileAtomically(path, bytes);
}
