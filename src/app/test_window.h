#pragma once

#include <QWidget>

class QPlainTextEdit;

// The "Test" window (Form2): shows a request URL in a read-only text. It is created once,
// hidden; the Engine Data page's "Test" button fills it (clearText, appendLine) and shows it
// with showWindow, without disabling the main window. "OK" or the title bar hides it again.
class TForm2 : public QWidget {
    Q_OBJECT

public:
    explicit TForm2(QWidget* parent = nullptr);

    void clearText();
    void appendLine(const QString& line);
    // Shows the window where it stands and brings it to the front; returns at once.
    void showWindow();

private:
    void Button1Click();

    QPlainTextEdit* Memo1;
};
