#include "profile/core/profile_check.h"

#include <QTest>

Q_DECLARE_METATYPE(ProfileFields)

namespace {

const QStringList kAllLines = {
    "[Contact Info]  Please enter your company name",
    "[Contact Info]  Please enter your email address",
    "[Contact Info]  Please enter your first name",
    "[Contact Info]  Please enter your last name",
    "[Contact Info]  Please enter your street address",
    "[Contact Info]  Please enter your city",
    "[Contact Info]  Please enter your state",
    "[Contact Info]  Please enter your zip code",
    "[Contact Info]  Please enter your country",
    "[Contact Info]  Please enter your phone number",
    "[Contact Info]  Please enter your password",
    "[Site Info]  Please enter your site title",
    "[Site Info]  Please enter your site url",
    "[Site Info]  Please enter a keyword for your site",
    "[Site Info]  Please enter a short description for your site",
};

// Every field filled except Fax, with values no check should look into.
ProfileFields completeProfile() {
    ProfileFields f;
    f.Company = "Acme";
    f.Email = "no at sign";
    f.First_Name = "Ann";
    f.Last_Name = "Lee";
    f.Street = "1 Main St";
    f.City = "Springfield";
    f.State = "IL";
    f.Zip = "letters";
    f.Country = "United States";
    f.Country_ID = "US  ";
    f.Phone = "call me";
    f.Password = "secret";
    f.Site_Title = "Acme Home";
    f.Site_URL = "no scheme";
    f.Keyword[0] = "tools";
    f.Description = "We make tools.";
    return f;
}

ProfileFields allFields(const QString& text) {
    ProfileFields f{text, text, text, text, text, text, text, text, text, text, text, text, text, text, text, {}, {}};
    f.Keyword.fill(text);
    f.Description = text;
    return f;
}

} // namespace

class TestProfileCheck : public QObject {
    Q_OBJECT

private slots:
    void lines_data() {
        QTest::addColumn<ProfileFields>("fields");
        QTest::addColumn<QStringList>("lines");

        QTest::newRow("everything empty: all fifteen in order") << ProfileFields() << kAllLines;
        QTest::newRow("everything but fax") << completeProfile() << QStringList();
        QTest::newRow("blanks only pass") << allFields(" ") << QStringList();

        ProfileFields f = completeProfile();
        f.Description = "\r\n";
        QTest::newRow("description of a line break passes") << f << QStringList();

        f = completeProfile();
        f.Country_ID.clear();
        QTest::newRow("country name alone passes") << f << QStringList();

        f = completeProfile();
        f.Country.clear();
        QTest::newRow("country code alone passes") << f << QStringList();

        f.Country_ID.clear();
        QTest::newRow("no country name nor code") << f << QStringList{kAllLines[8]};

        f = completeProfile();
        f.Keyword[0].clear();
        f.Keyword[7] = "last";
        QTest::newRow("only the eighth keyword passes") << f << QStringList();

        f.Keyword[7].clear();
        QTest::newRow("no keyword") << f << QStringList{kAllLines[13]};

        f = completeProfile();
        f.Fax = "555";
        f.Password.clear();
        f.Site_URL.clear();
        QTest::newRow("two missing, in table order") << f << QStringList{kAllLines[10], kAllLines[12]};
    }
    void lines() {
        QFETCH(ProfileFields, fields);
        QFETCH(QStringList, lines);
        QCOMPARE(CheckDataError(fields), lines);
    }
};

QTEST_GUILESS_MAIN(TestProfileCheck)
#include "test_profile_check.moc"
