#include "engine/index/mdx_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>

#include "engine/core/dbf_file.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/navigation.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "engine/index/expr_unit.h"
#include "engine/index/key_routines.h"
#include "engine/index/mdx_build.h"
#include "engine/index/mdx_node.h"
#include "engine/index/mdx_search_fixture.h"
#include "engine/index/semaphore_file.h"
#include "tests/support/fixtures.h"

namespace xb {
namespace {

using searchtest::CloseIndexForSearch;
using searchtest::OpenIndexForSearch;
using searchtest::SelectOrderForSearch;

// The test table: name C 6, value N 10.2, day D 8.
const std::vector<FieldDef> kFields = {{"name", 'C', 6, 0}, {"value", 'N', 10, 2}, {"day", 'D', 8, 0}};

struct Row {
    std::string name;         // up to 6 bytes
    double value = 0;         // a multiple of 0.25
    double day = kBlankDate;  // a day number or kBlankDate
    bool deleted = false;
};

std::string numberText(double v, int decimals) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    return std::string(buf, r.ptr);
}

void WriteTable(const std::string& path, const std::vector<Row>& rows) {
    TableBlock b;
    ASSERT_TRUE(CreateDbf(b, path, kFields));
    std::string bytes = xbtest::ReadFileBytes(path + ".dbf");
    const size_t header = static_cast<uint8_t>(bytes[8]) | (static_cast<uint8_t>(bytes[9]) << 8);
    bytes.resize(header);
    for (const Row& r : rows) {
        bytes += r.deleted ? '*' : ' ';
        bytes += (r.name + std::string(6, ' ')).substr(0, 6);
        const std::string v = numberText(r.value, 2);
        bytes += std::string(10 - v.size(), ' ') + v;
        bytes += r.day == kBlankDate ? std::string(8, ' ') : JulianToDtos(r.day);
    }
    bytes += '\x1A';
    const auto count = static_cast<uint32_t>(rows.size());
    for (int k = 0; k < 4; ++k) bytes[4 + k] = static_cast<char>((count >> (8 * k)) & 0xFF);
    xbtest::WriteFileBytes(path + ".dbf", bytes);
}

class SearchTest : public xbtest::EngineTest {
protected:
    void SetUp() override {
        InstallExpressionEngine(engine());
        engine().settings.century = true;
        engine().settings.ansi = true;  // the tables' bytes as written; one test turns translation on
        m_tmpDir = tmp.file("tmp");
        std::filesystem::create_directory(m_tmpDir);
        setenv("TMPDIR", m_tmpDir.c_str(), 1);
    }
    void TearDown() override {
        for (int a = 1; a <= 2; ++a) {
            Select(a);
            CloseIndexForSearch();
        }
        CloseAllDatabases();
        unsetenv("TMPDIR");
    }
    // Writes the table, builds the tags and opens the index with the first tag current.
    void make(const std::vector<Row>& rows, const std::vector<TagDefinition>& tags, bool exclusive = true) {
        WriteTable(tmp.file("t"), rows);
        ASSERT_TRUE(Use(tmp.file("t") + " EXCLUSIVE", nullptr, 0)) << ErrorMsg();
        ASSERT_TRUE(MakeIndex(tags, "")) << ErrorMsg();
        if (!exclusive) {
            CloseDatabase();
            ASSERT_TRUE(Use(tmp.file("t"), nullptr, 0)) << ErrorMsg();
        }
        ASSERT_TRUE(OpenIndexForSearch(tmp.file("t.mdx"))) << ErrorMsg();
    }
    MdxTag& order() { return *CurrentMdxArea()->tags[1]; }
    int32_t count() { return CurrentBlock()->recCount; }
    // The records of a full walk forward (first, then next until EOF) or backward.
    std::vector<int32_t> walk(bool forward) {
        std::vector<int32_t> seen;
        int32_t r = forward ? _FindFirstRec() : _FindLastRec();
        while (!(forward ? IndexEof() : IndexBof()) && seen.size() <= static_cast<size_t>(count()) + 1) {
            seen.push_back(r);
            r = forward ? _FindNextRec() : _FindPriorRec();
        }
        return seen;
    }

    std::string m_tmpDir;
};

std::vector<Row> namedRows(const std::vector<std::string>& names) {
    std::vector<Row> rows;
    for (const std::string& n : names) rows.push_back(Row{n, 0, kBlankDate, false});
    return rows;
}

// ---- the documented Find cases ----------------------------------------------------------------------------

TEST_F(SearchTest, FindOnCharacterKeysByPrefixAndExactly) {
    make(namedRows({"abd", "aa", "abc", "ab"}), {{"NAME", "left(name,3)", "", false, false}});
    struct Case {
        const char* text;
        bool exact;
        bool found;
        int32_t record;  // 5: end of file (count + 1)
    } cases[] = {
        {"ab", false, true, 4}, {"abc", false, true, 3}, {"ac", false, false, 5}, {"a", false, true, 2},
        {"ab", true, true, 4},  {"abc", true, true, 3},  {"abe", true, false, 5}, {"abcd", false, true, 3},
        {"0", false, false, 5}, {"b", false, false, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + (c.exact ? " exact" : ""));
        if (c.exact)
            SetExactOn();
        else
            SetExactOff();
        EXPECT_EQ(Find(c.text), c.found);
        EXPECT_EQ(*IndexFoundFlag(), c.found);
        EXPECT_EQ(RecNo(), c.record);
        EXPECT_EQ(dEOF(), !c.found);
        EXPECT_EQ(IndexEof(), !c.found);
    }
    // Exact on: "ab" is not "abc".
    CloseIndexForSearch();
    CloseAllDatabases();
    make(namedRows({"aa", "abc", "abd"}), {{"NAME", "left(name,3)", "", false, false}});
    EXPECT_FALSE(SetExactOn());
    EXPECT_FALSE(Find("ab"));
    EXPECT_EQ(RecNo(), 4);
    EXPECT_TRUE(SetExactOff());
    EXPECT_TRUE(Find("ab"));
    EXPECT_EQ(RecNo(), 2);
}

TEST_F(SearchTest, NumericKeysCompareByValue) {
    std::vector<Row> rows;
    for (double v : {15.5, -2.0, 15.0, 0.0, -1.0, 123.45, 15.0})
        rows.push_back(Row{"x", v, kBlankDate, false});
    make(rows, {{"VALUE", "value", "", false, false}, {"DOWN", "value", "", true, false}});
    struct Case {
        const char* text;
        bool found;
        int32_t record;
    } up[] = {{"15", true, 3},     {"15.0", true, 3},   {"15.00", true, 3}, {"15.5", true, 1},
              {"15.50", true, 1},  {"-2", true, 2},     {"-1.0", true, 5},  {"0", true, 4},
              {"123.45", true, 6}, {"15.25", false, 8}, {"1000", false, 8}, {"-3", false, 8}};
    for (const Case& c : up) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Find(c.text), c.found);
        EXPECT_EQ(RecNo(), c.record);
    }
    SelectOrderForSearch(2);
    EXPECT_TRUE(Find("15"));
    EXPECT_EQ(RecNo(), 3);  // equal keys stay in record order in a descending tag
    EXPECT_EQ(_FindNextRec(), 7);
    EXPECT_EQ(_FindNextRec(), 4);
    EXPECT_FALSE(Find("16"));
    EXPECT_EQ(RecNo(), 8);
}

TEST_F(SearchTest, FindOnDateKeysReadsTheCurrentPicture) {
    const double d1 = DtosToJulian("20261207"), d2 = DtosToJulian("19991231");
    make({Row{"a", 0, d1, false}, Row{"b", 0, kBlankDate, false}, Row{"c", 0, d2, false}},
         {{"DAY", "day", "", false, false}});
    EXPECT_TRUE(Find(JulianToDateStr(d1)));
    EXPECT_EQ(RecNo(), 1);
    EXPECT_TRUE(Find("  " + JulianToDateStr(d2) + "  "));
    EXPECT_EQ(RecNo(), 3);
    EXPECT_FALSE(Find(JulianToDateStr(d2 + 1)));
    EXPECT_EQ(RecNo(), 4);
    // Blank dates sort last and a blank text finds them.
    EXPECT_EQ(walk(true), (std::vector<int32_t>{3, 1, 2}));
    EXPECT_TRUE(Find(" "));
    EXPECT_EQ(RecNo(), 2);
}

// Another writer's index may hold the blank date as another number far past the last day (one writes
// 21474835648.0): a blank date finds those keys and the record on one of them is found in its tag, in
// both directions.
TEST_F(SearchTest, BlankDatesAPeerWroteAreFoundLikeOurs) {
    const double d1 = DtosToJulian("20261207"), d2 = DtosToJulian("19991231");
    make({Row{"a", 0, d1, false}, Row{"b", 0, kBlankDate, false}, Row{"c", 0, kBlankDate, false},
          Row{"d", 0, d2, false}},
         {{"DAY", "day", "", false, false}, {"DOWN", "day", "", true, false}});
    CloseIndexForSearch();
    uint8_t ours[8], theirs[8];
    DateToKey(kBlankDate, ours);
    DateToKey(21474835648.0, theirs);
    std::string mdx = xbtest::ReadFileBytes(tmp.file("t.mdx"));
    const std::string from(reinterpret_cast<char*>(ours), 8), to(reinterpret_cast<char*>(theirs), 8);
    int replaced = 0;
    for (size_t at = mdx.find(from); at != std::string::npos; at = mdx.find(from, at + 8), ++replaced)
        mdx.replace(at, 8, to);
    ASSERT_EQ(replaced, 4);  // two blank rows in two tags
    xbtest::WriteFileBytes(tmp.file("t.mdx"), mdx);
    ASSERT_TRUE(OpenIndexForSearch(tmp.file("t.mdx"))) << ErrorMsg();

    for (const int tag : {1, 2}) {
        SCOPED_TRACE(tag);
        SelectOrderForSearch(tag);
        EXPECT_EQ(walk(true),
                  tag == 1 ? (std::vector<int32_t>{4, 1, 2, 3}) : (std::vector<int32_t>{2, 3, 1, 4}));
        EXPECT_TRUE(Find(" "));
        EXPECT_EQ(RecNo(), 2);
        EXPECT_TRUE(Find(JulianToDateStr(d2)));
        EXPECT_EQ(RecNo(), 4);
        ASSERT_TRUE(Dbf4RawGo(3));
        EXPECT_TRUE(SoftSyncIndex()) << ErrorMsg();
        EXPECT_EQ(TagCurrentRecord(*CurrentMdxArea()->tags[tag]), 3u);
    }
}

// A descending search by prefix lands on the first of the keys that begin with the text, also when
// bytes 0xFE and 0xFF follow the prefix.
TEST_F(SearchTest, DescendingPrefixSearchLandsOnTheHighestKeyWithThePrefix) {
    make(namedRows({"aa", "ab\xFE", "abc", "ab\xFF", "ac", "ab"}),
         {{"DOWN", "left(name,3)", "", true, false}});
    EXPECT_EQ(walk(true), (std::vector<int32_t>{5, 4, 2, 3, 6, 1}));
    EXPECT_TRUE(Find("ab"));
    EXPECT_EQ(RecNo(), 4);
    EXPECT_TRUE(Find("ab\xFE"));
    EXPECT_EQ(RecNo(), 2);
    EXPECT_TRUE(Find("a"));
    EXPECT_EQ(RecNo(), 5);
    EXPECT_FALSE(Find("ad"));
    EXPECT_EQ(RecNo(), 7);
}

TEST_F(SearchTest, FindReportsMisuseAndDoesNotMove) {
    EXPECT_FALSE(Find("a"));
    EXPECT_EQ(LastError(), 215);
    make(namedRows({"b", "a"}), {{"NAME", "name", "", false, false}});
    ASSERT_TRUE(Go(2));
    EXPECT_FALSE(Find(""));  // nothing to search
    EXPECT_EQ(RecNo(), 2);
    SelectOrderForSearch(0);
    EXPECT_FALSE(Find("b"));
    EXPECT_EQ(LastError(), 254);
    EXPECT_NE(ErrorMsg().find("Cannot use Find() with index order 0 (natural order) [Find]"),
              std::string::npos);
    EXPECT_EQ(RecNo(), 2);
    CloseIndexForSearch();
    EXPECT_FALSE(Find("b"));
    EXPECT_EQ(LastError(), 221);
    const std::string msg = ErrorMsg();
    EXPECT_NE(msg.find("Index not open. (DBF="), std::string::npos) << msg;
    EXPECT_NE(msg.find(") [Find]"), std::string::npos) << msg;
}

// ---- end rules --------------------------------------------------------------------------------------------

TEST_F(SearchTest, EndRulesOfNextAndPrior) {
    make(namedRows({"c", "a", "b"}), {{"NAME", "name", "", false, false}});
    EXPECT_EQ(_FindFirstRec(), 2);
    EXPECT_TRUE(*IndexFoundFlag());
    EXPECT_EQ(_FindNextRec(), 3);
    EXPECT_EQ(_FindNextRec(), 1);
    EXPECT_FALSE(IndexEof());
    // Next from the last key: EOF, the same record, found false; again: still EOF.
    EXPECT_EQ(_FindNextRec(), 1);
    EXPECT_TRUE(IndexEof());
    EXPECT_FALSE(*IndexFoundFlag());
    EXPECT_EQ(_FindNextRec(), 1);
    EXPECT_TRUE(IndexEof());
    // Prior from end of file: the last key's record.
    EXPECT_EQ(_FindPriorRec(), 1);
    EXPECT_FALSE(IndexEof());
    EXPECT_EQ(_FindPriorRec(), 3);
    EXPECT_EQ(_FindPriorRec(), 2);
    EXPECT_FALSE(IndexBof());
    EXPECT_EQ(_FindPriorRec(), 2);  // before the first key: BOF on the same record
    EXPECT_TRUE(IndexBof());
    EXPECT_EQ(_FindPriorRec(), 2);
    EXPECT_EQ(_FindNextRec(), 3);  // and forward again from there
    EXPECT_FALSE(IndexBof());
    // After a miss the area is at end of file and a step back reaches the last key.
    EXPECT_FALSE(Find("d"));
    EXPECT_EQ(RecNo(), 4);
    EXPECT_EQ(_FindNextRec(), 1);
    EXPECT_TRUE(IndexEof());
    EXPECT_FALSE(Find("zz"));
    EXPECT_EQ(_FindPriorRec(), 1);
    EXPECT_EQ(_FindLastRec(), 1);
    EXPECT_EQ(_FindFirstRec(), 2);
}

TEST_F(SearchTest, TagsWithoutKeysAnswerBofAndEofToEveryMove) {
    struct Case {
        const char* name;
        std::vector<Row> rows;
        TagDefinition tag;
    } cases[] = {
        {"empty table", {}, {"NAME", "name", "", false, false}},
        {"FOR tag nobody satisfies", namedRows({"a", "b", "c"}), {"NONE", "name", "value > 0", false, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        make(c.rows, {c.tag});
        const auto end = static_cast<int32_t>(c.rows.size()) + 1;
        for (const auto& move : std::vector<std::function<int32_t()>>{
                 _FindFirstRec, _FindLastRec, _FindNextRec, _FindPriorRec, _FindNextRec}) {
            EXPECT_EQ(move(), end);
            EXPECT_TRUE(IndexEof());
            EXPECT_TRUE(IndexBof());
        }
        EXPECT_FALSE(Find("a"));
        EXPECT_EQ(RecNo(), end);
        EXPECT_TRUE(dEOF());
        CloseIndexForSearch();
        CloseAllDatabases();
    }
}

TEST_F(SearchTest, NaturalOrderMovesByRecordNumber) {
    make(namedRows({"c", "a", "b"}), {{"NAME", "name", "", false, false}});
    SelectOrderForSearch(0);
    EXPECT_EQ(_FindFirstRec(), 1);
    EXPECT_EQ(_FindLastRec(), 3);
    ASSERT_TRUE(Dbf4RawGo(2));
    EXPECT_EQ(_FindNextRec(), 3);
    ASSERT_TRUE(Dbf4RawGo(3));
    EXPECT_EQ(_FindNextRec(), 3);
    EXPECT_TRUE(IndexEof());
    ASSERT_TRUE(Dbf4RawGo(1));
    EXPECT_EQ(_FindPriorRec(), 1);
    EXPECT_TRUE(IndexBof());
}

TEST_F(SearchTest, FindConvertsTheTextOfAnOemTable) {
    // "\x82" is e acute in the OEM code page, "\xE9" in the ANSI one.
    make(namedRows({"caf\x82", "cafa"}), {{"NAME", "name", "", false, false}});
    CloseIndexForSearch();
    CloseAllDatabases();
    engine().settings.ansi = false;
    ASSERT_TRUE(Use(tmp.file("t") + " EXCLUSIVE", nullptr, 0)) << ErrorMsg();
    ASSERT_TRUE(CurrentBlock()->oem);
    ASSERT_TRUE(MakeIndex({{"NAME", "name", "", false, false}}, "")) << ErrorMsg();
    ASSERT_TRUE(OpenIndexForSearch(tmp.file("t.mdx"))) << ErrorMsg();
    EXPECT_TRUE(Find("caf\xE9"));
    EXPECT_EQ(RecNo(), 1);
    EXPECT_EQ(TagKeyTextProc(1)(), "caf\xE9  ");
    SetExactOn();
    EXPECT_TRUE(Find("cafa"));
    EXPECT_EQ(RecNo(), 2);
    EXPECT_FALSE(Find("caf\x82"));
}

// ---- records the area hides -------------------------------------------------------------------------------

TEST_F(SearchTest, FindSkipsHiddenRecordsAndComparesTheRecordItLandsOn) {
    std::vector<Row> rows = namedRows({"x", "x", "y", "x", "z", "w"});
    rows[0].deleted = rows[1].deleted = rows[5].deleted = true;
    make(rows, {{"NAME", "name", "", false, false}});
    SetIgnoreDel(true);
    EXPECT_TRUE(Find("x"));  // records 1 and 2 are deleted
    EXPECT_EQ(RecNo(), 4);
    EXPECT_FALSE(Find("w"));  // the only "w" is deleted: the next visible key is "x", not "w"
    EXPECT_EQ(RecNo(), 7);
    SetIgnoreDel(false);
    EXPECT_TRUE(Find("w"));
    EXPECT_EQ(RecNo(), 6);
    // With a filter as well.
    ASSERT_TRUE(Set_Filter_To("trim(name) <> \"x\""));
    EXPECT_TRUE(Find("x") == false);
    EXPECT_EQ(RecNo(), 7);
    EXPECT_TRUE(Find("y"));
    EXPECT_EQ(RecNo(), 3);
}

TEST_F(SearchTest, TheAreaLayerSkipsHiddenRecordsInKeyOrderAndFallsBackToRecordOrder) {
    searchtest::InstallSearchDriver(engine());
    std::vector<Row> rows = namedRows({"d", "b", "a", "c", "e"});
    rows[2].deleted = rows[4].deleted = true;
    make(rows, {{"NAME", "name", "", false, false}});
    SetIgnoreDel(true);
    std::vector<int32_t> seen;
    for (GoTop(); !dEOF(); Skip(1)) seen.push_back(RecNo());
    EXPECT_EQ(seen, (std::vector<int32_t>{2, 4, 1}));
    seen.clear();
    for (GoBottom(); !dBOF(); Skip(-1)) seen.push_back(RecNo());
    EXPECT_EQ(seen, (std::vector<int32_t>{1, 4, 2}));
    SelectOrderForSearch(0);
    seen.clear();
    for (GoTop(); !dEOF(); Skip(1)) seen.push_back(RecNo());
    EXPECT_EQ(seen, (std::vector<int32_t>{1, 2, 4}));
}

// ---- the model: random searches and walks on trees of many shapes -----------------------------------------

struct Shape {
    const char* name;
    int records;
    char type;  // 'C' (name), 'N' (value), 'D' (day)
    bool descending;
    bool unique;
    bool withFor;      // FOR value > 0
    bool someDeleted;  // every 7th record deleted and hidden
};

// The order's entries as the tag must hold them: key values in the tag's order, equal keys by record.
struct ModelEntry {
    std::string text;   // C keys
    double number = 0;  // N and D keys
    int32_t record = 0;
};

int compareModel(const Shape& s, const ModelEntry& a, const ModelEntry& b) {
    int c;
    if (s.type == 'C')
        c = a.text.compare(b.text) < 0 ? -1 : a.text == b.text ? 0 : 1;
    else
        c = a.number < b.number ? -1 : a.number == b.number ? 0 : 1;
    return s.descending ? -c : c;
}

std::vector<Row> randomRows(const Shape& s, std::mt19937& rng) {
    // A tab sorts below the blanks that pad keys; 0xFE and 0xFF above every letter.
    static const char kLetters[] = {'a', 'b', '\t', '\xFE', 'c', '\xFF', 'd'};
    std::vector<Row> rows(static_cast<size_t>(s.records));
    for (size_t i = 0; i < rows.size(); ++i) {
        Row& r = rows[i];
        const int len = 1 + static_cast<int>(rng() % 6);
        for (int k = 0; k < len; ++k) r.name += kLetters[rng() % (s.records > 1000 ? 7 : 4)];
        r.value = (static_cast<int>(rng() % 2001) - 1000) / 4.0;
        r.day = rng() % 10 == 0 ? kBlankDate : 2450000 + static_cast<double>(rng() % 4000);
        r.deleted = s.someDeleted && i % 7 == 3;
    }
    return rows;
}

std::vector<ModelEntry> model(const Shape& s, const std::vector<Row>& rows) {
    std::vector<ModelEntry> m;
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        if (s.withFor && !(r.value > 0)) continue;
        ModelEntry e;
        e.record = static_cast<int32_t>(i + 1);
        e.text = (r.name + std::string(6, ' ')).substr(0, 6);
        e.number = s.type == 'N' ? r.value : r.day;
        m.push_back(e);
    }
    std::stable_sort(m.begin(), m.end(),
                     [&](const ModelEntry& a, const ModelEntry& b) { return compareModel(s, a, b) < 0; });
    if (s.unique) {
        auto last = std::unique(m.begin(), m.end(), [&](const ModelEntry& a, const ModelEntry& b) {
            return compareModel(s, a, b) == 0;
        });
        m.erase(last, m.end());
    }
    return m;
}

// A text to search and what the model says about it: the record found, or count + 1.
struct Probe {
    std::string text;
    bool exact = false;
    int32_t expect = 0;
};

Probe probeFor(const Shape& s, const std::vector<ModelEntry>& m, const std::vector<Row>& rows,
               std::mt19937& rng) {
    static const char kLetters[] = {'a', 'b', '\t', '\xFE', 'c', '\xFF', 'd', ' '};
    Probe p;
    const ModelEntry* some = m.empty() ? nullptr : &m[rng() % m.size()];
    ModelEntry target;
    size_t compared = 0;
    if (s.type == 'C') {
        p.exact = rng() % 4 == 0;
        if (some && rng() % 3 != 0) {
            p.text = some->text.substr(0, 1 + rng() % 6);
        } else {
            for (int k = 0, n = 1 + static_cast<int>(rng() % 7); k < n; ++k) p.text += kLetters[rng() % 8];
        }
        const std::string cut = p.text.substr(0, 6);
        compared = p.exact ? 6 : cut.size();
        target.text = cut + std::string(6 - cut.size(), p.exact ? ' ' : s.descending ? '\xFF' : '\0');
    } else {
        double x = some && rng() % 3 != 0 ? some->number
                   : s.type == 'N'        ? (static_cast<int>(rng() % 2401) - 1200) / 4.0
                                          : 2449990 + static_cast<double>(rng() % 4020);
        if (s.type == 'N')
            p.text = numberText(x, static_cast<int>(rng() % 4));
        else
            p.text = x == kBlankDate ? "  /  /    " : JulianToDateStr(x);
        // The text's own value: it may have fewer decimals than the key it was made from.
        if (s.type == 'N') std::from_chars(p.text.data(), p.text.data() + p.text.size(), x);
        target.number = x;
    }
    // The first entry not below the target, then forward over hidden records.
    auto it = std::lower_bound(m.begin(), m.end(), target, [&](const ModelEntry& a, const ModelEntry& b) {
        return compareModel(s, a, b) < 0;
    });
    while (it != m.end() && rows[static_cast<size_t>(it->record - 1)].deleted) ++it;
    const bool hit =
        it != m.end() && (s.type == 'C' ? it->text.compare(0, compared, target.text, 0, compared) == 0
                                        : it->number == target.number);
    p.expect = hit ? it->record : static_cast<int32_t>(rows.size()) + 1;
    return p;
}

TEST_F(SearchTest, RandomSearchesAndWalksAgreeWithASortedModel) {
    const Shape shapes[] = {
        {"C one record", 1, 'C', false, false, false, false},
        {"C one full leaf", 84, 'C', false, false, false, false},
        {"C one more than a leaf", 85, 'C', false, false, false, true},
        {"C descending unique", 3000, 'C', true, true, false, false},
        {"C FOR, deleted", 6000, 'C', false, false, true, true},
        {"C large", 100000, 'C', false, false, false, true},
        {"C large descending", 100000, 'C', true, false, false, false},
        {"N ascending", 5000, 'N', false, false, false, true},
        {"N descending FOR", 20000, 'N', true, false, true, false},
        {"N unique", 7000, 'N', false, true, false, false},
        {"D ascending with blanks", 7000, 'D', false, false, false, true},
        {"D descending unique", 100000, 'D', true, true, false, false},
        {"D FOR", 400, 'D', false, false, true, false},
    };
    std::mt19937 rng(7);
    for (const Shape& s : shapes) {
        SCOPED_TRACE(s.name);
        const std::vector<Row> rows = randomRows(s, rng);
        const std::string key = s.type == 'C' ? "name" : s.type == 'N' ? "value" : "day";
        make(rows, {{"T", key, s.withFor ? "value > 0" : "", s.descending, s.unique}});
        const std::vector<ModelEntry> m = model(s, rows);
        std::vector<int32_t> forward;
        for (const ModelEntry& e : m) forward.push_back(e.record);
        ASSERT_EQ(walk(true), forward);
        std::vector<int32_t> backward(forward.rbegin(), forward.rend());
        ASSERT_EQ(walk(false), backward);

        if (s.someDeleted) SetIgnoreDel(true);
        // Where each record stands in the model, to check the steps after a search.
        std::vector<size_t> at(rows.size() + 1);
        for (size_t i = 0; i < m.size(); ++i) at[static_cast<size_t>(m[i].record)] = i;
        int failures = 0;
        for (int i = 0; i < 600 && failures < 5; ++i) {
            const Probe p = probeFor(s, m, rows, rng);
            if (p.exact)
                SetExactOn();
            else
                SetExactOff();
            const bool found = Find(p.text);
            const bool ok = RecNo() == p.expect && found == (p.expect <= count());
            if (!ok) ++failures;
            EXPECT_TRUE(ok) << "text \"" << p.text << "\" exact " << p.exact << ": record " << RecNo()
                            << " found " << found << ", model " << p.expect;
            if (!found || !ok) continue;
            // The order continues from the record found.
            size_t k = at[static_cast<size_t>(p.expect)];
            if (k + 1 < m.size()) {
                EXPECT_EQ(_FindNextRec(), m[k + 1].record);
                EXPECT_EQ(_FindPriorRec(), m[k].record);
            }
            if (k > 0) {
                EXPECT_EQ(_FindPriorRec(), m[k - 1].record);
            }
        }
        SetExactOff();
        CloseIndexForSearch();
        CloseAllDatabases();
    }
}

// ---- other stations' changes ------------------------------------------------------------------------------

// Area 1 navigates; area 2, another station on the same table, inserts a key into the root leaf in place
// under the write lock. The next move of area 1 sees the update counter, reads the node again and puts
// its order back on its record.
TEST_F(SearchTest, AnotherStationsChangeIsSeenThroughTheUpdateCounter) {
    make(namedRows({"a", "c", "e", "g"}), {{"NAME", "name", "", false, false}}, false);
    ASSERT_TRUE(HandleSemafore(kSemLogin)) << ErrorMsg();
    ASSERT_TRUE(Select(2));
    ASSERT_TRUE(Use(tmp.file("t") + " ALIAS OTHER", nullptr, 0)) << ErrorMsg();
    ASSERT_TRUE(HandleSemafore(kSemLogin)) << ErrorMsg();
    ASSERT_TRUE(OpenIndexForSearch(tmp.file("t.mdx"))) << ErrorMsg();
    Select(1);
    {
        IndexReadBracket read;
        ASSERT_EQ(Find("c"), true);
        EXPECT_EQ(RecNo(), 2);
    }

    // The other station appends record 5 ("b") and puts its key into the leaf before "c".
    Select(2);
    {
        IndexWriteBracket write;
        ASSERT_TRUE(write.entered());
        WorkAreaBlock& b = *CurrentBlock();
        ClearRecord();
        std::memcpy(b.raw.data() + 1, "b     ", 6);
        ASSERT_TRUE(AppendDbfRecord(b));
        ASSERT_TRUE(WriteDbfHeader(b));
        MdxArea& area = *CurrentMdxArea();
        MdxTag& tag = *area.tags[1];
        std::array<uint8_t, kMdxNodeSize> node{};
        ASSERT_TRUE(SeekAndRead(area, tag, tag.header.root(), node.data()));
        const uint16_t item = tag.header.itemLength();
        uint8_t* first = NodeEntry(node.data(), item, 1);
        std::memmove(first + item, first, static_cast<size_t>(4 - 1) * item + 4);
        PutU32(first, 5);
        std::memcpy(first + 4, "b     ", 6);
        SetNodeCount(node.data(), 5);
        ASSERT_TRUE(SeekAndWrite(area, tag, tag.header.root(), node.data()));
    }
    Select(1);
    {
        IndexReadBracket read;
        EXPECT_EQ(_FindNextRec(), 3);  // from "c" to "e": the order was put back on record 2 first
        EXPECT_EQ(_FindPriorRec(), 2);
        EXPECT_EQ(_FindPriorRec(), 5);  // the new key is there
    }
    {
        IndexReadBracket read;
        EXPECT_EQ(walk(true), (std::vector<int32_t>{1, 5, 2, 3, 4}));
    }

    // Then it takes the key out again, writing the leaf anew at the end of the file and making it the
    // tag's root: only the tag header tells where the tree now starts.
    Select(2);
    {
        IndexWriteBracket write;
        ASSERT_TRUE(write.entered());
        MdxArea& area = *CurrentMdxArea();
        MdxTag& tag = *area.tags[1];
        std::array<uint8_t, kMdxNodeSize> node{};
        ASSERT_TRUE(SeekAndRead(area, tag, tag.header.root(), node.data()));
        const uint16_t item = tag.header.itemLength();
        uint8_t* second = NodeEntry(node.data(), item, 1);
        std::memmove(second, second + item, static_cast<size_t>(5 - 2) * item + 4);
        std::memset(NodeEntry(node.data(), item, 4) + 4, 0, item);
        SetNodeCount(node.data(), 4);
        uint64_t size = 0;
        ASSERT_EQ(area.file.size(size), 0);
        const auto block = static_cast<uint32_t>(size / kMdxBlockSize);
        ASSERT_TRUE(SeekAndWrite(area, tag, block, node.data()));
        tag.header.setRoot(block);
        ASSERT_TRUE(WriteAnchor(area, tag));
    }
    Select(1);
    {
        IndexReadBracket read;
        EXPECT_EQ(walk(true), (std::vector<int32_t>{1, 2, 3, 4}));
    }
    Select(2);
    CloseIndexForSearch();
    CloseDatabase();
    Select(1);
}

// ---- failures ---------------------------------------------------------------------------------------------

TEST_F(SearchTest, DamagedTreesAreReportedNotFollowed) {
    make(namedRows({"a", "b"}), {{"NAME", "name", "", false, false}});
    order().header.setRoot(0);
    EXPECT_EQ(_FindFirstRec(), 0);
    EXPECT_EQ(LastError(), 254);
    EXPECT_NE(ErrorMsg().find("Invalid Node Number (0) in DBF Area 1"), std::string::npos);
    order().header.setRoot(100000);  // beyond the end of the file
    EXPECT_FALSE(Find("a"));
    EXPECT_EQ(LastError(), 222);
}

TEST_F(SearchTest, SoftSyncIndexReportsARecordMissingFromTheTag) {
    make(namedRows({"a", "b"}), {{"NAME", "name", "", false, false}});
    ASSERT_TRUE(Dbf4RawGo(2));
    EXPECT_TRUE(SoftSyncIndex());
    EXPECT_EQ(TagCurrentRecord(order()), 2u);
    std::memcpy(CurrentBlock()->raw.data() + 1, "q", 1);  // a key the tag does not hold
    RawToTypedRecord(*CurrentBlock(), CurrentBlock()->typed);
    EXPECT_FALSE(SoftSyncIndex());
    EXPECT_EQ(LastError(), 212);
    EXPECT_NE(ErrorMsg().find("Record with key: \"q     \" not in index:  [tag: NAME]. [SoftSyncIndex]"),
              std::string::npos)
        << ErrorMsg();
}

// ---- key texts --------------------------------------------------------------------------------------------

TEST_F(SearchTest, KeyTextsOfTheCurrentRecord) {
    make({Row{"ab", 15.5, DtosToJulian("20261207"), false}, Row{"cd", -2, kBlankDate, false}},
         {{"NAME", "name", "", false, false},
          {"VALUE", "value", "", false, false},
          {"DAY", "day", "", false, false}});
    ASSERT_TRUE(Dbf4RawGo(1));
    EXPECT_EQ(TagKeyTextProc(1)(), "ab    ");
    EXPECT_EQ(TagKeyTextProc(2)(), "     15.50");
    EXPECT_EQ(TagKeyTextProc(3)(), JulianToDateStr(DtosToJulian("20261207")));
    EXPECT_FALSE(TagKeyTextProc(4));
    EXPECT_EQ(CurrentKeyTextProc()(), "ab    ");
    SelectOrderForSearch(2);
    EXPECT_EQ(CurrentKeyTextProc()(), "     15.50");
    ASSERT_TRUE(Dbf4RawGo(2));
    EXPECT_EQ(CurrentKeyTextProc()(), "     -2.00");
    SelectOrderForSearch(0);
    EXPECT_EQ(CurrentKeyTextProc()(), "Rec:         2");
    CloseIndexForSearch();
    EXPECT_FALSE(CurrentKeyTextProc());
}

}  // namespace
}  // namespace xb
