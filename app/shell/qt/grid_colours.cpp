#include "app/shell/qt/grid_colours.h"

#include <QHeaderView>
#include <QTableView>

namespace app {

QColor WindowsColour(uint32_t bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

QVariant StripedRowsModel::data(const QModelIndex& index, int role) const {
    if (role == Qt::BackgroundRole && index.isValid())
        return WindowsColour(index.row() % 2 == 0 ? kGridEvenRow : kGridOddRow);
    return QIdentityProxyModel::data(index, role);
}

QVariant StripedRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role == Qt::BackgroundRole) return WindowsColour(kGridFixed);
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal && section >= 0 && section < m_titles.size())
        return m_titles[section];
    return QIdentityProxyModel::headerData(section, orientation, role);
}

void StripedRowsModel::setTitles(const QStringList& titles) {
    m_titles = titles;
    if (columnCount() > 0) emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

void ShowStriped(QTableView* view, QAbstractItemModel* source) {
    auto* striped = new StripedRowsModel(view);
    striped->setSourceModel(source);
    view->setModel(striped);
    // Styles ignore a header's background role; the style sheet paints it.
    const QString fixed = WindowsColour(kGridFixed).name();
    view->horizontalHeader()->setStyleSheet(
        QStringLiteral("QHeaderView::section { background-color: %1; }").arg(fixed));
    view->verticalHeader()->setStyleSheet(
        QStringLiteral("QHeaderView::section { background-color: %1; }").arg(fixed));
}

}  // namespace app
