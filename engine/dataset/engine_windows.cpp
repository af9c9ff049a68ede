#include "engine/dataset/engine_windows.h"

#include "platform/ui.h"

namespace xb {

namespace {

char iconOf(const std::string& kind) { return kind.empty() ? ' ' : kind[0]; }

}  // namespace

std::string DialogButtonList(const std::string& buttons) {
    std::string out;
    std::string word;
    auto flush = [&] {
        if (word.empty()) return;
        if (!out.empty()) out += ';';
        out += word;
        word.clear();
    };
    for (char c : buttons) {
        if (c == ' ')
            flush();
        else
            word += c;
    }
    flush();
    return out.empty() ? "&OK" : out;
}

std::string LiteralCaption(const std::string& caption) {
    std::string out = "&";
    for (char c : caption) {
        // The seam separates captions with ";": a ";" inside one is shown as ",".
        if (c == ';')
            out += ',';
        else if (c == '&')
            out += "&&";
        else
            out += c;
    }
    return out;
}

char ShowDialogForm(const std::string& caption, const std::string& kind, const std::string& text,
                    const std::string& buttons) {
    return platform::CurrentUi().dialog(caption, iconOf(kind), text, DialogButtonList(buttons));
}

char ShowDialogFormList(const std::string& caption, const std::string& kind, const std::string& text,
                        const std::vector<std::string>& captions) {
    std::string list;
    for (const std::string& c : captions) {
        if (c.empty()) continue;
        if (!list.empty()) list += ';';
        list += LiteralCaption(c);
    }
    if (list.empty()) list = "&OK";
    return platform::CurrentUi().dialog(caption, iconOf(kind), text, list);
}

TXbProgressWindow::TXbProgressWindow(const std::string& caption) {
    platform::CurrentUi().progressStart(caption, 100);
}

TXbProgressWindow::~TXbProgressWindow() { platform::CurrentUi().progressEnd(); }

void TXbProgressWindow::Step() { platform::CurrentUi().progressStep(++m_steps); }

}  // namespace xb
