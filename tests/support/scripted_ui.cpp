#include "tests/support/scripted_ui.h"

namespace xbtest {

ScriptedUi::ScriptedUi() : m_previous(xb::platform::SetUi(this)) {}

ScriptedUi::~ScriptedUi() {
    xb::platform::SetUi(m_previous);
}

int ScriptedUi::messageBox(const std::string& text, const std::string& caption, unsigned flags) {
    messages.push_back({text, caption, flags, std::this_thread::get_id()});
    if (boxAnswers.empty()) {
        // The default button's answer.
        const bool second = (flags & xb::platform::kMbDefButton2) != 0;
        if ((flags & 0x0F) == xb::platform::kMbYesNo) return second ? xb::platform::kIdNo : xb::platform::kIdYes;
        if ((flags & 0x0F) == xb::platform::kMbOkCancel && second) return xb::platform::kIdCancel;
        return xb::platform::kIdOk;
    }
    int a = boxAnswers.front();
    boxAnswers.pop_front();
    return a;
}

char ScriptedUi::dialog(const std::string& caption, char icon, const std::string& text,
                        const std::string& buttons) {
    messages.push_back(
        {text, caption, static_cast<unsigned>(static_cast<unsigned char>(icon)), std::this_thread::get_id()});
    if (dialogAnswers.empty()) return xb::platform::DefaultButtonHotkey(buttons);
    char a = dialogAnswers.front();
    dialogAnswers.pop_front();
    return a;
}

void ScriptedUi::progressStart(const std::string& caption, long total) {
    progress.push_back("start " + caption + " " + std::to_string(total));
}

void ScriptedUi::progressStep(long done) {
    progress.push_back("step " + std::to_string(done));
}

void ScriptedUi::progressEnd() {
    progress.push_back("end");
}

}  // namespace xbtest
