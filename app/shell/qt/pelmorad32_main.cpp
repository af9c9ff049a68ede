// The program's entry point. The windows of the folders built on the shell are handed to the main window
// here, where they are linked.
#include "app/editing/qt/championship_window.h"
#include "app/shell/qt/program.h"

int main(int argc, char** argv) {
    const auto championships = [] {
        app::Tfgestchamp* window = app::fgestchamp();
        window->show();
        window->raise();
        window->activateWindow();
    };
    return app::RunProgram(
        argc, argv,
        {{QStringLiteral("agestchamp"), championships}, {QStringLiteral("bgestchamp"), championships}});
}
