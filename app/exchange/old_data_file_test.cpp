// The version-1.27 data file: the reader against files the test support writes from a model, damaged
// sizes and counts, the name fields, and the plan's bounds.
#include "app/exchange/old_data_file.h"

#include <gtest/gtest.h>

#include "app/exchange/old_import_plan.h"
#include "app/settings/lang_texts.h"
#include "tests/support/old_file_writer.h"

namespace {

using namespace app;
using xbtest::OldFileModel;

OldFileModel smallModel() {
    OldFileModel m;
    m.teams = {{1, "Alpha"}, {2, "Beta"}, {7, "Gamma"}, {199, "Last"}};
    auto& d1 = m.seasons[0][0];
    d1 = {"Premiere", 1, 3, {1, 2, 7}, {}};
    auto& d5 = m.seasons[19][4];
    d5 = {"Cinquieme", 4, 2, {199, 1}, {}};
    m.matches = {{10, 1987, 1, 1, 2, 3, 1, 1}, {23, 2006, 4, 199, 1, 0, 0, 0}, {10, 1987, 2, 2, 7, 0, 2, 2}};
    return m;
}

bool parse(const std::vector<uint8_t>& bytes, OldDataFile& f, std::string& why) {
    return ParseOldDataFile(bytes.data(), bytes.size(), f, why);
}

TEST(OldDataFile, ReadsEveryBlockWhereTheLayoutPutsIt) {
    const OldFileModel m = smallModel();
    const auto bytes = xbtest::EncodeOldFile(m);
    ASSERT_EQ(bytes.size(), OldDataFileSize(3));
    OldDataFile f;
    std::string why;
    ASSERT_TRUE(parse(bytes, f, why)) << why;
    EXPECT_EQ(OldFieldName(f.teamNames[1].data(), 11), "Alpha");
    EXPECT_EQ(OldFieldName(f.teamNames[199].data(), 11), "Last");
    EXPECT_EQ(OldFieldName(f.teamNames[3].data(), 11), "");
    EXPECT_EQ(f.teamLists[0][0][3], 7);
    EXPECT_EQ(f.teamLists[4][19][1], 199);
    ASSERT_EQ(f.matches.size(), 3u);
    EXPECT_EQ(f.matches[1].division, 23);
    EXPECT_EQ(f.matches[1].year, 2006);
    EXPECT_EQ(f.matches[2].away, 7);
    EXPECT_EQ(f.matches[2].result, 2);
    EXPECT_EQ(f.seasons[0].scheme[0], 1);
    EXPECT_EQ(f.seasons[19].scheme[4], 4);
    EXPECT_EQ(f.seasons[19].teamCount[4], 2);
    EXPECT_EQ(OldFieldName(f.seasons[19].names[4].data(), 21), "Cinquieme");
}

TEST(OldDataFile, RefusesCountsAndSizesTheLayoutCannotHave) {
    const auto good = xbtest::EncodeOldFile(smallModel());
    auto withCount = [&](int32_t n, std::size_t size) {
        OldFileModel m = smallModel();
        m.matchCount = n;
        auto b = xbtest::EncodeOldFile(m);
        b.resize(size, 0);
        return b;
    };
    auto shortBy = [&](std::ptrdiff_t d) {
        auto b = good;
        b.resize(static_cast<std::size_t>(static_cast<std::ptrdiff_t>(b.size()) + d), 0);
        return b;
    };
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"empty", {}},
        {"three bytes", {0, 0, 0}},
        {"a byte short", shortBy(-1)},
        {"a byte long", shortBy(1)},
        {"a match short", shortBy(-16)},
        {"count -1", withCount(-1, OldDataFileSize(0) - 16)},
        {"count 16000 at its size", withCount(16000, OldDataFileSize(16000))},
        {"count 16000 without matches", withCount(16000, OldDataFileSize(0))},
        {"count 2^31-1", withCount(INT32_MAX, OldDataFileSize(3))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        OldDataFile f;
        f.matches.resize(5);
        std::string why;
        EXPECT_FALSE(parse(c.bytes, f, why));
        EXPECT_FALSE(why.empty());
        EXPECT_EQ(f.matches.size(), 5u) << "a refused file leaves the output alone";
    }
    // The reasons speak the session's language and carry the figures that were wrong.
    const std::string size = std::to_string(good.size());
    const struct {
        int language;
        std::vector<uint8_t> bytes;
        std::string why;
    } reasons[] = {
        {6, {0, 0, 0}, "datoteka je prekratka"},
        {6, withCount(-1, 8), "neispravan broj utakmica: -1"},
        {2, shortBy(-1), "file size " + std::to_string(good.size() - 1) + " instead of " + size},
        {1, shortBy(1), "taille du fichier " + std::to_string(good.size() + 1) + " au lieu de " + size},
    };
    for (const auto& r : reasons) {
        LanguageIndex = r.language;
        OldDataFile f;
        std::string why;
        EXPECT_FALSE(parse(r.bytes, f, why));
        EXPECT_EQ(why, r.why);
    }
    LanguageIndex = 6;
    OldDataFile f0;
    std::string why0;
    EXPECT_FALSE(ReadOldDataFile("/nonexistent/%2/old.dat", f0, why0));
    EXPECT_EQ(why0, "čitanje nije moguće: /nonexistent/%2/old.dat");
    LanguageIndex = 1;
    OldFileModel most;
    most.matches.resize(kOldMaxMatchCount);
    OldDataFile f;
    std::string why;
    EXPECT_TRUE(parse(xbtest::EncodeOldFile(most), f, why)) << why;
    EXPECT_EQ(f.matches.size(), static_cast<std::size_t>(kOldMaxMatchCount));
}

TEST(OldDataFile, NameFieldsByTheirLengthByteElseByTheirBytes) {
    auto field = [](std::initializer_list<int> bytes, std::size_t size) {
        std::vector<uint8_t> f(size, 0);
        std::size_t i = 0;
        for (int b : bytes) f[i++] = static_cast<uint8_t>(b);
        return f;
    };
    const struct {
        const char* what;
        std::vector<uint8_t> f;
        std::string name;
    } cases[] = {
        {"length byte", field({5, 'N', 'a', 'n', 't', 'e'}, 11), "Nante"},
        {"full length keeps its last letter",
         field({10, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J'}, 11), "ABCDEFGHIJ"},
        {"stale tail dropped", field({3, 'L', 'y', 'o', 'n', 'n', 'a', 'i', 's'}, 11), "Lyo"},
        {"length 0", field({0, 'X', 'Y'}, 11), ""},
        {"control bytes inside", field({6, 'A', 1, 'B', 31, 'C', 9}, 11), "ABC"},
        {"only control bytes", field({4, 1, 2, 3, 4}, 11), ""},
        {"trailing blanks", field({6, 'R', 'e', 'd', ' ', ' ', ' '}, 11), "Red"},
        {"accented", field({6, 'S', 0xE8, 't', 'e', ' ', 0xC9}, 11), "S\xC3\xA8te \xC3\x89"},
        {"no length byte: the old rule", field({'P', 'a', 'r', 'i', 's', 1, 'X', 'Y', 'Z', 'W', 'Q'}, 11),
         "ParisXYZW"},
        {"byte 11..31 first: dropped as control", field({20, 'A', 'B'}, 11), "AB"},
        {"division name of 20",
         field({20,  'D', 'i', 'v', 'i', 's', 'i', 'o', 'n', ' ', 'd',
                'e', ' ', 'v', 'i', 'n', 'g', 't', ' ', 'c', 'h'},
               21),
         "Division de vingt ch"},
        {"division length 21: the old rule", field({21, 'A', 'B'}, 21), "AB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(OldFieldName(c.f.data(), c.f.size()), c.name);
    }
}

TEST(OldImportPlan, KeepsTheTablesBoundsAndCountsWhatItLeftOut) {
    OldFileModel m;
    m.teams = {{1, "A"}, {2, "B"}, {3, "C"}};
    m.seasons[0][0] = {"Over", 9, 30, {1, 2, 3, 250, 0, 5, -3}, {}};  // scheme 9, count 30
    m.seasons[0][1] = {"Under", 0, -1, {1, 2}, {}};                   // scheme 0, count -1
    m.seasons[1][2] = {"", 1, 2, {1, 2}, {}};                         // unnamed: no division
    m.matches = {
        {10, 1987, 1, 1, 2, 1, 0, 7},     // result 7: by the score, V1
        {10, 1987, 2, 1, 2, 2, 2, -1},    // result -1: N
        {10, 1987, 150, 1, 2, 0, 0, 0},   // matchday 150
        {10, 1987, 0, 1, 2, 0, 0, 0},     // matchday 0
        {10, 1987, 3, 1, 2, 1000, 0, 1},  // score 1000
        {10, 1987, 3, 1, 2, 0, -1, 1},    // score -1
        {10, 1987, 3, 250, 2, 0, 0, 0},   // team 250
        {10, 1987, 3, 1, 4, 0, 0, 0},     // team 4 has no name
        {21, 1988, 1, 1, 2, 0, 0, 0},     // unnamed division
        {10, 1985, 1, 1, 2, 0, 0, 0},     // a year the file has no season of
        {99, 1987, 1, 1, 2, 0, 0, 0},     // no such code
        {20, 1987, 5, 2, 1, 999, 0, 4},   // in bounds: F1
    };
    OldDataFile f;
    std::string why;
    ASSERT_TRUE(parse(xbtest::EncodeOldFile(m), f, why)) << why;
    const ImportPlan p = PlanImport(f);
    ASSERT_EQ(p.teams.size(), 3u);
    ASSERT_EQ(p.divisions.size(), 2u);
    const PlannedDivision& over = p.divisions[0];
    EXPECT_EQ(over.year, 1987);
    EXPECT_EQ(over.scheme, kDefaultPointsScheme);
    EXPECT_EQ(over.rules, (SeasonRules{3, 1, 0, 0, 0, 26, 0}));
    EXPECT_EQ(over.teams, (std::vector<int>{1, 2, 3}));
    const PlannedDivision& under = p.divisions[1];
    EXPECT_EQ(under.rules.teams, 0);
    EXPECT_TRUE(under.teams.empty());
    ASSERT_EQ(over.matches.size(), 2u);
    EXPECT_EQ(over.matches[0].code, "V1");
    EXPECT_EQ(over.matches[1].code, "N");
    ASSERT_EQ(under.matches.size(), 1u);
    EXPECT_EQ(under.matches[0].code, "F1");
    EXPECT_EQ(under.matches[0].homeGoals, 999);
    EXPECT_EQ(p.counts.schemesDefaulted, 2);
    EXPECT_EQ(p.counts.teamCountsClamped, 2);
    EXPECT_EQ(p.counts.listEntriesSkipped, 23);  // 250, 0, 5, -3 and 19 empty entries of the 26
    EXPECT_EQ(p.counts.resultsDefaulted, 2);
    EXPECT_EQ(p.counts.matchesSkipped, 6);
    EXPECT_EQ(p.counts.matchesUnplaced, 3);
}

TEST(OldImportPlan, SchemesAndCodes) {
    EXPECT_EQ(PointsOfScheme(1), (SeasonRules{3, 2, 1, 3, 0, 0, 0}));
    EXPECT_EQ(PointsOfScheme(2), (SeasonRules{2, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(PointsOfScheme(4), (SeasonRules{4, 2, 1, 4, 0, 0, 0}));
    const char* codes[] = {"N", "V1", "V2", "F2", "F1"};
    for (int r = 0; r < 5; ++r) EXPECT_EQ(CodeOfOldResult(r), codes[r]);
    EXPECT_EQ(CodeOfOldResult(5), "");
}

}  // namespace
