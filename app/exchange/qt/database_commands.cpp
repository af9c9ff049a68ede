#include "app/exchange/qt/database_commands.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include "app/settings/app_files.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_lookups.h"
#include "app/settings/session_format.h"
#include "app/shell/qt/file_dialogs.h"
#include "app/shell/qt/working_windows.h"
#include "platform/ui.h"

namespace app {

namespace {

BackupResult g_lastBackup;
RestoreResult g_lastRestore;

FileDialogRequest ArchiveRequest(bool save, Text title) {
    FileDialogRequest request;
    request.save = save;
    request.title = GetLangText(title);
    request.filter = GetLangText(Text::BackupFilter);
    request.defaultSuffix = QString::fromLatin1(kBackupSuffix);
    request.directory = GetAppDir();
    return request;
}

}  // namespace

void RunMenuBackup(QWidget* parent) {
    CloseResultFormIfOpen();
    const QString dir = GetAppDir();
    const QString name = ChooseFile(ArchiveRequest(true, Text::EnterBackupFileName), parent);
    if (!name.isEmpty()) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        g_lastBackup = BackupDatabase(dir.toStdString(), name.toStdString());
        QApplication::restoreOverrideCursor();
        if (g_lastBackup.ok) {
            // The user learns where the archive went and how large it is, not only that nothing failed.
            const QFileInfo archive(name);
            xb::platform::CurrentUi().messageBox(
                LangText(Text::BackupWritten, {QDir::toNativeSeparators(archive.absoluteFilePath()).toStdString(),
                                               ByteSizeText(uint64_t(archive.size()), LanguageIndex).toStdString()}),
                GetLangText(Text::BackupCaption).toStdString(),
                xb::platform::kMbOk | xb::platform::kMbIconInformation);
        } else if (!g_lastBackup.reason.empty()) {
            xb::platform::CurrentUi().messageBox(g_lastBackup.reason,
                                                 GetLangText(Text::ErrorCaption).toStdString(),
                                                 xb::platform::kMbOk | xb::platform::kMbIconStop);
        }
    }
    // The dialog may have moved the working directory; the program's relative paths start from its own.
    QDir::setCurrent(dir);
}

void RunMenuRestore(QWidget* parent) {
    CloseResultFormIfOpen();
    const int answer = xb::platform::CurrentUi().messageBox(
        GetLangText(Text::EraseAllData).toStdString(), GetLangText(Text::PleaseConfirm).toStdString(),
        xb::platform::kMbYesNo | xb::platform::kMbIconWarning | xb::platform::kMbDefButton2);
    if (answer != xb::platform::kIdYes) return;
    const QString dir = GetAppDir();
    const QString name = ChooseFile(ArchiveRequest(false, Text::SelectBackupFile), parent);
    if (!name.isEmpty()) {
        // Nothing of this program may keep the old database open or hold rows of it that it could save.
        CloseWorkingWindows();
        QApplication::setOverrideCursor(Qt::WaitCursor);
        g_lastRestore = RestoreDatabase(dir.toStdString(), name.toStdString());
        QApplication::restoreOverrideCursor();
        ReportRestoreResult(g_lastRestore);
    }
    QDir::setCurrent(dir);
}

const BackupResult& LastMenuBackup() {
    return g_lastBackup;
}

const RestoreResult& LastMenuRestore() {
    return g_lastRestore;
}

}  // namespace app
