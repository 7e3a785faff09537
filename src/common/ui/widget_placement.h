#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QString>
#include <QWidget>
#include <algorithm>

// The windows are laid out at fixed pixel places: these helpers create a named child at its
// place. The object name is the control's name, by which tests and the code find it.

template <typename Widget>
Widget* placeWidget(QWidget* parent, const char* name, int left, int top, int width, int height) {
    auto* widget = new Widget(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

// A label that takes the size of its caption, with its top-left corner at left, top.
inline QLabel* placeLabel(QWidget* parent, const char* name, const QString& caption, int left, int top) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(left, top);
    label->adjustSize();
    return label;
}

// Names a control for screen readers: its accessible name, and for an editable option box the
// name of the box's text field too (which takes the focus in its place).
inline void nameControl(QWidget* control, const QString& name) {
    control->setAccessibleName(name);
    if (const auto* box = qobject_cast<QComboBox*>(control); box && box->lineEdit())
        box->lineEdit()->setAccessibleName(name);
}

// Ties a text field, list or option box to its caption label: the label becomes its buddy (a
// click on the caption focuses the control) and the caption its accessible name.
inline void labelControl(QLabel* label, QWidget* control) {
    label->setBuddy(control);
    nameControl(control, label->text());
}

// A page or panel frame without a caption.
template <typename Frame>
Frame* placeFrame(QWidget* parent, const char* name, int left, int top, int width, int height) {
    return placeWidget<Frame>(parent, name, left, top, width, height);
}

// Centres window, a window of its own opened from owner, over owner (kept on owner's screen),
// the first time it is shown: a new window would otherwise open at the screen's top-left
// corner. A window placed before, by this or by the user, opens where it was.
inline void centreOverOnFirstShow(QWidget* window, const QWidget* owner) {
    if (window->testAttribute(Qt::WA_Moved) || !window->isHidden())
        return;
    if (!window->testAttribute(Qt::WA_Resized))
        window->adjustSize();
    const QSize size = window->frameGeometry().size();
    QPoint topLeft = owner->frameGeometry().center() - QPoint(size.width() / 2, size.height() / 2);
    if (const QScreen* screen = owner->screen()) {
        const QRect area = screen->availableGeometry();
        topLeft.setX(std::max(area.left(), std::min(topLeft.x(), area.right() + 1 - size.width())));
        topLeft.setY(std::max(area.top(), std::min(topLeft.y(), area.bottom() + 1 - size.height())));
    }
    window->move(topLeft);
}
