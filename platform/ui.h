// The one seam through which engine code talks to the user: message boxes, the dialog with buttons and
// the progress window. The default writes to stderr and answers as a user pressing the default button
// would; the program installs Qt windows, tests a scripted stand-in. Nothing behind it may block a test.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace xb::platform {

// Message box flags keep their Windows values.
enum : unsigned {
    kMbOk = 0x0000,
    kMbOkCancel = 0x0001,
    kMbYesNo = 0x0004,
    kMbIconStop = 0x0010,
    kMbIconQuestion = 0x0020,
    kMbIconWarning = 0x0030,
    kMbIconInformation = 0x0040,
    // The second button (No, Cancel) is the default one: what Enter, and a stand-in answering as a user
    // pressing the default button, chooses.
    kMbDefButton2 = 0x0100,
};
// Button results keep their Windows values.
enum : int { kIdOk = 1, kIdCancel = 2, kIdYes = 6, kIdNo = 7 };

class Ui {
public:
    virtual ~Ui() = default;
    // Returns the button pressed (kIdOk, kIdYes, ...).
    virtual int messageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
    // A box whose text is a summary and whose details (a long list) are shown in a scrolling area, so
    // that the box fits the screen however long the list. Without a window of its own, the details follow
    // the text in one message.
    virtual int messageBoxWithDetails(const std::string& text, const std::string& details,
                                      const std::string& caption, unsigned flags) {
        return messageBox(details.empty() ? text : text + "\n\n" + details, caption, flags);
    }
    // A dialog with buttons given as "&Yes;&No"-style captions; returns the hotkey letter of the button.
    virtual char dialog(const std::string& caption, char icon, const std::string& text,
                        const std::string& buttons) = 0;
    virtual void progressStart(const std::string& caption, long total) = 0;
    virtual void progressStep(long done) = 0;
    virtual void progressEnd() = 0;
};

// Writes every message to stderr; message boxes answer their default button, dialogs their first hotkey.
class StderrUi : public Ui {
public:
    int messageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    char dialog(const std::string& caption, char icon, const std::string& text,
                const std::string& buttons) override;
    void progressStart(const std::string&, long) override {}
    void progressStep(long) override {}
    void progressEnd() override {}
};

Ui& CurrentUi();
// Installs ui (nullptr restores the stderr default); returns the previous one.
Ui* SetUi(Ui* ui);

// The one hotkey rule of button captions, whichever seam shows the dialog: the character after the first
// single "&" ("&&" stands for a literal "&"), else the caption's first character; upper case, as a
// Windows-1252 byte (a caption in UTF-8 has its letter mapped to that page); a blank for an empty caption,
// as for a dialog closed without a button.
char HotkeyOf(std::string_view caption);
// The hotkey of the first of the ";"-separated captions: the answer of a user pressing the default button.
char DefaultButtonHotkey(std::string_view buttons);

}  // namespace xb::platform
