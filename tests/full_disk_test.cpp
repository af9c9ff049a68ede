// A full disk under every write path of the engine, on the league tables: each write and each flush a
// command performs is made to fail in turn (disk full, 112, and the runtime's short write, 101). Every
// failure must be reported, and the table left as it was before the command or as the command would
// have left it, with at most an index that a reindex repairs; the next write must then work.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>

#include "engine/core/dbf_file.h"
#include "engine/core/errors.h"
#include "engine/core/locks.h"
#include "engine/core/memo_ops.h"
#include "engine/core/navigation.h"
#include "engine/core/record_writes.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "engine/dataset/engine_start.h"
#include "engine/dataset/index_services.h"
#include "engine/index/index_driver.h"
#include "engine/index/mdx_build.h"
#include "engine/index/semaphore_file.h"
#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "tests/support/child_process.h"
#include "tests/support/fixtures.h"
#include "tests/support/league_fill.h"
#include "tests/support/mdx_checker.h"
#include "tests/support/scripted_ui.h"

namespace {

using namespace xb;
namespace fs = std::filesystem;

using Files = std::map<std::string, std::string>;  // name in the directory -> bytes

// What a reader sees of a table: each record's bytes with every memo field replaced by its text.
struct TableImage {
    std::string error;  // why the table could not be read; empty when it could
    std::vector<std::string> records;
    bool operator==(const TableImage&) const = default;
};

using TagEntries = std::map<std::string, std::vector<xbtest::MdxEntry>>;

// The process's count of write system calls, so that a test can tell that a command made no write
// the fault injection did not see.
uint64_t WriteCalls() {
    std::ifstream io("/proc/self/io");
    std::string key;
    uint64_t value = 0;
    while (io >> key >> value)
        if (key == "syscw:") return value;
    return 0;
}

std::string stem(const std::string& file) {
    return file.substr(0, file.find('.'));
}

// One write path: the state it starts from, and the command (with the locks the application takes).
struct WritePath {
    std::string name;
    std::string table;
    bool exclusive = false;
    std::function<void()> prepare;  // on the filled database, tables closed; leaves them closed
    std::function<bool()> command;  // on the table opened with its index
};

// A write path as the application takes it, in the steps it acknowledges one by one (an append of a blank
// row, then the replace that fills it).
struct SteppedPath {
    std::string name;
    std::string table;
    bool exclusive = false;
    std::function<void()> prepare;
    std::vector<std::function<bool()>> steps;
    // The command makes the index anew (pack, index creation): one it could not finish has fewer tags or
    // none, and the application's next open builds it.
    bool makesIndex = false;
    // The command changes the rows even when it then fails on the index (a pack reindexes after its
    // commit): the table may stand as before or as after it.
    bool commitsFirst = false;
};

std::vector<std::string> Match(int day, int home, int away);

class FullDiskTest : public xbtest::EngineTest {
protected:
    FullDiskTest() : m_saved(IndexServices()) { InstallEngineUnits(engine()); }
    ~FullDiskTest() override {
        platform::ClearFaults();
        IndexServices() = m_saved;
    }

    std::string path(const std::string& table) { return tmp.file(table); }
    std::string mdx(const std::string& table) { return tmp.file(stem(table) + ".mdx"); }

    Files snapshot() {
        Files out;
        for (const auto& e : fs::directory_iterator(tmp.path()))
            if (e.is_regular_file())
                out[e.path().filename().string()] = xbtest::ReadFileBytes(e.path().string());
        return out;
    }
    void restore(const Files& files) {
        CloseAllDatabases();
        for (const auto& e : fs::directory_iterator(tmp.path()))
            if (!files.count(e.path().filename().string())) fs::remove(e.path());
        for (const auto& [name, bytes] : files) xbtest::WriteFileBytes(tmp.file(name), bytes);
    }

    bool open(const std::string& table, bool exclusive, const std::string& alias = "") {
        SetAutoFixRecCount(true);
        if (!Use(path(table) + (exclusive ? " EXCLUSIVE" : "") + (alias.empty() ? "" : " ALIAS " + alias), nullptr,
                 0))
            return false;
        return !platform::FileExists(mdx(table)) || SetIndexTo(mdx(table));
    }

    // Fills the current record from season values (UTF-8) and stores it in the area; memo texts are
    // added to the memo file. False when a memo could not be added.
    bool setRecord(const std::vector<std::string>& values) {
        ClearRecord();
        for (int i = 1; i <= FieldCount(); ++i) {
            const std::string v = platform::FromUtf8(values[static_cast<size_t>(i - 1)], 1252);
            uint8_t* p = FieldAddress(i);
            switch (FieldType(i)) {
                case 'C':
                    TypedSetString(p, static_cast<size_t>(FieldLen(i)), v);
                    break;
                case 'N':
                    TypedSetInt(p, v.empty() ? 0 : std::stoi(v));
                    break;
                case 'M': {
                    int32_t block = 0;
                    if (!v.empty()) {
                        block = AddMemo(v);
                        if (!answered(block != 0)) return false;
                    }
                    TypedSetInt(p, block);
                    break;
                }
                default:
                    ADD_FAILURE() << "field type " << FieldType(i);
            }
        }
        StoreRecordBuffer();
        return true;
    }
    bool lockedAppend(const std::vector<std::string>& values) {
        if (!ALock()) return false;
        const bool ok = setRecord(values) && answered(Append());
        Unlock();
        return ok;
    }
    bool appendRow(const std::vector<std::string>& values, bool shared) {
        return shared ? lockedAppend(values) : setRecord(values) && answered(Append());
    }
    // A command's answer: true must mean that no error was met on the way.
    bool answered(bool ok) {
        EXPECT_FALSE(ok && engine().errors.pendingError != 0)
            << "the command answered true after error " << engine().errors.pendingError << ": " << ErrorMsg();
        return ok;
    }

    // The records of a table as a reader opening it sees them (the count fixed from the file size, as
    // the application opens its tables).
    TableImage readImage(const std::string& table) {
        TableImage img;
        CloseAllDatabases();
        SetAutoFixRecCount(true);
        if (!Use(path(table), nullptr, 0)) {
            img.error = "open: " + ErrorMsg();
            return img;
        }
        WorkAreaBlock* b = CurrentBlock();
        for (int32_t n = 1; n <= RecCount(); ++n) {
            if (!GetDbfRecord(*b, n)) {
                img.error = "record " + std::to_string(n) + ": " + ErrorMsg();
                break;
            }
            std::string rec(b->raw.begin(), b->raw.end());
            std::string shown = rec.substr(0, 1);
            for (const FieldDescriptor& f : b->fields) {
                const std::string bytes = rec.substr(f.offset, f.length);
                if (f.type != 'M') {
                    shown += bytes;
                    continue;
                }
                const int32_t block = memo_detail::ParseBlockText(bytes.data(), bytes.size());
                std::string text;
                if (block > 0 && !ReadMemo(block, text)) {
                    img.error = "memo of record " + std::to_string(n) + ": " + ErrorMsg();
                    break;
                }
                shown += "<" + text + ">";
            }
            img.records.push_back(shown);
        }
        CloseAllDatabases();
        return img;
    }

    // Each tag's entries; among equal keys in record order, since a rebuild and a maintained tag may
    // hold equal keys in another order.
    TagEntries entries(const xbtest::MdxReport& r) {
        TagEntries out;
        for (const auto& t : r.tags) {
            auto list = t.entries;
            for (size_t i = 0; i < list.size();) {
                size_t j = i + 1;
                while (j < list.size() && list[j].key == list[i].key) ++j;
                std::sort(
                    list.begin() + static_cast<long>(i), list.begin() + static_cast<long>(j),
                    [](const xbtest::MdxEntry& a, const xbtest::MdxEntry& b) { return a.record < b.record; });
                i = j;
            }
            out[t.name] = list;
        }
        return out;
    }
    // Rebuilds a table's index the way a user repairs it: reindex when it opens, else a new index from
    // the tag definitions.
    void repairIndex(const std::string& table) {
        CloseAllDatabases();
        ASSERT_TRUE(Use(path(table) + " EXCLUSIVE", nullptr, 0)) << ErrorMsg();
        bool reindexed = false;
        try {
            reindexed = platform::FileExists(mdx(table)) && SetIndexTo(mdx(table)) && Reindex();
        } catch (const std::exception&) {
        }
        if (!reindexed) {
            std::vector<TagDefinition> defs;
            for (const TIndexTagDescriptor& t :
                 xbtest::LeagueComponent(tmp.path(), xbtest::LeagueTableDef(table))->ParseIndexList())
                defs.push_back({t.tagName, t.keyExpr, t.forExpr, t.descending, t.unique});
            ASSERT_TRUE(MakeIndex(defs, mdx(table))) << ErrorMsg();
        }
        CloseAllDatabases();
    }

    // Runs the path's command and the close of the table; true when neither reported an error, else
    // the code reported first.
    bool runCommand(const WritePath& p, int& code, platform::FaultOp op = platform::FaultOp::Write,
                    int nth = 0, int injected = 0) {
        code = 0;
        bool ok = false;
        try {
            ok = open(p.table, p.exclusive);
            if (!ok) {
                ADD_FAILURE() << "open: " << ErrorMsg();
                return false;
            }
            if (nth > 0) platform::InjectFault(op, nth, injected);
            engine().errors.pendingError = 0;
            m_calls = WriteCalls();
            ok = p.command();
        } catch (const std::exception&) {
            ok = false;
        }
        code = engine().errors.pendingError;
        CloseAllDatabases();
        m_calls = WriteCalls() - m_calls;
        if (code == 0) code = engine().errors.pendingError;
        return ok && code == 0;
    }

    // The whole check of one path; returns a summary line.
    std::string exercise(const WritePath& p) {
        SCOPED_TRACE(p.name);
        restore(m_filled);
        if (p.prepare) p.prepare();
        CloseAllDatabases();
        const Files before = snapshot();

        // The command without faults: what it leaves, and how many writes it makes (the fewer of two
        // runs, as a runtime may write something of its own the first time).
        int code = 0;
        EXPECT_TRUE(runCommand(p, code)) << ErrorMsg();
        uint64_t calls = m_calls;
        const Files after = snapshot();
        restore(before);
        EXPECT_TRUE(runCommand(p, code)) << ErrorMsg();
        calls = std::min(calls, m_calls);
        EXPECT_TRUE(snapshot() == after) << "two runs of the command left different files";
        EXPECT_NE(before, after) << "the command changed nothing";

        restore(before);
        const TableImage imgBefore = readImage(p.table);
        const TagEntries idxBefore = entries(xbtest::CheckMdxFile(mdx(p.table), {false, 0}));
        restore(after);
        const TableImage imgAfter = readImage(p.table);
        const xbtest::MdxReport repAfter = xbtest::CheckMdxFile(mdx(p.table), {false, 0});
        EXPECT_TRUE(repAfter.ok()) << repAfter.text();
        const TagEntries idxAfter = entries(repAfter);
        EXPECT_TRUE(imgBefore.error.empty()) << imgBefore.error;

        int failures[2] = {0, 0}, repaired = 0, asBefore = 0;
        const platform::FaultOp ops[2] = {platform::FaultOp::Write, platform::FaultOp::Flush};
        for (int o = 0; o < 2; ++o) {
            for (int nth = 1;; ++nth) {
                SCOPED_TRACE((o == 0 ? "write " : "flush ") + std::to_string(nth));
                if (nth > 2000) {
                    ADD_FAILURE() << "no end to the writes";
                    break;
                }
                restore(before);
                const int injected = nth % 2 ? platform::kErrDiskFull : platform::kErrDiskWrite;
                const bool ok = runCommand(p, code, ops[o], nth, injected);
                const bool struck = !platform::FaultArmed(ops[o]);
                platform::ClearFaults();
                if (ok && struck) {
                    // A write that failed after the command's change was whole (the release of the index
                    // write lock): the change stands, and the next station repairs what the failure left.
                    ++failures[o];
                    EXPECT_TRUE(readImage(p.table) == imgAfter) << "a write answered as done is not there";
                    check(p, before, imgBefore, imgAfter, idxBefore, idxAfter, repaired, asBefore);
                    if (::testing::Test::HasFatalFailure()) return {};
                    continue;
                }
                if (ok) {
                    // Past the last write: the fault never struck, so the files are the reference ones.
                    // (A fault swallowed on the way would show here as a difference.)
                    EXPECT_TRUE(snapshot() == after) << "a run without a reported error left other files";
                    break;
                }
                ++failures[o];
                // The disk's own code, or the memo file's write fault.
                EXPECT_TRUE(code == injected || code == platform::kErrWriteFault)
                    << code << ": " << ErrorMsg();
                check(p, before, imgBefore, imgAfter, idxBefore, idxAfter, repaired, asBefore);
                if (::testing::Test::HasFatalFailure()) return {};
            }
        }
        // The index of the table a failure left is its table's reindex, or marked so that the next open
        // repairs it: no user has to reindex.
        EXPECT_EQ(repaired, 0) << "an index needed a reindex after a failed write";
        // Every write the command makes went through the layer that can fail it.
        EXPECT_GE(static_cast<uint64_t>(failures[0]), calls);
        EXPECT_GT(failures[0], 0);
        std::ostringstream line;
        line << p.name << ": " << failures[0] << " writes, " << failures[1]
             << " flushes failed in turn; left as "
             << "before " << asBefore << ", repaired by reindex " << repaired;
        return line.str();
    }

    void check(const WritePath& p, const Files& before, const TableImage& imgBefore,
               const TableImage& imgAfter, const TagEntries& idxBefore, const TagEntries& idxAfter,
               int& repaired, int& asBefore) {
        if (snapshot() == before) {
            ++asBefore;
            return;
        }
        // The table reads as before or as after the command, records and memos alike.
        const TableImage now = readImage(p.table);
        ASSERT_TRUE(now.error.empty()) << now.error;
        const bool isBefore = now == imgBefore;
        ASSERT_TRUE(isBefore || now == imgAfter)
            << "the table is neither as before nor as after the command (" << now.records.size()
            << " records)";
        // (A build leaves the records as they were: its index is the one after.)
        const TagEntries& want = isBefore && !idxBefore.empty() ? idxBefore : idxAfter;

        // The index as the application opens it next; when it differs from the records, a reindex
        // brings it back.
        {
            auto t = xbtest::LeagueComponent(tmp.path(), xbtest::LeagueTableDef(p.table));
            try {
                t->Open();
                t->Close();
            } catch (const std::exception& e) {
                ADD_FAILURE() << "the application cannot open the table: " << e.what();
            }
        }
        CloseAllDatabases();
        xbtest::MdxReport r = xbtest::CheckMdxFile(mdx(p.table), {false, 0});
        if (!r.ok() || entries(r) != want) {
            ++repaired;
            repairIndex(p.table);
            r = xbtest::CheckMdxFile(mdx(p.table));
            ASSERT_TRUE(r.ok()) << r.text();
            TagEntries have = entries(r);
            if (have != want) {
                for (const auto& [tag, list] : want) {
                    const auto& got = have[tag];
                    ADD_FAILURE() << tag << ": " << got.size() << " entries, want " << list.size();
                    for (size_t i = 0; i < std::min(got.size(), list.size()); ++i)
                        if (!(got[i] == list[i])) {
                            ADD_FAILURE()
                                << " first difference at " << i << ": " << got[i].key << "/" << got[i].record
                                << " want " << list[i].key << "/" << list[i].record;
                            break;
                        }
                }
                FAIL() << "a reindex does not give the index of the records";
            }
        }

        // And the table takes the next write: a record with a memo lands after the others, and
        // nothing that was there changes.
        ASSERT_TRUE(open(p.table, false)) << ErrorMsg();
        ASSERT_TRUE(lockedAppend(m_probe.at(p.table))) << ErrorMsg();
        CloseAllDatabases();
        const TableImage next = readImage(p.table);
        ASSERT_EQ(next.records.size(), now.records.size() + 1) << next.error;
        for (size_t i = 0; i < now.records.size(); ++i)
            ASSERT_EQ(next.records[i], now.records[i]) << "record " << i + 1;
        r = xbtest::CheckMdxFile(mdx(p.table), {false, 0});
        ASSERT_TRUE(r.ok()) << r.text();
        for (const auto& t : r.tags) EXPECT_EQ(t.entries.size(), next.records.size()) << t.name;
    }

    void SetUp() override {
        xbtest::SeasonSize size;
        size.teams = 6;
        size.squad = 5;
        size.matchdays = 10;
        m_season = xbtest::MakeSeason(size);
        xbtest::FillLeagueTables(tmp.path(), m_season);
        CloseAllDatabases();
        m_filled = snapshot();
        for (const auto& s : m_season) {
            m_rows[s.file] = s.rows;
            m_probe[s.file] = s.rows.front();
        }
        // The probe of the players' table carries a memo that spans blocks.
        m_probe["joueur.dbf"][4] = std::string(700, 'p') + "\r\nfin";
    }

    std::vector<WritePath> writePaths();
    std::vector<SteppedPath> steppedPaths();
    // Matches of later days until the next one (of splitDay) needs a new index node; with blankFits, until
    // a blank row still fits in the nodes as well (its keys come first in every order), so that the
    // replace that fills it is what needs the node.
    void fillUpToASplit(bool blankFits = false) {
        const std::string table = path("resultat.dbf"), index = mdx("resultat.dbf");
        auto grows = [&](const std::vector<std::string>& row) {
            const std::string rows = xbtest::ReadFileBytes(table), keys = xbtest::ReadFileBytes(index);
            EXPECT_TRUE(open("resultat.dbf", true));
            if (row.empty()) ClearRecord();
            EXPECT_TRUE(row.empty() ? Append() : appendRow(row, false)) << ErrorMsg();
            CloseAllDatabases();
            const bool grew = fs::file_size(index) > keys.size();
            xbtest::WriteFileBytes(table, rows);
            xbtest::WriteFileBytes(index, keys);
            return grew;
        };
        for (int day = 11;; ++day) {
            ASSERT_LT(day, 400);
            if (grows(Match(day, 1, 2)) && !(blankFits && grows({}))) {
                splitDay = day;
                return;
            }
            ASSERT_TRUE(open("resultat.dbf", true));
            ASSERT_TRUE(appendRow(Match(day, 1, 2), false)) << ErrorMsg();
            CloseAllDatabases();
        }
    }
    int splitDay = 0;

    std::vector<xbtest::SeasonTable> m_season;
    std::map<std::string, std::vector<std::vector<std::string>>> m_rows;
    std::map<std::string, std::vector<std::string>> m_probe;
    Files m_filled;
    uint64_t m_calls = 0;  // write system calls of the last command and close
    xbtest::ScriptedUi ui;

private:
    DatasetIndexServices m_saved;
};

// A match of matchday day between two teams, in the results table's field order.
std::vector<std::string> Match(int day, int home, int away) {
    return {"1", "2026", std::to_string(day), std::to_string(home), std::to_string(away), "2", "1", "J",
            "3", "0"};
}

std::vector<WritePath> FullDiskTest::writePaths() {
    const std::string longNote = [] {
        std::string t;
        for (int i = 0; i < 40; ++i) t += "Ligne " + std::to_string(i) + " de la note, accentuée.\r\n";
        return t + "fin";
    }();
    auto deleteRecords = [this](const std::string& table, std::vector<int32_t> recs) {
        ASSERT_TRUE(open(table, true)) << ErrorMsg();
        for (int32_t r : recs) {
            ASSERT_TRUE(Go(r));
            ASSERT_TRUE(DeleteRec()) << ErrorMsg();
        }
        CloseAllDatabases();
    };
    auto replaceWith = [this](int32_t rec, const std::function<bool()>& change) {
        if (!Go(rec) || !RLock()) return false;
        LoadRecordBuffer();
        bool ok = change();
        if (ok) {
            StoreRecordBuffer();
            ok = answered(Replace());
        }
        Unlock();
        return ok;
    };

    return {
        {"append, shared", "resultat.dbf", false, nullptr, [=, this] { return lockedAppend(Match(11, 1, 2)); }},
        {"append, exclusive, header written at the close", "resultat.dbf", true, nullptr,
         [=, this] { return appendRow(Match(11, 1, 2), false); }},
        {"append that splits index nodes", "resultat.dbf", false, [this] { fillUpToASplit(); },
         [=, this] { return lockedAppend(Match(splitDay, 1, 2)); }},
        {"replace that moves keys", "resultat.dbf", false, nullptr,
         [=, this] {
             return replaceWith(5, [] {
                 TypedSetInt(FieldAddress(3), 12);
                 TypedSetInt(FieldAddress(4), 6);
                 return true;
             });
         }},
        {"delete", "resultat.dbf", false, nullptr, [=, this] { return Go(7) && RLock() && answered(DeleteRec()); }},
        {"memo add", "joueur.dbf", false, nullptr,
         [=, this] {
             auto row = m_rows["joueur.dbf"][3];
             row[0] = "999";
             row[4] = longNote;
             return lockedAppend(row);
         }},
        {"memo rewrite", "joueur.dbf", false, nullptr,
         [=, this] {
             return replaceWith(2, [=, this] {
                 const int32_t block = TypedGetInt(FieldAddress(5));
                 const int32_t now = RewriteMemo(block, platform::FromUtf8(longNote, 1252));
                 TypedSetInt(FieldAddress(5), now);
                 return answered(now != 0);
             });
         }},
        // A pack rebuilds the open index itself.
        {"pack with memos", "joueur.dbf", true,
         [=, this] {
             deleteRecords("joueur.dbf", {2, 5, 9, 30});
         },
         [=, this] { return answered(Pack()); }},
        {"pack", "but.dbf", true,
         [=, this] {
             deleteRecords("but.dbf", {1, 3, 4, 20});
         },
         [=, this] { return answered(Pack()); }},
        {"reindex", "carton.dbf", true, nullptr, [=, this] { return answered(Reindex()); }},
        {"index build", "eqchamp.dbf", true, [=, this] { fs::remove(mdx("eqchamp.dbf")); },
         [=, this] {
             std::vector<TagDefinition> defs;
             for (const TIndexTagDescriptor& t :
                  xbtest::LeagueComponent(tmp.path(), xbtest::LeagueTableDef("eqchamp.dbf"))
                      ->ParseIndexList())
                 defs.push_back({t.tagName, t.keyExpr, t.forExpr, t.descending, t.unique});
             return answered(MakeIndex(defs, mdx("eqchamp.dbf")));
         }},
    };
}

TEST_F(FullDiskTest, EveryWritePathReportsTheFailureAndLosesNothing) {
    const std::vector<WritePath> paths = writePaths();
    std::vector<std::string> summary;
    for (const WritePath& p : paths) {
        summary.push_back(exercise(p));
        if (HasFatalFailure()) return;
    }
    for (const std::string& s : summary) std::cout << "  " << s << "\n";
}

}  // namespace

namespace {

// The number of tags the current area's index has open.
int OpenTagCount() {
    int n = 0;
    while (n < 47 && !IndexTagName(n + 1).empty()) ++n;
    return n;
}

// Walks every order of the current area from the top; the rows met in each, or why a walk failed.
std::string WalkEveryOrder(std::vector<int32_t>& counts) {
    counts.clear();
    const int tags = OpenTagCount();
    try {
        for (int t = 1; t <= tags; ++t) {
            if (!Set_Order_To(t)) return "order " + std::to_string(t) + ": " + ErrorMsg();
            int32_t seen = 0;
            for (GoTop(); !dEOF(); Skip(1)) {
                if (LastError() != 0) return "walk of order " + std::to_string(t) + ": " + ErrorMsg();
                ++seen;
            }
            if (LastError() != 0) return "walk of order " + std::to_string(t) + ": " + ErrorMsg();
            counts.push_back(seen);
        }
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

}  // namespace

// A disk that stays full after a shared write failed part way: as soon as the space comes back, the
// writer's own area and a station that had the table open all along read every order whole, without
// reopening it, and the index is its table's reindex: nothing waits for a pack or a restart.
TEST_F(FullDiskTest, AfterADiskFullEveryOrderReadsWholeOnceTheSpaceIsBack) {
    std::vector<WritePath> paths;
    for (const WritePath& p : writePaths())
        if (!p.exclusive && p.name != "delete" && p.name != "replace that moves keys") paths.push_back(p);
    // A match's goals written in one index write bracket: the rows go at once, their keys in one pass
    // at the release.
    paths.push_back({"goals in one write bracket", "but.dbf", false, nullptr, [this] {
                         if (!ALock()) return false;
                         bool ok = true;
                         {
                             IndexWriteBracket bracket;
                             HoldIndexWritesInBracket();
                             for (int i = 0; i < 3 && ok; ++i) ok = setRecord(m_probe.at("but.dbf")) && Append();
                         }
                         ok = ok && LastError() == 0;
                         Unlock();
                         return answered(ok);
                     }});
    for (const WritePath& p : paths) {
        SCOPED_TRACE(p.name);
        restore(m_filled);
        if (p.prepare) p.prepare();
        CloseAllDatabases();
        const Files before = snapshot();
        int failed = 0;
        for (int nth = 1; nth < 200; ++nth) {
            SCOPED_TRACE("full from write " + std::to_string(nth));
            restore(before);
            ASSERT_TRUE(Select(2));
            ASSERT_TRUE(open(p.table, false, "reader")) << ErrorMsg();
            std::vector<int32_t> counts;
            ASSERT_EQ(WalkEveryOrder(counts), "");
            ASSERT_TRUE(Select(1));
            ASSERT_TRUE(open(p.table, false)) << ErrorMsg();
            platform::InjectDiskFull(nth);
            bool ok = false;
            engine().errors.pendingError = 0;
            try {
                ok = p.command() && engine().errors.pendingError == 0;
            } catch (const std::exception&) {
            }
            platform::ClearFaults();
            if (ok) break;
            ++failed;
            for (int area : {1, 2}) {
                SCOPED_TRACE("area " + std::to_string(area));
                ASSERT_TRUE(Select(area));
                Unlock();
                ASSERT_EQ(WalkEveryOrder(counts), "");
                for (int32_t c : counts) EXPECT_EQ(c, RecCount());
            }
            CloseAllDatabases();
            const xbtest::MdxReport live = xbtest::CheckMdxFile(mdx(p.table), {false, 0});
            ASSERT_TRUE(live.ok()) << live.text();
            repairIndex(p.table);
            EXPECT_TRUE(entries(live) == entries(xbtest::CheckMdxFile(mdx(p.table), {false, 0})))
                << "the index differs from its reindex";
        }
        EXPECT_GT(failed, 0) << "the disk never filled under the command";
    }
}

std::vector<SteppedPath> FullDiskTest::steppedPaths() {
    const std::string longNote = [] {
        std::string t;
        for (int i = 0; i < 60; ++i) t += "Ligne " + std::to_string(i) + " de la note, plus longue.\r\n";
        return t + "fin";
    }();
    auto lockedReplace = [this](int32_t rec, const std::function<bool()>& change) {
        if (!Go(rec) || !RLock()) return false;
        LoadRecordBuffer();
        bool ok = change();
        if (ok) {
            StoreRecordBuffer();
            ok = answered(Replace());
        }
        Unlock();
        return ok;
    };
    auto deleteRecords = [this](const std::string& table, std::vector<int32_t> recs) {
        ASSERT_TRUE(open(table, true)) << ErrorMsg();
        for (int32_t r : recs) {
            ASSERT_TRUE(Go(r));
            ASSERT_TRUE(DeleteRec()) << ErrorMsg();
        }
        CloseAllDatabases();
    };
    return {
        {"append whole", "resultat.dbf", false, [this] { fillUpToASplit(); }, {[this] {
             return lockedAppend(Match(splitDay, 1, 2));
         }}},
        {"append blank then replace",
         "resultat.dbf",
         false,
         [this] { fillUpToASplit(true); },
         {[this] {
              if (!ALock()) return false;
              ClearRecord();
              const bool ok = answered(Append());
              Unlock();
              return ok;
          },
          [=, this] {
              const int32_t rec = RecCount();
              return lockedReplace(rec, [this] { return setRecord(Match(splitDay, 1, 2)); });
          }}},
        {"replace with a longer note", "joueur.dbf", false, nullptr, {[=, this] {
             return lockedReplace(2, [=, this] {
                 const int32_t block = TypedGetInt(FieldAddress(5));
                 const int32_t now = RewriteMemo(block, platform::FromUtf8(longNote, 1252));
                 TypedSetInt(FieldAddress(5), now);
                 return answered(now != 0);
             });
         }}},
        {"delete", "resultat.dbf", false, nullptr, {[this] {
             const bool ok = Go(7) && RLock() && answered(DeleteRec());
             Unlock();
             return ok;
         }}},
        {"pack",
         "but.dbf",
         true,
         [=] {
             deleteRecords("but.dbf", {1, 3, 4, 20});
         },
         {[this] { return answered(Pack()); }},
         true,
         true},
        {"index creation",
         "eqchamp.dbf",
         true,
         [this] { fs::remove(mdx("eqchamp.dbf")); },
         {[this] {
             std::vector<TagDefinition> defs;
             for (const TIndexTagDescriptor& t :
                  xbtest::LeagueComponent(tmp.path(), xbtest::LeagueTableDef("eqchamp.dbf"))
                      ->ParseIndexList())
                 defs.push_back({t.tagName, t.keyExpr, t.forExpr, t.descending, t.unique});
             return answered(MakeIndex(defs, mdx("eqchamp.dbf")));
         }},
         true},
    };
}

namespace {

// What the disk and the other stations are like when the writer has closed its table after the failure.
enum class Afterwards { SpaceBack, StillFull, OtherStationWithoutSpace };

const char* Named(Afterwards a) {
    switch (a) {
        case Afterwards::SpaceBack:
            return "the space back";
        case Afterwards::StillFull:
            return "the disk still full";
        default:
            return "a second station open without space to repair";
    }
}

// The code of an "E..." answer of the helper station, 0 for any other answer.
int AnswerCode(const std::string& answer) {
    return answer.size() > 1 && answer[0] == 'E' ? std::atoi(answer.c_str() + 1) : 0;
}

}  // namespace

// A write that a full disk stops part way, on every write path, and the writer closes its table at once
// as the application does after every save. Then another process opens the table alone: every order
// walks whole, every tag is its reindex, and every row the writer was told stored is there once: the
// mark of the repair outlives the close. With the disk still full, that station reads right or refuses
// with the repair's own error, never a walk over a damaged order (212); so does a second station that had
// the table open all along and has no space to repair, and its close keeps the mark as well.
TEST_F(FullDiskTest, AWriteAFullDiskStoppedIsWholeForTheNextStationAfterTheWriterClosed) {
    xbtest::ChildProcess next;
    ASSERT_EQ(next.ask("indexunit"), "0");
    std::vector<std::string> summary;
    for (const SteppedPath& p : steppedPaths()) {
        SCOPED_TRACE(p.name);
        restore(m_filled);
        if (p.prepare) p.prepare();
        CloseAllDatabases();
        const Files before = snapshot();
        // The table as it stands after each number of acknowledged steps, and its reindex.
        std::vector<TableImage> acknowledged;
        std::vector<TagEntries> reindexed;
        for (size_t k = 0; k <= p.steps.size(); ++k) {
            restore(before);
            ASSERT_TRUE(open(p.table, p.exclusive)) << ErrorMsg();
            for (size_t i = 0; i < k; ++i) ASSERT_TRUE(p.steps[i]()) << ErrorMsg();
            CloseAllDatabases();
            acknowledged.push_back(readImage(p.table));
            repairIndex(p.table);
            reindexed.push_back(entries(xbtest::CheckMdxFile(mdx(p.table), {false, 0})));
        }
        const int tags = static_cast<int>(
            xbtest::LeagueComponent(tmp.path(), xbtest::LeagueTableDef(p.table))->ParseIndexList().size());
        const std::string whole = "ok ";
        for (Afterwards after :
             {Afterwards::SpaceBack, Afterwards::StillFull, Afterwards::OtherStationWithoutSpace}) {
            if (after == Afterwards::OtherStationWithoutSpace && p.exclusive) continue;
            SCOPED_TRACE(Named(after));
            int failed = 0, refused = 0, wrong = 0;
            for (int nth = 1;; ++nth) {
                ASSERT_LT(nth, 300) << "the command never got through";
                SCOPED_TRACE("full from write " + std::to_string(nth));
                const int parts =
                    ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
                restore(before);
                const bool other = after == Afterwards::OtherStationWithoutSpace;
                if (other) {
                    ASSERT_TRUE(Select(2));
                    ASSERT_TRUE(open(p.table, false, "other")) << ErrorMsg();
                    std::vector<int32_t> counts;
                    ASSERT_EQ(WalkEveryOrder(counts), "");
                }
                ASSERT_TRUE(Select(1));
                ASSERT_TRUE(open(p.table, p.exclusive)) << ErrorMsg();
                platform::InjectDiskFull(nth);
                engine().errors.pendingError = 0;
                size_t done = 0;
                try {
                    while (done < p.steps.size() && p.steps[done]() && engine().errors.pendingError == 0)
                        ++done;
                } catch (const std::exception&) {
                }
                Unlock();
                CloseDatabase();  // the writer's close, the disk still full
                if (done == p.steps.size()) {
                    platform::ClearFaults();
                    CloseAllDatabases();
                    break;
                }
                ++failed;
                if (other) {
                    // The station that stayed: it reads right or refuses, and its close keeps the mark.
                    ASSERT_TRUE(Select(2));
                    engine().errors.pendingError = 0;
                    std::vector<int32_t> counts;
                    const std::string walk = WalkEveryOrder(counts);
                    if (walk.empty()) {
                        for (int32_t c : counts) EXPECT_EQ(c, RecCount());
                    } else {
                        ++refused;
                        EXPECT_NE(LastError(), 212) << walk;
                    }
                    CloseDatabase();
                }
                platform::ClearFaults();
                CloseAllDatabases();
                if (after == Afterwards::StillFull) {
                    ASSERT_EQ(next.ask("diskfull 1"), "0");
                    const std::string answer = next.ask("ordercheck " + path(p.table));
                    ASSERT_EQ(next.ask("diskfull 0"), "0");
                    // A repair the disk stopped part way leaves a file whose header names all it holds.
                    if (fs::exists(mdx(p.table))) {
                        const xbtest::MdxReport r = xbtest::CheckMdxFile(mdx(p.table), {false, 0});
                        EXPECT_TRUE(r.ok()) << r.text();
                    }
                    if (answer.rfind(whole, 0) != 0) {
                        ++refused;
                        EXPECT_NE(AnswerCode(answer), 0) << answer;
                        EXPECT_NE(AnswerCode(answer), 212) << answer;
                    } else if (!p.makesIndex) {
                        EXPECT_EQ(answer, whole + std::to_string(acknowledged[done].records.size()) + " " +
                                              std::to_string(tags));
                    }
                }
                if (p.makesIndex) {
                    // An index made anew that the disk cut short has the tags it finished: the
                    // application's open builds the rest.
                    auto t = xbtest::LeagueComponent(tmp.path(), xbtest::LeagueTableDef(p.table));
                    try {
                        t->Open();
                        t->Close();
                    } catch (const std::exception& e) {
                        ADD_FAILURE() << "the application cannot open the table: " << e.what();
                    }
                    CloseAllDatabases();
                }
                const TableImage now = readImage(p.table);
                const std::string answer = next.ask("ordercheck " + path(p.table));
                EXPECT_EQ(answer, whole + std::to_string(now.records.size()) + " " + std::to_string(tags));
                // Each step either was acknowledged or changed nothing.
                const size_t stands = p.commitsFirst && now == acknowledged[done + 1] ? done + 1 : done;
                EXPECT_TRUE(now == acknowledged[stands]) << "the table holds " << now.records.size()
                                                         << " rows after " << done << " acknowledged steps";
                const xbtest::MdxReport report = xbtest::CheckMdxFile(mdx(p.table), {false, 0});
                EXPECT_TRUE(report.ok()) << report.text();
                EXPECT_TRUE(entries(report) == reindexed[stands]) << "an order differs from its reindex";
                if (::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count() >
                    parts)
                    ++wrong;
            }
            if (p.name != "delete") EXPECT_GT(failed, 0) << "the disk never filled under the command";
            summary.push_back(p.name + ", " + Named(after) + ": " + std::to_string(failed) + " failures, " +
                              std::to_string(refused) + " reads refused, " + std::to_string(wrong) +
                              " left wrong");
        }
    }
    for (const std::string& s : summary) std::cout << "  " << s << "\n";
}

// An index that waits for its repair (a write failed before), and a write fault that stops the repair
// at each of its writes in turn: the append that meets it answers true exactly when its row is stored,
// and then with no error met on the way; refused, it has changed nothing. The next station alone reads
// every order whole.
TEST_F(FullDiskTest, AnAppendOverARepairThatFailsIsStoredWholeOrRefusedUnchanged) {
    xbtest::ChildProcess next;
    ASSERT_EQ(next.ask("indexunit"), "0");
    int refused = 0;
    for (int nth = 1; nth <= 8; ++nth) {
        SCOPED_TRACE("write " + std::to_string(nth) + " fails");
        restore(m_filled);
        ASSERT_TRUE(MarkIndexForRepair(path("resultat.dbf")));
        ASSERT_TRUE(open("resultat.dbf", false)) << ErrorMsg();
        const int32_t rows = RecCount();
        engine().errors.pendingError = 0;
        platform::InjectFault(platform::FaultOp::Write, nth, platform::kErrDiskFull);
        bool ok = false;
        try {
            ok = lockedAppend(Match(11, 1, 2));
        } catch (const std::exception&) {
        }
        platform::ClearFaults();
        CloseAllDatabases();
        refused += ok ? 0 : 1;
        EXPECT_EQ(readImage("resultat.dbf").records.size(), static_cast<size_t>(rows + (ok ? 1 : 0)));
        EXPECT_EQ(next.ask("ordercheck " + path("resultat.dbf")),
                  "ok " + std::to_string(rows + (ok ? 1 : 0)) + " 5");
    }
    EXPECT_GT(refused, 0);
}
