#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class Browser;
class QCoreApplication;
class QObject;
class QWidget;

// The embedded web browser as the program gets it: the web engine is a large library that takes
// a noticeable time and memory to load, so it lives in a module (libtorvane_web.so) loaded on
// first use rather than at start-up.
struct WebBrowserParts {
    QWidget* widget = nullptr; // the web view, a child of the given parent
    Browser* browser = nullptr;
};

// The folders searched for the module: one, found from the program's own folder (the installed
// bin/ -> lib/<arch>/torvane; the build tree keeps the same layout), so that a program copied
// elsewhere never loads a module left at the place it was built.
QStringList webBrowserModuleFolders();

// Loads the module from the first of folders that has it (once per process; first the OpenGL
// context that the engine shares with the windows is made) and creates a web browser as a child
// of parent. On failure the parts are empty and error says why.
WebBrowserParts createWebBrowser(QWidget* parent, QString& error,
                                 const QStringList& folders = webBrowserModuleFolders());

// The application object a job that runs the browser without a window makes: the web view is a
// widget, so it is a QApplication. argc and argv must outlive it.
std::unique_ptr<QCoreApplication> createBrowserApplication(int& argc, char** argv);

// A browser for a job without a window: its view sized as the Submit Now page holds it and shown
// on a screen nobody sees (the offscreen platform). browser is set to it; the returned object
// owns it. On failure the result is empty and error says why.
std::unique_ptr<QObject> createWindowlessWebBrowser(Browser*& browser, QString& error);
