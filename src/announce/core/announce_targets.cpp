#include "announce/core/announce_targets.h"

#include "indexnow/core/indexnow_key.h"

QList<AnnounceTarget> indexNowTargets(const Engine_Type& catalogue, const QStringList& currentList) {
    QList<AnnounceTarget> targets;
    for (const QString& line : currentList) {
        const int index = catalogue.indexOfTitle(line);
        if (index < 0 || !takesIndexNowKey(catalogue.Items[index]))
            continue;
        const Engine_Data& engine = catalogue.Items[index];
        targets.append({engine.Title, engine.Url, engine.OptVal1, {}, engine.Shares});
    }
    return targets;
}
