// The grid on paper: its visible columns and rows as a paginated table.

#include "platform/ui/widgets/GridPrinter.h"

#include "platform/data/DataAccess.h"
#include "platform/ui/widgets/GridModel.h"

#include <algorithm>

namespace {

constexpr int Margin = 720; // half an inch
constexpr int RowHeight = 260;
constexpr int CellPadding = 60;

// The grid's visible columns laid across the paper in proportion to their widths on screen.
struct PrintedColumns {
    QVector<int> visible;
    QVector<int> lefts;
    QVector<int> widths;
};

PrintedColumns Across(const GridModel& grid, const QVector<int>& widths, int usableWidth) {
    PrintedColumns columns;
    int units = 0;
    for (int c = 0; c < grid.columns.size(); ++c) {
        const int width = widths.value(c, 10);
        if (width > 0) {
            columns.visible << c;
            units += width;
        }
    }
    int x = Margin;
    for (int c : columns.visible) {
        const int width = units > 0 ? usableWidth * widths.value(c, 10) / units : 0;
        columns.lefts << x;
        columns.widths << width;
        x += width;
    }
    return columns;
}

PageItem Text(QRect rect, const QString& value, const ReportFont& font, int alignment) {
    PageItem item;
    item.kind = PageItem::Text;
    item.rect = rect;
    item.text = value;
    item.font = font;
    item.alignment = alignment;
    return item;
}

// One printed row at `top`: the head's captions or a row's cells, numbers to the right.
void Row(Page& page, const PrintedColumns& columns, const QVector<bool>& numeric,
         const QStringList& cells, int top, const ReportFont& font) {
    for (int i = 0; i < columns.visible.size(); ++i) {
        const int c = columns.visible[i];
        const int align = (numeric.value(c) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
        page.items << Text(QRect(columns.lefts[i] + CellPadding, top,
                                 columns.widths[i] - 2 * CellPadding, RowHeight),
                           cells.value(c), font, align);
    }
}

} // namespace

PageModel GridPrinter::Pages(const GridModel& grid, const QVector<int>& widths,
                             const QVector<bool>& numeric, const QString& fontName,
                             const QString& title, const QString& subtitle, QSize paper) {
    const ReportFont titleFont{fontName, 14, true};
    const ReportFont subtitleFont{fontName, 10};
    const ReportFont headFont{fontName, 9, true};
    const ReportFont bodyFont{fontName, 9};
    const int usableWidth = paper.width() - 2 * Margin;
    const PrintedColumns columns = Across(grid, widths, usableWidth);

    QVector<const GridRow*> rows;
    for (const GridRow& row : grid.rows)
        if (!row.newLine)
            rows << &row;

    const int headTop = Margin + 420 + 320;
    const int bodyTop = headTop + RowHeight + 40;
    const int footerTop = paper.height() - Margin - RowHeight;
    const int perPage = std::max(1, (footerTop - bodyTop) / RowHeight);
    const int pages = std::max<int>(1, int((rows.size() + perPage - 1) / perPage));

    PageModel model;
    for (int p = 0; p < pages; ++p) {
        Page& page = model.AddPage(paper);
        page.items << Text(QRect(Margin, Margin, usableWidth, 420), title, titleFont,
                           Qt::AlignLeft | Qt::AlignVCenter);
        page.items << Text(QRect(Margin, Margin + 420, usableWidth, 320), subtitle, subtitleFont,
                           Qt::AlignLeft | Qt::AlignVCenter);
        Row(page, columns, numeric, grid.columns, headTop, headFont);
        PageItem rule;
        rule.kind = PageItem::Line;
        rule.rect = QRect(Margin, headTop + RowHeight + 20, usableWidth, 0);
        page.items << rule;
        const int first = p * perPage;
        const int last = std::min<int>(int(rows.size()), first + perPage);
        for (int r = first; r < last; ++r)
            Row(page, columns, numeric, rows[r]->cells, bodyTop + (r - first) * RowHeight,
                bodyFont);
        page.items << Text(QRect(Margin, footerTop, usableWidth, RowHeight),
                           Db().Translate("Página") + " " + QString::number(p + 1) + " " +
                               Db().Translate("de") + " " + QString::number(pages),
                           bodyFont, Qt::AlignRight | Qt::AlignVCenter);
    }
    return model;
}
