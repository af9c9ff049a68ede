// A writer that dies inside the index write lock: a child appends one row to a shared table of 300 rows
// and is killed just before its k-th write inside the lock, for every k until the append has no more
// writes. After each kill a station that was already open replaces every row without a halt, a new
// station opens, and every tag holds exactly what a reindex of a copy of the files gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "engine/core/dbf_file.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/locks.h"
#include "engine/core/navigation.h"
#include "engine/core/record_writes.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "engine/index/expr_unit.h"
#include "engine/index/index_driver.h"
#include "engine/index/mdx_build.h"
#include "engine/index/semaphore_file.h"
#include "tests/support/child_process.h"
#include "tests/support/fixtures.h"
#include "tests/support/mdx_checker.h"
#include "tests/support/run_command.h"

namespace xb {
namespace {

using xbtest::ChildProcess;

// The table the child's index commands know: num, nom, station, seq.
const std::vector<FieldDef> kFields = {
    {"num", 'N', 6, 0}, {"nom", 'C', 12, 0}, {"station", 'C', 2, 0}, {"seq", 'N', 8, 0}};
const std::vector<TagDefinition> kTags = {
    {"NUM", "num", "", false, false},
    {"NOM", "nom", "", false, false},
    {"STSEQ", "station+str(seq,8)", "", false, false},
};

// Each tag's entries sorted by key and record: maintenance files equal keys in another order than a
// build, which is the same tag.
std::vector<std::vector<xbtest::MdxEntry>> sortedEntries(const xbtest::MdxReport& report) {
    std::vector<std::vector<xbtest::MdxEntry>> out;
    for (const auto& tag : report.tags) {
        auto e = tag.entries;
        std::sort(e.begin(), e.end(), [&](const xbtest::MdxEntry& a, const xbtest::MdxEntry& b) {
            const int c = xbtest::CompareTagKeys(tag.type, tag.descending, a.key, b.key);
            return c != 0 ? c < 0 : a.record < b.record;
        });
        out.push_back(std::move(e));
    }
    return out;
}

class DeadWriter : public xbtest::EngineTest {
protected:
    std::string path;
    bool appendKilledBefore(int k, int seq, int& kills);
    void SetUp() override {
        InstallExpressionEngine(engine());
        InstallIndexEngine(engine());
        SetErrorTrap(false);
        path = tmp.file("shared.dbf");
        TableBlock b;
        ASSERT_TRUE(CreateDbf(b, path, kFields));
        CloseDbf(b);
        ASSERT_TRUE(Use(path + " EXCLUSIVE", nullptr, 0));
        for (int i = 1; i <= 300; ++i) {
            ClearRecord();
            TypedSetInt(FieldAddress(1), (i * 7919) % 100000);
            TypedSetString(FieldAddress(2), 12, "Start" + std::to_string(i % 37));
            TypedSetString(FieldAddress(3), 2, "P");
            TypedSetInt(FieldAddress(4), i);
            ASSERT_TRUE(Append());
        }
        ASSERT_TRUE(MakeIndex(kTags, "")) << ErrorMsg();
        CloseAllDatabases();
    }

    uint8_t markByte() {
        std::ifstream in(tmp.file("shared.@s@"), std::ios::binary);
        char bytes[2] = {0, 0};
        in.read(bytes, 2);
        return static_cast<uint8_t>(bytes[1]);
    }

    // Every tag of the shared files against a reindex of a copy of them.
    void expectTagsEqualAReindex(const std::string& when) {
        SCOPED_TRACE(when);
        const uint32_t count = static_cast<uint32_t>(RecCount());
        const xbtest::MdxReport live = xbtest::CheckMdxFile(tmp.file("shared.mdx"), {false, count});
        ASSERT_TRUE(live.ok()) << live.text();
        const std::string dir = tmp.file("copy");
        std::filesystem::create_directories(dir);
        for (const char* name : {"shared.dbf", "shared.mdx"})
            std::filesystem::copy_file(tmp.file(name), dir + "/" + name,
                                       std::filesystem::copy_options::overwrite_existing);
        CurrentAreaScope other(3);
        ASSERT_TRUE(Use(dir + "/shared.dbf ALIAS copy", nullptr, 0)) << ErrorMsg();
        ASSERT_TRUE(SetIndexTo("")) << ErrorMsg();
        ASSERT_TRUE(Reindex()) << ErrorMsg();
        CloseDatabase();
        const xbtest::MdxReport rebuilt = xbtest::CheckMdxFile(dir + "/shared.mdx", {true, count});
        ASSERT_TRUE(rebuilt.ok()) << rebuilt.text();
        const auto a = sortedEntries(live);
        const auto b = sortedEntries(rebuilt);
        ASSERT_EQ(a.size(), kTags.size());
        for (size_t t = 0; t < kTags.size(); ++t) {
            EXPECT_EQ(a[t].size(), count) << kTags[t].name;
            if (a[t] == b[t]) continue;
            size_t i = 0;
            while (i < a[t].size() && i < b[t].size() && a[t][i] == b[t][i]) ++i;
            ADD_FAILURE() << kTags[t].name << " differs from its reindex at entry " << i << ": "
                          << (i < a[t].size() ? a[t][i].key + " #" + std::to_string(a[t][i].record) : "end")
                          << " against "
                          << (i < b[t].size() ? b[t][i].key + " #" + std::to_string(b[t][i].record) : "end");
        }
    }
};

// Runs a station that appends row seq and is killed before its kth write inside the index write lock;
// true when the append ran to its end instead. A killed writer leaves its mark.
bool DeadWriter::appendKilledBefore(int k, int seq, int& kills) {
    ChildProcess child;
    EXPECT_EQ(child.ask("indexunit"), "0");
    EXPECT_EQ(child.ask("use " + path), "0");
    EXPECT_EQ(child.ask("setindex"), "1");
    const std::string answer = child.ask("killappend " + std::to_string(k) + " " + std::to_string(seq));
    if (answer == "done") return true;
    EXPECT_EQ(answer, "") << "the child was not killed";
    ++kills;
    EXPECT_NE(markByte(), 0) << "the dead writer left no mark";
    return false;
}

TEST_F(DeadWriter, KilledBeforeEachWriteInsideTheLockTheIndexIsRepaired) {
    ASSERT_TRUE(Select(1));
    ASSERT_TRUE(Use(path, nullptr, 0)) << ErrorMsg();
    ASSERT_TRUE(SetIndexTo("")) << ErrorMsg();
    const uint64_t repairsBefore = SemaphoreRepairCount();
    int kills = 0;
    bool finished = false;
    for (int k = 1; k <= 100 && !finished; ++k) {
        SCOPED_TRACE("killed before write " + std::to_string(k));
        finished = appendKilledBefore(k, 1000 + k, kills);
        ASSERT_FALSE(HasFatalFailure());
        // The station already open goes on replacing every row.
        ASSERT_TRUE(Select(1));
        const int32_t count = RecCount();
        for (int32_t r = 1; r <= count; ++r) {
            ASSERT_TRUE(Go(r)) << r << " " << ErrorMsg();
            ASSERT_TRUE(RLock());
            TypedSetString(FieldAddress(2), 12,
                           "R" + std::to_string(k) + "x" + std::to_string((r * 31) % 97));
            ASSERT_TRUE(Replace()) << r << " " << ErrorMsg();
            Unlock();
        }
        EXPECT_EQ(markByte(), 0);
        // A new station opens and walks the whole order.
        {
            CurrentAreaScope other(2);
            ASSERT_TRUE(Use(path + " ALIAS second", nullptr, 0)) << ErrorMsg();
            ASSERT_TRUE(SetIndexTo("")) << ErrorMsg();
            int32_t seen = 0;
            for (GoTop(); !dEOF(); Skip(1)) ++seen;
            EXPECT_EQ(seen, RecCount());
            CloseDatabase();
        }
        expectTagsEqualAReindex("after kill " + std::to_string(k));
    }
    RecordProperty("kills", kills);
    EXPECT_TRUE(finished) << "the append never ran to its end";
    EXPECT_GE(kills, 5);
    EXPECT_EQ(SemaphoreRepairCount() - repairsBefore, static_cast<uint64_t>(kills));
    CloseAllDatabases();
}

// The dead writer was the last station: nobody else has the files open when the next one comes, which
// finds itself alone and starts the semaphore record afresh. The mark must survive that, or the half-made
// change stays in the index for good (a key lost, nodes past the header's block count).
TEST_F(DeadWriter, KilledWhileAloneTheNextStationRepairs) {
    const uint64_t repairsBefore = SemaphoreRepairCount();
    int kills = 0;
    bool finished = false;
    for (int k = 1; k <= 100 && !finished; ++k) {
        SCOPED_TRACE("killed before write " + std::to_string(k));
        finished = appendKilledBefore(k, 2000 + k, kills);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(Select(1));
        ASSERT_TRUE(Use(path, nullptr, 0)) << ErrorMsg();
        ASSERT_TRUE(SetIndexTo("")) << ErrorMsg();
        int32_t seen = 0;
        for (GoTop(); !dEOF(); Skip(1)) ++seen;
        EXPECT_EQ(seen, RecCount());
        expectTagsEqualAReindex("after kill " + std::to_string(k));
        CloseAllDatabases();
    }
    EXPECT_TRUE(finished) << "the append never ran to its end";
    EXPECT_GE(kills, 5);
    EXPECT_EQ(SemaphoreRepairCount() - repairsBefore, static_cast<uint64_t>(kills));
}

// Walks every order of the current area from the top; "" when each met every row of the table once,
// else what went wrong.
std::string WalkEveryOrder();

// How the table file ends: the header's count against the whole rows it holds, and whether one end mark
// follows the last of them and nothing else; "" when they agree.
std::string TableEndDisagreement(const std::string& path, int32_t& rows) {
    const std::string bytes = xbtest::ReadFileBytes(path);
    const auto u16 = [&](size_t at) {
        return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8);
    };
    const uint32_t count = u16(4) | u16(6) << 16;
    const size_t hs = u16(8), rs = u16(10);
    rows = static_cast<int32_t>((bytes.size() - hs) / rs);
    std::string why;
    if (count != static_cast<uint32_t>(rows))
        why += "the header counts " + std::to_string(count) + " of " + std::to_string(rows) + " rows; ";
    if (bytes.size() != hs + rows * rs + 1 || bytes.back() != '\x1A')
        why += std::to_string(bytes.size() - hs - rows * rs) + " bytes after the last row; ";
    return why;
}

// What other programs read: the rows the header counts and every tag walked through the table (Perl
// XBase), and the rows read in their order (dbfread); "" when a peer is missing.
std::string PeerReading(const std::string& dbf, const std::string& mdx) {
    static const bool peers = xbtest::RunCommand("perl -MXBase -e 'print 1' 2>/dev/null") == "1" &&
                              xbtest::RunCommand("/usr/bin/python3 -c 'import dbfread; print(1)' 2>/dev/null") == "1\n";
    if (!peers) return "";
    const std::string perl =
        "use XBase; my $t = XBase->new(name => $ARGV[0]) or die XBase->errstr; print $t->last_record + 1;"
        "for my $tag (qw(NUM NOM STSEQ)) { my $c = $t->prepare_select_with_index([$ARGV[1], $tag]) or die $t->errstr;"
        "my $n = 0; $n++ while $c->fetch; die $t->errstr if $t->errstr; print \" $tag $n\" }";
    const std::string python = "import sys\nfrom dbfread import DBF\nprint(' dbfread', len(list(DBF(sys.argv[1]))))";
    return xbtest::RunCommand("perl -e " + xbtest::ShellQuote(perl) + " " + xbtest::ShellQuote(dbf) + " " +
                              xbtest::ShellQuote(mdx) + " 2>&1") +
           xbtest::RunCommand("/usr/bin/python3 -c " + xbtest::ShellQuote(python) + " " + xbtest::ShellQuote(dbf) + " 2>&1");
}

// A writer killed at each point of an append, alone with the files, the release of the append lock
// included: the next station's open repairs what it left, and then the files agree as a whole. The
// header counts every row the file holds (the appended one kept from its write on), every tag equals
// its reindex, an exclusive open (which takes the header's count) walks every order and appends a row
// keyed once, not over the dead writer's, and another program reads every row through every tag.
TEST_F(DeadWriter, KilledAtEachPointOfAnAppendTheNextOpenLeavesOneTableForEveryReader) {
    int32_t rows = 300;
    auto expectPeersReadEveryRow = [&](const char* when) {
        const std::string n = std::to_string(rows);
        const std::string read = PeerReading(path, tmp.file("shared.mdx"));
        if (!read.empty())
            EXPECT_EQ(read, n + " NUM " + n + " NOM " + n + " STSEQ " + n + " dbfread " + n + "\n") << when;
    };
    int kills = 0;
    bool finished = false;
    for (int k = 1; k <= 100 && !finished; ++k) {
        SCOPED_TRACE("killed before write " + std::to_string(k));
        finished = appendKilledBefore(k, 4000 + k, kills);
        ASSERT_FALSE(HasFatalFailure());
        if (k > 1) ++rows;
        if (k == 1) {
            // Killed inside the row's own write instead: its first bytes are there, its end and the end
            // mark are not. The row was never reported stored.
            std::string bytes = xbtest::ReadFileBytes(path);
            ASSERT_EQ(bytes.back(), '\x1A');
            bytes.back() = ' ';
            xbtest::WriteFileBytes(path, bytes + "  4711 Cut");
        }
        ASSERT_TRUE(Use(path, nullptr, 0)) << ErrorMsg();
        ASSERT_TRUE(SetIndexTo("")) << ErrorMsg();
        EXPECT_EQ(WalkEveryOrder(), "");
        expectTagsEqualAReindex("after the next open");
        CloseAllDatabases();
        int32_t found = 0;
        EXPECT_EQ(TableEndDisagreement(path, found), "");
        EXPECT_EQ(found, rows);
        expectPeersReadEveryRow("after the next open");

        ASSERT_TRUE(Use(path + " EXCLUSIVE", nullptr, 0)) << ErrorMsg();
        ASSERT_TRUE(SetIndexTo("")) << ErrorMsg();
        EXPECT_EQ(RecCount(), rows);
        EXPECT_EQ(WalkEveryOrder(), "") << "exclusive";
        ClearRecord();
        TypedSetInt(FieldAddress(1), 777000 + k);
        TypedSetString(FieldAddress(2), 12, "Excl" + std::to_string(k));
        TypedSetString(FieldAddress(3), 2, "X");
        TypedSetInt(FieldAddress(4), 5000 + k);
        ASSERT_TRUE(Append()) << ErrorMsg();
        ++rows;
        expectTagsEqualAReindex("after an exclusive append");
        CloseAllDatabases();
        EXPECT_EQ(TableEndDisagreement(path, found), "");
        expectPeersReadEveryRow("after the exclusive append");
    }
    EXPECT_TRUE(finished) << "the append never ran to its end";
    EXPECT_GE(kills, 5);
}

// A station killed at each point of a repair's rebuild, of a table large enough for the sort to use a
// temporary file, leaves nothing in the temporary directory, and the next station repairs as usual.
TEST_F(DeadWriter, AStationKilledInsideARebuildLeavesNoSortFile) {
    ASSERT_TRUE(Use(path + " EXCLUSIVE", nullptr, 0)) << ErrorMsg();
    for (int i = 301; i <= 9000; ++i) {
        ClearRecord();
        TypedSetInt(FieldAddress(1), (i * 7919) % 100000);
        TypedSetString(FieldAddress(2), 12, "Start" + std::to_string(i % 37));
        TypedSetString(FieldAddress(3), 2, "P");
        TypedSetInt(FieldAddress(4), i);
        ASSERT_TRUE(Append());
    }
    ASSERT_TRUE(MakeIndex(kTags, "")) << ErrorMsg();
    CloseAllDatabases();
    const std::string sortDir = tmp.file("sort");
    std::filesystem::create_directories(sortDir);
    int kills = 0;
    bool finished = false;
    for (int k = 1; k <= 200 && !finished; k += 2) {
        SCOPED_TRACE("killed before write " + std::to_string(k));
        ChildProcess child;
        ASSERT_EQ(child.ask("tmpdir " + sortDir), "0");
        ASSERT_EQ(child.ask("indexunit"), "0");
        ASSERT_EQ(child.ask("use " + path), "0");
        ASSERT_EQ(child.ask("setindex"), "1");
        const std::string answer = child.ask("killrepair " + std::to_string(k));
        finished = answer == "done";
        if (!finished) {
            ASSERT_EQ(answer, "") << "the station was not killed";
            ++kills;
        }
        child.finish();
        std::vector<std::string> left;
        for (const auto& e : std::filesystem::directory_iterator(sortDir)) left.push_back(e.path().filename());
        EXPECT_EQ(left, std::vector<std::string>{});
    }
    EXPECT_TRUE(finished) << "the repair never ran to its end";
    EXPECT_GE(kills, 5);
    ASSERT_TRUE(Use(path, nullptr, 0)) << ErrorMsg();
    ASSERT_TRUE(SetIndexTo("")) << ErrorMsg();
    EXPECT_EQ(WalkEveryOrder(), "");
    expectTagsEqualAReindex("after the kills");
    CloseAllDatabases();
}

std::string WalkEveryOrder() {
    const int32_t rows = PhysRecCount(*CurrentBlock());
    for (int t = 1; t <= static_cast<int>(kTags.size()); ++t) {
        if (!Set_Order_To(t)) return "order " + std::to_string(t) + ": " + ErrorMsg();
        int32_t seen = 0;
        for (GoTop(); !dEOF() && LastError() == 0; Skip(1)) ++seen;
        if (LastError() != 0) return "walk of " + kTags[t - 1].name + ": " + ErrorMsg();
        if (seen != rows)
            return kTags[t - 1].name + " walked " + std::to_string(seen) + " of " + std::to_string(rows) + " rows";
    }
    return "";
}

// What readers meet at each point where a writer can die, in an append and in a replace: a station
// that had the index open all along (its nodes kept from a walk), and one that had opened the table
// only (as a dataset's open stands between the table and its index) when a living station appended a
// row. Both read every order right after the kill and meet every row once: neither reports damage,
// and the late one's repair counts the row appended after its table's open.
TEST_F(DeadWriter, ReadersAfterAWriterKilledAtEachPointOfAnAppendOrAReplaceAnswerRight) {
    ASSERT_TRUE(Select(1));
    ASSERT_TRUE(Use(path, nullptr, 0)) << ErrorMsg();
    ASSERT_TRUE(SetIndexTo("")) << ErrorMsg();
    ASSERT_EQ(WalkEveryOrder(), "");
    int kills = 0, seq = 3000;
    for (const bool replace : {false, true}) {
        bool finished = false;
        for (int k = 1; k <= 100 && !finished; ++k) {
            SCOPED_TRACE(std::string(replace ? "replace" : "append") + " killed before write " + std::to_string(k));
            {
                CurrentAreaScope late(2);
                UseRequest r;
                r.path = path;
                r.alias = "LATE";
                r.top = false;
                ASSERT_TRUE(UseTable(r)) << ErrorMsg();
            }
            {
                ChildProcess living;
                ASSERT_EQ(living.ask("indexunit"), "0");
                ASSERT_EQ(living.ask("use " + path), "0");
                ASSERT_EQ(living.ask("setindex"), "1");
                ASSERT_EQ(living.ask("killappend 100000 " + std::to_string(++seq)), "done");
            }
            {
                ChildProcess dying;
                ASSERT_EQ(dying.ask("indexunit"), "0");
                ASSERT_EQ(dying.ask("use " + path), "0");
                ASSERT_EQ(dying.ask("setindex"), "1");
                const std::string command = replace ? "killreplace " + std::to_string(k) + " " +
                                                          std::to_string(++seq) + " " +
                                                          std::to_string((k * 37) % 300 + 1)
                                                    : "killappend " + std::to_string(k) + " " + std::to_string(++seq);
                const std::string answer = dying.ask(command);
                finished = answer == "done";
                if (!finished) {
                    ASSERT_EQ(answer, "") << "the station was not killed";
                    ++kills;
                }
            }
            // A walk trusts what its last look saw for a moment: past it, the walk looks again.
            std::this_thread::sleep_for(kScanTrust + std::chrono::milliseconds(10));
            {
                CurrentAreaScope late(2);
                ASSERT_TRUE(SetIndexTo("")) << ErrorMsg();
                EXPECT_EQ(WalkEveryOrder(), "") << "the station that opened its table before the append";
                CloseDatabase();
            }
            ASSERT_TRUE(Select(1));
            EXPECT_EQ(WalkEveryOrder(), "") << "the station open all along";
            expectTagsEqualAReindex("after the kill");
            ASSERT_FALSE(HasFatalFailure());
        }
        EXPECT_TRUE(finished) << "the write never ran to its end";
    }
    EXPECT_GE(kills, 10);
    CloseAllDatabases();
}

// Damage written into the index from outside while stations have it open (a file header, a tag header
// page or a node overwritten), then another station's append: the station open all along reads every
// order right, without a report, as does a station opening afterwards, and the index ends equal to a
// reindex. The rows are the truth and mend every one of these.
TEST_F(DeadWriter, AnIndexDamagedFromOutsideWhileOpenIsRepairedByTheNextRead) {
    auto tagPage = [](const std::string& mdx) {
        std::ifstream in(mdx, std::ios::binary);
        uint8_t slot[4] = {};
        in.seekg(512 + 32);
        in.read(reinterpret_cast<char*>(slot), 4);
        return static_cast<uint64_t>(platform::GetU32(slot)) * 512;
    };
    auto rootNode = [&](const std::string& mdx) {
        std::ifstream in(mdx, std::ios::binary);
        uint8_t root[4] = {};
        in.seekg(static_cast<std::streamoff>(tagPage(mdx)));
        in.read(reinterpret_cast<char*>(root), 4);
        return static_cast<uint64_t>(platform::GetU32(root)) * 512;
    };
    struct Damage {
        const char* what;
        std::function<uint64_t(const std::string&)> offset;
        size_t length;
    } damages[] = {
        {"the file header's node length", [](const std::string&) { return uint64_t(22); }, 2},
        {"the whole file header", [](const std::string&) { return uint64_t(0); }, 2048},
        {"the first tag's header page", tagPage, 983},
        {"the first tag's root node", rootNode, 1024},
    };
    int seq = 5000;
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        for (const int area : {1, 2}) {
            ASSERT_TRUE(Select(area));
            ASSERT_TRUE(Use(path + " ALIAS s" + std::to_string(area), nullptr, 0)) << ErrorMsg();
            ASSERT_TRUE(SetIndexTo("")) << ErrorMsg();
            ASSERT_EQ(WalkEveryOrder(), "");
        }
        {
            const std::string mdx = tmp.file("shared.mdx");
            const uint64_t at = d.offset(mdx);
            std::fstream out(mdx, std::ios::binary | std::ios::in | std::ios::out);
            out.seekp(static_cast<std::streamoff>(at));
            out.write(std::string(d.length, '\xEE').data(), static_cast<std::streamsize>(d.length));
        }
        // The writer goes on: another station's append, which the reader learns of at its next read.
        ASSERT_TRUE(Select(2));
        ASSERT_TRUE(ALock());
        ClearRecord();
        TypedSetInt(FieldAddress(1), ++seq);
        TypedSetString(FieldAddress(2), 12, "Damage");
        TypedSetString(FieldAddress(3), 2, "W");
        TypedSetInt(FieldAddress(4), seq);
        Append();
        Unlock();
        Engine::current().errors.lastError = 0;
        std::this_thread::sleep_for(kScanTrust + std::chrono::milliseconds(10));
        ASSERT_TRUE(Select(1));
        EXPECT_EQ(WalkEveryOrder(), "") << "the station open all along";
        {
            CurrentAreaScope late(3);
            ASSERT_TRUE(Use(path + " ALIAS late", nullptr, 0)) << ErrorMsg();
            EXPECT_TRUE(SetIndexTo("")) << ErrorMsg();
            EXPECT_EQ(WalkEveryOrder(), "") << "a station opening afterwards";
            CloseDatabase();
        }
        expectTagsEqualAReindex("after the damage");
        CloseAllDatabases();
        ASSERT_FALSE(HasFatalFailure());
    }
}

}  // namespace
}  // namespace xb
