#include "platform/browser_home_files.h"

#include <QDir>
#include <QFileInfo>
#include <cstdlib>
#include <utility>

namespace {

QString certificateStoreRoot() {
    return QDir::homePath() + QStringLiteral("/.pki");
}

bool certificateStoreIsOurs = false; // ~/.pki did not exist when the program started

} // namespace

void noteWebEngineHomeFiles() {
    static bool noted = false;
    if (std::exchange(noted, true))
        return;
    certificateStoreIsOurs = !QFileInfo::exists(certificateStoreRoot());
    if (certificateStoreIsOurs)
        std::atexit(tidyWebEngineHomeFiles);
}

void tidyWebEngineHomeFiles() {
    if (!certificateStoreIsOurs)
        return;
    // Only the files the engine makes in a new database; anything else stays, and so do the
    // folders holding it.
    QDir database(certificateStoreRoot() + QStringLiteral("/nssdb"));
    for (const char* name : {"cert9.db", "key4.db", "pkcs11.txt", "cert9.db-journal", "key4.db-journal"})
        database.remove(QLatin1StringView(name));
    QDir home(QDir::homePath());
    home.rmdir(QStringLiteral(".pki/nssdb"));
    home.rmdir(QStringLiteral(".pki"));
}
