#include "app/shell/qt/entry_validators.h"

#include <QComboBox>
#include <QLineEdit>

#include "engine/core/engine.h"

namespace app {

KeyRuleValidator::KeyRuleValidator(KeyRule rule, int maxLength, QObject* parent)
    : QValidator(parent), m_rule(rule), m_maxLength(maxLength) {}

QValidator::State KeyRuleValidator::validate(QString& input, int& pos) const {
    // The cursor keeps its place among the characters that stay.
    const QString before = FilterInput(input.left(pos), m_rule, EditingCodePage());
    input = FilterInput(input, m_rule, EditingCodePage(), m_maxLength);
    pos = std::min<int>(before.size(), input.size());
    return Acceptable;
}

void KeyRuleValidator::fixup(QString& input) const {
    input = FilterInput(input, m_rule, EditingCodePage(), m_maxLength);
}

int EditingCodePage() {
    const xb::Engine* engine = xb::Engine::currentOrNull();
    return engine ? engine->settings.ansiCodePage : 1252;
}

void SetKeyRule(QLineEdit* edit, KeyRule rule, int maxLength) {
    if (!edit) return;
    edit->setValidator(new KeyRuleValidator(rule, maxLength, edit));
    if (maxLength > 0) edit->setMaxLength(maxLength);
}

void SetKeyRule(QComboBox* combo, KeyRule rule, int maxLength) {
    if (!combo) return;
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    SetKeyRule(combo->lineEdit(), rule, maxLength);
}

void ShowStoredText(QLineEdit* edit, const QString& text) {
    const QValidator* rule = edit->validator();
    edit->setValidator(nullptr);
    edit->setText(text);
    edit->setValidator(rule);
}

}  // namespace app
