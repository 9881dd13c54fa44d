#pragma once

// Whole rows compared as one text, and texts shown as text when an expectation fails.
#include "platform/data/Rows.h"
#include "platform/util/Utility.h"

#include <QStringList>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

// A line per row and '|' between values, numbers in their shortest exact form, so that a whole
// row compares at once and a difference shows where it is.
inline QString RowText(const Rows& rows) {
    QStringList lines;
    for (int r = 0; r < rows.RowCount(); ++r) {
        QStringList values;
        for (int c = 0; c < rows.ColumnCount(); ++c) {
            const QVariant v = rows(c, r);
            values << (v.typeId() == QMetaType::Double ? Utility::NumberText(v.toDouble())
                                                       : v.toString());
        }
        lines << values.join('|');
    }
    return lines.join('\n');
}
