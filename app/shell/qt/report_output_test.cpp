// A small report made here (a grid, a pie and a bar chart) printed to PDF and exported as a page with
// its images, then read back: by Python's HTML parser, headless Chromium, poppler and the JPEG decoder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QImageReader>
#include <QLineEdit>
#include <QLineSeries>
#include <QPieSeries>
#include <QPrinter>
#include <QPushButton>
#include <QStackedBarSeries>
#include <QTest>
#include <QVBoxLayout>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

#include "app/pages/html_page.h"
#include "app/shell/qt/report_charts.h"
#include "app/shell/qt/report_export.h"
#include "app/shell/qt/report_print.h"
#include "app/pages/report_files.h"
#include "app/settings/param_file.h"
#include "app/shell/qt/export_file_chooser.h"
#include "app/shell/qt/modal_seam.h"
#include "app/shell/qt/report_grid.h"
#include "tests/support/fixtures.h"
#include "tests/support/html_table.h"
#include "tests/support/recording_shell.h"
#include "tests/support/run_command.h"
#include "tests/support/scripted_ui.h"

namespace app {
namespace {

const QStringList kNames = {"A & B <C>", "<script>x</script>", "Šibenik–Đakovo", "Ångström"};

// The report: a window with a grid of names and goals, a results pie and a goals bar chart.
struct SmallReport {
    QWidget window;
    ReportGrid* grid = new ReportGrid;
    QChartView* pieView = new QChartView;
    QChartView* barView = new QChartView;
    QPieSeries* pie = new QPieSeries;
    QStackedBarSeries* bars = new QStackedBarSeries;

    explicit SmallReport(int rows = int(kNames.size())) {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(grid);
        auto* charts = new QHBoxLayout;
        charts->addWidget(pieView);
        charts->addWidget(barView);
        layout->addLayout(charts, 1);
        window.resize(800, 600);
        pieView->setObjectName("Chartmatch");
        barView->setObjectName("chartbut");
        pie->setObjectName("Series3");
        bars->setObjectName("Series1");
        pieView->chart()->addSeries(pie);
        PrepareReportChart(pieView);
        PrepareReportChart(barView);
        grid->SetColCount(3);
        grid->SetRowCount(rows + 1);
        grid->SetCells(0, 0, "Equipe");
        grid->SetCells(1, 0, "Buts");
        grid->SetCells(2, 0, "Jou");
        for (int r = 1; r <= rows; ++r) {
            grid->SetCells(0, r, r <= kNames.size() ? kNames[r - 1] : QStringLiteral("Team%1x").arg(r));
            grid->SetCells(1, r, QString::number(r % 7));
            grid->SetCells(2, r, QString::number(r));
        }
        setValues(5, 3);
    }
    void setValues(double blue, double red) {
        SetPieSlices(pie, {{"V dom", blue, QColor(0, 0, 255)}, {"V ext", red, QColor(255, 0, 0)}});
        SetBars(barView->chart(), bars, {{"BP", blue, QColor(0, 0, 255)}, {"BC", red, QColor(255, 0, 0)}});
    }
    QList<QChartView*> charts() { return {pieView, barView}; }

    QByteArray page(const QStringList& images) const {
        PageOptions options;
        options.title = QStringLiteral("Report");
        HtmlPageWriter w(options);
        w.Begin();
        w.TableOpen();
        for (int c = 0; c < grid->ColCount(); ++c) w.HeaderCell(100, grid->Cells(c, 0));
        w.HeaderRowEnd();
        for (int r = 1; r < grid->RowCount(); ++r)
            w.DataRow(r, {HtmlCell::Text(grid->Cells(0, r)), HtmlCell::Number(grid->Cells(1, r)),
                          HtmlCell::Number(grid->Cells(2, r))});
        w.TableClose();
        w.ImageRow(images);
        w.Finish();
        return w.bytes();
    }
    void print(PrintLayout& p) {
        p.Title(QStringLiteral("LISTE DES MATCHS"));
        p.Skip(2);
        p.Line({{10, "Championnat :Ligue"}});
        p.Skip(1);
        p.Line({{10, grid->Cells(0, 0)},
                {20 * p.w() + 10, grid->Cells(1, 0)},
                {30 * p.w() + 10, grid->Cells(2, 0)}});
        p.Skip(1);
        for (int r = 1; r < grid->RowCount(); ++r)
            p.Line({{10, grid->Cells(0, r)},
                    {20 * p.w() + 10, grid->Cells(1, r)},
                    {30 * p.w() + 10, grid->Cells(2, r)}});
        const int height = 13 * p.L();
        p.EnsureRoom(height);
        p.Chart(pieView->chart(), QRect(20, p.y, 30 * p.w() - 10, height));
        p.Chart(barView->chart(), QRect(35 * p.w() + 20, p.y, 20 * p.w() - 10, height));
    }
};

ExportFileChoice targetIn(const std::string& dir, const QString& fileName) {
    ExportFileChoice t;
    t.directory = QString::fromStdString(dir) + "/";
    t.fileName = fileName;
    t.fullPath = t.directory + fileName;
    return t;
}

QStringList filesIn(const std::string& dir) {
    return QDir(QString::fromStdString(dir)).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

class ReportOutputTest : public ::testing::Test {
protected:
    ReportOutputTest() { Params.openAfterExport = 0; }
    ~ReportOutputTest() override { Params.openAfterExport = 0; }
    xbtest::TempDir tmp;
};

TEST_F(ReportOutputTest, ExportWritesThePageAndItsChartsAndReplacesThem) {
    SmallReport report;
    xbtest::RecordingShell shell;
    Params.openAfterExport = 1;
    const ExportFileChoice target = targetIn(tmp.path(), "report.htm");
    auto writer = [&](const ExportFileChoice&, const QStringList& images) { return report.page(images); };
    ASSERT_TRUE(WriteReportPage(target, report.charts(), writer));
    EXPECT_EQ(filesIn(tmp.path()), QStringList({"report.htm", "reportg1.jpg", "reportg2.jpg"}));
    for (int k = 1; k <= 2; ++k) {
        QImageReader reader(QString::fromStdString(tmp.file("reportg" + std::to_string(k) + ".jpg")));
        EXPECT_EQ(reader.format(), "jpeg");
        EXPECT_EQ(reader.read().size(), ChartImageSize(report.charts()[k - 1])) << k;
    }
    const xbtest::HtmlDocument doc = xbtest::ReadHtmlFile(tmp.file("report.htm"));
    EXPECT_EQ(doc.imageSources, (std::vector<std::string>{"reportg1.jpg", "reportg2.jpg"}));
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(shell.opened[0], "file://" + tmp.file("report.htm"));

    const std::string firstPie = xbtest::ReadFileBytes(tmp.file("reportg1.jpg"));
    report.setValues(1, 9);
    Params.openAfterExport = 0;
    ASSERT_TRUE(WriteReportPage(target, report.charts(), writer));
    EXPECT_NE(xbtest::ReadFileBytes(tmp.file("reportg1.jpg")), firstPie)
        << "the second export replaces the images";
    EXPECT_EQ(filesIn(tmp.path()).size(), 3);
    EXPECT_EQ(shell.opened.size(), 1u) << "flag 0 opens nothing";
}

TEST_F(ReportOutputTest, TheSequenceChoosesWritesAndOpens) {
    SmallReport report;
    xbtest::RecordingShell shell;
    Params.openAfterExport = 1;
    int asked = 0;
    bool answer = false;
    // The real chooser, answered through the modal seam: the name typed in the test's directory, then
    // OK, or Cancel.
    auto driver = std::make_unique<ModalDriverScope>([&](QDialog& dialog) {
        ++asked;
        auto* chooser = qobject_cast<Tfgestfic*>(&dialog);
        ASSERT_NE(chooser, nullptr);
        EXPECT_FALSE(chooser->findChild<QWidget*>(QStringLiteral("gtype"))->isVisible());
        chooser->setDirectory(QString::fromStdString(tmp.path()));
        auto* name = chooser->findChild<QLineEdit*>(QStringLiteral("Edit1"));
        name->clear();
        QTest::keyClicks(name, QStringLiteral("report.htm"));
        QTest::mouseClick(chooser->findChild<QPushButton*>(answer ? QStringLiteral("boutok")
                                                                  : QStringLiteral("boutannule")),
                          Qt::LeftButton);
    });
    auto writer = [&](const ExportFileChoice&, const QStringList& images) { return report.page(images); };
    EXPECT_FALSE(ExportReportPage(&report.window, report.charts(), writer));
    EXPECT_TRUE(filesIn(tmp.path()).isEmpty()) << "cancel writes nothing";
    EXPECT_TRUE(shell.opened.empty()) << "and opens nothing";
    answer = true;
    EXPECT_TRUE(ExportReportPage(&report.window, report.charts(), writer));
    driver.reset();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(filesIn(tmp.path()), QStringList({"report.htm", "reportg1.jpg", "reportg2.jpg"}));
    EXPECT_EQ(shell.opened.size(), 1u);
}

// Headless Chromium loads the page; its DOM holds the grid cell for cell and no script element, and the
// screenshot shows the charts' blue and red, also for a page whose name needs escaping in a URL.
TEST_F(ReportOutputTest, ChromiumShowsTheGridAndTheCharts) {
    if (xbtest::RunCommand("command -v chromium").empty()) GTEST_SKIP() << "chromium is not installed";
    SmallReport report;
    for (const QString name : {QStringLiteral("report.htm"), QStringLiteral("my report #1.htm")}) {
        const ExportFileChoice target = targetIn(tmp.path(), name);
        ASSERT_TRUE(WriteReportPage(
            target, report.charts(),
            [&](const ExportFileChoice&, const QStringList& images) { return report.page(images); }));
        const std::string dom = xbtest::ChromiumDumpDom(target.fullPath.toStdString());
        ASSERT_FALSE(dom.empty()) << name.toStdString();
        const xbtest::HtmlDocument doc = xbtest::ReadHtmlDocument(dom);
        ASSERT_TRUE(doc.ok) << doc.error;
        EXPECT_EQ(doc.scriptElements, 0);
        ASSERT_GE(doc.tables.size(), 1u);
        const auto& table = doc.tables[0];
        ASSERT_EQ(int(table.size()), report.grid->RowCount());
        for (int r = 0; r < report.grid->RowCount(); ++r)
            for (int c = 0; c < report.grid->ColCount(); ++c)
                EXPECT_EQ(table[r].at(c), report.grid->Cells(c, r).toStdString()) << r << "," << c;

        const std::string png = tmp.file("shot.png");
        ASSERT_TRUE(xbtest::ChromiumScreenshot(target.fullPath.toStdString(), png, 1000, 1000));
        const QImage shot(QString::fromStdString(png));
        int blue = 0, red = 0;
        for (int y = 0; y < shot.height(); y += 2)
            for (int x = 0; x < shot.width(); x += 2) {
                const QColor c = shot.pixelColor(x, y);
                if (c.blue() > 200 && c.red() < 60 && c.green() < 60) ++blue;
                if (c.red() > 200 && c.blue() < 60 && c.green() < 60) ++red;
            }
        EXPECT_GT(blue, 500) << name.toStdString();
        EXPECT_GT(red, 300) << name.toStdString();
    }
}

// As a user who may not write in the directory: the old files stay byte-identical, no temporary is
// left and one message names the file. Run in a child that gives up root, which ignores permissions.
TEST_F(ReportOutputTest, AnUnwritableDirectoryKeepsTheOldFiles) {
    ::chmod(tmp.path().c_str(), 0755);
    for (const char* name : {"report.htm", "reportg1.jpg", "reportg2.jpg"})
        xbtest::WriteFileBytes(tmp.file(name), std::string("old ") + name);
    ::chmod(tmp.path().c_str(), 0555);
    const std::string dir = tmp.path();
    EXPECT_EXIT(
        {
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) std::_Exit(10);
            SmallReport report;
            xbtest::ScriptedUi ui;
            const bool written = WriteReportPage(
                targetIn(dir, "report.htm"), report.charts(),
                [&](const ExportFileChoice&, const QStringList& images) { return report.page(images); });
            if (written) std::_Exit(11);
            if (ui.messages.size() != 1) std::_Exit(12);
            if (ui.messages[0].text.find("report") == std::string::npos) std::_Exit(13);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    ::chmod(tmp.path().c_str(), 0755);
    for (const char* name : {"report.htm", "reportg1.jpg", "reportg2.jpg"})
        EXPECT_EQ(xbtest::ReadFileBytes(tmp.file(name)), std::string("old ") + name);
    EXPECT_EQ(filesIn(tmp.path()), QStringList({"report.htm", "reportg1.jpg", "reportg2.jpg"}));
}

TEST_F(ReportOutputTest, AFailedImageReplacesNothing) {
    SmallReport report;
    xbtest::ScriptedUi ui;
    for (const char* name : {"report.htm", "reportg1.jpg", "reportg2.jpg"})
        xbtest::WriteFileBytes(tmp.file(name), std::string("old ") + name);
    // A directory squatting on the second image's temporary makes its JPEG fail.
    const QString squat = ReportFileSet::TempPathOf(QString::fromStdString(tmp.file("reportg2.jpg")));
    ASSERT_TRUE(QDir().mkdir(squat));
    EXPECT_FALSE(WriteReportPage(
        targetIn(tmp.path(), "report.htm"), report.charts(),
        [&](const ExportFileChoice&, const QStringList& images) { return report.page(images); }));
    QDir().rmdir(squat);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("reportg2.jpg"), std::string::npos) << ui.messages[0].text;
    for (const char* name : {"report.htm", "reportg1.jpg", "reportg2.jpg"})
        EXPECT_EQ(xbtest::ReadFileBytes(tmp.file(name)), std::string("old ") + name);
    EXPECT_EQ(filesIn(tmp.path()), QStringList({"report.htm", "reportg1.jpg", "reportg2.jpg"}));
}

// The PDF's words with their boxes, one page after another.
struct PdfWord {
    int page;
    double yMin, yMax, xMin;
    std::string text;
};
struct PdfPages {
    double height = 0;
    std::vector<PdfWord> words;
    int pages = 0;
};

PdfPages readPdf(const std::string& pdf) {
    PdfPages out;
    const std::string html = xbtest::RunCommand("pdftotext -bbox " + xbtest::ShellQuote(pdf) + " -");
    static const std::regex pageRe(R"re(<page width="([0-9.]+)" height="([0-9.]+)">)re");
    static const std::regex wordRe(
        R"re(<word xMin="([0-9.]+)" yMin="([0-9.]+)" xMax="([0-9.]+)" yMax="([0-9.]+)">([^<]*)</word>)re");
    std::istringstream lines(html);
    std::string line;
    std::smatch m;
    while (std::getline(lines, line)) {
        if (std::regex_search(line, m, pageRe)) {
            ++out.pages;
            out.height = std::stod(m[2]);
        } else if (std::regex_search(line, m, wordRe)) {
            out.words.push_back({out.pages, std::stod(m[2]), std::stod(m[4]), std::stod(m[1]), m[5]});
        }
    }
    return out;
}

std::unique_ptr<QPrinter> pdfPrinter(const std::string& path) {
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(QString::fromStdString(path));
    printer->setResolution(300);
    printer->setPageSize(QPageSize(QPageSize::A4));
    return printer;
}

TEST_F(ReportOutputTest, PrintedListsBreakPagesAndLoseNoRow) {
    for (int rows : {1, 150}) {
        SmallReport report(rows);
        const std::string pdf = tmp.file("list" + std::to_string(rows) + ".pdf");
        SetReportPrinterFactory([&] { return pdfPrinter(pdf); });
        int pages = 0, pageHeight = 0, lastY = 0;
        ASSERT_TRUE(PrintReport([&](PrintLayout& p) {
            report.print(p);
            pages = p.pageCount();
            pageHeight = p.pageHeight();
            lastY = p.y;
        }));
        SetReportPrinterFactory({});
        const PdfPages read = readPdf(pdf);
        EXPECT_EQ(read.pages, pages);
        std::map<std::string, int> seen;
        for (const PdfWord& w : read.words) {
            EXPECT_LE(w.yMax, read.height) << w.text << " on page " << w.page;
            ++seen[w.text];
        }
        EXPECT_EQ(seen["LISTE"], 1);
        if (rows == 1) {
            EXPECT_EQ(read.pages, 1);
            EXPECT_EQ(seen["A"], 1) << "one data row prints one line";
            EXPECT_EQ(seen["Team2x"], 0);
        } else {
            EXPECT_GE(read.pages, 3);
            for (int r = 5; r <= rows; ++r) EXPECT_EQ(seen["Team" + std::to_string(r) + "x"], 1) << r;
        }
    }
}

TEST_F(ReportOutputTest, NoPrinterSaysSo) {
    xbtest::ScriptedUi ui;
    SetReportPrinterFactory([] { return std::unique_ptr<QPrinter>(); });
    bool ran = false;
    EXPECT_FALSE(PrintReport([&](PrintLayout&) { ran = true; }));
    SetReportPrinterFactory({});
    EXPECT_FALSE(ran);
}

TEST_F(ReportOutputTest, AnEmptyPieSaysNoDataAndImageSizesDoNotNeedShowing) {
    SmallReport report;
    report.setValues(0, 0);
    EXPECT_TRUE(PieShowsNoData(report.pie));
    for (QPieSlice* slice : report.pie->slices())
        EXPECT_FALSE(slice->label().contains("nan", Qt::CaseInsensitive));
    const QSize hidden = ChartImageSize(report.pieView);
    EXPECT_EQ(ChartImage(report.pieView).size(), hidden);
    report.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&report.window));
    EXPECT_EQ(ChartImageSize(report.pieView), hidden);
    EXPECT_EQ(report.pieView->size().expandedTo(kDefaultChartImageSize), hidden);

    QChartView lone;  // never shown, no layout: a size of its own
    EXPECT_EQ(ChartImage(&lone).size(), ChartImageSize(&lone));
    EXPECT_GE(ChartImageSize(&lone).width(), 50);
    report.setValues(2, 0);
    EXPECT_FALSE(PieShowsNoData(report.pie));
}

// Names with markup and long names, in a pie with its legend beside it and in bars: every text reads as
// typed and whole in the chart's image, on paper and on screen, however small the chart was laid out.
TEST_F(ReportOutputTest, ChartTextsReadAsTypedAndWhole) {
    const QString names[] = {"Lille <b>&\"OSC",     "Évian Thonon Gaillard", "a<br>b",
                             "Paris Saint-Germain", "Hajduk Split",          QString(30, QLatin1Char('W'))};
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        QChartView pieView, barView;
        pieView.resize(260, 180);
        barView.resize(200, 160);
        for (QChartView* v : {&pieView, &barView}) PrepareReportChart(v);
        auto* pie = new QPieSeries;
        pieView.chart()->addSeries(pie);
        pieView.chart()->legend()->setAlignment(Qt::AlignRight);
        pieView.chart()->setTitle(ChartText(name));
        SetPieSlices(pie, {{name, 12, Qt::blue}, {"N", 3, Qt::green}, {"Paris Saint-Germain", 7, Qt::red}});
        auto* bars = new QStackedBarSeries;
        SetBars(barView.chart(), bars, {{name, 1234, Qt::blue}, {"Dinamo Zagreb", 5678, Qt::red}});
        EXPECT_EQ(ChartPlainText(pie->slices()[0]->label()), name + " 12");
        for (QChartView* view : {&pieView, &barView}) {
            QChart* chart = view->chart();
            // The check itself sees a cut: too small a chart shortens its texts.
            chart->resize(90, 80);
            const auto cramped = ShownChartTexts(chart);
            EXPECT_TRUE(std::any_of(cramped.begin(), cramped.end(), [](const auto& t) { return !t.whole; }));
            // As the image and the printout lay it out.
            chart->resize(QSizeF(ChartImageSize(view)));
            QStringList seen;
            for (const ShownChartText& t : ShownChartTexts(chart)) {
                EXPECT_TRUE(t.whole) << t.text.toStdString() << " at " << chart->size().width() << "x"
                                     << chart->size().height();
                seen << t.text;
            }
            EXPECT_TRUE(seen.contains(view == &pieView ? name + " 12" : name))
                << seen.join(" | ").toStdString();
            if (view == &barView) EXPECT_TRUE(seen.contains("5678")) << seen.join(" | ").toStdString();
            // On screen: the view keeps itself wide enough, up to the screen's width, past which a text
            // may be shortened.
            KeepChartTextsWhole(view);
            const int screen = view->screen()->availableGeometry().width();
            EXPECT_LE(view->minimumWidth(), screen);
            chart->resize(QSizeF(view->minimumWidth(), view->height()));
            for (const ShownChartText& t : ShownChartTexts(chart))
                EXPECT_TRUE(t.whole || view->minimumWidth() == screen) << t.text.toStdString();
        }
    }
}

// A place chart: first place at the top of the reversed axis, each point in its own colour.
TEST_F(ReportOutputTest, ALineWithAReversedAxisPutsFirstPlaceOnTop) {
    QChartView view;
    view.resize(400, 300);
    PrepareReportChart(&view);
    auto* line = new QLineSeries;
    SetLinePoints(view.chart(), line,
                  {{1, 1, QColor(0, 0, 255)}, {2, 1, QColor(0, 0, 255)}, {3, 5, QColor(0, 255, 0)}}, 1, 3, 1,
                  5, true);
    const QImage image = ChartImage(&view);
    double blueY = 0, limeY = 0;
    int blue = 0, lime = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.green() > 200 && c.red() < 60 && c.blue() < 60) limeY += y, ++lime;
            if (c.blue() > 200 && c.red() < 60 && c.green() < 60) blueY += y, ++blue;
        }
    ASSERT_GT(blue, 0);
    ASSERT_GT(lime, 0) << "the lime marker keeps its colour";
    EXPECT_LT(blueY / blue, limeY / lime);
}

}  // namespace
}  // namespace app
