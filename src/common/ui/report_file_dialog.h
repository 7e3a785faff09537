#pragma once

#include <QString>
#include <functional>

class QWidget;

// Asks where to save a report: a save dialog in directory offering CSV and JSON files (the
// chosen filter's extension is added to a bare name). Returns the full path, or an empty string
// when the user cancels.
QString askReportFileName(QWidget* parent, const QString& directory);
// What asks for a report's file name; tests put a function of their own in the dialog's place.
using ReportFileDialogFunction = std::function<QString(QWidget* parent, const QString& directory)>;
