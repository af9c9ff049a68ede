// The rows of the crash test, shared by the child that writes them and the test that checks them after
// each kill: chk is a hash of id, gen and name, so a row is whole exactly when it matches, and the memo
// of a row is text that its id and generation alone decide.
#pragma once

#include <cstdint>
#include <string>

namespace xbtest {

inline int32_t CrashRowHash(int32_t id, int32_t gen, const std::string& name) {
    uint32_t h = 2166136261u;
    for (char c : std::to_string(id) + "|" + std::to_string(gen) + "|" + name) {
        h ^= static_cast<unsigned char>(c);
        h *= 16777619u;
    }
    return static_cast<int32_t>(h % 1000000000u);
}

// Lengths from a few bytes to several blocks; no line end at the end, so the text reads back line by
// line and joins again exactly.
inline std::string CrashMemoText(int32_t id, int32_t gen) {
    std::string t = "row " + std::to_string(id) + " generation " + std::to_string(gen);
    // In 64 bits: ids of a long soak run past what id * 37 holds in 32.
    const int64_t i64 = id, g64 = gen;
    const int lines = static_cast<int>((i64 * 7 + g64 * 3) % 9);
    for (int i = 0; i < lines; ++i)
        t += "\r\n" + std::string(static_cast<size_t>((i64 * 37 + g64 * 101 + i * 13) % 200 + 1),
                                  static_cast<char>('a' + (i64 + g64 + i) % 26));
    return t;
}

}  // namespace xbtest
