#pragma once

#include <QString>

// The message log under the pages: a list of lines, counted as they were appended (a line
// wider than the view is still one line). Every report to the user is a line here.
class MessageLog {
public:
    virtual ~MessageLog() = default;

    virtual void clear() = 0;
    // Appends one line at the end and scrolls it into view.
    virtual void appendLine(const QString& line) = 0;
    // The whole text, lines joined by "\n"; empty when there are no lines.
    virtual QString text() const = 0;
    virtual int lineCount() const = 0;
    // Replaces the line at a zero-based index; an index outside the log is ignored.
    virtual void replaceLine(int index, const QString& line) = 0;
};
