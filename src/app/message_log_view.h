#pragma once

#include "platform/message_log.h"

#include <QPlainTextEdit>

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

private:
    int m_lineCount = 0;
};
