#pragma once

#include <QHash>
#include <QList>
#include <QString>

class Clock;

// Google's quota for URL inspection, per property: 600 a minute, paced here as one every 100 ms,
// and 2 000 a day, counted here over the last 24 hours (in memory, for this session).
class IndexCheckQuota {
public:
    static constexpr int kPerMinute = 600;
    static constexpr int kPerDay = 2000;
    static constexpr qint64 kSpacingMs = 60 * 1000 / kPerMinute;
    static constexpr qint64 kDayMs = 24LL * 60 * 60 * 1000;

    explicit IndexCheckQuota(const Clock& clock) : m_clock(clock) {}

    // How long to wait before the next inspection for property; 0: now.
    qint64 waitMs(const QString& property) const;
    // True when the day's inspections for property are used up.
    bool dayUsedUp(const QString& property) const;
    // Counts an inspection sent now.
    void record(const QString& property);
    // Inspections sent for property in the last 24 hours.
    int usedToday(const QString& property) const;
    // "12 of 2 000 URL inspections for <property> used in the last 24 hours."
    QString sentence(const QString& property) const;
    // Why no more inspections are sent for property today, with when they can go on.
    QString usedUpSentence(const QString& property) const;

private:
    QList<quint32> recent(const QString& property) const;

    const Clock& m_clock;
    QHash<QString, QList<quint32>> m_sent; // tick counts, oldest first
};
