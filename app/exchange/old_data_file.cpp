#include "app/exchange/old_data_file.h"

#include <fstream>
#include <iterator>

#include "app/settings/lang_texts.h"
#include "platform/codepage.h"

namespace app {

namespace {

constexpr std::size_t kUnusedA = 200;
constexpr std::size_t kUnusedC = 800;
constexpr std::size_t kTeamListBlock = kOldSeasonCount * kOldListEntries * 2;

// Reads the file front to back; the caller has checked the size, so no read passes the end.
class Cursor {
public:
    explicit Cursor(const uint8_t* data) : m_p(data) {}
    int16_t int16() {
        const auto v = static_cast<uint16_t>(m_p[0] | (m_p[1] << 8));
        m_p += 2;
        return static_cast<int16_t>(v);
    }
    int32_t int32() {
        const uint32_t v = static_cast<uint32_t>(m_p[0]) | (static_cast<uint32_t>(m_p[1]) << 8) |
                           (static_cast<uint32_t>(m_p[2]) << 16) | (static_cast<uint32_t>(m_p[3]) << 24);
        m_p += 4;
        return static_cast<int32_t>(v);
    }
    template <std::size_t N>
    void bytes(std::array<uint8_t, N>& out) {
        for (auto& b : out) b = *m_p++;
    }
    void skip(std::size_t n) { m_p += n; }

private:
    const uint8_t* m_p;
};

void readTeamLists(Cursor& c, std::array<OldTeamList, kOldSeasonCount>& lists) {
    for (auto& season : lists)
        for (auto& entry : season) entry = c.int16();
}

}  // namespace

bool ParseOldDataFile(const uint8_t* data, std::size_t size, OldDataFile& out, std::string& why) {
    if (size < 4) {
        why = GetLangText(Text::OldFileTooShort).toStdString();
        return false;
    }
    Cursor c(data);
    const int32_t count = c.int32();
    if (count < 0 || count > kOldMaxMatchCount) {
        why = GetLangText(Text::OldFileBadMatchCount).arg(count).toStdString();
        return false;
    }
    if (size != OldDataFileSize(count)) {
        why = GetLangText(Text::OldFileWrongSize)
                  .arg(QString::number(size), QString::number(OldDataFileSize(count)))
                  .toStdString();
        return false;
    }
    OldDataFile f;
    c.skip(kUnusedA);
    for (auto& field : f.teamNames) c.bytes(field);
    c.skip(kUnusedC);
    for (int d = 0; d < 3; ++d) readTeamLists(c, f.teamLists[d]);
    f.matches.resize(static_cast<std::size_t>(count));
    for (OldMatch& m : f.matches) {
        m.division = c.int16();
        m.year = c.int16();
        m.matchday = c.int16();
        m.home = c.int16();
        m.away = c.int16();
        m.homeGoals = c.int16();
        m.awayGoals = c.int16();
        m.result = c.int16();
    }
    for (int d = 3; d < kOldDivisionCount; ++d) readTeamLists(c, f.teamLists[d]);
    for (OldSeason& s : f.seasons) {
        for (auto& v : s.scheme) v = c.int16();
        for (auto& v : s.teamCount) v = c.int16();
        for (auto& name : s.names) c.bytes(name);
    }
    static_assert(kOldFixedSize == 4 + kUnusedA + kOldTeamFields * kOldTeamFieldSize + kUnusedC +
                                       kOldDivisionCount * kTeamListBlock +
                                       kOldSeasonCount * kOldSeasonRecordSize);
    static_assert(kOldSeasonRecordSize ==
                  2 * 2 * kOldDivisionCount + kOldDivisionCount * kOldDivisionNameSize);
    out = std::move(f);
    return true;
}

bool ReadOldDataFile(const std::string& path, OldDataFile& out, std::string& why) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = GetLangText(Text::OldFileUnreadable).arg(QString::fromStdString(path)).toStdString();
        return false;
    }
    // Anything larger than the largest valid file is refused without reading it all.
    constexpr std::size_t kLimit = OldDataFileSize(kOldMaxMatchCount) + 1;
    std::vector<uint8_t> bytes;
    bytes.reserve(OldDataFileSize(0));
    char buf[65536];
    while (in && bytes.size() <= kLimit) {
        in.read(buf, sizeof buf);
        bytes.insert(bytes.end(), buf, buf + in.gcount());
    }
    if (in.bad()) {
        why = GetLangText(Text::OldFileUnreadable).arg(QString::fromStdString(path)).toStdString();
        return false;
    }
    return ParseOldDataFile(bytes.data(), bytes.size(), out, why);
}

std::string OldFieldName(const uint8_t* field, std::size_t fieldSize) {
    const std::size_t capacity = fieldSize - 1;
    std::size_t begin = 0, end = capacity;
    if (field[0] <= capacity) {
        begin = 1;
        end = 1 + field[0];
    }
    std::string bytes;
    for (std::size_t i = begin; i < end; ++i)
        if (field[i] >= 32) bytes += static_cast<char>(field[i]);
    bytes.erase(bytes.find_last_not_of(' ') + 1);
    return xb::platform::ToUtf8(bytes, 1252);
}

}  // namespace app
