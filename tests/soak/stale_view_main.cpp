// lm_stale_view: a fresh open never sees an older table than the open before it. One process (the writer)
// appends whole rows under the append lock, seeking its key first, and now and then rewrites a row under
// the record lock; the other (the reader) opens the table with its index, seeks the group with Find, walks
// it under a while-condition and closes, again and again. Every walk must give rows 1..n of the group in
// order (a prefix of the writes), n never smaller than the walk before, and at the end the whole group.
// The key of the walked order is long, so that its nodes split (and its root moves) often.
//
//   lm_stale_view [SECONDS] [--dir DIR]     the reader and parent (4 seconds by default)
//   lm_stale_view writer DIR END            the writer, until the epoch second END
//
// LM_STALE_SECONDS gives the parent's default time.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/dataset/engine_start.h"
#include "engine/dataset/xb_file_dataset.h"
#include "tests/soak/station_process.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono;
using soak::fail;
using soak::startEngine;
using xb::TXbDbf;

const std::vector<std::string> kFields = {"grp, N, 2, 0", "seq, N, 7, 0", "name, C, 60, 0", "gen, N, 6, 0"};
const std::vector<std::string> kIndexList = {
    "NAME,F,F,name",      "", "GRPSEQ,F,F,str(grp,2)+str(seq,7)+name", "",
    "SEQ,F,F,str(seq,7)", "", "ODD,F,F,str(gen,6)+str(seq,7)",         "mod(seq,2) = 1"};
constexpr int kGroup = 7;  // the walked group; rows of group 3 go in between, before it in key order

std::string nameOf(int32_t seq, int32_t gen) {
    std::string name = "row " + std::to_string(seq) + " gen " + std::to_string(gen) + " ";
    while (name.size() < 60) name += static_cast<char>('a' + (seq * 7 + gen * 3 + name.size()) % 26);
    return name;
}

std::unique_ptr<TXbDbf> openTable(const std::string& dir, const std::string& name) {
    auto t = std::make_unique<TXbDbf>();
    t->Name = name;
    t->SetDbfFileName(dir + "/stale.dbf");
    t->DbfFields = kFields;
    t->IndexList = kIndexList;
    t->ShowProgress = false;
    t->Open();
    return t;
}

std::string key(int grp, int32_t seq) {
    std::string s = std::to_string(grp);
    std::string k = std::string(2 - s.size(), ' ') + s;
    if (seq > 0) {
        s = std::to_string(seq);
        k += std::string(7 - s.size(), ' ') + s;
    }
    return k;
}

int writerMain(const std::string& dir, long endEpoch) {
    xb::Engine engine;
    startEngine(engine, "writer");
    auto t = openTable(dir, "writer");
    if (!t->Active()) fail("writer", "open failed");
    std::mt19937 rng(static_cast<unsigned>(getpid()));
    int32_t seq = 0;
    int32_t other = 0;
    while (time(nullptr) < endEpoch) {
        // Rows of another group, before the walked one in key order, now and then.
        const bool walked = rng() % 4 != 0;
        const int grp = walked ? kGroup : 3;
        const int32_t s = walked ? ++seq : ++other;
        soak::lockOrWait([&] { return t->ALock(); }, microseconds(200));
        t->SetOrderToTag("GRPSEQ");
        if (t->Find(key(grp, s))) fail("writer", "row " + key(grp, s) + " is there before its append");
        t->Append();
        t->FieldPutInt("grp", grp);
        t->FieldPutInt("seq", s);
        t->FieldPutStr("name", nameOf(s, 1));
        t->FieldPutInt("gen", 1);
        t->Post();
        t->UnLock();
        if (walked && seq > 1 && rng() % 3 == 0) {
            // A rewrite moves keys of every tag but the group's order of rows.
            const int32_t r = 1 + static_cast<int32_t>(rng() % static_cast<unsigned>(seq));
            t->SetOrderToTag("GRPSEQ");
            if (!t->Find(key(kGroup, r))) fail("writer", "row " + std::to_string(r) + " not found");
            soak::lockOrWait([&] { return t->RLock(); }, microseconds(200));
            t->Skip(0);
            const int32_t gen = t->FieldGetInt("gen") + 1;
            t->FieldPutStr("name", nameOf(r, gen));
            t->FieldPutInt("gen", gen);
            t->ReplaceRec();
            t->UnLock();
        }
    }
    t.reset();
    std::cout << seq << std::endl;
    return 0;
}

// One walk of the group: the sequence numbers in order.
std::vector<int32_t> walk(const std::string& dir, const std::string& name) {
    auto t = openTable(dir, name);
    if (!t->Active()) fail("reader", "open failed");
    t->SetOrderToTag("GRPSEQ");
    std::vector<int32_t> seen;
    if (t->Find(key(kGroup, 0))) {
        t->SetWhileTo("GRP=" + std::to_string(kGroup));
        for (; !t->IsEof(); t->Skip(1)) {
            if (t->FieldGetInt("grp") != kGroup) break;
            seen.push_back(t->FieldGetInt("seq"));
        }
        t->SetWhileTo("");
    }
    return seen;
}

// Empty when seen is 1..n in order.
std::string notAPrefix(const std::vector<int32_t>& seen) {
    for (size_t i = 0; i < seen.size(); ++i)
        if (seen[i] != static_cast<int32_t>(i + 1))
            return "row " + std::to_string(i + 1) + " of the walk is " + std::to_string(seen[i]);
    return "";
}

int parentMain(int seconds, std::string dir) {
    const bool ownDir = dir.empty();
    if (ownDir) {
        char pattern[] = "/tmp/lm_stale_XXXXXX";
        if (!mkdtemp(pattern)) fail("reader", "no temporary directory");
        dir = pattern;
    }
    xb::Engine engine;
    startEngine(engine, "reader");
    // The table made before the writer starts.
    openTable(dir, "maker");

    const long end = time(nullptr) + seconds;
    int out[2];
    if (pipe(out) != 0) fail("reader", "pipe");
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        const std::string endText = std::to_string(end);
        execl("/proc/self/exe", "lm_stale_view", "writer", dir.c_str(), endText.c_str(),
              static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    close(out[1]);

    size_t before = 0;
    long walks = 0;
    long grew = 0;
    int n = 0;
    while (time(nullptr) < end) {
        const std::vector<int32_t> seen = walk(dir, "reader" + std::to_string(++n % 3));
        ++walks;
        if (const std::string why = notAPrefix(seen); !why.empty())
            fail("reader", "walk " + std::to_string(walks) + " is not a prefix of the writes: " + why);
        if (seen.size() < before)
            fail("reader", "walk " + std::to_string(walks) + " saw " + std::to_string(seen.size()) +
                               " rows after a walk that saw " + std::to_string(before));
        if (seen.size() > before) ++grew;
        before = seen.size();
    }
    int status = 0;
    waitpid(pid, &status, 0);
    char buffer[64] = {};
    const ssize_t got = read(out[0], buffer, sizeof buffer - 1);
    close(out[0]);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || got <= 0)
        fail("reader", "the writer ended with status " + std::to_string(status));
    const size_t written = static_cast<size_t>(std::atol(buffer));
    const std::vector<int32_t> last = walk(dir, "final");
    if (last.size() != written || !notAPrefix(last).empty())
        fail("reader",
             "the last walk saw " + std::to_string(last.size()) + " of " + std::to_string(written) + " rows");
    std::cout << walks << " walks (" << grew << " saw more rows than the one before), " << written
              << " rows written: ok" << std::endl;
    if (ownDir) fs::remove_all(dir);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::string(argv[1]) == "writer") return writerMain(argv[2], std::atol(argv[3]));
    const soak::RunArgs args = soak::ParseRunArgs(argc, argv, 4, "LM_STALE_SECONDS");
    return parentMain(args.seconds, args.dir);
}
