// The grid's rows as the table view reads them: texts, alignment and headers.

#include "platform/ui/widgets/GridModel.h"

#include "platform/ui/widgets/GridController.h"

#include <QFont>

GridModel::GridModel(GridController* owner) : QAbstractTableModel(owner), m_owner(owner) {}

int GridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows.size());
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(columns.size());
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const GridRow& row = rows[index.row()];
    const int col = index.column();
    switch (role) {
    case Qt::DisplayRole:
        if (row.newLine && col == 0 && row.cells[0].isEmpty())
            return QStringLiteral("*");
        return row.cells[col];
    case Qt::EditRole:
        return row.cells[col];
    case Qt::TextAlignmentRole:
        return int(Qt::AlignVCenter |
                   (IsNumericColumn(m_owner->Type(col)) ? Qt::AlignRight : Qt::AlignLeft));
    case Qt::FontRole:
        if (row.dirty) {
            // A change that could not be saved stays visible, marked as such.
            QFont font;
            font.setItalic(true);
            return font;
        }
        return {};
    default:
        return {};
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section < columns.size())
        return columns[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && m_owner->CellEditable(index.row(), index.column()))
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool GridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    const bool fromList = pickedFromList;
    pickedFromList = false;
    m_owner->UserEdit(index.row() + 1, index.column() + 1, value.toString(), fromList);
    return true;
}

void GridModel::RowChanged(int row) {
    Q_EMIT dataChanged(index(row, 0), index(row, int(columns.size()) - 1));
}
