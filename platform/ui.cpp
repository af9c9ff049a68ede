#include "platform/ui.h"

#include <cctype>
#include <cstdio>

namespace xb::platform {

namespace {
StderrUi g_stderrUi;
Ui* g_ui = nullptr;
}  // namespace

int StderrUi::messageBox(const std::string& text, const std::string& caption, unsigned flags) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    switch (flags & 0x0F) {
        case kMbYesNo: return kIdYes;
        default: return kIdOk;
    }
}

char StderrUi::dialog(const std::string& caption, char, const std::string& text, const std::string& buttons) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    size_t end = buttons.find(';');
    return HotkeyOf(buttons.substr(0, end));
}

Ui& CurrentUi() { return g_ui ? *g_ui : g_stderrUi; }

Ui* SetUi(Ui* ui) {
    Ui* old = g_ui;
    g_ui = ui;
    return old;
}

char HotkeyOf(const std::string& caption) {
    size_t amp = caption.find('&');
    if (amp != std::string::npos && amp + 1 < caption.size())
        return static_cast<char>(std::toupper(static_cast<unsigned char>(caption[amp + 1])));
    return caption.empty() ? '\0' : static_cast<char>(std::toupper(static_cast<unsigned char>(caption[0])));
}

}  // namespace xb::platform
