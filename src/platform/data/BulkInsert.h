#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

// Rows of one table collected and handed to the engine a few hundred at a time, which writes them
// through one statement prepared once per connection with each row's values bound: a million
// rows take seconds, and no value is ever spelled as SQL. A row is its values in the order of the
// columns: integers, reals, texts (money as its exact text), NULL as an invalid QVariant. Rows
// left over are written by Flush, never by the destructor: a write that fails must raise where
// the caller can roll back.
class BulkInsert {
public:
    BulkInsert(const QString& table, const QString& columns);
    BulkInsert(const BulkInsert&) = delete;
    BulkInsert& operator=(const BulkInsert&) = delete;

    void Add(QVariantList values);
    void Flush();

private:
    static constexpr int RowsPerFlush = 512;
    QString m_table;
    QString m_columns;
    QList<QVariantList> m_rows;
};

// A row of values as the SQL literals InsertRecord takes, for a row written alone that needs the
// key the database gives it.
QString SqlLiterals(const QVariantList& row);

// Rows of SQL literals as a table named v, whose columns are column1, column2, ... (what both
// engines call a VALUES list's columns): one statement joins it to give each row of a batch its
// own value, where a CASE over the keys would be walked by every row.
QString ValuesTable(const QStringList& rows);
