// The UI seam's stand-in for tests: records every message, dialog and progress call and answers from a
// script given in advance (the default button once the script runs out). Installed for its lifetime.
#pragma once

#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui.h"

namespace xbtest {

class ScriptedUi : public xb::platform::Ui {
public:
    struct Message {
        std::string text;
        std::string caption;
        unsigned flags = 0;
        std::thread::id thread;  // the thread that showed it
    };

    ScriptedUi();
    ~ScriptedUi() override;

    std::deque<int> boxAnswers;         // answers of message boxes, in order
    std::deque<char> dialogAnswers;     // hotkeys of dialogs, in order
    std::vector<Message> messages;      // message boxes and dialogs (dialog: flags = the icon letter)
    std::vector<std::string> progress;  // "start CAPTION TOTAL", "step N", "end"

    int messageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    char dialog(const std::string& caption, char icon, const std::string& text,
                const std::string& buttons) override;
    void progressStart(const std::string& caption, long total) override;
    void progressStep(long done) override;
    void progressEnd() override;

private:
    xb::platform::Ui* m_previous;
};

}  // namespace xbtest
