// The pick list and the championship window driven offscreen by object name on the nine league tables of
// a seeded season, with a second process for the locks and the two-station runs.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
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
#include "app/shell/qt/modal_seam.h"
#include "app/editing/qt/pick_list.h"
#include "app/shell/app_files.h"
#include "app/shell/lang_texts.h"
#include "app/shell/league_access.h"
#include "app/shell/league_tables.h"
#include "app/shell/param_file.h"
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
        {2, {"PARIS SG", "PARMA", "PARMA", "Paris FC"}, 26, 2, 0},
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

}  // namespace
}  // namespace app
