#include "platform/program_info.h"

#ifndef TORVANE_VERSION
#error "TORVANE_VERSION is set by the build"
#endif

QString programName() {
    return QStringLiteral("Torvane");
}

QString programVersion() {
    return QStringLiteral(TORVANE_VERSION);
}
