#include "platform/clock.h"

SystemClock::SystemClock() {
    m_timer.start();
}

quint32 SystemClock::tickCount() const {
    // Counting from 1 keeps 0 free; when the count wraps, 0 is skipped for the same reason.
    const quint32 ticks = static_cast<quint32>(m_timer.elapsed()) + 1u;
    return ticks == 0 ? 1u : ticks;
}
