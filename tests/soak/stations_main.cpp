// lm_stations: stations that die. One table with a memo and three tags (one with a FOR condition) is
// shared by three processes: one works through two work areas of its own, two through one each. They
// append rows and rewrite them (name, memo, generation) through the dataset component, as the
// application does, with trapping on. The parent kills a station with SIGKILL at random moments, and
// each station now and then arms a kill of itself at its k-th write from then on, which lands inside the
// index write lock; a new station is started in the place of each dead one. At the end no station may
// have halted, every write a station acknowledged is there exactly once, every row is whole (or blank: an
// append killed before its fill), and every tag equals a reindex of a copy of the files.
//
//   lm_stations [SECONDS] [--dir DIR] [--keep]       the parent (60 seconds by default)
//   lm_stations station DIR AREAS ST END SEED LOG     a station: ST its number, END the epoch second to stop
//
// LM_STATIONS_SECONDS gives the parent's default time (scripts/soak --stations runs it longer).
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
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
#include "engine/core/work_areas.h"
#include "engine/dataset/engine_start.h"
#include "engine/dataset/xb_file_dataset.h"
#include "engine/index/index_driver.h"
#include "engine/index/mdx_build.h"
#include "engine/index/semaphore_file.h"
#include "platform/file.h"
#include "tests/support/crash_rows.h"
#include "tests/support/mdx_checker.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono;
using xb::TXbDbf;

const std::vector<std::string> kFields = {"id, N, 9, 0", "gen, N, 8, 0", "name, C, 30, 0", "chk, N, 10, 0",
                                          "notes, M, 10, 0"};
const std::vector<std::string> kIndexList = {
    "ID,F,F,str(id,9)", "", "NAME,F,F,name", "", "HOT,F,F,str(gen,8)+str(id,9)", "mod(gen,3) <> 0"};
// Row id = station * kIdsPerStation + sequence, within the nine digits of the id field: a station makes
// far fewer rows than that before it is killed, and the run stops starting stations when their numbers
// run out (after 99,999 of them, about half a day).
constexpr int kIdsPerStation = 10000;
constexpr int kLastStation = 999999999 / kIdsPerStation;

std::string pad9(int32_t v) {
    const std::string s = std::to_string(v);
    return std::string(9 - std::min<size_t>(9, s.size()), ' ') + s;
}

std::vector<std::string> memoLines(int32_t id, int32_t gen) {
    std::vector<std::string> lines;
    const std::string text = xbtest::CrashMemoText(id, gen);
    size_t start = 0;
    for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
        lines.push_back(text.substr(start, at - start));
    lines.push_back(text.substr(start));
    return lines;
}

std::unique_ptr<TXbDbf> openTable(const std::string& dir, const std::string& name) {
    auto t = std::make_unique<TXbDbf>();
    t->Name = name;
    t->SetDbfFileName(dir + "/stations.dbf");
    t->DbfFields = kFields;
    t->IndexList = kIndexList;
    t->AutoFixRecCount = true;
    t->ShowProgress = false;
    t->Open();
    return t;
}

[[noreturn]] void fail(const std::string& what) {
    std::cerr << "station " << getpid() << ": " << what << std::endl;
    std::_Exit(4);
}

// ---- a station ----

int stationMain(const std::string& dir, int areas, int station, long endEpoch, unsigned seed,
                const std::string& logPath) {
    xb::Engine engine;
    xb::InstallEngineUnits(engine);
    // The application's setting: an error halts. A halt here fails the run.
    xb::SetErrorTrap(true);
    xb::SetHaltHandler([](const std::string& text, uint16_t code) {
        std::cerr << "station " << getpid() << " halted: " << code << " " << text << std::endl;
        std::_Exit(3);
    });
    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (log < 0) fail("cannot open " + logPath);
    // One write per acknowledgement, ended by " ." so that a line cut by a kill is told apart.
    auto note = [log](const std::string& line) {
        const std::string whole = line + " .\n";
        if (::write(log, whole.data(), whole.size()) != static_cast<ssize_t>(whole.size())) fail("log write");
    };
    std::vector<std::unique_ptr<TXbDbf>> tables;
    for (int a = 0; a < areas; ++a) {
        tables.push_back(openTable(dir, "st" + std::to_string(station) + "a" + std::to_string(a)));
        if (!tables.back()->Active()) fail("open failed");
        tables.back()->SetOrderToTag("ID");
    }
    std::mt19937 rng(seed);
    auto fill = [&rng](TXbDbf& t, int32_t id, int32_t gen) {
        std::string name;
        for (int i = 0; i < 30; ++i) name += static_cast<char>('A' + rng() % 26);
        t.FieldPutInt("id", id);
        t.FieldPutInt("gen", gen);
        t.FieldPutStr("name", name);
        t.FieldPutInt("chk", xbtest::CrashRowHash(id, gen, name));
        t.PutMField("notes", memoLines(id, gen));
        t.ReplaceRec();
    };
    auto lockRecord = [](TXbDbf& t) {
        while (!t.RLock()) std::this_thread::sleep_for(microseconds(100));
    };
    std::vector<std::pair<int32_t, int32_t>> own;  // id, generation of the rows written here
    int32_t seq = 0;
    // The repairs this station made of what dead stations left, reported with the write that met them.
    uint64_t repairsNoted = 0;
    auto noteRepairs = [&] {
        const uint64_t now = xb::SemaphoreRepairCount();
        if (now > repairsNoted) note("P " + std::to_string(now - repairsNoted));
        repairsNoted = now;
    };
    while (time(nullptr) < endEpoch) {
        TXbDbf& t = *tables[rng() % tables.size()];
        // Now and then this station dies at its k-th write from here: inside the index write lock for
        // most k.
        if (rng() % 100 == 0)
            xb::platform::InjectFault(xb::platform::FaultOp::Write, 1 + static_cast<int>(rng() % 30),
                                      xb::platform::kFaultKill);
        if (own.empty() || rng() % 2 == 0) {
            const int32_t id = station * kIdsPerStation + ++seq;
            if (seq >= kIdsPerStation) break;
            while (!t.ALock()) std::this_thread::sleep_for(microseconds(100));
            t.AppendBlank();
            t.UnLock();
            lockRecord(t);
            fill(t, id, 1);
            t.UnLock();
            own.emplace_back(id, 1);
            note("A " + std::to_string(id));
            noteRepairs();
        } else {
            auto& [id, gen] = own[rng() % own.size()];
            if (!t.Find(pad9(id))) fail("own row " + std::to_string(id) + " not found");
            lockRecord(t);
            fill(t, id, gen + 1);
            t.UnLock();
            ++gen;
            note("R " + std::to_string(id) + " " + std::to_string(gen));
            noteRepairs();
        }
        xb::platform::ClearFaults();
    }
    tables.clear();
    ::close(log);
    return 0;
}

// ---- the parent ----

struct Station {
    pid_t pid = 0;
    int areas = 1;
    int number = 0;
    bool killedByParent = false;
};

pid_t startStation(const std::string& dir, int areas, int number, long endEpoch, unsigned seed) {
    const std::vector<std::string> args = {"lm_stations",
                                           "station",
                                           dir,
                                           std::to_string(areas),
                                           std::to_string(number),
                                           std::to_string(endEpoch),
                                           std::to_string(seed),
                                           dir + "/log" + std::to_string(number)};
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv("/proc/self/exe", argv.data());
        std::_Exit(127);
    }
    return pid;
}

// Each tag's entries sorted by key and record: a kept-up tag may file equal keys in another order than
// a build, which is the same tag.
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

// What the stations acknowledged, folded in from each station's log once it has ended, so that the
// folder holds the logs of the living stations only however long the run.
struct Acknowledged {
    std::map<int32_t, int32_t> rows;  // id -> the last generation acknowledged
    uint64_t repairs = 0;

    void fold(const std::string& log) {
        {
            std::ifstream in(log);
            std::string line;
            while (std::getline(in, line)) {
                std::istringstream words(line);
                std::string kind, end;
                int64_t first = 0;
                int32_t gen = 1;
                words >> kind >> first;
                if (kind == "R") words >> gen;
                if (!(words >> end) || end != ".") continue;  // cut by the kill
                if (kind == "P") {
                    repairs += static_cast<uint64_t>(first);
                    continue;
                }
                int32_t& known = rows[static_cast<int32_t>(first)];
                known = std::max(known, gen);
            }
        }
        fs::remove(log);
    }
};

// Everything the files must show at the end; the faults found.
std::vector<std::string> checkFiles(const std::string& dir, const std::map<int32_t, int32_t>& acked,
                                    long& rowCount) {
    std::vector<std::string> faults;
    xb::Engine engine;
    xb::InstallEngineUnits(engine);
    xb::SetErrorTrap(true);
    xb::SetHaltHandler([&](const std::string& text, uint16_t code) {
        faults.push_back("the checking station halted: " + std::to_string(code) + " " + text);
        throw std::runtime_error("halt");
    });
    std::map<int32_t, int> seen;
    long blank = 0;
    int32_t count = 0;
    try {
        auto t = openTable(dir, "check");
        if (!t->Active()) return {"the table does not open"};
        t->SetOrderToTag("");
        count = t->RecCount();
        for (t->GoTop(); !t->IsEof(); t->Skip(1)) {
            const int32_t id = t->FieldGetInt("id"), gen = t->FieldGetInt("gen");
            const std::string name = t->FieldGetStr("name");
            if (id == 0 && gen == 0 && name.find_first_not_of(' ') == std::string::npos) {
                ++blank;
                continue;
            }
            const std::string row =
                "row " + std::to_string(id) + " (record " + std::to_string(t->RecNo()) + ")";
            if (++seen[id] == 2) faults.push_back(row + " is there twice");
            if (t->FieldGetInt("chk") != xbtest::CrashRowHash(id, gen, name))
                faults.push_back(row + " is torn");
            const auto it = acked.find(id);
            // The write in flight when a station died may have landed or not.
            if (it != acked.end() && gen != it->second && gen != it->second + 1)
                faults.push_back(row + " has generation " + std::to_string(gen) + ", acknowledged " +
                                 std::to_string(it->second));
            std::vector<std::string> lines;
            t->GetMField("notes", lines);
            if (lines != memoLines(id, gen) && lines != memoLines(id, gen + 1))
                faults.push_back(row + ": memo of another generation");
        }
    } catch (const std::exception&) {
        return faults;
    }
    for (const auto& [id, gen] : acked)
        if (!seen.count(id)) faults.push_back("acknowledged row " + std::to_string(id) + " is lost");

    // Every tag against a reindex of a copy of the files.
    const xbtest::MdxReport live =
        xbtest::CheckMdxFile(dir + "/stations.mdx", {false, static_cast<uint32_t>(count)});
    if (!live.ok()) faults.push_back("the index: " + live.text());
    const std::string copy = dir + "/copy";
    fs::create_directories(copy);
    for (const char* name : {"stations.dbf", "stations.dbt", "stations.mdx"})
        fs::copy_file(dir + "/" + name, copy + "/" + name, fs::copy_options::overwrite_existing);
    try {
        auto t = openTable(copy, "copy");
        if (!t->Active()) return {"the copy does not open"};
        t->Reindex();
    } catch (const std::exception&) {
        return faults;
    }
    const xbtest::MdxReport rebuilt =
        xbtest::CheckMdxFile(copy + "/stations.mdx", {true, static_cast<uint32_t>(count)});
    if (!rebuilt.ok()) faults.push_back("the reindexed copy: " + rebuilt.text());
    const auto a = sortedEntries(live), b = sortedEntries(rebuilt);
    if (a.size() != 3 || b.size() != 3) faults.push_back("not three tags");
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i] != b[i])
            faults.push_back("tag " + live.tags[i].name + " differs from its reindex (" +
                             std::to_string(a[i].size()) + " entries against " + std::to_string(b[i].size()) +
                             ")");
    rowCount = count;
    std::cout << count << " records, " << blank << " blank (appends killed before their fill), "
              << acked.size() << " rows acknowledged" << std::endl;
    return faults;
}

int parentMain(double secs, std::string dir, bool keep) {
    const bool ownDir = dir.empty();
    if (ownDir) {
        std::string pattern = (fs::temp_directory_path() / "lm_stations-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            std::cerr << "cannot make a folder in " << fs::temp_directory_path() << std::endl;
            return 1;
        }
        dir = pattern;
    }
    fs::create_directories(dir);
    {
        xb::Engine engine;
        xb::InstallEngineUnits(engine);
        auto t = openTable(dir, "maker");
        if (!t->Active()) {
            std::cerr << "cannot create the table: " << xb::ErrorMsg() << std::endl;
            return 1;
        }
    }
    std::mt19937 rng(static_cast<unsigned>(time(nullptr)));
    const long endEpoch = static_cast<long>(time(nullptr) + static_cast<long>(secs));
    std::vector<Station> stations = {{0, 2}, {0, 1}, {0, 1}};
    int started = 0, parentKills = 0, selfKills = 0;
    std::vector<std::string> faults;
    Acknowledged acked;
    auto start = [&](Station& s) {
        s.number = ++started;
        s.killedByParent = false;
        s.pid = startStation(dir, s.areas, s.number, endEpoch, rng());
    };
    for (auto& s : stations) start(s);
    auto reap = [&](Station& s, int status) {
        if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) {
            ++(s.killedByParent ? parentKills : selfKills);
        } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            faults.push_back("station " + std::to_string(s.number) + " ended with status " +
                             std::to_string(status));
        }
        acked.fold(dir + "/log" + std::to_string(s.number));
        s.pid = 0;
    };
    while (time(nullptr) < endEpoch) {
        std::this_thread::sleep_for(milliseconds(100 + rng() % 900));
        if (rng() % 2 == 0) {
            Station& s = stations[rng() % stations.size()];
            if (s.pid > 0) {
                s.killedByParent = true;
                ::kill(s.pid, SIGKILL);
            }
        }
        for (auto& s : stations) {
            int status = 0;
            if (s.pid > 0 && waitpid(s.pid, &status, WNOHANG) == s.pid) reap(s, status);
            if (s.pid == 0 && time(nullptr) + 2 < endEpoch && started < kLastStation) start(s);
        }
    }
    const auto giveUp = steady_clock::now() + seconds(120);
    for (auto& s : stations) {
        while (s.pid > 0) {
            int status = 0;
            if (waitpid(s.pid, &status, WNOHANG) == s.pid) {
                reap(s, status);
            } else if (steady_clock::now() > giveUp) {
                faults.push_back("station " + std::to_string(s.number) + " did not stop");
                ::kill(s.pid, SIGKILL);
                waitpid(s.pid, &status, 0);
                acked.fold(dir + "/log" + std::to_string(s.number));
                s.pid = 0;
            } else {
                std::this_thread::sleep_for(milliseconds(50));
            }
        }
    }
    long rows = 0;
    for (auto& f : checkFiles(dir, acked.rows, rows)) faults.push_back(f);
    std::cout << secs << " s: " << started << " stations, " << parentKills << " killed at random moments, "
              << selfKills << " killed at a write, " << acked.repairs
              << " repairs of what dead stations left" << std::endl;
    for (const auto& f : faults) std::cout << "FAULT: " << f << std::endl;
    if (faults.empty() && ownDir && !keep) fs::remove_all(dir);
    if (keep || !faults.empty()) std::cout << "files kept in " << dir << std::endl;
    if (!faults.empty()) return 1;
    if (parentKills + selfKills == 0 || rows == 0) {
        std::cout << "FAULT: nothing was killed or nothing written" << std::endl;
        return 1;
    }
    std::cout << "ok" << std::endl;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 7 && args[0] == "station")
        return stationMain(args[1], std::stoi(args[2]), std::stoi(args[3]), std::stol(args[4]),
                           static_cast<unsigned>(std::stoul(args[5])), args[6]);
    double secs = 60;
    if (const char* s = std::getenv("LM_STATIONS_SECONDS")) secs = std::atof(s);
    std::string dir;
    bool keep = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--dir" && i + 1 < args.size()) {
            dir = args[++i];
        } else if (args[i] == "--keep") {
            keep = true;
        } else if (!args[i].empty() && std::isdigit(static_cast<unsigned char>(args[i][0]))) {
            secs = std::stod(args[i]);
        } else {
            std::cerr << "usage: lm_stations [SECONDS] [--dir DIR] [--keep]" << std::endl;
            return 2;
        }
    }
    return parentMain(secs, dir, keep);
}
