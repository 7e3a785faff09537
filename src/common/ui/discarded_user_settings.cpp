#include "common/ui/discarded_user_settings.h"

#include <QSettings>
#include <QStandardPaths>

namespace {

void setUserSettingsPath(const QString& path) {
    // On Unix the native format is the INI format; both are set so either finds the same place.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, path);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, path);
}

} // namespace

DiscardedUserSettings::DiscardedUserSettings() {
    // Without a temporary folder, a path under a file: no folder can be made there, so nothing is
    // written at all.
    setUserSettingsPath(m_folder.isValid() ? m_folder.path() : QStringLiteral("/dev/null"));
}

DiscardedUserSettings::~DiscardedUserSettings() {
    setUserSettingsPath(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}
