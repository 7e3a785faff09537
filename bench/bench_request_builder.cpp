// Building the submission list for a full catalogue: 500 engines, all in the current list, each
// with 50 variables drawn from VAR1 … VAR29 and literals. Target: the whole list within one
// frame (16 ms). The baseline joins the same names and unresolved value texts into URLs without
// resolving or encoding anything, measured in the same run.

#include "submit/core/request_builder.h"
#include "support/bench_util.h"

#include <QStringList>

namespace {

constexpr int kRepeats = 51;
constexpr double kFrameMilliseconds = 16.0;

Engine_Type fullCatalogue() {
    Engine_Type catalogue;
    catalogue.Count = kMaxEngines;
    for (int i = 0; i < kMaxEngines; ++i) {
        Engine_Data engine;
        engine.Title = QStringLiteral("Engine %1").arg(i, 3, 10, QLatin1Char('0'));
        engine.Url = QStringLiteral("http://engine%1.example.com/cgi-bin/add-url.cgi").arg(i);
        engine.Selected = 1;
        engine.OptVal1 = QStringLiteral("Business/Computers");
        engine.OptVal2 = QStringLiteral("N/A");
        engine.Variable.Count = kMaxVariables;
        for (int j = 0; j < kMaxVariables; ++j) {
            engine.Variable.Names.append(QStringLiteral("field_%1").arg(j + 1));
            engine.Variable.Values.append((i + j) % 3 == 0 ? QStringLiteral("literal%1").arg(j)
                                                           : QStringLiteral("VAR%1").arg((i * 7 + j) % 29 + 1));
        }
        catalogue.Items.append(engine);
    }
    return catalogue;
}

ProfileFields typicalProfile() {
    ProfileFields f;
    f.Company = QStringLiteral("Acme Tools & Sons, Ltd.");
    f.Email = QStringLiteral("webmaster@acme-tools.example.com");
    f.First_Name = QStringLiteral("Ann");
    f.Last_Name = QStringLiteral("Lee");
    f.Street = QStringLiteral("1234 Main Street, Suite 500");
    f.City = QStringLiteral("Zürich");
    f.State = QStringLiteral("ZH");
    f.Zip = QStringLiteral("8001");
    f.Country = QStringLiteral("Switzerland");
    f.Country_ID = QStringLiteral("CH  ");
    f.Phone = QStringLiteral("+41 44 123 45 67");
    f.Fax = QStringLiteral("+41 44 123 45 68");
    f.Password = QStringLiteral("s3cret!");
    f.Site_Title = QStringLiteral("Acme Tools – hand tools since 1921");
    f.Site_URL = QStringLiteral("http://www.acme-tools.example.com/?lang=en&ref=submit");
    f.Keyword = {QStringLiteral("tools"),    QStringLiteral("hammers"),  QStringLiteral("saws"),
                 QStringLiteral("pliers"),   QStringLiteral("wrenches"), QString(),
                 QStringLiteral("hardware"), QStringLiteral("workshop")};
    f.Description = QStringLiteral("Hand tools for the trade and the home workshop: hammers, saws,\r\n"
                                   "pliers and wrenches, forged in Switzerland since 1921.");
    return f;
}

// The same texts joined without resolution or encoding.
void plainConcatenation(const Engine_Type& catalogue, QList<QString>& urls) {
    for (int i = 0; i < catalogue.Items.size(); ++i) {
        const Engine_Data& engine = catalogue.Items[i];
        QString url = engine.Url + QLatin1Char('?');
        for (int j = 0; j < engine.Variable.Count; ++j) {
            if (j > 0)
                url += QLatin1Char('&');
            url += engine.Variable.Names[j];
            url += QLatin1Char('=');
            url += engine.Variable.Values[j];
        }
        urls[i] = url;
    }
}

} // namespace

int main() {
    const Engine_Type catalogue = fullCatalogue();
    const ProfileSnapshot snapshot = ReadData(typicalProfile());
    QStringList lines;
    for (const Engine_Data& engine : catalogue.Items)
        lines.append(engine.Title);

    Submit_Type list;
    const double buildMs = medianMilliseconds(kRepeats, [&] {
        list.Count = 0;
        RequestBuilder builder(catalogue, snapshot, [] { return QStringList{QStringLiteral("192.168.1.20")}; });
        builder.buildSubmissionList(lines, list);
    });

    QList<QString> plainUrls(catalogue.Items.size());
    const double plainMs = medianMilliseconds(kRepeats, [&] { plainConcatenation(catalogue, plainUrls); });

    if (list.Count != kMaxEngines) {
        std::printf("submission list holds %d entries, expected %d\n", list.Count, kMaxEngines);
        return 1;
    }
    qsizetype totalLength = 0;
    for (const Submit_Data& entry : list.Items)
        totalLength += entry.Url.size();

    std::printf("submission list: %d engines x %d variables, mean URL length %lld characters\n", kMaxEngines,
                kMaxVariables, static_cast<long long>(totalLength / kMaxEngines));
    printFigure("whole submission list (median)", buildMs, "ms");
    printFigure("per URL", buildMs * 1000.0 / kMaxEngines, "us");
    printFigure("baseline: plain concatenation (median)", plainMs, "ms");
    printFigure("ratio builder / plain concatenation", buildMs / plainMs, "x");
    const bool met = printRatio("whole list / one frame (16 ms)", buildMs / kFrameMilliseconds, 1.0);
    return met ? 0 : 1;
}
