#include "submit/ui/web_browser_loader.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QWidget>

namespace {

using CreateFunction = QWidget* (*)(QWidget* parent, Browser** browser);

} // namespace

QStringList webBrowserModuleFolders() {
    return {QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/" TORVANE_RELATIVE_MODULE_DIR)),
            QStringLiteral(TORVANE_BUILD_MODULE_DIR)};
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
    // The module stays loaded for the rest of the process: the web engine cannot be unloaded.
    QLibrary module(path);
    const auto create = reinterpret_cast<CreateFunction>(module.resolve("torvaneCreateWebBrowser"));
    if (!create) {
        error = QStringLiteral("Unable to load the web browser module: %1").arg(module.errorString());
        return {};
    }
    WebBrowserParts parts;
    parts.widget = create(parent, &parts.browser);
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
