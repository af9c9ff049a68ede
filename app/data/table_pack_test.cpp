// The close's pack of the nine league tables failed by a full disk and killed at each of its writes and
// renames: whatever point it stopped at, a new process of the engine alone opens every table shared and
// walks every tag whole, each tag equals a reindex of its table, Perl XBase reads every table, and the
// program's start finds nothing to report.
#include "app/data/table_pack.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/data/league_test_support.h"
#include "app/data/table_check.h"
#include "engine/core/errors.h"
#include "engine/core/record_writes.h"
#include "engine/core/work_areas.h"
#include "engine/index/index_driver.h"
#include "engine/index/mdx_format.h"
#include "engine/index/mdx_node.h"
#include "platform/byte_order.h"
#include "platform/file.h"
#include "tests/support/child_process.h"
#include "tests/support/league_fill.h"
#include "tests/support/mdx_checker.h"
#include "tests/support/run_command.h"

namespace {

namespace fs = std::filesystem;
using namespace xb;

class TablePackTest : public leaguetest::LeagueTest {
protected:
    void SetUp() override {
        xbtest::FillLeagueTables(tmp.path(), xbtest::MakeSeason());
        // Every table has rows to drop, and joueur notes to compact.
        for (const QString& name : app::PackedTableNames()) {
            ASSERT_TRUE(Use(tmp.file(name.toStdString() + ".dbf") + " EXCLUSIVE", nullptr, 0)) << ErrorMsg();
            ASSERT_TRUE(SetIndexTo(""));
            for (int32_t r = 1; r <= RecCount(); r += 3) {
                ASSERT_TRUE(Go(r));
                ASSERT_TRUE(DeleteRec());
            }
            CloseDatabase();
        }
        for (const auto& e : fs::directory_iterator(tmp.path()))
            m_filled[e.path().filename().string()] = xbtest::ReadFileBytes(e.path().string());
    }

    void restore() {
        CloseAllDatabases();
        for (const auto& e : fs::directory_iterator(tmp.path()))
            if (e.is_regular_file() && !m_filled.count(e.path().filename().string())) fs::remove(e.path());
        for (const auto& [name, bytes] : m_filled) xbtest::WriteFileBytes(tmp.file(name), bytes);
    }

    // Everything a reader of the files must find after the pack stopped; "" when all holds. The program's
    // start first, or a station of the engine first: whichever opens first completes the pack.
    std::string whole(bool startFirst = false) {
        CloseAllDatabases();
        std::string faults;
        if (startFirst)
            for (const app::TableProblem& p : app::CheckLeagueDatabase(tmp.path() + "/"))
                faults += "the start reports " + p.file + "\n";
        // A new process of the engine alone, opening each table shared: every tag walks every row once.
        {
            xbtest::ChildProcess station;
            for (const QString& name : app::PackedTableNames()) {
                const std::string answer = station.ask("ordercheck " + tmp.file(name.toStdString() + ".dbf"));
                if (answer.rfind("ok ", 0) != 0) faults += name.toStdString() + ": " + answer + "\n";
            }
        }
        // No file of the pack is left, and each tag equals a reindex of a copy of its table.
        const std::string copy = tmp.file("copy");
        for (const QString& q : app::PackedTableNames()) {
            const std::string name = q.toStdString();
            for (const char* ext : {".$pw", ".$pr", ".$$$", ".$pi"})
                if (fs::exists(tmp.file(name + ext))) faults += name + ext + " left behind\n";
            fs::create_directories(copy);
            for (const char* ext : {".dbf", ".mdx", ".dbt"})
                if (fs::exists(tmp.file(name + ext)))
                    fs::copy_file(tmp.file(name + ext), copy + "/" + name + ext,
                                  fs::copy_options::overwrite_existing);
            if (!Use(copy + "/" + name + ".dbf EXCLUSIVE", nullptr, 0) || !SetIndexTo("") || !Reindex())
                faults += name + ": the copy does not reindex: " + ErrorMsg() + "\n";
            CloseAllDatabases();
            if (xbtest::SortedTagEntries(tmp.file(name + ".mdx")) != xbtest::SortedTagEntries(copy + "/" + name + ".mdx"))
                faults += name + ": a tag differs from its reindex\n";
            fs::remove_all(copy);
        }
        // Another program reads every row and note of every table.
        std::string files;
        for (const QString& name : app::PackedTableNames()) files += " " + tmp.file(name.toStdString() + ".dbf");
        int status = 0;
        const std::string perl = xbtest::RunCommand(
            "perl -MXBase -e 'for my $f (@ARGV) { my $t = XBase->new($f) or die XBase->errstr; "
            "for my $i (0 .. $t->last_record) { my @r = $t->get_record($i); die $t->errstr unless @r; } "
            "print \"ok\\n\"; }'" + files + " 2>&1",
            &status);
        if (status != 0 || std::count(perl.begin(), perl.end(), '\n') != 9) faults += "Perl XBase: " + perl + "\n";
        // The program's start finds nothing to report.
        for (const app::TableProblem& p : app::CheckLeagueDatabase(tmp.path() + "/"))
            faults += "the start reports " + p.file + "\n";
        return faults;
    }

    std::map<std::string, std::string> m_filled;
};

TEST_F(TablePackTest, ADiskFullAtAnyWriteOfTheCloseLeavesEveryTableWholeAndSaysSo) {
    int struck = 0, noSpace = 0;
    for (int nth = 1;; ++nth) {
        SCOPED_TRACE("write " + std::to_string(nth));
        ASSERT_LT(nth, 3000) << "no end to the writes";
        restore();
        platform::InjectFault(platform::FaultOp::Write, nth, platform::kErrDiskFull);
        const std::vector<app::TablePackResult> results = app::PackAllTables(app::GetAppDir());
        const bool hit = !platform::FaultArmed(platform::FaultOp::Write);
        platform::ClearFaults();
        for (const app::TablePackResult& r : results) {
            // The failed table stands as it was and the close says why; the others are packed.
            EXPECT_TRUE(r.outcome == app::PackOutcome::Packed || r.outcome == app::PackOutcome::NoSpace)
                << r.table.toStdString() << " " << static_cast<int>(r.outcome) << " " << r.error;
            if (r.outcome == app::PackOutcome::NoSpace) ++noSpace;
        }
        const std::string faults = whole();
        EXPECT_EQ(faults, "");
        if (!hit) break;
        ++struck;
        if (::testing::Test::HasFailure()) return;
    }
    // Every table's table, notes and index writes were struck.
    EXPECT_GT(struck, 30);
    EXPECT_EQ(noSpace, struck);
}

TEST_F(TablePackTest, AKillAtAnyWriteOrRenameOfTheCloseIsCompletedOrUndoneByTheNextOpen) {
    int kills = 0;
    for (const char* op : {"write", "rename"}) {
        bool done = false;
        for (int nth = 1; !done; ++nth) {
            ASSERT_LT(nth, 3000) << "no end to the writes";
            // After a kill at a rename (a commit under way) the program's start opens first as well as a
            // station; after a write, one or the other.
            const bool rename = std::string(op) == "rename";
            for (const bool startFirst : rename ? std::vector<bool>{false, true} : std::vector<bool>{nth % 2 == 0}) {
                SCOPED_TRACE(std::string(op) + " " + std::to_string(nth) + (startFirst ? ", the start first" : ""));
                restore();
                xbtest::ChildProcess closing(LM_LEAGUE_CHILD_PATH, {});
                ASSERT_EQ(closing.ask("dir " + tmp.path() + "/"), "0");
                const std::string answer = closing.ask("pack " + std::string(op) + " " + std::to_string(nth));
                closing.finish();
                EXPECT_EQ(whole(startFirst), "");
                done = answer == "done";
                if (!done) ++kills;
                if (::testing::Test::HasFailure()) return;
            }
        }
    }
    EXPECT_GT(kills, 80);
}

// An index left over a table packed without it (keys of rows past the end, more keys than rows): every
// walk, forward and back, ends, or reports the damage, within the keys of the index as it found it and
// those of the index a rebuild on the way mends it into.
TEST_F(TablePackTest, AWalkOverAnIndexOfAnotherTableEnds) {
    int ended = 0, reported = 0;
    for (const QString& q : app::PackedTableNames()) {
        const std::string table = tmp.file(q.toStdString() + ".dbf");
        SCOPED_TRACE(table);
        std::map<std::string, size_t> keys;
        for (const auto& [tag, list] : xbtest::SortedTagEntries(tmp.file(q.toStdString() + ".mdx"))) keys[tag] = list.size();
        ASSERT_TRUE(Use(table + " EXCLUSIVE", nullptr, 0)) << ErrorMsg();
        ASSERT_TRUE(Pack()) << ErrorMsg();
        CloseAllDatabases();
        const bool trapping = SetErrorTrap(false);
        ASSERT_TRUE(Use(table, nullptr, 0)) << ErrorMsg();
        // An open that meets the damage at once reports it.
        const bool opened = SetIndexTo("");
        reported += opened ? 0 : 1;
        const size_t rows = static_cast<size_t>(RecCount());
        for (const auto& [tag, count] : keys) {
            if (!opened) break;
            for (int way : {1, -1}) {
                SCOPED_TRACE(tag + (way > 0 ? " forward" : " back"));
                engine().errors.lastError = 0;
                const bool placed = SetOrderToTag(tag) && (way > 0 ? GoTop() : GoBottom());
                size_t steps = 0;
                while (placed && !(way > 0 ? dEOF() : dBOF()) && LastError() == 0 && steps <= count + rows + 2) {
                    Skip(way);
                    ++steps;
                }
                EXPECT_LE(steps, count + rows + 2) << "the walk goes on";
                if (LastError() == 0)
                    ++ended;
                else
                    ++reported;
            }
        }
        CloseAllDatabases();
        SetErrorTrap(trapping);
    }
    EXPECT_GT(ended, 0);
    EXPECT_GT(reported, 0);
}

// A branch of a tag made to name itself as its last child: the walk goes round the same leaves again and
// again, each time one level deeper. Both ways it ends, mended or with the damage reported, within the keys
// of the tag as it found it and of the tag mended.
TEST_F(TablePackTest, AWalkRoundACycleOfTheTreeEnds) {
    const std::string table = tmp.file("resultat.dbf");
    const std::string mdx = tmp.file("resultat.mdx");
    ASSERT_TRUE(Use(table + " EXCLUSIVE", nullptr, 0)) << ErrorMsg();
    ASSERT_TRUE(SetIndexTo("")) << ErrorMsg();
    const size_t rows = static_cast<size_t>(RecCount());
    std::string name;
    uint32_t root = 0;
    uint16_t item = 0;
    std::string bytes = xbtest::ReadFileBytes(mdx);
    for (int n = 1; name.empty() && n <= CurrentMdxArea()->header.tagCount(); ++n) {
        ASSERT_TRUE(SetOrderToTag(CurrentMdxArea()->header.tagName(n)));
        const MdxTag& tag = *CurrentMdxArea()->tags[1];
        const auto* node = reinterpret_cast<const uint8_t*>(bytes.data() + tag.header.root() * kMdxBlockSize);
        if (NodeIsLeaf(node, tag.header.itemLength())) continue;
        name = tag.name;
        root = tag.header.root();
        item = tag.header.itemLength();
    }
    CloseAllDatabases();
    ASSERT_FALSE(name.empty()) << "no tag of more than one level";
    auto* node = reinterpret_cast<uint8_t*>(bytes.data() + root * kMdxBlockSize);
    platform::PutU32(NodeEntry(node, item, NodeCount(node)), root);
    const std::string damaged = bytes;
    for (int way : {1, -1}) {
        SCOPED_TRACE(way > 0 ? "forward" : "back");
        xbtest::WriteFileBytes(mdx, damaged);
        const bool trapping = SetErrorTrap(false);
        ASSERT_TRUE(Use(table, nullptr, 0)) << ErrorMsg();
        size_t steps = 0;
        if (SetIndexTo("") && SetOrderToTag(name) && (way > 0 ? GoTop() : GoBottom()))
            while (!(way > 0 ? dEOF() : dBOF()) && LastError() == 0 && steps <= 2 * rows + 2) {
                Skip(way);
                ++steps;
            }
        EXPECT_LE(steps, 2 * rows + 2) << "the walk goes on";
        CloseAllDatabases();
        SetErrorTrap(trapping);
    }
}

}  // namespace
