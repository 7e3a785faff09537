#pragma once

#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

// Runs work `repeats` times and returns the median wall time in milliseconds.
inline double medianMilliseconds(int repeats, const std::function<void()>& work) {
    std::vector<double> times;
    times.reserve(static_cast<size_t>(repeats));
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Prints one figure as "label: value unit".
inline void printFigure(const char* label, double value, const char* unit) {
    std::printf("%-48s %12.3f %s\n", label, value, unit);
}

// Prints a ratio and whether it meets its target ("<=" target).
inline bool printRatio(const char* label, double ratio, double target) {
    const bool met = ratio <= target;
    std::printf("%-48s %12.3f (target <= %.2f: %s)\n", label, ratio, target, met ? "met" : "NOT MET");
    return met;
}
