// The main window's File menu commands on the whole database: the backup into an archive and the restore
// from one, each asking its file through the file dialogs' chooser. The program binds them to the menu.
#pragma once

#include "app/exchange/database_archive.h"

class QWidget;

namespace app {

// Closes the results window, asks the archive's name (text 63) and writes the backup; a failure is shown.
// Nothing is written when the dialog is cancelled.
void RunMenuBackup(QWidget* parent);

// Asks for confirmation (texts 8 and 9), then the archive (text 10); once a file is chosen the working
// windows and tables are closed and the database restored, the outcome shown. "No" or a cancelled dialog
// change and close nothing.
void RunMenuRestore(QWidget* parent);

// How the last backup and restore through the menu ended (for the program's callers and tests).
const BackupResult& LastMenuBackup();
const RestoreResult& LastMenuRestore();

}  // namespace app
