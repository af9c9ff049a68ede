// The session's conventions for labels, decimals, percentages and sizes, language by language.
#include "app/settings/session_format.h"

#include <gtest/gtest.h>

namespace app {
namespace {

TEST(SessionFormatTest, EachLanguageWritesItsOwnDecimalsAndPercentages) {
    const struct {
        int language;
        const char* tenths;   // 323 tenths
        const char* percent;  // 323 tenths of a percent
        const char* size;     // 1,572,864 bytes
    } cases[] = {
        {1, "32,3", "32,3\u00A0%", "1,5 Mo"}, {2, "32.3", "32.3%", "1.5 MB"},
        {3, "32,3", "32,3%", "1,5 MB"},        {4, "32,3", "32,3\u00A0%", "1,5 MB"},
        {5, "32,3", "32,3%", "1,5 MB"},        {6, "32,3", "32,3\u00A0%", "1,5 MB"},
        {7, "32,3", "32,3\u00A0%", "1,5 MB"}, {8, "32,3", "32,3\u00A0%", "1,5 MB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.language);
        EXPECT_EQ(TenthsText(323, c.language), QString::fromUtf8(c.tenths));
        EXPECT_EQ(PercentText(323, c.language), QString::fromUtf8(c.percent));
        EXPECT_EQ(ByteSizeText(1572864, c.language), QString::fromUtf8(c.size));
    }
    EXPECT_EQ(TenthsText(-5, 1), QStringLiteral("-0,5"));
    EXPECT_EQ(PercentText(1000, 2), QStringLiteral("100.0%"));
    EXPECT_EQ(ByteSizeText(1023, 1), QStringLiteral("1023 o"));
    EXPECT_EQ(ByteSizeText(1536, 2), QStringLiteral("1.5 KB"));
}

TEST(SessionFormatTest, ALabelTakesOneColonAndOneBlank) {
    for (const char* label : {"Championnat", "Championnat ", "Championnat :", "Championnat: "})
        EXPECT_EQ(LabelledText(QString::fromLatin1(label), QStringLiteral("X")), QStringLiteral("Championnat: X"))
            << label;
    EXPECT_EQ(LabelledText(QStringLiteral("TYPE"), QString()), QStringLiteral("TYPE: "));
}

}  // namespace
}  // namespace app
