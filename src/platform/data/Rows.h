#pragma once

#include <QStringList>
#include <QVariant>
#include <QVector>

// The answer of DataAccess::GetRows: a two-dimensional array indexed (column, row), both from 0.
// A result with no row IsEmpty(); its column names are still known.
class Rows {
public:
    Rows() = default;
    Rows(QStringList columns, QVector<QVector<QVariant>> rowsByRow)
        : m_columns(std::move(columns)), m_rows(std::move(rowsByRow)) {}

    bool IsEmpty() const { return m_rows.isEmpty(); }
    int ColumnCount() const { return int(m_columns.size()); }
    int RowCount() const { return int(m_rows.size()); }
    const QStringList& ColumnNames() const { return m_columns; }

    // NULL (an invalid QVariant) outside the array.
    QVariant Value(int column, int row) const {
        if (row < 0 || row >= m_rows.size() || column < 0 || column >= m_rows[row].size())
            return {};
        return m_rows[row][column];
    }
    QVariant operator()(int column, int row) const { return Value(column, row); }
    // The column named (case-insensitive) in that row; NULL when there is no such column.
    QVariant Value(const QString& column, int row) const {
        for (int i = 0; i < m_columns.size(); ++i)
            if (m_columns[i].compare(column, Qt::CaseInsensitive) == 0)
                return Value(i, row);
        return {};
    }

private:
    QStringList m_columns;
    QVector<QVector<QVariant>> m_rows;
};
