// The line reader: blank-line skipping, line ends, encodings and the three ways of cutting fields.
#include "app/settings/text_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file.h"
#include "tests/support/fixtures.h"

namespace app {
namespace {

class TextFileTest : public ::testing::Test {
protected:
    ~TextFileTest() override { xb::platform::ClearFaults(); }

    QString write(const std::string& bytes, const std::string& name = "f.txt") {
        xbtest::WriteFileBytes(tmp.file(name), bytes);
        return QString::fromStdString(tmp.file(name));
    }

    // Every non-blank line the reader yields, in order, with the line count after each.
    static std::vector<std::pair<std::string, int>> readAll(TTextFile& reader) {
        std::vector<std::pair<std::string, int>> out;
        while (!reader.AtEnd()) {
            out.emplace_back(reader.currentLine().toStdString(), reader.lineCount());
            reader.ReadLine();
        }
        return out;
    }

    xbtest::TempDir tmp;
};

TEST_F(TextFileTest, ReaderSkipsBlankLinesAndCountsEveryLineRead) {
    using Lines = std::vector<std::pair<std::string, int>>;
    struct Case {
        const char* name;
        std::string content;
        Lines expected;
    };
    const Case cases[] = {
        {"plain", "a\nb\nc\n", {{"a", 1}, {"b", 2}, {"c", 3}}},
        {"no final line end", "a\nb", {{"a", 1}, {"b", 2}}},
        {"crlf", "a\r\nb\r\n", {{"a", 1}, {"b", 2}}},
        {"blank lines between", "\n \t\na\n\n\n  b \n\t\n", {{"a", 3}, {"  b ", 6}}},
        {"empty file", "", {}},
        {"blank only", " \n\t\n\r\n", {}},
        {"bom", "\xEF\xBB\xBFhead\nx\n", {{"head", 1}, {"x", 2}}},
        {"lone cr stays in the line", "a\rb\n", {{"a\rb", 1}}},
    };
    for (const Case& c : cases) {
        TTextFile reader;
        reader.SetFileName(write(c.content));
        EXPECT_EQ(readAll(reader), c.expected) << c.name;
        EXPECT_TRUE(reader.AtEnd()) << c.name;
        EXPECT_FALSE(reader.ReadLine()) << c.name << ": reading past the end stays at the end";
    }
}

TEST_F(TextFileTest, ReadLineResultTellsWhetherALineWasFound) {
    TTextFile reader;
    reader.SetFileName(write("first\n\nlast\n\n \n"));
    EXPECT_EQ(reader.currentLine(), QStringLiteral("first"));
    EXPECT_TRUE(reader.ReadLine());
    EXPECT_EQ(reader.currentLine(), QStringLiteral("last"));
    EXPECT_FALSE(reader.AtEnd());
    EXPECT_FALSE(reader.ReadLine());
    EXPECT_TRUE(reader.LineIsBlank());
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_EQ(reader.lineCount(), 5);

    // A last line without a line end is still a line.
    reader.SetFileName(write("only", "g.txt"));
    EXPECT_EQ(reader.currentLine(), QStringLiteral("only"));
    EXPECT_FALSE(reader.AtEnd());
    EXPECT_FALSE(reader.ReadLine());
}

TEST_F(TextFileTest, OpenRewindsAndSetFileNameReopensOnlyForANewName) {
    TTextFile reader;
    const QString name = write("a\nb\nc\n");
    reader.SetFileName(name);
    reader.ReadLine();
    reader.ReadLine();
    EXPECT_EQ(reader.currentLine(), QStringLiteral("c"));
    reader.SetFileName(name);  // same name: nothing happens
    EXPECT_EQ(reader.currentLine(), QStringLiteral("c"));
    reader.Open();
    EXPECT_EQ(reader.currentLine(), QStringLiteral("a"));
    EXPECT_EQ(reader.lineCount(), 1);

    reader.SetFileName(write("other\n", "g.txt"));
    EXPECT_EQ(reader.currentLine(), QStringLiteral("other"));
    reader.SetFileName(QString());
    EXPECT_FALSE(reader.isOpen());
    EXPECT_TRUE(reader.AtEnd());
}

TEST_F(TextFileTest, FailuresRaiseTheReadersError) {
    auto messageOf = [](auto&& action) -> std::string {
        try {
            action();
        } catch (const ETextFileError& e) {
            return e.message().toStdString();
        }
        return "(no error)";
    };
    TTextFile closed;
    EXPECT_EQ(messageOf([&] { closed.ReadLine(); }), "No valid file selected");
    EXPECT_EQ(messageOf([&] { closed.Open(); }), "No valid file selected");
    EXPECT_EQ(messageOf([&] { closed.Error(QStringLiteral("Bad ✓")); }), "Bad ✓");

    TTextFile missing;
    EXPECT_NE(messageOf([&] {
                  missing.SetFileName(QString::fromStdString(tmp.file("none.txt")));
              }).find("none.txt"),
              std::string::npos);
    EXPECT_FALSE(missing.isOpen());

    TTextFile faulty;
    const QString name = write("a\n");
    xb::platform::InjectFault(xb::platform::FaultOp::Read, 1, xb::platform::kErrReadFault);
    EXPECT_NE(messageOf([&] { faulty.SetFileName(name); }).find("error 30"), std::string::npos);
    EXPECT_FALSE(faulty.isOpen());
}

TEST_F(TextFileTest, EncodingIsDecidedForTheWholeFile) {
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"utf-8",
         "Journ\xC3\xA9"
         "e\n\xC4\x8D\xC4\x87\xC4\x91\n",
         {"Journée", "čćđ"}},
        // One invalid byte anywhere makes every line Windows-1252, even lines that looked like UTF-8.
        {"windows-1252",
         "Journ\xC3\xA9"
         "e\nAnn\xE9"
         "e \x80\n",
         {"JournÃ©e", "Année €"}},
        {"ascii", "plain\n", {"plain"}},
    };
    for (const Case& c : cases) {
        TTextFile reader;
        reader.SetFileName(write(c.bytes));
        std::vector<std::string> got;
        for (const auto& [line, count] : readAll(reader)) got.push_back(line);
        EXPECT_EQ(got, c.lines) << c.name;
    }
}

struct FieldCase {
    const char* line;
    char16_t separator;  // 0: runs of blanks and tabs
    char16_t quote;      // 0: none
    int field;
    const char* expected;
};

TEST_F(TextFileTest, DelimitedFields) {
    const FieldCase cases[] = {
        {"a;b;c", u';', 0, 1, "a"},
        {"a;b;c", u';', 0, 3, "c"},
        {"a;b;c", u';', 0, 4, ""},
        {"a;b;c", u';', 0, 0, ""},
        {"a;;c", u';', 0, 2, ""},
        {"a;", u';', 0, 2, ""},
        {";b", u';', 0, 1, ""},
        {" a ; b ", u';', 0, 2, " b "},  // not trimmed
        {"whole line", u';', 0, 1, "whole line"},
        {"whole line", u';', 0, 2, ""},
        {"", u';', 0, 1, ""},
        {"\"x;y\";z", u';', u'"', 1, "x;y"},
        {"\"x;y\";z", u';', u'"', 2, "z"},
        {"\"x;y\"tail;z", u';', u'"', 1, "x;ytail"},
        {"\"open;to end", u';', u'"', 1, "open;to end"},
        {"\"open;to end", u';', u'"', 2, ""},
        {"a\"b;c", u';', u'"', 1, "a\"b"},  // a quote inside a field is an ordinary character
        {"\"x;y\";z", u';', 0, 1, "\"x"},
        {"a,b", u',', 0, 2, "b"},
        {"  one \t two\tthree  ", 0, 0, 1, "one"},
        {"  one \t two\tthree  ", 0, 0, 2, "two"},
        {"  one \t two\tthree  ", 0, 0, 3, "three"},
        {"  one \t two\tthree  ", 0, 0, 4, ""},
        {" \t ", 0, 0, 1, ""},
        {"'a b' c", 0, u'\'', 1, "a b"},
        {"'a b' c", 0, u'\'', 2, "c"},
    };
    for (const FieldCase& c : cases) {
        TTextFile reader(c.separator ? QChar(c.separator) : QChar(), c.quote ? QChar(c.quote) : QChar());
        reader.SetFileName(write(std::string(c.line) + "\nnext\n"));
        // A blank line is skipped by the reader, so read the blank-line cases from the raw line instead.
        if (QString::fromUtf8(c.line).trimmed().isEmpty()) {
            EXPECT_EQ(reader.currentLine(), QStringLiteral("next"));
            continue;
        }
        EXPECT_EQ(reader.GetField(c.field).toStdString(), c.expected) << c.line << " field " << c.field;
    }
}

TEST_F(TextFileTest, FixedColumnFields) {
    TTextFile reader;
    reader.SetFileName(write("0123456789\nab\n"));
    reader.setFixedColumns(true);
    reader.setColumnPositions({1, 4, 8, 20});
    EXPECT_EQ(reader.GetField(1), QStringLiteral("012"));
    EXPECT_EQ(reader.GetField(2), QStringLiteral("3456"));
    EXPECT_EQ(reader.GetField(3), QStringLiteral("789"));  // clipped at the end of the line
    EXPECT_EQ(reader.GetField(4), QString());              // no end position: beyond the last field
    EXPECT_EQ(reader.GetField(0), QString());
    reader.ReadLine();
    EXPECT_EQ(reader.GetField(1), QStringLiteral("ab"));
    EXPECT_EQ(reader.GetField(2), QString());

    for (const std::vector<int>& positions : {std::vector<int>{1, 5, 5}, std::vector<int>{1, 6, 3}}) {
        reader.setColumnPositions(positions);
        try {
            reader.GetField(2);
            ADD_FAILURE() << "no error";
        } catch (const ETextFileError& e) {
            EXPECT_EQ(e.message(), QStringLiteral("Invalid fixed column position in index 3"));
        }
    }
}

}  // namespace
}  // namespace app
