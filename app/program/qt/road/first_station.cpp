// The English road: a first start that enters a season by hand through the real windows (championship,
// players, teams with squads, three matchdays), prints and exports the standings, backs up, adds a match
// and restores; then a second start on the same folder. The standings are checked against a plain model.
#include "app/program/qt/road/road.h"

namespace road {

// ---- the season entered on the road, and its plain model ----

const char* const kTeams[] = {"ALBION", "BOROUGH", "CITY", "DYNAMO", "ECLAIR", "FORTUNA"};
const char* const kPlayers[][2] = {{"ADAMS", "ALLEN"}, {"BAKER", "BROWN"}, {"CARTER", "COOK"},
                                   {"DAVIS", "DIXON"}, {"EVANS", "ELLIS"}, {"FOSTER", "FRASER"}};
const char* const kChampionship = "LIGUE ROUTE";

struct RoadMatch {
    int day, home, away, homeGoals, awayGoals;  // teams 0..5
};
const RoadMatch kMatches[] = {
    {1, 0, 1, 2, 1}, {1, 2, 3, 0, 0}, {1, 4, 5, 1, 3}, {2, 1, 2, 1, 1}, {2, 3, 4, 2, 0},
    {2, 5, 0, 0, 1}, {3, 0, 2, 3, 2}, {3, 1, 4, 0, 2}, {3, 3, 5, 1, 1},
};
const RoadMatch kExtraMatch = {4, 0, 3, 1, 0};

struct ModelRow {
    std::string name;
    int points = 0, played = 0, wins = 0, draws = 0, defeats = 0, goalsFor = 0, goalsAgainst = 0;
};

// Three points a win, one a draw; ordered by points (the road's scores leave no two teams level).
std::vector<ModelRow> ModelStandingsOfRoad() {
    std::vector<ModelRow> rows(6);
    for (int t = 0; t < 6; ++t) rows[t].name = kTeams[t];
    for (const RoadMatch& m : kMatches) {
        ModelRow& h = rows[m.home];
        ModelRow& a = rows[m.away];
        ++h.played, ++a.played;
        h.goalsFor += m.homeGoals, h.goalsAgainst += m.awayGoals;
        a.goalsFor += m.awayGoals, a.goalsAgainst += m.homeGoals;
        if (m.homeGoals > m.awayGoals) h.points += 3, ++h.wins, ++a.defeats;
        if (m.homeGoals < m.awayGoals) a.points += 3, ++a.wins, ++h.defeats;
        if (m.homeGoals == m.awayGoals) ++h.points, ++a.points, ++h.draws, ++a.draws;
    }
    std::sort(rows.begin(), rows.end(),
              [](const ModelRow& x, const ModelRow& y) { return x.points > y.points; });
    return rows;
}

std::vector<std::string> ModelLines() {
    std::vector<std::string> lines;
    for (const ModelRow& r : ModelStandingsOfRoad()) {
        std::ostringstream s;
        s << r.name << " " << r.points << " " << r.played << " " << r.wins << " " << r.draws << " "
          << r.defeats << " " << r.goalsFor << " " << r.goalsAgainst;
        lines.push_back(s.str());
    }
    return lines;
}

std::string DumpDatabase(const std::string& dir) {
    // Every table's bytes, as the check compares them after the restore.
    std::ostringstream all;
    for (const char* t :
         {"champan", "champion", "eqchamp", "resultat", "equipe", "joueur", "joueq", "but", "carton"}) {
        std::ifstream f(dir + t + ".dbf", std::ios::binary);
        all << t << ":" << f.rdbuf() << "\n";
    }
    return all.str();
}

int Rows(const char* file) {
    app::LeagueTableScope t("road", file);
    int n = 0;
    for (t->First(); !t->Eof(); t->Next()) ++n;
    return n;
}

int ResultRows() {
    app::LeagueTableScope t("road", "resultat.dbf");
    int n = 0;
    for (t->First(); !t->Eof(); t->Next()) ++n;
    return n;
}

// The standings the program computes, as "NAME points played wins draws defeats for against" lines.
std::vector<std::string> ProgramStandings(int championship, int year) {
    app::StandingsRequest request;
    request.championship = championship;
    request.year = year;
    request.lastDay = 99;
    std::vector<std::string> lines;
    for (const app::StandingsRow& r : app::ComputeStandingsGrid(request).rows) {
        std::ostringstream s;
        s << r.name.toStdString() << " " << r.c.points << " " << r.c.played << " " << r.c.wins << " "
          << r.c.draws << " " << r.c.defeats << " " << r.c.goalsFor << " " << r.c.goalsAgainst;
        lines.push_back(s.str());
    }
    return lines;
}

void AddMatchEntry(Road& road, const RoadMatch& m) {
    const std::string name = std::string("match ") + kTeams[m.home] + "-" + kTeams[m.away];
    road.add(name + " (day)", NoModal(), [m] {
        app::Tfsairesultat* w = app::fsairesultat();
        Choose(w, "ejournee", QString::number(m.day));
        Click(w, "bafficher");
    });
    road.add(name + " (new)", NoModal(), [] { Click(app::fsairesultat(), "bnouveau"); });
    road.add(name + " (typed)", ModalIs<app::Tfsaimatch>(), [m] {
        QDialog* d = Modal<app::Tfsaimatch>();
        Choose(d, "eequipe1", QString::fromLatin1(kTeams[m.home]));
        Choose(d, "eequipe2", QString::fromLatin1(kTeams[m.away]));
        Type(d, "ebeq1", QString::number(m.homeGoals));
        Type(d, "ebeq2", QString::number(m.awayGoals));
        // Every goal by a player of the scoring side, and a yellow card for the home side's second player.
        for (int g = 0; g < m.homeGoals + m.awayGoals; ++g) {
            const int team = g < m.homeGoals ? m.home : m.away;
            Child<QComboBox>(d, "Combjoub")->setEditText(QString::fromLatin1(kPlayers[team][g % 2]));
            Type(d, "Combminuteb", QString::number(10 + 7 * g));
            Child<QComboBox>(d, "Combtypeb")->setCurrentIndex(0);
            Click(d, "boutajbut");
        }
        Child<QComboBox>(d, "Combjouc")->setEditText(QString::fromLatin1(kPlayers[m.home][1]));
        Type(d, "combminutec", QStringLiteral("33"));
        Child<QComboBox>(d, "Combtypec")->setCurrentIndex(0);
        Click(d, "boutAjcart");
    });
    if (&m == &kMatches[0]) road.shot("match-entry");
    road.add(name + " (ok)", ModalIs<app::Tfsaimatch>(), [] { Click(Modal<app::Tfsaimatch>(), "bok"); });
}

void FirstStation(Road& road, const std::string& out) {
    auto year = std::make_shared<int>(0);
    auto dump = std::make_shared<std::string>();
    const std::string backup = out + "/road-backup.pmz";

    road.add("first start: the language is asked", ModalIs<app::TForm10>(), [&road] {
        road.check(!fs::exists(app::GetAppDir().toStdString() + "PELMORAD32.PAR"),
                   "settings before the first end");
    });
    road.shot("language-choice");
    road.add("English chosen", ModalIs<app::TForm10>(), [] {
        auto* choice = Modal<app::TForm10>();
        QTest::mouseClick(choice->languageButton(2), Qt::LeftButton);
        choice->bokClick();
    });
    road.add("main window in English", NoModal(),
             [&road] { road.check(app::LanguageIndex == 2, "language"); });
    road.shot("main-window");

    // The championship and its season's rules.
    road.add("championship window", NoModal(), [] { Click(Main(), "bgestchamp"); });
    road.add("championship created", NoModal(), [year] {
        auto* w = app::fgestchamp();
        Click(w, "bnouveau");
        Type(w, "enom", QString::fromLatin1(kChampionship));
        Click(w, "bok");
        *year = app::CurrentSeasonYear;
    });
    road.add("season rules", NoModal(), [] {
        auto* w = app::fgestchamp();
        Click(w, "bmodif");
        const std::pair<const char*, const char*> rules[] = {
            {"enbequipe", "6"}, {"enbjournee", "10"}, {"eptv", "3"}, {"eptn", "1"},
            {"eptd", "0"},      {"eptfv", "3"},       {"eptfd", "0"}};
        for (const auto& [field, value] : rules) Type(w, field, QString::fromLatin1(value));
        Click(w, "bok");
    });
    road.shot("championship");
    road.add("championship window closed", NoModal(), [] { app::fgestchamp()->close(); });

    // Players, then six teams with their squads.
    road.add("player window", NoModal(), [] { Click(Main(), "bjoueurs"); });
    for (const auto& pair : kPlayers)
        for (const char* player : pair)
            road.add(std::string("player ") + player, NoModal(), [player] {
                auto* w = app::fgestjoueur();
                Click(w, "bnouveau");
                Type(w, "enom", QString::fromLatin1(player));
                Click(w, "bok");
            });
    road.shot("players");
    road.add("player window closed", NoModal(), [] { app::fgestjoueur()->close(); });
    road.add("team window", NoModal(), [] { Click(Main(), "bgestequipes"); });
    for (int t = 0; t < 6; ++t) {
        road.add(std::string("team ") + kTeams[t], NoModal(), [t] {
            auto* w = app::fgestequipe();
            Click(w, "bnouveau");
            Type(w, "enom", QString::fromLatin1(kTeams[t]));
        });
        for (const char* player : kPlayers[t])
            AddPick(
                road, std::string("squad ") + player, [] { Click(app::fgestequipe(), "bajoutejoueur"); },
                QString::fromLatin1(player));
        if (t == 5) road.shot("team-with-squad");
        road.add(std::string("team ") + kTeams[t] + " saved", NoModal(),
                 [] { Click(app::fgestequipe(), "bok"); });
    }
    road.add("team window closed", NoModal(), [] { app::fgestequipe()->close(); });

    // The six teams take part in the season.
    road.add("championship: modify", NoModal(), [] {
        Click(Main(), "bgestchamp");
        auto* w = app::fgestchamp();
        w->GoTo(1);
        Click(w, "bmodif");
        Child<QTabWidget>(w, "PageControl1")->setCurrentIndex(1);
    });
    for (const char* team : kTeams)
        AddPick(
            road, std::string("season team ") + team, [] { Click(app::fgestchamp(), "bajoutequipe"); },
            QString::fromLatin1(team));
    road.shot("season-teams");
    road.add("championship saved", NoModal(), [] {
        Click(app::fgestchamp(), "bok");
        app::fgestchamp()->close();
    });

    // Three matchdays through the results and match entry windows.
    road.add("results window", NoModal(), [] { Click(Main(), "bresultat"); });
    AddPick(
        road, "results: championship", [] { Click(app::fsairesultat(), "inumero"); }, QString());
    for (const RoadMatch& m : kMatches) AddMatchEntry(road, m);
    road.add("matchday 3 listed", NoModal(), [] {
        auto* w = app::fsairesultat();
        Choose(w, "ejournee", QStringLiteral("3"));
        Click(w, "bafficher");
    });
    road.shot("results-entered");
    road.add("nine matches stored", NoModal(), [&road] {
        road.check(ResultRows() == 9, "resultat rows");
        int goals = 0;
        for (const RoadMatch& m : kMatches) goals += m.homeGoals + m.awayGoals;
        road.check(Rows("but.dbf") == goals, "goal rows");
        road.check(Rows("carton.dbf") == 9, "card rows");
    });

    // The matchday view, printed (the one report on paper besides the standings).
    road.add("matchday view", NoModal(), [] { Click(Main(), "bjournee"); });
    AddPick(
        road, "matchday view: championship", [] { Click(app::fsairesultat(), "inumero"); }, QString());
    road.add("matchday view: day 2", NoModal(), [&road, out] {
        auto* w = app::fsairesultat();
        road.check(w->windowType() == 2, "view mode");
        Choose(w, "ejournee", QStringLiteral("2"));
        Click(w, "bafficher");
        app::SetReportPrinterFactory([out] {
            auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
            p->setOutputFormat(QPrinter::PdfFormat);
            p->setOutputFileName(QString::fromStdString(out + "/matchday.pdf"));
            return p;
        });
        Click(w, "bimp");
    });
    road.shot("matchday-view");
    road.add("matchday view closed", NoModal(), [] { app::fsairesultat()->close(); });

    // The standings: computed, equal to the model, printed, exported through the export chooser.
    road.add("standings window", NoModal(), [] { Click(Main(), "bclassement"); });
    AddPick(
        road, "standings: championship", [] { Click(app::fclassement(), "inumero"); }, QString());
    road.add("standings computed", NoModal(), [&road, year, out] {
        Click(app::fclassement(), "bappelleclassement");
        road.check(ProgramStandings(1, *year) == ModelLines(), "standings differ from the model");
        std::ofstream(out + "/standings-model.txt") << [] {
            std::string s;
            for (const std::string& l : ModelLines()) s += l + "\n";
            return s;
        }();
        app::SetReportPrinterFactory([out] {
            auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
            p->setOutputFormat(QPrinter::PdfFormat);
            p->setOutputFileName(QString::fromStdString(out + "/standings.pdf"));
            return p;
        });
        Click(app::fclassement(), "bimp");
    });
    road.shot("standings");
    road.add("standings export", NoModal(), [] { Click(app::fclassement(), "bhtm"); });
    road.add("export chooser", ModalIs<app::Tfgestfic>(), [out] {
        auto* files = Modal<app::Tfgestfic>();
        files->setDirectory(QString::fromStdString(out));
        Type(files, "Edit1", QStringLiteral("standings.htm"));
    });
    road.shot("export-chooser");
    road.add("export chosen", ModalIs<app::Tfgestfic>(), [] { Click(Modal<app::Tfgestfic>(), "boutok"); });
    road.add("standings closed", NoModal(), [&road, out] {
        road.check(fs::exists(out + "/standings.htm"), "no page");
        app::fclassement()->close();
    });
    // Every report window of the program on the season: the championship picked, the season and teams as
    // offered, the report computed. A report entry the program does not have yet stays disabled.
    struct Report {
        const char* button;
        std::function<QWidget*()> window;
        const char* compute;
        const char* shot;
    };
    const Report reports[] = {
        {"bmatcheq", [] { return static_cast<QWidget*>(app::fmatcheq()); }, "baffiche", "team-matches"},
        {"binfoequipe", [] { return static_cast<QWidget*>(app::finfoequipe()); }, "baffiche",
         "team-information"},
        {"bstatleague", [] { return static_cast<QWidget*>(app::fstatchamp()); }, "baffiche",
         "championship-statistics"},
        {"bgrilleresultat", [] { return static_cast<QWidget*>(app::fgrilleresult()); }, "bappelle",
         "results-grid"},
        {"bprevision", [] { return static_cast<QWidget*>(app::fprevision()); }, "bafficher", "prediction"},
    };
    for (const Report& r : reports) {
        const std::string name = r.shot;
        AddPick(
            road, name,
            [r] {
                Click(Main(), r.button);
                Click(r.window(), "inumero");
            },
            QString());
        road.add(name + " computed", NoModal(), [&road, r] {
            QWidget* w = r.window();
            // The prediction of the fourth matchday, from the three played before it.
            if (auto* d = w->findChild<QComboBox*>(QStringLiteral("cjournee")))
                d->setCurrentIndex(d->findText("4"));
            if (auto* a = w->findChild<QComboBox*>(QStringLiteral("eequipe1")))
                a->setCurrentIndex(a->findText("ALBION"));
            if (auto* b = w->findChild<QComboBox*>(QStringLiteral("eequipe2")))
                b->setCurrentIndex(b->findText("BOROUGH"));
            Click(w, r.compute);
            if (w == app::fmatcheq()) {
                // ALBION's three matches listed.
                auto* grid = Child<app::ReportGrid>(w, "grilleresultat");
                road.check(grid->RowCount() == 4 && grid->Cells(1, 1) == QLatin1String("ALBION"),
                           "team matches");
            }
        });
        road.shot(name);
        road.add(name + " closed", NoModal(), [r] { r.window()->close(); });
    }
    road.add("head-to-head entry", NoModal(), [&road] {
        auto* b = Child<QAbstractButton>(Main(), "bfaceaface");
        if (b->isEnabled()) QTest::mouseClick(b, Qt::LeftButton);
    });
    road.add("head-to-head closed", NoModal(), [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w != Main() && w->isVisible() && !w->isModal()) w->close();
    });

    // Backup through the File menu.
    road.add("backup", NoModal(), [] { Child<QAction>(Main(), "msauvdonnees")->trigger(); });
    road.add("backup file", ModalIs<QFileDialog>(),
             [backup] { TypeFileName(QString::fromStdString(backup)); });
    road.shot("backup-dialog");
    road.add("backup chosen", ModalIs<QFileDialog>(),
             [backup] { AcceptFileDialog(QString::fromStdString(backup)); });
    road.add("backup reported", ModalIs<QMessageBox>(), [&road, backup] {
        road.check(Modal<QMessageBox>()->text().contains(QFileInfo(QString::fromStdString(backup)).fileName()),
                   "the backup's message names no archive");
        Answer(QMessageBox::Ok);
    });
    road.add("backup written", NoModal(), [&road, dump, backup] {
        road.check(fs::exists(backup), "no archive");
        *dump = DumpDatabase(app::GetAppDir().toStdString());
    });

    // One more match, then the restore takes it away.
    road.add("results window again", NoModal(), [] { Click(Main(), "bresultat"); });
    AddPick(
        road, "results again: championship", [] { Click(app::fsairesultat(), "inumero"); }, QString());
    AddMatchEntry(road, kExtraMatch);
    road.add("ten matches stored", NoModal(), [&road] { road.check(ResultRows() == 10, "resultat rows"); });
    road.shot("extra-match");
    road.add("restore", NoModal(), [] { Child<QAction>(Main(), "mrecharger")->trigger(); });
    road.add("restore confirmed", ModalIs<QMessageBox>(), [] { Answer(QMessageBox::Yes); });
    road.add("restore file", ModalIs<QFileDialog>(),
             [backup] { Modal<QFileDialog>()->selectFile(QString::fromStdString(backup)); });
    road.shot("restore-dialog");
    road.add("restore chosen", ModalIs<QFileDialog>(),
             [backup] { AcceptFileDialog(QString::fromStdString(backup)); });
    road.shot("restored");
    road.add("restore reported", ModalIs<QMessageBox>(), [&road] {
        road.check(Modal<QMessageBox>()->text() == app::GetLangText(app::Text::AllOk), "restore message");
        Answer(QMessageBox::Ok);
    });
    road.add("database as backed up", NoModal(), [&road, dump, year] {
        road.check(ResultRows() == 9, "the extra match is still there");
        road.check(DumpDatabase(app::GetAppDir().toStdString()) == *dump, "tables differ from the backup");
        road.check(ProgramStandings(1, *year) == ModelLines(), "standings after the restore");
    });
    road.add("help", NoModal(), [&road] {
        Child<QAction>(Main(), "mAide1")->trigger();
        road.check(!g_shell->opened.empty() &&
                       g_shell->opened.back().find("help/pelmorad32.html") != std::string::npos,
                   "help page");
    });
    road.shot("before-quit");
    road.add("quit", NoModal(), [] { Click(Main(), "bquit"); });
}

void SecondStation(Road& road, const std::string&) {
    road.add(
        "second start: main window, no language choice", [] { return Main() && Main()->isVisible(); }, [] {});
    road.add(
        "still no language choice", [] { return true; },
        [&road] {
            QTest::qWait(1500);
            road.check(QApplication::activeModalWidget() == nullptr, "a window asked something");
            road.check(app::LanguageIndex == 2, "language kept");
        });
    road.shot("second-start");
    road.add("standings window", NoModal(), [] { Click(Main(), "bclassement"); });
    AddPick(
        road, "standings: championship", [] { Click(app::fclassement(), "inumero"); }, QString());
    road.add("standings computed", NoModal(), [&road] {
        Click(app::fclassement(), "bappelleclassement");
        road.check(ProgramStandings(1, app::CurrentSeasonYear) == ModelLines(),
                   "standings differ on the second start");
        road.check(ResultRows() == 9, "matches");
    });
    road.shot("second-standings");
    road.add("quit", NoModal(), [] { Child<QAction>(Main(), "aquitter")->trigger(); });
}

}  // namespace road
