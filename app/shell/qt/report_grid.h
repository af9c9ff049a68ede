// The string grid of the report and list windows: cells addressed by column and row, row 0 holding the
// column titles, a row and a column count, a width per column (0 hides the column) and a hook that
// paints each cell. The cells live in one model (ReportGridModel); the view shows rows 1 to RowCount - 1
// as its rows and row 0 as its title bar. Printers and page writers read the same cells.
#pragma once

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QStringList>
#include <QTableView>
#include <functional>
#include <vector>

class QLineEdit;
class QPainter;

namespace app {

class ReportGridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit ReportGridModel(QObject* parent = nullptr);

    // Rows including the title row; never below 1.
    int RowCount() const { return int(m_rows.size()); }
    // Keeps the cells of the rows that remain; new rows are empty.
    void SetRowCount(int rows);
    int ColCount() const { return m_cols; }
    void SetColCount(int cols);

    // The text of a cell; empty outside the grid.
    QString Cell(int col, int row) const;
    // Sets a cell; a cell outside the grid is ignored.
    void SetCell(int col, int row, const QString& text);
    // Empties every cell of a row.
    void ClearRow(int row);
    // Empties every cell.
    void ClearCells();
    // Inserts an empty row before row (1..RowCount); removes a row (1..RowCount - 1). The title row stays.
    void InsertRowAt(int row);
    void RemoveRowAt(int row);
    // The hint a column's title shows (its whole text when the title is short for it); without one the
    // title's own text is its hint, so that a title cut by its column still reads whole.
    void SetTitleHint(int col, const QString& hint);
    // Swaps the cells of two rows in every column but those listed.
    void SwapRows(int a, int b, const QList<int>& keepColumns = {});

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<QStringList> m_rows;  // m_rows[row][col], every row m_cols long
    QStringList m_titleHints;         // by column; may be shorter than m_cols
    int m_cols = 1;
};

// What a cell is when it is painted.
struct GridCellState {
    bool fixed = false;     // title row or a fixed column
    bool selected = false;  // in the selected row
};

class ReportGrid : public QTableView {
    Q_OBJECT

public:
    using DrawCellHook =
        std::function<void(QPainter& painter, int col, int row, const QRect& rect, GridCellState state)>;

    explicit ReportGrid(QWidget* parent = nullptr);

    ReportGridModel* gridModel() const { return m_model; }

    int RowCount() const { return m_model->RowCount(); }
    void SetRowCount(int rows) { m_model->SetRowCount(rows); }
    int ColCount() const { return m_model->ColCount(); }
    void SetColCount(int cols);
    QString Cells(int col, int row) const { return m_model->Cell(col, row); }
    void SetCells(int col, int row, const QString& text) { m_model->SetCell(col, row, text); }

    // Width 0 hides the column; ColWidth answers 0 for a hidden column. The width set is also the
    // least the column keeps when fitted to its contents.
    void SetColWidth(int col, int width);
    int ColWidth(int col) const;
    // Widens each shown column to its longest text, its title's included (a title of several lines by
    // its longest line, and the title bar made tall enough for the most lines), and never narrower than
    // the width last set for it; the grid then asks for the width of all its columns (at most half the
    // screen's). Windows call it once their cells are filled.
    void FitColumnsToContents();
    // The rows a grid shows whole without scrolling, at the least: its height follows.
    void SetVisibleRowsAtLeast(int rows);
    // Row 0 sets the height of the title bar (0 hides it); other rows their own height.
    void SetRowHeight(int row, int height);
    void SetDefaultRowHeight(int height);
    // Columns from 0 up to n - 1 are painted as fixed cells (the title row always is).
    void SetFixedCols(int n) {
        m_fixedCols = n;
        viewport()->update();
    }
    int FixedCols() const { return m_fixedCols; }

    // The selected row (1.. RowCount - 1); the first data row when nothing was selected, 0 when there
    // is no data row.
    int Row() const;
    void SetRow(int row);

    // Replaces the painting of every cell, the titles included. Without a hook a cell is filled white
    // (the selection colour when selected, light grey when fixed) with its text in black.
    void SetDrawCell(DrawCellHook hook);
    // Paints one cell through the hook (or the default): the view and its title bar call it.
    void PaintCell(QPainter& painter, int col, int row, const QRect& rect, GridCellState state) const;
    // The default text painting: black, 2 pixels in from the cell's left and top edges, not wrapped.
    static void DrawCellText(QPainter& painter, const QRect& rect, const QString& text, bool bold = false);

protected:
    // The focus frame of the current row is painted anew as the focus comes and goes.
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

signals:
    // A double click on a cell of a data row.
    void CellDoubleClicked(int col, int row);

private:
    ReportGridModel* m_model;
    DrawCellHook m_hook;
    int m_fixedCols = 0;
    std::vector<int> m_leastWidths;  // per column, the width set for it
    int m_layoutMinimumWidth = -1;   // the grid's own minimum before any fitting
};

// Keeps a field as wide as its whole text (a championship's 30 characters), from now on as the text
// changes, never narrower than its layout made it.
void KeepTextWhole(QLineEdit* field);

// Removes row (> 0): when it is row 1 of a grid of two rows only its cells are emptied; otherwise the
// rows below move up one place and the row count drops by one. Row 0 and rows outside the grid are left.
void GridDeleteRow(ReportGrid& grid, int row);
// Adds a row at the end and moves the rows from row + 1 on down one place, so that row + 1 is empty.
// A row past the last data row adds the empty row at the end; a negative row changes nothing.
void GridInsertRow(ReportGrid& grid, int row);

}  // namespace app
