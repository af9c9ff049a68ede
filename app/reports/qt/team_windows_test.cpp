// One road through each of the team-matches, team-information and head-to-head windows on real tables,
// offscreen: chosen, shown, printed to PDF and exported as a page (read back, and in headless Chromium
// when it is installed). With LM_SCREENSHOT_DIR set, windows, PDFs and pages are saved there.
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPieSeries>
#include <QPieSlice>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStackedBarSeries>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <map>
#ifdef __SANITIZE_ADDRESS__
// The sanitizer runtime's count of the bytes allocated and not yet freed (g++ ships no header for it).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

#include "app/reports/qt/head_to_head_window.h"
#include "app/reports/qt/selection_panel.h"
#include "app/reports/qt/team_info_window.h"
#include "app/reports/qt/team_matches_window.h"
#include "app/reports/team_matches.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_lookups.h"
#include "app/data/league_test_support.h"
#include "app/data/league_writes.h"
#include "app/settings/param_file.h"
#include "app/shell/qt/export_file_chooser.h"
#include "app/shell/qt/modal_seam.h"
#include "app/shell/qt/pick_list.h"
#include "app/shell/qt/report_charts.h"
#include "app/shell/qt/report_grid.h"
#include "app/shell/qt/report_print.h"
#include "tests/support/html_table.h"
#include "tests/support/league_fill.h"
#include "tests/support/run_command.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/standings_model.h"

namespace {

using namespace app;

// Names with "&" and "<" for teams 1 and 2.
const char* const kTeam1 = "Nîmes & <Gard>";
const char* const kTeam2 = "Brest <& Iroise>";

std::vector<xbtest::SeasonTable> seasonWithNames(const xbtest::SeasonSize& size) {
    auto season = xbtest::MakeSeason(size);
    for (auto& t : season)
        if (t.file == "equipe.dbf") {
            t.rows[0][1] = kTeam1;
            t.rows[1][1] = kTeam2;
        }
    return season;
}

class TeamWindowsTest : public leaguetest::LeagueTest {
protected:
    TeamWindowsTest() {
        CurrentSeasonYear = 2026;
        Params.goalsForLabel.clear();
        Params.goalsAgainstLabel.clear();
        Params.openAfterExport = 0;
    }
    ~TeamWindowsTest() override { SetReportPrinterFactory({}); }
    void fill(const xbtest::SeasonSize& size = {}) {
        season = seasonWithNames(size);
        xbtest::FillLeagueTables(tmp.path(), season);
    }
    template <typename T>
    T* child(QWidget& w, const char* name) {
        T* c = w.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    void click(QWidget& w, const char* name) {
        QTest::mouseClick(child<QAbstractButton>(w, name), Qt::LeftButton);
    }
    // Reports print to that PDF file at that resolution.
    static void printTo(const std::string& pdf, int dpi) {
        SetReportPrinterFactory([pdf, dpi] {
            auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
            p->setOutputFormat(QPrinter::PdfFormat);
            p->setOutputFileName(QString::fromStdString(pdf));
            p->setResolution(dpi);
            p->setPageSize(QPageSize(QPageSize::A4));
            return p;
        });
    }
    // Prints to a PDF and answers its text; pages through *pages.
    std::string printed(QWidget& w, const std::string& name, int* pages = nullptr) {
        const std::string pdf = tmp.file(name);
        printTo(pdf, 300);
        click(w, "bimp");
        SetReportPrinterFactory({});
        keep(pdf, name);
        if (pages) {
            const std::string info = xbtest::RunCommand("pdfinfo " + xbtest::ShellQuote(pdf));
            const auto at = info.find("Pages:");
            *pages = at == std::string::npos ? 0 : std::stoi(info.substr(at + 6));
        }
        return xbtest::RunCommand("pdftotext -layout " + xbtest::ShellQuote(pdf) + " -");
    }
    // Exports the page; answers the document read back, checks every image is there and that Chromium
    // reads the same tables.
    xbtest::HtmlDocument exported(QWidget& w, const std::string& name) {
        const std::string file = tmp.file(name);
        ModalDriverScope chooser(choosing(name));
        click(w, "bhtm");
        const xbtest::HtmlDocument doc = xbtest::ReadHtmlFile(file);
        for (const std::string& src : doc.imageSources) {
            EXPECT_TRUE(std::filesystem::exists(tmp.path() + "/" + src)) << src;
            EXPECT_FALSE(QImage(QString::fromStdString(tmp.path() + "/" + src)).isNull()) << src;
        }
        if (!xbtest::RunCommand("command -v chromium").empty()) {
            const xbtest::HtmlDocument dom = xbtest::ReadHtmlDocument(xbtest::ChromiumDumpDom(file));
            EXPECT_EQ(dom.tables, doc.tables);
            EXPECT_EQ(dom.imageSources.size(), doc.imageSources.size());
            const QByteArray dir = qgetenv("LM_SCREENSHOT_DIR");
            if (!dir.isEmpty())
                xbtest::ChromiumScreenshot(file, dir.toStdString() + "/" + name + ".png", 1000, 1400);
        }
        keep(file, name);
        return doc;
    }
    // The export file chooser answering that file name in the test's folder.
    ModalDriver choosing(const std::string& name) {
        return [this, name](QDialog& dialog) {
            auto* files = qobject_cast<Tfgestfic*>(&dialog);
            ASSERT_NE(files, nullptr);
            files->setDirectory(QString::fromStdString(tmp.path()));
            auto* edit = files->findChild<QLineEdit*>(QStringLiteral("Edit1"));
            edit->clear();
            QTest::keyClicks(edit, QString::fromStdString(name));
            QTest::mouseClick(files->findChild<QPushButton*>(QStringLiteral("boutok")), Qt::LeftButton);
        };
    }
    void keep(const std::string& file, const std::string& name) {
        const QByteArray dir = qgetenv("LM_SCREENSHOT_DIR");
        if (dir.isEmpty()) return;
        QDir().mkpath(QString::fromLocal8Bit(dir));
        std::filesystem::copy_file(file, dir.toStdString() + "/" + name,
                                   std::filesystem::copy_options::overwrite_existing);
    }
    void screenshot(QWidget& w, const char* name) {
        const QByteArray dir = qgetenv("LM_SCREENSHOT_DIR");
        if (dir.isEmpty()) return;
        QDir().mkpath(QString::fromLocal8Bit(dir));
        QTest::qWait(100);  // the charts lay out at the next turn of the event loop
        w.grab().save(QString::fromLocal8Bit(dir) + "/" + name);
    }
    static QStringList row(const ReportGrid& g, int r) {
        QStringList out;
        for (int c = 0; c < g.ColCount(); ++c) out << g.Cells(c, r);
        return out;
    }
    static std::vector<double> sliceValues(const QPieSeries* s) {
        std::vector<double> out;
        for (const QPieSlice* slice : s->slices()) out.push_back(slice->value());
        if (PieShowsNoData(s)) out.pop_back();  // an empty pie's "no data" slice
        return out;
    }

    std::vector<xbtest::SeasonTable> season;
    xbtest::ScriptedUi ui;
};

// ---- team matches ----

TEST_F(TeamWindowsTest, TeamMatchesShownOpenedPrintedAndExported) {
    fill();
    Tfmatcheq window;
    window.resize(980, 660);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (const WindowText& t : Tfmatcheq::Texts())
        EXPECT_EQ(ShownWindowText(&window, t), WindowTextValue(t)) << t.objectName;
    auto* type = child<QComboBox>(window, "ctypematch");
    ASSERT_EQ(type->count(), 6);
    EXPECT_EQ(type->itemText(5), GetLangText(Text::Defeats));
    // Letters never reach the season box.
    QTest::keyClicks(child<QComboBox>(window, "eannee")->lineEdit(), "x");
    EXPECT_EQ(child<QComboBox>(window, "eannee")->currentText(), "2026 - 2027");

    window.selection().SetChampionship(1);
    auto* team = child<QComboBox>(window, "eequipe");
    ASSERT_EQ(team->count(), 20);
    ASSERT_TRUE(window.selection().SelectTeam(1));
    click(window, "baffiche");
    ReportGrid& g = *window.grid();
    const auto model = xbtest::ModelStandings(season, 1, 2026, 1, 38, 0, 0);
    const auto me = *std::find_if(model.begin(), model.end(), [](const auto& r) { return r.team == 1; });
    ASSERT_EQ(g.RowCount(), me.j + 1);
    EXPECT_EQ(child<QLabel>(window, "lresum")->text(),
              GetLangText(Text::TeamMatches) + ": " + QString::number(me.j) + "\n");
    EXPECT_EQ(sliceValues(window.Series2), (std::vector<double>{double(me.g), double(me.n), double(me.p)}));
    EXPECT_EQ(g.ColWidth(6), 0);
    EXPECT_EQ(g.ColWidth(7), 0);
    for (int r = 1; r < g.RowCount(); ++r) {
        EXPECT_EQ(g.Cells(0, r).toInt(), r);  // one match a matchday
        EXPECT_TRUE(g.Cells(6, r) == "1" || g.Cells(7, r) == "1");
        EXPECT_EQ(g.Cells(1, r), GetTeamName(g.Cells(6, r).toInt()));
    }
    screenshot(window, "team_matches.png");

    // A double click hands the match to the match entry, then the list is computed again.
    std::vector<int> handed;
    window.startMatchEntry = [&](int y, int c, int d, int h, int a, int mode) {
        handed = {y, c, d, h, a, mode};
        std::unique_ptr<xb::TXbDbf> res;
        EXPECT_TRUE(OpenTable(res, "resultat.dbf"));
        EXPECT_TRUE(SaveMatchResult(*res, MatchRow{c, y, d, h, a, 9, 0, "V1", 0, 0}));
        CloseTable(res);
        return true;
    };
    g.SetRow(3);
    const QStringList third = row(g, 3);
    window.grilleresultatDblClick();
    EXPECT_EQ(handed, (std::vector<int>{2026, 1, 3, third[6].toInt(), third[7].toInt(), 2}));
    EXPECT_EQ(g.Cells(2, 3), "9");
    EXPECT_EQ(g.Cells(3, 3), "0");

    // Type 3: the wins only; the margins.
    type->setCurrentIndex(kWonMatches);
    click(window, "baffiche");
    for (int r = 1; r < g.RowCount(); ++r) {
        const bool home = g.Cells(6, r) == "1";
        EXPECT_GT(g.Cells(home ? 2 : 3, r).toInt(), g.Cells(home ? 3 : 2, r).toInt()) << r;
    }
    EXPECT_TRUE(child<QLabel>(window, "epgdvict")->text().contains(GetLangText(Text::Against)));

    // The page: the grid's first five columns, the two boxes, both charts.
    type->setCurrentIndex(kAllMatches);
    click(window, "baffiche");
    const xbtest::HtmlDocument doc = exported(window, "team_matches.htm");
    ASSERT_GE(doc.tables.size(), 3u);
    ASSERT_EQ(doc.tables[0].size(), static_cast<size_t>(g.RowCount()));
    for (int r = 1; r < g.RowCount(); ++r) {
        std::vector<std::string> want;
        for (int c = 0; c < 5; ++c) want.push_back(g.Cells(c, r).trimmed().toStdString());
        EXPECT_EQ(doc.tables[0][static_cast<size_t>(r)], want);
    }
    EXPECT_EQ(doc.tables[1][1][0], child<QLabel>(window, "epgdvict")->text().trimmed().toStdString());
    EXPECT_EQ(doc.imageSources, (std::vector<std::string>{"team_matchesg1.jpg", "team_matchesg2.jpg"}));
    EXPECT_NE(std::string(doc.title).find(GetLangText(Text::MatchesTeams).toStdString()), std::string::npos);
}

TEST_F(TeamWindowsTest, TeamMatchesOfAFortyTeamSeasonPrintOverPagesEachRowOnce) {
    fill({40, 2, 78});
    Tfmatcheq window;
    window.resize(980, 660);
    window.show();
    window.selection().SetChampionship(1);
    ASSERT_TRUE(window.selection().SelectTeam(1));
    click(window, "baffiche");
    ASSERT_EQ(window.grid()->RowCount(), 79);
    int pages = 0;
    const std::string text = printed(window, "team_matches_40.pdf", &pages);
    EXPECT_GE(pages, 2);
    // The team's name: once a row, and on every page in the heading that says what the page shows.
    size_t count = 0;
    for (size_t at = text.find(kTeam1); at != std::string::npos; at = text.find(kTeam1, at + 1)) ++count;
    EXPECT_EQ(count, 78u + static_cast<size_t>(pages));
}

}  // namespace

// ---- team information ----

namespace {

TEST_F(TeamWindowsTest, TeamInformationShownPrintedOnTwoPagesAndExported) {
    fill();
    // Team 1 has not played matchdays 37 and 38 yet.
    for (auto& t : season)
        if (t.file == "resultat.dbf") {
            std::vector<std::vector<std::string>> kept;
            for (auto& r : t.rows)
                if (!((r[2] == "37" || r[2] == "38") && (r[3] == "1" || r[4] == "1"))) kept.push_back(r);
            t.rows = kept;
        }
    std::filesystem::remove_all(tmp.path());
    std::filesystem::create_directories(tmp.path());
    xbtest::FillLeagueTables(tmp.path(), season);
    Params.goalsForLabel = "Marqués";
    Tfinfoequipe window;
    window.resize(980, 760);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.FormActivate();
    for (const WindowText& t : Tfinfoequipe::Texts())
        EXPECT_EQ(ShownWindowText(&window, t), WindowTextValue(t)) << t.objectName;
    window.selection().SetChampionship(1);
    ASSERT_TRUE(window.selection().SelectTeam(1));
    click(window, "baffiche");

    // The line: x 0 then every matchday, the rank of the model's standings, lime after the last played.
    const auto points = window.Series1->points();
    ASSERT_EQ(points.size(), 39);
    for (int d = 1; d <= 38; ++d) {
        const auto rows = xbtest::ModelStandings(season, 1, 2026, 1, d, 0, 0);
        const int rank = static_cast<int>(
            std::find_if(rows.begin(), rows.end(), [](const auto& r) { return r.team == 1; }) - rows.begin() +
            1);
        EXPECT_EQ(points[d], QPointF(d, rank)) << d;
        const QColor colour =
            window.Series1->pointConfiguration(d).value(QXYSeries::PointConfiguration::Color).value<QColor>();
        EXPECT_EQ(colour, d <= 36 ? QColor(0, 0, 255) : QColor(0, 255, 0)) << d;
    }
    // The pies: the side rows of the model; the goals labelled with the parameter's label.
    for (int side = 0; side <= 2; ++side) {
        const auto rows = xbtest::ModelStandings(season, 1, 2026, 1, 38, side, 0);
        const auto me = *std::find_if(rows.begin(), rows.end(), [](const auto& r) { return r.team == 1; });
        QPieSeries* goals[] = {window.Series2, window.PieSeries4, window.PieSeries7};
        QPieSeries* results[] = {window.Series3, window.PieSeries3, window.PieSeries6};
        EXPECT_EQ(sliceValues(goals[side]), (std::vector<double>{double(me.bp), double(me.bc)}));
        EXPECT_EQ(sliceValues(results[side]),
                  (std::vector<double>{double(me.g), double(me.p), double(me.n)}));
        EXPECT_TRUE(goals[side]->slices()[0]->label().startsWith("Marqués"));
    }
    EXPECT_TRUE(window.PieSeries1->slices().isEmpty());
    // The scorers: the team's goals at home and away, own goals out.
    const auto& but = xbtest::TableOf(season, "but.dbf");
    std::map<int, int> want;
    for (const auto& r : but.rows) {
        const int ben = xbtest::Num(but, r, "nueqben");
        if (xbtest::Num(but, r, "type") != 2 && xbtest::Num(but, r, ben == 1 ? "nueq1" : "nueq2") == 1)
            want[xbtest::Num(but, r, "nujoueur")] += 1;
    }
    ReportGrid& g = *window.scorerGrid();
    std::map<int, int> got;
    for (int r = 1; r < g.RowCount(); ++r) got[g.Cells(0, r).toInt()] = g.Cells(2, r).toInt();
    EXPECT_EQ(got, want);
    child<QTabWidget>(window, "PageControl1")->setCurrentIndex(0);
    screenshot(window, "team_info.png");
    child<QTabWidget>(window, "PageControl1")->setCurrentIndex(3);
    screenshot(window, "team_info_scorers.png");

    int pages = 0;
    const std::string text = printed(window, "team_info.pdf", &pages);
    EXPECT_EQ(pages, 2);  // pies large enough to read: the home and away ones on the second page
    EXPECT_NE(text.find(GetLangText(Text::Away).toStdString()), std::string::npos);

    const xbtest::HtmlDocument doc = exported(window, "team_info.htm");
    EXPECT_EQ(doc.imageSources.size(), 7u);
    ASSERT_FALSE(doc.tables.empty());
    const auto& scorers = doc.tables.back();
    ASSERT_EQ(scorers.size(), static_cast<size_t>(g.RowCount()));
    for (int r = 1; r < g.RowCount(); ++r)
        EXPECT_EQ(scorers[static_cast<size_t>(r)],
                  (std::vector<std::string>{g.Cells(1, r).toStdString(), g.Cells(2, r).toStdString()}));
    Params.goalsForLabel.clear();
}

// The memory the process holds: what the allocator has handed out under AddressSanitizer (whose
// quarantine keeps freed blocks resident for a while), else the resident size once the allocator has
// given its free pages back.
long long HeldMemory() {
    // What was left to the event loop to delete goes first.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
#ifdef __SANITIZE_ADDRESS__
    return static_cast<long long>(__sanitizer_get_current_allocated_bytes());
#else
    malloc_trim(0);
    std::ifstream statm("/proc/self/statm");
    long long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
#endif
}

TEST_F(TeamWindowsTest, TeamInformationPrintedAndExportedAHundredTimesHoldsNoMoreMemory) {
    fill();
    Tfinfoequipe window;
    window.resize(980, 760);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.selection().SetChampionship(1);
    ASSERT_TRUE(window.selection().SelectTeam(1));
    click(window, "baffiche");

    const std::string pdf = tmp.file("again.pdf"), page = tmp.file("again.htm");
    printTo(pdf, 150);
    ModalDriverScope chooser(choosing("again.htm"));
    const auto printAndExport = [&] {
        std::filesystem::remove(pdf);
        std::filesystem::remove(page);
        click(window, "bimp");
        click(window, "bhtm");
        // Both written, and no message box.
        ASSERT_GT(std::filesystem::file_size(pdf), 0u);
        ASSERT_GT(std::filesystem::file_size(page), 0u);
        ASSERT_TRUE(ui.messages.empty()) << ui.messages.front().text;
    };
    // The first runs fill what is made once and kept (fonts, glyphs, the PDF and JPEG writers).
    for (int i = 0; i < 5; ++i) ASSERT_NO_FATAL_FAILURE(printAndExport());
    const long long before = HeldMemory();
    for (int i = 0; i < 100; ++i) ASSERT_NO_FATAL_FAILURE(printAndExport());
    const long long grown = HeldMemory() - before;
    EXPECT_LT(grown, 400 * 1024) << "held " << before << " bytes, then " << grown << " more";
    SetReportPrinterFactory({});
}

}  // namespace

// ---- head-to-head ----

namespace {

// The season and 48 meetings of teams 1 and 2 before it, both ways, in two championships (the one of
// a higher number earlier in the season), with every result code.
void addMeetings(std::vector<xbtest::SeasonTable>& season) {
    auto& res = const_cast<xbtest::SeasonTable&>(xbtest::TableOf(season, "resultat.dbf"));
    static const char* kCodes[] = {"V1", "V2", "N ", "F1", "F2", "AU", "N"};
    int i = 0;
    for (int year = 2002; year <= 2025; ++year)
        for (int way = 0; way < 2; ++way, ++i) {
            const int champ = way == 0 ? 2 : 1, day = way == 0 ? 3 : 17;
            const int home = way == 0 ? 1 : 2, away = way == 0 ? 2 : 1;
            res.rows.push_back({std::to_string(champ), std::to_string(year), std::to_string(day),
                                std::to_string(home), std::to_string(away), std::to_string(i % 5),
                                std::to_string(i % 3), kCodes[i % 7], "0", "0"});
        }
}

// Picks the team of that name in the pick list the next modal shows.
void pickInList(QDialog& d, const QString& name) {
    auto* grid = d.findChild<QTableView*>(QStringLiteral("DBGrid1"));
    ASSERT_NE(grid, nullptr);
    for (int r = 0; r < grid->model()->rowCount(); ++r) {
        const QModelIndex i = grid->model()->index(r, 1);
        if (i.data().toString().trimmed() != name) continue;
        grid->scrollTo(i);
        const QPoint at = grid->visualRect(i).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
        return;
    }
    ADD_FAILURE() << "not listed: " << name.toStdString();
}

TEST_F(TeamWindowsTest, HeadToHeadPickedShownAndKeptOnActivationPrintedOverPagesAndExported) {
    season = seasonWithNames({});
    addMeetings(season);
    xbtest::FillLeagueTables(tmp.path(), season);
    Tffaceaface window;
    window.resize(1180, 700);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.FormActivate();
    for (const WindowText& t : Tffaceaface::Texts())
        EXPECT_EQ(ShownWindowText(&window, t), WindowTextValue(t)) << t.objectName;
    EXPECT_EQ(child<QLabel>(window, "lequipe2")->text(), GetLangText(Text::Team) + " 2");

    // Shown before any team is chosen: no meetings, charts without names, and the window keeps its size.
    const QSize before = window.size();
    click(window, "bafficher");
    QTest::qWait(50);
    EXPECT_EQ(window.size(), before);

    // The teams come from the pick list; the edits show the names only.
    for (int side : {1, 2}) {
        ModalDriverScope driver([&](QDialog& d) { pickInList(d, side == 1 ? kTeam1 : kTeam2); });
        click(window, side == 1 ? "iequipe1" : "iequipe2");
        EXPECT_EQ(window.Team(side), side);
        EXPECT_EQ(child<QLineEdit>(window, side == 1 ? "enomequipe1" : "enomequipe2")->text(),
                  side == 1 ? kTeam1 : kTeam2);
    }
    // Quitting the pick list keeps the team.
    {
        ModalDriverScope driver([](QDialog& d) { d.reject(); });
        click(window, "iequipe2");
        EXPECT_EQ(window.Team(2), 2);
    }

    // The model: every meeting both ways, from team 1's side.
    const auto& res = xbtest::TableOf(season, "resultat.dbf");
    auto model = [&](bool both) {
        std::vector<std::tuple<int, int, int, int, int, int, int>> rows;
        int w1 = 0, w2 = 0, d = 0, g1 = 0, g2 = 0;
        for (const auto& r : res.rows) {
            const int h = xbtest::Num(res, r, "nueq1"), a = xbtest::Num(res, r, "nueq2");
            const bool first = h == 1 && a == 2, second = both && h == 2 && a == 1;
            if (!first && !second) continue;
            const int bh = xbtest::Num(res, r, "beq1"), ba = xbtest::Num(res, r, "beq2");
            rows.emplace_back(xbtest::Num(res, r, "annee"), xbtest::Num(res, r, "nuchamp"),
                              xbtest::Num(res, r, "nujournee"), h, a, bh, ba);
            const std::string code = xbtest::Str(res, r, "coder");
            int o = code == "V1" || code == "F1"   ? 1
                    : code == "V2" || code == "F2" ? -1
                    : code == "AU"                 ? (bh > ba) - (bh < ba)
                                                   : 0;
            if (!first) o = -o;
            w1 += o == 1, w2 += o == -1, d += o == 0;
            g1 += first ? bh : ba, g2 += first ? ba : bh;
        }
        std::sort(rows.begin(), rows.end());
        return std::make_pair(rows,
                              std::vector<double>{double(w1), double(d), double(w2), double(g1), double(g2)});
    };
    ReportGrid& g = *window.grid();
    auto check = [&](bool both) {
        const auto [rows, counts] = model(both);
        ASSERT_EQ(g.RowCount(), static_cast<int>(rows.size()) + 1);
        for (size_t i = 0; i < rows.size(); ++i) {
            const auto [y, c, d, h, a, bh, ba] = rows[i];
            const int r = static_cast<int>(i) + 1;
            EXPECT_EQ(row(g, r),
                      (QStringList{QString("%1:%2").arg(y).arg(y + 1), GetChampionshipName(c),
                                   QString::number(d), h == 1 ? kTeam1 : kTeam2, QString::number(bh),
                                   QString::number(ba), h == 1 ? kTeam2 : kTeam1}))
                << r;
        }
        std::vector<double> shown = sliceValues(window.Series3);
        for (const QBarSet* set : window.Series1->barSets())
            for (int b = 0; b < set->count(); ++b)
                if (set->at(b) != 0) shown.push_back(set->at(b));
        EXPECT_EQ(shown, counts);
        EXPECT_TRUE(window.Series3->slices()[0]->label().startsWith(QString(kTeam1).toHtmlEscaped()));
    };
    click(window, "bafficher");
    ASSERT_EQ(g.RowCount(), 51);
    check(true);
    screenshot(window, "head_to_head.png");
    // Coming back to the window keeps the list and its charts.
    window.FormActivate();
    check(true);

    // Team 1 at home only.
    child<QRadioButton>(window, "bmemeconfig")->setChecked(true);
    click(window, "bafficher");
    EXPECT_LT(g.RowCount(), 51);
    EXPECT_GE(g.RowCount(), 25);
    check(false);
    child<QRadioButton>(window, "bttesrenc")->setChecked(true);
    click(window, "bafficher");

    // Printed over pages: each row once, in the grid's order.
    int pages = 0;
    const QString text = QString::fromStdString(printed(window, "head_to_head.pdf", &pages));
    EXPECT_GE(pages, 2);
    QStringList seasons;
    const QRegularExpression rowStart(QStringLiteral("^\\s*(\\d{4}:\\d{4})\\s"),
                                      QRegularExpression::MultilineOption);
    for (auto it = rowStart.globalMatch(text); it.hasNext();) seasons << it.next().captured(1);
    QStringList want;
    for (int r = 1; r < g.RowCount(); ++r) want << g.Cells(0, r);
    EXPECT_EQ(seasons, want);
    EXPECT_TRUE(text.contains(GetLangText(Text::AllHeadToHead)));

    // The page: the grid's rows, both images.
    const xbtest::HtmlDocument doc = exported(window, "head_to_head.htm");
    ASSERT_FALSE(doc.tables.empty());
    ASSERT_EQ(doc.tables[0].size(), static_cast<size_t>(g.RowCount()));
    for (int r = 1; r < g.RowCount(); ++r) {
        std::vector<std::string> cells;
        for (int c = 0; c < g.ColCount(); ++c) cells.push_back(g.Cells(c, r).trimmed().toStdString());
        EXPECT_EQ(doc.tables[0][static_cast<size_t>(r)], cells) << r;
    }
    EXPECT_EQ(doc.imageSources, (std::vector<std::string>{"head_to_headg1.jpg", "head_to_headg2.jpg"}));
}

}  // namespace
