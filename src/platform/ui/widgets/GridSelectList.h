#pragma once

#include <QString>
#include <QVector>

// The select list of the grid's SQL text, column by column: what each alias stands for, so that a
// row shown under the aliases can be written back to the table its columns come from.
class GridSelectList {
public:
    struct Column {
        QString expression; // as written before AS
        QString table;      // part before the last dot, empty when none
        QString column;     // part after the last dot; empty when the expression is not a column
    };

    // Reads the list between SELECT and FROM; an SQL text without them gives no columns.
    static GridSelectList Parse(const QString& sql);

    int Size() const { return int(m_columns.size()); }
    const Column& At(int index) const { return m_columns[index]; }

    // Whether the column at index is a column of table (or of no named table), so that saving a
    // row into table writes it.
    bool OfTable(int index, const QString& table) const;

private:
    QVector<Column> m_columns;
};
