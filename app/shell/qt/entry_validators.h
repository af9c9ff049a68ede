// Key filters for entry fields, as validators: they act on typed and pasted text alike, keep what the
// rule lets through (see FilterInput) and hold the field to its width in the table.
#pragma once

#include <QValidator>

#include "app/shell/entry_rules.h"

class QComboBox;
class QLineEdit;

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

// The engine's code page for text typed into the windows (Windows-1252 when no engine runs).
int EditingCodePage();

// Puts the rule and the width on a line edit, or on the line edit of an editable combo box.
void SetKeyRule(QLineEdit* edit, KeyRule rule, int maxLength = 0);
void SetKeyRule(QComboBox* combo, KeyRule rule, int maxLength = 0);

// Shows a stored value as it is stored: the rule acts on what is typed or pasted, not on what is read
// from a table (a name stored in lower case is not shown in capitals).
void ShowStoredText(QLineEdit* edit, const QString& text);

}  // namespace app
