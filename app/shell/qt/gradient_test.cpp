// The gradient background, rendered: every row carries the colour of the one band that covers it.
#include "app/shell/qt/gradient.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>

namespace app {
namespace {

TEST(Gradient, MulDivRoundsHalvesAwayFromZero) {
    const struct {
        int a, b, c, expected;
    } cases[] = {{1, 100, 256, 0},     {2, 100, 256, 1},      {255, 100, 256, 100}, {128, 1, 256, 1},
                 {127, 1, 256, 0},     {1, -255, 2, -128},    {3, -10, 4, -8},      {5, 5, 0, -1},
                 {255, -37, 255, -37}, {0x7FFFFFFF, 2, 1, -1}};
    for (const auto& c : cases)
        EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
}

TEST(Gradient, EachRowHasTheColourOfExactlyOneBand) {
    QWidget parent;
    TDegradeClass gradient(&parent);
    gradient.setStartColor(0x81FBFE);  // RGB 254, 251, 129
    gradient.setEndColor(0x5BC8E3);    // RGB 227, 200, 91
    EXPECT_EQ(ColorOfBgr(0xE7F7FE), QColor(254, 247, 231));
    EXPECT_EQ(gradient.BandColor(0), QColor(254, 251, 129));
    EXPECT_EQ(gradient.BandColor(255), QColor(227, 200, 91));

    for (int height : {1, 100, 300}) {
        SCOPED_TRACE(height);
        gradient.resize(40, height);
        const QImage image = gradient.grab().toImage();
        ASSERT_EQ(image.height(), height);
        // Bands cover the rows exactly once: band i owns [top(i), top(i+1)); count the owners of each row.
        for (int y = 0; y < height; ++y) {
            int owners = 0;
            int owner = -1;
            for (int band = 0; band < 256; ++band) {
                if (TDegradeClass::BandTop(band, height) <= y &&
                    y < TDegradeClass::BandTop(band + 1, height)) {
                    ++owners;
                    owner = band;
                }
            }
            ASSERT_EQ(owners, 1) << "row " << y;
            for (int x : {0, 39})
                ASSERT_EQ(QColor(image.pixel(x, y)), gradient.BandColor(owner)) << "row " << y;
        }
        // One row is the middle band alone; taller, the top row has the start colour.
        if (height > 1) EXPECT_EQ(QColor(image.pixel(0, 0)), QColor(254, 251, 129));
    }
    // At 300 rows the last band is not empty: the bottom row has the end colour.
    EXPECT_EQ(QColor(gradient.grab().toImage().pixel(0, 299)), QColor(227, 200, 91));
}

TEST(Gradient, LiesBeneathTheOtherChildrenAndPassesClicksOn) {
    QWidget parent;
    QLabel label(QStringLiteral("x"), &parent);
    TDegradeClass gradient(&parent);
    parent.show();
    parent.resize(50, 70);
    EXPECT_EQ(gradient.geometry(), QRect(0, 0, 50, 70));  // follows its parent
    EXPECT_EQ(parent.childAt(label.geometry().center()), &label);
    EXPECT_TRUE(gradient.testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_EQ(gradient.StartColor(), 0xFF0000u);
    EXPECT_EQ(gradient.EndColor(), 0x0000FFu);
}

}  // namespace
}  // namespace app
