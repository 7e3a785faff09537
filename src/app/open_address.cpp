#include "app/open_address.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

void openAddress(const QUrl& address) {
    // The desktop's answer is ignored on purpose: a missing browser or mail program is not the
    // program's error to report.
    QDesktopServices::openUrl(address);
}

void ClickableLabel::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click)
        emit clicked();
}

void styleAsLink(QLabel* label) {
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::darkBlue); // navy
    label->setPalette(palette);
    label->setCursor(Qt::PointingHandCursor);
}
