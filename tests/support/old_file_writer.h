// Writes data files of the program's version 1.27 from a plain model, byte by byte from the layout and
// independent of the application's reader, so that a test compares what the import stored with the model.
// Names are written as the old program wrote them: a length byte, then the name in Windows-1252.
#pragma once

#include <array>
#include <cstdint>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace xbtest {

struct OldDivisionModel {
    std::string name;  // Windows-1252 bytes; empty: the division is not used that season
    int scheme = 3;
    int teamCount = 0;
    std::vector<int> teams;                          // entries 1..; entries past 26 are not written
    std::optional<std::array<uint8_t, 21>> rawName;  // replaces the written field when set
};

struct OldMatchModel {
    int division = 10, year = 1987, matchday = 1, home = 0, away = 0, homeGoals = 0, awayGoals = 0,
        result = 0;
};

struct OldFileModel {
    std::map<int, std::string> teams;                         // number 1..199 -> Windows-1252 name
    std::map<int, std::array<uint8_t, 11>> rawTeamFields;     // replace the written field of a number
    std::array<std::array<OldDivisionModel, 5>, 20> seasons;  // [season - 1][division - 1]
    std::vector<OldMatchModel> matches;
    std::optional<int32_t> matchCount;  // the stored count when it differs from matches.size()
};

namespace oldfile_detail {
inline void put16(std::vector<uint8_t>& out, int v) {
    const auto u = static_cast<uint16_t>(static_cast<int16_t>(v));
    out.push_back(static_cast<uint8_t>(u & 0xFF));
    out.push_back(static_cast<uint8_t>(u >> 8));
}
inline void putName(std::vector<uint8_t>& out, const std::string& name, std::size_t fieldSize) {
    const std::size_t n = std::min(name.size(), fieldSize - 1);
    out.push_back(static_cast<uint8_t>(n));
    for (std::size_t i = 0; i < fieldSize - 1; ++i) out.push_back(i < n ? static_cast<uint8_t>(name[i]) : 0);
}
inline void putLists(std::vector<uint8_t>& out, const OldFileModel& m, int division) {
    for (int s = 0; s < 20; ++s) {
        const auto& teams = m.seasons[s][division].teams;
        put16(out, 0);
        for (std::size_t k = 0; k < 26; ++k) put16(out, k < teams.size() ? teams[k] : 0);
    }
}
}  // namespace oldfile_detail

inline std::vector<uint8_t> EncodeOldFile(const OldFileModel& m) {
    using namespace oldfile_detail;
    std::vector<uint8_t> out;
    const int32_t count = m.matchCount.value_or(static_cast<int32_t>(m.matches.size()));
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(count) >> (8 * i)));
    out.insert(out.end(), 200, 0xAA);  // unused by the import: filled so that a misplaced read shows
    for (int i = 0; i < 200; ++i) {
        if (auto raw = m.rawTeamFields.find(i); raw != m.rawTeamFields.end())
            out.insert(out.end(), raw->second.begin(), raw->second.end());
        else if (auto t = m.teams.find(i); t != m.teams.end())
            putName(out, t->second, 11);
        else
            out.insert(out.end(), 11, 0);
    }
    out.insert(out.end(), 800, 0xBB);
    for (int d = 0; d < 3; ++d) putLists(out, m, d);
    for (const OldMatchModel& x : m.matches)
        for (int v : {x.division, x.year, x.matchday, x.home, x.away, x.homeGoals, x.awayGoals, x.result})
            put16(out, v);
    for (int d = 3; d < 5; ++d) putLists(out, m, d);
    for (const auto& season : m.seasons) {
        for (const auto& div : season) put16(out, div.scheme);
        for (const auto& div : season) put16(out, div.teamCount);
        for (const auto& div : season) {
            if (div.rawName)
                out.insert(out.end(), div.rawName->begin(), div.rawName->end());
            else
                putName(out, div.name, 21);
        }
    }
    return out;
}

inline void WriteOldFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace xbtest
