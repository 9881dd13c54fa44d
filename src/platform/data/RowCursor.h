#pragma once

#include <QString>
#include <QVariant>

class Rows;

// The current row of an answer read forward once (DataAccess::ForEachRow): a reader that walks
// a whole table copies each value it needs straight out of the engine's buffer instead of a
// QVariant for every value of every row. Every value reads as the same row of GetRows would.
class RowCursor {
public:
    virtual ~RowCursor() = default;

    // The value as GetRows holds it (NULL an invalid QVariant).
    virtual QVariant Value(int column) const = 0;
    virtual bool IsNull(int column) const { return !Value(column).isValid(); }
    // Utility::SqlNumber of the value.
    virtual double Number(int column) const;
    virtual qint32 Int(int column) const { return Value(column).toInt(); }
    virtual QString Text(int column) const { return Value(column).toString(); }
    // Text's UTF-8; an engine that holds the row as UTF-8 lends its own bytes, valid until the
    // cursor moves on.
    virtual QByteArray Utf8(int column) const { return Text(column).toUtf8(); }
};

// Row r of rows as a cursor: the readers that take a cursor also serve answers already read.
class RowsCursor : public RowCursor {
public:
    RowsCursor(const Rows& rows, int row) : m_rows(rows), m_row(row) {}
    QVariant Value(int column) const override;

private:
    const Rows& m_rows;
    int m_row;
};
