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

TEST(JudgeInputTest, TakesATextWholeOrNamesWhatItRefuses) {
    struct Case {
        const char* in;
        KeyRule rule;
        int codePage;
        int max;
        const char* out;      // the field's text when taken
        const char* refused;  // the character named when refused
    } cases[] = {
        {"-12", KeyRule::kDigitsAndMinus, 850, 0, "-12", ""},
        {"1-", KeyRule::kDigitsAndMinus, 850, 0, "", "-"},  // a minus after a digit is no number
        {"-1", KeyRule::kDigits, 850, 0, "", "-"},          // a score: the sign is refused, not dropped
        {" 2008", KeyRule::kDigits, 850, 0, "", " "},
        {"paris sg", KeyRule::kUpperName, 850, 0, "PARIS SG", ""},
        {"été à nîmes", KeyRule::kUpperName, 850, 0, "ÉTÉ À NÎMES", ""},
        {"liga española", KeyRule::kUpperName, 1252, 0, "LIGA ESPAÑOLA", ""},
        {"bundesliga süd", KeyRule::kUpperName, 850, 0, "BUNDESLIGA SÜD", ""},
        {"županijska liga čakovec", KeyRule::kUpperName, 852, 0, "ŽUPANIJSKA LIGA ČAKOVEC", ""},
        {"ÿ µ ß", KeyRule::kUpperName, 850, 0, "ÿ µ ß", ""},  // 850 lacks Ÿ, µ and ß have no capital in it
        {"Ćiro Blažević", KeyRule::kText, 850, 0, "", "Ć"},                // 850 lacks Ć, holds ž
        {"Ivan Rakitić", KeyRule::kText, 850, 0, "", "ć"},
        {"Ćiro Blažević", KeyRule::kText, 852, 0, "Ćiro Blažević", ""},
        {"Saint-Étienne", KeyRule::kText, 852, 0, "Saint-Étienne", ""},
        {"tab\there", KeyRule::kText, 850, 0, "tabhere", ""},
        {"abcdefgh", KeyRule::kUpperName, 850, 5, "ABCDE", ""},
        {"€uro", KeyRule::kText, 850, 0, "", "€"},
        {"2008 - 2009", KeyRule::kSeason, 850, 0, "2008 - 2009", ""},  // as the season boxes show it
        {"2008 - 2009x", KeyRule::kSeason, 850, 0, "", "x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        const InputVerdict v = JudgeInput(QString::fromUtf8(c.in), c.rule, c.codePage, c.max);
        EXPECT_EQ(v.accepted() ? v.text.toStdString() : std::string(), c.out);
        EXPECT_EQ(v.accepted() ? std::string() : QString::fromUcs4(&v.refused, 1).toStdString(), c.refused);
    }
}

// Every entry of the country list written in the database's letters is taken whole by the country field.
TEST(TextInCodePageTest, ALetterTheCodePageLacksLosesItsAccentOnly) {
    const struct {
        const char* in;
        int codePage;
        const char* out;
    } cases[] = {
        {"Haïti", 852, "Haiti"},         {"Haïti", 850, "Haïti"},
        {"España", 852, "Espana"}, {"Hrvatska Đ Č", 852, "Hrvatska Đ Č"},
        {"São Tomé", 852, "Sao Tomé"},   {"Škofja Loka", 850, "Skofja Loka"},
        {"€", 850, ""},
    };
    for (const auto& c : cases) {
        const QString written = TextInCodePage(QString::fromUtf8(c.in), c.codePage);
        EXPECT_EQ(written.toStdString(), c.out) << c.in << " in " << c.codePage;
        EXPECT_TRUE(JudgeInput(written, KeyRule::kText, c.codePage).accepted()) << c.in;
    }
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
