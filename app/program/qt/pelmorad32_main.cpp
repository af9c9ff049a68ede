// The program's entry point.
#include "app/program/qt/program.h"
#include "app/program/qt/program_windows.h"

int main(int argc, char** argv) {
    return app::RunProgram(argc, argv, app::ProgramWindowEntries());
}
