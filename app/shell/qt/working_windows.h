// Before the whole database is replaced, nothing of this program may keep a table open or rows of the
// old database in a window that could still save them.
#pragma once

class QWidget;

namespace app {

// Closes the matchday results window, every other visible top-level window except the main window and
// keep (and the windows keep lies in), and the program's definition tables.
void CloseWorkingWindows(QWidget* keep = nullptr);

}  // namespace app
