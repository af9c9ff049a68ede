// One road through the standings window on real tables, offscreen: a championship picked from the pick
// list, the standings shown, two tied rows swapped by hand, then the printout (PDF) and the page (read
// back and in headless Chromium) showing the grid as it stands; hide-draws on screen, paper and page; the
// scorers list printed over several pages. With LM_SCREENSHOT_DIR set, the window is saved as a PNG.
#include "app/reports/qt/standings_window.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <sstream>

#include "app/shell/qt/modal_seam.h"
#include "app/shell/qt/report_print.h"
#include "app/reports/qt/selection_panel.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_test_support.h"
#include "app/settings/param_file.h"
#include "app/shell/qt/export_file_chooser.h"
#include "app/shell/qt/modal_seam.h"
#include "app/shell/qt/report_grid.h"
#include "app/shell/qt/report_print.h"
#include "tests/support/html_table.h"
#include "tests/support/league_fill.h"
#include "tests/support/run_command.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/standings_model.h"

namespace {

using namespace app;

class StandingsWindowTest : public leaguetest::LeagueTest {
protected:
    StandingsWindowTest() : season(xbtest::MakeSeason()) {
        xbtest::FillLeagueTables(tmp.path(), season);
        CurrentSeasonYear = 2026;
        HideDrawsFlag = 0;
        Params.goalsForLabel.clear();
        Params.openAfterExport = 0;
    }
    ~StandingsWindowTest() override {
        HideDrawsFlag = 0;
        Params.goalsForLabel.clear();
        SetReportPrinterFactory({});
    }
    template <typename T>
    T* child(const char* name) {
        T* c = window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    void click(const char* name) { QTest::mouseClick(child<QAbstractButton>(name), Qt::LeftButton); }
    ReportGrid& grid() { return *window.grid(); }
    QStringList row(int r) {
        QStringList out;
        for (int c = 0; c < grid().ColCount(); ++c) out << grid().Cells(c, r);
        return out;
    }
    // Prints to a PDF and answers its text, one line per printed line.
    std::string printed(const std::string& name, int* pages = nullptr) {
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
        if (pages) {
            const std::string info = xbtest::RunCommand("pdfinfo " + xbtest::ShellQuote(pdf));
            const auto at = info.find("Pages:");
            *pages = at == std::string::npos ? 0 : std::stoi(info.substr(at + 6));
        }
        return xbtest::RunCommand("pdftotext -layout " + xbtest::ShellQuote(pdf) + " -");
    }
    // Exports the page and answers its first table (header row first).
    std::vector<std::vector<std::string>> exported(const std::string& name, std::string* path = nullptr) {
        const std::string file = tmp.file(name);
        ModalDriverScope chooser([&](QDialog& dialog) {
            auto* files = qobject_cast<Tfgestfic*>(&dialog);
            ASSERT_NE(files, nullptr);
            files->setDirectory(QString::fromStdString(tmp.path()));
            auto* edit = files->findChild<QLineEdit*>(QStringLiteral("Edit1"));
            edit->clear();
            QTest::keyClicks(edit, QString::fromStdString(name));
            QTest::mouseClick(files->findChild<QPushButton*>(QStringLiteral("boutok")), Qt::LeftButton);
        });
        click("bhtm");
        if (path) *path = file;
        const xbtest::HtmlDocument doc = xbtest::ReadHtmlFile(file);
        return doc.tables.empty() ? std::vector<std::vector<std::string>>{} : doc.tables[0];
    }
    // The grid's data rows as the page shows them: position, name, then the shown counters.
    std::vector<std::vector<std::string>> gridAsPage(bool hideDraws) {
        std::vector<std::vector<std::string>> out;
        for (int r = 1; r < grid().RowCount(); ++r) {
            std::vector<std::string> cells;
            for (int c = 1; c < grid().ColCount(); ++c)
                if (!(hideDraws && c == 6) && (grid().ColCount() > 6 || c <= 3))
                    cells.push_back(grid().Cells(c, r).trimmed().toStdString());
            out.push_back(cells);
        }
        return out;
    }
    // Championship, season, matchday range, then type and order: each on a line of its own between the
    // title and the column titles of a printout.
    void expectSaysWhatItShows(const std::string& text, const std::string& columnTitle) {
        const std::string head = text.substr(0, text.find(columnTitle));
        const std::string lines[] = {
            (GetLangText(Text::Championship) + ": " + window.selection().championshipName()).toStdString(),
            (GetLangText(Text::Year) + ": " + child<QComboBox>("eannee")->currentText()).toStdString(),
            (GetLangText(Text::Matchday) + ": 1" + GetLangText(Text::RangeTo) + "38").toStdString(),
            (GetLangText(Text::MatchType) + ": " + child<QComboBox>("ctypecla1")->currentText().trimmed() + " " +
             child<QComboBox>("ctypecla2")->currentText().trimmed())
                .toStdString()};
        size_t at = head.find(GetLangText(Text::StandingsTitle).toStdString());
        ASSERT_NE(at, std::string::npos);
        for (const std::string& line : lines) {
            at = head.find(line, at);
            EXPECT_NE(at, std::string::npos) << line << " in\n" << head;
            if (at == std::string::npos) return;
        }
    }
    void screenshot(const char* name) {
        const QByteArray dir = qgetenv("LM_SCREENSHOT_DIR");
        if (dir.isEmpty()) return;
        QDir().mkpath(QString::fromLocal8Bit(dir));
        window.grab().save(QString::fromLocal8Bit(dir) + "/" + name);
    }

    std::vector<xbtest::SeasonTable> season;
    xbtest::ScriptedUi ui;
    Tfclassement window;
};

TEST_F(StandingsWindowTest, StandingsPickedShownSwappedPrintedAndExported) {
    window.resize(760, 640);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.windowTitle(), GetLangText(Text::StandingsTitle));
    for (const WindowText& t : Tfclassement::Texts())
        EXPECT_EQ(ShownWindowText(&window, t), WindowTextValue(t)) << t.objectName;
    for (const char* hidden : {"enumchamp", "bchamppre", "bchampsui", "banneeprec", "banneesui", "inumero"})
        EXPECT_FALSE(child<QWidget>(hidden)->isVisible()) << hidden;
    EXPECT_EQ(child<QComboBox>("ctypecla2")->count(), 7);
    EXPECT_EQ(child<QComboBox>("eannee")->currentText(), "2026 - 2027");

    // The championship from the pick list, by name.
    ModalDriverScope driver([&](QDialog& d) {
        auto* search = d.findChild<QLineEdit*>("erecherche");
        QTest::keyClicks(search, "Ligue");
        QTest::keyClick(search, Qt::Key_Return);
        auto* list = d.findChild<QTableView*>("DBGrid1");
        ASSERT_GE(list->model()->rowCount(), 1);
        const QPoint at = list->visualRect(list->model()->index(0, 1)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    });
    click("inom");
    EXPECT_EQ(child<QLineEdit>("enumchamp")->text(), "1");
    // The name whole, and wide enough to read so.
    auto* name = child<QLineEdit>("enomchamp");
    EXPECT_EQ(name->text(), QString("Ligue des Régions - élite"));
    EXPECT_GE(name->width(), name->fontMetrics().horizontalAdvance(name->text()));
    EXPECT_EQ(child<QComboBox>("ejournee1")->currentText(), "1");
    EXPECT_EQ(child<QComboBox>("ejournee2")->currentText(), "38");
    // Letters never reach the matchday boxes.
    QTest::keyClicks(child<QComboBox>("ejournee2")->lineEdit(), "x");
    EXPECT_EQ(child<QComboBox>("ejournee2")->currentText(), "38");

    click("bappelleclassement");
    const auto model = xbtest::ModelStandings(season, 1, 2026, 1, 38, 0, 0);
    ASSERT_EQ(grid().RowCount(), static_cast<int>(model.size()) + 1);
    for (size_t i = 0; i < model.size(); ++i) {
        const QStringList r = row(static_cast<int>(i) + 1);
        EXPECT_EQ(r[0].toInt(), model[i].team);
        EXPECT_EQ(r[1].toInt(), static_cast<int>(i) + 1);
        EXPECT_EQ(r[2], model[i].name);
        EXPECT_EQ(r[3].toInt(), model[i].pt);
        EXPECT_EQ(r[10].toInt(), model[i].bp - model[i].bc);
    }
    screenshot("standings.png");
    // Twenty teams read without scrolling, each name whole in its column.
    EXPECT_GE(grid().viewport()->height(), 20 * grid().rowHeight(0));
    for (int r = 1; r < grid().RowCount(); ++r)
        EXPECT_LE(grid().fontMetrics().horizontalAdvance(grid().Cells(2, r)) + 2, grid().columnWidth(2)) << r;

    // A double click swaps a row with the next one, positions staying; never the last row.
    const QStringList third = row(3), fourth = row(4);
    grid().SetRow(3);
    window.grilleclassementDblClick();
    EXPECT_EQ(row(3).mid(2), fourth.mid(2));
    EXPECT_EQ(row(4).mid(2), third.mid(2));
    EXPECT_EQ(row(3)[1], "3");
    const QStringList lastBefore = row(grid().RowCount() - 1);
    grid().SetRow(grid().RowCount() - 1);
    window.grilleclassementDblClick();
    EXPECT_EQ(row(grid().RowCount() - 1), lastBefore);

    // Paper and page show the grid as it stands, under what it shows.
    const std::string text = printed("standings.pdf");
    expectSaysWhatItShows(text, "POS");
    const auto a = text.find(fourth[2].toStdString()), b = text.find(third[2].toStdString());
    ASSERT_NE(a, std::string::npos);
    ASSERT_NE(b, std::string::npos);
    EXPECT_LT(a, b);
    std::string page;
    auto table = exported("standings.htm", &page);
    ASSERT_FALSE(table.empty());
    EXPECT_EQ(table[0],
              (std::vector<std::string>{"POS", "Equipes", "PTS", "J", "G", "N", "P", "BP", "BC", "DIFF"}));
    EXPECT_EQ(std::vector<std::vector<std::string>>(table.begin() + 1, table.end()), gridAsPage(false));
    if (!xbtest::RunCommand("command -v chromium").empty()) {
        const xbtest::HtmlDocument dom = xbtest::ReadHtmlDocument(xbtest::ChromiumDumpDom(page));
        ASSERT_FALSE(dom.tables.empty());
        EXPECT_EQ(dom.tables[0], table);
        if (!qgetenv("LM_SCREENSHOT_DIR").isEmpty())
            xbtest::ChromiumScreenshot(
                page, qgetenv("LM_SCREENSHOT_DIR").toStdString() + "/standings_page.png", 900, 900);
    }

    // Hide-draws and a goals-for label: the draws column goes from screen, paper and page.
    HideDrawsFlag = 1;
    Params.goalsForLabel = "Bm";
    click("bappelleclassement");
    EXPECT_EQ(grid().ColWidth(6), 0);
    EXPECT_EQ(grid().Cells(8, 0), "Bm");
    const std::string hidden = printed("nodraws.pdf");
    std::istringstream lines(hidden);
    std::string titles;
    while (std::getline(lines, titles) && titles.find("POS") == std::string::npos) {
    }
    std::istringstream words(titles);
    std::vector<std::string> titleWords{std::istream_iterator<std::string>(words), {}};
    EXPECT_EQ(titleWords,
              (std::vector<std::string>{"POS", "Equipes", "PTS", "J", "G", "P", "Bm", "BC", "DIFF"}));
    table = exported("nodraws.htm");
    ASSERT_FALSE(table.empty());
    EXPECT_EQ(table[0],
              (std::vector<std::string>{"POS", "Equipes", "PTS", "J", "G", "P", "Bm", "BC", "DIFF"}));
    EXPECT_EQ(std::vector<std::vector<std::string>>(table.begin() + 1, table.end()), gridAsPage(true));

    // The scorers: four columns, a list longer than a page, printed whole over several pages.
    child<QComboBox>("ctypecla2")->setCurrentIndex(kOrderScorers);
    click("bappelleclassement");
    EXPECT_EQ(grid().ColCount(), kScorersColumns);
    ASSERT_GT(grid().RowCount(), 61);
    int pages = 0;
    const std::string scorers = printed("scorers.pdf", &pages);
    EXPECT_GE(pages, 2);
    expectSaysWhatItShows(scorers, "Buteurs");
    for (int r = 1; r < grid().RowCount(); ++r)
        EXPECT_NE(scorers.find(grid().Cells(1, r).toStdString()), std::string::npos) << r;
    screenshot("scorers.png");
    table = exported("scorers.htm");
    ASSERT_EQ(table.size(), static_cast<size_t>(grid().RowCount()));
    EXPECT_EQ(table[0], (std::vector<std::string>{"Buteurs", "Equipe", "Buts"}));
    EXPECT_EQ(std::vector<std::vector<std::string>>(table.begin() + 1, table.end()), gridAsPage(false));

    // Closed and opened again: the controls are back at the standings' order, and the grid under its
    // titles is empty until Show computes it, never the scorers of before.
    window.close();
    window.show();
    EXPECT_EQ(child<QComboBox>("ctypecla2")->currentIndex(), 0);
    EXPECT_EQ(grid().ColCount(), kStandingsColumns);
    EXPECT_EQ(grid().RowCount(), 2);
    for (int c = 0; c < grid().ColCount(); ++c) EXPECT_TRUE(grid().Cells(c, 1).isEmpty()) << c;
    click("bappelleclassement");
    EXPECT_GT(grid().RowCount(), 2);
}

TEST_F(StandingsWindowTest, NonNumericChoicesKeepTheGridAndABusyWindowIgnoresRequests) {
    window.show();
    window.selection().SetChampionship(1);
    click("bappelleclassement");
    const int rows = grid().RowCount();
    ASSERT_GT(rows, 2);
    const QStringList first = row(1);
    child<QComboBox>("ejournee1")->setEditText("");
    click("bappelleclassement");
    EXPECT_EQ(row(1), first);
    child<QComboBox>("ejournee1")->setCurrentIndex(0);
    window.selection().busy = true;
    child<QComboBox>("ctypecla2")->setCurrentIndex(kOrderScorers);
    click("bappelleclassement");
    EXPECT_EQ(grid().ColCount(), kStandingsColumns);
    window.FormActivate();
    EXPECT_FALSE(window.selection().busy);
}

}  // namespace
