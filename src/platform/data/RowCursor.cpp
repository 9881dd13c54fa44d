// The cursor's readings that every engine shares.

#include "platform/data/RowCursor.h"

#include "platform/data/Rows.h"
#include "platform/util/Utility.h"

double RowCursor::Number(int column) const {
    return U().SqlNumber(Value(column));
}

QVariant RowsCursor::Value(int column) const {
    return m_rows(column, m_row);
}
