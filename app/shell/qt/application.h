// The program's application object. No exception crosses the event loop: an exception thrown by an
// event handler is caught where the event is delivered, its text is shown in a message box captioned
// with the application title, and the program goes on.
#pragma once

#include <QApplication>
#include <functional>

namespace app {

// The title the program runs under (with its trailing blank).
inline constexpr const char* kApplicationTitle = "PELMORAD ";

// Runs deliver; an exception it throws is shown through the UI seam (stop icon, the application title as
// caption, the exception's text) and answered as an unhandled event (false).
bool DeliverReportingExceptions(const std::function<bool()>& deliver);

class Application : public QApplication {
    Q_OBJECT

public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace app
