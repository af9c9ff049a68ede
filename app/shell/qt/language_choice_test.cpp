// The first-run language choice, driven offscreen by object name.
#include "app/shell/qt/language_choice.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/settings/lang_texts.h"

namespace app {
namespace {

struct Choice {
    int language;
    const char* button;
    const char* caption;
    const char* flag;
};

const Choice kChoices[] = {
    {1, "lfrancais", "Français", "flagfrancais"},    {2, "langlais", "English", "flaganglais"},
    {3, "lportugais", "Portugues", "flagportugais"}, {4, "respagnol", "Espanol", "flagespagnol"},
    {5, "litalien", "Italiano", "flagitalien"},      {6, "lcroatie", "Hrvatski", "flagcroatie"},
    {7, "lsweden", "Sweden", "flagsweden"},          {8, "lDanmark", "Danmark", "flagDanmark"},
};

class LanguageChoiceTest : public ::testing::Test {
protected:
    LanguageChoiceTest() { LanguageIndex = 1; }
    ~LanguageChoiceTest() override { LanguageIndex = 1; }

    template <typename T>
    T* child(const char* name) {
        T* widget = form.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    TForm10 form;
};

TEST_F(LanguageChoiceTest, ShowsEightChoicesWithFrenchChecked) {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Langue - Language"));
    EXPECT_EQ(form.findChildren<QRadioButton*>().size(), 8);
    for (const Choice& c : kChoices) {
        QRadioButton* button = child<QRadioButton>(c.button);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text().toStdString(), c.caption);
        EXPECT_EQ(button->isChecked(), c.language == 1) << c.button;
        EXPECT_TRUE(button->isVisible()) << c.button;
        EXPECT_EQ(form.languageButton(c.language), button);
        QLabel* flag = child<QLabel>(c.flag);
        ASSERT_NE(flag, nullptr);
        EXPECT_FALSE(flag->pixmap().isNull()) << c.flag;
        EXPECT_TRUE(flag->isVisible()) << c.flag;
        // The flag sits on the same row as its button, to its left.
        EXPECT_LT(flag->geometry().right(), button->geometry().left()) << c.flag;
        EXPECT_LT(std::abs(flag->geometry().center().y() - button->geometry().center().y()), 12) << c.flag;
    }
    EXPECT_EQ(child<QPushButton>("bok")->text(), QStringLiteral("OK"));
    EXPECT_EQ(form.languageButton(0), nullptr);
    EXPECT_EQ(form.languageButton(9), nullptr);
}

TEST_F(LanguageChoiceTest, OkStoresTheCheckedLanguageAndCloses) {
    for (const Choice& c : kChoices) {
        TForm10 dialog;
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        LanguageIndex = 0;
        auto* button = dialog.findChild<QRadioButton*>(QString::fromLatin1(c.button));
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(button->isChecked()) << c.button;
        EXPECT_EQ(dialog.findChildren<QRadioButton*>().count(), 8);
        int checked = 0;
        for (QRadioButton* b : dialog.findChildren<QRadioButton*>()) checked += b->isChecked() ? 1 : 0;
        EXPECT_EQ(checked, 1) << "the choices exclude each other";
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("bok")), Qt::LeftButton);
        EXPECT_EQ(LanguageIndex, c.language) << c.button;
        EXPECT_FALSE(dialog.isVisible()) << c.button;
        EXPECT_EQ(dialog.result(), QDialog::Accepted) << c.button;
    }
}

TEST_F(LanguageChoiceTest, OkWithoutChangeKeepsFrench) {
    LanguageIndex = 5;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::keyClick(&form, Qt::Key_Return);  // OK is the default button
    EXPECT_EQ(LanguageIndex, 1);
}

// The first start can be left: Quit rejects the choice and says so, the language stays as it was.
TEST_F(LanguageChoiceTest, QuitLeavesWithoutChoosing) {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::mouseClick(child<QRadioButton>("lcroatie"), Qt::LeftButton);
    EXPECT_FALSE(form.quitChosen());
    QTest::mouseClick(child<QPushButton>("bquit"), Qt::LeftButton);
    EXPECT_TRUE(form.quitChosen());
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(LanguageIndex, 1);
}

TEST_F(LanguageChoiceTest, ClickingAFlagChecksItsLanguage) {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    for (const Choice& c : kChoices) {
        QLabel* flag = child<QLabel>(c.flag);
        ASSERT_NE(flag, nullptr);
        QTest::mouseClick(flag, Qt::LeftButton);
        EXPECT_TRUE(child<QRadioButton>(c.button)->isChecked()) << c.flag;
    }
    QTest::mouseClick(child<QLabel>("flaganglais"), Qt::LeftButton);
    form.bokClick();
    EXPECT_EQ(LanguageIndex, 2);
}

TEST_F(LanguageChoiceTest, WindowIsCentredOnTheScreen) {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QPoint screenCentre = form.screen()->availableGeometry().center();
    const QPoint formCentre = form.geometry().center();
    EXPECT_LE((screenCentre - formCentre).manhattanLength(), 4);
}

// Characteristic colours of each flag, sampled at fractions of its width and height.
TEST_F(LanguageChoiceTest, EachLanguageHasItsOwnFlag) {
    struct Sample {
        int language;
        double x, y;
        QRgb rgb;
    };
    const Sample samples[] = {
        {1, 0.15, 0.5, 0x0055A4},  {1, 0.5, 0.5, 0xFFFFFF},  {1, 0.85, 0.5, 0xEF4135},
        {2, 0.5, 0.5, 0xC8102E},   {2, 0.5, 0.08, 0xC8102E}, {2, 0.3, 0.12, 0x012169},
        {2, 0.42, 0.1, 0xFFFFFF},  {3, 0.1, 0.5, 0x006600},  {3, 0.9, 0.5, 0xFF0000},
        {3, 0.4, 0.28, 0xFFFF00},  {4, 0.5, 0.1, 0xAA151B},  {4, 0.5, 0.5, 0xF1BF00},
        {4, 0.5, 0.9, 0xAA151B},   {5, 0.15, 0.5, 0x009246}, {5, 0.5, 0.5, 0xFFFFFF},
        {5, 0.85, 0.5, 0xCE2B37},  {6, 0.1, 0.15, 0xFF0000}, {6, 0.1, 0.5, 0xFFFFFF},
        {6, 0.1, 0.85, 0x171796},  {7, 0.1, 0.1, 0x006AA7},  {7, 0.1, 0.5, 0xFECC00},
        {7, 0.375, 0.1, 0xFECC00}, {7, 0.8, 0.85, 0x006AA7}, {8, 0.1, 0.1, 0xC8102E},
        {8, 0.1, 0.5, 0xFFFFFF},   {8, 0.38, 0.1, 0xFFFFFF}, {8, 0.8, 0.85, 0xC8102E},
    };
    const QSize size(120, 80);
    for (const Sample& s : samples) {
        const QImage flag = DrawLanguageFlag(s.language, size);
        const QRgb got =
            flag.pixel(static_cast<int>(s.x * size.width()), static_cast<int>(s.y * size.height()));
        EXPECT_EQ(got & 0xFFFFFF, s.rgb) << "language " << s.language << " at " << s.x << "," << s.y << ": "
                                         << std::hex << (got & 0xFFFFFF);
    }
    // Croatia's chequered shield: red and white squares in the middle.
    const QImage croatia = DrawLanguageFlag(6, size);
    EXPECT_NE(croatia.pixel(60, 40) & 0xFFFFFF, croatia.pixel(67, 40) & 0xFFFFFF);
    EXPECT_EQ(qAlpha(DrawLanguageFlag(9, size).pixel(60, 40)), 0);
}

}  // namespace
}  // namespace app
