// The team and player windows driven offscreen by object name on the nine league tables of a seeded
// season: names, squads gathered while creating, deletes with everything that refers to the number,
// every player field read back by the window and by the Perl peer, locks held by another process, and two
// stations creating teams at once.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTest>
#include <functional>
#include <future>
#include <map>
#include <set>

#include "app/shell/qt/modal_seam.h"
#include "app/editing/qt/pick_list.h"
#include "app/editing/qt/player_window.h"
#include "app/editing/qt/team_window.h"
#include "app/shell/app_files.h"
#include "app/shell/lang_texts.h"
#include "app/shell/league_access.h"
#include "app/shell/league_text.h"
#include "app/shell/param_file.h"
#include "engine/dataset/engine_start.h"
#include "tests/support/child_process.h"
#include "tests/support/fixtures.h"
#include "tests/support/gui_child.h"
#include "tests/support/league_fill.h"
#include "tests/support/mdx_checker.h"
#include "tests/support/run_command.h"
#include "tests/support/scripted_ui.h"

namespace app {
namespace {

using Row = std::map<std::string, std::string>;

class MasterWindowTest : public xbtest::EngineTest {
protected:
    MasterWindowTest() {
        xb::InstallEngineUnits(engine());
        xbtest::FillLeagueTables(tmp.path(), xbtest::MakeSeason());
        SetAppDir(QString::fromStdString(tmp.path() + "/"));
        CurrentSeasonYear = 2026;
        LanguageIndex = 1;
    }
    ~MasterWindowTest() override {
        if (m_team) m_team->close();
        if (m_player) m_player->close();
        fliste()->close();
    }

    std::vector<Row> rows(const std::string& file, const std::function<bool(xb::TXbDbf&)>& keep = {}) {
        LeagueTableScope t("testrows", file);
        std::vector<Row> out;
        for (t->First(); !t->Eof(); t->Next()) {
            if (keep && !keep(*t)) continue;
            Row row;
            for (int i = 0; i < t->FieldCount(); ++i)
                row[QString::fromStdString(t->Fields(i).FieldName()).toLower().toStdString()] =
                    t->Fields(i).GetAsString();
            out.push_back(row);
        }
        return out;
    }
    static int num(const Row& r, const char* field) {
        return std::stoi("0" + QString::fromStdString(r.at(field)).trimmed().toStdString());
    }

    template <typename W>
    W& shown(std::unique_ptr<W>& w) {
        if (!w) w = std::make_unique<W>();
        if (!w->isVisible()) {
            w->show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        }
        return *w;
    }
    Tfgestequipe& team() { return shown(m_team); }
    Tfgestjoueur& player() { return shown(m_player); }

    template <typename T>
    static T* child(QWidget& w, const char* name) {
        T* c = w.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    static void click(QWidget& w, const char* name) {
        QTest::mouseClick(child<QAbstractButton>(w, name), Qt::LeftButton);
    }
    static QString text(QWidget& w, const char* name) { return child<QLineEdit>(w, name)->text(); }
    static void type(QWidget& w, const char* name, const QString& s) {
        QLineEdit* e = child<QLineEdit>(w, name);
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        QTest::keyClicks(e, s);
    }
    static QStringList listed(QWidget& w) {
        QStringList out;
        auto* l = child<QListWidget>(w, "ljoueurequipe");
        for (int i = 0; i < l->count(); ++i) out << l->item(i)->text();
        return out;
    }
    // Browses the window to the record numbered n.
    static void browseTo(BrowseWindow& w, int n) {
        w.GoTo(1);
        for (int i = 0; i < 400 && text(w, "enumero").toInt() != n; ++i) w.GoTo(3);
        ASSERT_EQ(text(w, "enumero").toInt(), n);
    }
    // A pick list script that double-clicks the row of the number given.
    static ModalDriver pickNumber(int number) {
        return [number](QDialog& d) {
            auto* grid = d.findChild<QTableView*>(QStringLiteral("DBGrid1"));
            for (int r = 0; r < grid->model()->rowCount(); ++r) {
                if (grid->model()->index(r, 0).data().toString().trimmed().toInt() != number) continue;
                const QModelIndex i = grid->model()->index(r, 1);
                grid->scrollTo(i);
                const QPoint at = grid->visualRect(i).center();
                QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
                QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
                return;
            }
            ADD_FAILURE() << "no row " << number;
        };
    }
    void addPlayer(QWidget& w, int number) {
        ModalDriverScope driver(pickNumber(number));
        click(w, "bajoutejoueur");
    }
    std::vector<std::string> messages() {
        std::vector<std::string> out;
        for (const auto& m : ui.messages) out.push_back(m.caption + "|" + m.text);
        ui.messages.clear();
        return out;
    }
    std::string bytes(const std::string& file) { return xbtest::ReadFileBytes(tmp.file(file)); }

    xbtest::ScriptedUi ui;
    std::unique_ptr<Tfgestequipe> m_team;
    std::unique_ptr<Tfgestjoueur> m_player;
};

const std::string kRefused = "Validation impossible|";

TEST_F(MasterWindowTest, TeamNamesAreCheckedAndSquadsChosenWhileCreatingWaitForOk) {
    Tfgestequipe& w = team();
    EXPECT_EQ(w.windowTitle(), QString::fromUtf8("Gestion des équipes"));
    browseTo(w, 4);
    const QString own = text(w, "enom");
    const std::string equipe = bytes("equipe.dbf");

    // Its own name passes; another team's is refused and writes nothing; so is an empty name.
    click(w, "bmodif");
    click(w, "bok");
    EXPECT_EQ(w.mode(), 'V');
    EXPECT_TRUE(messages().empty());
    for (const QString& name :
         {QStringLiteral("Stade Brestois"), QStringLiteral(" Stade Brestois  "), QStringLiteral("   ")}) {
        SCOPED_TRACE(name.toStdString());
        click(w, "bmodif");
        type(w, "enom", name);
        click(w, "bok");
        EXPECT_EQ(w.mode(), 'M');
        const bool empty = name.trimmed().isEmpty();
        EXPECT_EQ(messages(),
                  std::vector<std::string>{kRefused + (empty ? "Nom ?" : "L équipe existe déjà")});
        click(w, "bannule");
        EXPECT_EQ(text(w, "enom"), own);
    }
    EXPECT_EQ(bytes("equipe.dbf"), equipe);

    // A 21st character cannot be typed.
    click(w, "bnouveau");
    const QString proposed = text(w, "enumero");
    EXPECT_EQ(proposed, "21");
    type(w, "enom", "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_EQ(text(w, "enom"), "ABCDEFGHIJKLMNOPQRST");

    // Players chosen while creating are listed, and follow the season; number and name stay.
    addPlayer(w, 101);
    addPlayer(w, 202);
    EXPECT_EQ(listed(w).size(), 2);
    click(w, "banneepre");
    EXPECT_EQ(text(w, "enumero"), proposed);
    EXPECT_EQ(text(w, "enom"), "ABCDEFGHIJKLMNOPQRST");
    EXPECT_TRUE(listed(w).isEmpty());
    addPlayer(w, 303);
    click(w, "banneesui");
    EXPECT_EQ(listed(w).size(), 2);

    // Cancel writes nothing: no squad row for the number proposed.
    click(w, "bannule");
    EXPECT_EQ(w.mode(), 'V');
    EXPECT_EQ(text(w, "enumero").toInt(), 4);
    auto squadOf = [&](int n) {
        std::set<std::pair<int, int>> out;
        for (const Row& r : rows("joueq.dbf", [&](xb::TXbDbf& t) { return t.FieldGetInt("NUEQ") == n; }))
            out.insert({num(r, "annee"), num(r, "nujo")});
        return out;
    };
    EXPECT_TRUE(squadOf(21).empty());
    EXPECT_EQ(bytes("equipe.dbf"), equipe);

    // OK writes the team, then its squad rows under the number given.
    click(w, "bnouveau");
    type(w, "enom", QString::fromUtf8("  Nouvelle Équipe "));
    addPlayer(w, 101);
    addPlayer(w, 202);
    click(w, "banneepre");
    addPlayer(w, 303);
    click(w, "banneesui");
    click(w, "bok");
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(w.mode(), 'V');
    EXPECT_EQ(text(w, "enumero"), "21");
    EXPECT_EQ(text(w, "enom"), QString::fromUtf8("Nouvelle Équipe"));
    EXPECT_EQ(squadOf(21), (std::set<std::pair<int, int>>{{2026, 101}, {2026, 202}, {2025, 303}}));
    EXPECT_EQ(listed(w).size(), 2);
    EXPECT_EQ(EntryNumber(listed(w).value(0)) + EntryNumber(listed(w).value(1)), 303);
    EXPECT_TRUE(child<QAbstractButton>(w, "bajoutejoueur")->isHidden());

    // In Modify the squad is written at once; a player is taken out by his entry.
    click(w, "bmodif");
    addPlayer(w, 404);
    EXPECT_EQ(squadOf(21).count({2026, 404}), 1u);
    auto* list = child<QListWidget>(w, "ljoueurequipe");
    for (int i = 0; i < list->count(); ++i)
        if (EntryNumber(list->item(i)->text()) == 101) list->setCurrentRow(i);
    click(w, "bsuppjoueur");
    click(w, "bok");
    EXPECT_EQ(squadOf(21), (std::set<std::pair<int, int>>{{2026, 202}, {2026, 404}, {2025, 303}}));
    const auto report = xbtest::CheckMdxFile(tmp.file("joueq.mdx"));
    EXPECT_TRUE(report.ok()) << report.text();
}

TEST_F(MasterWindowTest, TeamDeleteLeavesNothingReferringToItAndCompletesWhenRunAgain) {
    // The team of the first goal row: another station holds that row's lock at the first delete.
    const int victim = num(rows("but.dbf").front(), "nueq1");
    auto refers = [&](const std::string& file, const Row& r) {
        if (file == "equipe.dbf" || file == "eqchamp.dbf") return num(r, "nuequipe") == victim;
        if (file == "joueq.dbf") return num(r, "nueq") == victim;
        if (file == "resultat.dbf" || file == "but.dbf" || file == "carton.dbf")
            return num(r, "nueq1") == victim || num(r, "nueq2") == victim;
        return false;
    };
    const std::vector<std::string> files = {"champan.dbf",  "champion.dbf", "eqchamp.dbf",
                                            "resultat.dbf", "equipe.dbf",   "joueur.dbf",
                                            "joueq.dbf",    "but.dbf",      "carton.dbf"};
    std::map<std::string, std::vector<Row>> others;
    for (const std::string& f : files) {
        for (const Row& r : rows(f)) {
            if (refers(f, r)) continue;
            others[f].push_back(r);
        }
    }

    Tfgestequipe& w = team();
    browseTo(w, victim);
    const QString name = text(w, "enom");
    xbtest::ChildProcess other(LM_LEAGUE_CHILD_PATH, {});
    ASSERT_EQ(other.ask("dir " + tmp.path()), "0");
    ASSERT_EQ(other.ask("hold but.dbf rlock"), "1");
    click(w, "bsupprime");
    EXPECT_EQ(ui.messages.front().caption, "Veuillez confirmer");
    EXPECT_EQ(ui.messages.front().text, "Suppression");
    ui.messages.erase(ui.messages.begin());
    EXPECT_EQ(messages(), std::vector<std::string>{kRefused + "Lock failed"});
    EXPECT_EQ(text(w, "enumero").toInt(), victim);
    EXPECT_EQ(text(w, "enom"), name);
    EXPECT_FALSE(child<QAbstractButton>(w, "bsupprime")->isHidden());

    EXPECT_EQ(other.ask("release"), "0");
    click(w, "bsupprime");
    EXPECT_EQ(messages().size(), 1u);  // the question alone
    EXPECT_NE(text(w, "enumero").toInt(), victim);
    for (const std::string& f : files) {
        SCOPED_TRACE(f);
        const std::vector<Row> now = rows(f);
        for (const Row& r : now) EXPECT_FALSE(refers(f, r));
        EXPECT_EQ(now, others[f]);
        if (f == "champan.dbf" || f == "champion.dbf" || f == "joueur.dbf") continue;  // not written
        const std::string mdx = f.substr(0, f.size() - 4) + ".mdx";
        const auto report = xbtest::CheckMdxFile(tmp.file(mdx));
        EXPECT_TRUE(report.ok()) << report.text();
    }
    EXPECT_EQ(other.finish(), 0);
}

TEST_F(MasterWindowTest, AllTeamsDeletedLeavesNothingToModify) {
    for (int i = 0; i < 20; ++i) {
        Tfgestequipe& w = team();
        ASSERT_FALSE(child<QAbstractButton>(w, "bsupprime")->isHidden());
        click(w, "bsupprime");
    }
    Tfgestequipe& w = team();
    EXPECT_TRUE(child<QAbstractButton>(w, "bmodif")->isHidden());
    EXPECT_TRUE(child<QAbstractButton>(w, "bsupprime")->isHidden());
    EXPECT_FALSE(child<QAbstractButton>(w, "bsuivant")->isEnabled());
    EXPECT_EQ(text(w, "enumero"), "");
    EXPECT_TRUE(rows("equipe.dbf").empty());
    EXPECT_TRUE(rows("joueq.dbf").empty());
    // The first team of an empty table is number 1.
    click(w, "bnouveau");
    EXPECT_EQ(text(w, "enumero"), "1");
}

}  // namespace
}  // namespace app
