// What the multi-process runs of tests/soak share: a station process that fails or halts loudly, the lock
// wait of a writer, and the run's length and folder from the command line.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <string>
#include <thread>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/dataset/engine_start.h"

namespace soak {

// Ends the process at once with status 4, saying which station failed and why.
[[noreturn]] inline void fail(const std::string& who, const std::string& what) {
    std::cerr << who << " " << getpid() << ": " << what << std::endl;
    std::_Exit(4);
}

// Starts a station's engine as the application does: an error halts, and a halt ends the process with
// status 3.
inline void startEngine(xb::Engine& engine, const char* who) {
    xb::InstallEngineUnits(engine);
    xb::SetErrorTrap(true);
    static std::string name;
    name = who;
    xb::SetHaltHandler([](const std::string& text, uint16_t code) {
        std::cerr << name << " " << getpid() << " halted: " << code << " " << text << std::endl;
        std::_Exit(3);
    });
}

// Takes a lock, trying again after pause until it is granted.
inline void lockOrWait(const std::function<bool()>& take, std::chrono::microseconds pause) {
    while (!take()) std::this_thread::sleep_for(pause);
}

// The run's length in seconds (a number argument, else the environment variable, else the default) and
// the folder to keep its files in (--dir DIR; empty: a temporary one).
struct RunArgs {
    int seconds;
    std::string dir;
};
inline RunArgs ParseRunArgs(int argc, char** argv, int defaultSeconds, const char* secondsVariable) {
    RunArgs r{defaultSeconds, {}};
    if (const char* env = std::getenv(secondsVariable)) r.seconds = std::max(1, std::atoi(env));
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--dir" && i + 1 < argc)
            r.dir = argv[++i];
        else
            r.seconds = std::max(1, std::atoi(a.c_str()));
    }
    return r;
}

}  // namespace soak
