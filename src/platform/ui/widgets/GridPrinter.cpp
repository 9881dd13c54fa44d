// The grid on paper: its visible columns and rows as a paginated table.

#include "platform/ui/widgets/GridPrinter.h"

#include "platform/data/DataAccess.h"
#include "platform/ui/widgets/GridModel.h"

#include <algorithm>

PageModel GridPrinter::Pages(const GridModel& grid, const QVector<int>& widths,
                             const QVector<bool>& numeric, const QString& fontName,
                             const QString& title, const QString& subtitle, QSize paper) {
    constexpr int margin = 720; // half an inch
    constexpr int rowHeight = 260;
    constexpr int cellPadding = 60;
    const ReportFont titleFont{fontName, 14, true};
    const ReportFont subtitleFont{fontName, 10};
    const ReportFont headFont{fontName, 9, true};
    const ReportFont bodyFont{fontName, 9};

    QVector<int> visible;
    int units = 0;
    for (int c = 0; c < grid.columns.size(); ++c) {
        const int width = widths.value(c, 10);
        if (width > 0) {
            visible << c;
            units += width;
        }
    }
    const int usableWidth = paper.width() - 2 * margin;
    QVector<int> lefts;
    QVector<int> printWidths;
    int x = margin;
    for (int c : visible) {
        const int width = units > 0 ? usableWidth * widths.value(c, 10) / units : 0;
        lefts << x;
        printWidths << width;
        x += width;
    }

    QVector<const GridRow*> rows;
    for (const GridRow& row : grid.rows)
        if (!row.newLine)
            rows << &row;

    const int headTop = margin + 420 + 320;
    const int bodyTop = headTop + rowHeight + 40;
    const int footerTop = paper.height() - margin - rowHeight;
    const int perPage = std::max(1, (footerTop - bodyTop) / rowHeight);
    const int pages = std::max<int>(1, int((rows.size() + perPage - 1) / perPage));

    auto text = [](QRect rect, const QString& value, const ReportFont& font, int alignment) {
        PageItem item;
        item.kind = PageItem::Text;
        item.rect = rect;
        item.text = value;
        item.font = font;
        item.alignment = alignment;
        return item;
    };
    auto line = [](int left, int top, int width) {
        PageItem item;
        item.kind = PageItem::Line;
        item.rect = QRect(left, top, width, 0);
        return item;
    };

    PageModel model;
    for (int p = 0; p < pages; ++p) {
        Page& page = model.AddPage(paper);
        page.items << text(QRect(margin, margin, usableWidth, 420), title, titleFont,
                           Qt::AlignLeft | Qt::AlignVCenter);
        page.items << text(QRect(margin, margin + 420, usableWidth, 320), subtitle, subtitleFont,
                           Qt::AlignLeft | Qt::AlignVCenter);
        for (int i = 0; i < visible.size(); ++i) {
            const int align =
                (numeric.value(visible[i]) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
            page.items << text(
                QRect(lefts[i] + cellPadding, headTop, printWidths[i] - 2 * cellPadding, rowHeight),
                grid.columns[visible[i]], headFont, align);
        }
        page.items << line(margin, headTop + rowHeight + 20, usableWidth);
        const int first = p * perPage;
        const int last = std::min<int>(int(rows.size()), first + perPage);
        for (int r = first; r < last; ++r) {
            const int top = bodyTop + (r - first) * rowHeight;
            for (int i = 0; i < visible.size(); ++i) {
                const int align =
                    (numeric.value(visible[i]) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
                page.items << text(
                    QRect(lefts[i] + cellPadding, top, printWidths[i] - 2 * cellPadding, rowHeight),
                    rows[r]->cells[visible[i]], bodyFont, align);
            }
        }
        page.items << text(QRect(margin, footerTop, usableWidth, rowHeight),
                           Db().Translate("Página") + " " + QString::number(p + 1) + " " +
                               Db().Translate("de") + " " + QString::number(pages),
                           bodyFont, Qt::AlignRight | Qt::AlignVCenter);
    }
    return model;
}
