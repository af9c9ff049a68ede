// The engine's message, progress and dialog windows as the dataset layer and the application reach them:
// through the platform's UI seam, so that nothing here needs a window system. The program installs the
// Qt windows behind the seam (engine/dataset/qt); tests answer by script. Text is UTF-8.
#pragma once

#include <string>
#include <vector>

namespace xb {

// The dialog: caption, icon letter ("!", "?", "A", "H", "I"; others show none), message text (line breaks
// and ";" start new lines; " CENTERTEXT" centres it) and blank-separated button captions with "&" before
// the hotkey ("&Oui &Non"; empty gives "&OK"). Returns the hotkey letter of the pressed button, or a
// blank when the window was closed without one.
char ShowDialogForm(const std::string& caption, const std::string& kind, const std::string& text,
                    const std::string& buttons);
// The same with the captions given one by one, so that a caption may hold blanks ("A-Paris SG"). Each
// caption is shown as written ("&" included) and its hotkey is its first character (see LiteralCaption).
char ShowDialogFormList(const std::string& caption, const std::string& kind, const std::string& text,
                        const std::vector<std::string>& captions);

// The blank-separated caption list as the seam's list (double blanks reduced, trimmed, ";" between).
std::string DialogButtonList(const std::string& buttons);
// One literal caption in the seam's form: the first character is the hotkey, every "&" is doubled. A "&"
// cannot be a hotkey (platform::HotkeyOf reads "&&" as a literal "&"): a leading one gives the hotkey to
// the character after it.
std::string LiteralCaption(const std::string& caption);

// A progress window of 100 steps (index builds, virtual-file loads and saves) for as long as it lives.
class TXbProgressWindow {
public:
    explicit TXbProgressWindow(const std::string& caption);
    ~TXbProgressWindow();
    TXbProgressWindow(const TXbProgressWindow&) = delete;
    TXbProgressWindow& operator=(const TXbProgressWindow&) = delete;
    void Step();

private:
    long m_steps = 0;
};

}  // namespace xb
