// The JPEG writer: a real bitmap in, a decodable JPEG out; every failure leaves no file.
#include "app/shell/qt/jpeg_writer.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>

#include "tests/support/fixtures.h"

namespace app {
namespace {

QImage testPicture() {
    QImage image(640, 480, QImage::Format_RGB32);
    image.fill(QColor(30, 120, 200));
    QPainter p(&image);
    p.fillRect(0, 0, 320, 240, QColor(220, 40, 40));
    p.fillRect(320, 240, 320, 240, QColor(250, 250, 250));
    return image;
}

int channelDistance(QColor a, QColor b) {
    return std::max(
        {std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

TEST(JpegWriter, ConvertsABitmapIntoAJpegOfTheSameSizeAndColours) {
    xbtest::TempDir tmp;
    const QString bmp = QString::fromStdString(tmp.file("chart.bmp"));
    const QString jpg = QString::fromStdString(tmp.file("chart.jpg"));
    ASSERT_TRUE(testPicture().save(bmp, "BMP"));
    ASSERT_TRUE(BmpToJpeg(bmp, jpg, 75));
    const std::string bytes = xbtest::ReadFileBytes(jpg.toStdString());
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xD8);
    QImage back;
    ASSERT_TRUE(back.load(jpg, "JPEG"));
    EXPECT_EQ(back.size(), QSize(640, 480));
    const struct {
        int x, y;
        QColor colour;
    } probes[] = {
        {100, 100, QColor(220, 40, 40)}, {500, 100, QColor(30, 120, 200)}, {500, 400, QColor(250, 250, 250)}};
    for (const auto& p : probes)
        EXPECT_LE(channelDistance(back.pixelColor(p.x, p.y), p.colour), 8) << p.x << "," << p.y;
}

TEST(JpegWriter, FailuresGiveFalseAndLeaveNoFile) {
    xbtest::TempDir tmp;
    const QString bmp = QString::fromStdString(tmp.file("chart.bmp"));
    ASSERT_TRUE(testPicture().save(bmp, "BMP"));
    const QString png = QString::fromStdString(tmp.file("chart.png"));
    ASSERT_TRUE(testPicture().save(png, "PNG"));
    const struct {
        const char* what;
        QString input;
        QString output;
    } cases[] = {
        {"a missing bitmap", QString::fromStdString(tmp.file("none.bmp")),
         QString::fromStdString(tmp.file("a.jpg"))},
        {"not a bitmap", png, QString::fromStdString(tmp.file("b.jpg"))},
        {"an unwritable target", bmp, QString::fromStdString(tmp.file("no/such/dir/c.jpg"))},
        {"a directory as target", bmp, QString::fromStdString(tmp.path())},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(BmpToJpeg(c.input, c.output, 75));
        if (c.output != QString::fromStdString(tmp.path())) EXPECT_FALSE(QFile::exists(c.output));
    }
    EXPECT_FALSE(ImageToJpeg(QImage(), QString::fromStdString(tmp.file("d.jpg")), 75));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(tmp.file("d.jpg"))));
}

}  // namespace
}  // namespace app
