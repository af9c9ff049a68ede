// Key rules for entry fields, as validators: they act on typed and pasted text alike, take a text whole
// or refuse it with a message that names the character refused (see JudgeInput), and hold the field to its
// width in the table. A refused keystroke or paste leaves the field as it was.
#pragma once

#include <QValidator>

#include "app/shell/entry_rules.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;

namespace app {

class KeyRuleValidator : public QValidator {
    Q_OBJECT
public:
    KeyRuleValidator(KeyRule rule, int maxLength, QObject* parent);
    State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

private:
    KeyRule m_rule;
    int m_maxLength;
};

// The code page of the league's tables, which every text typed into the windows must fit.
int EditingCodePage();

// The message for a refused text, in the user's language, naming the character.
QString RefusalMessage(const InputVerdict& verdict, KeyRule rule, int codePage);

// Puts the rule and the width on a line edit, or on the line edit of an editable combo box.
void SetKeyRule(QLineEdit* edit, KeyRule rule, int maxLength = 0);
void SetKeyRule(QComboBox* combo, KeyRule rule, int maxLength = 0);

// The same for a multi-line text (a memo): a typed or pasted piece holding a character the tables cannot
// hold is taken back whole, the text and the cursor left as they were, and the message names it.
void GuardPlainText(QPlainTextEdit* edit);

// Shows a stored value as it is stored: the rule acts on what is typed or pasted, not on what is read
// from a table (a name stored in lower case is not shown in capitals).
void ShowStoredText(QLineEdit* edit, const QString& text);

}  // namespace app
