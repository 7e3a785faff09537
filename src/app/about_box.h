#pragma once

#include <QWidget>

class QCloseEvent;

// The About box (Form3): the program's name, icon, version, rights notice and the maker's e-mail
// and home-page links. It is created once, hidden, and shown without modality by Help > About;
// closing it by any means only hides it and emits closed(), on which the opener enables itself
// again:
//
//     void TForm1::About1Click() { setEnabled(false); Form3->showBox(); }
//     connect(Form3, &TForm3::closed, this, [this] { setEnabled(true); });
//
// Create it without a parent: a window that is a child of the main window would be disabled
// together with it.
class TForm3 : public QWidget {
    Q_OBJECT

public:
    explicit TForm3(QWidget* parent = nullptr);

    // Shows the box at its fixed place on the screen and brings it to the front; returns at once.
    void showBox();

signals:
    // The box was closed (close button, system menu or the keyboard) and is hidden now.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormClose();
    void Label4Click();
    void Label5Click();
};
