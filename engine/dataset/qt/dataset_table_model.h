// A grid model over a dataset: one row per record the dataset's cursor visits (so filters, hidden deleted
// records and the index order show exactly as the dataset sees them), one column per visible field.
// The rows are read again whenever the dataset reports a change of its data.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <vector>

#include "engine/dataset/dataset_framework.h"

namespace xb {

class TDataSetTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TDataSetTableModel(TDataSet* dataSet = nullptr, QObject* parent = nullptr);
    void setDataSet(TDataSet* dataSet);
    // Reads every row again.
    void reload();
    // The bookmark of a row (to go to it in the dataset); empty outside the rows.
    TBookmark bookmarkAt(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    TDataSource m_source;
    QStringList m_headers;
    std::vector<QStringList> m_rows;
    std::vector<TBookmark> m_bookmarks;
    bool m_reading = false;
};

}  // namespace xb
