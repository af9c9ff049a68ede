// The program's entry point. The windows of the folders built on the shell are handed to the main window
// here, where they are linked.
#include "app/editing/qt/championship_window.h"
#include "app/editing/qt/matchday_results_window.h"
#include "app/editing/qt/player_window.h"
#include "app/editing/qt/team_window.h"
#include "app/reports/qt/team_info_window.h"
#include "app/reports/qt/team_matches_window.h"
#include "app/reports/qt/championship_stats_window.h"
#include "app/reports/qt/prevision_window.h"
#include "app/reports/qt/results_grid_window.h"
#include "app/shell/qt/program.h"

namespace {

// Shows a modeless window of the program in front.
template <typename Window>
std::function<void()> Shows(Window* (*window)()) {
    return [window] {
        Window* w = window();
        w->show();
        w->raise();
        w->activateWindow();
    };
}

}  // namespace

int main(int argc, char** argv) {
    const auto championships = Shows(&app::fgestchamp);
    const auto teams = Shows(&app::fgestequipe);
    const auto players = Shows(&app::fgestjoueur);
    const auto teamMatches = Shows(&app::fmatcheq);
    const auto teamInfo = Shows(&app::finfoequipe);
    const auto resultsGrid = Shows(&app::fgrilleresult);
    const auto statistics = Shows(&app::fstatchamp);
    const auto prediction = Shows(&app::fprevision);
    return app::RunProgram(argc, argv,
                           {{QStringLiteral("agestchamp"), championships},
                            {QStringLiteral("bgestchamp"), championships},
                            {QStringLiteral("agestequipe"), teams},
                            {QStringLiteral("bgestequipes"), teams},
                            {QStringLiteral("mjoueurs"), players},
                            {QStringLiteral("bjoueurs"), players},
                            {QStringLiteral("aresultat"), [] { app::ShowMatchdayResults(1); }},
                            {QStringLiteral("bresultat"), [] { app::ShowMatchdayResults(1); }},
                            {QStringLiteral("ajournee"), [] { app::ShowMatchdayResults(2); }},
                            {QStringLiteral("bjournee"), [] { app::ShowMatchdayResults(2); }},
                            {QStringLiteral("amatchequipe"), teamMatches},
                            {QStringLiteral("bmatcheq"), teamMatches},
                            {QStringLiteral("ainfoequipe"), teamInfo},
                            {QStringLiteral("binfoequipe"), teamInfo},
                            {QStringLiteral("agrilleresultat"), resultsGrid},
                            {QStringLiteral("bgrilleresultat"), resultsGrid},
                            {QStringLiteral("astatchamp"), statistics},
                            {QStringLiteral("bstatleague"), statistics},
                            {QStringLiteral("mprevision"), prediction},
                            {QStringLiteral("bprevision"), prediction}});
}
