// The colours of the editing grids: data rows alternately white and $F4FFE1, fixed cells (the headers)
// $C8B9C7. Colours written "$BBGGRR" are Windows colour values, blue in the high byte.
#pragma once

#include <QColor>
#include <QIdentityProxyModel>
#include <QStringList>
#include <cstdint>

class QTableView;

namespace app {

// A Windows colour value ($BBGGRR) as a QColor.
QColor WindowsColour(uint32_t bgr);

inline constexpr uint32_t kGridEvenRow = 0xFFFFFF;
inline constexpr uint32_t kGridOddRow = 0xF4FFE1;
inline constexpr uint32_t kGridFixed = 0xC8B9C7;

// Gives every row of the source model its background.
class StripedRowsModel : public QIdentityProxyModel {
    Q_OBJECT
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Column titles in place of the source's (an empty list gives the source's back).
    void setTitles(const QStringList& titles);

private:
    QStringList m_titles;
};

// Shows source in the view through a StripedRowsModel owned by the view, and paints the headers.
void ShowStriped(QTableView* view, QAbstractItemModel* source);

}  // namespace app
