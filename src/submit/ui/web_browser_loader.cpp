#include "submit/ui/web_browser_loader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace {

using CreateFunction = QWidget* (*)(QWidget* parent, Browser** browser);

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
