#include "submit/core/request_builder.h"

#include <QRegularExpression>
#include <QTest>

Q_DECLARE_METATYPE(ProfileFields)

namespace {

Engine_Data makeEngine(const QString& title, const QString& url, const QStringList& names, const QStringList& values) {
    Engine_Data engine;
    engine.Title = title;
    engine.Url = url;
    engine.Variable.Count = static_cast<qint32>(names.size());
    engine.Variable.Names = names;
    engine.Variable.Values = values;
    return engine;
}

Engine_Type makeCatalogue(const QList<Engine_Data>& engines) {
    Engine_Type catalogue;
    catalogue.Count = static_cast<qint32>(engines.size());
    catalogue.Items = engines;
    return catalogue;
}

ProfileFields sampleProfile() {
    ProfileFields f;
    f.Company = "Acme & Sons";
    f.Email = "ann@acme.test";
    f.First_Name = "Ann";
    f.Last_Name = "Lee";
    f.Site_URL = "http://www.acme.test/a b?x=1&y=2";
    f.Keyword = {"a", "", "c", "", "", "", "", ""};
    f.Description = "Line one\r\nLine two";
    return f;
}

ProfileFields companyOnly(const QString& company) {
    ProfileFields f;
    f.Company = company;
    return f;
}

// A lookup that counts how often it is asked.
struct FakeLookup {
    QStringList addresses;
    int* calls;
    QStringList operator()() const {
        ++*calls;
        return addresses;
    }
};

// Splits a built URL's query into its pairs and decodes each value as a form-reading server
// would: "+" is a blank, then %XX bytes, read as UTF-8. Names are taken verbatim.
QList<std::pair<QString, QString>> decodeQuery(const QString& url, const QString& base) {
    QList<std::pair<QString, QString>> pairs;
    const QString query = url.sliced(base.size() + 1);
    for (const QString& pair : query.split('&')) {
        const qsizetype eq = pair.indexOf('=');
        QByteArray value = pair.sliced(eq + 1).toLatin1();
        value.replace('+', ' ');
        pairs.append({pair.first(eq), QString::fromUtf8(QByteArray::fromPercentEncoding(value))});
    }
    return pairs;
}

} // namespace

class TestRequestBuilder : public QObject {
    Q_OBJECT

private slots:
    void getVarData_data() {
        QTest::addColumn<ProfileFields>("fields");
        QTest::addColumn<QString>("optVal1");
        QTest::addColumn<QString>("optVal2");
        QTest::addColumn<QString>("valueText");
        QTest::addColumn<QString>("expected");
        const ProfileFields p = sampleProfile();

        QTest::newRow("VAR3") << p << ""
                              << ""
                              << "VAR3"
                              << "Ann";
        QTest::newRow("lower case var3 resolves") << p << ""
                                                  << ""
                                                  << "var3"
                                                  << "Ann";
        QTest::newRow("mixed case Var1") << p << ""
                                         << ""
                                         << "Var1"
                                         << "Acme & Sons";
        QTest::newRow("blank before VAR3 is literal") << p << ""
                                                      << ""
                                                      << " VAR3"
                                                      << " VAR3";
        QTest::newRow("blank after VAR3 is literal") << p << ""
                                                     << ""
                                                     << "VAR3 "
                                                     << "VAR3 ";
        QTest::newRow("VAR31 is literal") << p << ""
                                          << ""
                                          << "VAR31"
                                          << "VAR31";
        QTest::newRow("VAR0 is literal") << p << ""
                                         << ""
                                         << "VAR0"
                                         << "VAR0";
        QTest::newRow("VAR03 is literal") << p << ""
                                          << ""
                                          << "VAR03"
                                          << "VAR03";
        QTest::newRow("VAR1 does not match VAR10 prefix") << p << ""
                                                          << ""
                                                          << "VAR10x"
                                                          << "VAR10x";
        QTest::newRow("literal keeps its case") << p << ""
                                                << ""
                                                << "Submit Now"
                                                << "Submit Now";
        QTest::newRow("VAR5 with both names empty") << ProfileFields() << ""
                                                    << ""
                                                    << "VAR5"
                                                    << " ";
        QTest::newRow("VAR25 keyword list") << p << ""
                                            << ""
                                            << "VAR25"
                                            << "a,c";
        QTest::newRow("VAR26 keyword line") << p << ""
                                            << ""
                                            << "VAR26"
                                            << "a  c     ";
        QTest::newRow("VAR27 description") << p << ""
                                           << ""
                                           << "VAR27"
                                           << "Line one\r\nLine two";
        QTest::newRow("VAR28 option") << p << "Fast"
                                      << ""
                                      << "VAR28"
                                      << "Fast";
        QTest::newRow("VAR28 n/a is empty") << p << "n/a"
                                            << ""
                                            << "VAR28"
                                            << "";
        QTest::newRow("VAR29 N/a is empty") << p << ""
                                            << "N/a"
                                            << "VAR29"
                                            << "";
        QTest::newRow("VAR29 N/A2 is sent") << p << ""
                                            << "N/A2"
                                            << "VAR29"
                                            << "N/A2";
        QTest::newRow("VAR30 addresses with CR LF") << p << ""
                                                    << ""
                                                    << "VAR30"
                                                    << "10.0.0.1\r\n192.168.1.2\r\n";
    }
    void getVarData() {
        QFETCH(ProfileFields, fields);
        QFETCH(QString, optVal1);
        QFETCH(QString, optVal2);
        QFETCH(QString, valueText);
        QFETCH(QString, expected);
        Engine_Data engine = makeEngine("E", "http://e.test/add", {"f"}, {valueText});
        engine.OptVal1 = optVal1;
        engine.OptVal2 = optVal2;
        const Engine_Type catalogue = makeCatalogue({engine});
        const ProfileSnapshot snapshot = ReadData(fields);
        int calls = 0;
        RequestBuilder builder(catalogue, snapshot, FakeLookup{{"10.0.0.1", "192.168.1.2"}, &calls});
        QCOMPARE(builder.GetVarData(0, 0), expected);
    }

    void outOfRangeIndicesGiveEmpty() {
        const Engine_Type catalogue = makeCatalogue({makeEngine("E", "http://e.test/", {"f"}, {"lit"})});
        const ProfileSnapshot snapshot;
        RequestBuilder builder(catalogue, snapshot, [] { return QStringList(); });
        QCOMPARE(builder.GetVarData(0, 1), QString());
        QCOMPARE(builder.GetVarData(1, 0), QString());
        QCOMPARE(builder.GetVarData(-1, 0), QString());
        QCOMPARE(builder.requestUrl(1), QString());
    }

    void requestUrl_data() {
        QTest::addColumn<ProfileFields>("fields");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QString>("optVal1");
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<QString>("expected");
        const ProfileFields p = sampleProfile();
        const QString base = "http://e.test/add.cgi";

        QTest::newRow("site url and email, encoded")
            << p << base << QStringList{"url", "email"} << QStringList{"VAR16", "VAR2"} << "" << QStringList()
            << base + "?url=http%3A%2F%2Fwww.acme.test%2Fa+b%3Fx%3D1%26y%3D2&email=ann%40acme.test";
        QTest::newRow("no variables") << p << base << QStringList() << QStringList() << "" << QStringList()
                                      << base + "?=";
        QTest::newRow("url ending in a question mark")
            << p << base + "?" << QStringList{"n"} << QStringList{"VAR3"} << "" << QStringList() << base + "??n=Ann";
        QTest::newRow("empty value keeps its name")
            << p << base << QStringList{"a", "b", "c"} << QStringList{"VAR6", "", "x"} << "" << QStringList()
            << base + "?a=&b=&c=x";
        QTest::newRow("names and literals exactly as written")
            << p << base << QStringList{"my name", "q"} << QStringList{"a&b=%41 c", "VAR 1"} << "" << QStringList()
            << base + "?my name=a&b=%41 c&q=VAR 1";
        QTest::newRow("full name of empty names is a plus")
            << ProfileFields() << base << QStringList{"name"} << QStringList{"VAR5"} << "" << QStringList()
            << base + "?name=+";
        QTest::newRow("option N/A2 is sent, encoded")
            << p << base << QStringList{"o"} << QStringList{"VAR28"} << "N/A2" << QStringList() << base + "?o=N%2FA2";
        QTest::newRow("one address ends in CR LF") << p << base << QStringList{"ip"} << QStringList{"VAR30"} << ""
                                                   << QStringList{"10.0.0.1"} << base + "?ip=10.0.0.1%0D%0A";
        QTest::newRow("failed address lookup sends an empty value")
            << p << base << QStringList{"ip", "x"} << QStringList{"VAR30", "1"} << "" << QStringList()
            << base + "?ip=&x=1";
        QTest::newRow("characters kept by form encoding")
            << companyOnly("-._*~!'()") << base << QStringList{"c"} << QStringList{"VAR1"} << "" << QStringList()
            << base + "?c=-._*%7E%21%27%28%29";
        QTest::newRow("non-ASCII as UTF-8 bytes")
            << companyOnly("Zürich 東") << base << QStringList{"c"} << QStringList{"var1"} << "" << QStringList()
            << base + "?c=Z%C3%BCrich+%E6%9D%B1";
    }
    void requestUrl() {
        QFETCH(ProfileFields, fields);
        QFETCH(QString, url);
        QFETCH(QStringList, names);
        QFETCH(QStringList, values);
        QFETCH(QString, optVal1);
        QFETCH(QStringList, addresses);
        QFETCH(QString, expected);
        Engine_Data engine = makeEngine("E", url, names, values);
        engine.OptVal1 = optVal1;
        const Engine_Type catalogue = makeCatalogue({engine});
        const ProfileSnapshot snapshot = ReadData(fields);
        int calls = 0;
        RequestBuilder builder(catalogue, snapshot, FakeLookup{addresses, &calls});
        QCOMPARE(builder.requestUrl(0), expected);
    }

    // Whatever the user types arrives at the engine as exactly that text, under the catalogue's
    // field names, whichever of the 27 profile values it lands in.
    void userDataRoundTrips_data() {
        QTest::addColumn<QString>("typed");
        QTest::newRow("ampersand") << "Tom & Jerry";
        QTest::newRow("equals and hash") << "a=b#frag";
        QTest::newRow("percent and plus") << "100% + 50%2B";
        QTest::newRow("query in a url") << "http://x.test/?a=1&b=2";
        QTest::newRow("non-ASCII letters") << "Zürich Ærø Łódź 東京 😀";
        QTest::newRow("line breaks") << "one\r\ntwo\nthree\r";
        QTest::newRow("blanks around") << "  padded  ";
        QTest::newRow("empty") << "";
    }
    void userDataRoundTrips() {
        QFETCH(QString, typed);
        ProfileFields fields{typed, typed, typed, typed, typed, typed, typed, typed, typed,
                             typed, typed, typed, typed, typed, typed, {},    typed};
        fields.Keyword.fill(typed);
        const ProfileSnapshot snapshot = ReadData(fields);

        QStringList names;
        QStringList values;
        for (int n = 1; n <= ProfileSnapshot::kValueCount; ++n) {
            names.append(QStringLiteral("field_%1").arg(n));
            values.append(QStringLiteral("VAR%1").arg(n));
        }
        const QString base = "http://e.test/submit?lang=en";
        const Engine_Type catalogue = makeCatalogue({makeEngine("E", base, names, values)});
        RequestBuilder builder(catalogue, snapshot, [] { return QStringList(); });

        const auto pairs = decodeQuery(builder.requestUrl(0), base);
        QCOMPARE(pairs.size(), ProfileSnapshot::kValueCount);
        for (int n = 1; n <= ProfileSnapshot::kValueCount; ++n) {
            QCOMPARE(pairs[n - 1].first, names[n - 1]);
            QCOMPARE(pairs[n - 1].second, snapshot.value(n));
        }
    }

    void submissionList_data() {
        QTest::addColumn<QStringList>("titles"); // catalogue titles; engine i has Url "u<i>"
        QTest::addColumn<QStringList>("lines");  // the current list
        QTest::addColumn<int>("earlierEntries"); // entries "old" left by an earlier build
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("entries"); // every entry afterwards: title|url

        QTest::newRow("every line found, in display order") << QStringList{"C", "A", "B"} << QStringList{"A", "B", "C"}
                                                            << 0 << 3 << QStringList{"A|u1?=", "B|u2?=", "C|u0?="};
        QTest::newRow("duplicate titles use the first engine")
            << QStringList{"A", "A"} << QStringList{"A"} << 0 << 1 << QStringList{"A|u0?="};
        QTest::newRow("duplicate lines give two entries")
            << QStringList{"A"} << QStringList{"A", "A"} << 0 << 2 << QStringList{"A|u0?=", "A|u0?="};
        QTest::newRow("title lookup is case-sensitive")
            << QStringList{"a"} << QStringList{"A"} << 0 << 0 << QStringList();
        QTest::newRow("unknown line keeps its old entry") << QStringList{"A", "C"} << QStringList{"A", "B", "C"} << 3
                                                          << 3 << QStringList{"A|u0?=", "old|old", "C|u1?="};
        QTest::newRow("entries beyond the list stay")
            << QStringList{"A"} << QStringList{"A"} << 3 << 1 << QStringList{"A|u0?=", "old|old", "old|old"};
        QTest::newRow("no line found leaves the count")
            << QStringList{"A"} << QStringList{"X"} << 2 << 0 << QStringList{"old|old", "old|old"};
        QTest::newRow("empty list") << QStringList{"A"} << QStringList() << 0 << 0 << QStringList();
    }
    void submissionList() {
        QFETCH(QStringList, titles);
        QFETCH(QStringList, lines);
        QFETCH(int, earlierEntries);
        QFETCH(int, count);
        QFETCH(QStringList, entries);
        QList<Engine_Data> engines;
        for (int i = 0; i < titles.size(); ++i)
            engines.append(makeEngine(titles[i], QStringLiteral("u%1").arg(i), {}, {}));
        const Engine_Type catalogue = makeCatalogue(engines);
        const ProfileSnapshot snapshot;
        RequestBuilder builder(catalogue, snapshot, [] { return QStringList(); });

        Submit_Type list;
        list.Items.fill({"old", "old"}, earlierEntries);
        builder.buildSubmissionList(lines, list);

        QCOMPARE(list.Count, count);
        QStringList actual;
        for (const Submit_Data& entry : list.Items)
            actual.append(entry.Title + '|' + entry.Url);
        QCOMPARE(actual, entries);
    }

    void addressesLookedUpOncePerBuild_data() {
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<int>("calls");
        QTest::newRow("many VAR30 in many engines") << QStringList{"VAR30", "var30", "VAR1"} << 1;
        QTest::newRow("no VAR30 asks nothing") << QStringList{"VAR1", "VAR29", "VAR300"} << 0;
    }
    void addressesLookedUpOncePerBuild() {
        QFETCH(QStringList, values);
        QFETCH(int, calls);
        QList<Engine_Data> engines;
        QStringList lines;
        for (int i = 0; i < 20; ++i) {
            engines.append(makeEngine(QStringLiteral("E%1").arg(i), "http://e.test/", {"a", "b", "c"}, values));
            lines.append(engines.last().Title);
        }
        const Engine_Type catalogue = makeCatalogue(engines);
        const ProfileSnapshot snapshot;
        int actualCalls = 0;
        RequestBuilder builder(catalogue, snapshot, FakeLookup{{"10.0.0.1"}, &actualCalls});
        Submit_Type list;
        builder.buildSubmissionList(lines, list);
        QCOMPARE(list.Count, 20);
        QCOMPARE(actualCalls, calls);
    }

    void testListingUrl_data() {
        QTest::addColumn<std::optional<QString>>("line");
        QTest::addColumn<QString>("expected");
        QTest::newRow("focused engine") << std::optional<QString>("B") << "http://b.test/?q=Ann";
        QTest::newRow("no focused line") << std::optional<QString>() << "";
        QTest::newRow("unknown title") << std::optional<QString>("Z") << "";
    }
    void testListingUrl() {
        QFETCH(std::optional<QString>, line);
        QFETCH(QString, expected);
        const Engine_Type catalogue = makeCatalogue(
            {makeEngine("A", "http://a.test/", {}, {}), makeEngine("B", "http://b.test/", {"q"}, {"VAR3"})});
        const ProfileSnapshot snapshot = ReadData(sampleProfile());
        RequestBuilder builder(catalogue, snapshot, [] { return QStringList(); });
        QCOMPARE(builder.requestUrlForLine(line), expected);
    }

    void localAddressesAreDottedIPv4() {
        const QRegularExpression dotted(R"(^\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3}$)");
        for (const QString& address : GetLocalIPList())
            QVERIFY2(dotted.match(address).hasMatch(), qPrintable(address));
    }
};

QTEST_GUILESS_MAIN(TestRequestBuilder)
#include "test_request_builder.moc"
