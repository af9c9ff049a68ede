// The whole road through the program, on a real X display (xcb) with the real windows and dialogs. Run
// without arguments it is the check: it copies itself into an empty folder, which the program takes as its
// own, runs the first station there (language choice, a championship with its season rules, players, six
// teams with squads, three matchdays through the results and match entry windows, standings, the report
// windows, two PDFs, the standings page through the export chooser, a backup, one more match, the restore,
// quit), then a second station on the same folder (no language choice, the data there), and checks what
// they left. Every step's screen is kept in <out>/NN-step.png with an index page listing them in order.
//
//   program_road OUTDIR            the check (under xvfb-run, QT_QPA_PLATFORM=xcb)
//   program_road --station N OUTDIR one station (started by the check)
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPieSeries>
#include <QPieSlice>
#include <QPixmap>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/editing/match_entry.h"
#include "app/editing/qt/championship_window.h"
#include "app/editing/qt/match_entry_window.h"
#include "app/editing/qt/matchday_results_window.h"
#include "app/editing/qt/player_window.h"
#include "app/editing/qt/team_window.h"
#include "app/exchange/qt/import_window.h"
#include "app/program/qt/program.h"
#include "app/program/qt/program_windows.h"
#include "app/reports/qt/championship_stats_window.h"
#include "app/reports/qt/head_to_head_window.h"
#include "app/reports/qt/prevision_window.h"
#include "app/reports/qt/results_grid_window.h"
#include "app/reports/qt/standings_window.h"
#include "app/reports/qt/team_info_window.h"
#include "app/reports/qt/team_matches_window.h"
#include "app/reports/standings.h"
#include "app/shell/app_files.h"
#include "app/shell/lang_texts.h"
#include "app/shell/league_access.h"
#include "app/shell/param_file.h"
#include "app/shell/qt/export_file_chooser.h"
#include "app/shell/qt/interface_language.h"
#include "app/shell/qt/language_choice.h"
#include "app/shell/qt/main_form.h"
#include "app/shell/qt/parameters_window.h"
#include "app/shell/qt/pick_list.h"
#include "app/shell/qt/report_charts.h"
#include "app/shell/qt/report_grid.h"
#include "app/shell/qt/report_print.h"
#include "platform/shell_open.h"
#include "tests/support/html_table.h"
#include "tests/support/league_fill.h"
#include "tests/support/run_command.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

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

// ---- the station: a script of steps run from a timer inside the program's own event loop ----

class RecordingShell : public xb::platform::Shell {
public:
    bool open(const std::string& url) override {
        opened.push_back(url);
        return true;
    }
    std::vector<std::string> opened;
};

class Road : public QObject {
public:
    struct Step {
        std::string name;
        std::function<bool()> ready;  // polled until true (or the step's time runs out)
        std::function<void()> act;    // run from its own timer: it may open a modal window and block
    };

    Road(int station, std::string out) : m_station(station), m_out(std::move(out)) {
        m_poll.setInterval(60);
        connect(&m_poll, &QTimer::timeout, this, [this] { tick(); });
    }

    void add(std::string name, std::function<bool()> ready, std::function<void()> act) {
        m_steps.push_back({std::move(name), std::move(ready), std::move(act)});
    }
    void add(std::string name, std::function<void()> act) {
        add(
            std::move(name), [] { return true; }, std::move(act));
    }
    // A screenshot of the whole X screen, numbered in the road's order.
    void shot(const std::string& what) {
        add("shot " + what, [this, what] {
            // Whatever the last step changed is painted and reaches the X server first; the road waits.
            m_holding = true;
            QTest::qWait(250);
            m_holding = false;
            const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
            char name[64];
            std::snprintf(name, sizeof name, "%d%02d-%s.png", m_station, ++m_shots, what.c_str());
            screen.save(QString::fromStdString(m_out + "/" + name));
        });
    }
    void check(bool ok, const std::string& what) {
        if (!ok) m_failures.push_back(m_steps[m_current].name + ": " + what);
    }

    void start() {
        m_stepStart = std::chrono::steady_clock::now();
        m_poll.start();
    }
    const std::vector<std::string>& failures() const { return m_failures; }
    // While held, no further step starts: a step that waits (and so turns the event loop) holds the road.
    void hold(bool held) { m_holding = held; }

private:
    void tick() {
        if (m_finished || m_holding) return;
        if (m_next >= m_steps.size()) {
            m_finished = true;
            return;
        }
        Step& s = m_steps[m_next];
        if (!s.ready()) {
            if (std::chrono::steady_clock::now() - m_stepStart > std::chrono::seconds(30)) {
                m_failures.push_back(s.name + ": not ready within 30 s");
                m_finished = true;
                // Give up: dismiss whatever modal window is up, then close the program.
                QTimer::singleShot(0, [] {
                    while (QWidget* m = QApplication::activeModalWidget()) m->close();
                    for (QWidget* w : QApplication::topLevelWidgets())
                        if (qobject_cast<app::TMainForm*>(w)) w->close();
                });
            }
            return;
        }
        m_current = m_next++;
        m_stepStart = std::chrono::steady_clock::now();
        std::fprintf(stderr, "road %d: %s\n", m_station, s.name.c_str());
        QTimer::singleShot(0, this, [act = s.act] { act(); });
    }

    int m_station;
    std::string m_out;
    QTimer m_poll;
    std::vector<Step> m_steps;
    size_t m_next = 0;
    size_t m_current = 0;
    bool m_finished = false;
    bool m_holding = false;
    int m_shots = 0;
    std::chrono::steady_clock::time_point m_stepStart;
    std::vector<std::string> m_failures;
};

template <typename T>
T* Child(QWidget* w, const char* name) {
    T* c = w ? w->findChild<T*>(QString::fromLatin1(name)) : nullptr;
    if (!c) throw std::runtime_error(std::string("no control ") + name);
    return c;
}
void Click(QWidget* w, const char* name) {
    QTest::mouseClick(Child<QAbstractButton>(w, name), Qt::LeftButton);
}
void Type(QWidget* w, const char* name, const QString& text) {
    QLineEdit* e = qobject_cast<QLineEdit*>(w->findChild<QWidget*>(QString::fromLatin1(name)));
    if (!e) e = Child<QComboBox>(w, name)->lineEdit();
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Backspace);
    QTest::keyClicks(e, text);
}
void Choose(QWidget* w, const char* name, const QString& text) {
    QComboBox* c = Child<QComboBox>(w, name);
    const int i = c->findText(text);
    if (i < 0) throw std::runtime_error(std::string("no entry ") + text.toStdString() + " in " + name);
    c->setCurrentIndex(i);
}

template <typename T>
T* Modal() {
    return qobject_cast<T*>(QApplication::activeModalWidget());
}
template <typename T>
std::function<bool()> ModalIs() {
    return [] { return Modal<T>() != nullptr && Modal<T>()->isVisible(); };
}
std::function<bool()> NoModal() {
    return [] { return QApplication::activeModalWidget() == nullptr; };
}

// The pick list: the search typed, the first row chosen.
void PickFirst(const QString& search) {
    auto* d = Modal<app::Tfliste>();
    if (!search.isEmpty()) {
        auto* e = Child<QLineEdit>(d, "erecherche");
        e->clear();
        QTest::keyClicks(e, search);
        QTest::keyClick(e, Qt::Key_Return);
    }
    auto* grid = Child<QTableView>(d, "DBGrid1");
    const QModelIndex i = grid->model()->index(0, 1);
    const QPoint at = grid->visualRect(i).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
}

// A message box's button of the given role.
void Answer(QMessageBox::StandardButton button) {
    auto* box = Modal<QMessageBox>();
    QTest::mouseClick(box->button(button), Qt::LeftButton);
}

// Qt's file dialog: the folder shown, the name typed, as a user does.
void TypeFileName(const QString& path) {
    auto* d = Modal<QFileDialog>();
    // The whole path, set at once: typed letter by letter, the name's completer pops up over the dialog's
    // buttons; and a folder changed first is loaded later, which empties the name again.
    Child<QLineEdit>(d, "fileNameEdit")->setText(path);
}
void AcceptFileDialog(const QString& path) {
    // Set again: the dialog's first load of its folder may have emptied the name since.
    TypeFileName(path);
    auto* d = Modal<QFileDialog>();
    auto* buttons = Child<QDialogButtonBox>(d, "buttonBox");
    QAbstractButton* ok = buttons->button(QDialogButtonBox::Save);
    if (!ok) ok = buttons->button(QDialogButtonBox::Open);
    QTest::mouseClick(ok, Qt::LeftButton);
}

app::TMainForm* Main() {
    return app::MainForm;
}

// Adds to the road the steps of one picked entry: the click that opens the pick list, the pick.
void AddPick(Road& road, const std::string& name, std::function<void()> open, const QString& search) {
    road.add(name + " (open pick list)", NoModal(), std::move(open));
    road.add(name + " (pick)", ModalIs<app::Tfliste>(), [search] { PickFirst(search); });
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

RecordingShell* g_shell = nullptr;

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

// ---- the reports in French and in Croatian, on a season whose names are hard to show ----

// 30 characters, the most a championship name holds; a team name read as markup if it were; long names.
constexpr int kFrench = 1, kCroatian = 6;
const char* const kLongChampionship = "CHAMPIONNAT NATIONAL DE FRANCE";
const char* const kMarkupTeam = "Lille <b>&\"OSC";
const char* const kHardTeams[] = {kMarkupTeam,    "Paris Saint-Germain", "Olympique Lyonnais",
                                  "Hajduk Split", "Olympique Marseille", "Dinamo Zagreb"};

// Every text of the generated season in characters both code pages of the two languages hold.
std::string Plain(const std::string& text) {
    QString folded = QString::fromStdString(text).normalized(QString::NormalizationForm_D);
    QString out;
    for (QChar c : folded) {
        if (c.category() == QChar::Mark_NonSpacing) continue;
        out += c.unicode() < 128 ? c : (c == QChar(0xF8) || c == QChar(0xD8) ? QChar('o') : QChar('x'));
    }
    return out.toStdString();
}

std::vector<xbtest::SeasonTable> HardSeason() {
    auto season = xbtest::MakeSeason({20, 3, 38, 41});
    for (auto& t : season) {
        for (auto& row : t.rows)
            for (auto& cell : row) cell = Plain(cell);
        if (t.file == "champion.dbf") t.rows[0][1] = kLongChampionship;
        if (t.file == "equipe.dbf")
            // From team 2 on: the generated calendar has team 1 play every match away.
            for (size_t i = 0; i < std::size(kHardTeams); ++i) t.rows[i + 1][1] = kHardTeams[i];
    }
    return season;
}

struct TextProblems {
    std::vector<std::string> found;
    void add(const std::string& where, const QString& text) {
        found.push_back(where + " '" + text.toStdString() + "'");
    }
};

// Every text of the window against the room it has: fields, labels and combo boxes whole, every grid
// cell within its column (titles of several lines within the title bar), every chart text whole on
// screen and in the chart's image, no chart label read as markup, the championship named whole.
TextProblems WindowTextProblems(QWidget* w) {
    TextProblems p;
    for (QLineEdit* e : w->findChildren<QLineEdit*>()) {
        if (!e->isVisible() || e->text().isEmpty() || qobject_cast<QComboBox*>(e->parentWidget())) continue;
        if (e->fontMetrics().horizontalAdvance(e->text()) > e->contentsRect().width() - 4)
            p.add("field " + e->objectName().toStdString() + " cut", e->text());
    }
    if (auto* name = w->findChild<QLineEdit*>("enomchamp"); name && name->text() != kLongChampionship)
        p.add("championship name", name->text());
    for (QComboBox* c : w->findChildren<QComboBox*>()) {
        if (!c->isVisible() || c->currentText().isEmpty()) continue;
        QStyleOptionComboBox option;
        option.initFrom(c);
        const QRect field =
            c->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, c);
        if (c->fontMetrics().horizontalAdvance(c->currentText()) > field.width())
            p.add("choice " + c->objectName().toStdString() + " cut", c->currentText());
    }
    for (QLabel* l : w->findChildren<QLabel*>()) {
        if (!l->isVisible() || l->wordWrap() || l->text().isEmpty() || !l->pixmap().isNull()) continue;
        for (const QString& line : l->text().split('\n'))
            if (l->fontMetrics().horizontalAdvance(line) > l->contentsRect().width())
                p.add("label " + l->objectName().toStdString() + " cut", line);
    }
    for (app::ReportGrid* g : w->findChildren<app::ReportGrid*>()) {
        if (!g->isVisible()) continue;
        QFont bold = g->font();
        bold.setBold(true);
        const QFontMetrics metrics(bold);
        for (int c = 0; c < g->ColCount(); ++c) {
            if (g->ColWidth(c) == 0) continue;
            for (int r = 0; r < g->RowCount(); ++r) {
                const QStringList lines =
                    g->Cells(c, r).split(QRegularExpression("[\r\n]"), Qt::SkipEmptyParts);
                for (const QString& line : lines)
                    if (metrics.horizontalAdvance(line) + 2 > g->ColWidth(c))
                        p.add("grid " + g->objectName().toStdString() + " cell cut", line);
                if (r == 0 && lines.size() > 1 &&
                    lines.size() * metrics.height() > g->horizontalHeader()->height())
                    p.add("grid title too short", g->Cells(c, r));
            }
        }
    }
    for (QChartView* v : w->findChildren<QChartView*>()) {
        QChart* chart = v->chart();
        const std::string name = v->objectName().toStdString();
        if (v->isVisible())
            for (const app::ShownChartText& t : app::ShownChartTexts(chart))
                if (!t.whole) p.add("chart " + name + " on screen", t.text);
        const QSizeF screen = chart->size();
        chart->resize(QSizeF(app::ChartImageSize(v)));
        for (const app::ShownChartText& t : app::ShownChartTexts(chart))
            if (!t.whole) p.add("chart " + name + " image", t.text);
        chart->resize(screen);
        for (QAbstractSeries* s : chart->series())
            if (auto* pie = qobject_cast<QPieSeries*>(s))
                for (QPieSlice* slice : pie->slices())
                    if (slice->label().contains("Lille") &&
                        !app::ChartPlainText(slice->label()).contains(kMarkupTeam))
                        p.add("chart " + name + " label read as markup", app::ChartPlainText(slice->label()));
    }
    return p;
}

// The window on the screen: its frame and every shown button inside the screen, every report grid able to
// show 15 rows at the least.
TextProblems ScreenProblems(QWidget* w) {
    TextProblems p;
    const QRect screen = w->screen()->geometry();
    const QRect frame = w->frameGeometry();
    if (!screen.contains(frame))
        p.add("window outside the screen", QStringLiteral("%1x%2+%3+%4").arg(frame.width()).arg(frame.height())
                                               .arg(frame.x()).arg(frame.y()));
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
        if (!b->isVisible()) continue;
        const QRect at(b->mapToGlobal(QPoint(0, 0)), b->size());
        if (!screen.contains(at)) p.add("button " + b->objectName().toStdString() + " off the screen", b->text());
    }
    for (app::ReportGrid* g : w->findChildren<app::ReportGrid*>()) {
        if (!g->isVisible()) continue;
        const int rows = g->viewport()->height() / std::max(1, g->verticalHeader()->defaultSectionSize());
        if (rows < 15) p.add("grid " + g->objectName().toStdString() + " shows few rows", QString::number(rows));
    }
    return p;
}

// What reads as English in a session of another language: a table text's English entry where the
// language has an entry of its own, and Qt's own English texts (the standard buttons, the file chooser's)
// that Qt's catalogue for the language translates. Data (names, numbers) never equals either.
class ForeignTexts {
public:
    explicit ForeignTexts(int language) {
        // An English entry that is also some text's entry in the language ("P" is English for played
        // and Croatian for won) reads right either way.
        const int texts = static_cast<int>(app::BuiltInTextTable().size()) / app::kLanguageCount;
        std::set<QString> own;
        for (int n = 1; n <= texts; ++n) own.insert(key(app::BuiltInText(n, language)));
        for (int n = 1; n <= texts; ++n) {
            const QString en = app::BuiltInText(n, 2);
            if (en.contains(QRegularExpression("[A-Za-z]")) && !own.count(key(en))) m_english.insert(key(en));
        }
        m_qtLoaded = m_qt.load(QStringLiteral("qtbase_") + app::QtCatalogueName(language).mid(3),
                               QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    }
    // True when the check can tell: Qt's catalogue is there and translates the standard buttons, and the
    // table's English is known as such.
    bool complete() const {
        for (const char* button : {"&Yes", "&No", "OK", "Cancel", "Close"})
            if (qtTranslated(button).isEmpty()) return false;
        return m_qtLoaded && why(app::BuiltInText(app::Text::Cancel, 2));
    }
    // Why the shown text reads as English; nullptr when it does not.
    const char* why(const QString& text) const {
        if (text.trimmed().isEmpty()) return nullptr;
        if (m_english.count(key(text))) return "English table text";
        if (!qtTranslated(text.toUtf8().constData()).isEmpty()) return "Qt's English";
        return nullptr;
    }

private:
    static QString key(QString text) { return text.remove(QLatin1Char('&')).simplified(); }
    QString qtTranslated(const char* text) const {
        for (const char* context : {"QPlatformTheme", "QFileDialog", "QMessageBox", "QDialogButtonBox"}) {
            const QString own = m_qt.translate(context, text);
            if (!own.isEmpty() && own != QString::fromUtf8(text)) return own;
        }
        return {};
    }

    std::set<QString> m_english;
    QTranslator m_qt;
    bool m_qtLoaded = false;
};

// Every text the shown windows let a user read, checked against the foreign texts: window titles,
// labels, buttons, check and radio boxes, group and tab titles, hints, choices, menu entries, grid
// headers and cells, and the charts' titles, axes, legends and labels.
std::vector<std::string> ForeignShown(const ForeignTexts& foreign) {
    std::vector<std::string> found;
    const auto check = [&](const std::string& where, const QString& text) {
        if (const char* why = foreign.why(text))
            found.push_back(std::string(why) + " shown: " + where + " '" + text.toStdString() + "'");
    };
    std::function<void(const std::string&, const QList<QAction*>&)> menu =
        [&](const std::string& where, const QList<QAction*>& actions) {
            for (QAction* a : actions) {
                if (!a->isVisible() || a->isSeparator()) continue;
                check(where + " menu " + a->objectName().toStdString(), a->text());
                if (a->menu()) menu(where, a->menu()->actions());
            }
        };
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (!top->isVisible()) continue;
        const std::string window =
            top->objectName().isEmpty() ? top->metaObject()->className() : top->objectName().toStdString();
        check(window + " title", top->windowTitle());
        for (QWidget* w : top->findChildren<QWidget*>()) {
            if (!w->isVisible()) continue;
            const std::string where = window + "/" + w->objectName().toStdString();
            check(where + " hint", w->toolTip());
            if (auto* l = qobject_cast<QLabel*>(w)) check(where, l->text());
            if (auto* b = qobject_cast<QAbstractButton*>(w)) check(where, b->text());
            if (auto* g = qobject_cast<QGroupBox*>(w)) check(where, g->title());
            if (auto* c = qobject_cast<QComboBox*>(w))
                for (int i = 0; i < c->count(); ++i) check(where + " choice", c->itemText(i));
            if (auto* t = qobject_cast<QTabWidget*>(w))
                for (int i = 0; i < t->count(); ++i) check(where + " tab", t->tabText(i));
            if (auto* bar = qobject_cast<QMenuBar*>(w)) menu(where, bar->actions());
            if (auto* v = qobject_cast<QTableView*>(w)) {
                const QAbstractItemModel* m = v->model();
                for (int c = 0; m && v->horizontalHeader()->isVisible() && c < m->columnCount(); ++c)
                    check(where + " header", m->headerData(c, Qt::Horizontal).toString());
                if (auto* g = qobject_cast<app::ReportGrid*>(v))
                    for (int r = 0; r < g->RowCount(); ++r)
                        for (int c = 0; c < g->ColCount(); ++c)
                            if (g->ColWidth(c) > 0) check(where + " cell", g->Cells(c, r));
            }
            if (auto* v = qobject_cast<QChartView*>(w))
                for (const app::ShownChartText& t : app::ShownChartTexts(v->chart()))
                    check(where + " chart", t.text);
        }
    }
    return found;
}

struct ReportWindow {
    const char* name;
    const char* button;
    std::function<QWidget*()> window;
    std::function<void(QWidget*)> choose;  // the selection, once the championship is there
    const char* compute;
    bool prints, exports;
};

void TypeChampionship(QWidget* w) {
    auto* number = Child<QLineEdit>(w, "enumchamp");
    if (number->isReadOnly()) {
        number->setText("1");
    } else {
        number->clear();
        QTest::keyClicks(number, "1");
    }
}

void ChooseTeam(QWidget* w, const char* box, const char* team) {
    auto* c = Child<QComboBox>(w, box);
    c->setCurrentIndex(c->findText(QString::fromUtf8(team)));
}

// Each tab of the window in turn, read and pictured; the first one shown again afterwards.
void ReadTabs(QWidget* w, const std::string& picture, const std::function<void()>& read) {
    read();
    w->grab().save(QString::fromStdString(picture + ".png"));
    auto* tabs = w->findChild<QTabWidget*>();
    for (int t = 1; tabs && t < tabs->count(); ++t) {
        tabs->setCurrentIndex(t);
        QTest::qWait(100);
        read();
        w->grab().save(QString::fromStdString(picture + "-tab" + std::to_string(t) + ".png"));
    }
    if (tabs) tabs->setCurrentIndex(0);
}

// Every other window the main window opens, and the dialogs they open in turn, each read while shown:
// the editing windows, the import, the parameters, the about box, the pick list, the match entry, the
// restore's question and the backup's file chooser.
void AddWindowWalk(Road& road, const std::string& out, const std::string& tag, std::function<void()> read) {
    const std::string at = out + "/" + tag + "-";
    road.add(tag + " main window read", NoModal(), [read, at] {
        read();
        Main()->grab().save(QString::fromStdString(at + "main.png"));
    });
    const std::pair<const char*, std::function<QWidget*()>> windows[] = {
        {"bgestchamp", [] { return static_cast<QWidget*>(app::fgestchamp()); }},
        {"bgestequipes", [] { return static_cast<QWidget*>(app::fgestequipe()); }},
        {"bjoueurs", [] { return static_cast<QWidget*>(app::fgestjoueur()); }},
        {"mimportkvx127", [] { return static_cast<QWidget*>(app::fimport()); }},
        {"aparametre", [] { return static_cast<QWidget*>(app::fpara); }},
    };
    for (const auto& [entry, window] : windows) {
        road.add(tag + " " + entry + " read", NoModal(), [&road, entry = entry, window = window, read, at] {
            road.hold(true);
            if (auto* action = Main()->findChild<QAction*>(entry))
                action->trigger();
            else
                Click(Main(), entry);
            QTest::qWait(300);
            QWidget* w = window();
            road.check(w && w != Main(), std::string("no window from ") + entry);
            if (w && w != Main()) {
                ReadTabs(w, at + entry, read);
                w->close();
            }
            road.hold(false);
        });
    }
    // The results window in entry mode, its pick list and its match entry.
    road.add(tag + " results window read", NoModal(), [&road, read, at] {
        road.hold(true);
        Click(Main(), "bresultat");
        QTest::qWait(300);
        ReadTabs(app::fsairesultat(), at + "results", read);
        road.hold(false);
        Click(app::fsairesultat(), "inumero");
    });
    road.add(tag + " pick list read", ModalIs<app::Tfliste>(), [read, at] {
        Modal<app::Tfliste>()->grab().save(QString::fromStdString(at + "pick-list.png"));
        read();
        PickFirst(QString());
    });
    road.add(tag + " match entry", NoModal(), [] {
        Choose(app::fsairesultat(), "ejournee", QStringLiteral("1"));
        Click(app::fsairesultat(), "bafficher");
        Click(app::fsairesultat(), "bnouveau");
    });
    road.add(tag + " match entry read", ModalIs<app::Tfsaimatch>(), [&road, read, at] {
        road.hold(true);
        QDialog* d = Modal<app::Tfsaimatch>();
        ReadTabs(d, at + "match-entry", read);
        road.hold(false);
        d->reject();
    });
    road.add(tag + " results window closed", NoModal(), [] { app::fsairesultat()->close(); });
    // The about box, the restore's question and the backup's file chooser: each read, then dismissed.
    const std::pair<const char*, const char*> dialogs[] = {
        {"HelpAbout1", "about"}, {"mrecharger", "restore-question"}, {"msauvdonnees", "backup-chooser"}};
    for (const auto& [action, picture] : dialogs) {
        road.add(tag + " " + picture, NoModal(),
                 [action = action] { Child<QAction>(Main(), action)->trigger(); });
        road.add(tag + " " + picture + " read", ModalIs<QDialog>(), [read, at, picture = picture] {
            QDialog* d = Modal<QDialog>();
            d->grab().save(QString::fromStdString(at + picture + ".png"));
            read();
            if (qobject_cast<QMessageBox*>(d))
                Answer(QMessageBox::No);
            else
                d->reject();
        });
    }
}

void ReportStation(Road& road, const std::string& out, int language, const std::string& tag) {
    road.add("first start: " + tag + " chosen", ModalIs<app::TForm10>(), [language] {
        auto* choice = Modal<app::TForm10>();
        QTest::mouseClick(choice->languageButton(language), Qt::LeftButton);
        choice->bokClick();
    });
    // In a session of another language than French every window is read for English.
    const auto foreign = language == kFrench ? nullptr : std::make_shared<ForeignTexts>(language);
    const auto readForEnglish = [&road, foreign] {
        if (foreign)
            for (const std::string& problem : ForeignShown(*foreign)) road.check(false, problem);
    };
    road.add("a season with hard names", NoModal(), [&road, language, foreign, readForEnglish] {
        road.check(app::LanguageIndex == language, "language");
        road.check(!foreign || foreign->complete(), "Qt's catalogue of the language is missing or partial");
        readForEnglish();
        xbtest::FillLeagueTables(app::GetAppDir().toStdString(), HardSeason());
        app::CurrentSeasonYear = 2026;
    });
    const auto standingsOrder = [](int order) {
        return [order](QWidget* w) { Child<QComboBox>(w, "ctypecla2")->setCurrentIndex(order); };
    };
    const ReportWindow reports[] = {
        {"standings", "bclassement", [] { return static_cast<QWidget*>(app::fclassement()); },
         standingsOrder(0), "bappelleclassement", true, true},
        {"scorers", "bclassement", [] { return static_cast<QWidget*>(app::fclassement()); },
         standingsOrder(app::kOrderScorers), "bappelleclassement", true, true},
        {"team-matches", "bmatcheq", [] { return static_cast<QWidget*>(app::fmatcheq()); },
         [](QWidget* w) { ChooseTeam(w, "eequipe", kMarkupTeam); }, "baffiche", true, true},
        {"team-information", "binfoequipe", [] { return static_cast<QWidget*>(app::finfoequipe()); },
         [](QWidget* w) { ChooseTeam(w, "eequipe", kMarkupTeam); }, "baffiche", true, true},
        {"championship-statistics", "bstatleague", [] { return static_cast<QWidget*>(app::fstatchamp()); },
         [](QWidget*) {}, "baffiche", true, false},
        {"results-grid", "bgrilleresultat", [] { return static_cast<QWidget*>(app::fgrilleresult()); },
         [](QWidget*) {}, "bappelle", false, true},
        {"prediction", "bprevision", [] { return static_cast<QWidget*>(app::fprevision()); },
         [](QWidget* w) {
             ChooseTeam(w, "eequipe1", kMarkupTeam);
             ChooseTeam(w, "eequipe2", kHardTeams[1]);
             auto* day = Child<QComboBox>(w, "cjournee");
             day->setCurrentIndex(day->count() - 1);
         },
         "bafficher", false, false},
        {"head-to-head", "bfaceaface", [] { return static_cast<QWidget*>(app::ffaceaface()); },
         [](QWidget* w) {
             auto* h = static_cast<app::Tffaceaface*>(w);
             h->SetTeam(1, 2);
             h->SetTeam(2, 3);
         },
         "bafficher", true, true},
        {"matchday", "bjournee", [] { return static_cast<QWidget*>(app::fsairesultat()); },
         [](QWidget* w) { Child<QComboBox>(w, "ejournee")->setCurrentIndex(0); }, "bafficher", true, true},
    };
    for (const ReportWindow& r : reports) {
        const std::string name = tag + "-" + r.name;
        road.add(name, NoModal(), [&road, r, name, out, readForEnglish] {
            road.hold(true);
            Click(Main(), r.button);
            QWidget* w = r.window();
            if (w->findChild<QLineEdit*>("enumchamp")) TypeChampionship(w);
            r.choose(w);
            Click(w, r.compute);
            QTest::qWait(300);
            for (const std::string& problem : WindowTextProblems(w).found) road.check(false, problem);
            for (const std::string& problem : ScreenProblems(w).found) road.check(false, problem);
            // Percentages as the language writes them: "36,9 %" in French and Croatian alike.
            for (QChartView* v : w->findChildren<QChartView*>())
                for (QAbstractSeries* s : v->chart()->series())
                    if (auto* pie = qobject_cast<QPieSeries*>(s))
                        for (QPieSlice* slice : pie->slices())
                            if (app::ChartPlainText(slice->label()).contains(QLatin1Char('%')))
                                road.check(app::ChartPlainText(slice->label())
                                               .contains(QRegularExpression(QString::fromUtf8("\\d,\\d[ \u00A0]%$"))),
                                           "percentage " + app::ChartPlainText(slice->label()).toStdString());
            readForEnglish();
            w->grab().save(QString::fromStdString(out + "/" + name + ".png"));
            if (r.prints) {
                app::SetReportPrinterFactory([out, name] {
                    auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
                    p->setOutputFormat(QPrinter::PdfFormat);
                    p->setOutputFileName(QString::fromStdString(out + "/" + name + ".pdf"));
                    return p;
                });
                Click(w, "bimp");
                app::SetReportPrinterFactory({});
            }
            road.hold(false);
        });
        if (r.exports) {
            road.add(name + " export", NoModal(), [r] { Click(r.window(), "bhtm"); });
            road.add(name + " export chosen", ModalIs<app::Tfgestfic>(), [out, name, readForEnglish] {
                auto* files = Modal<app::Tfgestfic>();
                files->setDirectory(QString::fromStdString(out));
                Type(files, "Edit1", QString::fromStdString(name + ".htm"));
                readForEnglish();
                Click(files, "boutok");
            });
        }
        // The other pages of the window only now: printout and page were made before they were ever shown.
        road.add(name + " closed", NoModal(), [&road, r, out, name, readForEnglish] {
            road.hold(true);
            if (r.exports) road.check(fs::exists(out + "/" + name + ".htm"), "no page");
            QWidget* w = r.window();
            if (auto* tabs = w->findChild<QTabWidget*>()) {
                for (int t = 1; t < tabs->count(); ++t) {
                    tabs->setCurrentIndex(t);
                    QTest::qWait(150);
                    for (const std::string& problem : WindowTextProblems(w).found) road.check(false, problem);
                    readForEnglish();
                    w->grab().save(
                        QString::fromStdString(out + "/" + name + "-tab" + std::to_string(t) + ".png"));
                }
                tabs->setCurrentIndex(0);
            }
            w->close();
            road.hold(false);
        });
    }
    if (foreign) AddWindowWalk(road, out, tag, readForEnglish);
    road.add("quit", NoModal(), [] { Click(Main(), "bquit"); });
}

Road* g_road = nullptr;
int g_station = 0;
std::string g_out;

void StartRoad() {
    g_road = new Road(g_station, g_out);
    // The shell stand-in replaces the desktop's opener once the program installed it: no browser starts.
    g_road->add("shell stand-in", [] {
        g_shell = new RecordingShell;
        xb::platform::SetShell(g_shell);
    });
    if (g_station == 1)
        FirstStation(*g_road, g_out);
    else if (g_station == 2)
        SecondStation(*g_road, g_out);
    else
        ReportStation(*g_road, g_out, g_station == 3 ? kFrench : kCroatian, g_station == 3 ? "fr" : "hr");
    g_road->start();
}

int Station(int station, const std::string& out, char* argv0) {
    g_station = station;
    g_out = out;
    qAddPreRoutine([] { QTimer::singleShot(0, [] { StartRoad(); }); });
    char* args[] = {argv0, nullptr};
    const int status = app::RunProgram(1, args, app::ProgramWindowEntries());
    std::ofstream log(out + "/station" + std::to_string(station) + ".log");
    log << "status " << status << "\n";
    for (const std::string& f : g_road ? g_road->failures() : std::vector<std::string>{"road never started"})
        log << "FAIL " << f << "\n";
    return status != 0 || !g_road || !g_road->failures().empty() ? 1 : 0;
}

// ---- the check ----

int Spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

bool Blank(const std::string& png) {
    const QImage image(QString::fromStdString(png));
    if (image.isNull()) return true;
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 7)
        for (int x = 0; x < image.width(); x += 7) colours.insert(image.pixel(x, y));
    return colours.size() < 16;
}

std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

int Check(const char* self, const std::string& out) {
    std::vector<std::string> failures;
    fs::remove_all(out);
    fs::create_directories(out + "/program");
    const std::string exe = out + "/program/pelmorad32-road";
    fs::copy_file(self, exe);
    // The reports in two languages, each from a first start in a folder of its own.
    std::vector<std::pair<int, std::string>> stations = {{1, exe}, {2, exe}};
    for (const char* tag : {"fr", "hr"}) {
        const std::string folder = out + "/program-" + tag;
        fs::create_directories(folder);
        fs::copy_file(self, folder + "/pelmorad32-road");
        stations.push_back({tag == std::string("fr") ? 3 : 4, folder + "/pelmorad32-road"});
    }
    for (const auto& [station, program] : stations) {
        const int status = Spawn({program, "--station", std::to_string(station), out});
        const std::string log = ReadAll(out + "/station" + std::to_string(station) + ".log");
        std::fprintf(stderr, "station %d: status %d\n%s", station, status, log.c_str());
        if (status != 0)
            failures.push_back("station " + std::to_string(station) + " status " + std::to_string(status));
    }
    // The PDFs as pictures and text; the exported page as the browser shows it and its DOM.
    std::vector<std::string> pictures;
    for (const auto& e : fs::directory_iterator(out))
        if (e.path().extension() == ".png") pictures.push_back(e.path().filename().string());
    std::sort(pictures.begin(), pictures.end());
    for (const std::string& png : pictures)
        if (Blank(out + "/" + png)) failures.push_back("blank screenshot " + png);
    std::vector<std::string> rendered;
    for (const char* pdf : {"standings", "matchday"}) {
        const std::string path = out + "/" + pdf + ".pdf";
        if (!fs::exists(path)) {
            failures.push_back(std::string("no ") + pdf + ".pdf");
            continue;
        }
        xbtest::RunCommand("pdftoppm -png -r 60 -f 1 -l 1 " + xbtest::ShellQuote(path) + " " +
                           xbtest::ShellQuote(out + "/pdf-" + pdf));
        for (const auto& e : fs::directory_iterator(out))
            if (e.path().filename().string().rfind(std::string("pdf-") + pdf, 0) == 0)
                rendered.push_back(e.path().filename().string());
    }
    const std::string page = out + "/standings.htm";
    const std::vector<std::string> model = [] { return ModelLines(); }();
    if (fs::exists(page)) {
        xbtest::ChromiumScreenshot(page, out + "/html-standings.png", 1000, 900);
        rendered.push_back("html-standings.png");
        // The DOM Chromium made and the PDF's text show the same rows: each team with its figures, in order.
        const std::string dom = xbtest::ChromiumDumpDom(page);
        const xbtest::HtmlDocument doc = xbtest::ReadHtmlDocument(dom);
        std::vector<std::string> domRows;
        for (const auto& table : doc.tables)
            for (const auto& row : table)
                for (size_t c = 0; c + 8 < row.size() + 1 && c < row.size(); ++c)
                    for (const char* team : kTeams)
                        if (row[c] == team && c + 6 < row.size()) {
                            std::string line = row[c];
                            for (size_t k = c + 1; k <= c + 7 && k < row.size(); ++k) line += " " + row[k];
                            domRows.push_back(line);
                        }
        if (domRows != model) {
            std::string got;
            for (const std::string& r : domRows) got += r + " | ";
            failures.push_back("page rows differ from the model: " + got);
        }
        const std::string text =
            xbtest::RunCommand("pdftotext -layout " + xbtest::ShellQuote(out + "/standings.pdf") + " -");
        size_t at = 0;
        for (const std::string& row : model) {
            // In the PDF the row's figures follow its name separated by blanks.
            std::istringstream fields(row);
            std::string name;
            fields >> name;
            at = text.find(name, at);
            if (at == std::string::npos) {
                failures.push_back("pdf lacks " + name + " in order");
                break;
            }
            const std::string line = text.substr(at, text.find('\n', at) - at);
            std::istringstream lineFields(line), want(row);
            std::string a, b;
            bool same = true;
            while (want >> b) {
                lineFields >> a;
                same = same && a == b;
            }
            if (!same) failures.push_back("pdf row '" + line + "' differs from '" + row + "'");
        }
    } else {
        failures.push_back("no exported standings page");
    }
    // Every page the reports exported parses balanced and names the markup team as typed; the printouts
    // of the standings and the scorers say under their title what they show.
    for (const char* tag : {"fr", "hr"}) {
        for (const char* report : {"standings", "scorers", "team-matches", "team-information", "results-grid",
                                   "head-to-head", "matchday"}) {
            const std::string page = out + "/" + tag + "-" + report + ".htm";
            if (!fs::exists(page)) {
                failures.push_back("no page " + page);
                continue;
            }
            for (const std::string& problem : xbtest::UnbalancedElements(ReadAll(page)))
                failures.push_back(page + ": " + problem);
            const std::string text = ReadAll(page);
            if (std::string(report) != "matchday" && std::string(report) != "scorers" &&
                text.find("Lille &lt;b&gt;&amp;&quot;OSC") == std::string::npos)
                failures.push_back(page + ": the markup team is not named as typed");
            if (std::string(report) == "team-information" || std::string(report) == "head-to-head") {
                const std::string png = std::string("html-") + tag + "-" + report + ".png";
                xbtest::ChromiumScreenshot(page, out + "/" + png, 1100, 1400);
                rendered.push_back(png);
            }
        }
        for (const char* report : {"standings", "scorers", "team-matches", "team-information", "head-to-head",
                                   "championship-statistics", "matchday"}) {
            const std::string pdf = out + "/" + tag + "-" + report + ".pdf";
            if (!fs::exists(pdf)) {
                failures.push_back("no printout " + pdf);
                continue;
            }
            xbtest::RunCommand("pdftoppm -png -r 50 -f 1 -l 1 " + xbtest::ShellQuote(pdf) + " " +
                               xbtest::ShellQuote(out + "/pdf-" + tag + "-" + report));
            for (const auto& e : fs::directory_iterator(out))
                if (e.path().filename().string().rfind(std::string("pdf-") + tag + "-" + report + "-", 0) ==
                    0)
                    rendered.push_back(e.path().filename().string());
            // Every printed word at 8 points at the least: the box poppler gives a word is about 1.16 times
            // the size of the sans-serif face the charts print in.
            const std::string boxes = xbtest::RunCommand("pdftotext -bbox " + xbtest::ShellQuote(pdf) + " -");
            static const std::regex word(R"re(<word xMin="[0-9.]+" yMin="([0-9.]+)" xMax="[0-9.]+" yMax="([0-9.]+)">([^<]*)<)re");
            for (auto w = std::sregex_iterator(boxes.begin(), boxes.end(), word); w != std::sregex_iterator(); ++w)
                if (std::stod((*w)[2]) - std::stod((*w)[1]) < 8 * 1.16) {
                    failures.push_back(pdf + ": text smaller than 8 pt: " + (*w)[3].str());
                    break;
                }
            const std::string text = xbtest::RunCommand("pdftotext " + xbtest::ShellQuote(pdf) + " -");
            if (text.find(kLongChampionship) == std::string::npos)
                failures.push_back(pdf + ": no championship name");
            if (std::string(report) == "standings" || std::string(report) == "scorers") {
                // Championship, season, range and type in that order, under the title.
                size_t at = 0;
                for (const std::string& want :
                     {std::string(kLongChampionship), std::string("2026 - 2027"), std::string(": 1"),
                      app::BuiltInText(app::Text::MatchType, tag == std::string("fr") ? kFrench : kCroatian)
                              .toStdString() +
                          ": "}) {
                    at = text.find(want, at);
                    if (at == std::string::npos) {
                        failures.push_back(pdf + ": lacks '" + want + "' under its title");
                        break;
                    }
                }
            }
        }
    }
    // The index page: the screenshots in order, then the PDFs and the page as rendered.
    std::ofstream index(out + "/index.html");
    index << "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>The "
             "road</title></head><body>\n<h1>The "
             "road through the program</h1>\n";
    for (const std::string& png : pictures)
        index << "<h2>" << png << "</h2><img src=\"" << png << "\" width=\"900\">\n";
    for (const std::string& png : rendered)
        index << "<h2>" << png << "</h2><img src=\"" << png << "\" width=\"700\">\n";
    index << "<h2>Result</h2><pre>" << (failures.empty() ? "all checks passed" : "") << "\n";
    for (const std::string& f : failures) index << f << "\n";
    index << "</pre></body></html>\n";
    for (const std::string& f : failures) std::fprintf(stderr, "FAIL %s\n", f.c_str());
    std::fprintf(stderr, "%zu screenshots, %zu rendered; %s\n", pictures.size(), rendered.size(),
                 failures.empty() ? "road passed" : "road FAILED");
    return failures.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--station")
        return Station(std::atoi(argv[2]), argv[3], argv[0]);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    return Check("/proc/self/exe", argv[1]);
}
