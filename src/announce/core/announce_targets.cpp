#include "announce/core/announce_targets.h"

#include "indexnow/core/indexnow_key.h"

#include <QSet>
#include <QUrl>

using namespace Qt::StringLiterals;

IndexNowTargets indexNowTargets(const Engine_Type& catalogue, const QStringList& currentList, const QString& siteUrl) {
    IndexNowTargets found;
    QSet<int> seen;
    for (const QString& line : currentList) {
        const int index = catalogue.indexOfTitle(line);
        if (index < 0 || seen.contains(index) || !takesIndexNowKey(catalogue.Items[index]))
            continue;
        seen.insert(index);
        const Engine_Data& engine = catalogue.Items[index];
        const QString key = engine.Option1.trimmed();
        if (const QString problem = indexNowKeyProblem(key); !problem.isEmpty()) {
            found.problems.append(u"%1 is left out: %2"_s.arg(engine.Title, problem));
            continue;
        }
        const QUrl url(engine.Url.trimmed(), QUrl::StrictMode);
        if (!url.isValid() || (url.scheme() != "http"_L1 && url.scheme() != "https"_L1) || url.host().isEmpty()) {
            found.problems.append(u"%1 is left out: its Url in the catalogue (\"%2\") is not a web address."_s.arg(
                engine.Title, engine.Url));
            continue;
        }
        const KeyFileAddress keyFile = indexNowKeyFileAddress(siteUrl, key);
        found.targets.append({engine.Title, url.toString(QUrl::FullyEncoded), key,
                              keyFile.url.toString(QUrl::FullyEncoded), engine.Shares});
    }
    if (found.targets.isEmpty()) {
        found.problems.append(u"No IndexNow engine with a key is in the current list: choose one on the Engine "
                              u"Data page and type your IndexNow key in its box."_s);
    }
    return found;
}
