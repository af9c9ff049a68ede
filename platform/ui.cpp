#include "platform/ui.h"

#include <cstdio>

#include "platform/codepage.h"

namespace xb::platform {

namespace {
StderrUi g_stderrUi;
Ui* g_ui = nullptr;
}  // namespace

int StderrUi::messageBox(const std::string& text, const std::string& caption, unsigned flags) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    const bool second = (flags & kMbDefButton2) != 0;
    switch (flags & 0x0F) {
        case kMbYesNo: return second ? kIdNo : kIdYes;
        case kMbOkCancel: return second ? kIdCancel : kIdOk;
        default: return kIdOk;
    }
}

char StderrUi::dialog(const std::string& caption, char, const std::string& text, const std::string& buttons) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return DefaultButtonHotkey(buttons);
}

Ui& CurrentUi() { return g_ui ? *g_ui : g_stderrUi; }

Ui* SetUi(Ui* ui) {
    Ui* old = g_ui;
    g_ui = ui;
    return old;
}

char HotkeyOf(std::string_view caption) {
    if (caption.empty()) return ' ';
    size_t at = 0;
    for (size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&') continue;
        if (caption[i + 1] == '&') {
            ++i;
            continue;
        }
        at = i + 1;
        break;
    }
    auto byte = static_cast<unsigned char>(caption[at]);
    if (byte >= 0x80 && IsValidUtf8(std::string(caption))) {
        // Only the first character counts: cutting after it can leave no more than a broken tail.
        const std::u32string decoded = DecodeUtf8(std::string(caption.substr(at, 4)));
        const int inPage = decoded.empty() ? -1 : ByteOf(1252, decoded[0]);
        byte = inPage < 0 ? static_cast<unsigned char>('?') : static_cast<unsigned char>(inPage);
    }
    return static_cast<char>(UpperByte(1252, byte));
}

char DefaultButtonHotkey(std::string_view buttons) {
    return HotkeyOf(buttons.substr(0, buttons.find(';')));
}

}  // namespace xb::platform
