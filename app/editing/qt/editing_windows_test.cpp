// The pick list and the championship window driven offscreen by object name on the nine league tables of
// a seeded season, with a second process for the locks and the two-station runs.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QTableView>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>

#include "app/editing/qt/championship_window.h"
#include "app/settings/app_files.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_access.h"
#include "app/data/league_writes.h"
#include "app/data/league_tables.h"
#include "app/settings/param_file.h"
#include "app/shell/qt/modal_seam.h"
#include "app/shell/qt/pick_list.h"
#include "engine/dataset/engine_start.h"
#include "engine/dataset/xb_file_dataset.h"
#include "tests/support/child_process.h"
#include "tests/support/fixtures.h"
#include "tests/support/gui_child.h"
#include "tests/support/league_fill.h"
#include "tests/support/mdx_checker.h"
#include "tests/support/scripted_ui.h"

namespace app {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// The seeded season, plus names that start with "PAR" in both cases, a tie, and quotes.
std::vector<xbtest::SeasonTable> Season() {
    auto season = xbtest::MakeSeason();
    for (auto& t : season) {
        if (t.file == "equipe.dbf") {
            for (const Rows::value_type& r : Rows{{"31", "PARMA"},
                                                  {"32", "Paris FC"},
                                                  {"33", "PARIS SG"},
                                                  {"34", "PARMA"},
                                                  {"35", "L'ARLES \"B\""},
                                                  {"36", "APARTE"}})
                t.rows.push_back(r);
        } else if (t.file == "champion.dbf") {
            t.rows.push_back({"3", "PARTIE \"A\""});
            t.rows.push_back({"4", "Paris Ligue"});
        } else if (t.file == "joueur.dbf") {
            t.rows.push_back({"9001", "PARDO Luis", "", "1", "", ""});
            t.rows.push_back({"9002", "parent Jean", "", "1", "", ""});
        }
    }
    return season;
}

class EditingWindowTest : public xbtest::EngineTest {
protected:
    EditingWindowTest() {
        xb::InstallEngineUnits(engine());
        xbtest::FillLeagueTables(tmp.path(), Season());
        SetAppDir(QString::fromStdString(tmp.path() + "/"));
        CurrentSeasonYear = 2026;
        LanguageIndex = 2;
    }
    ~EditingWindowTest() override {
        if (m_champ) m_champ->close();
        fliste()->close();
        LanguageIndex = 1;
    }

    // Rows of a table (field values by name) that pass keep.
    std::vector<std::map<std::string, std::string>> rows(const std::string& file,
                                                         const std::function<bool(xb::TXbDbf&)>& keep = {}) {
        LeagueTableScope t("testrows", file);
        std::vector<std::map<std::string, std::string>> out;
        for (t->First(); !t->Eof(); t->Next()) {
            if (keep && !keep(*t)) continue;
            std::map<std::string, std::string> row;
            for (int i = 0; i < t->FieldCount(); ++i)
                row[t->Fields(i).FieldName()] = t->Fields(i).GetAsString();
            out.push_back(row);
        }
        return out;
    }
    int count(const std::string& file, const char* field, int value) {
        return static_cast<int>(
            rows(file, [&](xb::TXbDbf& t) { return t.FieldGetInt(field) == value; }).size());
    }

    Tfgestchamp& champ() {
        if (!m_champ) m_champ = std::make_unique<Tfgestchamp>();
        if (!m_champ->isVisible()) {
            m_champ->show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(m_champ.get()));
        }
        return *m_champ;
    }
    template <typename T>
    T* child(QWidget& w, const char* name) {
        T* c = w.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    void click(QWidget& w, const char* name) {
        QTest::mouseClick(child<QAbstractButton>(w, name), Qt::LeftButton);
    }
    QString text(QWidget& w, const char* name) { return child<QLineEdit>(w, name)->text(); }
    void type(QWidget& w, const char* name, const QString& s) {
        QLineEdit* e = child<QLineEdit>(w, name);
        e->clear();
        QTest::keyClicks(e, s);
    }
    void typeCombo(QWidget& w, const char* name, const QString& s) {
        QComboBox* c = child<QComboBox>(w, name);
        c->lineEdit()->clear();
        QTest::keyClicks(c->lineEdit(), s);
    }
    // Browses to the championship numbered n.
    void browseTo(int n) {
        Tfgestchamp& w = champ();
        w.GoTo(1);
        for (int i = 0; i < 100 && text(w, "enumero").toInt() != n; ++i) w.GoTo(3);
        ASSERT_EQ(text(w, "enumero").toInt(), n);
    }

    QString comboText(QWidget& w, const char* name) { return child<QComboBox>(w, name)->currentText(); }
    // Shown unless hidden (a control on a page not in front counts as shown).
    bool visible(QWidget& w, const char* name) { return !child<QWidget>(w, name)->isHidden(); }
    // The rules stored for (championship, year): teams, matchdays and the five point values, a row each.
    std::vector<std::vector<int>> rules(int championship, int year) {
        LeagueTableScope t("testrules", "champan.dbf");
        std::vector<std::vector<int>> out;
        for (t->First(); !t->Eof(); t->Next()) {
            if (t->FieldGetInt("NUCHAMP") != championship || t->FieldGetInt("ANNEE") != year) continue;
            std::vector<int> row;
            for (const char* f : {"NBEQUIPE", "NBJOURNEE", "PTV", "PTN", "PTD", "PTFV", "PTFD"})
                row.push_back(t->FieldGetInt(f));
            out.push_back(row);
        }
        return out;
    }
    std::string championshipName(int n) {
        auto found = rows("champion.dbf", [&](xb::TXbDbf& t) { return t.FieldGetInt("NUCHAMP") == n; });
        if (found.size() != 1) return "rows: " + std::to_string(found.size());
        std::string name = found[0]["NOMCHAMP"];
        name.erase(name.find_last_not_of(' ') + 1);
        return name;
    }
    // Rows of the six tables that hold a championship, per table: (rows of championship n, other rows).
    std::map<std::string, std::pair<int, int>> championshipRows(int n) {
        std::map<std::string, std::pair<int, int>> out;
        for (const char* file :
             {"champion.dbf", "champan.dbf", "eqchamp.dbf", "resultat.dbf", "but.dbf", "carton.dbf"}) {
            for (const auto& r : rows(file)) {
                auto& [mine, others] = out[file];
                (std::stoi(r.at("NUCHAMP")) == n ? mine : others)++;
            }
        }
        return out;
    }

    static QStringList gridNames(QDialog& d) {
        auto* grid = d.findChild<QTableView*>(QStringLiteral("DBGrid1"));
        QStringList out;
        for (int r = 0; r < grid->model()->rowCount(); ++r)
            out << grid->model()->index(r, 1).data().toString().trimmed();
        return out;
    }
    static void search(QDialog& d, const QString& s) {
        auto* e = d.findChild<QLineEdit*>(QStringLiteral("erecherche"));
        e->clear();
        QTest::keyClicks(e, s);
        QTest::keyClick(e, Qt::Key_Return);
    }
    static void doubleClickRow(QDialog& d, int row) {
        auto* grid = d.findChild<QTableView*>(QStringLiteral("DBGrid1"));
        const QModelIndex i = grid->model()->index(row, 1);
        const QPoint at = grid->visualRect(i).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
    }

    xbtest::ScriptedUi ui;
    std::unique_ptr<Tfgestchamp> m_champ;
};

TEST_F(EditingWindowTest, PickListSearchesListsAndReturnsTheNumber) {
    struct Mode {
        int mode;
        QStringList par;  // "par" then Enter, in tag order (equal names in record order)
        int all;          // rows in the table
        int pickRow;      // of the "par" list, double-clicked
        int picked;
    } modes[] = {
        {2, {"PARIS SG", "PARMA", "PARMA", "Paris FC"}, 26, 2, 0},  // the ties: 31 before 34
        {4, {"PARTIE \"A\"", "Paris Ligue"}, 4, 0, 0},
        {5, {"PARDO Luis", "parent Jean"}, 20 * 14 + 2, 1, 0},
    };
    for (Mode& m : modes) {
        SCOPED_TRACE(m.mode);
        QStringList listedNumbers, listed, quoted1, quoted2, blank;
        bool numberShown = true;
        ModalDriverScope driver([&](QDialog& d) {
            numberShown = !d.findChild<QTableView*>(QStringLiteral("DBGrid1"))->isColumnHidden(0);
            EXPECT_TRUE(d.findChild<QWidget*>(QStringLiteral("p1"))->isVisible());
            search(d, "\"");
            quoted1 = gridNames(d);
            search(d, "l'arles \"");
            quoted2 = gridNames(d);
            search(d, "   ");
            blank = gridNames(d);
            search(d, "par");
            listed = gridNames(d);
            auto* g = d.findChild<QTableView*>(QStringLiteral("DBGrid1"));
            for (int r = 0; r < g->model()->rowCount(); ++r)
                listedNumbers << g->model()->index(r, 0).data().toString().trimmed();
            doubleClickRow(d, m.pickRow);
        });
        m.picked = PickFromList(m.mode);
        for (auto& msg : ui.messages) ADD_FAILURE() << "message: " << msg.text;
        EXPECT_FALSE(numberShown);
        EXPECT_EQ(listed, m.par) << listedNumbers.join(",").toStdString();
        if (m.mode == 2) EXPECT_EQ(listedNumbers, (QStringList{"33", "31", "34", "32"}));
        // A double click answers the number of the row clicked.
        EXPECT_NE(m.picked, 0);
        EXPECT_EQ(listedNumbers.value(m.pickRow).toInt(), m.picked);
        EXPECT_EQ(quoted1, QStringList{});
        EXPECT_EQ(quoted2, m.mode == 2 ? QStringList{"L'ARLES \"B\""} : QStringList{});
        EXPECT_EQ(blank.size(), m.all);
    }

    // Quit, and a close by the title bar, pick nothing whatever was picked before.
    for (auto close : {std::function<void(QDialog&)>([](QDialog& d) {
                           QTest::mouseClick(d.findChild<QAbstractButton*>(QStringLiteral("bquit")),
                                             Qt::LeftButton);
                       }),
                       std::function<void(QDialog&)>([](QDialog& d) { d.close(); })}) {
        PickedNumber = 7;
        ModalDriverScope driver(close);
        EXPECT_EQ(PickFromList(4), 0);
    }

    // Mode 1 alone shows the numbers, in number order, without a search panel.
    QStringList numbers;
    ModalDriverScope driver([&](QDialog& d) {
        auto* grid = d.findChild<QTableView*>(QStringLiteral("DBGrid1"));
        EXPECT_FALSE(grid->isColumnHidden(0));
        EXPECT_FALSE(d.findChild<QWidget*>(QStringLiteral("p1"))->isVisible());
        EXPECT_EQ(grid->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("N°"));
        for (int r = 0; r < 3; ++r) numbers << grid->model()->index(r, 0).data().toString().trimmed();
    });
    EXPECT_EQ(PickFromList(1), 0);
    EXPECT_EQ(numbers, (QStringList{"1", "2", "3"}));
}

TEST_F(EditingWindowTest, PickListRebuildsAMissingIndexWithItsOwnTags) {
    std::filesystem::remove(tmp.file("champion.mdx"));
    QStringList listed;
    ModalDriverScope driver([&](QDialog& d) { listed = gridNames(d); });
    PickFromList(3);
    EXPECT_EQ(listed.size(), 4);
    const auto report = xbtest::CheckMdxFile(tmp.file("champion.mdx"));
    EXPECT_TRUE(report.ok()) << report.text();
    std::vector<std::string> tags;
    for (const auto& t : report.tags) tags.push_back(t.name);
    EXPECT_EQ(tags, (std::vector<std::string>{"NUCHAMP", "NOMCHAMP"}));
}

// 'C' writes one row, its name in capitals whether typed or pasted, and no rules; 'M' the name and one
// rules row, whatever the number of saves; the rules are checked before anything is written; a team
// picked twice through the real pick list is linked once.
TEST_F(EditingWindowTest, ChampionshipCreatesRenamesAndStoresTheRules) {
    Tfgestchamp& w = champ();
    EXPECT_EQ(w.mode(), 'V');
    EXPECT_FALSE(child<QWidget>(w, "eonglet1")->isEnabled());
    EXPECT_FALSE(visible(w, "bok"));

    click(w, "bnouveau");
    EXPECT_EQ(w.mode(), 'C');
    EXPECT_EQ(text(w, "enumero"), "5");
    EXPECT_FALSE(child<QWidget>(w, "eonglet1")->isEnabled()) << "no rules while creating";
    EXPECT_FALSE(visible(w, "bnouveau"));
    EXPECT_FALSE(child<QWidget>(w, "bsuivant")->isEnabled());
    type(w, "enom", "ligue b1");
    EXPECT_EQ(text(w, "enom"), "LIGUE B1");
    click(w, "bok");
    EXPECT_EQ(w.mode(), 'V');
    EXPECT_EQ(text(w, "enumero"), "5");
    EXPECT_EQ(championshipName(5), "LIGUE B1");
    EXPECT_TRUE(rules(5, 2026).empty());

    click(w, "bnouveau");
    QApplication::clipboard()->setText(QStringLiteral("coupe x"));
    child<QLineEdit>(w, "enom")->paste();
    EXPECT_EQ(text(w, "enom"), "COUPE X");
    click(w, "bok");
    EXPECT_EQ(championshipName(6), "COUPE X");

    // Like a team, a championship without a name (or of blanks) is refused with a message, and nothing
    // is written; edit mode stays.
    for (const char* blank : {"", "   "}) {
        click(w, "bnouveau");
        type(w, "enom", blank);
        const auto before = ui.messages.size();
        click(w, "bok");
        EXPECT_EQ(ui.messages.size(), before + 1) << "'" << blank << "'";
        EXPECT_EQ(w.mode(), 'C');
        EXPECT_EQ(count("champion.dbf", "NUCHAMP", 7), 0);
        click(w, "bannule");
    }

    // Cancel after New shows the championship shown before.
    click(w, "bnouveau");
    click(w, "bannule");
    EXPECT_EQ(text(w, "enumero"), "6");
    EXPECT_EQ(count("champion.dbf", "NUCHAMP", 7), 0);

    // A rename stores the name only: the season the combo shows, never stored, gets no row.
    browseTo(5);
    click(w, "bmodif");
    type(w, "enom", "ligue b2");
    click(w, "bok");
    EXPECT_EQ(championshipName(5), "LIGUE B2");
    EXPECT_TRUE(rules(5, 2026).empty());

    click(w, "bmodif");
    EXPECT_EQ(w.mode(), 'M');
    EXPECT_TRUE(child<QWidget>(w, "eonglet1")->isEnabled());
    EXPECT_TRUE(visible(w, "bajoutequipe"));
    // A season without rules shows zeros.
    for (const char* c : {"enbequipe", "enbjournee", "eptv", "eptn", "eptd", "eptfv", "eptfd"})
        EXPECT_EQ(comboText(w, c), "0") << c;
    const struct { QString teams, days; } suggestions[] = {{"18", "34"}, {"1", "0"}, {"0", "0"}, {"2", "2"}};
    for (const auto& sg : suggestions) {
        typeCombo(w, "enbequipe", sg.teams);
        EXPECT_EQ(comboText(w, "enbjournee"), sg.days) << sg.teams.toStdString();
    }
    // What a rule field cannot hold is refused as it is typed, with a message naming it.
    const auto refusedBefore = ui.messages.size();
    typeCombo(w, "eptv", "a1-b");
    EXPECT_EQ(comboText(w, "eptv"), "1");
    QCoreApplication::processEvents();
    ASSERT_EQ(ui.messages.size(), refusedBefore + 1);
    EXPECT_EQ(ui.messages.back().text, GetLangText(Text::WholeNumberOnly).arg("a").toStdString());

    // A value out of its range (or not a number) is refused with a message naming the field; edit mode
    // is kept and nothing is written.
    const auto messages = ui.messages.size();
    typeCombo(w, "eptv", "3");
    typeCombo(w, "enbequipe", "-5");
    type(w, "enom", "ligue c");
    click(w, "bok");
    ASSERT_EQ(ui.messages.size(), messages + 1);
    EXPECT_NE(ui.messages.back().text.find(GetLangText(Text::NumberOfTeams).toStdString()), std::string::npos)
        << ui.messages.back().text;
    EXPECT_EQ(w.mode(), 'M');
    EXPECT_EQ(championshipName(5), "LIGUE B2");
    EXPECT_TRUE(rules(5, 2026).empty());

    typeCombo(w, "enbequipe", "18");
    for (const auto& [combo, value] :
         {std::pair{"eptn", "1"}, {"eptd", "0"}, {"eptfv", "3"}, {"eptfd", "-1"}})
        typeCombo(w, combo, value);
    click(w, "bok");
    EXPECT_EQ(w.mode(), 'V');
    EXPECT_EQ(championshipName(5), "LIGUE C");
    EXPECT_EQ(rules(5, 2026), (std::vector<std::vector<int>>{{18, 34, 3, 1, 0, 3, -1}}));
    click(w, "bmodif");
    typeCombo(w, "enbjournee", "30");
    click(w, "bok");
    EXPECT_EQ(rules(5, 2026), (std::vector<std::vector<int>>{{18, 30, 3, 1, 0, 3, -1}}));
    EXPECT_EQ(comboText(w, "enbjournee"), "30");
    // A season stored with no matchday count (as an import may store one) shows 0, not the count its
    // teams suggest, and a save of what is shown keeps it.
    {
        LeagueTableScope t("import", "champan.dbf");
        SeasonRules r;
        r.teams = 4;
        r.win = 3;
        ASSERT_TRUE(SaveSeasonParams(*t, 5, 2026, r, Matchdays::kWritten));
    }
    browseTo(5);
    EXPECT_EQ(comboText(w, "enbequipe"), "4");
    EXPECT_EQ(comboText(w, "enbjournee"), "0");
    click(w, "bmodif");
    click(w, "bok");
    EXPECT_EQ(rules(5, 2026), (std::vector<std::vector<int>>{{4, 0, 3, 0, 0, 0, 0}}));
    click(w, "bmodif");
    typeCombo(w, "enbequipe", "18");
    typeCombo(w, "enbjournee", "30");
    for (const auto& [combo, value] :
         {std::pair{"eptn", "1"}, {"eptd", "0"}, {"eptfv", "3"}, {"eptfd", "-1"}})
        typeCombo(w, combo, value);
    click(w, "bok");
    EXPECT_EQ(rules(5, 2026), (std::vector<std::vector<int>>{{18, 30, 3, 1, 0, 3, -1}}));

    // A team picked twice: one link, shown once; removed again.
    click(w, "bmodif");
    int picks = 0;
    {
        ModalDriverScope driver([&](QDialog& d) {
            ++picks;
            search(d, "parma");
            doubleClickRow(d, 0);
        });
        click(w, "bajoutequipe");
        click(w, "bajoutequipe");
    }
    EXPECT_EQ(picks, 2);
    auto linked = [&](int team) {
        return rows("eqchamp.dbf",
                    [&](xb::TXbDbf& t) {
                        return t.FieldGetInt("NUCHAMP") == 5 && t.FieldGetInt("ANNEE") == 2026 &&
                               t.FieldGetInt("NUEQUIPE") == team;
                    })
            .size();
    };
    EXPECT_EQ(linked(31), 1u) << "the first PARMA in record order";
    auto* teams = child<QListWidget>(w, "lequipechamp");
    ASSERT_EQ(teams->count(), 1);
    EXPECT_TRUE(teams->item(0)->text().startsWith("PARMA"));
    teams->setCurrentRow(0);
    click(w, "bsuppequipe");
    EXPECT_EQ(linked(31), 0u);
    EXPECT_EQ(teams->count(), 0);
    click(w, "bannule");
    for (auto& msg : ui.messages) EXPECT_EQ(msg.text.find("Lock"), std::string::npos) << msg.text;

    // The last number is 999: New is refused with a message.
    {
        LeagueTableScope t("last", "champion.dbf");
        t->Append();
        t->FieldPutInt("NUCHAMP", 999);
        t->FieldPutStr("NOMCHAMP", "ZZ");
        t->Post();
    }
    const auto before = ui.messages.size();
    click(w, "bnouveau");
    EXPECT_EQ(ui.messages.size(), before + 1);
    EXPECT_EQ(w.mode(), 'V');
    EXPECT_EQ(rows("champion.dbf").size(), 7u);
}

// Another station holds the append lock, then the championship's record lock: OK gives the message and
// keeps edit mode with nothing written; once the lock is released a second OK completes.
TEST_F(EditingWindowTest, ChampionshipLockHeldByAnotherStation) {
    Tfgestchamp& w = champ();
    xbtest::ChildProcess other(LM_CHILD_PATH, {});
    ASSERT_EQ(other.ask("indexunit"), "0");
    ASSERT_EQ(other.ask("use " + tmp.file("champion.dbf")), "0");
    ASSERT_EQ(other.ask("alock"), "1");
    const auto before = rows("champion.dbf");
    click(w, "bnouveau");
    type(w, "enom", "BLOQUE");
    click(w, "bok");
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back().text, GetLangText(Text::LockFailed).toStdString());
    EXPECT_EQ(w.mode(), 'C');
    EXPECT_TRUE(visible(w, "bok"));
    EXPECT_EQ(rows("champion.dbf"), before);
    ASSERT_EQ(other.ask("release"), "0");
    click(w, "bok");
    EXPECT_EQ(w.mode(), 'V');
    EXPECT_EQ(championshipName(5), "BLOQUE");

    // The record of championship 1 is the table's first.
    ASSERT_EQ(other.ask("go 1"), "1");
    ASSERT_EQ(other.ask("rlock"), "1");
    browseTo(1);
    click(w, "bmodif");
    EXPECT_EQ(text(w, "enom"), QString::fromUtf8("Ligue des Régions - élite")) << "shown as stored";
    type(w, "enom", "RENOMME");
    const auto messages = ui.messages.size();
    click(w, "bok");
    EXPECT_EQ(ui.messages.size(), messages + 1);
    EXPECT_EQ(w.mode(), 'M');
    EXPECT_EQ(championshipName(1), "Ligue des Régions - élite");
    ASSERT_EQ(other.ask("release"), "0");
    click(w, "bok");
    EXPECT_EQ(w.mode(), 'V');
    EXPECT_EQ(championshipName(1), "RENOMME");
    EXPECT_EQ(rules(1, 2026).size(), 1u);
    EXPECT_EQ(other.finish(), 0);
}

// Delete asks Yes/No: No changes nothing; Yes removes the championship's rows from the six tables and
// leaves the others; a championship numbered like a deleted one starts empty; after the last delete
// Modify and Delete are hidden.
TEST_F(EditingWindowTest, ChampionshipDeleteAsksAndRemovesEveryDependentRow) {
    Tfgestchamp& w = champ();
    const auto before = championshipRows(1);
    for (const auto& [file, counts] : before) EXPECT_GT(counts.first, 0) << file;
    browseTo(1);
    ui.boxAnswers = {xb::platform::kIdNo};
    click(w, "bsupprime");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, GetLangText(Text::Deletion).toStdString());
    EXPECT_EQ(ui.messages[0].caption, GetLangText(Text::ConfirmDeletion).toStdString());
    EXPECT_EQ(championshipRows(1), before);

    // Renamed by another station since it was shown: the stored name is shown and No, the default,
    // keeps everything.
    {
        LeagueTableScope t("other", "champion.dbf");
        ASSERT_TRUE(SaveChampionship(*t, 1, QStringLiteral("THEIRS")));
    }
    ui.messages.clear();
    ui.boxAnswers = {xb::platform::kIdYes};
    click(w, "bsupprime");
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_NE(ui.messages[1].text.find("THEIRS"), std::string::npos) << ui.messages[1].text;
    EXPECT_TRUE(ui.messages[1].flags & xb::platform::kMbDefButton2);
    EXPECT_EQ(text(w, "enom"), "THEIRS");
    EXPECT_EQ(championshipRows(1), before);

    ui.boxAnswers = {xb::platform::kIdYes};
    click(w, "bsupprime");
    for (const auto& [file, counts] : championshipRows(1)) {
        EXPECT_EQ(counts.first, 0) << file;
        EXPECT_EQ(counts.second, before.at(file).second - (file == "champion.dbf" ? 0 : 0)) << file;
    }
    EXPECT_NE(text(w, "enumero"), "1");

    for (int left = 3; left > 0; --left) {
        EXPECT_TRUE(visible(w, "bmodif"));
        ui.boxAnswers = {xb::platform::kIdYes};
        click(w, "bsupprime");
    }
    EXPECT_EQ(rows("champion.dbf").size(), 0u);
    EXPECT_FALSE(visible(w, "bmodif"));
    EXPECT_FALSE(visible(w, "bsupprime"));
    EXPECT_TRUE(visible(w, "bnouveau"));
    EXPECT_EQ(text(w, "enumero"), "");

    // The numbers start again from 1; the new championship 1 inherits no rules, teams or results.
    click(w, "bnouveau");
    EXPECT_EQ(text(w, "enumero"), "1");
    type(w, "enom", "NEUF");
    click(w, "bok");
    EXPECT_EQ(championshipName(1), "NEUF");
    EXPECT_TRUE(visible(w, "bmodif"));
    for (const auto& [file, counts] : championshipRows(1))
        EXPECT_EQ(counts.first, file == "champion.dbf" ? 1 : 0) << file;
    EXPECT_EQ(child<QListWidget>(w, "lequipechamp")->count(), 0);
    EXPECT_EQ(comboText(w, "eptv"), "0");
    for (auto& msg : ui.messages) EXPECT_EQ(msg.text.find("Lock"), std::string::npos) << msg.text;
}

// Two stations create 20 championships each at once: 40 numbers, all distinct; then both store the
// rules of one season of one championship: one row, the second station told of the first one's when it
// had shown the season before. Every index stays sound.
TEST_F(EditingWindowTest, TwoStationsCreateAndStoreRulesAtOnce) {
    std::vector<std::string> answers[2];
    auto station = [&](int s, const std::function<void(xbtest::GuiChild&)>& work) {
        xbtest::GuiChild child(tmp.path(), 2026);
        work(child);
        answers[s].push_back(child.ask("quit"));
    };
    {
        std::vector<std::thread> threads;
        for (int s = 0; s < 2; ++s) {
            threads.emplace_back(station, s, [&, s](xbtest::GuiChild& c) {
                for (int i = 0; i < 20; ++i)
                    answers[s].push_back(
                        c.ask("create STATION " + std::to_string(s) + " " + std::to_string(i)));
            });
        }
        for (auto& t : threads) t.join();
    }
    std::set<int> numbers;
    for (const auto& list : answers) {
        ASSERT_EQ(list.size(), 21u);
        for (size_t i = 0; i < 20; ++i) {
            ASSERT_EQ(list[i].rfind("V ", 0), 0u) << list[i];
            EXPECT_EQ(list[i].find("MSG"), std::string::npos) << list[i];
            numbers.insert(std::stoi(list[i].substr(2)));
        }
    }
    EXPECT_EQ(numbers.size(), 40u);
    EXPECT_EQ(*numbers.begin(), 5);
    EXPECT_EQ(*numbers.rbegin(), 44);
    EXPECT_EQ(rows("champion.dbf").size(), 44u);

    for (auto& list : answers) list.clear();
    {
        std::vector<std::thread> threads;
        for (int s = 0; s < 2; ++s)
            threads.emplace_back(station, s, [&, s](xbtest::GuiChild& c) {
                answers[s].push_back(c.ask("rules 10 " + std::to_string(10 + s) + " 20"));
            });
        for (auto& t : threads) t.join();
    }
    // A station that showed the season before the other stored it is asked, and saves over it (Yes).
    const std::string askedOver = "V 10 MSG " + BuiltInText(Text::ChangedByAnotherStation, 1).toStdString();
    int asked = 0;
    for (const auto& list : answers) {
        EXPECT_TRUE(list.front() == "V 10" || list.front().starts_with(askedOver)) << list.front();
        asked += list.front() != "V 10";
    }
    EXPECT_LE(asked, 1);
    const auto stored = rules(10, 2026);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_TRUE(stored[0][0] == 10 || stored[0][0] == 11);
    EXPECT_EQ(stored[0][1], 20);

    for (const auto& entry : std::filesystem::directory_iterator(tmp.path())) {
        if (entry.path().extension() != ".mdx") continue;
        // Tags kept up by writes, not freshly built: their leaves need not be full.
        const auto report = xbtest::CheckMdxFile(entry.path().string(), {false, 0});
        EXPECT_TRUE(report.ok()) << entry.path() << report.text();
    }
}

// Every text of the championship window's table is on its component in both languages.
TEST_F(EditingWindowTest, ChampionshipWindowShowsItsTexts) {
    for (int language : {1, 2}) {
        LanguageIndex = language;
        Tfgestchamp& w = champ();
        w.TranslateForm();
        QStringList missing;
        ApplyWindowTexts(&w, Tfgestchamp::Texts(), &missing);
        EXPECT_TRUE(missing.isEmpty()) << missing.join(",").toStdString();
        for (const WindowText& t : Tfgestchamp::Texts()) {
            const QString want = WindowTextValue(t);
            EXPECT_FALSE(want.isEmpty()) << t.objectName;
            EXPECT_EQ(ShownWindowText(&w, t), want) << t.objectName << " " << static_cast<int>(t.text);
        }
    }
    EXPECT_EQ(champ().windowTitle(), GetLangText(Text::Championship));
}

// Pictures of the pick list after a search and of the championship window in 'M', for a person to look
// at: written to $LM_SCREENSHOT_DIR when set (run under a real display server for the real look).
TEST_F(EditingWindowTest, PicturesOfThePickListAndTheChampionshipWindow) {
    const QString dir = qEnvironmentVariable("LM_SCREENSHOT_DIR");
    QImage pick;
    ModalDriverScope driver([&](QDialog& d) {
        search(d, "par");
        pick = d.grab().toImage();
    });
    PickFromList(2);
    Tfgestchamp& w = champ();
    browseTo(1);
    click(w, "bmodif");
    const QImage modify = w.grab().toImage();
    click(w, "bannule");
    ASSERT_FALSE(pick.isNull());
    ASSERT_FALSE(modify.isNull());
    if (!dir.isEmpty()) {
        EXPECT_TRUE(pick.save(dir + QStringLiteral("/pick_list.png")));
        EXPECT_TRUE(modify.save(dir + QStringLiteral("/championship_m.png")));
    }
}

}  // namespace
}  // namespace app
