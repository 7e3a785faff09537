#include "app/test_window.h"

#include <QPlainTextEdit>
#include <QPushButton>

TForm2::TForm2(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Test"));
    // Only the main window's closing ends the program, even while this window is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    // An outer size of 415 x 280 with a sizeable frame: 4-pixel borders and a 19-pixel title bar.
    resize(407, 253);
    move(227, 121);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setGeometry(8, 8, 393, 201);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("Button1"));
    ok->setGeometry(326, 216, 75, 25);
    connect(ok, &QPushButton::clicked, this, &TForm2::Button1Click);
}

void TForm2::clearText() {
    Memo1->clear();
}

void TForm2::appendLine(const QString& line) {
    Memo1->appendPlainText(line);
}

void TForm2::showWindow() {
    show();
    raise();
    activateWindow();
}

void TForm2::Button1Click() {
    close();
}
