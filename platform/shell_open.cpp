#include "platform/shell_open.h"

namespace xb::platform {

namespace {
NoShell g_noShell;
Shell* g_shell = nullptr;
}  // namespace

Shell& CurrentShell() {
    return g_shell ? *g_shell : g_noShell;
}

Shell* SetShell(Shell* shell) {
    Shell* old = g_shell;
    g_shell = shell;
    return old;
}

}  // namespace xb::platform
