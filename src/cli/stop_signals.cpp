#include "cli/stop_signals.h"

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> kStopSignals = {SIGINT, SIGTERM, SIGHUP};

int g_pipe[2] = {-1, -1};
// The actions the signals had when the StopSignals object was made, in kStopSignals' order.
std::array<struct sigaction, kStopSignals.size()> g_found = {};
volatile std::sig_atomic_t g_count = 0; // stop signals received since then

const struct sigaction* foundAction(int signal) {
    for (size_t i = 0; i < kStopSignals.size(); ++i) {
        if (kStopSignals[i] == signal)
            return &g_found[i];
    }
    return nullptr;
}

void onSignal(int signal) {
    const int savedErrno = errno;
    const std::sig_atomic_t earlier = g_count;
    g_count = earlier + 1;
    if (earlier > 0) {
        // The second stop signal: the job is not waited for. The signal's own action ends the
        // program (it is delivered again once this handler returns).
        if (const struct sigaction* found = foundAction(signal))
            ::sigaction(signal, found, nullptr);
        ::raise(signal);
        errno = savedErrno;
        return;
    }
    const char byte = 1;
    // A full pipe already holds a wake-up: losing this byte loses nothing.
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = savedErrno;
}

bool wasIgnored(const struct sigaction& action) {
    return !(action.sa_flags & SA_SIGINFO) && action.sa_handler == SIG_IGN;
}

} // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
    for (size_t i = 0; i < kStopSignals.size(); ++i)
        ::sigaction(kStopSignals[i], nullptr, &g_found[i]);
    g_count = 0;
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // without a pipe the signals keep their actions
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StopSignals::readPipe);
    install();
}

StopSignals::~StopSignals() {
    if (!m_notifier)
        return;
    for (size_t i = 0; i < kStopSignals.size(); ++i)
        ::sigaction(kStopSignals[i], &g_found[i], nullptr);
}

void StopSignals::install() {
    if (!m_notifier)
        return;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < kStopSignals.size(); ++i) {
        // Ignored at the start: ignored again, whatever was set since.
        ::sigaction(kStopSignals[i], wasIgnored(g_found[i]) ? &g_found[i] : &action, nullptr);
    }
}

void StopSignals::readPipe() {
    char bytes[64];
    while (::read(g_pipe[0], bytes, sizeof bytes) > 0) {
    }
    if (m_received)
        return;
    m_received = true;
    emit stopRequested();
}
