#include "platform/process_identity.h"

#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <cerrno>
#include <csignal>
#include <limits>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The start time of a process in clock ticks since boot (field 22 of /proc/<pid>/stat), or an
// empty string when it cannot be read. The fields are counted after the last ')', as the
// program's name before it may hold spaces and parentheses.
QString startTicks(qint64 pid) {
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray line = stat.readAll();
    const qsizetype end = line.lastIndexOf(')');
    if (end < 0)
        return {};
    const QList<QByteArray> fields = line.mid(end + 2).split(' ');
    return fields.size() > 19 ? QString::fromLatin1(fields[19]) : QString();
}

// This boot and pid namespace ("boot id/namespace"), or empty when either is unknown.
QString bootAndNamespace() {
    QFile boot(u"/proc/sys/kernel/random/boot_id"_s);
    const QString id = boot.open(QIODevice::ReadOnly) ? QString::fromLatin1(boot.readAll().trimmed()) : QString();
    const QString space = QFileInfo(u"/proc/self/ns/pid"_s).symLinkTarget();
    return id.isEmpty() || space.isEmpty() ? QString() : id + u'/' + QFileInfo(space).fileName();
}

} // namespace

namespace {

ProcessIdentity readCurrentProcess() {
    ProcessIdentity process;
    const QByteArray id = QSysInfo::machineUniqueId();
    process.machine = id.isEmpty() ? u"host:"_s + QSysInfo::machineHostName() : QString::fromLatin1(id);
    process.pid = ::getpid();
    const QString place = bootAndNamespace();
    const QString ticks = startTicks(process.pid);
    if (!place.isEmpty() && !ticks.isEmpty())
        process.started = place + u'/' + ticks;
    return process;
}

} // namespace

const ProcessIdentity& currentProcess() {
    // Read once, when first asked (not at start): none of it changes while the program runs.
    static const ProcessIdentity process = readCurrentProcess();
    return process;
}

bool processHasEnded(const ProcessIdentity& process) {
    if (process.pid <= 0 || process.pid > std::numeric_limits<pid_t>::max() || process.started.isEmpty())
        return false;
    const ProcessIdentity& self = currentProcess();
    const qsizetype cut = process.started.lastIndexOf(u'/');
    if (process.machine != self.machine || self.started.isEmpty() ||
        process.started.left(cut) != self.started.left(self.started.lastIndexOf(u'/')))
        return false;
    if (::kill(static_cast<pid_t>(process.pid), 0) == -1 && errno == ESRCH)
        return true;
    // A process with that pid runs: the writer, or a later one given its pid.
    const QString ticks = startTicks(process.pid);
    return !ticks.isEmpty() && ticks != process.started.mid(cut + 1);
}
