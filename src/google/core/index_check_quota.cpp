#include "google/core/index_check_quota.h"

#include "platform/clock.h"

using namespace Qt::StringLiterals;

QList<quint32> IndexCheckQuota::recent(const QString& property) const {
    const quint32 now = m_clock.tickCount();
    QList<quint32> times = m_sent.value(property);
    times.removeIf([now](quint32 sent) { return static_cast<quint32>(now - sent) >= kDayMs; });
    return times;
}

qint64 IndexCheckQuota::waitMs(const QString& property) const {
    const QList<quint32> times = m_sent.value(property);
    if (times.isEmpty())
        return 0;
    const qint64 since = static_cast<quint32>(m_clock.tickCount() - times.last());
    return since >= kSpacingMs ? 0 : kSpacingMs - since;
}

bool IndexCheckQuota::dayUsedUp(const QString& property) const {
    return usedToday(property) >= kPerDay;
}

void IndexCheckQuota::record(const QString& property) {
    QList<quint32> times = recent(property);
    times.append(m_clock.tickCount());
    m_sent.insert(property, times);
}

int IndexCheckQuota::usedToday(const QString& property) const {
    return static_cast<int>(recent(property).size());
}

QString IndexCheckQuota::sentence(const QString& property) const {
    return u"%1 of 2 000 URL inspections for %2 used in the last 24 hours."_s.arg(QString::number(usedToday(property)),
                                                                                  property);
}

QString IndexCheckQuota::usedUpSentence(const QString& property) const {
    const QList<quint32> times = recent(property);
    const qint64 sinceOldest = times.isEmpty() ? kDayMs : static_cast<quint32>(m_clock.tickCount() - times.first());
    const qint64 hours = qMax<qint64>(1, (kDayMs - sinceOldest + 3599999) / 3600000);
    return u"Not inspected: the 2 000 URL inspections a day that Google allows for %1 are used up; more are possible "
           u"in about %2 hours."_s.arg(property, QString::number(hours));
}
