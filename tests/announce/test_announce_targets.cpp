#include "announce/core/announce_targets.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

Engine_Data engine(const QString& title, const QString& key, const QString& url = u"https://engine.example/indexnow"_s,
                   const QString& optionTitle = u"IndexNow key"_s) {
    Engine_Data e;
    e.Title = title;
    e.Option = 1;
    e.Option_Title[0] = optionTitle;
    e.Option1 = key;
    e.Url = url;
    e.Shares = u"IndexNow"_s;
    return e;
}

} // namespace

class TestAnnounceTargets : public QObject {
    Q_OBJECT

private slots:
    void targets_data();
    void targets();
    void keyLocationOnlyForItsHost();
};

void TestAnnounceTargets::targets_data() {
    QTest::addColumn<QList<Engine_Data>>("engines");
    QTest::addColumn<QStringList>("currentList");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<int>("problems");

    const QString key = u"0123456789abcdef"_s;
    QTest::newRow("in the list's order, each once")
        << QList{engine(u"A"_s, key), engine(u"B"_s, key)} << QStringList{u"B"_s, u"A"_s, u"B"_s}
        << QStringList{u"B"_s, u"A"_s} << 0;
    QTest::newRow("not an IndexNow engine, not chosen")
        << QList{engine(u"A"_s, key, u"https://a.example/"_s, u"Category"_s), engine(u"B"_s, key)}
        << QStringList{u"A"_s} << QStringList{} << 1;
    QTest::newRow("invalid key and bad Url left out")
        << QList{engine(u"A"_s, u"short"_s), engine(u"B"_s, key, u"ftp://b.example/"_s), engine(u"C"_s, key)}
        << QStringList{u"A"_s, u"B"_s, u"C"_s} << QStringList{u"C"_s} << 2;
}

void TestAnnounceTargets::targets() {
    QFETCH(QList<Engine_Data>, engines);
    QFETCH(QStringList, currentList);
    QFETCH(QStringList, titles);
    QFETCH(int, problems);
    Engine_Type catalogue;
    catalogue.Items = engines;
    catalogue.Count = static_cast<qint32>(engines.size());
    const IndexNowTargets found = indexNowTargets(catalogue, currentList, u"https://www.example.com/blog/"_s);
    QStringList got;
    for (const AnnounceTarget& target : found.targets) {
        got.append(target.title);
        QCOMPARE(target.keyLocation, u"https://www.example.com/0123456789abcdef.txt"_s);
        QCOMPARE(target.shares, u"IndexNow"_s);
    }
    QCOMPARE(got, titles);
    QCOMPARE(found.problems.size(), problems);
}

void TestAnnounceTargets::keyLocationOnlyForItsHost() {
    const AnnounceTarget target{u"A"_s,
                                u"https://engine.example/indexnow"_s,
                                u"0123456789abcdef"_s,
                                u"http://www.example.com:8080/0123456789abcdef.txt"_s,
                                {}};
    const QList<AnnounceBatch> batches{{u"www.example.com"_s, {u"http://www.example.com:8080/a"_s}},
                                       {u"cdn.example.com"_s, {u"https://cdn.example.com/b"_s}}};
    const QList<AnnounceRequest> plan = planAnnouncement(batches, {target});
    QCOMPARE(plan.size(), 2);
    QVERIFY(plan[0].body.contains("\"keyLocation\":\"http://www.example.com:8080/0123456789abcdef.txt\""));
    QVERIFY(!plan[1].body.contains("keyLocation"));

    // Batches carry their host in its ASCII form; a key file on an international host is still
    // on the batch's own host, whatever form Qt gives the host in.
    const AnnounceTarget international{u"A"_s,
                                       u"https://engine.example/indexnow"_s,
                                       u"0123456789abcdef"_s,
                                       u"https://bücher.de/keys/0123456789abcdef.txt"_s,
                                       {}};
    const QList<AnnounceRequest> idn =
        planAnnouncement({{u"xn--bcher-kva.de"_s, {u"https://xn--bcher-kva.de/a"_s}}}, {international});
    QCOMPARE(idn.size(), 1);
    QVERIFY(idn[0].body.contains("keyLocation"));
}

QTEST_GUILESS_MAIN(TestAnnounceTargets)
#include "test_announce_targets.moc"
