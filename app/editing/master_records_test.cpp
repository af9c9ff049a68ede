// The team and player rows without a window, on the seeded league tables: a player written whole in one
// append and rewritten in place, names judged, and the pending squad.
#include "app/editing/master_records.h"

#include <gtest/gtest.h>

#include "app/settings/app_files.h"
#include "app/data/editing_tables.h"
#include "app/data/league_access.h"
#include "engine/dataset/engine_start.h"
#include "tests/support/fixtures.h"
#include "tests/support/league_fill.h"

namespace app {
namespace {

class MasterRecordsTest : public xbtest::EngineTest {
protected:
    MasterRecordsTest() {
        xb::InstallEngineUnits(engine());
        xbtest::FillLeagueTables(tmp.path(), xbtest::MakeSeason());
        SetAppDir(QString::fromStdString(tmp.path() + "/"));
    }
};

TEST_F(MasterRecordsTest, APlayerIsAppendedWholeAndRewrittenInPlace) {
    auto t = OpenEditingTable("joueur.dbf", "testjoueur");
    PlayerRecord p{0,
                   QString::fromUtf8(" Zoé Ñandú "),
                   "01/02/1990",
                   -1,
                   "Afghanistan ",
                   {QString::fromUtf8("première"), "", QString::fromUtf8("à la fin"), ""}};
    t->SetOrderToTag("NU");
    ASSERT_TRUE(t->FindExact(NumberKey({{2014, 5}})));
    const PlayerRecord last = ReadPlayer(*t);
    // The append stands on the last player: his row keeps its values, the new one gets its own memo.
    p.number = CreatePlayer(*t, p);
    EXPECT_EQ(p.number, 2015);
    t->SetOrderToTag("NU");
    ASSERT_TRUE(t->FindExact(NumberKey({{2014, 5}})));
    const PlayerRecord lastAfter = ReadPlayer(*t);
    EXPECT_EQ(lastAfter.name, last.name);
    EXPECT_EQ(lastAfter.notes, last.notes);
    ASSERT_TRUE(t->FindExact(NumberKey({{p.number, 5}})));
    PlayerRecord back = ReadPlayer(*t);
    EXPECT_EQ(back.number, 2015);
    EXPECT_EQ(back.name, QString::fromUtf8("Zoé Ñandú"));
    EXPECT_EQ(back.birthDate, "01/02/1990");
    EXPECT_EQ(back.position, -1);
    EXPECT_EQ(back.nation, "Afghanistan");
    EXPECT_EQ(back.notes, p.notes);

    p.notes = QStringList{"autre"};
    p.position = 3;
    p.birthDate = "  /  /    ";
    EXPECT_TRUE(SavePlayer(*t, p));
    ASSERT_TRUE(t->FindExact(NumberKey({{p.number, 5}})));
    back = ReadPlayer(*t);
    EXPECT_EQ(back.position, 3);
    EXPECT_EQ(back.birthDate, "  /  /    ");
    EXPECT_EQ(back.notes, QStringList{"autre"});
    // A number no row holds is not written back.
    p.number = 4242;
    EXPECT_FALSE(SavePlayer(*t, p));
    EXPECT_FALSE(t->FindExact(NumberKey({{4242, 5}})));
    t->Close();
}

TEST(MasterRecordsRules, NamesAndPendingSquads) {
    struct Case {
        const char* name;
        int own, holder;
        NameVerdict verdict;
    } cases[] = {
        {"  ", 0, 0, NameVerdict::kEmpty},     {"", 4, 0, NameVerdict::kEmpty},
        {"A", 0, 0, NameVerdict::kAccepted},   {"A", 0, 7, NameVerdict::kTaken},
        {" A ", 7, 7, NameVerdict::kAccepted}, {"A", 4, 7, NameVerdict::kTaken},
    };
    for (const Case& c : cases) EXPECT_EQ(JudgeName(c.name, c.own, c.holder), c.verdict) << c.name;

    PendingSquad s;
    s.add(2026, 5);
    s.add(2025, 5);
    s.add(2026, 7);
    s.add(2026, 5);
    EXPECT_EQ(s.players(2026), (std::vector<int>{5, 7}));
    s.remove(2026, 5);
    EXPECT_EQ(s.players(2026), std::vector<int>{7});
    EXPECT_EQ(s.players(2025), std::vector<int>{5});
}

}  // namespace
}  // namespace app
