#include "profile/core/country_table.h"
#include "profile/core/profile_snapshot.h"
#include "support/test_data.h"

#include <QFile>
#include <QTest>

Q_DECLARE_METATYPE(ProfileFields)

namespace {

ProfileFields withKeywords(const QStringList& keywords) {
    ProfileFields fields;
    for (int k = 0; k < keywords.size(); ++k)
        fields.Keyword[k] = keywords[k];
    return fields;
}

ProfileFields withNames(const QString& first, const QString& last) {
    ProfileFields fields;
    fields.First_Name = first;
    fields.Last_Name = last;
    return fields;
}

} // namespace

class TestProfileSnapshot : public QObject {
    Q_OBJECT

private slots:
    void derivedValues_data() {
        QTest::addColumn<ProfileFields>("fields");
        QTest::addColumn<QString>("fullName");
        QTest::addColumn<QString>("keywordList");
        QTest::addColumn<QString>("keywordLine");

        QTest::newRow("both names") << withNames("Ann", "Lee") << "Ann Lee"
                                    << ""
                                    << "       ";
        QTest::newRow("empty last name keeps the blank") << withNames("Ann", "") << "Ann "
                                                         << ""
                                                         << "       ";
        QTest::newRow("both names empty give one blank") << withNames("", "") << " "
                                                         << ""
                                                         << "       ";
        QTest::newRow("gap in keywords") << withKeywords({"a", "", "c"}) << " "
                                         << "a,c"
                                         << "a  c     ";
        QTest::newRow("empty first keyword starts with a comma") << withKeywords({"", "b"}) << " "
                                                                 << ",b"
                                                                 << " b      ";
        QTest::newRow("only the eighth keyword") << withKeywords({"", "", "", "", "", "", "", "h"}) << " "
                                                 << ",h"
                                                 << "       h";
        QTest::newRow("all eight keywords") << withKeywords({"a", "b", "c", "d", "e", "f", "g", "h"}) << " "
                                            << "a,b,c,d,e,f,g,h"
                                            << "a b c d e f g h";
        QTest::newRow("keywords are not trimmed") << withKeywords({" a ", "b c"}) << " "
                                                  << " a ,b c"
                                                  << " a  b c      ";
    }
    void derivedValues() {
        QFETCH(ProfileFields, fields);
        QFETCH(QString, fullName);
        QFETCH(QString, keywordList);
        QFETCH(QString, keywordLine);
        const ProfileSnapshot snapshot = ReadData(fields);
        QCOMPARE(snapshot.Full_Name, fullName);
        QCOMPARE(snapshot.Keyword_List, keywordList);
        QCOMPARE(snapshot.Keyword_Line, keywordLine);
        QVERIFY(snapshot.Business.isEmpty());
        QVERIFY(snapshot.CEO.isEmpty());
    }

    // Every field holds its own name, so a value out of place shows which one it is.
    void valueOrder_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("expected");
        const QStringList expected =
            QString("Company|Email|First|Last|First Last|Street|City|State|Zip|Country|ID|Phone|Fax|Password|Title|"
                    "URL|k1|k2|k3|k4|k5|k6|k7|k8|k1,k2,k3,k4,k5,k6,k7,k8|k1 k2 k3 k4 k5 k6 k7 k8|Line one\r\nLine two")
                .split('|');
        for (int n = 1; n <= ProfileSnapshot::kValueCount; ++n)
            QTest::addRow(n == 27 ? "value %d, two-line description keeps CR LF" : "value %d", n)
                << n << expected[n - 1];
        QTest::newRow("0 is no value") << 0 << "";
        QTest::newRow("28 is no value") << 28 << "";
    }
    void valueOrder() {
        QFETCH(int, n);
        QFETCH(QString, expected);
        ProfileFields fields{"Company", "Email", "First", "Last",     "Street", "City", "State", "Zip", "Country",
                             "ID",      "Phone", "Fax",   "Password", "Title",  "URL",  {},      {}};
        for (int k = 0; k < 8; ++k)
            fields.Keyword[k] = QStringLiteral("k%1").arg(k + 1);
        fields.Description = "Line one\r\nLine two";
        QCOMPARE(ReadData(fields).value(n), expected);
    }

    void countryTableMatchesReference() {
        QFile file(testDataPath("countries.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        QStringList names;
        QStringList codes;
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).chopped(1);
            if (line.startsWith('#'))
                continue;
            const QStringList parts = line.split('|');
            QCOMPARE(parts.size(), 3);
            names.append(parts[0]);
            codes.append(parts[1]);
        }
        QCOMPARE(names.size(), kCountryCount);
        QCOMPARE(countryNames(), names);
        QCOMPARE(countryCodes(), codes);
    }

    void countryCode_data() {
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("code");
        const QStringList names = countryNames();
        QTest::newRow("United States") << names.indexOf("United States") << "US  ";
        QTest::newRow("Argentina") << names.indexOf("Argentina") << "AR ";
        QTest::newRow("Tuvalu") << names.indexOf("Tuvalu") << "TV ";
        QTest::newRow("United Kingdom") << names.indexOf("United Kingdom (Great Britain)") << "UK  ";
        QTest::newRow("Zaire") << names.indexOf("Zaire") << "ZR  ";
        QTest::newRow("first") << 0 << "AF  ";
        QTest::newRow("last") << kCountryCount - 1 << "ZW  ";
        QTest::newRow("no position") << -1 << "";
        QTest::newRow("past the end") << kCountryCount << "";
    }
    void countryCode() {
        QFETCH(int, position);
        QFETCH(QString, code);
        QCOMPARE(countryCodeAt(position), code);
    }
};

QTEST_GUILESS_MAIN(TestProfileSnapshot)
#include "test_profile_snapshot.moc"
