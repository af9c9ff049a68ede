#include "app/shell/qt/program.h"

#include <curl/curl.h>

#include <cstdio>

#include "app/shell/qt/application.h"
#include "app/shell/qt/desktop_shell.h"
#include "app/shell/qt/language_choice.h"
#include "app/shell/qt/main_form.h"
#include "app/shell/qt/termination_signals.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/dataset/engine_start.h"
#include "engine/dataset/qt/engine_windows_qt.h"

namespace app {

template <typename T>
T* AppWindows::add(std::unique_ptr<T> window) {
    T* raw = window.get();
    m_windows.push_back(std::move(window));
    return raw;
}

AppWindows::AppWindows() {
    m_mainForm = add(std::make_unique<TMainForm>());
    Form10 = add(std::make_unique<TForm10>());
}

AppWindows::~AppWindows() {
    while (!m_windows.empty()) m_windows.pop_back();
}

void ShowHaltMessage(const std::string& text, uint16_t code) {
    std::fprintf(stderr, "Program halted. %s (status %d)\n", text.c_str(), xb::ExitStatusOf(code));
    xb::EngineMessageBox(text, "Program halted.", xb::platform::kMbOk | xb::platform::kMbIconStop);
}

int RunProgram(int argc, char** argv) {
    xb::Engine engine;
    xb::InstallEngineUnits(engine);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    int status = 0;
    {
        Application application(argc, argv);
        xb::QtEngineUi engineUi;
        xb::SetHaltHandler(ShowHaltMessage);
        DesktopShell shell;
        xb::platform::SetShell(&shell);
        AppWindows windows;
        TerminationSignals termination(windows.mainForm());
        windows.mainForm()->show();
        status = application.exec();
        xb::SetHaltHandler(nullptr);
        xb::platform::SetShell(nullptr);
    }
    engine.shutdown();
    curl_global_cleanup();
    return status;
}

}  // namespace app
