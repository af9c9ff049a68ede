// The championship statistics window on a real season, offscreen: texts, the two pies filled from the
// season (values, labels and colours), a season that is not stored showing "no data", the busy flag, and
// the printout: one page with both charts, also for the empty season. With LM_SCREENSHOT_DIR set, the
// window and the PDFs are kept.
#include "app/reports/qt/championship_stats_window.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPieSeries>
#include <QPieSlice>
#include <QPrinter>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <filesystem>

#include "app/reports/championship_stats.h"
#include "app/reports/qt/selection_panel.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_test_support.h"
#include "app/settings/param_file.h"
#include "app/shell/qt/gradient.h"
#include "app/shell/qt/report_charts.h"
#include "app/shell/qt/report_print.h"
#include "tests/support/league_fill.h"
#include "tests/support/run_command.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/season_csv.h"

namespace {

using namespace app;

class StatChampWindowTest : public leaguetest::LeagueTest {
protected:
    StatChampWindowTest() {
        xbtest::FillLeagueTables(
            tmp.path(), xbtest::SeasonTablesOfCsv(
                            xbtest::ReadSeasonCsv(std::string(LM_TEST_DATA) + "/en-2012-13.csv"), 2012));
        CurrentSeasonYear = 2012;
    }
    ~StatChampWindowTest() override { SetReportPrinterFactory({}); }
    template <typename T>
    T* child(const char* name) {
        T* c = window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    void click(const char* name) { QTest::mouseClick(child<QAbstractButton>(name), Qt::LeftButton); }
    // Prints to a PDF; answers its page count and puts its text into text.
    int printed(const std::string& name, std::string* text) {
        const std::string pdf = tmp.file(name);
        SetReportPrinterFactory([&] {
            auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
            p->setOutputFormat(QPrinter::PdfFormat);
            p->setOutputFileName(QString::fromStdString(pdf));
            p->setResolution(300);
            p->setPageSize(QPageSize(QPageSize::A4));
            return p;
        });
        click("bimp");
        SetReportPrinterFactory({});
        if (!qgetenv("LM_SCREENSHOT_DIR").isEmpty())
            std::filesystem::copy_file(pdf, qgetenv("LM_SCREENSHOT_DIR").toStdString() + "/" + name,
                                       std::filesystem::copy_options::overwrite_existing);
        *text = xbtest::RunCommand("pdftotext -layout " + xbtest::ShellQuote(pdf) + " -");
        const std::string info = xbtest::RunCommand("pdfinfo " + xbtest::ShellQuote(pdf));
        const auto at = info.find("Pages:");
        return at == std::string::npos ? 0 : std::stoi(info.substr(at + 6));
    }
    struct Slice {
        QString label;
        double value;
        QColor colour;
        bool operator==(const Slice&) const = default;
    };
    static std::vector<Slice> slices(QPieSeries* s) {
        std::vector<Slice> out;
        for (QPieSlice* slice : s->slices())
            out.push_back({slice->label(), slice->value(), slice->brush().color()});
        return out;
    }

    xbtest::ScriptedUi ui;
    Tfstatchamp window;
};

TEST_F(StatChampWindowTest, SeasonPiesAndOnePagePrintout) {
    window.resize(820, 560);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.windowTitle(), GetLangText(Text::ChampionshipStatistics));
    for (const WindowText& t : Tfstatchamp::Texts())
        EXPECT_EQ(ShownWindowText(&window, t), WindowTextValue(t)) << t.objectName;
    EXPECT_EQ(child<QComboBox>("eannee")->currentText(), "2012 - 2013");
    EXPECT_EQ(window.Series2()->count(), 0);

    // Without a championship the show button changes nothing.
    click("baffiche");
    EXPECT_EQ(window.Series2()->count(), 0);
    click("bchampsui");
    EXPECT_EQ(child<QLineEdit>("enumchamp")->text(), "1");
    EXPECT_EQ(child<QLineEdit>("enomchamp")->text(), "Top division");
    click("baffiche");
    const ChampionshipStats s = ComputeChampionshipStats(1, 2012);
    EXPECT_EQ(s.homeWins + s.awayWins + s.draws, 380);
    auto label = [](Text text, int v) { return GetLangText(text) + " " + QString::number(v); };
    const QColor blue(0, 0, 255), red(255, 0, 0), green(0, 128, 0);
    EXPECT_EQ(slices(window.Series2()),
              (std::vector<Slice>{{label(Text::GoalsHomeShort, s.homeGoals), double(s.homeGoals), blue},
                                  {label(Text::GoalsAwayShort, s.awayGoals), double(s.awayGoals), red}}));
    EXPECT_EQ(slices(window.Series3()),
              (std::vector<Slice>{{label(Text::HomeWinsShort, s.homeWins), double(s.homeWins), blue},
                                  {label(Text::AwayWinsShort, s.awayWins), double(s.awayWins), red},
                                  {label(Text::PointsDraw, s.draws), double(s.draws), green}}));
    if (!qgetenv("LM_SCREENSHOT_DIR").isEmpty()) {
        QDir().mkpath(qgetenv("LM_SCREENSHOT_DIR"));
        window.grab().save(qgetenv("LM_SCREENSHOT_DIR") + "/statchamp.png");
    }
    std::string text;
    EXPECT_EQ(printed("statchamp.pdf", &text), 1);
    EXPECT_NE(text.find(GetLangText(Text::ChampionshipStatistics).toStdString()), std::string::npos);
    EXPECT_NE(text.find((GetLangText(Text::Championship) + ": Top division").toStdString()),
              std::string::npos);
    EXPECT_NE(text.find((GetLangText(Text::Year) + ": 2012 - 2013").toStdString()), std::string::npos);
    EXPECT_NE(text.find(label(Text::HomeWinsShort, s.homeWins).toStdString()), std::string::npos) << text;
    EXPECT_NE(text.find(label(Text::GoalsHomeShort, s.homeGoals).toStdString()), std::string::npos) << text;

    // The season buttons change the season only; a busy window ignores the show button.
    click("SpeedButton2");
    EXPECT_EQ(child<QComboBox>("eannee")->currentText(), "2013 - 2014");
    EXPECT_EQ(window.Series3()->slices()[0]->value(), s.homeWins);
    window.selection().busy = true;
    click("baffiche");
    EXPECT_EQ(window.Series3()->slices()[0]->value(), s.homeWins);
    window.FormActivate();
    // A season without results: both pies say so, and the printout is one page still.
    click("baffiche");
    EXPECT_TRUE(PieShowsNoData(window.Series2()));
    EXPECT_TRUE(PieShowsNoData(window.Series3()));
    EXPECT_EQ(printed("statchamp_empty.pdf", &text), 1);
    EXPECT_NE(text.find(GetLangText(Text::NoData).toStdString()), std::string::npos);
    EXPECT_EQ(text.find("nan"), std::string::npos);
}

}  // namespace
