#pragma once

#include "platform/report/PageModel.h"

#include <QSize>
#include <QString>
#include <QVector>

class GridModel;

// The grid on paper: its visible columns and stored rows as a table under a title and a
// subtitle, paginated on paper (twips); every page repeats the column heads and carries
// "Página n de m". Columns share the width in proportion to their widths in characters.
namespace GridPrinter {

// widths: per column, in characters (0 hides; a missing one counts 10); numeric: per column,
// right-aligned.
PageModel Pages(const GridModel& grid, const QVector<int>& widths, const QVector<bool>& numeric,
                const QString& fontName, const QString& title, const QString& subtitle,
                QSize paper);

} // namespace GridPrinter
