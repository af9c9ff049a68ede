#include "app/program/qt/program_windows.h"

#include <initializer_list>

#include "app/editing/qt/championship_window.h"
#include "app/editing/qt/match_entry_window.h"
#include "app/editing/qt/matchday_results_window.h"
#include "app/editing/qt/player_window.h"
#include "app/editing/qt/team_window.h"
#include "app/exchange/qt/import_window.h"
#include "app/reports/qt/championship_stats_window.h"
#include "app/reports/qt/head_to_head_window.h"
#include "app/reports/qt/prevision_window.h"
#include "app/reports/qt/results_grid_window.h"
#include "app/reports/qt/standings_window.h"
#include "app/reports/qt/team_info_window.h"
#include "app/reports/qt/team_matches_window.h"
#include "app/data/league_lookups.h"
#include "app/shell/qt/working_windows.h"

namespace app {

namespace {

// Shows a modeless window in front; one already shown is raised, not built again.
template <typename Window>
std::function<void()> Shows(Window* (*window)()) {
    return [window] {
        Window* w = window();
        w->show();
        w->raise();
        w->activateWindow();
    };
}

void Bind(WindowEntries& entries, std::initializer_list<const char*> names,
          const std::function<void()>& show) {
    for (const char* name : names) entries.push_back({QString::fromLatin1(name), show});
}

}  // namespace

WindowEntries ProgramWindowEntries() {
    // The reports open a match through the shell; the match entry window is the editing folder's.
    SetMatchOpener(StartMatchEntry);
    WindowEntries e;
    Bind(e, {"agestchamp", "bgestchamp"}, Shows(&fgestchamp));
    Bind(e, {"agestequipe", "bgestequipes"}, Shows(&fgestequipe));
    Bind(e, {"mjoueurs", "bjoueurs"}, Shows(&fgestjoueur));
    // The menu entries keep a results window shown in their mode (raised) and reopen one shown in the
    // other mode; the buttons always close an open one and show it afresh in their mode.
    Bind(e, {"aresultat"}, [] { ShowMatchdayResults(1); });
    Bind(e, {"ajournee"}, [] { ShowMatchdayResults(2); });
    Bind(e, {"bresultat"}, [] {
        CloseResultFormIfOpen();
        ShowMatchdayResults(1);
    });
    Bind(e, {"bjournee"}, [] {
        CloseResultFormIfOpen();
        ShowMatchdayResults(2);
    });
    Bind(e, {"aclassement", "bclassement"}, Shows(&fclassement));
    Bind(e, {"amatchequipe", "bmatcheq"}, Shows(&fmatcheq));
    Bind(e, {"ainfoequipe", "binfoequipe"}, Shows(&finfoequipe));
    Bind(e, {"astatchamp", "bstatleague"}, Shows(&fstatchamp));
    Bind(e, {"agrilleresultat", "bgrilleresultat"}, Shows(&fgrilleresult));
    Bind(e, {"mprevision", "bprevision"}, Shows(&fprevision));
    Bind(e, {"mimportkvx127"}, Shows(&fimport));
    Bind(e, {"afaceaface", "bfaceaface"}, Shows(&ffaceaface));
    return e;
}

}  // namespace app
