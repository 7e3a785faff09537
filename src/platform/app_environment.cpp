#include "platform/app_environment.h"

#include "platform/browser_home_files.h"

#include <QCoreApplication>
#include <QDir>
#include <unistd.h>

void prepareApplicationEnvironment() {
    // The program keeps no cache of its own: no compiled shaders in the user's cache folder.
    QCoreApplication::setAttribute(Qt::AA_DisableShaderDiskCache);
    noteWebEngineHomeFiles();
    // The web engine's sandbox cannot run as root; switch it off only then.
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

QString installedDataFolder() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/" TORVANE_RELATIVE_DATA_DIR));
}
