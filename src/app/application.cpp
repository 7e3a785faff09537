#include "app/application.h"

#include <QApplication>
#include <QWidget>
#include <unistd.h>

int runTorvane(int argc, char* argv[]) {
    // The web view shares OpenGL contexts with the widgets; this must be set before the
    // application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The web engine's sandbox cannot run as root; switch it off only then.
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Torvane 2000"));
    window.resize(479, 388);
    window.show();
    return app.exec();
}
