#pragma once

#include "platform/data/Rows.h"

// A forward-read record set handed out by DataAccess::OpenRecordset. The rows are read when it
// opens, so RecordCount is known at once and the set never holds a database cursor.
class Recordset {
public:
    struct Field {
        QString Name;
        QVariant Value; // NULL is an invalid QVariant
    };

    enum State { Closed = 0, Open = 1 };

    Recordset() = default;

    int State() const { return m_open ? Open : Closed; }
    // End of file: no current row (the name EOF is taken by the C library).
    bool Eof() const { return !m_open || m_row >= m_rows.RowCount(); }
    void MoveNext() { ++m_row; }
    int RecordCount() const { return m_open ? m_rows.RowCount() : 0; }
    int FieldCount() const { return m_rows.ColumnCount(); }
    void Close() {
        m_open = false;
        m_rows = {};
        m_row = 0;
    }

    // The current row's field by index from 0 or by name (case-insensitive);
    // an unknown field raises error 381.
    Field Fields(int index) const;
    Field Fields(const QString& name) const;

    // Used by DataAccess when it opens the set.
    void Assign(Rows rows) {
        m_rows = std::move(rows);
        m_row = 0;
        m_open = true;
    }

private:
    Rows m_rows;
    int m_row = 0;
    bool m_open = false;
};
