#include "app/shell/qt/report_grid.h"

#include <QLineEdit>
#include <QPainter>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QStyledItemDelegate>
#include <algorithm>

namespace app {

// ---- model ----

ReportGridModel::ReportGridModel(QObject* parent) : QAbstractTableModel(parent) {
    m_rows.assign(1, QStringList(m_cols));
}

void ReportGridModel::SetRowCount(int rows) {
    rows = std::max(rows, 1);
    const int old = RowCount();
    if (rows > old) {
        beginInsertRows(QModelIndex(), old - 1, rows - 2);
        m_rows.resize(size_t(rows), QStringList(m_cols));
        endInsertRows();
    } else if (rows < old) {
        beginRemoveRows(QModelIndex(), rows - 1, old - 2);
        m_rows.resize(size_t(rows));
        endRemoveRows();
    }
}

void ReportGridModel::SetColCount(int cols) {
    cols = std::max(cols, 1);
    if (cols == m_cols) return;
    beginResetModel();
    for (QStringList& row : m_rows) {
        while (row.size() < cols) row.append(QString());
        while (row.size() > cols) row.removeLast();
    }
    m_cols = cols;
    endResetModel();
}

QString ReportGridModel::Cell(int col, int row) const {
    if (row < 0 || row >= RowCount() || col < 0 || col >= m_cols) return QString();
    return m_rows[size_t(row)][col];
}

void ReportGridModel::SetCell(int col, int row, const QString& text) {
    if (row < 0 || row >= RowCount() || col < 0 || col >= m_cols) return;
    m_rows[size_t(row)][col] = text;
    if (row == 0)
        emit headerDataChanged(Qt::Horizontal, col, col);
    else
        emit dataChanged(index(row - 1, col), index(row - 1, col));
}

void ReportGridModel::ClearRow(int row) {
    for (int c = 0; c < m_cols; ++c) SetCell(c, row, QString());
}

void ReportGridModel::ClearCells() {
    beginResetModel();
    for (QStringList& row : m_rows) row = QStringList(m_cols);
    endResetModel();
}

void ReportGridModel::InsertRowAt(int row) {
    if (row < 1 || row > RowCount()) return;
    beginInsertRows(QModelIndex(), row - 1, row - 1);
    m_rows.insert(m_rows.begin() + row, QStringList(m_cols));
    endInsertRows();
}

void ReportGridModel::RemoveRowAt(int row) {
    if (row < 1 || row >= RowCount()) return;
    beginRemoveRows(QModelIndex(), row - 1, row - 1);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

void ReportGridModel::SwapRows(int a, int b, const QList<int>& keepColumns) {
    if (a < 1 || b < 1 || a >= RowCount() || b >= RowCount() || a == b) return;
    for (int c = 0; c < m_cols; ++c) {
        if (keepColumns.contains(c)) continue;
        std::swap(m_rows[size_t(a)][c], m_rows[size_t(b)][c]);
    }
    emit dataChanged(index(std::min(a, b) - 1, 0), index(std::max(a, b) - 1, m_cols - 1));
}

int ReportGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : RowCount() - 1;
}

int ReportGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_cols;
}

QVariant ReportGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return {};
    return Cell(index.column(), index.row() + 1);
}

void ReportGridModel::SetTitleHint(int col, const QString& hint) {
    if (col < 0 || col >= m_cols) return;
    while (m_titleHints.size() <= col) m_titleHints.append(QString());
    m_titleHints[col] = hint;
}

QVariant ReportGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role == Qt::ToolTipRole && orientation == Qt::Horizontal) {
        const QString hint = section < m_titleHints.size() ? m_titleHints[section] : QString();
        return hint.isEmpty() ? Cell(section, 0).simplified() : hint;
    }
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) return Cell(section, 0);
    return section + 1;
}

// ---- view ----

namespace {

class CellDelegate : public QStyledItemDelegate {
public:
    explicit CellDelegate(ReportGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        GridCellState state;
        state.fixed = index.column() < m_grid->FixedCols();
        state.selected = option.state & QStyle::State_Selected;
        painter->save();
        painter->setClipRect(option.rect);
        m_grid->PaintCell(*painter, index.column(), index.row() + 1, option.rect, state);
        // The current row of a grid that has the focus is framed, so that keyboard work shows where it is
        // (its current cell may be in a hidden column).
        if (m_grid->hasFocus() && index.row() == m_grid->currentIndex().row()) {
            painter->setPen(QPen(QColor(0, 0, 0), 1, Qt::DotLine));
            painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
        }
        painter->restore();
    }

private:
    ReportGrid* m_grid;
};

// The title bar paints row 0 through the grid's hook, like every other cell.
class TitleHeader : public QHeaderView {
public:
    explicit TitleHeader(ReportGrid* grid) : QHeaderView(Qt::Horizontal, grid), m_grid(grid) {}

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
        if (!rect.isValid()) return;
        painter->save();
        painter->setClipRect(rect);
        m_grid->PaintCell(*painter, logicalIndex, 0, rect, GridCellState{true, false});
        painter->setPen(QColor(160, 160, 160));
        painter->drawLine(rect.topRight(), rect.bottomRight());
        painter->drawLine(rect.bottomLeft(), rect.bottomRight());
        painter->restore();
    }

private:
    ReportGrid* m_grid;
};

}  // namespace

ReportGrid::ReportGrid(QWidget* parent) : QTableView(parent), m_model(new ReportGridModel(this)) {
    setModel(m_model);
    setHorizontalHeader(new TitleHeader(this));
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setMinimumSectionSize(1);
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(20);
    setItemDelegate(new CellDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    // Tab leaves the grid for the next control (arrows move within it): a window is worked by keyboard
    // down to its OK button.
    setTabKeyNavigation(false);
    // The grid fills its window: the last shown column takes the room the others leave.
    horizontalHeader()->setStretchLastSection(true);
    connect(this, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { emit CellDoubleClicked(index.column(), index.row() + 1); });
}

void ReportGrid::focusInEvent(QFocusEvent* e) {
    QTableView::focusInEvent(e);
    viewport()->update();
}

void ReportGrid::focusOutEvent(QFocusEvent* e) {
    QTableView::focusOutEvent(e);
    viewport()->update();
}

void ReportGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    viewport()->update();
}

void ReportGrid::SetColCount(int cols) {
    m_model->SetColCount(cols);
}

void ReportGrid::SetColWidth(int col, int width) {
    if (col < 0 || col >= ColCount()) return;
    if (m_leastWidths.size() < static_cast<size_t>(ColCount())) m_leastWidths.resize(ColCount(), 0);
    m_leastWidths[static_cast<size_t>(col)] = std::max(width, 0);
    if (width <= 0) {
        setColumnHidden(col, true);
        return;
    }
    setColumnHidden(col, false);
    setColumnWidth(col, width);
}

int ReportGrid::ColWidth(int col) const {
    if (col < 0 || col >= ColCount() || isColumnHidden(col)) return 0;
    return columnWidth(col);
}

void ReportGrid::FitColumnsToContents() {
    QFont bold = font();
    bold.setBold(true);  // titles and some columns are drawn bold: measure every cell so
    const QFontMetrics metrics(bold);
    static const QRegularExpression lineBreak(QStringLiteral("[\r\n]"));
    int titleLines = 1;
    int total = 0;
    for (int c = 0; c < ColCount(); ++c) {
        if (isColumnHidden(c)) continue;
        const size_t at = static_cast<size_t>(c);
        int width = at < m_leastWidths.size() ? m_leastWidths[at] : columnWidth(c);
        for (int r = 0; r < RowCount(); ++r) {
            const QStringList lines = Cells(c, r).split(lineBreak);
            if (r == 0) titleLines = std::max(titleLines, static_cast<int>(lines.size()));
            // 2 pixels in from the left as drawn, and as much again to the next column.
            for (const QString& line : lines) width = std::max(width, metrics.horizontalAdvance(line) + 6);
        }
        setColumnWidth(c, width);
        total += width;
    }
    QHeaderView* titles = horizontalHeader();
    if (titles->isVisible() && titleLines > 1)
        titles->setFixedHeight(std::max(titles->height(), titleLines * metrics.height() + 6));
    if (m_layoutMinimumWidth < 0) m_layoutMinimumWidth = minimumWidth();
    const int scrollBar = verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff
                              ? 0
                              : style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    // Wide enough for every column, up to the screen's width: the window grows to show them all, and when
    // the screen is too small the screen fit has the grid give way, and only then does it scroll.
    const int room = screen() ? screen()->availableGeometry().width() : 1280;
    setMinimumWidth(std::max(m_layoutMinimumWidth, std::min(room, total + scrollBar + 2 * frameWidth() + 2)));
}

void ReportGrid::SetVisibleRowsAtLeast(int rows) {
    const int title = horizontalHeader()->isVisible() ? horizontalHeader()->sizeHint().height() : 0;
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    setMinimumHeight(std::max(minimumHeight(), title + rows * verticalHeader()->defaultSectionSize() +
                                                   2 * frameWidth() + scrollBar + 2));
}

void ReportGrid::SetRowHeight(int row, int height) {
    if (row == 0) {
        horizontalHeader()->setVisible(height > 0);
        if (height > 0) horizontalHeader()->setFixedHeight(height);
        return;
    }
    if (row < 1 || row >= RowCount()) return;
    setRowHidden(row - 1, height <= 0);
    if (height > 0) setRowHeight(row - 1, height);
}

void ReportGrid::SetDefaultRowHeight(int height) {
    verticalHeader()->setDefaultSectionSize(std::max(height, 1));
}

int ReportGrid::Row() const {
    const QModelIndex current = currentIndex();
    if (current.isValid()) return current.row() + 1;
    return RowCount() > 1 ? 1 : 0;
}

void ReportGrid::SetRow(int row) {
    if (row < 1 || row >= RowCount()) return;
    setCurrentIndex(m_model->index(row - 1, 0));
    selectRow(row - 1);
}

void ReportGrid::SetDrawCell(DrawCellHook hook) {
    m_hook = std::move(hook);
    viewport()->update();
    horizontalHeader()->viewport()->update();
}

void ReportGrid::PaintCell(QPainter& painter, int col, int row, const QRect& rect,
                           GridCellState state) const {
    if (m_hook) {
        m_hook(painter, col, row, rect, state);
        return;
    }
    QColor fill = Qt::white;
    if (state.fixed) fill = QColor(0xF0, 0xF0, 0xF0);
    if (state.selected) fill = palette().color(QPalette::Highlight);
    painter.fillRect(rect, fill);
    DrawCellText(painter, rect, Cells(col, row), state.fixed);
}

void ReportGrid::DrawCellText(QPainter& painter, const QRect& rect, const QString& text, bool bold) {
    QFont font = painter.font();
    font.setBold(bold);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(rect.adjusted(2, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

void KeepTextWhole(QLineEdit* field) {
    const int least = field->minimumWidth();
    auto fit = [field, least] {
        QStyleOptionFrame option;
        option.initFrom(field);
        const QSize text(field->fontMetrics().horizontalAdvance(field->text()) + 8, field->height());
        const int width = field->style()->sizeFromContents(QStyle::CT_LineEdit, &option, text, field).width();
        field->setMinimumWidth(std::max(least, width));
    };
    QObject::connect(field, &QLineEdit::textChanged, field, fit);
    fit();
}

// ---- row helpers ----

void GridDeleteRow(ReportGrid& grid, int row) {
    if (row < 1 || row >= grid.RowCount()) return;
    if (row == 1 && grid.RowCount() == 2) {
        grid.gridModel()->ClearRow(1);
        return;
    }
    grid.gridModel()->RemoveRowAt(row);
}

void GridInsertRow(ReportGrid& grid, int row) {
    if (row < 0) return;
    grid.gridModel()->InsertRowAt(std::min(row + 1, grid.RowCount()));
}

}  // namespace app
