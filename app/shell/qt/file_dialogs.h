// The open and save dialogs of the main window's backup and restore: Qt's own file dialog, behind a
// chooser that tests replace so that no modal window blocks them.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace app {

struct FileDialogRequest {
    bool save = false;  // a save dialog (the path must exist) or an open dialog (the file must exist)
    QString title;
    QString filter;         // "Pelmorad32 backup (*.pmz)", in the user's language
    QString defaultSuffix;  // "pmz"
    QString directory;
};

// Answers the chosen file's full name, or an empty text when the user cancelled.
using FileDialogChooser = std::function<QString(const FileDialogRequest&)>;

// Installs a chooser (an empty one restores Qt's dialog); returns the previous one.
FileDialogChooser SetFileDialogChooser(FileDialogChooser chooser);
QString ChooseFile(const FileDialogRequest& request, QWidget* parent = nullptr);

// The backup archive's suffix; its filter is the language table's Text::BackupFilter.
inline constexpr const char* kBackupSuffix = "pmz";

}  // namespace app
