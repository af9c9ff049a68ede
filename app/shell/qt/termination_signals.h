// SIGTERM and SIGINT end the program the way its quit button does: the main window is closed, so the
// settings are written and the tables packed. The handler itself only writes a byte to a pipe and sets
// the stop request (xb::platform::RequestStop; nothing else is safe in a signal handler); the event loop
// reads the pipe and does the closing, and a start still under way, before any event loop, ends at its
// next step.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class QSocketNotifier;

namespace app {

// Whether a termination signal came while the handlers were installed, even one whose close the event
// loop has not run yet: work that a close is about to cut short (the first activation) is not begun.
bool TerminationSignalled();

class TerminationSignals : public QObject {
    Q_OBJECT

public:
    // Installs the handlers for the lifetime of the object; one instance at a time.
    explicit TerminationSignals(QWidget* mainWindow);
    ~TerminationSignals() override;

    void setWindow(QWidget* mainWindow) { m_window = mainWindow; }
    // How many signals were turned into a close.
    int received() const { return m_received; }

private:
    void onSignal();
    void closeWindow(int attempt);

    QPointer<QWidget> m_window;
    QSocketNotifier* m_notifier = nullptr;
    int m_received = 0;
};

}  // namespace app
