// lm_league_child: a station of the league library for multi-process tests. It reads one command a line
// and answers one line; the tables are those of the directory given first.
//   dir PATH                       -> 0 (the data directory)
//   saveseason CSV CHAMP YEAR K    -> saves every match of the CSV season through SaveMatchResult with
//                                     this station's scores (goals + 10 K, points K K, code "AU"), links
//                                     every team and stores the season's rules; answers the failures
//   savesorted CSV CHAMP YEAR MS   -> saves every match of the CSV season through SaveMatchResult, one by
//                                     one in the results index's order (matchday, home, away), with the
//                                     code of its score ("V1", "V2", "N"), MS milliseconds apart (a user
//                                     typing); answers the failures
//   create N NAME                  -> N championships created through the library; answers the numbers
//   deletechamp C                  -> 1 or 0 from DeleteChampionship
//   saveloop CSV CHAMP YEAR        -> answers "started", then saves the season over and over, each round
//                                     with other scores, until killed
//   hold FILE rlock|alock          -> opens the table, takes the lock on its first row or the append lock,
//                                     answers 1 (or 0) and keeps it until "release"
//   release                        -> 0
//   storekill N DAY HOME AWAY G    -> stores match (1, 2026, DAY, HOME, AWAY) with G goals and one card
//                                     through StoreMatch, killed by the file layer just before its Nth
//                                     write from then on; answers "done" when the store ended first
//   pack OP N                      -> packs the nine tables as the close does (PackAllTables), killed by
//                                     the file layer just before its Nth write (OP write) or rename (OP
//                                     rename); answers "done" when the pack ended first
// The saves of an edit window that loads a row and saves it at once, each answering what the save
// answered (StoreOutcome as a number; 1 or 0):
//   save DAY HOME AWAY G1 G2       -> match (1, 2026, DAY, HOME, AWAY) stored G1:G2, one goal of player
//                                     900 + i a goal and no card
//   rename TEAM NAME               -> the team's name (NAME: one word)
//   notes PLAYER NOTE              -> the player's notes, one line (NOTE: one word)
//   rules CHAMP YEAR WIN           -> the season's points for a win, the other rules as stored
// The start and the close of the program, as the file layer counts them:
//   tmpdir DIR                     -> the process's temporary directory becomes DIR; 0
//   start                          -> the table check, the nine tables opened (each index checked against
//                                     its table) and closed again; the number of problems and findings
//   close                          -> the close's packs; the number of tables packed
//   calls                          -> every call of the system the file layer counted so far
//   exclusive FILE                 -> 1 when the table opens exclusively (closed again at once), else 0
// Every command ends with this station's kept tables closed.
#include <algorithm>
#include <chrono>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>

#include "app/editing/master_records.h"
#include "app/editing/match_entry.h"
#include "app/settings/app_files.h"
#include "app/data/kept_tables.h"
#include "app/data/league_access.h"
#include "app/data/league_lookups.h"
#include "app/data/league_database.h"
#include "app/data/league_writes.h"
#include "app/data/table_check.h"
#include "app/data/table_pack.h"
#include "engine/index/mdx_agreement.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/dataset/engine_start.h"
#include "platform/file.h"
#include "platform/locale_facts.h"
#include "tests/support/season_csv.h"

namespace {

app::MatchRow rowOf(const xbtest::CsvMatch& m, int championship, int year, int station) {
    return {championship,
            year,
            m.matchday,
            m.home,
            m.away,
            m.homeGoals + 10 * station,
            m.awayGoals + 10 * station,
            "AU",
            station,
            station};
}

int saveSeason(const xbtest::CsvSeason& s, int championship, int year, int station) {
    int failures = 0;
    std::unique_ptr<xb::TXbDbf> results;
    if (!app::OpenTable(results, "resultat.dbf")) return -1;
    for (const auto& m : s.matches)
        if (!app::SaveMatchResult(*results, rowOf(m, championship, year, station))) ++failures;
    app::CloseTable(results);
    for (int t = 1; t <= static_cast<int>(s.teams.size()); ++t)
        if (!app::AddTeamToChampionship(year, championship, t)) ++failures;
    std::unique_ptr<xb::TXbDbf> rules;
    if (!app::OpenTable(rules, "champan.dbf")) return -1;
    app::SeasonRules r;
    r.win = 3;
    r.draw = 1;
    r.teams = static_cast<int>(s.teams.size());
    if (!app::SaveSeasonParams(*rules, championship, year, r)) ++failures;
    app::CloseTable(rules);
    return failures;
}

// Each match appended after every row already stored in the index's order, so that a reader scanning
// that order at any moment sees a prefix of the season.
int saveSorted(xbtest::CsvSeason s, int championship, int year, int pauseMs) {
    std::sort(s.matches.begin(), s.matches.end(), [](const xbtest::CsvMatch& a, const xbtest::CsvMatch& b) {
        return std::tie(a.matchday, a.home, a.away) < std::tie(b.matchday, b.home, b.away);
    });
    std::unique_ptr<xb::TXbDbf> results;
    if (!app::OpenTable(results, "resultat.dbf")) return -1;
    int failures = 0;
    for (const auto& m : s.matches) {
        const std::string code = m.homeGoals > m.awayGoals ? "V1" : m.homeGoals < m.awayGoals ? "V2" : "N";
        if (!app::SaveMatchResult(*results, {championship, year, m.matchday, m.home, m.away, m.homeGoals,
                                             m.awayGoals, code, 0, 0}))
            ++failures;
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    }
    app::CloseTable(results);
    return failures;
}

}  // namespace

int main() {
    xb::Engine engine(xb::platform::LocaleFactsFromName("en_US"));
    xb::InstallEngineUnits(engine);
    xb::SetErrorTrap(false);
    std::unique_ptr<xb::TXbDbf> held;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string cmd;
        in >> cmd;
        std::string answer = "?";
        try {
            if (cmd == "dir") {
                std::string dir;
                in >> dir;
                app::SetAppDir(QString::fromStdString(dir));
                answer = "0";
            } else if (cmd == "saveseason") {
                std::string csv;
                int c = 0, y = 0, k = 0;
                in >> csv >> c >> y >> k;
                answer = std::to_string(saveSeason(xbtest::ReadSeasonCsv(csv), c, y, k));
            } else if (cmd == "savesorted") {
                std::string csv;
                int c = 0, y = 0, pauseMs = 0;
                in >> csv >> c >> y >> pauseMs;
                answer = std::to_string(saveSorted(xbtest::ReadSeasonCsv(csv), c, y, pauseMs));
            } else if (cmd == "create") {
                int n = 0;
                std::string name;
                in >> n >> name;
                std::unique_ptr<xb::TXbDbf> t;
                answer.clear();
                if (app::OpenTable(t, "champion.dbf")) {
                    for (int i = 0; i < n; ++i)
                        answer +=
                            std::to_string(app::CreateChampionship(*t, QString::fromStdString(name))) + " ";
                    app::CloseTable(t);
                }
            } else if (cmd == "deletechamp") {
                int c = 0;
                in >> c;
                answer = app::DeleteChampionship(c) ? "1" : "0";
            } else if (cmd == "saveloop") {
                std::string csv;
                int c = 0, y = 0;
                in >> csv >> c >> y;
                const xbtest::CsvSeason s = xbtest::ReadSeasonCsv(csv);
                std::cout << "started" << std::endl;
                std::unique_ptr<xb::TXbDbf> results;
                if (!app::OpenTable(results, "resultat.dbf")) return 2;
                for (int round = 1;; round = round % 50 + 1)
                    for (const auto& m : s.matches) app::SaveMatchResult(*results, rowOf(m, c, y, round));
            } else if (cmd == "hold") {
                std::string file, kind;
                in >> file >> kind;
                if (app::OpenTable(held, file)) {
                    held->First();
                    answer = (kind == "alock" ? held->ALock() : held->RLock()) ? "1" : "0";
                } else {
                    answer = "0";
                }
            } else if (cmd == "storekill") {
                int n = 0, day = 0, home = 0, away = 0, goals = 0;
                in >> n >> day >> home >> away >> goals;
                std::unique_ptr<xb::TXbDbf> results;
                if (!app::OpenTable(results, "resultat.dbf")) return 2;
                std::vector<app::MatchEvent> g;
                for (int i = 0; i < goals; ++i) g.push_back({100 + i, 10 + i, 0, 1 + i % 2});
                xb::platform::InjectFault(xb::platform::FaultOp::Write, n, xb::platform::kFaultKill);
                const app::StoreOutcome out =
                    app::StoreMatch(*results, {1, 2026, day, home, away, goals, 0, "V1", 0, 0}, g,
                                    {{300, 45, 0, 2}}, false);
                xb::platform::ClearFaults();
                app::CloseTable(results);
                answer = out == app::StoreOutcome::Saved ? "done" : "failed";
            } else if (cmd == "pack") {
                std::string op;
                int n = 0;
                in >> op >> n;
                xb::platform::InjectFault(
                    op == "rename" ? xb::platform::FaultOp::Rename : xb::platform::FaultOp::Write, n,
                    xb::platform::kFaultKill);
                app::PackAllTables(app::GetAppDir());
                xb::platform::ClearFaults();
                answer = "done";
            } else if (cmd == "save") {
                int day = 0, home = 0, away = 0, g1 = 0, g2 = 0;
                in >> day >> home >> away >> g1 >> g2;
                std::unique_ptr<xb::TXbDbf> results;
                if (!app::OpenTable(results, "resultat.dbf")) return 2;
                const app::LoadedMatch loaded = app::ReadStoredMatch(*results, {1, 2026, day, home, away});
                std::vector<app::MatchEvent> goals;
                for (int i = 0; i < g1 + g2; ++i) goals.push_back({900 + i, 10 + i, 0, i < g1 ? 1 : 2});
                const std::string code = g1 > g2 ? "V1" : g1 < g2 ? "V2" : "N";
                const app::StoreOutcome out = app::StoreMatch(
                    *results, {1, 2026, day, home, away, g1, g2, code, 0, 0}, goals, {}, true, &loaded);
                app::CloseTable(results);
                answer = std::to_string(static_cast<int>(out));
            } else if (cmd == "rename") {
                int team = 0;
                std::string name;
                in >> team >> name;
                app::LeagueTableScope t("childteam", "equipe.dbf", "NUMERO");
                const QString loaded = t->FindExact(std::to_string(team))
                                           ? QString::fromStdString(t->FieldGetStr("NOMEQUIPE")).trimmed()
                                           : QString();
                answer = app::RenameTeam(*t, team, QString::fromStdString(name), &loaded) ? "1" : "0";
            } else if (cmd == "notes") {
                int player = 0;
                std::string note;
                in >> player >> note;
                app::LeagueTableScope t("childplayer", "joueur.dbf", "NU");
                answer = "0";
                if (t->FindExact(app::NumberKey({{player, 5}}))) {
                    const app::PlayerRecord loaded = app::ReadPlayer(*t);
                    app::PlayerRecord p = loaded;
                    p.notes = QStringList{QString::fromStdString(note)};
                    answer = app::SavePlayer(*t, p, &loaded) ? "1" : "0";
                }
            } else if (cmd == "rules") {
                int c = 0, y = 0, win = 0;
                in >> c >> y >> win;
                app::LeagueTableScope t("childrules", "champan.dbf");
                const std::optional<app::SeasonRules> loaded = app::ReadSeasonRow(*t, c, y);
                app::SeasonRules r = loaded.value_or(app::SeasonRules{});
                r.win = win;
                answer = app::SaveSeasonParams(*t, c, y, r, app::Matchdays::kWritten, &loaded) ? "1" : "0";
            } else if (cmd == "release") {
                app::CloseTable(held);
                answer = "0";
            } else if (cmd == "tmpdir") {
                std::string dir;
                in >> dir;
                answer = setenv("TMPDIR", dir.c_str(), 1) == 0 ? "0" : "1";
            } else if (cmd == "start") {
                const std::vector<app::TableProblem> problems =
                    app::CheckLeagueDatabase(app::GetAppDir().toStdString());
                app::KeepTablesAsTheyAre(app::TablesKeptReadOnly(problems), app::TablesKeptUnpacked(problems));
                xb::CheckIndexesAsOpened agreement;
                {
                    app::Tfsysteme tables;
                    app::CloseSystemTables(tables);
                }
                answer = std::to_string(problems.size() + agreement.found().size());
            } else if (cmd == "close") {
                int packed = 0;
                for (const app::TablePackResult& r : app::PackAllTables(app::GetAppDir()))
                    packed += r.outcome == app::PackOutcome::Packed;
                answer = std::to_string(packed);
            } else if (cmd == "exclusive") {
                std::string file;
                in >> file;
                xb::TXbDbf t;
                t.Name = "childalone";
                t.SetDbfFileName(app::LeagueFilePath(file));
                t.CreateIfNotFound = false;
                t.CreateIndex = xb::TCreateIndexType::ciNever;
                t.ShowProgress = false;
                t.SetExclusive(true);
                try {
                    xb::TrappingOff quiet;
                    t.Open();
                    answer = t.Active() ? "1" : "0";
                } catch (const std::exception&) {
                    answer = "0";
                }
                app::CloseQuietly(t);
                xb::TakeErrorMessage();
            } else if (cmd == "calls") {
                answer = std::to_string(xb::platform::FileCalls().total());
            }
        } catch (const std::exception& e) {
            answer = std::string("E ") + e.what();
        }
        // A station without an event loop: its tables are closed when it answers, as the program's are
        // after their idle time, so that the tests' waits stand as they did.
        app::ReleaseKeptTables();
        std::cout << answer << std::endl;
    }
    return 0;
}
