#pragma once

#include "platform/clock.h"

// A clock that moves only when told to. Like the real one it never reads 0.
class FakeClock final : public Clock {
public:
    explicit FakeClock(quint32 start = 1000) : now(start) {}

    quint32 tickCount() const override { return now == 0 ? 1u : now; }
    void advance(quint32 milliseconds) { now += milliseconds; }

    quint32 now;
};
