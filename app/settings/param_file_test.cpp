// The parameter file: exact bytes against a record built by hand, damaged files and a failed write.
#include "app/settings/param_file.h"

#include <gtest/gtest.h>

#include <string>

#include "app/settings/app_files.h"
#include "app/settings/lang_texts.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "tests/support/fixtures.h"
#include "tests/support/scripted_ui.h"

namespace app {
namespace {

// A short string as stored: length byte, characters, zeros up to its field size.
void putShort(std::string& image, int at, int fieldSize, const std::string& text) {
    image[at] = static_cast<char>(text.size());
    image.replace(at + 1, text.size(), text);
    ASSERT_LE(static_cast<int>(text.size()) + 1, fieldSize);
}

void putInt(std::string& image, int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) image[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

class ParamFileTest : public ::testing::Test {
protected:
    ParamFileTest() {
        SetAppDir(QString::fromStdString(tmp.path()));
        savedLanguage = LanguageIndex;
        Params = ParamRecord{};
    }
    ~ParamFileTest() override {
        SetAppDir(QString());
        LanguageIndex = savedLanguage;
        xb::platform::ClearFaults();
    }
    std::string path() const { return tmp.file("PELMORAD32.PAR"); }

    xbtest::TempDir tmp;
    int savedLanguage = 1;
};

TEST_F(ParamFileTest, WritesTheRecordByteForByteAndReadsItBack) {
    LanguageIndex = 2;
    CurrentSeasonYear = 2025;
    HtmlHeaderText = QStringLiteral("<b>Ligue</b> é");
    HtmlFooterText = QStringLiteral("fin");
    HideDrawsFlag = 1;
    Params.goalsForLabel = QStringLiteral("BP");
    Params.goalsAgainstLabel = QStringLiteral("BC");
    Params.openAfterExport = 1;
    Params.announcedVersion = QStringLiteral("2.07");
    xbtest::ScriptedUi ui;
    ASSERT_TRUE(WriteParamFile());
    EXPECT_TRUE(ui.messages.empty());

    std::string expected(548, '\0');
    putShort(expected, 0, 4, "P32");
    putInt(expected, 4, 2);
    putInt(expected, 8, 2025);
    putShort(expected, 12, 256, "<b>Ligue</b> \xE9");
    putShort(expected, 268, 256, "fin");
    expected[524] = 1;
    putShort(expected, 525, 3, "BP");
    putShort(expected, 528, 3, "BC");
    expected[531] = 1;
    putShort(expected, 532, 16, "2.07");
    const std::string written = xbtest::ReadFileBytes(path());
    ASSERT_EQ(written.size(), 548u);
    EXPECT_EQ(written.substr(0, 4), std::string("\x03P32", 4));
    EXPECT_EQ(written, expected);
    // No temporary file stays beside it.
    EXPECT_EQ(xb::platform::ListMatching(tmp.path(), "*").size(), 1u);

    LanguageIndex = 5;
    CurrentSeasonYear = 0;
    HtmlHeaderText.clear();
    HtmlFooterText.clear();
    HideDrawsFlag = 0;
    Params = ParamRecord{};
    ASSERT_TRUE(ReadParamFile());
    EXPECT_EQ(LanguageIndex, 2);
    EXPECT_EQ(CurrentSeasonYear, 2025);
    EXPECT_EQ(HtmlHeaderText, QStringLiteral("<b>Ligue</b> é"));
    EXPECT_EQ(HtmlFooterText, QStringLiteral("fin"));
    EXPECT_EQ(HideDrawsFlag, 1);
    EXPECT_EQ(Params.goalsForLabel, QStringLiteral("BP"));
    EXPECT_EQ(Params.goalsAgainstLabel, QStringLiteral("BC"));
    EXPECT_EQ(Params.openAfterExport, 1);
    EXPECT_EQ(Params.announcedVersion, QStringLiteral("2.07"));
}

TEST_F(ParamFileTest, ReadsDamagedFieldsSafely) {
    struct Case {
        const char* what;
        int32_t language;
        uint32_t year;
        int expectedLanguage;
        int expectedYear;
    };
    const Case cases[] = {
        {"a year above 65535 keeps its low 16 bits", 3, 70000, 3, 4464},
        {"language 0, written by a first run with a language file", 0, 2024, 1, 2024},
        {"language 9", 9, 2024, 1, 2024},
        {"a negative language", -1, 2024, 1, 2024},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string image(548, '\0');
        putShort(image, 0, 4, "P32");
        putInt(image, 4, static_cast<uint32_t>(c.language));
        putInt(image, 8, c.year);
        xbtest::WriteFileBytes(path(), image);
        ASSERT_TRUE(ReadParamFile());
        EXPECT_EQ(LanguageIndex, c.expectedLanguage);
        EXPECT_EQ(CurrentSeasonYear, c.expectedYear);
    }
}

TEST_F(ParamFileTest, OversizedLengthBytesAreCutToTheirField) {
    std::string image(548, 'x');
    image[0] = '\xFF';  // tag: at most 3
    putInt(image, 4, 1);
    putInt(image, 8, 2020);
    image[12] = '\xFF';  // header: 255 fits exactly
    image[268] = '\xFF';
    image[525] = '\xFF';  // labels: at most 2
    image[528] = '\x09';
    image[532] = '\xFF';  // version: at most 15
    xbtest::WriteFileBytes(path(), image);
    ASSERT_TRUE(ReadParamFile());
    EXPECT_EQ(Params.tag, QStringLiteral("xxx"));
    EXPECT_EQ(HtmlHeaderText.size(), 255);
    EXPECT_EQ(HtmlFooterText.size(), 255);
    EXPECT_EQ(Params.goalsForLabel, QStringLiteral("xx"));
    EXPECT_EQ(Params.goalsAgainstLabel, QStringLiteral("xx"));
    EXPECT_EQ(Params.announcedVersion, QString(15, u'x'));
}

TEST_F(ParamFileTest, AShortFileIsDeletedAndTheRunIsAFirstRun) {
    xbtest::WriteFileBytes(path(), std::string(547, '\x01'));
    LanguageIndex = 4;
    CurrentSeasonYear = 1999;
    HtmlHeaderText = QStringLiteral("old");
    HtmlFooterText = QStringLiteral("old");
    HideDrawsFlag = 1;
    EXPECT_FALSE(ReadParamFile());
    EXPECT_FALSE(xb::platform::FileExists(path()));
    EXPECT_EQ(CurrentSeasonYear, 2026);  // the suites' fixed date
    EXPECT_TRUE(HtmlHeaderText.isEmpty());
    EXPECT_TRUE(HtmlFooterText.isEmpty());
    EXPECT_EQ(HideDrawsFlag, 0);
    EXPECT_EQ(LanguageIndex, 4);

    // A missing file is a first run too.
    CurrentSeasonYear = 1999;
    EXPECT_FALSE(ReadParamFile());
    EXPECT_EQ(CurrentSeasonYear, 2026);
}

TEST_F(ParamFileTest, TheFileIsFoundWhateverTheCaseOfItsName) {
    std::string image(548, '\0');
    putShort(image, 0, 4, "P32");
    putInt(image, 4, 6);
    putInt(image, 8, 2011);
    xbtest::WriteFileBytes(tmp.file("pelmorad32.par"), image);
    ASSERT_TRUE(ReadParamFile());
    EXPECT_EQ(LanguageIndex, 6);
    CurrentSeasonYear = 2012;
    ASSERT_TRUE(WriteParamFile());
    // Written back under the name it was found with, not beside it.
    EXPECT_EQ(xb::platform::ListMatching(tmp.path(), "*"), std::vector<std::string>{"pelmorad32.par"});
}

TEST_F(ParamFileTest, AFailedWriteShowsTheBoxAndKeepsTheOldFile) {
    LanguageIndex = 3;
    CurrentSeasonYear = 2001;
    ASSERT_TRUE(WriteParamFile());
    const std::string before = xbtest::ReadFileBytes(path());

    struct Case {
        const char* what;
        xb::platform::FaultOp op;
        int code;
    };
    const Case cases[] = {
        {"the write fails (disk full)", xb::platform::FaultOp::Write, xb::platform::kErrDiskWrite},
        {"the flush fails", xb::platform::FaultOp::Flush, xb::platform::kErrWriteFault},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        xbtest::ScriptedUi ui;
        CurrentSeasonYear = 2099;
        xb::platform::InjectFault(c.op, 1, c.code);
        EXPECT_FALSE(WriteParamFile());
        xb::platform::ClearFaults();
        ASSERT_EQ(ui.messages.size(), 1u);
        // In the session's language, whatever it is.
        EXPECT_EQ(ui.messages[0].text, GetLangText(Text::ParamFileProblem).toStdString());
        EXPECT_EQ(ui.messages[0].caption, GetLangText(Text::ParamFileNotSaved).toStdString());
        EXPECT_EQ(xbtest::ReadFileBytes(path()), before);
        EXPECT_EQ(xb::platform::ListMatching(tmp.path(), "*").size(), 1u);
    }
}

// Settings are one file for every station of the folder. A close that changed nothing writes nothing, and
// so does not put back over the file what another station chose meanwhile; a change is written.
TEST_F(ParamFileTest, ACloseThatChangedNothingLeavesAnotherStationsSettings) {
    LanguageIndex = 3;
    CurrentSeasonYear = 2001;
    ASSERT_TRUE(WriteParamFile());
    ASSERT_TRUE(ReadParamFile());
    // Another station chooses another season and closes.
    const std::string theirs = xbtest::ReadFileBytes(path());
    ParamRecord other = DecodeParamRecord(reinterpret_cast<const unsigned char*>(theirs.data()));
    other.seasonYear = 2030;
    const auto otherBytes = EncodeParamRecord(other);
    xbtest::WriteFileBytes(path(), std::string(otherBytes.begin(), otherBytes.end()));

    xbtest::ScriptedUi ui;
    ASSERT_TRUE(WriteParamFile());
    EXPECT_EQ(DecodeParamRecord(reinterpret_cast<const unsigned char*>(xbtest::ReadFileBytes(path()).data()))
                  .seasonYear,
              2030);
    // Removed meanwhile: written again. Changed here: written.
    xb::platform::RemoveFileIfExists(path());
    ASSERT_TRUE(WriteParamFile());
    EXPECT_TRUE(xb::platform::FileExists(path()));
    CurrentSeasonYear = 2002;
    ASSERT_TRUE(WriteParamFile());
    EXPECT_EQ(DecodeParamRecord(reinterpret_cast<const unsigned char*>(xbtest::ReadFileBytes(path()).data()))
                  .seasonYear,
              2002);
    EXPECT_TRUE(ui.messages.empty());
}

TEST(ParamHtmlText, CharactersOutsideTheCodePageBecomeReferencesNeverSplit) {
    EXPECT_EQ(EncodeHtmlText(QStringLiteral("Č")), "&#268;");
    EXPECT_EQ(EncodeHtmlText(QStringLiteral("é€")), "\xE9\x80");
    EXPECT_EQ(EncodeHtmlText(QString::fromUtf8("\xF0\x9F\x98\x80")), "&#128512;");
    // 250 plain bytes leave room for 5 more: "&#268;" (6) does not fit and is left out whole.
    const std::string cut = EncodeHtmlText(QString(250, u'a') + QStringLiteral("Čb"));
    EXPECT_EQ(cut, std::string(250, 'a'));
    EXPECT_EQ(EncodeHtmlText(QString(300, u'z')).size(), 255u);

    // Stored and read back, the reference stays as text: the page shows the same character.
    ParamRecord r;
    r.htmlHeader = QStringLiteral("Čakovec");
    const auto bytes = EncodeParamRecord(r);
    EXPECT_EQ(DecodeParamRecord(bytes.data()).htmlHeader, QStringLiteral("&#268;akovec"));
}

}  // namespace
}  // namespace app
