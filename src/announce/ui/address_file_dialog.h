#pragma once

#include <QString>

class QWidget;

// The open dialog of Add From File…: text and sitemap files, or any file. Returns the full
// path, or an empty string when the user cancels.
QString askAddressFileName(QWidget* parent, const QString& directory);
