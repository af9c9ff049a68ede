// The string grid: cells by column and row, the row helpers, hidden columns and the painting hook.
#include "app/shell/qt/report_grid.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QTest>

namespace app {
namespace {

// Rows as "a|b" texts, row 0 first.
QStringList rowsOf(const ReportGrid& g) {
    QStringList rows;
    for (int r = 0; r < g.RowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < g.ColCount(); ++c) cells << g.Cells(c, r);
        rows << cells.join('|');
    }
    return rows;
}

void fill(ReportGrid& g, const QStringList& rows) {
    g.SetColCount(2);
    g.SetRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const QStringList cells = rows[r].split('|');
        for (int c = 0; c < 2; ++c) g.SetCells(c, r, cells[c]);
    }
}

TEST(ReportGridTest, RowHelpers) {
    struct Case {
        const char* name;
        QStringList before;
        bool insert;
        int row;
        QStringList after;
    };
    const QStringList three = {"T1|T2", "a|1", "b|2", "c|3"};
    const Case cases[] = {
        {"delete middle", three, false, 2, {"T1|T2", "a|1", "c|3"}},
        {"delete last", three, false, 3, {"T1|T2", "a|1", "b|2"}},
        {"delete first of many", three, false, 1, {"T1|T2", "b|2", "c|3"}},
        {"delete only row empties it", {"T1|T2", "a|1"}, false, 1, {"T1|T2", "|"}},
        {"title row stays", three, false, 0, three},
        {"outside the grid", three, false, 4, three},
        {"insert after row 1", three, true, 1, {"T1|T2", "a|1", "|", "b|2", "c|3"}},
        {"insert after the titles", three, true, 0, {"T1|T2", "|", "a|1", "b|2", "c|3"}},
        {"insert after the last", three, true, 3, {"T1|T2", "a|1", "b|2", "c|3", "|"}},
        {"insert far past the end", three, true, 9, {"T1|T2", "a|1", "b|2", "c|3", "|"}},
        {"negative row", three, true, -1, three},
    };
    for (const Case& c : cases) {
        ReportGrid g;
        fill(g, c.before);
        if (c.insert)
            GridInsertRow(g, c.row);
        else
            GridDeleteRow(g, c.row);
        EXPECT_EQ(rowsOf(g), c.after) << c.name;
        EXPECT_EQ(g.gridModel()->rowCount(), g.RowCount() - 1) << c.name;
    }
}

TEST(ReportGridTest, CountsCellsAndWidths) {
    ReportGrid g;
    g.SetColCount(3);
    g.SetRowCount(0);
    EXPECT_EQ(g.RowCount(), 1) << "the title row always stays";
    g.SetRowCount(3);
    g.SetCells(1, 0, "Name");
    g.SetCells(2, 2, "7");
    g.SetCells(5, 1, "outside");
    EXPECT_EQ(g.Cells(5, 1), QString());
    EXPECT_EQ(g.gridModel()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Name");
    EXPECT_EQ(g.gridModel()->index(1, 2).data().toString(), "7");
    g.SetColCount(2);
    g.SetColCount(3);
    EXPECT_EQ(g.Cells(2, 2), QString()) << "columns cut off lose their cells";
    g.SetColWidth(0, 0);
    g.SetColWidth(1, 130);
    EXPECT_TRUE(g.isColumnHidden(0));
    EXPECT_EQ(g.ColWidth(0), 0);
    EXPECT_EQ(g.ColWidth(1), 130);
    g.SetColWidth(0, 25);
    EXPECT_EQ(g.ColWidth(0), 25);
    g.SetCells(0, 2, "kept");
    g.SetCells(2, 2, "7");
    g.gridModel()->SwapRows(1, 2, {0});
    EXPECT_EQ(g.Cells(2, 1), "7");
    EXPECT_EQ(g.Cells(0, 2), "kept");
}

TEST(ReportGridTest, TheHookPaintsTitlesAndCells) {
    ReportGrid g;
    g.resize(300, 200);
    g.SetColCount(2);
    g.SetRowCount(3);
    g.SetColWidth(0, 0);
    g.SetColWidth(1, 200);
    g.SetCells(1, 0, "Equipe");
    g.SetCells(1, 1, "Lyon");
    QList<QPair<int, int>> painted;
    g.SetDrawCell([&](QPainter& p, int col, int row, const QRect& rect, GridCellState state) {
        painted.append({col, row});
        p.fillRect(rect, row == 0  ? QColor(0xFF, 0xCC, 0x99)
                         : row % 2 ? Qt::white
                                   : QColor(0xE1, 0xFF, 0xF4));
        ReportGrid::DrawCellText(p, rect, g.Cells(col, row), state.fixed);
    });
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    const QImage image = g.grab().toImage();
    const QPoint title = g.horizontalHeader()->mapTo(&g, QPoint(150, 3));
    EXPECT_EQ(image.pixelColor(title), QColor(0xFF, 0xCC, 0x99));
    const QRect row2 = g.visualRect(g.gridModel()->index(1, 1)).translated(g.viewport()->pos());
    EXPECT_EQ(image.pixelColor(row2.center() + QPoint(60, 0)), QColor(0xE1, 0xFF, 0xF4));
    EXPECT_TRUE(painted.contains({1, 0}));
    EXPECT_TRUE(painted.contains({1, 2}));
    EXPECT_FALSE(painted.contains({0, 1})) << "a hidden column is not painted";
    int doubleClicked = -1;
    QObject::connect(&g, &ReportGrid::CellDoubleClicked, [&](int, int row) { doubleClicked = row; });
    const QPoint cell = g.visualRect(g.gridModel()->index(1, 1)).center();
    QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, cell);
    QTest::mouseDClick(g.viewport(), Qt::LeftButton, {}, cell);
    EXPECT_EQ(doubleClicked, 2);
    EXPECT_EQ(g.Row(), 2);
}

}  // namespace
}  // namespace app
