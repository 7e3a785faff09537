#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT, SIGTERM and SIGHUP into the Qt signal stopRequested() on the thread that made
// this object: the handler only writes a byte into a pipe, which a socket notifier reads, so a
// job can stop cleanly (and write its report) instead of being killed half way. A second one
// ends the program at once, as that signal's action found at the start does (by default the
// program ends by the signal: the shell's status 130 after a second Ctrl-C). A signal that was
// ignored when the object was made (nohup, a background job of a script) stays ignored. One at a
// time.
class StopSignals final : public QObject {
    Q_OBJECT

public:
    explicit StopSignals(QObject* parent = nullptr);
    // Gives the signals the actions found when this object was made.
    ~StopSignals() override;

    // Installs the handlers (again): the web engine gives the signals their default action when
    // it starts, so this is called once more after that.
    void install();
    bool received() const { return m_received; }

signals:
    // The first SIGINT, SIGTERM or SIGHUP.
    void stopRequested();

private:
    void readPipe();

    QSocketNotifier* m_notifier = nullptr;
    bool m_received = false;
};
