#include "catalogue/core/engine_selection.h"

#include <algorithm>

using namespace Qt::StringLiterals;

bool engineListSortsBefore(const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
}

QStringList currentListTitles(const Engine_Type& catalogue) {
    QStringList titles;
    for (const Engine_Data& engine : catalogue.Items) {
        if (engine.Selected == 1)
            titles.append(engine.Title);
    }
    std::stable_sort(titles.begin(), titles.end(), engineListSortsBefore);
    return titles;
}

EngineMoves addEngines(Engine_Type& catalogue, const QStringList& lines) {
    EngineMoves moves;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int index = catalogue.indexOfTitle(lines[i]);
        if (index < 0)
            continue;
        Engine_Data& engine = catalogue.Items[index];
        if (engine.Option != 0 && engine.Option1.isEmpty()) {
            for (int k = 1; k <= engine.Option && k <= kMaxOptionLists; ++k)
                moves.logLines.append(u'[' + engine.Title + u"]  "_s + engine.Error[k - 1]);
            continue;
        }
        engine.Selected = 1;
        moves.moved.append(i);
    }
    return moves;
}

EngineMoves removeEngines(Engine_Type& catalogue, const QStringList& lines) {
    EngineMoves moves;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (const int index = catalogue.indexOfTitle(lines[i]); index >= 0)
            catalogue.Items[index].Selected = 0;
        moves.moved.append(i);
    }
    return moves;
}

void chooseOption(Engine_Data& engine, int list, const QString& text, int pickedPosition) {
    if (list < 1 || list > kMaxOptionLists)
        return;
    QString& option = list == 1 ? engine.Option1 : engine.Option2;
    QString& optionValue = list == 1 ? engine.OptVal1 : engine.OptVal2;
    const QList<QString>& choices = engine.Item[list - 1].Items;
    const QList<QString>& values = engine.Value[list - 1].Values;

    option = text;
    if (engine.Value[list - 1].Count <= 0) {
        optionValue = text;
        return;
    }
    qsizetype position = pickedPosition;
    if (position < 0 || position >= choices.size() || choices[position] != text)
        position = choices.indexOf(text);
    optionValue = position >= 0 && position < values.size() ? values[position] : text;
}
