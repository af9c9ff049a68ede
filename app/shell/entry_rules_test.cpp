// The windows' input rules: what a field keeps of typed or pasted text and the pick list's search filter on
// the real expression engine.
#include "app/shell/entry_rules.h"

#include <gtest/gtest.h>

#include "engine/core/engine.h"
#include "engine/dataset/engine_start.h"
#include "engine/dataset/xb_file_dataset.h"
#include "tests/support/fixtures.h"

namespace app {
namespace {

TEST(FilterInputTest, KeepsWhatEachRuleLetsThrough) {
    struct Case {
        const char* in;
        KeyRule rule;
        int max;
        const char* out;
    } cases[] = {
        {"a1-b", KeyRule::kDigitsAndMinus, 0, "1-"},
        {"a1-b", KeyRule::kDigits, 0, "1"},
        {" 2008 - 2009", KeyRule::kDigits, 0, "20082009"},
        {"2008 - 2009x", KeyRule::kSeason, 0, "2008 - 2009"},
        {"paris sg", KeyRule::kUpperName, 0, "PARIS SG"},
        {"été à nîmes", KeyRule::kUpperName, 0, "éTé à NîMES"},  // only a to z are capitalised
        {"Łódź", KeyRule::kText, 0, "ód"},                       // 1252 lacks Ł and ź
        {"tab\there", KeyRule::kText, 0, "tabhere"},
        {"abcdefgh", KeyRule::kUpperName, 5, "ABCDE"},
        {"€uro", KeyRule::kText, 0, "€uro"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(FilterInput(QString::fromUtf8(c.in), c.rule, 1252, c.max).toStdString(), c.out);
    }
    // Croatian Windows holds the letters Windows-1252 lacks.
    EXPECT_EQ(FilterInput(QStringLiteral("Łódź"), KeyRule::kText, 1250).toStdString(), "Łódź");
}

TEST(ParseIntegerTest, AcceptsOnlyPlainIntegers) {
    EXPECT_EQ(ParseInteger("42"), 42);
    EXPECT_EQ(ParseInteger("-9"), -9);
    for (const char* bad : {"", "-", "1-", " 1", "1 ", "+1", "99999999999", "١"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(ParseInteger(QString::fromUtf8(bad)).has_value());
    }
}

// The filter runs on the real expression engine over a real table: the names that start with the text,
// whatever the case and whatever quotes the text holds.
class NameSearchFilterTest : public xbtest::EngineTest {
protected:
    NameSearchFilterTest() { xb::InstallEngineUnits(engine()); }

    std::vector<std::string> matches(const std::string& text) {
        xb::TXbDbf t;
        t.SetDbfFileName(tmp.file("noms.dbf"));
        t.DbfFields = {"nom, C, 30, 0"};
        t.ShowProgress = false;
        t.Open();
        if (t.IsEmpty()) {
            for (const char* n : {"PARIS SG", "Paris FC", "PARMA", "O'HARA \"CLUB\"", "O'HARA", "LENS"}) {
                t.Append();
                t.FieldByName("nom").SetAsString(n);
                t.Post();
            }
        }
        t.SetFilterTo(NameSearchFilter("NOM", text));
        t.GoTop();
        std::vector<std::string> out;
        for (t.First(); !t.Eof(); t.Next()) out.push_back(t.FieldByName("nom").GetAsString());
        t.Close();
        return out;
    }
};

TEST_F(NameSearchFilterTest, MatchesNamesStartingWithTheTextInAnyCase) {
    using V = std::vector<std::string>;
    EXPECT_EQ(matches("par"), (V{"PARIS SG", "Paris FC", "PARMA"}));
    EXPECT_EQ(matches("  Paris "), (V{"PARIS SG", "Paris FC"}));
    EXPECT_EQ(matches("o'hara \"c"), (V{"O'HARA \"CLUB\""}));
    EXPECT_EQ(matches("o'"), (V{"O'HARA \"CLUB\"", "O'HARA"}));
    EXPECT_EQ(matches("\""), V{});
    EXPECT_EQ(matches("'\"'"), V{});
    EXPECT_EQ(matches("   ").size(), 6u);
    EXPECT_EQ(NameSearchFilter("NOM", "  "), "");
}

}  // namespace
}  // namespace app
