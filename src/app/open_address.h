#pragma once

#include <QLabel>

class QUrl;

// Opens an address (a web page, a "mailto:" address) with the desktop's default handler: the
// user's browser or mail program. When nothing can open it, nothing is reported and nothing
// changes.
void openAddress(const QUrl& address);

// A label that reports a click: the left mouse button pressed and released over it. The
// program's links and clickable pictures are such labels.
class ClickableLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;
};

// Gives a label the look of a link: navy, underlined, with a hand cursor.
void styleAsLink(QLabel* label);
