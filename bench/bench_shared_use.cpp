// Shared use beside exclusive use on one table of 100,000 records with three tags (C, descending N, D)
// and a memo every 50 records, on local disk: a walk of tag C in key order (engine calls and the
// dataset), random Find on tag C, and appends (engine calls, the command layer, the dataset's whole
// row), and opening and closing the table through a dataset. Each figure is given with the file-system calls
// it makes per operation, by kind: what a network drive turns into round trips. The latency mode repeats the
// figures, fewer operations each, with every file-system call waiting 200 µs first, as a share on a network
// would.
//
// Shared here is one process opening the table without EXCLUSIVE, so the index semaphore is in use;
// no other station writes. The exclusive figure is the baseline of the shared one. Every append
// figure runs on its own copy of the table, so the walked table never grows.
//
// Usage: bench_shared_use [--quick]   (--quick: 20,000 records, for a look at the counts)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_report.h"
#include "bench/support/walk_roads.h"
#include "engine/core/dates.h"
#include "engine/core/dbf_file.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/locks.h"
#include "engine/core/memo_ops.h"
#include "engine/core/navigation.h"
#include "engine/core/record_writes.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "engine/dataset/index_services.h"
#include "engine/dataset/xb_file_dataset.h"
#include "engine/index/expr_unit.h"
#include "engine/index/index_driver.h"
#include "engine/index/mdx_build.h"
#include "engine/index/mdx_search.h"
#include "platform/file.h"
#include "platform/locale_facts.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using xb::platform::FileCallCounts;

using Row = bench::WalkRow;
constexpr int kKeyLength = bench::kWalkKeyLength;
constexpr int kLatencyMicros = 200;

struct Sizes {
    int records;  // in the table
    int appends;  // per append figure
    int steps;    // walk steps and finds in the latency mode
    int latencyAppends;
    int opens;  // per open figure (a fifth of them in the latency mode)
};

double seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

Row rowOf(const std::string& key, int i, bool memos) {
    return bench::WalkRowOf(key, i, memos);
}

std::vector<std::string> makeKeys(int n, uint32_t seed) {
    return bench::MakeWalkKeys(n, seed);
}

// The calls per operation by kind, as scripts/bench shows them: "r 1 w 0 l 0 u 0 s 0 o 0 x 0 d 0"
// (d: directory listings).
std::string callsText(const FileCallCounts& c, long ops) {
    const double n = ops > 0 ? static_cast<double>(ops) : 1.0;
    std::string out;
    auto add = [&](const char* kind, uint64_t v) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.2f", static_cast<double>(v) / n);
        std::string s = buf;
        s.erase(s.find_last_not_of('0') + 1);
        if (s.back() == '.') s.pop_back();
        if (!out.empty()) out += ' ';
        out += std::string(kind) + ' ' + s;
    };
    add("r", c.read);
    add("w", c.write);
    add("l", c.lock);
    add("u", c.unlock);
    add("s", c.stat);
    add("o", c.open);
    add("x", c.other);
    add("d", c.list);
    return out;
}

constexpr int kRounds = 3;

struct Measure {
    double perSecond = 0;
    long ops = 0;
    FileCallCounts calls;
    bool ok = true;
    std::string why;
};

// Times body, which answers the operations it did; the calls are counted over exactly that time.
Measure measure(const std::function<long()>& body) {
    Measure m;
    const FileCallCounts c0 = xb::platform::FileCalls();
    const auto t0 = Clock::now();
    m.ops = body();
    const auto t1 = Clock::now();
    m.calls = xb::platform::FileCalls() - c0;
    const double s = seconds(t0, t1);
    m.perSecond = s > 0 ? static_cast<double>(m.ops) / s : 0;
    return m;
}

// The pending engine error as text (taken, so the next figure starts clean).
std::string lastError() {
    return xb::ErrorMsg();
}

bool errorPending() {
    return xb::Engine::current().errors.pendingError != 0;
}

// ---- the table ----

// A fresh copy of the table (dbf, memo and index) under another name, for a figure that writes.
std::string copyTable(const std::string& dir, const std::string& from, const std::string& to) {
    for (const char* ext : {".dbf", ".dbt", ".mdx"}) {
        const fs::path src = fs::path(dir) / (from + ext);
        if (fs::exists(src))
            fs::copy_file(src, fs::path(dir) / (to + ext), fs::copy_options::overwrite_existing);
    }
    return (fs::path(dir) / to).string();
}

void removeTable(const std::string& path) {
    for (const char* ext : {".dbf", ".dbt", ".mdx"}) fs::remove(path + ext);
}

bool useTable(const std::string& path, bool shared) {
    if (!xb::Use(path + (shared ? "" : " EXCLUSIVE"), nullptr, 0)) return false;
    return xb::SetIndexTo("") && xb::SetOrderToTag("C");
}

std::unique_ptr<xb::TXbDbf> openDataset(const std::string& path, bool shared) {
    auto t = std::make_unique<xb::TXbDbf>();
    t->Name = "tbench";
    t->SetDbfFileName(path + ".dbf");
    t->DbfFields = bench::WalkTable().dbfFields;
    t->IndexList = bench::WalkTable().indexList;
    t->ShowProgress = false;
    t->SetExclusive(!shared);
    t->Open();
    if (!t->Active() || !t->SetOrderToTag("C")) return nullptr;
    return t;
}

// The walk the figures time, once with its keys read: every record, in key order.
bool walkIsInKeyOrder(const std::string& path, bool shared, int expected) {
    if (!useTable(path, shared)) return false;
    std::string previous;
    int n = 0;
    bool ordered = true;
    for (xb::GoTop(); !xb::dEOF(); xb::Skip(1)) {
        const std::string key = xb::TypedGetString(xb::FieldAddress(1));
        ordered = ordered && key >= previous;
        previous = key;
        ++n;
    }
    xb::CloseDatabase();
    return ordered && n == expected;
}

// ---- the figures ----

// Tag C from its first key to its end (or limit records) on one road, counting the records seen.
Measure walk(const std::string& path, bench::WalkRoad road, bool shared, int limit, int expected) {
    bench::WalkTable table;
    table.path = path;
    const FileCallCounts c0 = xb::platform::FileCalls();
    const bench::WalkRun run = bench::Walk(table, road, shared, "C", limit);
    Measure m;
    m.calls = xb::platform::FileCalls() - c0;
    m.ops = run.records;
    m.perSecond = run.wall > 0 ? static_cast<double>(run.records) / run.wall : 0;
    if (!run.ok) {
        m.ok = false;
        m.why = run.why;
    } else if (run.records != expected) {
        m.ok = false;
        m.why = "walked " + std::to_string(run.records) + " records of " + std::to_string(expected);
    }
    return m;
}

Measure engineFind(const std::string& path, bool shared, const std::vector<std::string>& texts) {
    Measure m;
    if (!useTable(path, shared)) {
        m.ok = false;
        m.why = "open: " + lastError();
        return m;
    }
    long found = 0;
    m = measure([&] {
        for (const std::string& t : texts) found += xb::Find(t) ? 1 : 0;
        return static_cast<long>(texts.size());
    });
    if (found != m.ops) {
        m.ok = false;
        m.why = std::to_string(found) + " of " + std::to_string(m.ops) + " keys found";
    }
    xb::CloseDatabase();
    return m;
}

// Checks that a table written by an append figure holds every row, and that tag C has every key.
void checkAppended(Measure& m, const std::string& path, int records, const std::vector<std::string>& added) {
    if (!m.ok) return;
    if (!useTable(path, false)) {
        m.ok = false;
        m.why = "reopen: " + lastError();
        return;
    }
    if (xb::RecCount() != records + static_cast<int32_t>(added.size())) {
        m.ok = false;
        m.why = std::to_string(xb::RecCount()) + " records after the appends";
    }
    for (size_t i = 0; i < added.size() && m.ok; i += 97)
        if (!xb::Find(added[i])) {
            m.ok = false;
            m.why = "appended key " + added[i] + " not in tag C";
        }
    xb::CloseDatabase();
}

// ALock, typed puts, Append and Unlock per record.
Measure engineAppend(const std::string& path, bool shared, int records,
                     const std::vector<std::string>& keys) {
    Measure m;
    if (!useTable(path, shared)) {
        m.ok = false;
        m.why = "open: " + lastError();
        return m;
    }
    m = measure([&] {
        long n = 0;
        for (size_t i = 0; i < keys.size(); ++i) {
            const Row r = rowOf(keys[i], static_cast<int>(i), false);
            if (!xb::ALock()) break;
            xb::ClearRecord();
            xb::TypedSetString(xb::FieldAddress(1), kKeyLength, r.c);
            xb::TypedSetInt(xb::FieldAddress(2), r.n);
            xb::TypedSetString(xb::FieldAddress(3), 10, r.d);
            if (!r.memo.empty()) xb::TypedSetInt(xb::FieldAddress(4), xb::AddMemo(r.memo));
            xb::TypedSetString(xb::FieldAddress(5), 30, r.nom);
            const bool ok = xb::Append();
            xb::Unlock();
            if (!ok) break;
            ++n;
        }
        return n;
    });
    if (m.ops != static_cast<long>(keys.size())) {
        m.ok = false;
        m.why = "append: " + lastError();
    }
    xb::CloseDatabase();
    checkAppended(m, path, records, keys);
    return m;
}

// Appends every key's row through a dataset, one row by appendOne (false: stop), and checks the table
// afterwards.
Measure datasetAppends(const std::string& path, bool shared, int records,
                       const std::vector<std::string>& keys,
                       const std::function<bool(xb::TXbDbf&, const Row&)>& appendOne) {
    Measure m;
    auto t = openDataset(path, shared);
    if (!t) {
        m.ok = false;
        m.why = "open: " + lastError();
        return m;
    }
    m = measure([&] {
        long n = 0;
        for (size_t i = 0; i < keys.size(); ++i) {
            if (!appendOne(*t, rowOf(keys[i], static_cast<int>(i), false)) || errorPending()) break;
            ++n;
        }
        return n;
    });
    if (m.ops != static_cast<long>(keys.size())) {
        m.ok = false;
        m.why = "append: " + lastError();
    }
    t->Close();
    t.reset();
    checkAppended(m, path, records, keys);
    return m;
}

// The command layer's road: a blank row under the append lock, then the values under the record lock.
Measure commandAppend(const std::string& path, bool shared, int records,
                      const std::vector<std::string>& keys) {
    return datasetAppends(path, shared, records, keys, [](xb::TXbDbf& t, const Row& r) {
        if (!t.ALock()) return false;
        t.AppendBlank();
        t.UnLock();
        if (!t.RLock()) return false;
        t.FieldPutStr("c", r.c);
        t.FieldPutInt("n", r.n);
        t.FieldPutStr("d", r.d);
        if (!r.memo.empty()) t.PutMField("m", {r.memo});
        t.FieldPutStr("nom", r.nom);
        t.ReplaceRec();
        t.UnLock();
        return true;
    });
}

// The dataset's whole-row road: Append, the field sets, Post (which takes the append lock when shared).
Measure datasetAppend(const std::string& path, bool shared, int records,
                      const std::vector<std::string>& keys) {
    return datasetAppends(path, shared, records, keys, [](xb::TXbDbf& t, const Row& r) {
        t.Append();
        t.FieldByName("c").SetAsString(r.c);
        t.FieldByName("n").SetAsInteger(r.n);
        t.FieldByName("d").SetAsString(r.d);
        if (!r.memo.empty()) t.FieldByName("m").SetAsString(r.memo);
        t.FieldByName("nom").SetAsString(r.nom);
        t.Post();
        return true;
    });
}

// Opens the table through a dataset (the application's road: the table, its index, the semaphore's
// login) and closes it again (the logout), count times.
Measure datasetOpen(const std::string& path, bool shared, int count) {
    Measure m = measure([&] {
        long n = 0;
        for (int i = 0; i < count; ++i) {
            auto t = openDataset(path, shared);
            if (!t) break;
            t->Close();
            ++n;
        }
        return n;
    });
    if (m.ops != count) {
        m.ok = false;
        m.why = "open: " + lastError();
    }
    return m;
}

// ---- the report ----

struct Line {
    std::string figure;
    std::string unit;
    Measure exclusive, shared;
};

double perOp(uint64_t calls, long ops) {
    return static_cast<double>(calls) / static_cast<double>(std::max(1L, ops));
}

void printTable(const std::string& title, const std::vector<Line>& lines) {
    std::printf("\n%s\n", title.c_str());
    std::printf("  %-58s %10s %10s %7s   %-42s %-42s\n", "operation", "exclusive", "shared", "ex/sh",
                "calls per op, exclusive: total (by kind)", "calls per op, shared: total (by kind)");
    // A walk on another road is also given as a share of the engine road's speed, and every walk's
    // shared speed as a share of its exclusive one (1.00 = as fast).
    const Line* engineRoad = nullptr;
    std::string walkRatios;
    for (const Line& l : lines) {
        if (l.figure.rfind("walk of", 0) != 0) continue;
        if (!engineRoad) engineRoad = &l;
        auto share = [](double a, double b) { return b > 0 ? a / b : 0.0; };
        char text[200];
        std::snprintf(text, sizeof text, "  %-58s %6.2f %6.2f %6.2f\n", l.figure.c_str(),
                      share(l.exclusive.perSecond, engineRoad->exclusive.perSecond),
                      share(l.shared.perSecond, engineRoad->shared.perSecond),
                      share(l.shared.perSecond, l.exclusive.perSecond));
        walkRatios += text;
    }
    for (const Line& l : lines) {
        const double ratio = l.shared.perSecond > 0 ? l.exclusive.perSecond / l.shared.perSecond : 0;
        char excl[64], shared[64];
        std::snprintf(excl, sizeof excl, "%5.2f", perOp(l.exclusive.calls.total(), l.exclusive.ops));
        std::snprintf(shared, sizeof shared, "%5.2f", perOp(l.shared.calls.total(), l.shared.ops));
        std::printf("  %-58s %10.0f %10.0f %6.2fx   %-42s %-42s\n", (l.figure + " (" + l.unit + ")").c_str(),
                    l.exclusive.perSecond, l.shared.perSecond, ratio,
                    (std::string(excl) + " (" + callsText(l.exclusive.calls, l.exclusive.ops) + ")").c_str(),
                    (std::string(shared) + " (" + callsText(l.shared.calls, l.shared.ops) + ")").c_str());
    }
    if (!walkRatios.empty())
        std::printf("\n  %-58s %6s %6s %6s\n%s", "walk: speed as a share of", "eng ex", "eng sh", "own ex",
                    walkRatios.c_str());
    std::fflush(stdout);
}

void report(const std::vector<Line>& lines, const std::string& suffix) {
    for (const Line& l : lines) {
        const std::string exclusiveName = l.figure + ", exclusive" + suffix;
        bench::ReportFigure(exclusiveName, l.exclusive.perSecond, l.unit, "", 0,
                            callsText(l.exclusive.calls, l.exclusive.ops));
        bench::ReportFigure(l.figure + ", shared" + suffix, l.shared.perSecond, l.unit, exclusiveName,
                            l.exclusive.perSecond, callsText(l.shared.calls, l.shared.ops));
    }
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const Sizes sizes = quick ? Sizes{20000, 4000, 500, 100, 50} : Sizes{100000, 20000, 2000, 500, 200};

    xb::Engine engine(xb::platform::LocaleFactsFromName("en_US"));
    engine.settings.ansi = true;
    engine.settings.century = true;
    xb::SetErrorTrap(false);
    xb::InstallExpressionEngine(engine);
    xb::InstallMemoUnit(engine);
    xb::InstallIndexEngine(engine);
    xb::InstallDatasetIndexServices();

    char dirName[] = "/tmp/bench-shared-XXXXXX";
    if (!mkdtemp(dirName)) return 1;
    const std::string dir = dirName;
    const std::string master = (fs::path(dir) / "league").string();

    const std::vector<std::string> keys = makeKeys(sizes.records, 42);
    auto t0 = Clock::now();
    if (!bench::BuildWalkTable(master, keys)) {
        std::fprintf(stderr, "cannot build the table: %s\n", lastError().c_str());
        return 1;
    }
    std::printf(
        "table of %d records, tags C, N (descending), D, a memo every %d records: built in %.1f s (%s)\n",
        sizes.records, bench::kWalkMemoEvery, seconds(t0, Clock::now()), dir.c_str());

    for (bool shared : {false, true})
        if (!walkIsInKeyOrder(master, shared, sizes.records)) {
            std::fprintf(stderr, "the %s walk of tag C is not every record in key order\n",
                         shared ? "shared" : "exclusive");
            return 1;
        }

    // Search texts: existing keys in random order.
    std::mt19937 rng(7);
    std::vector<std::string> finds(static_cast<size_t>(sizes.records));
    for (std::string& t : finds) t = keys[rng() % keys.size()];

    int failures = 0;
    auto check = [&](const std::string& what, const Measure& m) {
        if (m.ok) return;
        ++failures;
        std::fprintf(stderr, "%s: %s\n", what.c_str(), m.why.c_str());
    };

    int copies = 0;
    auto runAll = [&](int walkLimit, int findCount, int appendCount, int openCount) {
        const std::vector<std::string> findTexts(finds.begin(), finds.begin() + findCount);
        const int walked = std::min(walkLimit, sizes.records);
        // Every append figure adds the same keys, each to its own copy of the table.
        const std::vector<std::string> added = makeKeys(appendCount, 1000u);
        std::vector<Line> lines;
        // Exclusive and shared take turns, three times each, and each keeps its best run: the machine's
        // other work and a cold start then weigh on neither side alone.
        auto pair = [&](const std::string& figure, const std::string& unit,
                        const std::function<Measure(bool shared)>& run) {
            Line l{figure, unit, run(false), run(true)};
            for (int round = 1; round < kRounds; ++round) {
                for (bool shared : {false, true}) {
                    Measure m = run(shared);
                    Measure& best = shared ? l.shared : l.exclusive;
                    if (!m.ok) best = m;
                    if (best.ok && m.perSecond > best.perSecond) best = m;
                }
            }
            check(figure + ", exclusive", l.exclusive);
            check(figure + ", shared", l.shared);
            lines.push_back(l);
        };
        auto onCopy = [&](const std::function<Measure(const std::string&)>& run) {
            const std::string path = copyTable(dir, "league", "copy" + std::to_string(++copies));
            Measure m = run(path);
            removeTable(path);
            return m;
        };
        for (bench::WalkRoad road :
             {bench::WalkRoad::Engine, bench::WalkRoad::Command, bench::WalkRoad::Dataset})
            pair(std::string("walk of tag C, ") + bench::WalkRoadName(road), "records/s",
                 [&](bool shared) { return walk(master, road, shared, walkLimit, walked); });
        pair("random Find on tag C", "finds/s",
             [&](bool shared) { return engineFind(master, shared, findTexts); });
        pair("open and close, dataset", "opens/s",
             [&](bool shared) { return datasetOpen(master, shared, openCount); });
        pair("append, engine ALock/Append/Unlock", "records/s", [&](bool shared) {
            return onCopy(
                [&](const std::string& p) { return engineAppend(p, shared, sizes.records, added); });
        });
        pair("append, command layer AppendBlank/ReplaceRec", "records/s", [&](bool shared) {
            return onCopy(
                [&](const std::string& p) { return commandAppend(p, shared, sizes.records, added); });
        });
        pair("append, dataset Append/Post", "records/s", [&](bool shared) {
            return onCopy(
                [&](const std::string& p) { return datasetAppend(p, shared, sizes.records, added); });
        });
        return lines;
    };

    const std::vector<Line> local = runAll(sizes.records, sizes.records, sizes.appends, sizes.opens);
    printTable("local disk (" + std::to_string(sizes.records) + " walked and found, " +
                   std::to_string(sizes.appends) + " appended)",
               local);

    xb::platform::SetFileCallLatency(std::chrono::microseconds(kLatencyMicros));
    const std::vector<Line> latency = runAll(sizes.steps, sizes.steps, sizes.latencyAppends, sizes.opens / 5);
    xb::platform::SetFileCallLatency(std::chrono::microseconds(0));
    printTable("every file-system call waiting " + std::to_string(kLatencyMicros) + " us (" +
                   std::to_string(sizes.steps) + " steps and finds, " + std::to_string(sizes.latencyAppends) +
                   " appended)",
               latency);

    report(local, "");
    report(latency, ", " + std::to_string(kLatencyMicros) + " us per call");

    fs::remove_all(dir);
    if (failures) std::fprintf(stderr, "%d figures failed their checks\n", failures);
    return failures == 0 ? 0 : 1;
}
