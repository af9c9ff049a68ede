// The program: its windows created in order and owned for the whole run, the engine's windows behind the
// UI seam, the halt handler, the termination signals, and the event loop.
#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace app {

class TMainForm;

// The application's windows, created in the program's order: the main window first (its creation loads
// the language file), the league tables before the main window is first activated. Destroyed in reverse.
class AppWindows {
public:
    AppWindows();
    ~AppWindows();
    AppWindows(const AppWindows&) = delete;
    AppWindows& operator=(const AppWindows&) = delete;

    TMainForm* mainForm() const { return m_mainForm; }

private:
    template <typename T>
    T* add(std::unique_ptr<T> window);

    std::vector<std::unique_ptr<QObject>> m_windows;
    TMainForm* m_mainForm = nullptr;
};

// The program's halt handler: the message goes to stderr and into a box captioned "Program halted.";
// the engine then ends the process with the error's status.
void ShowHaltMessage(const std::string& text, uint16_t code);

// The whole run: engine, application, windows, event loop, end of the engine. Returns the exit status.
int RunProgram(int argc, char** argv);

}  // namespace app
