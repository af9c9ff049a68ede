// The road of saving a match result on the "resultat" table with its five tags, through the command layer
// as the league library makes it, checked afterwards by the structural checker.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "app/data/league_tables.h"
#include "engine/core/errors.h"
#include "engine/core/memo_ops.h"
#include "engine/dataset/index_services.h"
#include "engine/dataset/xb_file_dataset.h"
#include "engine/index/expr_unit.h"
#include "engine/index/index_driver.h"
#include "tests/support/fixtures.h"
#include "tests/support/index_commands_fixture.h"
#include "tests/support/mdx_checker.h"
#include "tests/support/scripted_ui.h"

namespace {

using namespace xb;

using xbtest::IndexCommandsTest;
using xbtest::padNum;
using xbtest::rtrim;

struct Match {
    int champ, year, day, home, away, goals1, goals2;
    std::string code;
    int points1, points2;
};

// Finds the row of a match by the home team's key and a scan for the away team under a while-condition;
// appends a row when there is none; then writes the ten fields under the record lock. False when the
// append lock was refused (nothing is written then).
bool SaveMatchResult(TXbDbf& t, const Match& m) {
    t.SetOrderToTag("CHANJOEQ1");
    bool found = false;
    t.Find(padNum(m.champ, 3) + padNum(m.year, 4) + padNum(m.day, 3) + padNum(m.home, 5));
    t.SetWhileTo("ANNEE=" + std::to_string(m.year) + " .AND. NUCHAMP=" + std::to_string(m.champ) +
                 " .AND. NUJOURNEE=" + std::to_string(m.day) + " .AND. NUEQ1=" + std::to_string(m.home));
    while (!t.IsEof()) {
        if (t.FieldGetInt("NUEQ2") == m.away) {
            found = true;
            break;
        }
        t.Skip(1);
    }
    t.SetWhileTo("");
    if (!found) {
        if (!t.ALock()) return false;
        t.AppendBlank();
        t.UnLock();
    }
    t.RLock();
    t.FieldPutInt("NUCHAMP", m.champ);
    t.FieldPutInt("ANNEE", m.year);
    t.FieldPutInt("NUJOURNEE", m.day);
    t.FieldPutInt("NUEQ1", m.home);
    t.FieldPutInt("NUEQ2", m.away);
    t.FieldPutInt("BEQ1", m.goals1);
    t.FieldPutInt("BEQ2", m.goals2);
    t.FieldPutStr("CODER", m.code);
    t.FieldPutInt("PTEQ1", m.points1);
    t.FieldPutInt("PTEQ2", m.points2);
    t.ReplaceRec();
    t.UnLock();
    return true;
}

class SaveMatchTest : public IndexCommandsTest {
protected:
    std::unique_ptr<TXbDbf> resultat(const std::string& name = "tresultat") {
        const auto& tables = app::LeagueTables();
        const auto def =
            std::find_if(tables.begin(), tables.end(), [](auto& d) { return d.file == "resultat.dbf"; });
        return open(def->file, def->fields, def->indexList(), name);
    }
    // Every row as the file holds it, through another component.
    std::vector<Match> rows() {
        auto r = resultat("treader");
        r->SetOrderToTag("");  // record order
        std::vector<Match> out;
        r->GoTop();
        while (!r->IsEof()) {
            out.push_back({r->FieldGetInt("nuchamp"), r->FieldGetInt("annee"), r->FieldGetInt("nujournee"),
                           r->FieldGetInt("nueq1"), r->FieldGetInt("nueq2"), r->FieldGetInt("beq1"),
                           r->FieldGetInt("beq2"), rtrim(r->FieldGetStr("coder")), r->FieldGetInt("pteq1"),
                           r->FieldGetInt("pteq2")});
            r->Skip(1);
        }
        return out;
    }
    // Every tag is sound and holds exactly the keys of the rows.
    void checkTags(const std::vector<Match>& rowsNow) {
        const xbtest::MdxReport report =
            xbtest::CheckMdxFile(tmp.file("resultat.mdx"), {false, static_cast<uint32_t>(rowsNow.size())});
        ASSERT_TRUE(report.ok()) << report.text();
        ASSERT_EQ(report.tags.size(), 5u);
        std::map<std::string, std::multiset<std::string>> expected;
        for (const Match& m : rowsNow) {
            const std::string c = padNum(m.champ, 3), y = padNum(m.year, 4), d = padNum(m.day, 3),
                              h = padNum(m.home, 5), a = padNum(m.away, 5);
            expected["CHANJOEQ1"].insert(c + y + d + h);
            expected["CHANJOEQ2"].insert(c + y + d + a);
            expected["ANCHJO"].insert(y + c + d);
            expected["EQ1EQ2"].insert(h + a);
            expected["EQ2EQ1"].insert(a + h);
        }
        for (const auto& tag : report.tags) {
            SCOPED_TRACE(tag.name);
            std::multiset<std::string> keys;
            for (const auto& e : tag.entries) keys.insert(e.key);
            EXPECT_EQ(keys, expected[tag.name]);
        }
    }
};

TEST_F(SaveMatchTest, FirstSaveAppendsSecondUpdatesAnotherAwayTeamAppends) {
    auto t = resultat();
    const Match first{1, 2026, 3, 10, 20, 2, 1, "N", 3, 0};
    Match again = first;
    again.goals1 = 0;
    again.goals2 = 0;
    again.points1 = again.points2 = 1;
    const Match second{1, 2026, 3, 10, 30, 1, 1, "N", 1, 1};  // the same home team, another away team
    const Match elsewhere{1, 2026, 4, 10, 20, 0, 2, "N", 0, 3};

    struct Step {
        Match match;
        size_t rowsAfter;
    } steps[] = {{first, 1}, {again, 1}, {second, 2}, {elsewhere, 3}};
    std::vector<Match> model;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.match.away + 100 * s.match.day);
        ASSERT_TRUE(SaveMatchResult(*t, s.match));
        EXPECT_EQ(engine().errors.pendingError, 0) << ErrorMsg();
        auto same = [&](const Match& m) {
            return m.champ == s.match.champ && m.year == s.match.year && m.day == s.match.day &&
                   m.home == s.match.home && m.away == s.match.away;
        };
        auto it = std::find_if(model.begin(), model.end(), same);
        if (it == model.end())
            model.push_back(s.match);
        else
            *it = s.match;
        const std::vector<Match> now = rows();
        ASSERT_EQ(now.size(), s.rowsAfter);
        for (size_t i = 0; i < now.size(); ++i) {
            EXPECT_EQ(now[i].goals1, model[i].goals1);
            EXPECT_EQ(now[i].away, model[i].away);
            EXPECT_EQ(now[i].points2, model[i].points2);
        }
        checkTags(now);
    }
    // Saving the second match again updates its row, not the first one's.
    Match secondAgain = second;
    secondAgain.goals2 = 4;
    ASSERT_TRUE(SaveMatchResult(*t, secondAgain));
    const std::vector<Match> now = rows();
    ASSERT_EQ(now.size(), 3u);
    EXPECT_EQ(now[0].goals2, 0);
    EXPECT_EQ(now[1].goals2, 4);
    checkTags(now);
}

TEST_F(SaveMatchTest, RefusedAppendLockWritesNothing) {
    auto t = resultat();
    ASSERT_TRUE(SaveMatchResult(*t, {1, 2026, 1, 1, 2, 0, 0, "N", 1, 1}));
    auto other = resultat("tother");
    ASSERT_TRUE(other->ALock());
    const std::string dbf = xbtest::ReadFileBytes(tmp.file("resultat.dbf"));
    const std::string mdx = xbtest::ReadFileBytes(tmp.file("resultat.mdx"));
    EXPECT_FALSE(SaveMatchResult(*t, {1, 2026, 1, 1, 3, 0, 0, "N", 1, 1}));
    EXPECT_EQ(xbtest::ReadFileBytes(tmp.file("resultat.dbf")), dbf);
    EXPECT_EQ(xbtest::ReadFileBytes(tmp.file("resultat.mdx")), mdx);
    // An update needs no append lock.
    EXPECT_TRUE(SaveMatchResult(*t, {1, 2026, 1, 1, 2, 5, 0, "V", 3, 0}));
    other->UnLock();
    const std::vector<Match> now = rows();
    ASSERT_EQ(now.size(), 1u);
    EXPECT_EQ(now[0].goals1, 5);
    EXPECT_EQ(now[0].code, "V");
    checkTags(now);
}

}  // namespace
