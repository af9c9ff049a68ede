// lm_soak: the nine league tables under load. The parent makes the tables, starts four writers and a
// walker (this program again, by fork and exec), lets them work for the given time and then checks the
// result: every tag equals a rebuild of it, every row written is there exactly once with what its writer
// last wrote, the counts are exact and no process halted.
//
//   lm_soak [SECONDS] [--dir DIR] [--keep]      the parent (60 seconds by default)
//   lm_soak writer DIR N SECONDS SEED LOG       writer N (1..4): seek, append, replace, delete, pack tries
//   lm_soak walker DIR SECONDS                  walks every tag of every table in key order
//
// The children talk to the parent a line at a time: "ready" once their tables are open, then they wait
// for "go"; "done ..." when their time is over, then they wait for "close" before closing their tables,
// so that every pack a writer tries is tried while the others have the table open.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/work_areas.h"
#include "engine/dataset/dataset_framework.h"
#include "engine/dataset/engine_start.h"
#include "engine/dataset/xb_file_dataset.h"
#include "engine/index/semaphore_file.h"
#include "platform/paths.h"
#include "tests/soak/soak_tables.h"
#include "tests/support/mdx_checker.h"

namespace {

using namespace std::chrono;
using soak::RowId;
using soak::TableSpec;
using xb::TXbDbf;

constexpr int kSeedWriter = 9;
constexpr int kSeedRows = 40;

// A failure of the run: the child reports it and ends with status 1.
struct SoakFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string lineFrom(std::istream& in) {
    std::string line;
    if (!std::getline(in, line)) throw SoakFailure("the parent went away");
    return line;
}

std::string pendingErrorText() {
    auto& e = xb::Engine::current().errors;
    if (e.pendingError == 0) return {};
    const std::string text = "engine error " + std::to_string(e.pendingError) + ": " + e.detail;
    xb::TakeErrorMessage();
    return text;
}

void checkNoPendingError(const std::string& what) {
    const std::string text = pendingErrorText();
    if (!text.empty()) throw SoakFailure(what + ": " + text);
}

std::vector<std::unique_ptr<TXbDbf>> openAll(const std::string& dir, bool exclusive) {
    std::vector<std::unique_ptr<TXbDbf>> out;
    for (const auto& spec : soak::Tables()) {
        out.push_back(soak::OpenTable(dir, spec, exclusive));
        checkNoPendingError("opening " + spec.def->file);
        if (!out.back()->SetOrderToTag(spec.seekTag)) throw SoakFailure("no tag " + spec.seekTag);
    }
    return out;
}

// Waits for a lock the way the application does: tries again after a short pause.
template <class Try>
void waitForLock(Try tryLock, const char* what) {
    const auto give_up = steady_clock::now() + seconds(60);
    std::mt19937 pause(static_cast<unsigned>(getpid()));
    while (!tryLock()) {
        checkNoPendingError(what);
        if (steady_clock::now() > give_up) throw SoakFailure(std::string(what) + " not granted within 60 s");
        std::this_thread::sleep_for(microseconds(50 + pause() % 500));
    }
}

// Puts the cursor on a row by the seek tag; false when it is not there. The rows of one key prefix are
// read under the index read bracket: without it another station may move a row that shares the prefix
// past ours while we stand on it, and the skip from its new place would pass ours by.
bool seekRow(TXbDbf& t, const TableSpec& spec, RowId id) {
    xb::Select(t.Area());
    xb::IndexReadBracket read;
    if (!read.entered()) throw SoakFailure("read bracket refused: " + pendingErrorText());
    const bool found = t.Find(spec.seekKey(id));
    checkNoPendingError("Find in " + spec.def->file);
    if (!found) return false;
    for (int guard = 0; !t.IsEof() && guard < 100000; ++guard) {
        const RowId here = spec.identity(t);
        if (here == id) return true;
        if (!spec.samePrefix(here, id)) return false;
        t.Skip(1);
    }
    return false;
}

// ---- a writer ----

struct WriterState {
    int seq = 0;
    std::vector<int> live;              // own rows not deleted
    std::map<int, std::string> images;  // what each own row was last written with
};

int writerMain(const std::string& dir, int writer, double secs, unsigned seed, const std::string& logPath) {
    xb::Engine engine;
    xb::InstallEngineUnits(engine);
    std::mt19937 rng(seed);
    std::ofstream log(logPath);
    long appends = 0, replaces = 0, deletes = 0, finds = 0, packs = 0;
    try {
        auto tables = openAll(dir, false);
        const auto& specs = soak::Tables();
        std::vector<WriterState> state(specs.size());
        std::cout << "ready" << std::endl;
        if (lineFrom(std::cin) != "go") throw SoakFailure("expected go");
        const auto end = steady_clock::now() + duration<double>(secs);
        while (steady_clock::now() < end) {
            const size_t ti = rng() % specs.size();
            const TableSpec& spec = specs[ti];
            TXbDbf& t = *tables[ti];
            WriterState& st = state[ti];
            const std::string& file = spec.def->file;
            const int op = static_cast<int>(rng() % 200);
            auto pickLive = [&] { return st.live[rng() % st.live.size()]; };
            auto write = [&](RowId id, const char* what) {
                t.UnLock();
                waitForLock([&] { return t.RLock(); }, "record lock");
                spec.fill(t, id, rng);
                t.ReplaceRec();
                checkNoPendingError(std::string(what) + " in " + file);
                const std::string image = soak::RowImage(t);
                t.UnLock();
                st.images[id.seq] = image;
                log << "W " << ti << ' ' << id.seq << ' ' << image << '\n';
            };
            if ((op < 90 || st.live.empty()) && st.seq < spec.seqCap) {
                // Append under the append lock, then fill the new row under its record lock.
                waitForLock([&] { return t.ALock(); }, "append lock");
                t.AppendBlank();
                checkNoPendingError("AppendBlank in " + file);
                const RowId id{writer, ++st.seq};
                write(id, "append");
                st.live.push_back(id.seq);
                ++appends;
            } else if (st.live.empty()) {
                continue;
            } else if (op < 150) {
                const RowId id{writer, pickLive()};
                if (!seekRow(t, spec, id))
                    throw SoakFailure(file + ": own row " + std::to_string(id.seq) + " not found");
                write(id, "replace");
                ++replaces;
            } else if (op < 170 && st.live.size() > 3) {
                const size_t at = rng() % st.live.size();
                const RowId id{writer, st.live[at]};
                if (!seekRow(t, spec, id))
                    throw SoakFailure(file + ": own row " + std::to_string(id.seq) + " not found");
                waitForLock([&] { return t.RLock(); }, "record lock");
                t.DeleteRec();
                checkNoPendingError("DeleteRec in " + file);
                t.UnLock();
                st.live.erase(st.live.begin() + static_cast<long>(at));
                log << "D " << ti << ' ' << id.seq << '\n';
                ++deletes;
            } else if (op < 199) {
                const RowId id{writer, pickLive()};
                if (!seekRow(t, spec, id))
                    throw SoakFailure(file + ": own row " + std::to_string(id.seq) + " not found");
                const std::string image = soak::RowImage(t);
                if (image != st.images[id.seq])
                    throw SoakFailure(file + ": own row " + std::to_string(id.seq) + " reads [" + image +
                                      "], written [" + st.images[id.seq] + "]");
                ++finds;
            } else {
                // Every other station has the table open: the pack must be refused and change nothing.
                bool packed;
                {
                    xb::TrappingOff off;
                    packed = t.Pack();
                }
                const uint16_t code = xb::LastError();
                pendingErrorText();
                if (packed) throw SoakFailure(file + ": a pack went through while the table was shared");
                if (code != 32) throw SoakFailure(file + ": a refused pack reported " + std::to_string(code));
                if (!t.SetOrderToTag(spec.seekTag)) throw SoakFailure("no tag " + spec.seekTag);
                ++packs;
            }
        }
        log.close();
        std::cout << "done " << appends << ' ' << replaces << ' ' << deletes << ' ' << finds << ' ' << packs
                  << std::endl;
        if (lineFrom(std::cin) != "close") throw SoakFailure("expected close");
        tables.clear();
        checkNoPendingError("closing");
        std::cout << "closed" << std::endl;
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "writer " << writer << ": " << e.what() << std::endl;
        std::cout << "failed " << e.what() << std::endl;
        return 1;
    }
}

// ---- the walker ----

// The key of the current row in a tag, built from the field values as the tag's expression does: a
// single numeric field gives a number, everything else a text (str(f,n) pads to n or gives n "*").
struct Key {
    bool numeric = false;
    double number = 0;
    std::string text;
    bool operator<(const Key& o) const { return numeric ? number < o.number : text < o.text; }
};

struct KeyTerm {
    std::string field;
    int width = 0;  // 0: the field itself
    bool numericField = false;
};

std::vector<KeyTerm> parseKey(const app::LeagueTable& def, const std::string& expr) {
    std::vector<KeyTerm> terms;
    std::string lower;
    for (char c : expr)
        if (c != ' ') lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::stringstream in(lower);
    std::string term;
    while (std::getline(in, term, '+')) {
        KeyTerm k;
        if (term.rfind("str(", 0) == 0) {
            const size_t comma = term.find(',');
            k.field = term.substr(4, comma - 4);
            k.width = std::stoi(term.substr(comma + 1));
        } else {
            k.field = term;
        }
        for (const auto& f : def.fields)
            if (f.substr(0, f.find(',')) == k.field) k.numericField = f.find(", N,") != std::string::npos;
        terms.push_back(k);
    }
    return terms;
}

Key keyOf(TXbDbf& t, const std::vector<KeyTerm>& terms) {
    Key key;
    if (terms.size() == 1 && terms[0].width == 0 && terms[0].numericField) {
        key.numeric = true;
        key.number = t.FieldGetInt(terms[0].field);
        return key;
    }
    for (const auto& k : terms) {
        if (k.width == 0) {
            key.text += t.FieldGetStr(k.field);
            continue;
        }
        const std::string v = std::to_string(t.FieldGetInt(k.field));
        const size_t w = static_cast<size_t>(k.width);
        key.text += v.size() > w ? std::string(w, '*') : std::string(w - v.size(), ' ') + v;
    }
    return key;
}

int walkerMain(const std::string& dir, double secs) {
    xb::Engine engine;
    xb::InstallEngineUnits(engine);
    long walks = 0, rows = 0;
    try {
        auto tables = openAll(dir, false);
        const auto& specs = soak::Tables();
        std::cout << "ready" << std::endl;
        if (lineFrom(std::cin) != "go") throw SoakFailure("expected go");
        const auto end = steady_clock::now() + duration<double>(secs);
        while (steady_clock::now() < end) {
            for (size_t ti = 0; ti < specs.size() && steady_clock::now() < end; ++ti) {
                TXbDbf& t = *tables[ti];
                const auto& def = *specs[ti].def;
                for (const auto& tag : def.tags) {
                    const std::string name = tag.substr(0, tag.find(','));
                    const auto terms = parseKey(def, tag.substr(tag.find(",F,F,") + 5));
                    xb::Select(t.Area());
                    // One walk sees one state of the index: writers wait until it is over.
                    xb::IndexReadBracket read;
                    if (!read.entered()) throw SoakFailure("read bracket refused: " + pendingErrorText());
                    if (!t.SetOrderToTag(name)) throw SoakFailure("no tag " + name);
                    t.GoTop();
                    checkNoPendingError("GoTop in " + def.file);
                    Key last;
                    std::set<std::pair<int, int>> seen;
                    int count = 0;
                    while (!t.IsEof()) {
                        const Key key = keyOf(t, terms);
                        if (count > 0 && key < last)
                            throw SoakFailure(def.file + " tag " + name + ": key [" + key.text + "] after [" +
                                              last.text + "]");
                        const RowId id = specs[ti].identity(t);
                        if (id.writer != 0 && !seen.insert({id.writer, id.seq}).second)
                            throw SoakFailure(def.file + " tag " + name + ": row " +
                                              std::to_string(id.writer) + "/" + std::to_string(id.seq) +
                                              " visited twice");
                        last = key;
                        ++count;
                        t.Skip(1);
                        checkNoPendingError("Skip in " + def.file);
                    }
                    if (count != t.RecCount())
                        throw SoakFailure(def.file + " tag " + name + ": walked " + std::to_string(count) +
                                          " of " + std::to_string(t.RecCount()));
                    rows += count;
                    ++walks;
                }
                std::this_thread::sleep_for(milliseconds(2));
            }
        }
        std::cout << "done " << walks << ' ' << rows << std::endl;
        if (lineFrom(std::cin) != "close") throw SoakFailure("expected close");
        tables.clear();
        checkNoPendingError("closing");
        std::cout << "closed" << std::endl;
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "walker: " << e.what() << std::endl;
        std::cout << "failed " << e.what() << std::endl;
        return 1;
    }
}

// ---- the parent ----

class Child {
public:
    explicit Child(const std::vector<std::string>& args) {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) throw SoakFailure("pipe");
        // Made before the fork: a copy of a threaded process may not allocate before its exec.
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        m_pid = fork();
        if (m_pid == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            execv("/proc/self/exe", argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        m_in = in[1];
        m_out = out[0];
    }
    ~Child() {
        if (m_in >= 0) close(m_in);
        if (m_out >= 0) close(m_out);
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    void send(const std::string& line) {
        const std::string s = line + "\n";
        if (write(m_in, s.data(), s.size()) != static_cast<ssize_t>(s.size())) m_dead = true;
    }
    // The next line from the child; "" when it ended.
    std::string receive() {
        for (;;) {
            const size_t nl = m_buffer.find('\n');
            if (nl != std::string::npos) {
                std::string line = m_buffer.substr(0, nl);
                m_buffer.erase(0, nl + 1);
                return line;
            }
            char buf[4096];
            const ssize_t n = read(m_out, buf, sizeof buf);
            if (n <= 0) return {};
            m_buffer.append(buf, static_cast<size_t>(n));
        }
    }
    // The exit status, or 128 + the signal.
    int wait() {
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    pid_t m_pid = -1;
    int m_in = -1, m_out = -1;
    bool m_dead = false;
    std::string m_buffer;
};

struct Expected {
    std::string image;
    bool deleted = false;
};
using ExpectedRows = std::map<std::pair<int, int>, Expected>;  // (writer, seq) -> row

class Checker {
public:
    void fail(const std::string& text) {
        if (++m_failures <= 40) std::cout << "FAIL " << text << std::endl;
    }
    int failures() const { return m_failures; }

private:
    int m_failures = 0;
};

void seedTables(const std::string& dir, std::vector<ExpectedRows>& expected) {
    std::mt19937 rng(7);
    const auto& specs = soak::Tables();
    auto tables = openAll(dir, true);
    for (size_t ti = 0; ti < specs.size(); ++ti) {
        TXbDbf& t = *tables[ti];
        for (int s = 1; s <= kSeedRows; ++s) {
            if (!t.ALock()) throw SoakFailure("append lock refused on an exclusive table");
            t.AppendBlank();
            t.UnLock();
            if (!t.RLock()) throw SoakFailure("record lock refused on an exclusive table");
            specs[ti].fill(t, {kSeedWriter, s}, rng);
            t.ReplaceRec();
            checkNoPendingError("seeding " + specs[ti].def->file);
            expected[ti][{kSeedWriter, s}] = {soak::RowImage(t), false};
            t.UnLock();
        }
    }
}

void readLog(const std::string& path, int writer, std::vector<ExpectedRows>& expected, Checker& check) {
    std::ifstream in(path);
    if (!in) return check.fail("no log of writer " + std::to_string(writer));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream l(line);
        std::string kind;
        size_t ti = 0;
        int seq = 0;
        l >> kind >> ti >> seq;
        if (ti >= expected.size()) return check.fail("bad log line " + line);
        Expected& e = expected[ti][{writer, seq}];
        if (kind == "W") {
            l.get();
            std::getline(l, e.image);
        } else {
            e.deleted = true;
        }
    }
}

// Each tag's entries sorted by key and record: maintenance files equal keys in another order than a
// rebuild, which is the same tag.
std::vector<std::vector<xbtest::MdxEntry>> entriesOf(const xbtest::MdxReport& report) {
    std::vector<std::vector<xbtest::MdxEntry>> out;
    for (const auto& tag : report.tags) {
        auto e = tag.entries;
        std::stable_sort(e.begin(), e.end(), [&](const xbtest::MdxEntry& a, const xbtest::MdxEntry& b) {
            const int c = xbtest::CompareTagKeys(tag.type, tag.descending, a.key, b.key);
            return c != 0 ? c < 0 : a.record < b.record;
        });
        out.push_back(std::move(e));
    }
    return out;
}

std::string mdxName(const std::string& dir, const std::string& dbf) {
    return dir + "/" + dbf.substr(0, dbf.find('.')) + ".mdx";
}

void verify(const std::string& dir, const std::vector<ExpectedRows>& expected, Checker& check) {
    namespace fs = std::filesystem;
    const auto& specs = soak::Tables();
    const std::string copyDir = dir + "/reindexed";
    fs::create_directories(copyDir);
    for (size_t ti = 0; ti < specs.size(); ++ti) {
        const std::string& file = specs[ti].def->file;
        const std::string base = file.substr(0, file.find('.'));
        if (fs::exists(dir + "/" + base + ".@s@"))
            check.fail(file + ": the index semaphore outlived every station");
        // The rows as they stand: each one known, once, with what its writer last wrote.
        int32_t count = 0;
        {
            bool rebuilt = false;
            auto t = soak::OpenTable(dir, specs[ti], true, &rebuilt);
            checkNoPendingError("opening " + file);
            t->SetOrderToTag("");
            count = t->RecCount();
            std::set<std::pair<int, int>> seen;
            int rows = 0;
            for (t->GoTop(); !t->IsEof(); t->Skip(1)) {
                ++rows;
                const RowId id = specs[ti].identity(*t);
                const auto key = std::make_pair(id.writer, id.seq);
                const std::string where =
                    file + " row " + std::to_string(id.writer) + "/" + std::to_string(id.seq);
                if (!seen.insert(key).second) {
                    check.fail(where + " is there twice");
                    continue;
                }
                const auto it = expected[ti].find(key);
                if (it == expected[ti].end()) {
                    check.fail(where + " was never written: [" + soak::RowImage(*t) + "]");
                    continue;
                }
                const std::string image = soak::RowImage(*t);
                if (image != it->second.image)
                    check.fail(where + " holds [" + image + "], last written [" + it->second.image + "]");
                const bool deleted = t->ActiveRecord()[0] != 0;
                if (deleted != it->second.deleted)
                    check.fail(where + (deleted ? " is deleted" : " is not deleted") +
                               " against its writer's log");
            }
            checkNoPendingError("reading " + file);
            if (rebuilt) check.fail(file + ": opening rebuilt the index instead of using it");
            if (rows != count)
                check.fail(file + ": " + std::to_string(rows) + " rows visited of " + std::to_string(count));
            if (count != static_cast<int32_t>(expected[ti].size()))
                check.fail(file + ": " + std::to_string(count) + " rows, " +
                           std::to_string(expected[ti].size()) + " written");
            for (const auto& [key, row] : expected[ti])
                if (!seen.count(key))
                    check.fail(file + " row " + std::to_string(key.first) + "/" + std::to_string(key.second) +
                               " is lost");
        }
        // Every tag as maintained against a rebuild of a copy.
        const auto maintained =
            xbtest::CheckMdxFile(mdxName(dir, file), {false, static_cast<uint32_t>(count)});
        if (!maintained.ok()) check.fail(file + " index: " + maintained.text());
        for (const char* ext : {".dbf", ".mdx", ".dbt"})
            if (fs::exists(dir + "/" + base + ext))
                fs::copy_file(dir + "/" + base + ext, copyDir + "/" + base + ext,
                              fs::copy_options::overwrite_existing);
        {
            auto t = soak::OpenTable(copyDir, specs[ti], true);
            t->Reindex();
            checkNoPendingError("reindexing " + file);
        }
        const auto rebuilt =
            xbtest::CheckMdxFile(mdxName(copyDir, file), {true, static_cast<uint32_t>(count)});
        if (!rebuilt.ok()) check.fail(file + " rebuilt index: " + rebuilt.text());
        const auto before = entriesOf(maintained), after = entriesOf(rebuilt);
        if (before.size() != specs[ti].def->tags.size() || after.size() != before.size()) {
            check.fail(file + ": tag count differs");
            continue;
        }
        for (size_t tag = 0; tag < before.size(); ++tag) {
            if (before[tag].size() != static_cast<size_t>(count))
                check.fail(file + " tag " + maintained.tags[tag].name + ": " +
                           std::to_string(before[tag].size()) + " entries for " + std::to_string(count) +
                           " rows");
            if (before[tag] != after[tag])
                check.fail(file + " tag " + maintained.tags[tag].name + " differs from its rebuild");
        }
    }
}

int parentMain(double secs, std::string dir, bool keep) {
    namespace fs = std::filesystem;
    const bool ownDir = dir.empty();
    if (ownDir) {
        std::string pattern = (fs::path(xb::platform::TempDir()) / "lm_soak_XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            std::cerr << "soak: cannot make a folder in " << xb::platform::TempDir() << std::endl;
            return 1;
        }
        dir = pattern;
    }
    fs::create_directories(dir);
    // A child that failed has closed its end of the pipe; telling it to close must not end the parent.
    signal(SIGPIPE, SIG_IGN);
    std::cout << "soak: " << secs << " s in " << dir << std::endl;
    Checker check;
    xb::Engine engine;
    xb::InstallEngineUnits(engine);
    xb::SetErrorTrap(false);
    const auto& specs = soak::Tables();
    std::vector<ExpectedRows> expected(specs.size());
    try {
        seedTables(dir, expected);
        checkNoPendingError("closing the seeded tables");
        std::vector<std::unique_ptr<Child>> children;
        const std::string self = "/proc/self/exe";
        for (int w = 1; w <= 4; ++w)
            children.push_back(std::make_unique<Child>(std::vector<std::string>{
                self, "writer", dir, std::to_string(w), std::to_string(secs), std::to_string(1000 + w * 7919),
                dir + "/writer" + std::to_string(w) + ".log"}));
        children.push_back(
            std::make_unique<Child>(std::vector<std::string>{self, "walker", dir, std::to_string(secs)}));
        auto name = [](size_t i) {
            return i < 4 ? "writer " + std::to_string(i + 1) : std::string("walker");
        };
        bool ok = true;
        for (size_t i = 0; i < children.size(); ++i) {
            const std::string answer = children[i]->receive();
            if (answer != "ready") {
                check.fail(name(i) + " did not start: " + answer);
                ok = false;
            }
        }
        for (auto& c : children) c->send(ok ? "go" : "stop");
        for (size_t i = 0; ok && i < children.size(); ++i) {
            const std::string answer = children[i]->receive();
            if (answer.rfind("done ", 0) != 0) {
                check.fail(name(i) + " ended: " + (answer.empty() ? "no answer (halted)" : answer));
                continue;
            }
            std::istringstream in(answer.substr(5));
            if (i < 4) {
                long a = 0, r = 0, d = 0, f = 0, p = 0;
                in >> a >> r >> d >> f >> p;
                std::cout << name(i) << ": " << a << " appends, " << r << " replaces, " << d << " deletes, "
                          << f << " seeks checked, " << p << " packs refused" << std::endl;
                if (a + r == 0) check.fail(name(i) + " wrote nothing");
            } else {
                long walks = 0, rows = 0;
                in >> walks >> rows;
                std::cout << "walker: " << walks << " walks over " << rows << " rows" << std::endl;
                if (walks == 0) check.fail("the walker finished no walk");
            }
        }
        for (auto& c : children) c->send("close");
        for (size_t i = 0; i < children.size(); ++i) {
            const std::string answer = children[i]->receive();
            if (ok && answer != "closed") check.fail(name(i) + " did not close: " + answer);
            const int status = children[i]->wait();
            if (status != 0) check.fail(name(i) + " ended with status " + std::to_string(status));
        }
        for (int w = 1; w <= 4; ++w)
            readLog(dir + "/writer" + std::to_string(w) + ".log", w, expected, check);
        if (check.failures() == 0) verify(dir, expected, check);
    } catch (const std::exception& e) {
        check.fail(e.what());
    }
    if (check.failures() > 0) {
        std::cout << "soak FAILED: " << check.failures() << " fault(s); the tables stay in " << dir
                  << std::endl;
        return 1;
    }
    for (size_t ti = 0; ti < specs.size(); ++ti)
        std::cout << specs[ti].def->file << ": " << expected[ti].size() << " rows checked" << std::endl;
    std::cout << "soak passed" << std::endl;
    if (ownDir && !keep) fs::remove_all(dir);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 6 && args[0] == "writer")
        return writerMain(args[1], std::stoi(args[2]), std::stod(args[3]),
                          static_cast<unsigned>(std::stoul(args[4])), args[5]);
    if (args.size() == 3 && args[0] == "walker") return walkerMain(args[1], std::stod(args[2]));
    double secs = 60;
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
            std::cerr << "usage: lm_soak [SECONDS] [--dir DIR] [--keep]" << std::endl;
            return 2;
        }
    }
    return parentMain(secs, dir, keep);
}
