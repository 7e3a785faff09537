#pragma once

#include <QString>
#include <QtGlobal>

// Which program on which machine wrote something, so that a later program can tell whether the
// writer still runs.
//
// machine: the machine's unique id (made when the system was installed; it stays across reboots
// and renames, where host names repeat across machines and change), else its host name.
// started: the kernel's boot id, the pid namespace and the process's start time since boot. A pid
// means something only within one boot and one namespace (containers on one machine may share
// its id), and the start time tells the writer apart from a later process given the same pid.
struct ProcessIdentity {
    QString machine;
    qint64 pid = 0;
    QString started;
};

// This program (read once, at the first call).
const ProcessIdentity& currentProcess();

// Whether the process is known to have ended: it ran on this machine, in this boot and pid
// namespace, and no process with its pid and start time runs now. False whenever that cannot be
// known (another machine, boot or namespace; /proc not readable), so that a caller waits instead.
bool processHasEnded(const ProcessIdentity& process);
