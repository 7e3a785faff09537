#pragma once

// Whether a window can be shown, judged from the environment before any application object
// exists: Qt ends the process (SIGABRT) when its window system cannot be reached, so the
// program asks first. QT_QPA_PLATFORM, when set, names the platforms to try in turn; xcb needs
// DISPLAY, wayland needs WAYLAND_DISPLAY, and the others (offscreen, minimal, eglfs, linuxfb,
// vnc…) need neither. Unset, Qt picks xcb or wayland, so either variable will do.
bool windowDisplayAvailable();
