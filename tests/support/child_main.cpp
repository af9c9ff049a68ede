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
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <unistd.h>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

#include <chrono>
#include <thread>

#include "engine/core/engine.h"
#include "engine/core/locks.h"
#include "engine/core/navigation.h"
#include "engine/core/record_writes.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "platform/file.h"

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
    while (!xb::ALock()) std::this_thread::sleep_for(std::chrono::microseconds(50));
    xb::ClearRecord();
    xb::TypedSetString(xb::FieldAddress(1), static_cast<size_t>(xb::FieldLen(1)), tag);
    xb::TypedSetInt(xb::FieldAddress(2), seq);
    bool ok = xb::Append();
    xb::Unlock();
    return ok;
}

std::string engineCommand(const std::string& cmd, std::istringstream& in) {
    using namespace xb;
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
    return "unknown";
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
