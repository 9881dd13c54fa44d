// One laid-out page drawn onto any painter: preview, printer or PDF.

#include "platform/report/PainterWriter.h"

#include "platform/report/PageModel.h"
#include "platform/report/QrCode.h"
#include "platform/report/ReportLimits.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace {

// A hairline on paper: thin, but still visible at 1440 dpi.
constexpr int MinLineWidth = 10;

QPen BorderPen(const QColor& color, int width) {
    QPen pen(color, std::max(width, MinLineWidth));
    pen.setJoinStyle(Qt::MiterJoin);
    pen.setCapStyle(Qt::SquareCap);
    return pen;
}

// The dark modules as shapes, so that a PDF or a printer draws them sharp at any size.
QPainterPath QrPath(const PageItem& item) {
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    const double module = double(item.rect.width()) / item.picture.width();
    for (const QRect& run : QrCode::DarkRuns(item.picture))
        path.addRect(QRectF(item.rect.x() + run.x() * module, item.rect.y() + run.y() * module,
                            run.width() * module, run.height() * module));
    return path;
}

} // namespace

QFont PainterWriter::QtFont(const ReportFont& font) {
    QFont qfont(font.family);
    qfont.setPixelSize(std::max(1, int(std::lround(font.size * 20))));
    qfont.setBold(font.bold);
    qfont.setItalic(font.italic);
    qfont.setUnderline(font.underline);
    qfont.setHintingPreference(QFont::PreferNoHinting);
    return qfont;
}

int PainterWriter::WrappedHeight(const QString& text, const ReportFont& font, int width) {
    const QFontMetricsF metrics(QtFont(font));
    const QRectF bounds =
        metrics.boundingRect(QRectF(0, 0, std::max(width, 1), 1e7),
                             Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text);
    // A text of millions of lines is taller than any report may be; the layout refuses it, as
    // long as the height reaches it as a number an int can hold.
    return int(std::ceil(
        std::min(bounds.height(), double(ReportLimits::MaxTwips) * ReportLimits::MaxPages)));
}

void PainterWriter::Paint(const Page& page, QPainter& painter) {
    painter.save();
    for (const PageItem& item : page.items) {
        switch (item.kind) {
        case PageItem::Text:
            if (item.background.isValid())
                painter.fillRect(item.rect, item.background);
            if (!item.text.isEmpty()) {
                painter.setFont(QtFont(item.font));
                painter.setPen(item.color);
                painter.drawText(item.rect, item.alignment | (item.wrap ? Qt::TextWordWrap : 0),
                                 item.text);
            }
            if (item.borderWidth > 0) {
                painter.setPen(BorderPen(item.borderColor, item.borderWidth));
                painter.setBrush(Qt::NoBrush);
                painter.drawRect(item.rect);
            }
            break;
        case PageItem::Line:
            painter.setPen(BorderPen(item.borderColor, item.borderWidth));
            painter.drawLine(item.rect.topLeft(), QPoint(item.rect.x() + item.rect.width(),
                                                         item.rect.y() + item.rect.height()));
            break;
        case PageItem::Rectangle:
            if (item.background.isValid())
                painter.fillRect(item.rect, item.background);
            if (item.borderWidth > 0) {
                painter.setPen(BorderPen(item.borderColor, item.borderWidth));
                painter.setBrush(Qt::NoBrush);
                painter.drawRect(item.rect);
            }
            break;
        case PageItem::Picture:
            painter.drawImage(QRectF(item.rect), item.picture);
            break;
        case PageItem::QrCode:
            painter.fillPath(QrPath(item), item.color);
            break;
        }
    }
    painter.restore();
}
