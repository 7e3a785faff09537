#pragma once

#include <QList>
#include <QString>

inline constexpr int kMaxSubmissions = 500;

// One prepared submission.
struct Submit_Data {
    QString Url;   // the complete request URL
    QString Title; // the engine's title, used in the message log
};

// The submission list: entry k (from 0) belongs to line k of the current list.
struct Submit_Type {
    qint32 Count = 0;
    QList<Submit_Data> Items;
};
