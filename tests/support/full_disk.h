#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <csignal>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>

// Two ways to make writes fail as on a full disk: a real file system that runs out of space
// (where this process may mount one), and a limit on the size of files (anywhere).

// A file system of a few kilobytes on a fresh temporary folder.
//
// Mounting needs root with the right to mount (CAP_SYS_ADMIN). The calling thread first moves
// to a mount namespace of its own, so the mount is seen by no other thread or process and
// cannot outlive the test. Where mounting is not allowed, isMounted() is false.
class SmallFileSystem {
public:
    explicit SmallFileSystem(int kilobytes) {
        if (!m_dir.isValid() || ::unshare(CLONE_NEWNS) != 0)
            return;
        // Mounts made from here on must not reach the namespace this thread came from.
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return;
        const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k";
        m_mounted = ::mount("tmpfs", mountPoint().constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) == 0;
    }
    ~SmallFileSystem() {
        if (m_mounted)
            ::umount2(mountPoint().constData(), MNT_DETACH);
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool isMounted() const { return m_mounted; }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

    // Takes up all the space that is left with a file of this name; true when the file system
    // then refuses the next byte.
    bool fill(const QString& name) const {
        QFile filler(filePath(name));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size()) {
        }
        return filler.write("f", 1) != 1 && filler.error() == QFileDevice::ResourceError; // no space left
    }

private:
    QByteArray mountPoint() const { return QFile::encodeName(m_dir.path()); }

    QTemporaryDir m_dir;
    bool m_mounted = false;
};

// While it exists, files of this process cannot grow beyond bytes (0: no change). Writes past
// the limit fail as on a full disk, for root as well.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        if (bytes == 0 || ::getrlimit(RLIMIT_FSIZE, &m_old) != 0)
            return;
        ::signal(SIGXFSZ, SIG_IGN); // the failing write returns an error instead
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        m_set = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        if (m_set)
            ::setrlimit(RLIMIT_FSIZE, &m_old);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old{};
    bool m_set = false;
};
