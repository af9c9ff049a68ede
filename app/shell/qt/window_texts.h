// A window's texts as a table: which component gets which language text as caption or hint. One routine
// applies a table, and tests walk the same table to check every entry.
#pragma once

#include <QString>
#include <initializer_list>
#include <vector>

#include "app/settings/lang_text_ids.h"

class QAbstractButton;
class QWidget;

namespace app {

enum class TextRole { kCaption, kHint };

struct WindowText {
    const char* objectName;  // the window itself when it is the window's own name
    Text text;               // Text::None: the literal below
    TextRole role;
    const char* literal = nullptr;
};

// The text an entry stands for in the current language.
QString WindowTextValue(const WindowText& entry);

// Puts every entry on its component (window title, label, button or group caption, tab title, tooltip).
// Entries whose component is missing are skipped; `missing` receives their names when given.
void ApplyWindowTexts(QWidget* window, const std::vector<WindowText>& texts, QStringList* missing = nullptr);

// What a component shows for an entry's role (for tests); a button's text as read, without the mark of
// its mnemonic.
QString ShownWindowText(QWidget* window, const WindowText& entry);

// Gives each button, in order, a mnemonic of its own: the first letter or digit of its caption that no
// button before it took (a caption with none left keeps none), whatever the language. Call it after the
// captions were put; a caption's own "&" stays a literal "&".
void GiveButtonMnemonics(std::initializer_list<QAbstractButton*> buttons);
// The text a button shows, read as a user reads it: "&&" is "&", a single "&" marks the mnemonic.
QString WithoutMnemonic(const QString& caption);

}  // namespace app
