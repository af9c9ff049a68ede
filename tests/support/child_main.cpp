// lm_child: a helper process for multi-process tests. It reads one command a line from stdin and
// answers one line on stdout, so a test can make it open, lock and write the same files as itself.
//   open ID PATH MODE      -> the open's result code        lock ID OFFSET LENGTH   -> result code
//   unlock ID OFFSET LENGTH -> result code                  close ID                -> 0
//   fds PATH               -> how many descriptors of this process refer to PATH
//   exit CODE              -> ends the process with CODE
// and engine commands on one table (shared use, area 1; answers are 1/0 or the last error):
//   use PATH               -> the last error after Use      append N TAG -> appends N records ("TAG", seq)
//                                                              each under its own append lock; answers 0
//   appendloop TAG         -> answers "started", then appends until killed
//   go N / rlock / alock / release (all locks) / reccount / skip N / recno / close
// and memo commands (install the memo unit before "use"):
//   memounit               -> 0
//   memoloop FIRST LAST ROUNDS TAG LOG -> for ROUNDS rounds rewrites the memo of field 2 of records FIRST
//                             to LAST (under each record's lock) and adds one unreferenced memo; every memo
//                             written goes to LOG as "block hex-of-text"; answers 0 or the last error
// and the index semaphore of area 1 (answers 1, or E and the last error when the action failed):
//   semtimeouts LOCKMS WRITEMS -> 0                    sem ACTION (0..5)       -> HandleSemafore
//   semread 1|0 / semlock 1|0  -> the read and write brackets
//   seminfo                    -> the four bytes of the record, the writer and reader flags
//   semcount PATH N            -> N times: under the write bracket adds 1 to the number in PATH, under
//                                 the read bracket reads it twice; "1", E and the error, or "X" when a
//                                 read saw the number change
// and the index engine (the table of indexCommand: num N, nom C, station C, seq N; tags over them):
//   indexunit                  -> installs the expression compiler and the index engine; 0
//   setindex                   -> SetIndexTo the production index: 1, or E and the last error
//   indexwrite SECONDS SEED ST -> for SECONDS appends and replaces at random (station text ST); answers
//                                 "APPENDS REPLACES", or E, the last error and its text
//   killappend K SEQ           -> appends one row (station "K", seq SEQ) with the process killed just
//                                 before its K-th write inside the index write lock, the release of the
//                                 append lock after it included; "done" when the append had fewer
//                                 writes, E and the error when it failed
//   killreplace K SEQ REC      -> the same for a replace of record REC (station "R", seq SEQ)
//   killrepair K               -> leaves the repair mark on the index and walks the first order, which
//                                 repairs it, with the process killed just before its K-th write from
//                                 the mark on; "done" when the walk ended
//   tmpdir DIR                 -> the process's temporary directory becomes DIR; 0
//   indexwalk SECONDS          -> for SECONDS walks every tag in key order, each walk under one read
//                                 bracket; answers the number of walks, E and the error, or X and what
//                                 was out of order or missing
// and the crash test's work (the table of crashWork: id N, gen N, name C40, chk N, notes M; memo and
// index units installed, production index open):
//   crashwork PATH SEED LOG    -> answers "started", then appends and replaces (new name, memo rewritten)
//                                 until killed; after each write "A id" or "R id gen" goes to LOG
// and a table as the next station meets it (index units installed first):
//   diskfull N                 -> every write of this process that grows a file fails from the N-th on; 0
//   ordercheck PATH            -> opens PATH shared with its production index, as the application does,
//                                 walks every order from the top and closes it; "ok ROWS TAGS" when every
//                                 order holds each row once in key order, X and what was wrong, or E and
//                                 the error that refused the open or a walk
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "engine/core/dbf_file.h"
#include "engine/core/engine.h"
#include "engine/core/locks.h"
#include "engine/core/memo_ops.h"
#include "engine/core/navigation.h"
#include "engine/core/record_writes.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "engine/index/expr_unit.h"
#include "engine/index/index_driver.h"
#include "engine/index/semaphore_file.h"
#include "platform/file.h"
#include "tests/support/crash_rows.h"
#include "tests/support/lock_wait.h"

namespace {

// How many of this process's descriptors refer to the given file.
int descriptorsOf(const std::string& path) {
    char real[PATH_MAX];
    if (!realpath(path.c_str(), real)) return -1;
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (dirent* e = readdir(d)) {
            std::string link = std::string("/proc/self/fd/") + e->d_name;
            char target[PATH_MAX];
            ssize_t len = readlink(link.c_str(), target, sizeof target - 1);
            if (len > 0 && std::string(target, static_cast<size_t>(len)) == real) ++n;
        }
        closedir(d);
    }
    return n;
}

// Appends one record carrying tag and seq into fields 1 (C) and 2 (N) under the append lock.
bool appendTagged(const std::string& tag, int seq) {
    if (!xbtest::WaitForLock(xb::ALock)) return false;
    xb::ClearRecord();
    xb::TypedSetString(xb::FieldAddress(1), static_cast<size_t>(xb::FieldLen(1)), tag);
    xb::TypedSetInt(xb::FieldAddress(2), seq);
    bool ok = xb::Append();
    xb::Unlock();
    return ok;
}

std::string hexOf(const std::string& s) {
    static const char* d = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        out += d[c >> 4];
        out += d[c & 15];
    }
    return out;
}

// Memos of varied lengths, so that writers cross block boundaries differently.
std::string memoText(const std::string& tag, int record, int round) {
    std::string t = tag + " record " + std::to_string(record) + " round " + std::to_string(round) + "\r\n";
    return t + std::string(static_cast<size_t>((record * 37 + round * 101) % 700),
                           static_cast<char>('a' + round % 26));
}

std::string memoLoop(std::istringstream& in) {
    using namespace xb;
    int first = 0, last = 0, rounds = 0;
    std::string tag, logPath;
    in >> first >> last >> rounds >> tag >> logPath;
    std::string log;
    for (int round = 1; round <= rounds; ++round) {
        for (int r = first; r <= last; ++r) {
            if (!Go(r)) return std::to_string(LastError());
            if (!xbtest::WaitForLock(RLock)) return "lock not granted";
            if (!Go(r)) return std::to_string(LastError());  // the record as it stands now
            const std::string text = memoText(tag, r, round);
            const int32_t old = TypedGetInt(FieldAddress(2));
            const int32_t block = RewriteMemo(old, text);
            if (block == 0) return std::to_string(LastError());
            TypedSetInt(FieldAddress(2), block);
            if (!Replace()) return std::to_string(LastError());
            Unlock();
            log += std::to_string(block) + " " + hexOf(text) + "\n";
        }
        const std::string extra = memoText(tag + "-extra", 0, round);
        const int32_t block = AddMemo(extra);
        if (block == 0) return std::to_string(LastError());
        log += std::to_string(block) + " " + hexOf(extra) + "\n";
    }
    xb::platform::File f;
    if (f.create(logPath, xb::platform::kModeExclusive) != 0 || f.writeAt(0, log.data(), log.size()) != 0)
        return "log";
    return "0";
}

std::string semaphoreCommand(const std::string& cmd, std::istringstream& in) {
    using namespace xb;
    auto run = [](auto fn) -> std::string {
        try {
            return fn() ? "1" : "E" + std::to_string(LastError());
        } catch (const EEngineError&) {
            return "E" + std::to_string(LastError());
        }
    };
    if (cmd == "semtimeouts") {
        long lockMs = 0, writeMs = 0;
        in >> lockMs >> writeMs;
        SemaphoreSettings().lockRetry = std::chrono::milliseconds(lockMs);
        SemaphoreSettings().writeTimeout = std::chrono::milliseconds(writeMs);
        return "0";
    }
    if (cmd == "sem") {
        int action = 0;
        in >> action;
        return run([action] { return HandleSemafore(action); });
    }
    if (cmd == "semread" || cmd == "semlock") {
        int on = 0;
        in >> on;
        const bool read = cmd == "semread";
        return run([&] {
            read ? SetReadSemaphoreProc(on != 0) : SetLockSemaphoreProc(on != 0);
            return true;  // a failure raises (trapping is off)
        });
    }
    if (cmd == "semcount") {
        std::string path;
        int n = 0;
        in >> path >> n;
        platform::File counter;
        if (counter.open(path, platform::kModeShared) != 0) return "E2";
        auto get = [&counter] {
            int32_t v = 0;
            counter.readAt(0, &v, sizeof v);
            return v;
        };
        bool torn = false;
        std::string r = run([&] {
            for (int i = 0; i < n; ++i) {
                {
                    IndexWriteBracket write;
                    int32_t v = get() + 1;
                    std::this_thread::sleep_for(std::chrono::microseconds(20));
                    counter.writeAt(0, &v, sizeof v);
                }
                IndexReadBracket read;
                int32_t a = get();
                std::this_thread::sleep_for(std::chrono::microseconds(20));
                torn = torn || get() != a;
            }
            return true;
        });
        return torn ? "X" : r;
    }
    if (cmd == "readonly") {
        Engine::current().settings.openModeOverride = platform::kModeSharedRead;
        return "0";
    }
    // Logs in and out n times; answers how many of them failed (and the first failure's text).
    if (cmd == "semchurn") {
        int n = 0;
        in >> n;
        int failed = 0;
        std::string first;
        auto step = [&](int action) {
            const std::string r = run([action] { return HandleSemafore(action); });
            if (r == "1") return;
            if (++failed == 1) first = " " + r + " " + ErrorMsg();
        };
        for (int i = 0; i < n; ++i) {
            step(kSemLogin);
            step(kSemLogout);
        }
        for (char& c : first)
            if (c == '\n' || c == '\r') c = ' ';
        return std::to_string(failed) + first;
    }
    if (cmd == "seminfo") {
        SemaphoreInfo i = CurrentSemaphoreInfo();
        std::ostringstream out;
        out << int(i.record[0]) << ' ' << int(i.record[1]) << ' ' << (i.record[2] | (i.record[3] << 8)) << ' '
            << (i.writer ? 'W' : '-') << (i.countedReader ? 'R' : '-');
        return out.str();
    }
    return "unknown";
}

// The index commands work on a table of four fields: num (N), nom (C), station (C) and seq (N).
std::string indexError() {
    std::string text = "E" + std::to_string(xb::LastError()) + " " + xb::ErrorMsg();
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text;
}

void setIndexedFields(std::mt19937& rng, const std::string& station, int seq) {
    using namespace xb;
    static const char* const names[] = {"Lyon", "Nantes", "Brest", "Lille", "Nice", "Lens", "Metz", "Reims"};
    TypedSetInt(FieldAddress(1), static_cast<int32_t>(rng() % 100000));
    const std::string nom = std::string(names[rng() % 8]) + std::to_string(rng() % 1000);
    TypedSetString(FieldAddress(2), static_cast<size_t>(FieldLen(2)), nom);
    TypedSetString(FieldAddress(3), static_cast<size_t>(FieldLen(3)), station);
    TypedSetInt(FieldAddress(4), seq);
}

std::string indexWrite(std::istringstream& in) {
    using namespace xb;
    double seconds = 0;
    unsigned seed = 0;
    std::string station;
    in >> seconds >> seed >> station;
    std::mt19937 rng(seed);
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    long appends = 0, replaces = 0;
    int seq = 0;
    try {
        while (std::chrono::steady_clock::now() < end) {
            const int32_t count = RecCount();
            if (count < 1 || rng() % 2 == 0) {
                if (!xbtest::WaitForLock(ALock)) return "E append lock not granted";
                ClearRecord();
                setIndexedFields(rng, station, ++seq);
                const bool ok = Append();
                Unlock();
                if (!ok) return indexError();
                ++appends;
            } else {
                const int32_t r = static_cast<int32_t>(rng() % static_cast<unsigned>(count)) + 1;
                if (!Go(r)) return indexError();
                if (!xbtest::WaitForLock(RLock)) return "E record lock not granted";
                if (!Go(r)) return indexError();  // the record as it stands now
                setIndexedFields(rng, station, ++seq);
                const bool ok = Replace();
                Unlock();
                if (!ok) return indexError();
                ++replaces;
            }
        }
    } catch (const EEngineError&) {
        return indexError();
    }
    return std::to_string(appends) + " " + std::to_string(replaces);
}

// The key of a record in tag n, built from the fields as the tag's expression does.
std::string walkKey(int n) {
    using namespace xb;
    char num[16];
    switch (n) {
        case 1:
            std::snprintf(num, sizeof num, "%012d", TypedGetInt(FieldAddress(1)));
            return num;
        case 2:
            return TypedGetString(FieldAddress(2));
        default:
            std::snprintf(num, sizeof num, "%8d", TypedGetInt(FieldAddress(4)));
            return (TypedGetString(FieldAddress(3)) + "  ").substr(0, 2) + num;
    }
}

std::string indexWalk(std::istringstream& in) {
    using namespace xb;
    double seconds = 0;
    in >> seconds;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    long walks = 0;
    try {
        while (std::chrono::steady_clock::now() < end) {
            for (int tag = 1; tag <= 3; ++tag) {
                IndexReadBracket read;
                if (!read.entered()) return indexError();
                if (!Set_Order_To(tag) || !GoTop()) return indexError();
                std::string last;
                int32_t seen = 0;
                while (!dEOF()) {
                    const std::string key = walkKey(tag);
                    if (seen > 0 && key < last)
                        return "X tag " + std::to_string(tag) + " record " + std::to_string(RecNo()) +
                               " key [" + key + "] after [" + last + "]";
                    last = key;
                    ++seen;
                    if (!Skip(1)) return indexError();
                }
                if (seen != RecCount())
                    return "X tag " + std::to_string(tag) + " walked " + std::to_string(seen) + " of " +
                           std::to_string(RecCount());
                ++walks;
            }
            // Writers get their turn between walks.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    } catch (const EEngineError&) {
        return indexError();
    }
    return std::to_string(walks);
}

// Every order of a table walked whole by a station that opens it alone (see "ordercheck").
std::string orderCheck(std::istringstream& in) {
    using namespace xb;
    std::string path;
    in >> path;
    SetAutoFixRecCount(true);
    std::string answer;
    try {
        if (!Use(path, nullptr, 0) || !SetIndexTo("")) answer = indexError();
        int tags = 0;
        while (answer.empty() && tags < 47 && !IndexTagName(tags + 1).empty()) ++tags;
        for (int tag = 1; answer.empty() && tag <= tags; ++tag) {
            std::vector<bool> met(static_cast<size_t>(RecCount()) + 1);
            int32_t seen = 0;
            if (!Set_Order_To(tag)) answer = indexError();
            if (answer.empty() && !GoTop() && LastError() != 0) answer = indexError();
            while (answer.empty() && !dEOF()) {
                const int32_t r = RecNo();
                if (LastError() != 0) {
                    answer = indexError();
                } else if (r < 1 || r > RecCount() || met[static_cast<size_t>(r)]) {
                    answer = "X" + IndexTagName(tag) + " meets record " + std::to_string(r) +
                             " again or out of range";
                } else {
                    met[static_cast<size_t>(r)] = true;
                    ++seen;
                    if (!Skip(1) && LastError() != 0) answer = indexError();
                }
            }
            if (answer.empty() && seen != RecCount())
                answer = "X" + IndexTagName(tag) + " walks " + std::to_string(seen) + " of " +
                         std::to_string(RecCount()) + " rows";
        }
        if (answer.empty()) answer = "ok " + std::to_string(RecCount()) + " " + std::to_string(tags);
    } catch (const EEngineError&) {
        answer = indexError();
    }
    CloseDatabase();
    return answer;
}

// The crash test's rows: chk is a hash of id, gen and name, so a row is whole exactly when it matches;
// the memo of (id, gen) is text only those two decide.
[[noreturn]] void crashWork(std::istringstream& in) {
    using namespace xb;
    std::string path, logPath;
    unsigned seed = 0;
    in >> path >> seed >> logPath;
    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    InstallMemoUnit(Engine::current());
    InstallExpressionEngine(Engine::current());
    InstallIndexEngine(Engine::current());
    Use(path, nullptr, 0);
    if (LastError() != 0 || !SetIndexTo("") || log < 0) {
        std::cout << indexError() << std::endl;
        std::exit(1);
    }
    std::mt19937 rng(seed);
    auto note = [log](const std::string& line) {
        if (::write(log, line.data(), line.size()) != static_cast<ssize_t>(line.size())) std::exit(3);
    };
    auto fill = [&rng](int32_t id, int32_t gen, int32_t block) {
        std::string name;
        for (int i = 0; i < 40; ++i) name += static_cast<char>('A' + rng() % 26);
        TypedSetInt(FieldAddress(1), id);
        TypedSetInt(FieldAddress(2), gen);
        TypedSetString(FieldAddress(3), 40, name);
        TypedSetInt(FieldAddress(4), xbtest::CrashRowHash(id, gen, name));
        TypedSetInt(FieldAddress(5), block);
    };
    std::cout << "started" << std::endl;
    for (;;) {
        const int32_t count = RecCount();
        if (count < 1500 && (count == 0 || rng() % 3 == 0)) {
            if (!xbtest::WaitForLock(ALock)) std::exit(7);
            const int32_t id = RecCount() + 1;
            const int32_t block = AddMemo(xbtest::CrashMemoText(id, 0));
            ClearRecord();
            fill(id, 0, block);
            if (block == 0 || !Append()) std::exit(4);
            Unlock();
            note("A " + std::to_string(id) + "\n");
        } else {
            const int32_t r = static_cast<int32_t>(rng() % static_cast<unsigned>(count)) + 1;
            if (!Go(r)) std::exit(5);
            if (!xbtest::WaitForLock(RLock)) std::exit(7);
            if (!Go(r)) std::exit(5);
            const int32_t id = TypedGetInt(FieldAddress(1)), gen = TypedGetInt(FieldAddress(2)) + 1;
            const int32_t block = RewriteMemo(TypedGetInt(FieldAddress(5)), xbtest::CrashMemoText(id, gen));
            fill(id, gen, block);
            if (block == 0 || !Replace()) std::exit(6);
            Unlock();
            note("R " + std::to_string(id) + " " + std::to_string(gen) + "\n");
        }
    }
}

std::string engineCommand(const std::string& cmd, std::istringstream& in) {
    using namespace xb;
    if (cmd == "memounit") {
        InstallMemoUnit(Engine::current());
        return "0";
    }
    if (cmd == "memoloop") return memoLoop(in);
    if (cmd == "indexunit") {
        InstallExpressionEngine(Engine::current());
        InstallIndexEngine(Engine::current());
        return "0";
    }
    if (cmd == "setindex") {
        try {
            return SetIndexTo("") ? "1" : indexError();
        } catch (const EEngineError&) {
            return indexError();
        }
    }
    if (cmd == "indexwrite") return indexWrite(in);
    if (cmd == "killappend") {
        int k = 0, seq = 0;
        in >> k >> seq;
        std::mt19937 rng(static_cast<unsigned>(seq));
        if (!xbtest::WaitForLock(ALock)) return "E append lock not granted";
        ClearRecord();
        setIndexedFields(rng, "K", seq);
        // The first write of the append takes the write lock (the semaphore record); the K-th after it
        // is the K-th inside the lock.
        platform::InjectFault(platform::FaultOp::Write, k + 1, platform::kFaultKill);
        const bool ok = Append();
        Unlock();
        platform::ClearFaults();
        return ok ? "done" : indexError();
    }
    if (cmd == "killreplace") {
        int k = 0, seq = 0, record = 0;
        in >> k >> seq >> record;
        std::mt19937 rng(static_cast<unsigned>(seq));
        if (!Go(record)) return indexError();
        if (!xbtest::WaitForLock(RLock)) return "E record lock not granted";
        if (!Go(record)) return indexError();
        setIndexedFields(rng, "R", seq);
        // As for the append: the first write takes the write lock.
        platform::InjectFault(platform::FaultOp::Write, k + 1, platform::kFaultKill);
        const bool ok = Replace();
        platform::ClearFaults();
        Unlock();
        return ok ? "done" : indexError();
    }
    if (cmd == "killrepair") {
        int k = 0;
        in >> k;
        if (!MarkIndexForRepair(CurrentBlock()->fileName)) return indexError();
        platform::InjectFault(platform::FaultOp::Write, k, platform::kFaultKill);
        for (GoTop(); !dEOF() && LastError() == 0;) Skip(1);
        platform::ClearFaults();
        return LastError() == 0 ? "done" : indexError();
    }
    if (cmd == "tmpdir") {
        std::string dir;
        in >> dir;
        return setenv("TMPDIR", dir.c_str(), 1) == 0 ? "0" : "1";
    }
    if (cmd == "indexwalk") return indexWalk(in);
    if (cmd == "ordercheck") return orderCheck(in);
    if (cmd == "diskfull") {
        int n = 0;
        in >> n;
        platform::InjectDiskFull(n);
        return "0";
    }
    if (cmd == "crashwork") crashWork(in);
    if (cmd == "use") {
        std::string path;
        in >> path;
        Use(path, nullptr, 0);
        return std::to_string(LastError());
    }
    if (cmd == "append") {
        int n = 0;
        std::string tag;
        in >> n >> tag;
        for (int i = 1; i <= n; ++i)
            if (!appendTagged(tag, i)) return std::to_string(LastError());
        return "0";
    }
    if (cmd == "appendloop") {
        std::string tag;
        in >> tag;
        std::cout << "started" << std::endl;
        for (int i = 1;; ++i) appendTagged(tag, i);
    }
    if (cmd == "go") {
        int n = 0;
        in >> n;
        return Go(n) ? "1" : "0";
    }
    if (cmd == "skip") {
        int n = 0;
        in >> n;
        return Skip(n) ? "1" : "0";
    }
    if (cmd == "rlock") return RLock() ? "1" : "0";
    if (cmd == "alock") return ALock() ? "1" : "0";
    if (cmd == "release") {
        Unlock();
        return "0";
    }
    if (cmd == "reccount") return std::to_string(RecCount());
    if (cmd == "recno") return std::to_string(RecNo());
    if (cmd == "close") {
        CloseDatabase();
        return "0";
    }
    return semaphoreCommand(cmd, in);
}

}  // namespace

int main() {
    xb::Engine engine;
    xb::SetErrorTrap(false);
    std::map<std::string, xb::platform::File> files;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string cmd, id;
        in >> cmd;
        std::string answer;
        if (cmd == "open") {
            std::string path;
            int mode = 0;
            in >> id >> path >> mode;
            answer = std::to_string(files[id].open(path, mode));
        } else if (cmd == "lock" || cmd == "unlock") {
            unsigned long long off = 0, len = 0;
            in >> id >> off >> len;
            auto& f = files[id];
            answer = std::to_string(cmd == "lock" ? f.lock(off, len) : f.unlock(off, len));
        } else if (cmd == "close") {
            in >> id;
            files.erase(id);
            answer = "0";
        } else if (cmd == "fds") {
            std::string path;
            in >> path;
            answer = std::to_string(descriptorsOf(path));
        } else if (cmd == "exit") {
            int code = 0;
            in >> code;
            return code;
        } else {
            answer = engineCommand(cmd, in);
        }
        std::cout << answer << std::endl;
    }
    return 0;
}
