// The about box and, when LM_SCREENSHOT_DIR names a directory, pictures of the shell's common windows for
// a person to look at (run under Xvfb with QT_QPA_PLATFORM=xcb for the real style and fonts).
#include "app/shell/qt/about_box.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "app/settings/app_files.h"
#include "app/settings/lang_texts.h"
#include "app/settings/param_file.h"
#include "app/shell/qt/export_file_chooser.h"
#include "app/shell/qt/parameters_window.h"
#include "tests/support/fixtures.h"

namespace app {
namespace {

TEST(AboutBox, ShowsTheVersionAndClosesOnOk) {
    TAboutBox box;
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    EXPECT_EQ(box.findChild<QLabel*>(QStringLiteral("lversion"))->text(), QStringLiteral("2.06"));
    EXPECT_EQ(box.findChild<QLabel*>(QStringLiteral("ProductName"))->text(), QStringLiteral("PELMORAD32"));
    EXPECT_FALSE(box.findChild<QLabel*>(QStringLiteral("ProgramIcon"))->pixmap().isNull());
    QTest::mouseClick(box.findChild<QPushButton*>(QStringLiteral("OKBUTTON")), Qt::LeftButton);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), QDialog::Accepted);
}

void save(QWidget& w, const QString& dir, const char* name) {
    w.show();
    QTest::qWaitForWindowExposed(&w);
    QTest::qWait(300);  // the file models fill their lists in the background
    ASSERT_TRUE(w.grab().save(dir + u'/' + QString::fromLatin1(name), "PNG"));
}

TEST(Screenshots, CommonWindows) {
    const QString dir = qEnvironmentVariable("LM_SCREENSHOT_DIR");
    if (dir.isEmpty()) GTEST_SKIP() << "LM_SCREENSHOT_DIR not set";
    QDir().mkpath(dir);
    LanguageIndex = 1;
    HtmlHeaderText = QStringLiteral("<p align=\"center\">Ligue des amis</p>");
    HtmlFooterText = QStringLiteral("<p>Č &#169; 2026</p>");
    Params.goalsForLabel = QStringLiteral("BP");
    Params.goalsAgainstLabel = QStringLiteral("BC");
    Params.openAfterExport = 1;
    {
        Tfpara para;
        save(para, dir, "tfpara-page1.png");
        para.findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(1);
        save(para, dir, "tfpara-page2.png");
    }
    {
        LanguageIndex = 2;
        Tfpara para;
        save(para, dir, "tfpara-page1-english.png");
    }
    {
        const xbtest::TempDir data;
        SetAppDir(QString::fromStdString(data.path()));
        Tfgestfic chooser;
        chooser.prepare(true);
        save(chooser, dir, "tfgestfic.png");
        SetAppDir(QString());
    }
    TAboutBox box;
    save(box, dir, "about.png");
    LanguageIndex = 1;
}

}  // namespace
}  // namespace app
