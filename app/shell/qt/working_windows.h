// Before the whole database is replaced, nothing of this program may keep a table open or rows of the
// old database in a window that could still save them.
#pragma once

#include <functional>

class QWidget;

namespace app {

// Set while the matchday results window is open (it keeps the results table open).
extern bool ResultFormOpen;
// The results window registers how it is closed; nullptr when there is none.
void SetResultFormCloser(std::function<void()> closer);
// Closes the results window when it is open, so that it releases its table.
void CloseResultFormIfOpen();

// Opens a stored match in the match entry window (mode 1 to change it, 2 to view it). The program, which
// links the editing windows, registers how; false when nothing is registered or the match is not opened.
using MatchOpener =
    std::function<bool(int year, int championship, int matchday, int home, int away, int mode)>;
void SetMatchOpener(MatchOpener opener);
bool OpenMatch(int year, int championship, int matchday, int home, int away, int mode);

// Closes the matchday results window, every other visible top-level window except the main window and
// keep (and the windows keep lies in), and the program's definition tables.
void CloseWorkingWindows(QWidget* keep = nullptr);

}  // namespace app
