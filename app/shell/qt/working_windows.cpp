#include "app/shell/qt/working_windows.h"

#include <QApplication>
#include <QMainWindow>
#include <QPointer>
#include <QWidget>
#include <utility>

#include "app/data/league_database.h"
#include "app/data/league_lookups.h"

namespace app {

bool ResultFormOpen = false;

namespace {

std::function<void()>& resultFormCloser() {
    static std::function<void()> closer;
    return closer;
}

MatchOpener& matchOpener() {
    static MatchOpener opener;
    return opener;
}

}  // namespace

void SetResultFormCloser(std::function<void()> closer) {
    resultFormCloser() = std::move(closer);
}

void CloseResultFormIfOpen() {
    if (ResultFormOpen && resultFormCloser()) resultFormCloser()();
}

void SetMatchOpener(MatchOpener opener) {
    matchOpener() = std::move(opener);
}

bool OpenMatch(int year, int championship, int matchday, int home, int away, int mode) {
    return matchOpener() && matchOpener()(year, championship, matchday, home, away, mode);
}

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
