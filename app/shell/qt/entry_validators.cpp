#include "app/shell/qt/entry_validators.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTimer>

#include "app/shell/qt/window_guards.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_code_page.h"
#include "platform/ui.h"

namespace app {

namespace {

bool g_announcing = false;  // a message is on its way: one per refused edit

// Shown once the edit is over, when the field has already been left as it was.
void announce(const QString& text) {
    if (g_announcing) return;
    g_announcing = true;
    QTimer::singleShot(0, QCoreApplication::instance(), [text] {
        g_announcing = false;
        ShowMessage(text, GetLangText(Text::UnableToValidate), xb::platform::kMbIconWarning);
    });
}

class PlainTextGuard : public QObject {
public:
    explicit PlainTextGuard(QPlainTextEdit* edit) : QObject(edit), m_edit(edit), m_good(edit->toPlainText()) {
        connect(edit, &QPlainTextEdit::textChanged, this, [this] { check(); });
        connect(edit, &QPlainTextEdit::cursorPositionChanged, this, [this] {
            if (!m_restoring && m_edit->toPlainText() == m_good) m_cursor = m_edit->textCursor().position();
        });
    }

private:
    void check() {
        if (m_restoring) return;
        const QString text = m_edit->toPlainText();
        const int codePage = EditingCodePage();
        const InputVerdict verdict = JudgeInput(text, KeyRule::kText, codePage);
        if (verdict.accepted()) {
            m_good = text;
            m_cursor = m_edit->textCursor().position();
            return;
        }
        m_restoring = true;
        m_edit->setPlainText(m_good);
        QTextCursor c = m_edit->textCursor();
        c.setPosition(std::min<int>(m_cursor, static_cast<int>(m_good.size())));
        m_edit->setTextCursor(c);
        m_restoring = false;
        announce(RefusalMessage(verdict, KeyRule::kText, codePage));
    }

    QPlainTextEdit* m_edit;
    QString m_good;
    int m_cursor = 0;
    bool m_restoring = false;
};

}  // namespace

KeyRuleValidator::KeyRuleValidator(KeyRule rule, int maxLength, QObject* parent)
    : QValidator(parent), m_rule(rule), m_maxLength(maxLength) {}

QValidator::State KeyRuleValidator::validate(QString& input, int& pos) const {
    const int codePage = EditingCodePage();
    const InputVerdict verdict = JudgeInput(input, m_rule, codePage, m_maxLength);
    if (!verdict.accepted()) {
        announce(RefusalMessage(verdict, m_rule, codePage));
        return Invalid;
    }
    // The cursor keeps its place among the characters that stay.
    const int before = static_cast<int>(JudgeInput(input.left(pos), m_rule, codePage).text.size());
    input = verdict.text;
    pos = std::min<int>(before, static_cast<int>(input.size()));
    return Acceptable;
}

void KeyRuleValidator::fixup(QString& input) const {
    const InputVerdict verdict = JudgeInput(input, m_rule, EditingCodePage(), m_maxLength);
    if (verdict.accepted()) input = verdict.text;
}

int EditingCodePage() {
    return LeagueCodePage();
}

QString RefusalMessage(const InputVerdict& verdict, KeyRule rule, int codePage) {
    if (verdict.why == InputVerdict::Why::kCodePage) return UnstorableCharMessage(verdict.refused, codePage);
    const QString c = QString::fromUcs4(&verdict.refused, 1);
    return GetLangText(rule == KeyRule::kDigitsAndMinus ? Text::WholeNumberOnly : Text::DigitsOnly).arg(c);
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

void GuardPlainText(QPlainTextEdit* edit) {
    if (edit) new PlainTextGuard(edit);
}

void ShowStoredText(QLineEdit* edit, const QString& text) {
    const QValidator* rule = edit->validator();
    edit->setValidator(nullptr);
    edit->setText(text);
    edit->setValidator(rule);
}

}  // namespace app
