#include "app/shell/qt/working_windows.h"

#include <QApplication>
#include <QMainWindow>
#include <QPointer>
#include <QWidget>

#include "app/shell/league_database.h"
#include "app/shell/league_lookups.h"

namespace app {

void CloseWorkingWindows(QWidget* keep) {
    CloseResultFormIfOpen();
    QList<QPointer<QWidget>> open;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible() || qobject_cast<QMainWindow*>(w)) continue;
        bool holdsKeep = false;
        for (QWidget* k = keep; k; k = k->parentWidget()) holdsKeep = holdsKeep || k == w;
        if (!holdsKeep) open.append(w);
    }
    for (const QPointer<QWidget>& w : open)
        if (w) w->close();
    if (fsysteme) CloseSystemTables(*fsysteme);
}

}  // namespace app
