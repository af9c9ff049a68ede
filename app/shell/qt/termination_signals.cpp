#include "app/shell/qt/termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <csignal>

#include "platform/file.h"

namespace app {

namespace {

int g_pipe[2] = {-1, -1};
volatile sig_atomic_t g_signalled = 0;
struct sigaction g_oldTerm;
struct sigaction g_oldInt;

void onTerminationSignal(int) {
    const int saved = errno;
    // Read by the start's steps, which run before the event loop reads the pipe.
    xb::platform::RequestStop();
    g_signalled = 1;
    const char byte = 1;
    // A full pipe already holds a pending close; losing this byte loses nothing.
    [[maybe_unused]] ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(QWidget* mainWindow) : m_window(mainWindow) {
    // A request counts for the run of the handlers that took it, and no longer.
    xb::platform::ForgetStopRequest();
    g_signalled = 0;
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::onSignal);
    struct sigaction sa = {};
    sa.sa_handler = onTerminationSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, &g_oldTerm);
    sigaction(SIGINT, &sa, &g_oldInt);
}

TerminationSignals::~TerminationSignals() {
    if (g_pipe[0] < 0) return;
    sigaction(SIGTERM, &g_oldTerm, nullptr);
    sigaction(SIGINT, &g_oldInt, nullptr);
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
    xb::platform::ForgetStopRequest();
    g_signalled = 0;
}

bool TerminationSignalled() {
    return g_signalled != 0;
}

void TerminationSignals::onSignal() {
    char buffer[64];
    while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
    }
    ++m_received;
    closeWindow(0);
}

// A modal window in front (the first-run language choice, a message) is dismissed first, so that its own
// event loop returns; the main window is closed once that has happened.
void TerminationSignals::closeWindow(int attempt) {
    if (QWidget* modal = QApplication::activeModalWidget(); modal && attempt < 50) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        QTimer::singleShot(0, this, [this, attempt] { closeWindow(attempt + 1); });
        return;
    }
    if (m_window) m_window->close();
}

}  // namespace app
