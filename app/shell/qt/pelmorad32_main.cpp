// The program's entry point.
#include "app/shell/qt/program.h"

int main(int argc, char** argv) {
    return app::RunProgram(argc, argv);
}
