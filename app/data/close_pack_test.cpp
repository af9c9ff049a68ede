// The close's packs on a filled season: a table is packed only when the pack changes it, and what a pack
// leaves behind needs no pack at the next close.
#include "app/data/table_pack.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "app/data/league_access.h"
#include "app/data/league_test_support.h"
#include "app/settings/app_files.h"
#include "engine/index/mdx_format.h"
#include "engine/index/pack_need.h"
#include "platform/byte_order.h"
#include "platform/paths.h"
#include "tests/support/fixtures.h"
#include "tests/support/league_fill.h"

namespace {

using namespace app;

class ClosePackTest : public leaguetest::LeagueTest {
protected:
    ClosePackTest() { xbtest::FillLeagueTables(tmp.path(), xbtest::MakeSeason()); }

    std::string file(const std::string& name) { return tmp.path() + "/" + name; }
    std::map<std::string, std::string> bytes() {
        std::map<std::string, std::string> out;
        for (const QString& t : PackedTableNames())
            for (const char* ext : {".dbf", ".mdx", ".dbt"})
                if (xb::platform::FileExists(file(t.toStdString() + ext)))
                    out[t.toStdString() + ext] = xbtest::ReadFileBytes(file(t.toStdString() + ext));
        return out;
    }
};

TEST_F(ClosePackTest, PacksOnlyATableThePackChangesAndLeavesTheRestUnwritten) {
    // A season entered row by row, never packed: its indexes grown by inserts, its notes in place.
    const auto before = bytes();
    for (const TablePackResult& r : PackAllTables(GetAppDir()))
        EXPECT_EQ(r.outcome, PackOutcome::AsItIs) << r.table.toStdString();
    EXPECT_EQ(bytes(), before);

    // The tables opened by this process, as the program's start opens them: the close reads each table
    // and its notes, and asks each index only its size.
    for (const QString& t : PackedTableNames()) LeagueTableScope opened("testopen", t.toStdString() + ".dbf");
    const xb::platform::FileCallCounts calls = xb::platform::FileCalls();
    for (const QString& t : PackedTableNames()) EXPECT_EQ(xb::PackNeed(file(t.toStdString() + ".dbf")), "");
    EXPECT_EQ((xb::platform::FileCalls() - calls).open, static_cast<uint64_t>(PackedTableNames().size()) + 1);

    struct Case {
        const char* what;
        const char* table;
        std::function<void()> change;
    } cases[] = {
        {"a row deleted", "but",
         [] {
             LeagueTableScope t("testbut", "but.dbf");
             t->First();
             t->Delete();
         }},
        {"a note rewritten longer, its old blocks left", "joueur",
         [] {
             LeagueTableScope t("testplayer", "joueur.dbf");
             t->First();
             t->Edit();
             t->FieldByName("infodivers").SetAsString(std::string(3000, 'n'));
             t->Post();
         }},
        {"a note's row deleted", "joueur",
         [] {
             LeagueTableScope t("testplayer", "joueur.dbf");
             for (t->First(); !t->Eof() && t->FieldByName("infodivers").GetAsString().empty();) t->Next();
             ASSERT_FALSE(t->Eof());
             t->Delete();
         }},
        {"an index grown past twice its rebuilt size", "resultat",
         [this] {
             // Space no tag reaches any more, as abandoned nodes leave it.
             std::string mdx = xbtest::ReadFileBytes(file("resultat.mdx"));
             const size_t grown = mdx.size() * 3;
             mdx.resize(grown, '\0');
             xb::platform::PutU32(reinterpret_cast<uint8_t*>(mdx.data()) + 32,
                                  static_cast<uint32_t>(grown / 512));
             xbtest::WriteFileBytes(file("resultat.mdx"), mdx);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.change();
        EXPECT_NE(xb::PackNeed(file(std::string(c.table) + ".dbf")), "");
        const auto changedBefore = bytes();
        for (const TablePackResult& r : PackAllTables(GetAppDir())) {
            const bool changed = r.table == QString::fromLatin1(c.table);
            EXPECT_EQ(r.outcome, changed ? PackOutcome::Packed : PackOutcome::AsItIs) << r.table.toStdString();
        }
        // What the pack made is what a pack makes: the next close leaves it alone.
        EXPECT_EQ(xb::PackNeed(file(std::string(c.table) + ".dbf")), "");
        const auto after = bytes();
        for (const auto& [name, content] : after)
            if (name.rfind(c.table, 0) != 0) EXPECT_EQ(content, changedBefore.at(name)) << name;
    }
}

// The bound a rebuild stays within holds for the indexes the engine builds (a packed table's index is
// never taken for grown), and an index grown by inserts stays within the growth allowed.
TEST_F(ClosePackTest, ARebuiltIndexStaysWithinItsEstimate) {
    std::map<std::string, uint64_t> inserted;
    for (const QString& t : PackedTableNames()) {
        inserted[t.toStdString()] = xbtest::ReadFileBytes(file(t.toStdString() + ".mdx")).size();
        LeagueTableScope table("testrow", t.toStdString() + ".dbf");
        table->First();
        table->Delete();
    }
    for (const TablePackResult& r : PackAllTables(GetAppDir()))
        EXPECT_EQ(r.outcome, PackOutcome::Packed) << r.table.toStdString();
    for (const QString& t : PackedTableNames()) {
        const std::string mdx = xbtest::ReadFileBytes(file(t.toStdString() + ".mdx"));
        xb::MdxHeader header;
        std::copy_n(mdx.begin(), header.bytes.size(), header.bytes.begin());
        std::vector<uint16_t> maxKeys;
        for (int n = 1; n <= header.tagCount(); ++n) {
            xb::TagHeader tag;
            std::copy_n(mdx.begin() + header.tagBlock(n) * 512, tag.bytes.size(), tag.bytes.begin());
            maxKeys.push_back(tag.maxKeys());
        }
        uint32_t rows = 0;
        {
            const std::string dbf = xbtest::ReadFileBytes(file(t.toStdString() + ".dbf"));
            rows = xb::platform::GetU32(reinterpret_cast<const uint8_t*>(dbf.data()) + 4);
        }
        const uint64_t estimate = xb::RebuiltIndexSize(maxKeys, rows);
        EXPECT_LE(mdx.size(), estimate) << t.toStdString();
        EXPECT_LE(inserted[t.toStdString()], xb::kIndexGrowthBeforePack * estimate) << t.toStdString();
        EXPECT_EQ(xb::PackNeed(file(t.toStdString() + ".dbf")), "") << t.toStdString();
    }
}

}  // namespace
