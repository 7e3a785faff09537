#include "submit/ui/web_browser_loader.h"

#include "platform/browser_home_files.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QOpenGLContext>
#include <QWidget>

#if QT_CONFIG(opengl)
QT_BEGIN_NAMESPACE
// Qt Gui's setter of the OpenGL context shared by all windows: exported for the web engine, which
// declares it the same way, and in no installed header.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);
QT_END_NAMESPACE
#endif

namespace {

using CreateFunction = QWidget* (*)(QWidget* parent, Browser** browser);

#if QT_CONFIG(opengl)
QOpenGLContext* g_shareContext = nullptr;

void deleteShareContext() {
    if (QOpenGLContext::globalShareContext() == g_shareContext)
        qt_gl_set_global_share_context(nullptr);
    delete g_shareContext;
    g_shareContext = nullptr;
}
#endif

// The web engine draws through an OpenGL context that Qt shares with every window, and it must
// exist before the engine is loaded. Qt::AA_ShareOpenGLContexts would make it when the application
// starts, and with it load the OpenGL driver, which costs as much time and memory as the rest of
// the start together; the program makes it here, when the web view is first needed. Where OpenGL
// cannot be had (no display), the context stays invalid and the engine draws in software.
void makeSharedOpenGLContext() {
#if QT_CONFIG(opengl)
    if (QOpenGLContext::globalShareContext())
        return;
    g_shareContext = new QOpenGLContext;
    g_shareContext->setFormat(QSurfaceFormat::defaultFormat());
    g_shareContext->create();
    qt_gl_set_global_share_context(g_shareContext);
    // Widgets that draw with OpenGL keep to it when they change windows. Qt warns that the
    // attribute belongs before the application, where it would make the context at start; made
    // already, the context is what the attribute asks for, so that one warning is left out.
    const QtMessageHandler handler =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    qInstallMessageHandler(handler);
    // Called as the application ends, after the web engine's own end (registered later).
    qAddPostRoutine(deleteShareContext);
#endif
}

} // namespace

QStringList webBrowserModuleFolders() {
    return {QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/" TORVANE_RELATIVE_MODULE_DIR))};
}

WebBrowserParts createWebBrowser(QWidget* parent, QString& error, const QStringList& folders) {
    const QString fileName = QStringLiteral("libtorvane_web.so");
    QString path;
    for (const QString& folder : folders) {
        if (QFileInfo::exists(folder + u'/' + fileName)) {
            path = folder + u'/' + fileName;
            break;
        }
    }
    if (path.isEmpty()) {
        error = QStringLiteral("Unable to find the web browser module %1 in %2")
                    .arg(fileName, folders.join(QStringLiteral(", ")));
        return {};
    }
    makeSharedOpenGLContext();
    // The module stays loaded for the rest of the process: the web engine cannot be unloaded.
    QLibrary module(path);
    const auto create = reinterpret_cast<CreateFunction>(module.resolve("torvaneCreateWebBrowser"));
    if (!create) {
        error = QStringLiteral("Unable to load the web browser module: %1").arg(module.errorString());
        return {};
    }
    WebBrowserParts parts;
    parts.widget = create(parent, &parts.browser);
    if (parts.widget)
        recordWebEngineHomeFiles(parts.widget);
    return parts;
}

std::unique_ptr<QCoreApplication> createBrowserApplication(int& argc, char** argv) {
    return std::make_unique<QApplication>(argc, argv);
}

std::unique_ptr<QObject> createWindowlessWebBrowser(Browser*& browser, QString& error) {
    const WebBrowserParts parts = createWebBrowser(nullptr, error);
    browser = parts.browser;
    if (!parts.widget)
        return {};
    std::unique_ptr<QObject> owner(parts.widget);
    parts.widget->resize(345, 209);
    parts.widget->show();
    return owner;
}
