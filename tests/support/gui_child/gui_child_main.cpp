// lm_gui_child DATADIR [YEAR]: a second station for the window tests. It runs the editing windows offscreen
// on the league tables in DATADIR and drives them with QTest, one command a line from stdin, one answer a
// line on stdout (see gui_child.h). Message boxes are answered by a scripted stand-in and reported.
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "app/editing/qt/championship_window.h"
#include "app/editing/qt/matchday_results_window.h"
#include "app/editing/qt/team_window.h"
#include "app/settings/app_files.h"
#include "app/data/league_access.h"
#include "app/data/league_lookups.h"
#include "app/settings/param_file.h"
#include "app/shell/qt/modal_seam.h"
#include "app/shell/qt/report_grid.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/dataset/engine_start.h"
#include "platform/locale_facts.h"
#include "tests/support/scripted_ui.h"

namespace {

// A message on the one line of an answer: its line breaks become blanks.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\n') c = ' ';
    return text;
}

template <typename T>
T* Child(QWidget& w, const char* name) {
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    if (!c) throw std::runtime_error(std::string("no control ") + name);
    return c;
}

void Click(QWidget& w, const char* name) {
    QTest::mouseClick(Child<QAbstractButton>(w, name), Qt::LeftButton);
}

// The window's state after an action: the mode, the number shown and the last message since the action.
std::string State(app::BrowseWindow& w, xbtest::ScriptedUi& ui, size_t messagesBefore) {
    std::string out = std::string(1, w.mode()) + " " + Child<QLineEdit>(w, "enumero")->text().toStdString();
    if (ui.messages.size() > messagesBefore) out += " MSG " + OneLine(ui.messages.back().text);
    return out;
}

void SetCombo(QWidget& w, const char* name, const std::string& value) {
    QComboBox* c = Child<QComboBox>(w, name);
    c->lineEdit()->clear();
    QTest::keyClicks(c->lineEdit(), QString::fromStdString(value));
}

// Double-clicks the pick list's row of the number given (the number column may be hidden).
void PickNumber(QDialog& d, int number) {
    auto* grid = Child<QTableView>(d, "DBGrid1");
    for (int r = 0; r < grid->model()->rowCount(); ++r) {
        const QModelIndex i = grid->model()->index(r, 1);
        if (grid->model()->index(r, 0).data().toString().trimmed().toInt() != number) continue;
        grid->scrollTo(i);
        const QPoint at = grid->visualRect(i).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
        return;
    }
    throw std::runtime_error("no row " + std::to_string(number) + " in the pick list");
}

// team PLAYERS NAME: the team window's New, NAME typed, each player (comma-separated numbers, "-" for
// none) added through the pick list, OK.
std::string CreateTeam(std::istringstream& in, xbtest::ScriptedUi& ui, size_t before) {
    std::string players, name;
    in >> players;
    std::getline(in >> std::ws, name);
    app::Tfgestequipe& w = *app::fgestequipe();
    if (!w.isVisible()) w.show();
    Click(w, "bnouveau");
    QTest::keyClicks(Child<QLineEdit>(w, "enom"), QString::fromStdString(name));
    if (players != "-") {
        std::istringstream list(players);
        std::string number;
        while (std::getline(list, number, ',')) {
            app::ModalDriverScope driver([&](QDialog& d) { PickNumber(d, std::stoi(number)); });
            Click(w, "bajoutejoueur");
        }
    }
    Click(w, "bok");
    return State(w, ui, before);
}

// ---- the matchday results window in entry mode and its match entry ----

app::Tfsairesultat& Results() {
    app::Tfsairesultat& w = *app::fsairesultat();
    if (!w.isVisible()) {
        w.ptypeec(1);
        w.show();
    }
    return w;
}

void Choose(QWidget& w, const char* name, const QString& text) {
    QComboBox* c = Child<QComboBox>(w, name);
    const int i = c->findText(text);
    if (i < 0) throw std::runtime_error(std::string("no ") + text.toStdString() + " in " + name);
    c->setCurrentIndex(i);
}

void TypeInto(QWidget& w, const char* name, const std::string& text) {
    QLineEdit* e = Child<QComboBox>(w, name)->lineEdit();
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Backspace);
    QTest::keyClicks(e, QString::fromStdString(text));
}

// The listing's state: "L" and the number of matches listed, with " MSG text" when the action showed a
// message.
std::string Listing(xbtest::ScriptedUi& ui, size_t messagesBefore) {
    app::ReportGrid& g = *Child<app::ReportGrid>(Results(), "grilleresultat");
    int listed = 0;
    for (int r = 1; r < g.RowCount(); ++r) listed += !g.Cells(0, r).trimmed().isEmpty();
    std::string out = "L " + std::to_string(listed);
    if (ui.messages.size() > messagesBefore) out += " MSG " + OneLine(ui.messages.back().text);
    return out;
}

// Selects the listed match HOME-AWAY.
void SelectListed(int home, int away) {
    app::ReportGrid& g = *Child<app::ReportGrid>(Results(), "grilleresultat");
    for (int r = 1; r < g.RowCount(); ++r)
        if (g.Cells(0, r).toInt() == home && g.Cells(1, r).toInt() == away) return g.SetRow(r);
    throw std::runtime_error("no listed match " + std::to_string(home) + "-" + std::to_string(away));
}

// Adds the events "PLAYER:MINUTE:TYPE,..." ("-" for none) through the goal or card inputs.
void AddEvents(QDialog& d, const std::string& events, bool goals) {
    if (events == "-") return;
    std::istringstream list(events);
    for (std::string e; std::getline(list, e, ',');) {
        int player = 0, minute = 0, type = 0;
        if (std::sscanf(e.c_str(), "%d:%d:%d", &player, &minute, &type) != 3)
            throw std::runtime_error("bad event " + e);
        Child<QComboBox>(d, goals ? "Combjoub" : "Combjouc")->setEditText(app::GetPlayerName(player));
        TypeInto(d, goals ? "Combminuteb" : "combminutec", std::to_string(minute));
        Child<QComboBox>(d, goals ? "Combtypeb" : "Combtypec")->setCurrentIndex(type);
        Click(d, goals ? "boutajbut" : "boutAjcart");
    }
}

// matchday CHAMP YEAR DAY: the championship, season and matchday chosen, the matchday listed.
void ShowMatchday(std::istringstream& in) {
    int champ = 0, year = 0, day = 0;
    in >> champ >> year >> day;
    app::Tfsairesultat& w = Results();
    Child<QLineEdit>(w, "enumchamp")->setText(QString::number(champ));
    Choose(w, "eannee", QString::number(year) + QStringLiteral(" - ") + QString::number(year + 1));
    Choose(w, "ejournee", QString::number(day));
    Click(w, "bafficher");
}

// new HOME AWAY G1 G2 GOALS CARDS: New, the teams chosen, the score and events typed, OK.
// modify HOME AWAY G1 G2: the listed match selected, Modify, the score typed, OK.
void EnterMatch(std::istringstream& in, bool isNew) {
    int home = 0, away = 0;
    std::string g1, g2, goals = "-", cards = "-";
    in >> home >> away >> g1 >> g2;
    if (isNew) in >> goals >> cards;
    app::Tfsairesultat& w = Results();
    std::string failure;
    app::ModalDriverScope driver([&](QDialog& d) {
        try {
            // A match deleted meanwhile is said so and the window closes itself.
            QTest::qWait(20);
            if (!d.isVisible()) return;
            if (isNew) {
                Choose(d, "eequipe1", app::GetTeamName(home));
                Choose(d, "eequipe2", app::GetTeamName(away));
            }
            TypeInto(d, "ebeq1", g1);
            TypeInto(d, "ebeq2", g2);
            AddEvents(d, goals, true);
            AddEvents(d, cards, false);
            Click(d, "bok");
            // Refused (a match stored already, say): the window is left as a user leaves it.
            if (d.isVisible()) Click(d, "bannule");
        } catch (const std::exception& e) {
            failure = e.what();
        }
    });
    if (isNew) {
        Click(w, "bnouveau");
    } else {
        SelectListed(home, away);
        Click(w, "bmodif");
    }
    if (!failure.empty()) throw std::runtime_error(failure);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    if (argc < 2) return 2;
    xb::Engine engine(xb::platform::LocaleFactsFromName("en_US"));
    xb::InstallEngineUnits(engine);
    xb::SetErrorTrap(false);
    app::SetAppDir(QString::fromStdString(std::string(argv[1]) + "/"));
    if (argc > 2 && std::atoi(argv[2]) > 0) app::CurrentSeasonYear = std::atoi(argv[2]);
    xbtest::ScriptedUi ui;
    app::Tfgestchamp& w = *app::fgestchamp();
    w.show();

    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string cmd;
        in >> cmd;
        const size_t before = ui.messages.size();
        // A question whether to save over another station's change is answered Yes (its default is No).
        if (cmd != "delete") ui.boxAnswers.assign(4, xb::platform::kIdYes);
        std::string answer;
        try {
            if (cmd == "create") {  // create NAME: New, the name typed, OK
                std::string name;
                std::getline(in >> std::ws, name);
                Click(w, "bnouveau");
                QTest::keyClicks(Child<QLineEdit>(w, "enom"), QString::fromStdString(name));
                Click(w, "bok");
                answer = State(w, ui, before);
            } else if (cmd == "team") {
                answer = CreateTeam(in, ui, before);
            } else if (cmd == "ok") {  // OK again (after a refused lock)
                Click(w, "bok");
                answer = State(w, ui, before);
            } else if (cmd == "rules") {  // rules NUMBER TEAMS DAYS: Modify, the rules typed, OK
                std::string number, teams, days;
                in >> number >> teams >> days;
                w.GoTo(1);
                while (Child<QLineEdit>(w, "enumero")->text().toStdString() != number) {
                    const std::string at = Child<QLineEdit>(w, "enumero")->text().toStdString();
                    w.GoTo(3);
                    if (Child<QLineEdit>(w, "enumero")->text().toStdString() == at)
                        throw std::runtime_error("no championship " + number);
                }
                Click(w, "bmodif");
                SetCombo(w, "enbequipe", teams);
                SetCombo(w, "enbjournee", days);
                Click(w, "bok");
                answer = State(w, ui, before);
            } else if (cmd == "matchday") {
                ShowMatchday(in);
                answer = Listing(ui, before);
            } else if (cmd == "new" || cmd == "modify") {
                EnterMatch(in, cmd == "new");
                answer = Listing(ui, before);
            } else if (cmd == "delete") {  // delete HOME AWAY: the listed match selected, Delete, Yes
                int home = 0, away = 0;
                in >> home >> away;
                SelectListed(home, away);
                ui.boxAnswers = {xb::platform::kIdYes};
                Click(Results(), "bsupprime");
                answer = Listing(ui, before + 1);  // past the question itself
            } else if (cmd == "list") {  // the matchday listed again
                Click(Results(), "bafficher");
                answer = Listing(ui, before);
            } else if (cmd == "state") {
                answer = State(w, ui, before);
            } else if (cmd == "quit") {
                w.close();
                app::fgestequipe()->close();
                app::fsairesultat()->close();
                std::cout << "bye" << std::endl;
                break;
            } else {
                answer = "E unknown command";
            }
        } catch (const std::exception& e) {
            answer = std::string("E ") + e.what();
        }
        ui.boxAnswers.clear();
        std::cout << answer << std::endl;
    }
    return 0;
}
