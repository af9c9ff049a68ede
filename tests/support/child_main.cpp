// lm_child: a helper process for multi-process tests. It reads one command a line from stdin and
// answers one line on stdout, so a test can make it open, lock and write the same files as itself.
//   open ID PATH MODE      -> the open's result code        lock ID OFFSET LENGTH   -> result code
//   unlock ID OFFSET LENGTH -> result code                  close ID                -> 0
//   fds PATH               -> how many descriptors of this process refer to PATH
//   exit CODE              -> ends the process with CODE
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <unistd.h>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

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

}  // namespace

int main() {
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
            answer = "unknown";
        }
        std::cout << answer << std::endl;
    }
    return 0;
}
