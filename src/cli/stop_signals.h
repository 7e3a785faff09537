#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into the Qt signal stopRequested() on the thread that made this
// object: the handler only writes a byte into a pipe, which a socket notifier reads, so a job
// can stop cleanly (and write its report) instead of being killed half way. One at a time.
class StopSignals final : public QObject {
    Q_OBJECT

public:
    explicit StopSignals(QObject* parent = nullptr);
    // Gives both signals their default action again.
    ~StopSignals() override;

    // Installs the handlers (again): the web engine gives the signals their default action when
    // it starts, so this is called once more after that.
    void install();
    bool received() const { return m_received; }

signals:
    // The first SIGINT or SIGTERM; later ones are ignored.
    void stopRequested();

private:
    void readPipe();

    QSocketNotifier* m_notifier = nullptr;
    bool m_received = false;
};
