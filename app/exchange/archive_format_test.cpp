#include "app/exchange/archive_format.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <ctime>
#include <random>

namespace app {
namespace {

TEST(SafeRestoreParts, TakesNamesApartAndRefusesEscapes) {
    struct Case {
        const char* name;
        bool fullPath;
        bool ok;
        std::vector<std::string> parts;
    };
    const Case cases[] = {
        {"c:\\pelmorad\\equipe.dbf", false, true, {"equipe.dbf"}},
        {"c:\\pelmorad\\equipe.dbf", true, true, {"pelmorad", "equipe.dbf"}},
        {"/home/ligue/joueur.dbt", true, true, {"home", "ligue", "joueur.dbt"}},
        {"..\\..\\x", false, true, {"x"}},
        {"..\\..\\x", true, false, {}},
        {"/etc/x", false, true, {"x"}},
        {"/etc/x", true, true, {"etc", "x"}},
        {"c:\\..\\x", true, false, {}},
        {"c:..\\x", true, false, {}},
        {"\\\\server\\share\\x", true, true, {"server", "share", "x"}},
        {"a\\.\\x", true, false, {}},
        {"a//x", true, false, {}},
        {"dir\\", false, false, {}},
        {"c:\\dir\\..", false, false, {}},
        {"", false, false, {}},
        {".", false, false, {}},
        {"x:y", false, true, {"y"}},
        {"ok\x01name", false, false, {}},
        {"ok\x7fname", false, false, {}},
        {"\xC2\x81x", false, false, {}},  // a C1 control
        {"caf\xC3\xA9.dbf", false, true, {"caf\xC3\xA9.dbf"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> parts;
        EXPECT_EQ(SafeRestoreParts(c.name, c.fullPath, parts), c.ok) << c.name << " full=" << c.fullPath;
        if (c.ok) {
            EXPECT_EQ(parts, c.parts) << c.name;
        }
    }
}

TEST(Chunks, DeflateKeepsWhatFitsAndStoresTheRestRaw) {
    std::mt19937 rng(7);
    std::string random(kChunkSize, '\0');
    for (auto& ch : random) ch = static_cast<char>(rng());
    const std::string zeros(kChunkSize, '\0');
    struct Case {
        const std::string* data;
        size_t n;
        int level;
        bool compressed;
    };
    const Case cases[] = {
        {&zeros, kChunkSize, 9, true},  {&zeros, kChunkSize, 1, true},   {&zeros, kChunkSize, -1, true},
        {&zeros, kChunkSize, 0, false},  // stored blocks add framing: no longer fits
        {&zeros, 100, 0, true},         {&random, kChunkSize, 9, false}, {&random, 1, 9, true},
        {&zeros, 0, 9, true},
    };
    for (const auto& c : cases) {
        EncodedChunk chunk;
        ASSERT_TRUE(DeflateChunk(c.data->data(), c.n, c.level, chunk));
        EXPECT_EQ(chunk.compressed, c.compressed) << "n=" << c.n << " level=" << c.level;
        std::string back = chunk.bytes;
        if (chunk.compressed) {
            EXPECT_LE(chunk.bytes.size(), kChunkSize);
            ASSERT_TRUE(InflateChunk(chunk.bytes.data(), chunk.bytes.size(), back));
        }
        EXPECT_EQ(back, c.data->substr(0, c.n));
    }
    EncodedChunk tooBig;
    EXPECT_FALSE(DeflateChunk(zeros.data(), kChunkSize + 1, 9, tooBig));
}

TEST(Chunks, InflateRefusesStreamsThatOverrunOrLeaveInput) {
    auto compress = [](const std::string& src) {
        uLongf n = compressBound(src.size());
        std::string out(n, '\0');
        compress2(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(src.data()),
                  src.size(), 9);
        out.resize(n);
        return out;
    };
    const std::string exact = compress(std::string(kChunkSize, 'a'));
    const std::string over = compress(std::string(kChunkSize + 1, 'a'));
    struct Case {
        std::string stream;
        bool ok;
    };
    const Case cases[] = {
        {exact, true},
        {over, false},                               // more than one chunk of output
        {exact + "x", false},                        // bytes after the end of the stream
        {exact.substr(0, exact.size() - 1), false},  // the stream does not end
        {"garbage!", false},
        {"", false},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(InflateChunk(c.stream.data(), c.stream.size(), out), c.ok) << c.stream.size();
    }
}

TEST(StoredNames, LowerCaseWindows1252AndRefuseWhatItLacks) {
    struct Case {
        const char* utf8;
        bool ok;
        const char* stored;
    };
    const Case cases[] = {
        {"/Data/EQUIPE.DBF", true, "/data/equipe.dbf"},
        {"/d/\xC3\x89QUIPE.dbf", true, "/d/\xE9quipe.dbf"},  // É stored as é in Windows-1252
        {"/d/\xE2\x82\xAC.dbf", true, "/d/\x80.dbf"},        // € has a byte in the code page
        {"/d/\xE4\xB8\xAD.dbf", false, ""},                  // a Han character has none
    };
    for (const auto& c : cases) {
        std::string stored;
        EXPECT_EQ(StoredNameOf(c.utf8, stored), c.ok) << c.utf8;
        if (c.ok) {
            EXPECT_EQ(stored, c.stored);
        }
    }
}

TEST(DosDates, RoundTripInLocalTimeWithTwoSecondSteps) {
    std::tm tm{};
    tm.tm_year = 2024 - 1900;
    tm.tm_mon = 5;
    tm.tm_mday = 15;
    tm.tm_hour = 12;
    tm.tm_min = 34;
    tm.tm_sec = 57;
    tm.tm_isdst = -1;
    const int64_t t = std::mktime(&tm);
    const uint32_t dos = TimeToDosDateTime(t);
    EXPECT_EQ(dos >> 16, ((2024u - 1980) << 9) | (6 << 5) | 15);
    EXPECT_EQ(dos & 0xFFFF, (12u << 11) | (34 << 5) | 28);
    int64_t back = 0;
    ASSERT_TRUE(DosDateTimeToTime(dos, back));
    EXPECT_EQ(back, t - 1);
    for (uint32_t bad : {0u, 0x00200000u /* day 0 */, 0xFFFFFFFFu}) {
        int64_t ignored = 0;
        EXPECT_FALSE(DosDateTimeToTime(bad, ignored)) << std::hex << bad;
    }
}

TEST(Streams, MemoryStreamReadsBackWhatWasWritten) {
    MemoryStream m;
    ASSERT_TRUE(m.write("abc", 3));
    ASSERT_TRUE(m.write("de", 2));
    EXPECT_EQ(m.position(), 5u);
    m.rewind();
    char buf[8] = {};
    EXPECT_EQ(m.read(buf, 4), 4u);
    EXPECT_EQ(m.read(buf + 4, 4), 1u);
    EXPECT_EQ(std::string(buf), "abcde");
}

}  // namespace
}  // namespace app
