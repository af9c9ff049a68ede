// One road through the results grid window on a real season, offscreen: texts, a championship picked
// by number, the grid built and painted (black diagonal, striped rows, titles), season buttons that do
// not rebuild, a busy window and a choice that is not a number ignored, then the page written through
// the export chooser and read back, also as headless Chromium sees it. With LM_SCREENSHOT_DIR set, the
// window and the page are saved as PNG files.
#include "app/reports/qt/results_grid_window.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "app/reports/qt/selection_panel.h"
#include "app/reports/results_grid.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_test_support.h"
#include "app/settings/param_file.h"
#include "app/shell/qt/export_file_chooser.h"
#include "app/shell/qt/modal_seam.h"
#include "app/shell/qt/report_grid.h"
#include "tests/support/html_table.h"
#include "tests/support/league_fill.h"
#include "tests/support/run_command.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/season_csv.h"

namespace {

using namespace app;

class ResultsGridWindowTest : public leaguetest::LeagueTest {
protected:
    ResultsGridWindowTest() {
        xbtest::FillLeagueTables(
            tmp.path(), xbtest::SeasonTablesOfCsv(
                            xbtest::ReadSeasonCsv(std::string(LM_TEST_DATA) + "/fr-2014-15.csv"), 2014));
        CurrentSeasonYear = 2014;
        Params.openAfterExport = 0;
    }
    template <typename T>
    T* child(const char* name) {
        T* c = window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    void click(const char* name) { QTest::mouseClick(child<QAbstractButton>(name), Qt::LeftButton); }
    ReportGrid& grid() { return *window.grid(); }
    void screenshot(QWidget& w, const char* name) {
        const QByteArray dir = qgetenv("LM_SCREENSHOT_DIR");
        if (dir.isEmpty()) return;
        QDir().mkpath(QString::fromLocal8Bit(dir));
        w.grab().save(QString::fromLocal8Bit(dir) + "/" + name);
    }
    // The colour painted at the centre of cell (col, row) of the grid's picture.
    QColor paintedAt(const QImage& image, int col, int row) {
        ReportGrid& g = grid();
        const QPoint at =
            row == 0 ? g.horizontalHeader()->mapTo(&g, QPoint(g.columnViewportPosition(col) + 3, 3))
                     : g.viewport()->mapTo(
                           &g, g.visualRect(g.model()->index(row - 1, col)).topLeft() + QPoint(3, 3));
        return image.pixelColor(at);
    }

    xbtest::ScriptedUi ui;
    Tfgrilleresult window;
};

TEST_F(ResultsGridWindowTest, SeasonBuiltPaintedAndExported) {
    window.resize(1000, 760);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.windowTitle(), GetLangText(Text::ResultsGridTitle));
    for (const WindowText& t : Tfgrilleresult::Texts())
        EXPECT_EQ(ShownWindowText(&window, t), WindowTextValue(t)) << t.objectName;
    EXPECT_EQ(child<QComboBox>("eannee")->currentText(), "2014 - 2015");
    // Opened, the grid shows nothing.
    EXPECT_EQ(grid().ColWidth(0), 0);
    EXPECT_EQ(grid().ColWidth(1), 0);

    // The championship from the pick list, by number.
    ModalDriverScope driver([&](QDialog& d) {
        auto* list = d.findChild<QTableView*>("DBGrid1");
        ASSERT_GE(list->model()->rowCount(), 1);
        const int shown = list->isColumnHidden(0) ? 1 : 0;
        const QPoint at = list->visualRect(list->model()->index(0, shown)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    });
    click("inumero");
    EXPECT_EQ(child<QLineEdit>("enumchamp")->text(), "1");
    EXPECT_EQ(child<QLineEdit>("enomchamp")->text(), "Top division");

    click("bappelle");
    const GridRows want = ResultsGridCells(ComputeResultsGrid(1, 2014));
    ASSERT_EQ(want.size(), 21u);
    EXPECT_EQ(window.GridCells(), want);
    int scores = 0;
    for (int r = 1; r <= 20; ++r)
        for (int c = 1; c <= 20; ++c) scores += !grid().Cells(c, r).isEmpty();
    EXPECT_EQ(scores, 380);
    EXPECT_GT(grid().ColWidth(0), 0);
    EXPECT_EQ(grid().Cells(0, 1), "AS Monaco");
    QApplication::processEvents();
    screenshot(window, "results_grid.png");

    // The painting: black diagonal, rows white and #E1FFF4, titles #FFCC99.
    const QImage image = grid().grab().toImage();
    for (int r = 0; r <= 6; ++r)
        for (int c = 0; c <= 6; ++c) {
            const QColor expected = r == 0 || c == 0 ? QColor(0xFF, 0xCC, 0x99)
                                    : r == c         ? QColor(Qt::black)
                                    : r % 2          ? QColor(Qt::white)
                                                     : QColor(0xE1, 0xFF, 0xF4);
            EXPECT_EQ(paintedAt(image, c, r), expected) << "cell " << c << "," << r;
        }

    // The season buttons choose a season and build nothing; a busy window ignores the show button; a
    // season that is not a number leaves the grid.
    click("banneesui");
    EXPECT_EQ(child<QComboBox>("eannee")->currentText(), "2015 - 2016");
    EXPECT_EQ(CurrentSeasonYear, 2015);
    EXPECT_EQ(window.GridCells(), want);
    window.selection().busy = true;
    click("bappelle");
    EXPECT_EQ(window.GridCells(), want);
    window.FormActivate();
    child<QComboBox>("eannee")->setEditText("next");
    click("bappelle");
    EXPECT_EQ(window.GridCells(), want);
    // A season without teams: an empty grid.
    click("banneeprec");
    click("banneeprec");
    EXPECT_EQ(child<QComboBox>("eannee")->currentText(), "2013 - 2014");
    click("bappelle");
    EXPECT_EQ(grid().ColWidth(0), 0);
    click("banneesui");
    click("bappelle");
    ASSERT_EQ(window.GridCells(), want);

    // The page: 21 rows of 21 cells, names down the titles, as the reader and Chromium see it.
    const std::string page = tmp.file("grid.htm");
    ModalDriverScope chooser([&](QDialog& dialog) {
        auto* files = qobject_cast<Tfgestfic*>(&dialog);
        ASSERT_NE(files, nullptr);
        files->setDirectory(QString::fromStdString(tmp.path()));
        auto* edit = files->findChild<QLineEdit*>(QStringLiteral("Edit1"));
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("grid.htm"));
        QTest::mouseClick(files->findChild<QPushButton*>(QStringLiteral("boutok")), Qt::LeftButton);
    });
    click("bhtm");
    const xbtest::HtmlDocument doc = xbtest::ReadHtmlFile(page);
    ASSERT_EQ(doc.tables.size(), 1u);
    const auto& table = doc.tables[0];
    ASSERT_EQ(table.size(), 21u);
    for (size_t r = 0; r < 21; ++r) {
        ASSERT_EQ(table[r].size(), 21u) << r;
        for (size_t c = 1; c < 21 && r > 0; ++c) EXPECT_EQ(table[r][c], want[r][c].toStdString());
    }
    for (size_t c = 1; c < 21; ++c) {
        QString down = QString::fromStdString(table[0][c]);
        EXPECT_EQ(down.remove('\n'), want[c][0]) << c;
    }
    EXPECT_EQ(doc.title, GetLangText(Text::ResultsGridTitle).toStdString());
    if (!xbtest::RunCommand("command -v chromium").empty()) {
        const xbtest::HtmlDocument dom = xbtest::ReadHtmlDocument(xbtest::ChromiumDumpDom(page));
        ASSERT_EQ(dom.tables.size(), 1u);
        EXPECT_EQ(dom.tables[0], table);
        if (!qgetenv("LM_SCREENSHOT_DIR").isEmpty())
            xbtest::ChromiumScreenshot(
                page, qgetenv("LM_SCREENSHOT_DIR").toStdString() + "/results_grid_page.png", 1200, 1000);
    }
}

}  // namespace
