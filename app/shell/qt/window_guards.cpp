#include "app/shell/qt/window_guards.h"

#include <QApplication>
#include <QCursor>
#include <exception>

#include "app/settings/lang_texts.h"
#include "app/data/league_access.h"
#include "app/data/league_code_page.h"
#include "platform/ui.h"

namespace app {

HourGlass::HourGlass() {
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}
HourGlass::~HourGlass() {
    QApplication::restoreOverrideCursor();
}

bool RunGuarded(const std::function<void()>& handler) {
    QString text;
    try {
        handler();
        return true;
    } catch (const std::exception& e) {
        text = QString::fromUtf8(e.what());
    } catch (...) {
        text = GetLangText(Text::UnknownError);
    }
    ShowMessage(text, QCoreApplication::applicationName(), xb::platform::kMbIconStop);
    return false;
}

void ShowMessage(const QString& text, const QString& caption, unsigned iconFlags) {
    xb::platform::CurrentUi().messageBox(text.toStdString(), caption.toStdString(),
                                         xb::platform::kMbOk | iconFlags);
}

bool AskDeleteConfirmation(const QString& detail) {
    const QString text = detail.isEmpty() ? GetLangText(Text::Deletion)
                                          : GetLangText(Text::Deletion) + QLatin1Char('\n') + detail;
    return xb::platform::CurrentUi().messageBox(
               text.toStdString(), GetLangText(Text::ConfirmDeletion).toStdString(),
               xb::platform::kMbYesNo | xb::platform::kMbIconWarning | xb::platform::kMbDefButton2) ==
           xb::platform::kIdYes;
}

void ShowLockFailed() {
    ShowMessage(GetLangText(Text::LockFailed), GetLangText(Text::UnableToValidate),
                xb::platform::kMbIconStop);
}

namespace {
// Another station's change, what is stored now and the question; No (the safe answer) is the default.
bool askOverChanged(const QString& storedNow, const QString& caption, Text question) {
    const QString text = GetLangText(Text::ChangedByAnotherStation) + QLatin1Char('\n') +
                         GetLangText(Text::StoredNow).arg(storedNow) + QStringLiteral("\n\n") +
                         GetLangText(question);
    return xb::platform::CurrentUi().messageBox(text.toStdString(), caption.toStdString(),
                                                xb::platform::kMbYesNo | xb::platform::kMbIconWarning |
                                                    xb::platform::kMbDefButton2) == xb::platform::kIdYes;
}
}  // namespace

bool AskSaveOverChanged(const QString& storedNow, const QString& caption) {
    return askOverChanged(storedNow, caption, Text::SaveOverQuestion);
}

bool AskDeleteOverChanged(const QString& storedNow, const QString& caption) {
    return askOverChanged(storedNow, caption, Text::DeleteOverQuestion);
}

void ShowWriteRefused() {
    const WriteRefusal why = LastWriteRefusal();
    if (why.kind == WriteRefusal::Kind::kGone)
        ShowMessage(GetLangText(Text::RecordNoLongerStored), GetLangText(Text::UnableToValidate),
                    xb::platform::kMbIconStop);
    else if (why.kind == WriteRefusal::Kind::kCharacter)
        ShowMessage(UnstorableCharMessage(why.character, why.codePage), GetLangText(Text::UnableToValidate),
                    xb::platform::kMbIconWarning);
    else
        ShowLockFailed();
}

}  // namespace app
