#include "submit/core/run_report.h"

#include "platform/json_text.h"
#include "platform/program_info.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

namespace {

// RFC 4180 read back independently of the writer: quoted fields with doubled quotes, CR LF rows.
QList<QStringList> parseCsv(const QByteArray& bytes) {
    const QString text = QString::fromUtf8(bytes);
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text.at(i + 1) == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            row.append(field);
            field.clear();
        } else if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') {
            row.append(field);
            rows.append(row);
            row.clear();
            field.clear();
            ++i;
        } else {
            field += c;
        }
    }
    if (!field.isEmpty() || !row.isEmpty())
        rows.append(row << field); // a last row without CR LF shows as an extra row
    return rows;
}

ResultRecord record(const QString& title, ResultRecord::Verdict verdict, int status, const QString& error,
                    const QString& reason, qint64 ms) {
    ResultRecord r;
    r.title = title;
    r.url = "http://e.test/indexnow?url=" + title + "&key=k";
    r.verdict = verdict;
    r.httpStatus = status;
    r.error = error;
    r.meaning = "Meaning of " + title;
    r.reason = reason;
    r.milliseconds = ms;
    return r;
}

RunResults sampleRun() {
    RunResults results;
    results.started = QDateTime(QDate(2026, 12, 8), QTime(23, 42, 26), QTimeZone(3600));
    results.finished = QDateTime(QDate(2026, 12, 8), QTime(23, 43, 1), QTimeZone(-5 * 3600 - 1800));
    results.profilePath = "/home/u/my \"site\".tvp";
    using V = ResultRecord::Verdict;
    results.records = {
        record("Plain", V::Ok, 200, {}, "Thank you", 120),
        record("Quoted, comma", V::Error, 403, {}, "Key \"abc\" is not valid,\r\nsee line 2\tend", 87),
        record("Ünïcode ✓", V::Error, 0, "Connection refused", {}, 3),
        record("Left", V::Skipped, 0, {}, {}, 0),
    };
    return results;
}

} // namespace

class TestRunReport : public QObject {
    Q_OBJECT

private slots:
    void csvReadsBack() {
        const RunResults results = sampleRun();
        const QByteArray bytes = runReportCsv(results);
        QVERIFY(bytes.endsWith("\r\n"));
        const QList<QStringList> rows = parseCsv(bytes);
        QCOMPARE(rows.size(), results.records.size() + 1);
        QCOMPARE(rows.at(0),
                 (QStringList{"title", "url", "verdict", "status", "error", "meaning", "reason", "milliseconds"}));
        const QStringList verdicts{"OK", "ERROR", "ERROR", "SKIPPED"};
        for (int k = 0; k < results.records.size(); ++k) {
            const ResultRecord& r = results.records.at(k);
            const QStringList expected{
                r.title, r.url,     verdicts.at(k), r.httpStatus ? QString::number(r.httpStatus) : QString(),
                r.error, r.meaning, r.reason,       QString::number(r.milliseconds)};
            QCOMPARE(rows.at(k + 1), expected);
        }
    }

    void jsonReadsBack() {
        const RunResults results = sampleRun();
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(runReportJson(results), &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        const QJsonObject top = document.object();
        QCOMPARE(top.keys().size(), 6);
        QCOMPARE(top["program"].toString(), "Torvane");
        QCOMPARE(top["version"].toString(), programVersion());
        QVERIFY(!programVersion().isEmpty());
        QCOMPARE(top["started"].toString(), "2026-12-08T23:42:26+01:00");
        QCOMPARE(top["finished"].toString(), "2026-12-08T23:43:01-05:30");
        QCOMPARE(QDateTime::fromString(top["started"].toString(), Qt::ISODate), results.started);
        QCOMPARE(top["profile"].toString(), results.profilePath);

        const QJsonArray engines = top["engines"].toArray();
        QCOMPARE(engines.size(), results.records.size());
        const QStringList verdicts{"OK", "ERROR", "ERROR", "SKIPPED"};
        for (int k = 0; k < engines.size(); ++k) {
            const ResultRecord& r = results.records.at(k);
            const QJsonObject e = engines.at(k).toObject();
            QCOMPARE(e.keys().size(), 8);
            QCOMPARE(e["title"].toString(), r.title);
            QCOMPARE(e["url"].toString(), r.url);
            QCOMPARE(e["verdict"].toString(), verdicts.at(k));
            if (r.httpStatus)
                QCOMPARE(e["status"].toInt(), r.httpStatus);
            else
                QVERIFY(e["status"].isNull());
            if (r.error.isEmpty())
                QVERIFY(e["error"].isNull());
            else
                QCOMPARE(e["error"].toString(), r.error);
            QCOMPARE(e["meaning"].toString(), r.meaning);
            QCOMPARE(e["reason"].toString(), r.reason);
            QCOMPARE(e["milliseconds"].toInteger(), r.milliseconds);
        }
    }

    void jsonNullsAndBatches() {
        RunResults results; // never started, never saved, no records
        QJsonObject top = QJsonDocument::fromJson(runReportJson(results)).object();
        QVERIFY(top["started"].isNull());
        QVERIFY(top["finished"].isNull());
        QVERIFY(top["profile"].isNull());
        QVERIFY(top["engines"].isArray());

        ResultRecord batch = record("Batch", ResultRecord::Verdict::Ok, 202, {}, {}, 5);
        batch.batchSize = 250;
        batch.batchFirst = "https://s.example/a";
        batch.batchLast = "https://s.example/z";
        results.records = {record("One", ResultRecord::Verdict::Ok, 200, {}, {}, 1), batch};
        top = QJsonDocument::fromJson(runReportJson(results)).object();
        const QJsonArray engines = top["engines"].toArray();
        QVERIFY(!engines.at(0).toObject().contains("batch"));
        const QJsonObject b = engines.at(1).toObject()["batch"].toObject();
        QCOMPARE(b["first"].toString(), batch.batchFirst);
        QCOMPARE(b["last"].toString(), batch.batchLast);
        QCOMPARE(b["size"].toInt(), 250);
        const QList<QStringList> rows = parseCsv(runReportCsv(results));
        QCOMPARE(rows.at(0).mid(8), (QStringList{"batch_first", "batch_last", "batch_size"}));
        QCOMPARE(rows.at(1).mid(8), (QStringList{"", "", ""}));
        QCOMPARE(rows.at(2).mid(8), (QStringList{batch.batchFirst, batch.batchLast, "250"}));
    }

    // The key-file check is an extra field, present only where a record has one.
    void keyFileField() {
        RunResults results = sampleRun();
        results.records[1].keyFile = "The key file https://s.example/k.txt was not found, \"404\".";
        const QJsonArray engines = QJsonDocument::fromJson(runReportJson(results)).object()["engines"].toArray();
        QCOMPARE(engines.at(1).toObject()["key_file"].toString(), results.records[1].keyFile);
        QVERIFY(!engines.at(0).toObject().contains("key_file"));
        const QList<QStringList> rows = parseCsv(runReportCsv(results));
        QCOMPARE(rows.at(0).mid(8), QStringList{"key_file"});
        QCOMPARE(rows.at(1).mid(8), QStringList{""});
        QCOMPARE(rows.at(2).mid(8), QStringList{results.records[1].keyFile});
    }

    // Outside text: CSV keeps spreadsheets from reading it as a formula and drops NUL; JSON keeps
    // it as received, written by the one JSON string writer that request bodies use too.
    void outsideText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QByteArray>("json");
        const auto text = [](QStringView view) {
            return view.toString();
        };
        QTest::newRow("formula") << "=HYPERLINK(\"x\")"
                                 << "'=HYPERLINK(\"x\")" << QByteArray("\"=HYPERLINK(\\\"x\\\")\"");
        QTest::newRow("plus") << "+1"
                              << "'+1" << QByteArray("\"+1\"");
        QTest::newRow("minus") << "-2+3"
                               << "'-2+3" << QByteArray("\"-2+3\"");
        QTest::newRow("at") << "@SUM(A1)"
                            << "'@SUM(A1)" << QByteArray("\"@SUM(A1)\"");
        QTest::newRow("tab") << "\t=1"
                             << "'\t=1" << QByteArray("\"\\t=1\"");
        QTest::newRow("carriage return") << "\r=1"
                                         << "'\r=1" << QByteArray("\"\\r=1\"");
        QTest::newRow("inner sign stays") << "a=b-c"
                                          << "a=b-c" << QByteArray("\"a=b-c\"");
        QTest::newRow("NUL") << text(QStringView(u"a\0b", 3)) << "ab" << QByteArray("\"a\\u0000b\"");
        QTest::newRow("separators and escape")
            << text(u"\u2028\x1b\\") << text(u"\u2028\x1b\\") << QByteArray("\"\\u2028\\u001b\\\\\"");
    }
    void outsideText() {
        QFETCH(QString, text);
        QFETCH(QString, cell);
        QFETCH(QByteArray, json);
        RunResults results = sampleRun();
        results.records[0].reason = text;
        QCOMPARE(parseCsv(runReportCsv(results)).at(1).at(6), cell);
        QCOMPARE(jsonString(text), json);
        QVERIFY(runReportJson(results).contains("\"reason\": " + json + ','));
        const QJsonArray engines = QJsonDocument::fromJson(runReportJson(results)).object()["engines"].toArray();
        QCOMPARE(engines.at(0).toObject()["reason"].toString(), text);
    }

    void saveChoosesFormatAndKeepsOldFileOnFailure() {
        QTemporaryDir dir;
        const RunResults results = sampleRun();
        const QString json = dir.filePath("run.JSON");
        const QString csv = dir.filePath("run.txt");
        QCOMPARE(saveRunReport(json, results), QString());
        QCOMPARE(saveRunReport(csv, results), QString());
        QFile jsonFile(json), csvFile(csv);
        QVERIFY(jsonFile.open(QIODevice::ReadOnly) && csvFile.open(QIODevice::ReadOnly));
        QCOMPARE(jsonFile.readAll(), runReportJson(results));
        QCOMPARE(csvFile.readAll(), runReportCsv(results));

        // A folder in the way: the error text, and nothing written.
        QVERIFY(QDir(dir.path()).mkdir("taken.csv"));
        QCOMPARE(saveRunReport(dir.filePath("taken.csv"), results), "Unable to write to " + dir.filePath("taken.csv"));
        QCOMPARE(saveRunReport(dir.filePath("missing/run.csv"), results),
                 "Unable to write to " + dir.filePath("missing/run.csv"));
    }
};

QTEST_APPLESS_MAIN(TestRunReport)
#include "test_run_report.moc"
