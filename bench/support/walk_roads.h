// The walk in key order on each of the three roads a caller takes through a table's order: the engine's
// own calls (GoTop, Skip(1)), the command layer (GoTop, Skip(1), IsEof on a TXbDbf) and the dataset
// (First, Next, Eof). Shared by bench_shared_use and bench_walks; written against the calls every
// build since the network-share work has, so that scripts/bench can build bench_walks on an older
// commit and compare the two in one run.
//
// A walk is timed by the thread's CPU clock as well as the wall clock: on a machine other work shares,
// the wall time of a walk that never waits for a disk moves with the others' load, its CPU time much
// less.
#pragma once

#include <time.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/core/dates.h"
#include "engine/core/dbf_file.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/memo_ops.h"
#include "engine/core/navigation.h"
#include "engine/core/record_writes.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "engine/dataset/xb_file_dataset.h"
#include "engine/index/index_driver.h"
#include "engine/index/mdx_build.h"
#include "platform/file.h"

namespace bench {

// ---- the table: 12-character random keys (tag C: rows spread over the file), a number that a hash of
// the row number makes (tag N, descending: spread too), and dates that follow the row number by year
// (tag D: the rows of a key range lie near each other), a memo every 50 rows ----

constexpr int kWalkKeyLength = 12;
constexpr int kWalkMemoEvery = 50;

// The table's fields in engine order: 1 c, 2 n, 3 d, 4 m, 5 nom.
inline const std::vector<xb::FieldDef>& WalkFields() {
    static const std::vector<xb::FieldDef> fields = {{"c", 'C', kWalkKeyLength, 0},
                                                     {"n", 'N', 8, 0},
                                                     {"d", 'D', 8, 0},
                                                     {"m", 'M', 10, 0},
                                                     {"nom", 'C', 30, 0}};
    return fields;
}

// The values of row i (0-based), the same whichever road writes them. Only the table's own rows carry
// memos: a memo write ends in two disk syncs, which on a local disk outweigh everything else an append
// does and would hide the calls the append figures are there to count.
struct WalkRow {
    std::string c;
    int32_t n;
    std::string d;  // in the current date picture
    std::string memo;
    std::string nom;
};

inline WalkRow WalkRowOf(const std::string& key, int i, bool memos) {
    WalkRow r;
    r.c = key;
    r.n = static_cast<int32_t>((static_cast<uint32_t>(i) * 2654435761u) % 10000000u);
    char canonical[16];
    std::snprintf(canonical, sizeof canonical, "%02d/%02d/%04d", 1 + i % 12, 1 + (i / 12) % 28,
                  1990 + (i / 336) % 40);
    r.d = canonical;
    xb::FormatDateStr(r.d);
    if (memos && i % kWalkMemoEvery == 0)
        r.memo = "Row " + std::to_string(i) + ": notes on the match, the referee and the crowd.\r\n" +
                 std::string(200, 'x');
    r.nom = "Olympique de Marseille " + std::to_string(i % 997);
    return r;
}

inline std::vector<std::string> MakeWalkKeys(int n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<std::string> keys(static_cast<size_t>(n));
    for (std::string& k : keys) {
        k.resize(kWalkKeyLength);
        for (char& ch : k) ch = static_cast<char>('A' + rng() % 26);
    }
    return keys;
}

// Creates the table at path (no extension) with one row per key and its production index.
inline bool BuildWalkTable(const std::string& path, const std::vector<std::string>& keys) {
    xb::TableBlock b;
    if (!xb::CreateDbf(b, path, WalkFields())) return false;
    xb::CloseDbf(b);
    if (!xb::Use(path + " EXCLUSIVE", nullptr, 0)) return false;
    for (int i = 0; i < static_cast<int>(keys.size()); ++i) {
        const WalkRow r = WalkRowOf(keys[static_cast<size_t>(i)], i, true);
        xb::ClearRecord();
        xb::TypedSetString(xb::FieldAddress(1), kWalkKeyLength, r.c);
        xb::TypedSetInt(xb::FieldAddress(2), r.n);
        xb::TypedSetString(xb::FieldAddress(3), 10, r.d);
        if (!r.memo.empty()) xb::TypedSetInt(xb::FieldAddress(4), xb::AddMemo(r.memo));
        xb::TypedSetString(xb::FieldAddress(5), 30, r.nom);
        if (!xb::Append()) return false;
    }
    const std::vector<xb::TagDefinition> defs = {
        {"C", "c", "", false, false}, {"N", "n", "", true, false}, {"D", "d", "", false, false}};
    const bool ok = xb::MakeIndex(defs, "");
    xb::CloseDatabase();
    return ok;
}

// ---- the walks ----

enum class WalkRoad { Engine, Command, Dataset };

inline const char* WalkRoadName(WalkRoad road) {
    switch (road) {
        case WalkRoad::Engine:
            return "GoTop/Skip(1)";
        case WalkRoad::Command:
            return "command layer GoTop/Skip(1)";
        default:
            return "dataset First/Next";
    }
}

inline double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// The table the walks open (without extension), as the engine and as a dataset.
struct WalkTable {
    std::string path;
    std::vector<std::string> dbfFields = {"c, C, 12, 0", "n, N, 8, 0", "d, D, 8, 0", "m, M, 10, 0",
                                          "nom, C, 30, 0"};
    std::vector<std::string> indexList = {"C,F,F,c", "", "N,T,F,n", "", "D,F,F,d", ""};
};

// One walk of a tag: records seen, wall and CPU seconds.
struct WalkRun {
    long records = 0;
    double wall = 0;
    double cpu = 0;
    uint64_t calls = 0;  // file-system calls made by the walk (the open and close not counted)
    bool ok = false;
    std::string why;
};

inline std::unique_ptr<xb::TXbDbf> OpenWalkDataset(const WalkTable& t, bool shared, const std::string& tag) {
    auto d = std::make_unique<xb::TXbDbf>();
    d->Name = "twalk";
    d->SetDbfFileName(t.path + ".dbf");
    d->DbfFields = t.dbfFields;
    d->IndexList = t.indexList;
    d->ShowProgress = false;
    d->SetExclusive(!shared);
    d->Open();
    if (!d->Active() || !d->SetOrderToTag(tag)) return nullptr;
    return d;
}

// Walks tag from its first key to its end (at most limit records) on road; the table is opened before
// and closed after the timed part. visit, when given, runs on every record (inside the timing).
inline WalkRun Walk(const WalkTable& t, WalkRoad road, bool shared, const std::string& tag, long limit,
                    const std::function<void()>& visit = {}) {
    WalkRun run;
    using Clock = std::chrono::steady_clock;
    std::unique_ptr<xb::TXbDbf> d;
    if (road == WalkRoad::Engine) {
        if (!xb::Use(t.path + (shared ? "" : " EXCLUSIVE"), nullptr, 0) || !xb::SetIndexTo("") ||
            !xb::SetOrderToTag(tag)) {
            run.why = "open: " + xb::ErrorMsg();
            xb::CloseDatabase();
            return run;
        }
    } else {
        d = OpenWalkDataset(t, shared, tag);
        if (!d) {
            run.why = "open: " + xb::ErrorMsg();
            return run;
        }
    }
    const uint64_t calls0 = xb::platform::FileCalls().total();
    const double c0 = ThreadCpuSeconds();
    const auto t0 = Clock::now();
    long n = 0;
    switch (road) {
        case WalkRoad::Engine:
            for (xb::GoTop(); !xb::dEOF() && n < limit; xb::Skip(1)) {
                if (visit) visit();
                ++n;
            }
            break;
        case WalkRoad::Command:
            for (d->GoTop(); !d->IsEof() && n < limit; d->Skip(1)) {
                if (visit) visit();
                ++n;
            }
            break;
        case WalkRoad::Dataset:
            for (d->First(); !d->Eof() && n < limit; d->Next()) {
                if (visit) visit();
                ++n;
            }
            break;
    }
    run.wall = std::chrono::duration<double>(Clock::now() - t0).count();
    run.cpu = ThreadCpuSeconds() - c0;
    run.calls = xb::platform::FileCalls().total() - calls0;
    run.records = n;
    run.ok = xb::Engine::current().errors.pendingError == 0;
    if (!run.ok) run.why = "walk: " + xb::ErrorMsg();
    if (d)
        d->Close();
    else
        xb::CloseDatabase();
    return run;
}

}  // namespace bench
