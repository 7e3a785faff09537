#include "platform/window_display.h"

#include <QByteArray>
#include <QList>

bool windowDisplayAvailable() {
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    const QByteArray platforms = qgetenv("QT_QPA_PLATFORM");
    if (platforms.trimmed().isEmpty())
        return x11 || wayland;
    // "wayland;xcb" is tried in that order; "xcb:option=value" carries options after a colon.
    for (const QByteArray& entry : platforms.split(';')) {
        const QByteArray name = entry.split(':').constFirst().trimmed();
        if (name.isEmpty())
            continue;
        if (name == "xcb") {
            if (x11)
                return true;
        } else if (name.startsWith("wayland")) {
            if (wayland)
                return true;
        } else {
            return true;
        }
    }
    return false;
}
