// Rows of one table collected and written a few hundred at a time in one INSERT.

#include "platform/data/MultiRowInsert.h"

#include "platform/data/DataAccess.h"

MultiRowInsert::MultiRowInsert(const QString& table, const QString& columns)
    : m_head("INSERT INTO " + table + " (" + columns + ") VALUES ") {}

void MultiRowInsert::Add(const QString& values) {
    m_sql += (m_rows == 0 ? m_head : QStringLiteral(",")) + "(" + values + ")";
    if (++m_rows == RowsPerStatement)
        Flush();
}

void MultiRowInsert::Flush() {
    if (m_rows == 0)
        return;
    Db().Execute(m_sql);
    m_sql.clear();
    m_rows = 0;
}

QString ValuesTable(const QStringList& rows) {
    return "(VALUES (" + rows.join("),(") + ")) AS v";
}
