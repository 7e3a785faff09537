#include "app/message_log_view.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolTip>

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

QString MessageLogView::lineText(int index) const {
    if (index < 0 || index >= m_lineCount)
        return {};
    return document()->findBlockByNumber(index).text();
}

void MessageLogView::setLineToolTip(std::function<QString(int line)> toolTip) {
    m_lineToolTip = std::move(toolTip);
}

int MessageLogView::lineAt(const QPoint& position) const {
    const QTextCursor cursor = cursorForPosition(position);
    // Below the last line the cursor lands on it too: only a point inside a line's box counts.
    const QRectF box = blockBoundingGeometry(cursor.block()).translated(contentOffset());
    if (!box.contains(position))
        return -1;
    const int line = cursor.blockNumber();
    return line < m_lineCount ? line : -1;
}

bool MessageLogView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const int line = lineAt(help->pos());
        const QString text = m_lineToolTip && line >= 0 ? m_lineToolTip(line) : QString();
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, viewport());
        return true;
    }
    return QPlainTextEdit::viewportEvent(event);
}

void MessageLogView::mouseDoubleClickEvent(QMouseEvent* event) {
    QPlainTextEdit::mouseDoubleClickEvent(event);
    const int line = lineAt(event->position().toPoint());
    if (line >= 0)
        emit lineDoubleClicked(line);
}
