#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>

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

// A page or panel frame without a caption.
template <typename Frame>
Frame* placeFrame(QWidget* parent, const char* name, int left, int top, int width, int height) {
    return placeWidget<Frame>(parent, name, left, top, width, height);
}
