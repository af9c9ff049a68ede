#include "engine/dataset/qt/dataset_table_model.h"

namespace xb {

TDataSetTableModel::TDataSetTableModel(TDataSet* dataSet, QObject* parent) : QAbstractTableModel(parent) {
    m_source.OnDataChange = [this](TDataEvent e) {
        if (!m_reading && e == TDataEvent::deDataSetChange) reload();
    };
    m_source.OnStateChange = [this] {
        if (!m_reading && m_source.DataSet() && !m_source.DataSet()->Active()) reload();
    };
    setDataSet(dataSet);
}

void TDataSetTableModel::setDataSet(TDataSet* dataSet) {
    m_source.SetDataSet(dataSet);
    reload();
}

void TDataSetTableModel::reload() {
    beginResetModel();
    m_headers.clear();
    m_rows.clear();
    m_bookmarks.clear();
    TDataSet* ds = m_source.DataSet();
    if (ds && ds->Active() && ds->State() == TDataSetState::dsBrowse) {
        m_reading = true;
        try {
            std::vector<TField*> shown;
            for (int i = 0; i < ds->FieldCount(); ++i)
                if (ds->Fields(i).Visible) {
                    shown.push_back(&ds->Fields(i));
                    m_headers << QString::fromStdString(ds->Fields(i).FieldName());
                }
            const TBookmark here = ds->GetBookmark();
            ds->First();
            while (!ds->Eof()) {
                QStringList row;
                for (TField* f : shown) row << QString::fromStdString(f->GetText());
                m_rows.push_back(row);
                m_bookmarks.push_back(ds->GetBookmark());
                ds->Next();
            }
            if (!here.empty()) ds->GotoBookmark(here);
        } catch (...) {
            m_reading = false;
            endResetModel();
            throw;
        }
        m_reading = false;
    }
    endResetModel();
}

TBookmark TDataSetTableModel::bookmarkAt(int row) const {
    if (row < 0 || row >= static_cast<int>(m_bookmarks.size())) return {};
    return m_bookmarks[static_cast<size_t>(row)];
}

int TDataSetTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int TDataSetTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_headers.size());
}

QVariant TDataSetTableModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= static_cast<int>(m_rows.size())) return {};
    const QStringList& row = m_rows[static_cast<size_t>(index.row())];
    return index.column() < row.size() ? QVariant(row[index.column()]) : QVariant();
}

QVariant TDataSetTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) return section < m_headers.size() ? QVariant(m_headers[section]) : QVariant();
    return section + 1;
}

}  // namespace xb
