#pragma once

#include "QtPrinting.h"
#include "platform/data/Rows.h"
#include "platform/util/Utility.h"

#include <QStringList>

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
