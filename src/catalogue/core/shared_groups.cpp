#include "catalogue/core/shared_groups.h"

#include <QSet>
#include <algorithm>

using namespace Qt::StringLiterals;

QString sharesGroupKey(const QString& shares) {
    return shares.trimmed().toCaseFolded();
}

QList<SharedGroup> sharedGroups(const Engine_Type& catalogue, const QStringList& chosenTitles) {
    QList<SharedGroup> groups;
    QSet<int> seen;
    for (const QString& title : chosenTitles) {
        const int index = catalogue.indexOfTitle(title);
        if (index < 0 || seen.contains(index))
            continue;
        seen.insert(index);
        const Engine_Data& engine = catalogue.Items[index];
        const QString key = sharesGroupKey(engine.Shares);
        if (key.isEmpty())
            continue;
        auto group = std::find_if(groups.begin(), groups.end(),
                                  [&](const SharedGroup& g) { return sharesGroupKey(g.name) == key; });
        if (group == groups.end())
            groups.append({engine.Shares, {engine.Title}});
        else
            group->titles.append(engine.Title);
    }
    groups.removeIf([](const SharedGroup& group) { return group.titles.size() < 2; });
    return groups;
}

QString sharedGroupNotice(const SharedGroup& group) {
    return u"These engines share what they receive; one of them is enough: "_s + group.titles.join(u", "_s);
}
