// The data directory, extension cutting and the shell seam.
#include "app/settings/app_files.h"

#include <gtest/gtest.h>

#include "tests/support/recording_shell.h"

namespace app {
namespace {

TEST(StripExtension, CutsTheLastExtensionOnly) {
    const struct {
        const char* name;
        const char* expected;
    } cases[] = {
        {"page.htm", "page"},
        {"page", "page"},
        {"a.b.htm", "a.b"},
        {"page.", "page."},
        {"/tmp/x.d/page", "/tmp/x.d/page"},
        {"/tmp/x.d/page.jpg", "/tmp/x.d/page"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StripExtension(QString::fromUtf8(c.name)), QString::fromUtf8(c.expected)) << c.name;
}

TEST(AppDir, EndsWithASlashAndCanBeChosen) {
    const QString own = GetAppDir();
    EXPECT_TRUE(own.endsWith(u'/'));
    SetAppDir(QStringLiteral("/tmp/data"));
    EXPECT_EQ(GetAppDir(), QStringLiteral("/tmp/data/"));
    SetAppDir(QStringLiteral("/tmp/other/"));
    EXPECT_EQ(GetAppDir(), QStringLiteral("/tmp/other/"));
    SetAppDir(QString());
    EXPECT_EQ(GetAppDir(), own);
}

TEST(ShellOpen, ReachesTheSeamWithAFileUrlOrTheAddress) {
    {
        xbtest::RecordingShell shell;
        EXPECT_TRUE(ShellOpenFile(QStringLiteral("/tmp/my pages/équipe.htm")));
        EXPECT_TRUE(OpenInBrowser(QStringLiteral("http://example.org/aide")));
        shell.answer = false;
        EXPECT_FALSE(OpenInBrowser(QStringLiteral("http://example.org/")));
        ASSERT_EQ(shell.opened.size(), 3u);
        EXPECT_EQ(shell.opened[0], "file:///tmp/my%20pages/%C3%A9quipe.htm");
        EXPECT_EQ(shell.opened[1], "http://example.org/aide");
    }
    // Without an installed opener nothing opens.
    EXPECT_FALSE(OpenInBrowser(QStringLiteral("http://example.org/")));
}

}  // namespace
}  // namespace app
