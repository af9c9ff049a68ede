// The file layer's count of its calls against a trace of the process: on a network share each call that
// names a file of the data folder is a round trip, and the benchmarks' figures are the layer's count.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "app/data/league_test_support.h"
#include "tests/support/child_process.h"
#include "tests/support/fixtures.h"
#include "tests/support/league_fill.h"

namespace {

// Whether a trace line names a file of dir (or dir itself): a path argument, or a descriptor that -y
// shows with its path.
bool namesFolder(const std::string& line, const std::string& dir) {
    for (size_t at = line.find(dir); at != std::string::npos; at = line.find(dir, at + 1)) {
        const char next = at + dir.size() < line.size() ? line[at + dir.size()] : '\0';
        if (next == '/' || next == '>' || next == '"') return true;
    }
    return false;
}

class FileCallsTraceTest : public leaguetest::LeagueTest {};

// A station's start, a store of a match, a note rewritten and the close that packs what changed: the
// layer counts each call a trace shows on the folder, of every kind (opens, reads, writes, locks, stats,
// listings, renames, unlinks, syncs), no more and no fewer.
TEST_F(FileCallsTraceTest, TheCountIsWhatATraceOfTheFolderShows) {
    const std::string strace = "/usr/bin/strace";
    if (!std::ifstream(strace)) GTEST_SKIP() << "strace is not installed (scripts/setup installs it)";
    xbtest::FillLeagueTables(tmp.path(), xbtest::MakeSeason());
    xbtest::TempDir traces;
    const std::string trace = traces.file("trace");
    std::string counted;
    {
        // A leak check cannot run under a tracer: the sanitizer build's station goes without.
        xbtest::ChildProcess station(strace, {"-f", "-y", "-qq", "-E", "ASAN_OPTIONS=detect_leaks=0", "-o", trace,
                                              LM_LEAGUE_CHILD_PATH});
        ASSERT_EQ(station.ask("dir " + tmp.path() + "/"), "0");
        ASSERT_EQ(station.ask("tmpdir " + tmp.path()), "0");  // an index build's sorted runs are counted too
        EXPECT_EQ(station.ask("start"), "0");
        EXPECT_NE(station.ask("save 38 1 2 3 1"), "");
        EXPECT_EQ(station.ask("notes 101 Capitaine"), "1");
        EXPECT_NE(station.ask("close"), "0");
        counted = station.ask("calls");
        EXPECT_EQ(station.finish(), 0);
    }
    // The lines up to the answer that gave the count.
    std::ifstream in(trace);
    std::string line;
    long traced = 0;
    std::map<std::string, long> byCall;
    bool answered = false;
    while (std::getline(in, line)) {
        if (line.find("write(1") != std::string::npos && line.find("\"" + counted + "\\n\"") != std::string::npos) {
            answered = true;
            break;
        }
        // The commands the station reads name the folder too.
        if (line.find("<pipe:") != std::string::npos || !namesFolder(line, tmp.path())) continue;
        ++traced;
        const size_t pid = line.find(' ');
        ++byCall[line.substr(pid + 1, line.find('(') - pid - 1)];
    }
    ASSERT_TRUE(answered) << "the trace holds no answer " << counted;
    std::ostringstream calls;
    for (const auto& [name, n] : byCall) calls << name << " " << n << "; ";
    EXPECT_EQ(std::to_string(traced), counted) << calls.str();
}

}  // namespace
