// Rows of one table collected and written a few hundred at a time with their values bound.

#include "platform/data/BulkInsert.h"

#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"

BulkInsert::BulkInsert(const QString& table, const QString& columns)
    : m_table(table), m_columns(columns) {}

void BulkInsert::Add(QVariantList values) {
    m_rows.append(std::move(values));
    if (m_rows.size() == RowsPerFlush)
        Flush();
}

void BulkInsert::Flush() {
    if (m_rows.isEmpty())
        return;
    Db().InsertRows(m_table, m_columns, m_rows);
    m_rows.clear();
}

QString SqlLiterals(const QVariantList& row) {
    QStringList literals;
    literals.reserve(row.size());
    for (const QVariant& value : row)
        literals << U().SqlValue(value, 0, true);
    return literals.join(',');
}

QString ValuesTable(const QStringList& rows) {
    return "(VALUES (" + rows.join("),(") + ")) AS v";
}
