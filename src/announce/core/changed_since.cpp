#include "announce/core/changed_since.h"

#include "announce/core/sitemap_reader.h"

QDateTime changedSinceOfDate(QDate date) {
    if (!date.isValid())
        return {};
    return QDateTime(date, QTime(0, 0));
}

QDateTime parseChangedSince(QStringView text) {
    text = text.trimmed();
    const QDateTime instant = parseW3cDate(text);
    if (!instant.isValid() || text.contains(u'T'))
        return instant;
    // A date without a time: parseW3cDate reads it as UTC midnight; the same day counts here.
    return changedSinceOfDate(instant.date());
}
