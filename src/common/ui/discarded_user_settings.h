#pragma once

#include <QTemporaryDir>

// The program keeps no settings, but Qt's file dialog reads and writes its history and view
// state through QSettings (user scope, organization "QtProject"): it reads them when it is made
// and writes them when it is destroyed. While an object of this class lives, user-scope settings
// point into a temporary folder of its own, which is removed with whatever was written there;
// afterwards they point to the usual place again. Make one before a file dialog and let it
// outlive the dialog.
class DiscardedUserSettings {
public:
    DiscardedUserSettings();
    ~DiscardedUserSettings();
    DiscardedUserSettings(const DiscardedUserSettings&) = delete;
    DiscardedUserSettings& operator=(const DiscardedUserSettings&) = delete;

private:
    QTemporaryDir m_folder;
};
