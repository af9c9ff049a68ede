// Windows kept on the screen and message boxes as wide as their titles.
#include "app/shell/qt/screen_fit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTest>

namespace app {
namespace {

TEST(ScreenFit, AFrameIsMovedInsideAndShrunkNoFurtherThanItsLeast) {
    const QRect screen(0, 0, 1280, 1024);
    const struct {
        QRect frame;
        QSize least;
        QRect fitted;
    } cases[] = {
        {{100, 100, 800, 600}, {400, 300}, {100, 100, 800, 600}},     // inside: left as it is
        {{100, 439, 800, 600}, {400, 300}, {100, 424, 800, 600}},     // 15 px below the screen: moved up
        {{600, 0, 1372, 640}, {900, 300}, {0, 0, 1280, 640}},         // wider than the screen: shrunk
        {{-50, -20, 400, 300}, {100, 100}, {0, 0, 400, 300}},         // above and left of it
        {{0, 0, 1400, 1100}, {1300, 1100}, {0, 0, 1300, 1100}},       // its layout cannot go smaller
    };
    for (const auto& c : cases) EXPECT_EQ(FitFrameInto(c.frame, screen, c.least), c.fitted) << c.frame.x();
}

TEST(ScreenFit, AMessageBoxIsAsWideAsItsTitleAndAWindowStaysOnTheScreen) {
    auto& application = *static_cast<QApplication*>(QCoreApplication::instance());
    InstallScreenFit(application);
    const QString title = QString::fromUtf8("Unesite naziv datoteke koja će se stvoriti");
    QMessageBox box(QMessageBox::Question, title, QStringLiteral("?"), QMessageBox::Yes | QMessageBox::No);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    EXPECT_GE(box.width(), TitleBarWidthNeeded(title));
    box.close();

    QWidget window;
    window.resize(600, 400);
    window.move(1000, 900);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(50);
    EXPECT_TRUE(window.screen()->availableGeometry().contains(window.frameGeometry()))
        << window.frameGeometry().x() << "," << window.frameGeometry().y();
}

}  // namespace
}  // namespace app
