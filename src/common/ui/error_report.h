#pragma once

#include <QString>
#include <functional>

class QWidget;

// The standard error report: every handler that fails hands its error text here and ends.
// It shows the text in a critical message box with an OK button.

// The text as shown: a full stop is added when the text's last character sorts after ".".
QString errorReportText(const QString& message);

// Shows the report (through the presenter set below, if any).
void showErrorReport(QWidget* parent, const QString& message);

// Tests replace the message box with a presenter that records the text; an empty function
// restores the message box.
void setErrorReportPresenter(std::function<void(const QString&)> presenter);
