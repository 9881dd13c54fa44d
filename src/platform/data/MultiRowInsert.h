#pragma once

#include <QString>
#include <QStringList>

// Rows of one table collected and written as one INSERT every few hundred rows, which is what
// makes a million rows take seconds instead of minutes. A row is its SQL literals in the order of
// the columns, as InsertRecord takes them. Rows left over are written by Flush, never by the
// destructor: a write that fails must raise where the caller can roll back.
class MultiRowInsert {
public:
    MultiRowInsert(const QString& table, const QString& columns);
    MultiRowInsert(const MultiRowInsert&) = delete;
    MultiRowInsert& operator=(const MultiRowInsert&) = delete;

    void Add(const QString& values);
    void Add(const QStringList& values) { Add(values.join(',')); }
    void Flush();

private:
    static constexpr int RowsPerStatement = 500;
    QString m_head;
    QString m_sql;
    int m_rows = 0;
};

// Rows of SQL literals as a table named v, whose columns are column1, column2, ... (what both
// engines call a VALUES list's columns): one statement joins it to give each row of a batch its
// own value, where a CASE over the keys would be walked by every row.
QString ValuesTable(const QStringList& rows);
