#pragma once

#include "platform/message_log.h"

#include <QStringList>

// A message log held in memory, for tests that read back what was logged.
class MemoryLog final : public MessageLog {
public:
    void clear() override { lines.clear(); }
    void appendLine(const QString& line) override { lines.append(line); }
    QString text() const override { return lines.join(QLatin1Char('\n')); }
    int lineCount() const override { return static_cast<int>(lines.size()); }
    void replaceLine(int index, const QString& line) override {
        if (index >= 0 && index < lines.size())
            lines[index] = line;
    }

    QStringList lines;
};
