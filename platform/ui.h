// The one seam through which engine code talks to the user: message boxes, the dialog with buttons and
// the progress window. The default writes to stderr and answers as a user pressing the default button
// would; the program installs Qt windows, tests a scripted stand-in. Nothing behind it may block a test.
#pragma once

#include <memory>
#include <string>

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
};
// Button results keep their Windows values.
enum : int { kIdOk = 1, kIdCancel = 2, kIdYes = 6, kIdNo = 7 };

class Ui {
public:
    virtual ~Ui() = default;
    // Returns the button pressed (kIdOk, kIdYes, ...).
    virtual int messageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
    // A dialog with buttons given as "&Yes;&No"-style captions; returns the hotkey letter of the button.
    virtual char dialog(const std::string& caption, char icon, const std::string& text,
                        const std::string& buttons) = 0;
    virtual void progressStart(const std::string& caption, long total) = 0;
    virtual void progressStep(long done) = 0;
    virtual void progressEnd() = 0;
};

// Writes every message to stderr; message boxes answer their first button, dialogs their first hotkey.
class StderrUi : public Ui {
public:
    int messageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    char dialog(const std::string& caption, char icon, const std::string& text, const std::string& buttons) override;
    void progressStart(const std::string&, long) override {}
    void progressStep(long) override {}
    void progressEnd() override {}
};

Ui& CurrentUi();
// Installs ui (nullptr restores the stderr default); returns the previous one.
Ui* SetUi(Ui* ui);

// The hotkey letter of a button caption: the character after '&', else the first character.
char HotkeyOf(const std::string& caption);

}  // namespace xb::platform
