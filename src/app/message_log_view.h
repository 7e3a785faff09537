#pragma once

#include "platform/message_log.h"

#include <QPlainTextEdit>
#include <functional>

// The message log under the pages (Memo2): a read-only text whose lines can be selected and
// copied. Each appended line is one text block, so line indexes count appended lines however
// a long line wraps on screen.
class MessageLogView : public QPlainTextEdit, public MessageLog {
    Q_OBJECT

public:
    explicit MessageLogView(QWidget* parent = nullptr);

    void clear() override;
    void appendLine(const QString& line) override;
    QString text() const override;
    int lineCount() const override;
    void replaceLine(int index, const QString& line) override;
    // The text of the line at a zero-based index; empty outside the log.
    QString lineText(int index) const;

    // What a tooltip over a line shows: the function gets the line's index and returns the
    // text (empty: no tooltip). An empty function shows none.
    void setLineToolTip(std::function<QString(int line)> toolTip);

signals:
    // A line was double-clicked (index from 0).
    void lineDoubleClicked(int line);

protected:
    bool viewportEvent(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    // The line under a point of the viewport, or −1.
    int lineAt(const QPoint& position) const;

    std::function<QString(int)> m_lineToolTip;
    int m_lineCount = 0;
};
