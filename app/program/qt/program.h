// The program: its windows created in order and owned for the whole run, the engine's windows behind the
// UI seam, the halt handler, the termination signals, and the event loop.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/exchange/server_exchange.h"
#include "app/shell/qt/main_form.h"
#include "platform/file.h"

namespace app {

class TAboutBox;
class TForm10;
class TMainForm;
class Tfpara;
class Tfsysteme;
class Tftelecharge;

// The program cannot start: a league table could not be opened or created. Its text names the file and
// the engine's reason.
class StartupError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The user chose to stop at the start's question about damaged or missing tables (or the damage left
// no choice): nothing was created or changed, and the message was already shown.
class StartupStopped : public StartupError {
public:
    using StartupError::StartupError;
};

// The application's windows, created in the program's order: the main window first (its creation loads
// the language file), the league tables before the main window is first activated. Destroyed in reverse.
class AppWindows {
public:
    // Creates the windows and opens the league tables in the data directory (GetAppDir()), creating a
    // missing table or index. Throws StartupError, with nothing written, when a table cannot be opened.
    // Tables missing beside present ones, or damaged, are first named in one message through the UI
    // seam: the user goes on (missing tables created empty, damaged ones kept as they are for the run)
    // or stops, which throws StartupStopped with nothing created or changed.
    // The later folders' entries are handed to the main window.
    explicit AppWindows(ExchangeSettings exchange = BuiltInExchangeSettings(),
                        const WindowEntries& later = {});
    ~AppWindows();
    AppWindows(const AppWindows&) = delete;
    AppWindows& operator=(const AppWindows&) = delete;

    TMainForm* mainForm() const { return m_mainForm.get(); }
    ServerExchange& exchange() { return *m_exchange; }

private:
    void askAboutDamage();
    // What the start says when the disk filled while it made tables: which it made and which it did not.
    QString diskFullSaying(const std::string& folder) const;

    // Declared in the order of creation, so that they are destroyed in reverse: the exchange threads
    // outlive every window.
    std::unique_ptr<ServerExchange> m_exchange;
    std::unique_ptr<TMainForm> m_mainForm;
    std::unique_ptr<TAboutBox> m_aboutBox;
    std::unique_ptr<Tfsysteme> m_fsysteme;
    std::unique_ptr<Tfpara> m_fpara;
    std::unique_ptr<TForm10> m_form10;
    std::unique_ptr<Tftelecharge> m_ftelecharge;
    // The lock of the database's creation, held from the check that finds tables to make until they are
    // made (or the start ends).
    std::unique_ptr<xb::platform::CreationLockIfFree> m_creation;
    // The tables ("resultat.dbf") the start is to make.
    std::vector<std::string> m_toCreate;
};

// The program's halt handler: the message goes to stderr and into a box captioned "Program halted.";
// the engine then ends the process with the error's status.
void ShowHaltMessage(const std::string& text, uint16_t code);

// The whole run: engine, application, windows, event loop, end of the engine. Returns the exit status.
int RunProgram(int argc, char** argv, const WindowEntries& later = {});

}  // namespace app
