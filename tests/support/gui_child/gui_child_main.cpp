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
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "app/editing/qt/championship_window.h"
#include "app/editing/qt/team_window.h"
#include "app/shell/app_files.h"
#include "app/shell/league_access.h"
#include "app/shell/param_file.h"
#include "app/shell/qt/modal_seam.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/dataset/engine_start.h"
#include "platform/locale_facts.h"
#include "tests/support/scripted_ui.h"

namespace {

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
    if (ui.messages.size() > messagesBefore) out += " MSG " + ui.messages.back().text;
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
            } else if (cmd == "state") {
                answer = State(w, ui, before);
            } else if (cmd == "quit") {
                w.close();
                app::fgestequipe()->close();
                std::cout << "bye" << std::endl;
                break;
            } else {
                answer = "E unknown command";
            }
        } catch (const std::exception& e) {
            answer = std::string("E ") + e.what();
        }
        std::cout << answer << std::endl;
    }
    return 0;
}
