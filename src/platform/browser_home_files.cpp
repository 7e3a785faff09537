#include "platform/browser_home_files.h"

#include <QDir>
#include <QFile>
#include <QObject>
#include <algorithm>
#include <cstdlib>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The files the engine makes in a new database.
constexpr const char* kDatabaseFiles[] = {"cert9.db", "key4.db", "pkcs11.txt", "cert9.db-journal", "key4.db-journal"};

// Made before main() runs, so it outlives the tidying that std::atexit arranges later.
std::optional<WebEngineHomeFiles> g_homeFiles;

// Hears a web view's loadFinished(bool), a signal of a class this side has no header of.
class LoadListener : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

public slots:
    void pageLoaded() {
        if (g_homeFiles)
            g_homeFiles->record();
    }
};

} // namespace

WebEngineHomeFiles::WebEngineHomeFiles(const QString& home) : m_root(QFile::encodeName(home + u"/.pki")) {
    struct stat status {};
    m_ours = ::lstat(m_root.constData(), &status) != 0;
}

void WebEngineHomeFiles::record() {
    if (!m_ours)
        return;
    for (const char* name : kDatabaseFiles) {
        const QByteArray path = m_root + "/nssdb/" + QByteArray(name);
        const bool known =
            std::any_of(m_records.begin(), m_records.end(), [&](const Record& record) { return record.path == path; });
        struct stat status {};
        if (known || ::lstat(path.constData(), &status) != 0 || !S_ISREG(status.st_mode))
            continue;
        m_records.push_back({path, status.st_dev, status.st_ino, status.st_size, status.st_mtim});
    }
}

void WebEngineHomeFiles::tidy() {
    if (!m_ours)
        return;
    for (const Record& record : m_records) {
        struct stat status {};
        if (::lstat(record.path.constData(), &status) == 0 && S_ISREG(status.st_mode) &&
            status.st_dev == record.device && status.st_ino == record.inode && status.st_size == record.size &&
            status.st_mtim.tv_sec == record.modified.tv_sec && status.st_mtim.tv_nsec == record.modified.tv_nsec)
            ::unlink(record.path.constData());
    }
    m_records.clear();
    // rmdir removes only an empty folder.
    ::rmdir(QByteArray(m_root + "/nssdb").constData());
    ::rmdir(m_root.constData());
}

void noteWebEngineHomeFiles() {
    if (g_homeFiles)
        return;
    g_homeFiles.emplace(QDir::homePath());
    std::atexit(tidyWebEngineHomeFiles);
}

void recordWebEngineHomeFiles(QObject* view) {
    if (view->metaObject()->indexOfSignal("loadFinished(bool)") >= 0)
        QObject::connect(view, SIGNAL(loadFinished(bool)), new LoadListener(view), SLOT(pageLoaded()));
    QObject::connect(view, &QObject::destroyed, [] {
        if (g_homeFiles)
            g_homeFiles->record();
    });
}

void tidyWebEngineHomeFiles() {
    if (g_homeFiles)
        g_homeFiles->tidy();
}

#include "browser_home_files.moc"
