// lm_walk_while_writing: one station walks the tags of a shared table again and again while another appends,
// rewrites and deletes rows. The walker keeps the table open the whole time (it never reopens to see news),
// so what it shows comes from the nodes, headers and record count it keeps and from what it reads anew.
//
// The table: id (the record's own number), gen (one more at each rewrite), kgen (the gen at which the keys
// last changed), code (C, tag CODE ascending), rank (N, tag RANK descending), note, and chk, a hash of all
// the others: a row read half old and half new fails its hash. Every key is unique (it ends with the id).
//
// A rewrite that moves a row's keys moves them forward in both orders (a larger code, a smaller rank).
// A walk that is not inside one read bracket goes on, after another station's change, from where the row it
// stands on stands now, so rows the writer moved may be passed over; but with keys only moving forward,
// every walk must still be in strictly rising key order (falling for RANK), every row it shows must be
// whole and not deleted, and a row may show up a second time only in a version whose keys moved after the
// version shown first: the same entry seen twice is a walk that stepped over it twice.
//
// Walks, in turn: GoTop/Skip(1) of the engine on CODE and on RANK; the whole walk inside one read bracket
// with deleted rows shown, which must give every record exactly once and at least what the writer said it
// had committed before the walk began; First/Next of the dataset on CODE and on RANK. When the writer has
// made its last change it writes what the table holds to a file and stays logged in; the walker's next
// walks, one of each kind, must show exactly that.
//
//   lm_walk_while_writing [SECONDS] [--dir DIR]   the walker and parent (12 seconds by default)
//   lm_walk_while_writing writer DIR MILLISECONDS the writer
//
// LM_WALK_SECONDS gives the parent's default time.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/locks.h"
#include "engine/core/navigation.h"
#include "engine/core/record_writes.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "engine/dataset/engine_start.h"
#include "engine/dataset/xb_file_dataset.h"
#include "engine/index/index_driver.h"
#include "engine/index/semaphore_file.h"
#include "tests/soak/station_process.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono;
using soak::fail;
using soak::startEngine;

const std::vector<std::string> kFields = {"id, N, 7, 0",    "gen, N, 6, 0",   "kgen, N, 6, 0",
                                          "code, C, 40, 0", "rank, N, 11, 0", "note, C, 50, 0",
                                          "chk, N, 10, 0"};
const std::vector<std::string> kIndexList = {"CODE,F,F,code", "", "RANK,T,F,rank", ""};
enum Field { kId = 1, kGen, kKgen, kCode, kRank, kNote, kChk };

constexpr int kSeedRows = 2000;
// The writer appends no more than this; beyond it, it only rewrites, deletes and recalls.
constexpr int32_t kMaxRows = 6000;
// rank = id + kRankStep * level; the level only goes down, and stops at kLowestLevel (the int32 range).
constexpr int32_t kRankStep = 1000000;
constexpr int32_t kLowestLevel = -2000;

struct Row {
    int32_t id = 0;
    int32_t gen = 0;
    int32_t kgen = 0;
    std::string code;
    int32_t rank = 0;
    std::string note;
    int32_t chk = 0;
    bool deleted = false;
};

int32_t hashOf(const Row& r) {
    const std::string text = std::to_string(r.id) + "|" + std::to_string(r.gen) + "|" +
                             std::to_string(r.kgen) + "|" + r.code + "|" + std::to_string(r.rank) + "|" +
                             r.note;
    uint32_t h = 2166136261u;
    for (unsigned char c : text) h = (h ^ c) * 16777619u;
    return static_cast<int32_t>(h % 1000000000u);
}

std::string codeOf(int64_t value, int32_t id) {
    char head[24];
    std::snprintf(head, sizeof head, "%010lld%07d", static_cast<long long>(value), id);
    std::string code = head;
    while (code.size() < 40) code += static_cast<char>('a' + (id * 7 + static_cast<int>(code.size())) % 26);
    return code;
}

int64_t codeValue(const std::string& code) {
    return std::atoll(code.substr(0, 10).c_str());
}

std::string noteOf(int32_t id, int32_t gen) {
    std::string note = "row " + std::to_string(id) + " gen " + std::to_string(gen) + " ";
    while (note.size() < 50)
        note += static_cast<char>('A' + (id * 3 + gen * 5 + static_cast<int>(note.size())) % 26);
    return note;
}

// A row of the given version with its hash.
Row makeRow(int32_t id, int32_t gen, int32_t kgen, int64_t codeValue, int32_t level) {
    Row r;
    r.id = id;
    r.gen = gen;
    r.kgen = kgen;
    r.code = codeOf(codeValue, id);
    r.rank = id + kRankStep * level;
    r.note = noteOf(id, gen);
    r.chk = hashOf(r);
    return r;
}

std::string describe(const Row& r) {
    return "id " + std::to_string(r.id) + " gen " + std::to_string(r.gen) + " kgen " +
           std::to_string(r.kgen) + " code " + r.code.substr(0, 17) + " rank " + std::to_string(r.rank);
}

// The current record of the engine's current area.
Row engineRow() {
    Row r;
    r.id = xb::TypedGetInt(xb::FieldAddress(kId));
    r.gen = xb::TypedGetInt(xb::FieldAddress(kGen));
    r.kgen = xb::TypedGetInt(xb::FieldAddress(kKgen));
    r.code = xb::TypedGetString(xb::FieldAddress(kCode));
    r.rank = xb::TypedGetInt(xb::FieldAddress(kRank));
    r.note = xb::TypedGetString(xb::FieldAddress(kNote));
    r.chk = xb::TypedGetInt(xb::FieldAddress(kChk));
    r.deleted = xb::Deleted();
    return r;
}

void putEngineRow(const Row& r) {
    auto putText = [](int field, const std::string& text) {
        xb::TypedSetString(xb::FieldAddress(field), static_cast<size_t>(xb::FieldLen(field)), text);
    };
    xb::TypedSetInt(xb::FieldAddress(kId), r.id);
    xb::TypedSetInt(xb::FieldAddress(kGen), r.gen);
    xb::TypedSetInt(xb::FieldAddress(kKgen), r.kgen);
    putText(kCode, r.code);
    xb::TypedSetInt(xb::FieldAddress(kRank), r.rank);
    putText(kNote, r.note);
    xb::TypedSetInt(xb::FieldAddress(kChk), r.chk);
}

bool sameContent(const Row& a, const Row& b) {
    return a.id == b.id && a.gen == b.gen && a.kgen == b.kgen && a.code == b.code && a.rank == b.rank &&
           a.note == b.note && a.chk == b.chk;
}

// What the writer has committed last, published after every change: the record count and the row last
// rewritten. Four words, the last a check of the others, so that a read that meets a write is ignored.
struct Published {
    int32_t count = 0;
    int32_t id = 0;
    int32_t gen = 0;
};

constexpr int32_t kPublishMagic = 0x5a17c3e1;

void publish(int fd, const Published& p) {
    const int32_t words[4] = {p.count, p.id, p.gen, p.count ^ p.id ^ p.gen ^ kPublishMagic};
    if (pwrite(fd, words, sizeof words, 0) != sizeof words) fail("writer", "cannot publish");
}

bool readPublished(int fd, Published& p) {
    int32_t words[4] = {};
    if (pread(fd, words, sizeof words, 0) != sizeof words) return false;
    if ((words[0] ^ words[1] ^ words[2] ^ kPublishMagic) != words[3]) return false;
    p = {words[0], words[1], words[2]};
    return true;
}

// ---- the writer -----------------------------------------------------------------------------------------

struct WriterCounts {
    long appends = 0, moves = 0, rewrites = 0, deletes = 0, recalls = 0;
};

int writerMain(const std::string& dir, long milliseconds) {
    xb::Engine engine;
    startEngine(engine, "writer");
    const int published = open((dir + "/published").c_str(), O_RDWR);
    if (published < 0) fail("writer", "no file to publish in");
    xb::Use(dir + "/walked.dbf", nullptr, 0);
    xb::SetIndexTo("");
    xb::SetIgnoreDel(false);

    // The model: what the writer knows the table holds, row by row.
    std::vector<Row> model(1);
    const int32_t start = xb::RecCount();
    for (int32_t r = 1; r <= start; ++r) {
        xb::Go(r);
        model.push_back(engineRow());
        if (model.back().id != r || hashOf(model.back()) != model.back().chk)
            fail("writer",
                 "record " + std::to_string(r) + " is not the row seeded: " + describe(model.back()));
    }

    std::mt19937 rng(static_cast<unsigned>(getpid()));
    WriterCounts counts;
    Published pub{start, 0, 0};
    // The writer goes on past its time until the walker says it has walked enough beside it: on a busy
    // machine (or under the sanitizers) the walks are slow, and walks made after the last write test
    // nothing. Four minutes more at most, so that a walker that stopped answering ends the run.
    const auto end = steady_clock::now() + std::chrono::milliseconds(milliseconds);
    const auto latest = end + std::chrono::minutes(4);
    const std::string enough = dir + "/walked-enough";
    while (steady_clock::now() < end || (!fs::exists(enough) && steady_clock::now() < latest)) {
        // Changes come in bursts, with a pause between them.
        const int burst = 1 + static_cast<int>(rng() % 40);
        for (int i = 0; i < burst; ++i) {
            const int32_t count = static_cast<int32_t>(model.size() - 1);
            const unsigned roll = rng() % 100;
            if (roll < 35 && count < kMaxRows) {
                soak::lockOrWait(xb::ALock, microseconds(100));
                const int32_t id = xb::RecCount() + 1;
                if (id != count + 1)
                    fail("writer", "the table has " + std::to_string(id - 1) + " records, not " +
                                       std::to_string(count));
                const Row row =
                    makeRow(id, 1, 1, rng() % 100000000, 1000 + static_cast<int32_t>(rng() % 1000));
                xb::ClearRecord();
                putEngineRow(row);
                xb::Append();
                if (xb::RecNo() != id)
                    fail("writer", "the append went to record " + std::to_string(xb::RecNo()));
                xb::Unlock();
                model.push_back(row);
                pub.count = id;
                ++counts.appends;
            } else {
                const int32_t id = 1 + static_cast<int32_t>(rng() % static_cast<unsigned>(count));
                Row& was = model[static_cast<size_t>(id)];
                if (was.deleted && roll % 3 != 0) continue;  // deleted rows come back now and then
                xb::Go(id);
                soak::lockOrWait(xb::RLock, microseconds(100));
                xb::Go(id);  // the record as it stands now
                if (!sameContent(engineRow(), was) || xb::Deleted() != was.deleted)
                    fail("writer", "record " + std::to_string(id) + " holds " + describe(engineRow()) +
                                       ", not the row written last, " + describe(was));
                if (was.deleted) {
                    xb::RecallRec();
                    was.deleted = false;
                    ++counts.recalls;
                } else if (roll >= 88) {
                    xb::DeleteRec();
                    was.deleted = true;
                    ++counts.deletes;
                } else {
                    // Keys move forward in both orders; a row whose rank cannot go lower keeps its keys.
                    const int32_t level = (was.rank - was.id) / kRankStep;
                    const bool move = roll < 80 && level > kLowestLevel;
                    const int32_t newLevel =
                        move ? std::max(kLowestLevel, level - 1 - static_cast<int32_t>(rng() % 20)) : level;
                    const int64_t value = codeValue(was.code) + (move ? 1 + rng() % 1000000 : 0);
                    const Row row = makeRow(id, was.gen + 1, move ? was.gen + 1 : was.kgen, value, newLevel);
                    putEngineRow(row);
                    xb::Replace();
                    was = row;
                    ++(move ? counts.moves : counts.rewrites);
                }
                xb::Unlock();
                pub.id = id;
                pub.gen = was.gen;
            }
            publish(published, pub);
        }
        std::this_thread::sleep_for(microseconds(200 + rng() % 1500));
    }

    // The last change is committed: what the table holds goes to the marker, written whole before it is
    // named, and the station stays logged in until the walker has looked.
    {
        std::ofstream out(dir + "/done.tmp");
        for (size_t i = 1; i < model.size(); ++i) {
            const Row& r = model[i];
            out << r.id << ' ' << r.gen << ' ' << r.kgen << ' ' << r.code << ' ' << r.rank << ' ' << r.deleted
                << '\n';
        }
        if (!out) fail("writer", "cannot write the marker");
    }
    fs::rename(dir + "/done.tmp", dir + "/done");
    std::cout << counts.appends << ' ' << counts.moves << ' ' << counts.rewrites << ' ' << counts.deletes
              << ' ' << counts.recalls << std::endl;
    char c;
    while (read(0, &c, 1) > 0) {
    }
    xb::CloseAllDatabases();
    close(published);
    return 0;
}

// ---- the walker -----------------------------------------------------------------------------------------

// The checks of one walk, fed row by row.
class WalkCheck {
public:
    WalkCheck(std::string what, bool byCode, bool shown)
        : m_what(std::move(what)), m_byCode(byCode), m_shown(shown) {}

    // recNo: the record the walk says it stands on; deleted rows count as faults unless shown.
    void add(const Row& r, int32_t recNo) {
        ++m_rows;
        if (r.chk != hashOf(r) || r.note != noteOf(r.id, r.gen) ||
            r.code.substr(17) != codeOf(0, r.id).substr(17))
            fault("a row half written or torn: " + describe(r));
        if (r.id != recNo) fault("record " + std::to_string(recNo) + " shows the row of " + describe(r));
        if (r.deleted && !m_shown) fault("a deleted row shown: " + describe(r));
        if (!m_order.empty()) {
            const Row& last = m_order.back();
            const bool after = m_byCode ? r.code > last.code : r.rank < last.rank;
            if (!after) fault(describe(r) + " comes after " + describe(last));
        }
        if (auto it = m_seen.find(r.id); it != m_seen.end()) {
            // A second sighting is a version whose keys moved after the one seen first.
            if (r.kgen <= it->second.gen)
                fault("shown twice: " + describe(it->second) + ", then " + describe(r));
            ++m_again;
        }
        m_seen[r.id] = r;
        m_order.push_back(r);
    }
    const std::vector<Row>& order() const { return m_order; }
    const std::map<int32_t, Row>& seen() const { return m_seen; }
    long again() const { return m_again; }
    [[noreturn]] void fault(const std::string& what) const {
        fail("walker", m_what + ", row " + std::to_string(m_rows) + ": " + what);
    }

private:
    std::string m_what;
    bool m_byCode;
    bool m_shown;
    long m_rows = 0;
    long m_again = 0;
    std::vector<Row> m_order;
    std::map<int32_t, Row> m_seen;
};

enum class Walk { EngineCode, EngineRank, Bracketed, DatasetCode, DatasetRank };

const char* walkName(Walk w) {
    switch (w) {
        case Walk::EngineCode:
            return "engine walk of CODE";
        case Walk::EngineRank:
            return "engine walk of RANK";
        case Walk::Bracketed:
            return "walk of CODE in one read bracket";
        case Walk::DatasetCode:
            return "dataset walk of CODE";
        default:
            return "dataset walk of RANK";
    }
}

struct Walker {
    std::unique_ptr<xb::TXbDbf> table;
    int area = 0;
    int published = -1;
    long walks[5] = {};
    long rows = 0;
    long again = 0;
    long fresh = 0;  // bracketed walks that had something published to check

    WalkCheck engineWalk(const std::string& what, bool byCode) {
        xb::Select(area);
        xb::Set_Order_To(byCode ? 1 : 2);
        WalkCheck check(what, byCode, false);
        for (xb::GoTop(); !xb::dEOF(); xb::Skip(1)) check.add(engineRow(), xb::RecNo());
        return check;
    }

    // Inside one read bracket nobody changes the index: every record once, deleted ones included, and
    // at least what the writer had published before the walk began.
    WalkCheck bracketedWalk(const std::string& what) {
        xb::Select(area);
        Published before;
        const bool known = readPublished(published, before);
        xb::Set_Order_To(1);
        xb::SetIgnoreDel(false);
        WalkCheck check(what, true, true);
        int32_t count = 0;
        {
            xb::IndexReadBracket read;
            if (!read.entered()) fail("walker", "no read bracket");
            for (xb::GoTop(); !xb::dEOF(); xb::Skip(1)) check.add(engineRow(), xb::RecNo());
            count = xb::RecCount();
        }
        xb::SetIgnoreDel(true);
        if (static_cast<int32_t>(check.seen().size()) != count)
            check.fault("the walk showed " + std::to_string(check.seen().size()) + " of " +
                        std::to_string(count) + " records");
        if (known) {
            ++fresh;
            if (count < before.count)
                check.fault("the table has " + std::to_string(count) + " records, the writer had committed " +
                            std::to_string(before.count));
            if (before.id > 0) {
                const auto it = check.seen().find(before.id);
                if (it == check.seen().end() || it->second.gen < before.gen)
                    check.fault("record " + std::to_string(before.id) + " is older than its committed gen " +
                                std::to_string(before.gen));
            }
        }
        return check;
    }

    WalkCheck datasetWalk(const std::string& what, bool byCode) {
        xb::TXbDbf& t = *table;
        t.SetOrderToTag(byCode ? "CODE" : "RANK");
        WalkCheck check(what, byCode, false);
        for (t.First(); !t.Eof(); t.Next()) {
            Row r;
            r.id = t.FieldGetInt("id");
            r.gen = t.FieldGetInt("gen");
            r.kgen = t.FieldGetInt("kgen");
            r.code = t.FieldGetStr("code");
            r.rank = t.FieldGetInt("rank");
            r.note = t.FieldGetStr("note");
            r.chk = t.FieldGetInt("chk");
            check.add(r, t.RecNo());
        }
        return check;
    }

    WalkCheck walk(Walk kind, long number) {
        const std::string what = std::string(walkName(kind)) + " " + std::to_string(number);
        ++walks[static_cast<int>(kind)];
        WalkCheck check = [&] {
            switch (kind) {
                case Walk::EngineCode:
                    return engineWalk(what, true);
                case Walk::EngineRank:
                    return engineWalk(what, false);
                case Walk::Bracketed:
                    return bracketedWalk(what);
                case Walk::DatasetCode:
                    return datasetWalk(what, true);
                default:
                    return datasetWalk(what, false);
            }
        }();
        rows += static_cast<long>(check.order().size());
        again += check.again();
        return check;
    }
};

std::vector<Row> readMarker(const std::string& path) {
    std::ifstream in(path);
    std::vector<Row> rows;
    Row r;
    while (in >> r.id >> r.gen >> r.kgen >> r.code >> r.rank >> r.deleted) rows.push_back(r);
    return rows;
}

// The rows a walk of the final table must show, in order.
std::vector<std::pair<int32_t, int32_t>> expected(std::vector<Row> rows, bool byCode, bool shown) {
    if (!shown) std::erase_if(rows, [](const Row& r) { return r.deleted; });
    std::sort(rows.begin(), rows.end(),
              [&](const Row& a, const Row& b) { return byCode ? a.code < b.code : a.rank > b.rank; });
    std::vector<std::pair<int32_t, int32_t>> out;
    for (const Row& r : rows) out.emplace_back(r.id, r.gen);
    return out;
}

std::vector<std::pair<int32_t, int32_t>> shownOf(const WalkCheck& check) {
    std::vector<std::pair<int32_t, int32_t>> out;
    for (const Row& r : check.order()) out.emplace_back(r.id, r.gen);
    return out;
}

std::unique_ptr<xb::TXbDbf> openTable(const std::string& dir) {
    auto t = std::make_unique<xb::TXbDbf>();
    t->Name = "walked";
    t->SetDbfFileName(dir + "/walked.dbf");
    t->DbfFields = kFields;
    t->IndexList = kIndexList;
    t->ShowProgress = false;
    t->SetHideDeletedRecs(true);
    t->Open();
    if (!t->Active()) fail("walker", "open failed");
    return t;
}

void seed(xb::TXbDbf& t) {
    std::mt19937 rng(7);
    for (int32_t id = 1; id <= kSeedRows; ++id) {
        const Row r = makeRow(id, 1, 1, rng() % 100000000, 1000 + static_cast<int32_t>(rng() % 1000));
        while (!t.ALock()) std::this_thread::sleep_for(microseconds(100));
        t.Append();
        t.FieldPutInt("id", r.id);
        t.FieldPutInt("gen", r.gen);
        t.FieldPutInt("kgen", r.kgen);
        t.FieldPutStr("code", r.code);
        t.FieldPutInt("rank", r.rank);
        t.FieldPutStr("note", r.note);
        t.FieldPutInt("chk", r.chk);
        t.Post();
        t.UnLock();
    }
}

int parentMain(int seconds, std::string dir) {
    const bool ownDir = dir.empty();
    if (ownDir) {
        char pattern[] = "/tmp/lm_walk_XXXXXX";
        if (!mkdtemp(pattern)) fail("walker", "no temporary directory");
        dir = pattern;
    }
    fs::remove(dir + "/done");
    fs::remove(dir + "/walked-enough");
    xb::Engine engine;
    startEngine(engine, "walker");
    Walker w;
    w.table = openTable(dir);
    if (w.table->RecCount() == 0) seed(*w.table);
    w.published = open((dir + "/published").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (w.published < 0) fail("walker", "no file to publish in");
    xb::Select(0);
    w.area = xb::SelectedArea();
    // The dataset holds the alias the table's name gives.
    xb::Use(dir + "/walked.dbf ALIAS ENGINEWALK", nullptr, 0);
    xb::SetIndexTo("");
    xb::SetIgnoreDel(true);

    int toWriter[2], fromWriter[2];
    if (pipe(toWriter) != 0 || pipe(fromWriter) != 0) fail("walker", "pipe");
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(toWriter[0], 0);
        dup2(fromWriter[1], 1);
        close(toWriter[1]);
        close(fromWriter[0]);
        const std::string ms = std::to_string(seconds * 1000L);
        execl("/proc/self/exe", "lm_walk_while_writing", "writer", dir.c_str(), ms.c_str(),
              static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    close(toWriter[0]);
    close(fromWriter[1]);

    // Most walks go through the engine, the application's way of walking a tag as well as through the
    // dataset; each kind comes round often.
    const Walk cycle[] = {Walk::EngineCode,  Walk::EngineRank, Walk::Bracketed,   Walk::EngineCode,
                          Walk::DatasetCode, Walk::EngineRank, Walk::DatasetRank, Walk::EngineCode};
    long n = 0;
    const auto started = steady_clock::now();
    while (!fs::exists(dir + "/done")) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            fail("walker", "the writer ended early, status " + std::to_string(status));
        if (steady_clock::now() - started > std::chrono::seconds(seconds + 360))
            fail("walker", "the writer never finished");
        w.walk(cycle[n % std::size(cycle)], n + 1);
        ++n;
        if (n == 40) std::ofstream(dir + "/walked-enough").put('\n');
    }

    // After the writer's last commit, the very next walks show all of it, each kind.
    const std::vector<Row> final = readMarker(dir + "/done");
    for (const Walk kind :
         {Walk::EngineCode, Walk::EngineRank, Walk::Bracketed, Walk::DatasetCode, Walk::DatasetRank}) {
        const WalkCheck check = w.walk(kind, ++n);
        const bool byCode = kind != Walk::EngineRank && kind != Walk::DatasetRank;
        const auto want = expected(final, byCode, kind == Walk::Bracketed);
        const auto got = shownOf(check);
        if (got != want) {
            size_t i = 0;
            while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
            auto at = [](const std::vector<std::pair<int32_t, int32_t>>& v, size_t i) {
                return i < v.size()
                           ? "id " + std::to_string(v[i].first) + " gen " + std::to_string(v[i].second)
                           : std::string("the end");
            };
            fail("walker", std::string("after the last commit, the ") + walkName(kind) + " showed " +
                               std::to_string(got.size()) + " rows, not " + std::to_string(want.size()) +
                               "; row " + std::to_string(i + 1) + " is " + at(got, i) + ", not " +
                               at(want, i));
        }
        if (kind == Walk::Bracketed)
            for (const Row& r : final)
                if (check.seen().at(r.id).deleted != r.deleted)
                    fail("walker", "after the last commit, record " + std::to_string(r.id) + " is " +
                                       (r.deleted ? "not deleted" : "deleted"));
    }

    close(toWriter[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    char buffer[128] = {};
    const ssize_t got = read(fromWriter[0], buffer, sizeof buffer - 1);
    close(fromWriter[0]);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || got <= 0)
        fail("walker", "the writer ended with status " + std::to_string(status));
    long appends = 0, moves = 0, rewrites = 0, deletes = 0, recalls = 0;
    std::istringstream(buffer) >> appends >> moves >> rewrites >> deletes >> recalls;
    if (appends == 0 || moves == 0 || deletes == 0)
        fail("walker", "the writer did too little: " + std::string(buffer));
    if (w.walks[static_cast<int>(Walk::EngineCode)] < 5) fail("walker", "too few walks to tell anything");

    xb::Select(w.area);
    const xb::SemaphoreInfo reads = xb::CurrentSemaphoreInfo();
    xb::CloseDatabase();
    w.table.reset();
    close(w.published);
    std::cout << n << " walks (engine CODE " << w.walks[0] << ", engine RANK " << w.walks[1] << ", bracketed "
              << w.walks[2] << ", dataset CODE " << w.walks[3] << ", dataset RANK " << w.walks[4] << "), "
              << w.rows << " rows shown, " << w.again
              << " shown again after their keys moved; the writer: " << appends << " appends, " << moves
              << " moves, " << rewrites << " rewrites in place, " << deletes << " deletes, " << recalls
              << " recalls; " << final.size() << " records at the end; the engine area read "
              << reads.optimisticReads << " times without a lock, " << reads.thrownAway
              << " of them made again after a change: ok" << std::endl;
    if (ownDir) fs::remove_all(dir);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::string(argv[1]) == "writer") return writerMain(argv[2], std::atol(argv[3]));
    const soak::RunArgs args = soak::ParseRunArgs(argc, argv, 12, "LM_WALK_SECONDS");
    return parentMain(args.seconds, args.dir);
}
