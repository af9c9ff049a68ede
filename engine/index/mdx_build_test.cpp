#include "engine/index/mdx_build.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>

#include "engine/core/dbf_file.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/work_areas.h"
#include "engine/index/expr_unit.h"
#include "engine/index/key_routines.h"
#include "engine/index/mdx_keys.h"
#include "engine/index/mdx_node.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "tests/support/fixtures.h"
#include "tests/support/mdx_checker.h"
#include "tests/support/run_command.h"
#include "tests/support/scripted_ui.h"

namespace xb {
namespace {

std::string padRight(const std::string& s, size_t w) { return (s + std::string(w, ' ')).substr(0, w); }
std::string padLeft(const std::string& s, size_t w) {
    return s.size() >= w ? s.substr(s.size() - w) : std::string(w - s.size(), ' ') + s;
}
std::string num(long v, size_t w) { return padLeft(std::to_string(v), w); }

// A cheap deterministic stream of numbers per seed (splitmix64).
struct Mix {
    uint64_t x;
    explicit Mix(uint64_t seed) : x(seed) {}
    uint64_t operator()() {
        uint64_t z = (x += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
};

// Writes a table directly: CreateDbf for the header, then the records' bytes (deletion flag first).
void WriteTable(const std::string& path, const std::vector<FieldDef>& fields, int32_t count,
                const std::function<std::string(int32_t)>& record) {
    TableBlock b;
    ASSERT_TRUE(CreateDbf(b, path, fields));
    std::string bytes = xbtest::ReadFileBytes(path + ".dbf");
    const size_t header = static_cast<uint8_t>(bytes[8]) | (static_cast<uint8_t>(bytes[9]) << 8);
    bytes.resize(header);
    for (int32_t r = 1; r <= count; ++r) bytes += record(r);
    bytes += '\x1A';
    for (int k = 0; k < 4; ++k) bytes[4 + k] = static_cast<char>((count >> (8 * k)) & 0xFF);
    xbtest::WriteFileBytes(path + ".dbf", bytes);
}

class MdxBuildTest : public xbtest::EngineTest {
protected:
    void SetUp() override {
        InstallExpressionEngine(engine());
        engine().settings.century = true;  // dates of the typed record keep their century
        m_tmpDir = tmp.file("tmp");
        std::filesystem::create_directory(m_tmpDir);
        const char* old = std::getenv("TMPDIR");
        m_oldTmp = old ? old : "";
        m_hadTmp = old != nullptr;
        setenv("TMPDIR", m_tmpDir.c_str(), 1);
    }
    void TearDown() override {
        SetMakeIndexProgress(nullptr, 0);
        CloseAllDatabases();
        if (m_hadTmp)
            setenv("TMPDIR", m_oldTmp.c_str(), 1);
        else
            unsetenv("TMPDIR");
    }
    // Opens a table written by WriteTable.
    void use(const std::string& name, bool exclusive = true) {
        ASSERT_TRUE(Use(tmp.file(name) + (exclusive ? " EXCLUSIVE" : ""), nullptr, 0)) << ErrorMsg();
    }
    bool tempDirEmpty() const { return std::filesystem::is_empty(m_tmpDir); }
    xbtest::MdxReport check(const std::string& name, bool fresh = true) {
        xbtest::MdxCheckOptions opt;
        opt.freshBuild = fresh;
        return xbtest::CheckMdxFile(tmp.file(name + ".mdx"), opt);
    }

    std::string m_tmpDir, m_oldTmp;
    bool m_hadTmp = false;
};

// ---- the champan index, byte by byte -------------------------------------------------------------------

const std::vector<FieldDef> kChampanFields = {{"annee", 'N', 4, 0},    {"nuchamp", 'N', 5, 0}, {"ptv", 'N', 2, 0},
                                              {"ptn", 'N', 2, 0},      {"ptd", 'N', 2, 0},     {"ptfv", 'N', 2, 0},
                                              {"ptfd", 'N', 2, 0},     {"nbequipe", 'N', 2, 0},
                                              {"nbjournee", 'N', 2, 0}};

TEST_F(MdxBuildTest, NewChampanIndexHasTheDocumentedLayout) {
    WriteTable(tmp.file("champan"), kChampanFields, 0, nullptr);
    use("champan");
    ASSERT_TRUE(MakeIndex({{"ANNEECHAMP", "str(annee,4)+str(nuchamp,3)", "", false, false},
                           {"CHAMPANNEE", "str(nuchamp,3)+str(annee,4)", "", false, false},
                           {"", "", "", false, false}},
                          ""))
        << ErrorMsg();

    std::string want(6144, '\0');
    auto put16 = [&](size_t at, uint16_t v) {
        want[at] = static_cast<char>(v & 0xFF);
        want[at + 1] = static_cast<char>(v >> 8);
    };
    // File header: version, 2026-12-07, base name, block size, node length, production, 48 slots of 32.
    want[0] = 2;
    want[1] = 126, want[2] = 12, want[3] = 7;
    want.replace(4, 7, "champan");
    put16(20, 2);
    put16(22, 1024);
    want[24] = 1, want[25] = 48, want[26] = 32;
    want[28] = 2;
    put16(32, 12);  // the file's block count
    want[44] = 126, want[45] = 12, want[46] = 7;
    // Tag table: header pages at blocks 6 and 10; CHAMPANNEE is the right child of ANNEECHAMP.
    auto slot = [&](int k, uint8_t page, const std::string& name, uint8_t l, uint8_t r, uint8_t p) {
        const size_t s = 512 + 32 * static_cast<size_t>(k);
        want[s] = static_cast<char>(page);
        want.replace(s + 4, name.size(), name);
        want[s + 16] = static_cast<char>(l), want[s + 17] = static_cast<char>(r), want[s + 18] = static_cast<char>(p);
        want[s + 19] = 2;
        want[s + 20] = 'C';
    };
    slot(1, 6, "ANNEECHAMP", 0, 2, 0);
    slot(2, 10, "CHAMPANNEE", 0, 0, 1);
    // Blocks 4 and 8: the empty root leaves. Blocks 6 and 10: the tag header pages.
    auto page = [&](size_t at, uint8_t root, const std::string& expr) {
        want[at] = static_cast<char>(root);
        want[at + 8] = 0x10;
        want[at + 9] = 'C';
        put16(at + 12, 7);
        put16(at + 14, 84);
        put16(at + 18, 12);
        want.replace(at + 24, expr.size(), expr);
    };
    page(3072, 4, "str(annee,4)+str(nuchamp,3)");
    page(5120, 8, "str(nuchamp,3)+str(annee,4)");

    const std::string got = xbtest::ReadFileBytes(tmp.file("champan.mdx"));
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) ASSERT_EQ(got[i], want[i]) << "byte " << i;
    EXPECT_TRUE(check("champan").ok()) << check("champan").text();

    std::vector<std::string> list;
    GetIndexTagList(tmp.file("champan"), list);
    EXPECT_EQ(list, (std::vector<std::string>{"ANNEECHAMP,F,F,str(annee,4)+str(nuchamp,3)", "",
                                              "CHAMPANNEE,F,F,str(nuchamp,3)+str(annee,4)", ""}));
}

// ---- bulk builds against a plain sort --------------------------------------------------------------------

// CODE C 7 (few distinct values), AMOUNT N 9.2, BORN D; record 3 is deleted and still indexed.
const std::vector<FieldDef> kMixedFields = {{"code", 'C', 7, 0}, {"amount", 'N', 9, 2}, {"born", 'D', 8, 0}};

struct MixedRow {
    std::string code;
    long cents;
    int year, month, day;  // year 0: blank date
};

MixedRow mixedRow(int32_t r) {
    Mix rng(static_cast<uint64_t>(r));
    MixedRow m;
    m.code = "K" + std::to_string(rng() % 997);
    m.cents = static_cast<long>(rng() % 2000001) - 1000000;
    if (r % 11 == 0) {
        m.year = 0;
    } else {
        m.year = 1900 + static_cast<int>(rng() % 150);
        m.month = 1 + static_cast<int>(rng() % 12);
        m.day = 1 + static_cast<int>(rng() % 28);
    }
    return m;
}

std::string mixedRecord(int32_t r) {
    const MixedRow m = mixedRow(r);
    std::string amount = std::to_string(std::labs(m.cents) / 100) + "." + (std::labs(m.cents) % 100 < 10 ? "0" : "") +
                         std::to_string(std::labs(m.cents) % 100);
    if (m.cents < 0) amount = "-" + amount;
    const std::string date = m.year == 0 ? std::string(8, ' ') : ZeroPad(m.year, 4) + ZeroPad(m.month, 2) + ZeroPad(m.day, 2);
    return std::string(r == 3 ? "*" : " ") + padRight(m.code, 7) + padLeft(amount, 9) + date;
}

// The record numbers of a tag in the order a sort of (key, record number) gives.
template <typename Key>
std::vector<uint32_t> sortedRecords(int32_t count, const std::function<Key(int32_t)>& key, bool descending,
                                    bool unique, const std::function<bool(int32_t)>& holds = nullptr) {
    std::vector<std::pair<Key, int32_t>> items;
    for (int32_t r = 1; r <= count; ++r)
        if (!holds || holds(r)) items.emplace_back(key(r), r);
    std::stable_sort(items.begin(), items.end(), [&](const auto& a, const auto& b) {
        if (a.first != b.first) return descending ? b.first < a.first : a.first < b.first;
        return a.second < b.second;
    });
    std::vector<uint32_t> out;
    for (size_t i = 0; i < items.size(); ++i)
        if (!unique || i == 0 || items[i].first != items[i - 1].first) out.push_back(static_cast<uint32_t>(items[i].second));
    return out;
}

std::vector<uint32_t> recordsOf(const xbtest::MdxTagReport& tag) {
    std::vector<uint32_t> out;
    for (const auto& e : tag.entries) out.push_back(e.record);
    return out;
}

class MdxSizeTest : public MdxBuildTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(MdxSizeTest, EveryTagHoldsTheSortOfItsKeys) {
    const int32_t count = GetParam();
    WriteTable(tmp.file("mixed"), kMixedFields, count, mixedRecord);
    use("mixed");
    ASSERT_TRUE(MakeIndex({{"CODE", "code", "", false, false},
                           {"AMOUNT", "amount", "", false, false},
                           {"BORN", "born", "", false, false},
                           {"UCODE", "code", "", false, true},
                           {"DAMOUNT", "amount", "", true, false},
                           {"POSITIVE", "code", "amount > 0", false, false}},
                          tmp.file("mixed")))
        << ErrorMsg();
    EXPECT_TRUE(tempDirEmpty());
    const auto report = check("mixed");
    ASSERT_TRUE(report.ok()) << report.text();
    ASSERT_EQ(report.tags.size(), 6u);

    const std::function<std::string(int32_t)> code = [](int32_t r) { return padRight(mixedRow(r).code, 7); };
    const std::function<long(int32_t)> cents = [](int32_t r) { return mixedRow(r).cents; };
    const std::function<double(int32_t)> born = [](int32_t r) {
        const MixedRow m = mixedRow(r);
        return m.year == 0 ? kBlankDate : JulianOf(m.year, m.month, m.day);
    };
    EXPECT_EQ(recordsOf(report.tags[0]), sortedRecords(count, code, false, false));
    EXPECT_EQ(recordsOf(report.tags[1]), sortedRecords(count, cents, false, false));
    EXPECT_EQ(recordsOf(report.tags[2]), sortedRecords(count, born, false, false));
    EXPECT_EQ(recordsOf(report.tags[3]), sortedRecords(count, code, false, true));
    EXPECT_EQ(recordsOf(report.tags[4]), sortedRecords(count, cents, true, false));
    EXPECT_EQ(recordsOf(report.tags[5]),
              sortedRecords(count, code, false, false, [](int32_t r) { return mixedRow(r).cents > 0; }));
    // The stored keys are the records' values.
    for (const auto& e : report.tags[1].entries)
        ASSERT_DOUBLE_EQ(BcdKeyToDouble(reinterpret_cast<const uint8_t*>(e.key.data())), cents(static_cast<int32_t>(e.record)) / 100.0);
    for (const auto& e : report.tags[2].entries)
        ASSERT_EQ(KeyToDate(reinterpret_cast<const uint8_t*>(e.key.data())), born(static_cast<int32_t>(e.record)));
    EXPECT_EQ(report.tags[5].forSatisfied, !report.tags[5].entries.empty());
    EXPECT_EQ(report.tags[4].descending, true);
    EXPECT_EQ(report.tags[3].unique, true);
}

// 84 keys fill one leaf of a 7-byte key; 8189 fill one sorting run.
INSTANTIATE_TEST_SUITE_P(Sizes, MdxSizeTest, ::testing::Values(0, 1, 84, 85, 8189, 8190, 100000));

TEST_F(MdxBuildTest, RunsAndMergeGiveTheTreeOfOneRun) {
    // The same items through one run and through many give the same file bytes.
    const KeyOrder order{'C', 7, false};
    std::vector<std::pair<std::string, uint32_t>> items;
    for (uint32_t r = 1; r <= 30000; ++r) items.emplace_back(padRight(std::to_string(r * 7919u % 1000u), 7), r);
    auto build = [&](size_t feedInOneGo, const std::string& name) {
        platform::File out;
        EXPECT_EQ(out.create(tmp.file(name), platform::kModeExclusive), 0);
        std::string header(2048, '\0');
        out.writeAt(0, header.data(), header.size());
        uint32_t root = 0;
        if (feedInOneGo == 0) {
            // Sorted first: one run's worth at a time cannot hide a merge fault, so sort everything.
            auto sorted = items;
            std::sort(sorted.begin(), sorted.end());
            TagBuilder b(order, false, m_tmpDir);
            for (const auto& [k, r] : sorted) EXPECT_TRUE(b.add(reinterpret_cast<const uint8_t*>(k.data()), r));
            EXPECT_TRUE(b.usedRuns());
            EXPECT_TRUE(b.finish(out, root));
        } else {
            TagBuilder b(order, false, m_tmpDir);
            for (const auto& [k, r] : items) EXPECT_TRUE(b.add(reinterpret_cast<const uint8_t*>(k.data()), r));
            EXPECT_TRUE(b.usedRuns());
            EXPECT_TRUE(b.finish(out, root));
        }
        return root;
    };
    const uint32_t a = build(0, "a.bin");
    const uint32_t b = build(1, "b.bin");
    EXPECT_EQ(a, b);
    EXPECT_EQ(xbtest::ReadFileBytes(tmp.file("a.bin")), xbtest::ReadFileBytes(tmp.file("b.bin")));
    EXPECT_TRUE(tempDirEmpty());
}

// ---- the league tables ---------------------------------------------------------------------------------

struct LeagueTable {
    std::string name;
    std::vector<FieldDef> fields;
    std::vector<std::pair<std::string, std::string>> tags;  // name, key expression
};

const std::vector<LeagueTable>& leagueTables() {
    static const std::vector<LeagueTable> t = {
        {"champan", kChampanFields,
         {{"ANNEECHAMP", "str(annee,4)+str(nuchamp,3)"}, {"CHAMPANNEE", "str(nuchamp,3)+str(annee,4)"}}},
        {"champion", {{"nuchamp", 'N', 5, 0}, {"nomchamp", 'C', 30, 0}}, {{"NUCHAMP", "nuchamp"}, {"NOMCHAMP", "nomchamp"}}},
        {"eqchamp",
         {{"annee", 'N', 5, 0}, {"nuchamp", 'N', 5, 0}, {"nuequipe", 'N', 5, 0}},
         {{"ANNEEEQUIP", "str(annee,4)+str(nuequipe,5)"},
          {"ANNEECHAMP", "str(annee,4)+str(nuchamp,3)"},
          {"ANEQCHAMP", "str(annee,4)+str(nuequipe,5)+str(nuchamp,3)"},
          {"EQANCHAMP", "str(nuequipe,5)+str(annee,4)+str(nuchamp,3)"},
          {"CHAMPANNEE", "str(nuchamp,3)+str(annee,4)"}}},
        {"resultat",
         {{"nuchamp", 'N', 3, 0}, {"annee", 'N', 4, 0}, {"nujournee", 'N', 2, 0}, {"nueq1", 'N', 5, 0},
          {"nueq2", 'N', 5, 0}, {"beq1", 'N', 3, 0}, {"beq2", 'N', 3, 0}, {"coder", 'C', 2, 0}, {"pteq1", 'N', 3, 0},
          {"pteq2", 'N', 3, 0}},
         {{"CHANJOEQ1", "str(nuchamp,3)+str(annee,4)+str(nujournee,3)+str(nueq1,5)"},
          {"CHANJOEQ2", "str(nuchamp,3)+str(annee,4)+str(nujournee,3)+str(nueq2,5)"},
          {"ANCHJO", "STR(annee,4)+str(nuchamp,3)+str(nujournee,3)"},
          {"EQ1EQ2", "str(nueq1,5)+str(nueq2,5)"},
          {"EQ2EQ1", "str(nueq2,5)+str(nueq1,5)"}}},
        {"equipe", {{"nuequipe", 'N', 5, 0}, {"nomequipe", 'C', 20, 0}}, {{"NUMERO", "nuequipe"}, {"NOMEQUIPE", "nomequipe"}}},
        {"joueur",
         {{"nujoueur", 'N', 5, 0}, {"nomjoueur", 'C', 30, 0}, {"datenais", 'C', 10, 0}, {"poste", 'N', 2, 0},
          {"nation", 'C', 20, 0}},
         {{"NOM", "nomjoueur"}, {"NU", "str(nujoueur,5)"}}},
        {"joueq",
         {{"annee", 'N', 4, 0}, {"nueq", 'N', 5, 0}, {"nujo", 'N', 5, 0}},
         {{"ANNE", "str(annee,4)+str(nueq,5)+str(nujo,5)"},
          {"NUEQ", "str(nueq,5)+str(annee,4)+str(nujo,5)"},
          {"NUJO", "str(nujo,5)+str(annee,4)+str(nueq,5)"}}},
        {"but", {}, {}},
        {"carton", {}, {}},
    };
    static bool filled = false;
    static std::vector<LeagueTable> copy;
    if (!filled) {
        copy = t;
        const std::vector<FieldDef> goal = {{"nuchamp", 'N', 5, 0},  {"annee", 'N', 4, 0}, {"nujournee", 'N', 2, 0},
                                            {"nueq1", 'N', 5, 0},    {"nueq2", 'N', 5, 0}, {"nujoueur", 'N', 5, 0},
                                            {"nueqben", 'N', 2, 0},  {"minute", 'N', 3, 0}, {"type", 'N', 2, 0}};
        const std::vector<std::pair<std::string, std::string>> goalTags = {
            {"NUCHAMP", "str(nuchamp,5)+str(annee,4)+str(nujournee,2)+str(nueq1,5)+str(nueq2,5)+str(minute,3)+str(nujoueur,5)"},
            {"NUJOUEUR", "str(nujoueur,5)+str(nuchamp,5) +str(annee,4)+str(nujournee,2)"},
            {"NUEQUIPE1", "str(nueq1,5)+str(annee,4)+str(nuchamp,5)+str(nujournee,2)"},
            {"NUEQUIPE2", "str(nueq2,5)+str(annee,4)+str(nuchamp,5)+str(nujournee,2)"}};
        copy[7].fields = copy[8].fields = goal;
        copy[7].tags = copy[8].tags = goalTags;
        filled = true;
    }
    return copy;
}

// A field's raw text for record r: numbers small enough for their width, names from a short list.
std::string leagueValue(const FieldDef& f, int32_t r, size_t fieldIndex) {
    Mix rng(static_cast<uint64_t>(r) * 64 + fieldIndex);
    if (f.type == 'C') {
        static const char* const names[] = {"Lyon", "Nantes", "Saint-\x82tienne", "Lille", "Brest", "Lens", "Nice"};
        return padRight(std::string(names[rng() % 7]) + " " + std::to_string(rng() % 50), static_cast<size_t>(f.length));
    }
    long limit = 1;
    for (int i = 0; i < f.length && i < 4; ++i) limit *= 10;
    return num(static_cast<long>(rng() % static_cast<unsigned>(limit)), static_cast<size_t>(f.length));
}

// What str(n, w) gives for the text of a numeric field.
std::string strOf(const std::string& fieldText, size_t width) {
    const std::string digits = fieldText.substr(fieldText.find_first_not_of(' '));
    return digits.size() > width ? std::string(width, '*') : padLeft(digits, width);
}

// The key text of a league expression over record r, computed apart from the compiler.
std::string leagueKey(const LeagueTable& t, const std::string& expr, int32_t r) {
    std::string key;
    std::string rest = expr;
    while (!rest.empty()) {
        std::string part = rest.substr(0, rest.find('+'));
        rest = rest.find('+') == std::string::npos ? "" : rest.substr(rest.find('+') + 1);
        part.erase(std::remove(part.begin(), part.end(), ' '), part.end());
        std::transform(part.begin(), part.end(), part.begin(), ::tolower);
        size_t width = 0;
        if (part.rfind("str(", 0) == 0) {
            width = static_cast<size_t>(std::stoi(part.substr(part.find(',') + 1)));
            part = part.substr(4, part.find(',') - 4);
        }
        for (size_t i = 0; i < t.fields.size(); ++i) {
            if (t.fields[i].name != part) continue;
            const std::string v = leagueValue(t.fields[i], r, i);
            key += width ? strOf(v, width) : v;
        }
    }
    return key;
}

TEST_F(MdxBuildTest, LeagueTablesBuildSoundTreesInKeyOrder) {
    for (const LeagueTable& t : leagueTables()) {
        SCOPED_TRACE(t.name);
        const int32_t count = 1500;
        WriteTable(tmp.file(t.name), t.fields, count, [&](int32_t r) {
            std::string rec = " ";
            for (size_t i = 0; i < t.fields.size(); ++i) rec += leagueValue(t.fields[i], r, i);
            return rec;
        });
        use(t.name, false);
        std::vector<TagDefinition> defs;
        for (const auto& [name, expr] : t.tags) defs.push_back({name, expr, "", false, false});
        ASSERT_TRUE(MakeIndex(defs, "")) << ErrorMsg();
        CloseDatabase();
        const auto report = check(t.name);
        ASSERT_TRUE(report.ok()) << report.text();
        ASSERT_EQ(report.tags.size(), t.tags.size());
        for (size_t k = 0; k < t.tags.size(); ++k) {
            const xbtest::MdxTagReport& tag = report.tags[k];
            EXPECT_EQ(tag.name, t.tags[k].first);
            if (tag.type == 'N') {
                // A numeric key: ordered by the field's number.
                const std::function<long(int32_t)> value = [&](int32_t r) {
                    return std::stol(leagueKey(t, t.tags[k].second, r));
                };
                EXPECT_EQ(recordsOf(tag), sortedRecords(count, value, false, false));
                continue;
            }
            const std::function<std::string(int32_t)> key = [&](int32_t r) { return leagueKey(t, t.tags[k].second, r); };
            EXPECT_EQ(recordsOf(tag), sortedRecords(count, key, false, false));
            for (const auto& e : tag.entries) ASSERT_EQ(e.key, key(static_cast<int32_t>(e.record)));
        }
    }
}

// ---- progress, failures and the temporary file ------------------------------------------------------------

TEST_F(MdxBuildTest, ProgressFillsItsStepsExactly) {
    struct Case {
        int32_t records;
        int tags;
        int steps;
    };
    for (const Case c : {Case{5, 1, 100}, Case{5, 3, 100}, Case{20000, 2, 100}, Case{250, 6, 7}, Case{0, 2, 100}}) {
        SCOPED_TRACE(std::to_string(c.records) + " records, " + std::to_string(c.tags) + " tags");
        WriteTable(tmp.file("mixed"), kMixedFields, c.records, mixedRecord);
        use("mixed");
        xbtest::ScriptedUi ui;
        SetMakeIndexProgress(nullptr, c.steps);
        std::vector<TagDefinition> defs;
        for (int i = 0; i < c.tags; ++i) defs.push_back({"T" + std::to_string(i), i % 2 ? "amount" : "code", "", false, false});
        ASSERT_TRUE(MakeIndex(defs, ""));
        EXPECT_EQ(ui.progress.size(), static_cast<size_t>(c.steps));
        CloseDatabase();
    }
    // AddIndexTag alone makes every step of the hook for its one tag, through the callback when there is one.
    WriteTable(tmp.file("mixed"), kMixedFields, 3, mixedRecord);
    use("mixed");
    ASSERT_TRUE(MakeIndex({{"CODE", "code", "", false, false}}, ""));
    ASSERT_TRUE(CreateMdxHeader(tmp.file("mixed.mdx")));
    int calls = 0;
    SetMakeIndexProgress([&] { ++calls; }, 100);
    ASSERT_TRUE(AddIndexTag({"AMOUNT", "amount", "", false, false}, true));
    EXPECT_EQ(calls, 100);
    ASSERT_TRUE(AddIndexTag({"BAD", "code = 1", "", false, false}, true) == false);
    EXPECT_EQ(calls, 200);
    SetMakeIndexProgress([&] { ++calls; }, 0);
    ASSERT_TRUE(AddIndexTag({"BORN", "born", "", false, false}, true));
    EXPECT_EQ(calls, 200);
}

TEST_F(MdxBuildTest, AWriteFailureAtAnyStepLeavesNoTemporaryFileAndASoundIndex) {
    WriteTable(tmp.file("mixed"), kMixedFields, 9000, mixedRecord);
    use("mixed");
    const std::vector<TagDefinition> defs = {{"CODE", "code", "", false, false}, {"AMOUNT", "amount", "", true, false}};
    int failures = 0;
    for (int nth = 1; nth < 400; ++nth) {
        SCOPED_TRACE(nth);
        xbtest::ScriptedUi ui;
        SetMakeIndexProgress(nullptr, 100);
        platform::InjectFault(platform::FaultOp::Write, nth, platform::kErrDiskFull);
        const bool ok = MakeIndex(defs, "");
        platform::ClearFaults();
        EXPECT_TRUE(tempDirEmpty());
        if (platform::FileExists(tmp.file("mixed.mdx"))) {
            const auto report = check("mixed");
            // A file whose header could not be written has no tags; whatever tags it lists are sound.
            if (xbtest::ReadFileBytes(tmp.file("mixed.mdx")).size() >= 2048) {
                EXPECT_TRUE(report.ok() || report.tags.empty()) << report.text();
            }
        }
        if (ok) {
            EXPECT_EQ(check("mixed").tags.size(), 2u);
            break;
        }
        ++failures;
        EXPECT_EQ(LastError(), platform::kErrDiskFull);
        EXPECT_EQ(ui.progress.size(), 100u);
    }
    EXPECT_GT(failures, 5);
}

TEST_F(MdxBuildTest, MakeIndexRefusesAnIndexHeldByAnotherHandle) {
    WriteTable(tmp.file("mixed"), kMixedFields, 10, mixedRecord);
    use("mixed", false);
    ASSERT_TRUE(MakeIndex({{"CODE", "code", "", false, false}}, ""));
    const std::string before = xbtest::ReadFileBytes(tmp.file("mixed.mdx"));
    {
        // Another station holds the index, not the table: the table is taken exclusively and the index
        // still cannot be erased, so nothing is written into the file that station reads.
        platform::File other;
        ASSERT_EQ(other.open(tmp.file("mixed.mdx"), platform::kModeShared), 0);
        EXPECT_FALSE(MakeIndex({{"AMOUNT", "amount", "", false, false}}, ""));
        EXPECT_EQ(LastError(), platform::kErrSharingViolation);
        EXPECT_EQ(xbtest::ReadFileBytes(tmp.file("mixed.mdx")), before);
        EXPECT_FALSE(CurrentBlock()->exclusive);  // shared again
    }
    {
        // Another station holds the table too: exclusive use cannot be had.
        platform::File index, table;
        ASSERT_EQ(index.open(tmp.file("mixed.mdx"), platform::kModeShared), 0);
        ASSERT_EQ(table.open(tmp.file("mixed.dbf"), platform::kModeShared), 0);
        EXPECT_FALSE(MakeIndex({{"AMOUNT", "amount", "", false, false}}, ""));
        EXPECT_EQ(LastError(), 225);
        EXPECT_NE(ErrorMsg().find("MakeIndex(" + tmp.file("mixed.mdx") + ")"), std::string::npos) << ErrorMsg();
        EXPECT_EQ(xbtest::ReadFileBytes(tmp.file("mixed.mdx")), before);
    }
    EXPECT_TRUE(MakeIndex({{"AMOUNT", "amount", "", false, false}}, ""));
    EXPECT_FALSE(CurrentBlock()->exclusive);
}

// ---- definitions refused and replaced ---------------------------------------------------------------

TEST_F(MdxBuildTest, BadDefinitionsFailAloneAndLeaveNoEntry) {
    WriteTable(tmp.file("mixed"), kMixedFields, 10, mixedRecord);
    use("mixed");
    struct Case {
        TagDefinition def;
        uint16_t code;
        std::string text;
    };
    const std::vector<Case> cases = {
        {{"BADFOR", "code", "amount +", false, false}, 351, "Invalid FOR expression for BADFOR [AddIndexTag()]"},
        {{"NOTLOGIC", "code", "amount", false, false}, kCheckNotLogical, "Invalid FOR expression for NOTLOGIC"},
        {{"LONG", "code+" + std::string(216, ' ') + "code", "", false, false}, 300, "Expression length exceeds 100 bytes"},
        {{"LOGICAL", "amount > 1", "", false, false}, 254, "Wrong parser return type"},
        {{"EMPTYKEY", "trim(\"  \")", "", false, false}, 266, "Incorrect key length: Must be 1 to 100."},
        {{"WIDE", "code+code+code+code+code+code+code+code+code+code+code+code+code+code+code", "", false, false}, 266,
         "Incorrect key length"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.def.name);
        EXPECT_FALSE(MakeIndex({{"GOOD", "code", "", false, false}, c.def, {"AFTER", "born", "", false, false}}, ""));
        EXPECT_EQ(LastError(), c.code);
        EXPECT_NE(ErrorMsg().find(c.text), std::string::npos) << ErrorMsg();
        const auto report = check("mixed");
        ASSERT_TRUE(report.ok()) << report.text();
        ASSERT_EQ(report.tags.size(), 2u);
        EXPECT_EQ(report.tags[0].name, "GOOD");
        EXPECT_EQ(report.tags[1].name, "AFTER");
    }
}

TEST_F(MdxBuildTest, TagNamesAreCutReplacedAndLimitedTo47) {
    WriteTable(tmp.file("mixed"), kMixedFields, 5, mixedRecord);
    use("mixed");
    std::vector<TagDefinition> defs;
    defs.push_back({"annee", "code", "", false, false});
    defs.push_back({"anneechampionnat", "amount", "", false, false});  // cut to ANNEECHAMP
    defs.push_back({"ANNEE", "born", "", false, false});               // replaces the first
    ASSERT_TRUE(MakeIndex(defs, ""));
    std::vector<std::string> list;
    GetIndexTagList(tmp.file("mixed.mdx"), list);
    EXPECT_EQ(list, (std::vector<std::string>{"ANNEECHAMP,F,F,amount", "", "ANNEE,F,F,born", ""}));
    EXPECT_TRUE(check("mixed", false).ok()) << check("mixed", false).text();

    defs.clear();
    for (int i = 1; i <= 48; ++i) defs.push_back({"T" + std::to_string(i), "code", "", false, false});
    EXPECT_FALSE(MakeIndex(defs, ""));
    EXPECT_EQ(LastError(), 220);
    const auto report = check("mixed");
    ASSERT_TRUE(report.ok()) << report.text();
    EXPECT_EQ(report.tags.size(), 47u);
}

TEST_F(MdxBuildTest, CharacterKeysArePaddedCutAndStoredInTheOemCodePage) {
    // NAME holds OEM text on disk (0x82 is e acute in code page 850). The key length of trim(name) comes
    // from the record the area stands on (the first); longer and shorter texts are cut and padded to it.
    WriteTable(tmp.file("names"), {{"name", 'C', 12, 0}}, 4, [](int32_t r) {
        static const char* const v[] = {"S\x82ville", "Lyon", "Brest-Saint-", "Ab"};
        return " " + padRight(v[r - 1], 12);
    });
    use("names");
    ASSERT_TRUE(MakeIndex({{"TRIMMED", "trim(name)", "", false, false}, {"UPPER", "upper(name)", "", true, false}}, ""));
    const auto report = check("names");
    ASSERT_TRUE(report.ok()) << report.text();
    std::vector<xbtest::MdxEntry> trimmed = {
        {"Ab     ", 4}, {"Brest-S", 3}, {"Lyon   ", 2}, {"S\x82ville", 1}};
    EXPECT_EQ(report.tags[0].entries, trimmed);
    std::vector<xbtest::MdxEntry> upper = {
        {"S\x90VILLE     ", 1}, {"LYON        ", 2}, {"BREST-SAINT-", 3}, {"AB          ", 4}};
    EXPECT_EQ(report.tags[1].entries, upper);
}

// ---- FOR conditions, unique tags and the rebuild ---------------------------------------------------------

TEST_F(MdxBuildTest, ForTagsHoldExactlyTheRecordsThatSatisfyTheirCondition) {
    WriteTable(tmp.file("mixed"), kMixedFields, 500, mixedRecord);
    use("mixed");
    ASSERT_TRUE(MakeIndex({{"NONE", "code", "amount > 100000", false, false},
                           {"SOME", "amount", "substr(code,2,1) = \"7\" .and. amount < 0", true, true}},
                          ""));
    const auto report = check("mixed");
    ASSERT_TRUE(report.ok()) << report.text();
    EXPECT_TRUE(report.tags[0].entries.empty());
    EXPECT_FALSE(report.tags[0].forSatisfied);
    EXPECT_EQ(report.tags[0].forExpr, "amount > 100000");
    const auto holds = [](int32_t r) {
        const MixedRow m = mixedRow(r);
        return m.code[1] == '7' && m.cents < 0;
    };
    const std::function<long(int32_t)> cents = [](int32_t r) { return mixedRow(r).cents; };
    const auto want = sortedRecords(500, cents, true, true, holds);
    ASSERT_FALSE(want.empty());
    EXPECT_EQ(recordsOf(report.tags[1]), want);
    EXPECT_TRUE(report.tags[1].forSatisfied);
    // Unique keeps the lowest record of equal keys: every record left out has the key of a lower one.
    std::map<long, int32_t> lowest;
    for (int32_t r = 1; r <= 500; ++r)
        if (holds(r) && !lowest.count(cents(r))) lowest[cents(r)] = r;
    for (uint32_t r : want) EXPECT_EQ(lowest[cents(static_cast<int32_t>(r))], static_cast<int32_t>(r));
}

TEST_F(MdxBuildTest, ReindexRebuildsEveryTagFromItsOwnDefinitions) {
    WriteTable(tmp.file("mixed"), kMixedFields, 10, mixedRecord);
    use("mixed");
    ASSERT_TRUE(MakeIndex({{"CODE", "code", "", false, false},
                           {"AMOUNT", "amount", "amount > 0", true, true},
                           {"BORN", "born", "", false, false}},
                          ""));
    std::vector<std::string> before;
    GetIndexTagList(tmp.file("mixed"), before);
    CloseDatabase();
    WriteTable(tmp.file("mixed"), kMixedFields, 300, mixedRecord);  // the table grew behind the index
    use("mixed");
    std::string order = "unchanged";
    EXPECT_FALSE(ReindexRebuild(order));
    EXPECT_EQ(LastError(), 221);

    ASSERT_TRUE(CreateMdxHeader(tmp.file("mixed.mdx")));
    // The driver keeps the current order in slot 1: here tag 2.
    MdxArea* area = CurrentMdxArea();
    area->tags[1] = std::make_unique<MdxTag>();
    area->tags[1]->number = 2;
    area->tags[1]->name = "AMOUNT";
    ASSERT_EQ(area->file.readAt(uint64_t{area->header.tagBlock(2)} * kMdxBlockSize, area->tags[1]->header.bytes.data(),
                                kTagHeaderCopySize),
              0);
    ASSERT_TRUE(ReindexRebuild(order)) << ErrorMsg();
    EXPECT_EQ(order, "AMOUNT");
    EXPECT_EQ(CurrentMdxArea(), nullptr);  // left closed for the caller to reopen
    std::vector<std::string> after;
    GetIndexTagList(tmp.file("mixed"), after);
    EXPECT_EQ(after, before);
    const auto report = check("mixed");
    ASSERT_TRUE(report.ok()) << report.text();
    EXPECT_EQ(report.tags[0].entries.size(), 300u);
    EXPECT_EQ(report.tags[2].entries.size(), 300u);
}

// Dates from 1900 to 2049 keyed with the session's century shown and not, built anew and rebuilt: each
// key is its row's stored date, whatever window the two digits of a picture would fall in.
TEST_F(MdxBuildTest, DateKeysAreTheStoredDatesWhateverTheCenturySetting) {
    constexpr int32_t kCount = 400;
    WriteTable(tmp.file("mixed"), kMixedFields, kCount, mixedRecord);
    for (const bool century : {false, true}) {
        SCOPED_TRACE(century ? "century on" : "century off");
        engine().settings.century = century;
        for (const bool rebuild : {false, true}) {
            use("mixed");
            if (!rebuild) {
                ASSERT_TRUE(MakeIndex({{"BORN", "born", "", false, false}}, "")) << ErrorMsg();
            } else {
                ASSERT_TRUE(CreateMdxHeader(tmp.file("mixed.mdx")));
                std::string order;
                ASSERT_TRUE(ReindexRebuild(order)) << ErrorMsg();
            }
            CloseDatabase();
            const auto report = check("mixed");
            ASSERT_TRUE(report.ok()) << report.text();
            int differ = 0;
            for (const auto& e : report.tags.at(0).entries) {
                const MixedRow m = mixedRow(static_cast<int32_t>(e.record));
                const double stored =
                    m.year == 0 ? kBlankDate : DtosToJulian(ZeroPad(m.year, 4) + ZeroPad(m.month, 2) + ZeroPad(m.day, 2));
                if (KeyToDate(reinterpret_cast<const uint8_t*>(e.key.data())) != stored) ++differ;
            }
            EXPECT_EQ(report.tags.at(0).entries.size(), static_cast<size_t>(kCount));
            EXPECT_EQ(differ, 0);
        }
    }
}

// ---- an independent reader walks our tags ------------------------------------------------------------

// Each tag's entries as Perl XBase's index module walks them: hex key and record number per line.
std::vector<std::string> perlWalk(const std::string& file, const std::string& tag) {
    const std::string script =
        "use XBase::Index; my ($f, $t) = @ARGV;"
        "my $i = XBase::Index->new($f, tag => $t) or die XBase::Index->errstr;"
        "$i->prepare_select or die $i->errstr;"
        "while (my @d = $i->fetch) { print unpack('H*', $d[0]), ' ', $d[1], \"\\n\" }"
        "die $i->errstr if $i->errstr;";
    int status = 0;
    const std::string out = xbtest::RunCommand(
        "perl -e " + xbtest::ShellQuote(script) + " " + xbtest::ShellQuote(file) + " " + xbtest::ShellQuote(tag), &status);
    EXPECT_EQ(status, 0) << out;
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < out.size()) {
        const size_t nl = out.find('\n', at);
        lines.push_back(out.substr(at, nl - at));
        at = nl == std::string::npos ? out.size() : nl + 1;
    }
    return lines;
}

std::string hex(const uint8_t* p, size_t n) {
    static const char* const digits = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

TEST_F(MdxBuildTest, PerlXBaseWalksOurTagsInOurOrder) {
    if (xbtest::RunCommand("perl -MXBase::Index -e 'print 1' 2>/dev/null") != "1") GTEST_SKIP() << "Perl XBase missing";
    const int32_t count = 12000;  // three levels for the 7-byte key
    WriteTable(tmp.file("mixed"), kMixedFields, count, mixedRecord);
    use("mixed");
    const std::vector<TagDefinition> defs = {{"CODE", "code", "", false, false},
                                             {"AMOUNT", "amount", "", false, false},
                                             {"BORN", "born", "", false, false},
                                             {"DCODE", "code", "", true, false},
                                             {"UAMOUNT", "amount", "", false, true},
                                             {"NAME", "code+str(amount,9,2)", "amount < 0", false, false}};
    ASSERT_TRUE(MakeIndex(defs, ""));
    CloseDatabase();
    EXPECT_EQ(xbtest::RunCommand("index_dump " + xbtest::ShellQuote(tmp.file("mixed.mdx"))),
              "AMOUNT\nBORN\nCODE\nDCODE\nNAME\nUAMOUNT\n");

    platform::File file;
    ASSERT_EQ(file.open(tmp.file("mixed.mdx"), platform::kModeSharedRead), 0);
    MdxHeader header;
    ASSERT_EQ(file.readAt(0, header.bytes.data(), kMdxHeaderSize), 0);
    for (int n = 1; n <= header.tagCount(); ++n) {
        SCOPED_TRACE(header.tagName(n));
        TagHeader tag;
        ASSERT_EQ(file.readAt(uint64_t{header.tagBlock(n)} * kMdxBlockSize, tag.bytes.data(), kTagHeaderCopySize), 0);
        std::vector<std::string> ours;
        const std::string why = WalkTag(file, tag, [&](const uint8_t* key, uint32_t record) {
            ours.push_back(hex(key, tag.keyLength()) + " " + std::to_string(record));
            return true;
        });
        ASSERT_EQ(why, "");
        EXPECT_GT(ours.size(), 100u);
        EXPECT_EQ(perlWalk(tmp.file("mixed.mdx"), header.tagName(n)), ours);
    }
}

}  // namespace
}  // namespace xb
