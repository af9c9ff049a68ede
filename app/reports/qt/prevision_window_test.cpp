// The prediction window on a real season, offscreen: texts, teams and matchdays following the
// championship and the season, the three methods into the pie (values, names, colours), "no data" at
// matchday 1 with method 1, and the choices that give no forecast (one team twice, a name no team has)
// leaving the pie alone. With LM_SCREENSHOT_DIR set, the window is saved as a PNG.
#include "app/reports/qt/prevision_window.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPieSeries>
#include <QPieSlice>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "app/reports/prevision.h"
#include "app/reports/qt/selection_panel.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_lookups.h"
#include "app/data/league_test_support.h"
#include "app/settings/param_file.h"
#include "app/shell/qt/report_charts.h"
#include "tests/support/league_fill.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/season_csv.h"

namespace {

using namespace app;

class PrevisionWindowTest : public leaguetest::LeagueTest {
protected:
    PrevisionWindowTest() {
        xbtest::FillLeagueTables(
            tmp.path(), xbtest::SeasonTablesOfCsv(
                            xbtest::ReadSeasonCsv(std::string(LM_TEST_DATA) + "/fr-2014-15.csv"), 2014));
        CurrentSeasonYear = 2014;
    }
    template <typename T>
    T* child(const char* name) {
        T* c = window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    void click(const char* name) { QTest::mouseClick(child<QAbstractButton>(name), Qt::LeftButton); }
    std::vector<std::pair<QString, double>> slices() {
        std::vector<std::pair<QString, double>> out;
        for (QPieSlice* s : window.Series2()->slices()) out.emplace_back(s->label(), s->value());
        return out;
    }
    void choose(const QString& team1, const QString& team2, const QString& day, int method) {
        child<QComboBox>("eequipe1")->setEditText(team1);
        child<QComboBox>("eequipe2")->setEditText(team2);
        child<QComboBox>("cjournee")->setEditText(day);
        child<QComboBox>("ctypeprevision")->setCurrentIndex(method - 1);
    }

    xbtest::ScriptedUi ui;
    Tfprevision window;
};

TEST_F(PrevisionWindowTest, ThreeMethodsIntoThePie) {
    window.resize(780, 600);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.windowTitle(), GetLangText(Text::Forecast));
    for (const WindowText& t : Tfprevision::Texts())
        EXPECT_EQ(ShownWindowText(&window, t), WindowTextValue(t)) << t.objectName;
    EXPECT_EQ(child<QLabel>("lequipe1")->text(), GetLangText(Text::Team) + " 1");
    EXPECT_EQ(child<QLabel>("lequipe2")->text(), GetLangText(Text::Team) + " 2");
    auto* methods = child<QComboBox>("ctypeprevision");
    ASSERT_EQ(methods->count(), 3);
    const Text methodTexts[] = {Text::ForecastSeasonMatches, Text::ForecastHeadToHead,
                                Text::ForecastSeasonAndHeadToHead};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(methods->itemText(i), GetLangText(methodTexts[i]));
    for (const char* idle : {"bimp", "bhtm", "SpeedButton3", "SpeedButton4"})
        EXPECT_FALSE(child<QWidget>(idle)->isEnabled()) << idle;
    EXPECT_EQ(child<QComboBox>("cannee")->currentText(), "2014 - 2015");

    // The championship brings the season's teams and matchdays.
    EXPECT_EQ(child<QComboBox>("eequipe1")->count(), 0);
    click("bchampsui");
    EXPECT_EQ(child<QLineEdit>("enomchamp")->text(), "Top division");
    EXPECT_EQ(child<QComboBox>("eequipe1")->count(), 20);
    EXPECT_EQ(child<QComboBox>("eequipe2")->count(), 20);
    EXPECT_EQ(child<QComboBox>("cjournee")->count(), 38);

    const QString home = "Paris Saint-Germain", away = "AS Saint-Étienne";
    const int t1 = FindTeamNumber(home), t2 = FindTeamNumber(away);
    ASSERT_GT(t1, 0);
    ASSERT_GT(t2, 0);
    auto expectPie = [&](const PrevisionPercent& p) {
        const auto got = slices();
        ASSERT_EQ(got.size(), 3u);
        EXPECT_FLOAT_EQ(got[0].second, p.team1);
        EXPECT_FLOAT_EQ(got[1].second, p.draw);
        EXPECT_FLOAT_EQ(got[2].second, p.team2);
        EXPECT_TRUE(got[0].first.startsWith(home));
        EXPECT_TRUE(got[1].first.startsWith(GetLangText(Text::DrawnShort) + " "));
        EXPECT_TRUE(got[2].first.startsWith(away));
        const auto s = window.Series2()->slices();
        EXPECT_EQ(s[0]->color(), QColor(0, 0, 255));
        EXPECT_EQ(s[1]->color(), QColor(0, 128, 0));
        EXPECT_EQ(s[2]->color(), QColor(255, 0, 0));
    };
    choose(home, away, "20", kPrevisionBySeason);
    click("bafficher");
    const PrevisionPercent season = PrevisionBySeason(1, 2014, 20, t1, t2);
    ASSERT_TRUE(season.hasData);
    expectPie(season);
    choose(home, away, "20", kPrevisionCombined);
    click("bafficher");
    // One meeting in the tables: the season's own home match, if played before matchday 20 or not.
    expectPie(*ComputePrevision({kPrevisionCombined, 1, 2014, 20, t1, t2}));
    if (!qgetenv("LM_SCREENSHOT_DIR").isEmpty()) {
        QDir().mkpath(qgetenv("LM_SCREENSHOT_DIR"));
        window.grab().save(qgetenv("LM_SCREENSHOT_DIR") + "/prevision.png");
    }
    choose(home, away, "20", kPrevisionByMeetings);
    click("bafficher");
    expectPie(PrevisionByMeetings(1, 2014, 20, t1, t2));

    // Method 1 at matchday 1: nothing to judge by.
    choose(home, away, "1", kPrevisionBySeason);
    click("bafficher");
    EXPECT_TRUE(PieShowsNoData(window.Series2()));
    // No forecast: the pie stays as it is.
    choose(home, away, "20", kPrevisionBySeason);
    click("bafficher");
    const auto before = slices();
    choose(home, home, "20", kPrevisionBySeason);
    click("bafficher");
    EXPECT_EQ(slices(), before);
    choose(home, "Nobody FC", "20", kPrevisionBySeason);
    click("bafficher");
    EXPECT_EQ(slices(), before);
    choose(home.left(5), away, "20", kPrevisionBySeason);
    click("bafficher");
    EXPECT_EQ(slices(), before);

    // Another season: its teams (none stored) and matchdays.
    child<QComboBox>("cannee")->setCurrentIndex(child<QComboBox>("cannee")->currentIndex() + 1);
    EXPECT_EQ(CurrentSeasonYear, 2015);
    EXPECT_EQ(child<QComboBox>("eequipe1")->count(), 0);
    EXPECT_EQ(child<QComboBox>("cjournee")->count(), 0);
}

}  // namespace
