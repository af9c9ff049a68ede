// The page and its images are written as one set: all replaced, or none.
#include "app/pages/report_files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <filesystem>

#include "app/settings/lang_texts.h"
#include "platform/file.h"
#include "tests/support/fixtures.h"

namespace app {
namespace {

class ReportFilesTest : public ::testing::Test {
protected:
    ReportFilesTest() { xb::platform::ClearFaults(); }
    ~ReportFilesTest() override { xb::platform::ClearFaults(); }

    QString path(const char* name) const { return QString::fromStdString(tmp.file(name)); }
    std::string read(const char* name) const { return xbtest::ReadFileBytes(tmp.file(name)); }
    // Every name in the directory, temporaries included.
    QStringList entries() const {
        return QDir(QString::fromStdString(tmp.path())).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    void writeOld() {
        xbtest::WriteFileBytes(tmp.file("report.htm"), "old page");
        xbtest::WriteFileBytes(tmp.file("reportg1.jpg"), "old 1");
        xbtest::WriteFileBytes(tmp.file("reportg2.jpg"), "old 2");
    }
    ReportFileSet set(const char* suffix) {
        ReportFileSet s;
        s.AddBytes(path("reportg1.jpg"), QByteArray("new 1") + suffix);
        s.AddBytes(path("reportg2.jpg"), QByteArray("new 2") + suffix);
        s.AddBytes(path("report.htm"), QByteArray("new page") + suffix);
        return s;
    }

    xbtest::TempDir tmp;
};

TEST_F(ReportFilesTest, WritesAndReplacesTheWholeSet) {
    ReportFileSet first = set("a");
    ASSERT_TRUE(first.Commit()) << first.error().toStdString();
    ReportFileSet second = set("b");
    ASSERT_TRUE(second.Commit());
    EXPECT_EQ(read("report.htm"), "new pageb");
    EXPECT_EQ(read("reportg1.jpg"), "new 1b");
    EXPECT_EQ(read("reportg2.jpg"), "new 2b");
    EXPECT_EQ(entries(), QStringList({"report.htm", "reportg1.jpg", "reportg2.jpg"}));
}

TEST_F(ReportFilesTest, AFailedFileReplacesNothing) {
    struct Case {
        const char* name;
        int failingWrite;  // the nth write of the platform layer fails; 0: a writer reports failure
        const char* failedFile;
    };
    for (const Case& c : {Case{"first image", 1, "reportg1.jpg"}, Case{"the page", 3, "report.htm"},
                          Case{"writer refuses", 0, "reportg2.jpg"}}) {
        writeOld();
        ReportFileSet s;
        s.AddBytes(path("reportg1.jpg"), "new 1");
        if (c.failingWrite == 0)
            s.Add(path("reportg2.jpg"), [](const QString&) { return QStringLiteral("cannot encode"); });
        else
            s.AddBytes(path("reportg2.jpg"), "new 2");
        s.AddBytes(path("report.htm"), "new page");
        if (c.failingWrite > 0) xb::platform::InjectFault(xb::platform::FaultOp::Write, c.failingWrite, 112);
        EXPECT_FALSE(s.Commit()) << c.name;
        xb::platform::ClearFaults();
        EXPECT_EQ(s.failedPath(), path(c.failedFile)) << c.name;
        if (c.failingWrite > 0) EXPECT_EQ(s.error(), GetLangText(Text::SystemDiskFull)) << c.name;
        EXPECT_FALSE(s.error().isEmpty()) << c.name;
        EXPECT_EQ(read("report.htm"), "old page") << c.name;
        EXPECT_EQ(read("reportg1.jpg"), "old 1") << c.name;
        EXPECT_EQ(read("reportg2.jpg"), "old 2") << c.name;
        EXPECT_EQ(entries(), QStringList({"report.htm", "reportg1.jpg", "reportg2.jpg"})) << c.name;
    }
}

// The reason is the user's: a Croatian session reads it in Croatian, not as the system's English.
TEST_F(ReportFilesTest, AMissingDirectoryFailsWithItsFileAndAReasonInTheUsersLanguage) {
    const int language = LanguageIndex;
    LanguageIndex = 6;
    ReportFileSet s;
    s.AddBytes(path("nowhere/report.htm"), "x");
    EXPECT_FALSE(s.Commit());
    EXPECT_EQ(s.failedPath(), path("nowhere/report.htm"));
    EXPECT_TRUE(s.error() == BuiltInText(Text::SystemFileNotFound, 6) ||
                s.error() == BuiltInText(Text::SystemPathNotFound, 6))
        << s.error().toStdString();
    LanguageIndex = language;
}

// A page that cannot be written says why in the user's words: a folder of that name, a name too long for
// the file system, a disk that filled up half-way; a long name the file system takes is written (its
// temporary may not be longer). Nothing is left behind either way.
TEST_F(ReportFilesTest, AFailureNamesItsRealReason) {
    const int language = LanguageIndex;
    std::filesystem::create_directory(tmp.file("folder.htm"));
    const std::string longest(251, 'n');  // with ".htm": 255 bytes, the most a name may have
    struct Case {
        std::string name;
        int failingWrite;  // a write refused with kErrDiskWrite (101), as a disk full half-way
        QString reason;    // empty: written
    };
    for (int l : {1, 6}) {
        LanguageIndex = l;
        const Case cases[] = {
            {"folder.htm", 0, BuiltInText(Text::NameIsFolder, l).arg(path("folder.htm"))},
            {std::string(300, 'n') + ".htm", 0, BuiltInText(Text::SystemNameTooLong, l)},
            {"full.htm", 1, BuiltInText(Text::SystemDiskFull, l)},
            {longest + ".htm", 0, QString()},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name.substr(0, 20) + " " + std::to_string(l));
            const QStringList before = entries();
            ReportFileSet s;
            s.AddBytes(path(c.name.c_str()), "page");
            if (c.failingWrite) xb::platform::InjectFault(xb::platform::FaultOp::Write, c.failingWrite, 101);
            EXPECT_EQ(s.Commit(), c.reason.isEmpty());
            xb::platform::ClearFaults();
            EXPECT_EQ(s.error(), c.reason);
            if (c.reason.isEmpty()) {
                EXPECT_EQ(read((longest + ".htm").c_str()), "page");
                std::filesystem::remove(tmp.file(longest + ".htm"));
            }
            EXPECT_EQ(entries(), before);
        }
    }
    LanguageIndex = language;
}

}  // namespace
}  // namespace app
