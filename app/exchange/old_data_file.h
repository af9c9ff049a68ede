// The data file of the program's older version 1.27, read whole into plain structures.
//
// Layout (little-endian, int16 signed): the match count (int32), 200 unused bytes, 200 team-name fields of
// 11 bytes, 800 unused bytes, the team lists of divisions 1 to 3 (20 seasons x 27 int16 each), the matches
// (count x 8 int16), the team lists of divisions 4 and 5, and 20 season records of 125 bytes. docs/
// old-data-file.md describes it in prose.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace app {

inline constexpr int kOldSeasonCount = 20;
inline constexpr int kOldDivisionCount = 5;
inline constexpr int kOldTeamFields = 200;  // team i (1..199) is field i; field 0 holds no team
inline constexpr int kOldTeamFieldSize = 11;
inline constexpr int kOldListEntries = 27;  // entry 0 unused, entries 1..26 team numbers
inline constexpr int kOldDivisionNameSize = 21;
inline constexpr int kOldSeasonRecordSize = 125;
inline constexpr int kOldMatchSize = 16;
// The largest match count the format holds: from 16000 on, the old program skipped the match block and
// read everything after it from the wrong place.
inline constexpr int kOldMaxMatchCount = 15999;
// The size of a file without matches; each match adds kOldMatchSize bytes.
inline constexpr std::size_t kOldFixedSize = 11104;
// Season s (1..20) starts in year kOldYearBase + s.
inline constexpr int kOldYearBase = 1986;

// The division codes of the matches, division 1 to 5.
inline constexpr std::array<int, kOldDivisionCount> kOldDivisionCodes = {10, 20, 21, 22, 23};

struct OldMatch {
    int16_t division = 0;  // a division code (kOldDivisionCodes)
    int16_t year = 0;
    int16_t matchday = 0;
    int16_t home = 0, away = 0;
    int16_t homeGoals = 0, awayGoals = 0;
    int16_t result = 0;  // 0 draw, 1 home win, 2 away win, 3 forfeit won by away, 4 forfeit won by home
};

struct OldSeason {
    std::array<int16_t, kOldDivisionCount> scheme{};     // points scheme 1..4 as stored
    std::array<int16_t, kOldDivisionCount> teamCount{};  // as stored
    std::array<std::array<uint8_t, kOldDivisionNameSize>, kOldDivisionCount> names{};
};

using OldTeamList = std::array<int16_t, kOldListEntries>;

struct OldDataFile {
    std::array<std::array<uint8_t, kOldTeamFieldSize>, kOldTeamFields> teamNames{};
    // teamLists[division 0..4][season 0..19]
    std::array<std::array<OldTeamList, kOldSeasonCount>, kOldDivisionCount> teamLists{};
    std::vector<OldMatch> matches;
    std::array<OldSeason, kOldSeasonCount> seasons{};
};

// The size a file with count matches has.
constexpr std::size_t OldDataFileSize(int count) {
    return kOldFixedSize + static_cast<std::size_t>(count) * kOldMatchSize;
}

// Reads the bytes of a whole file. A match count outside 0..kOldMaxMatchCount, or a size other than the
// count gives, is refused with why set (UTF-8, in the current language) and out left as it was.
bool ParseOldDataFile(const uint8_t* data, std::size_t size, OldDataFile& out, std::string& why);
// Reads the file and parses it; a read failure is refused the same way.
bool ReadOldDataFile(const std::string& path, OldDataFile& out, std::string& why);

// The name a name field holds, as UTF-8 (the field is Windows-1252). A first byte no larger than the
// field's capacity (its size - 1) is the name's length: the name is the bytes after it up to that length.
// Any other first byte begins the name, which then runs over the capacity's bytes. Bytes below 32 are
// dropped and trailing blanks trimmed either way.
std::string OldFieldName(const uint8_t* field, std::size_t fieldSize);

}  // namespace app
