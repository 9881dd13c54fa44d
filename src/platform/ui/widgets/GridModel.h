#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QVector>

class GridController;

struct GridRow {
    QStringList cells;
    qint32 comboId = 0;
    bool dirty = false;   // changed by the user and not saved since
    bool newLine = false; // the line for a new record at the bottom
};

// The rows the controller read with the window's SQL text, as display texts, plus the line for a
// new record. The controller fills and reshapes it; a cell the user edits goes back to the
// controller (UserEdit), which decides what the change means.
class GridModel : public QAbstractTableModel {
public:
    explicit GridModel(GridController* owner);

    QStringList columns; // the SQL aliases
    QVector<GridRow> rows;
    // Set by the editor just before it commits a value picked from the drop-down list.
    bool pickedFromList = false;

    using QAbstractTableModel::beginInsertRows;
    using QAbstractTableModel::beginRemoveRows;
    using QAbstractTableModel::beginResetModel;
    using QAbstractTableModel::endInsertRows;
    using QAbstractTableModel::endRemoveRows;
    using QAbstractTableModel::endResetModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    void RowChanged(int row);

private:
    GridController* m_owner;
};
