#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

// A monotonic millisecond count, like a system tick count: it only moves forward, wraps around
// after 2^32 ms (about 49.7 days) and is compared by unsigned subtraction, which stays right
// across the wrap. A reading is never 0, so callers may keep 0 to mean "not begun".
class Clock {
public:
    virtual ~Clock() = default;

    virtual quint32 tickCount() const = 0;
};

// The real clock: milliseconds since the clock was created, counted from 1.
class SystemClock final : public Clock {
public:
    SystemClock();

    quint32 tickCount() const override;

private:
    QElapsedTimer m_timer;
};
