#include "app/message_log_view.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace {

// A log line is one block: line breaks inside a text would split it and shift every later
// line index, so they are shown as blanks.
QString asOneLine(QString line) {
    line.replace(u'\r', u' ');
    line.replace(u'\n', u' ');
    return line;
}

} // namespace

MessageLogView::MessageLogView(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName(QStringLiteral("Memo2"));
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Reached by the mouse, never by the Tab key.
    setFocusPolicy(Qt::ClickFocus);
    setTabChangesFocus(true);
    setAccessibleName(QStringLiteral("Message log"));
}

void MessageLogView::clear() {
    // Clearing an empty log would still lay the document out again.
    if (m_lineCount == 0 && document()->isEmpty())
        return;
    QPlainTextEdit::clear();
    m_lineCount = 0;
}

void MessageLogView::appendLine(const QString& line) {
    if (m_lineCount == 0) {
        // The empty document already has one (empty) block: the first line fills it.
        setPlainText(asOneLine(line));
    } else {
        appendPlainText(asOneLine(line));
    }
    ++m_lineCount;
    QTextCursor cursor(document()->lastBlock());
    setTextCursor(cursor);
    ensureCursorVisible();
}

QString MessageLogView::text() const {
    return m_lineCount == 0 ? QString() : toPlainText();
}

int MessageLogView::lineCount() const {
    return m_lineCount;
}

void MessageLogView::replaceLine(int index, const QString& line) {
    if (index < 0 || index >= m_lineCount)
        return;
    const QTextBlock block = document()->findBlockByNumber(index);
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(asOneLine(line));
}
