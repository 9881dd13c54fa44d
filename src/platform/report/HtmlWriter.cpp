// A laid-out document as one HTML file, every item positioned as on paper.

#include "platform/report/HtmlWriter.h"

#include "platform/report/PageModel.h"
#include "platform/report/QrCode.h"

#include <QBuffer>
#include <QIODevice>

namespace {

// CSS lengths in points: a twip is a twentieth of a point.
QString Pt(int twips) {
    return QString::number(twips / 20.0, 'f', 2) + "pt";
}

QString Color(const QColor& color) {
    return color.name(QColor::HexRgb);
}

QString Box(const QRect& rect) {
    return QString("left:%1;top:%2;width:%3;height:%4;")
        .arg(Pt(rect.x()), Pt(rect.y()), Pt(rect.width()), Pt(rect.height()));
}

QString Decoration(const PageItem& item) {
    QString style;
    if (item.background.isValid())
        style += "background:" + Color(item.background) + ";";
    if (item.borderWidth > 0)
        style += "border:" + Pt(item.borderWidth) + " solid " + Color(item.borderColor) + ";";
    return style;
}

QString TextDiv(const PageItem& item) {
    QString style = Box(item.rect) + Decoration(item);
    style += QString("font-family:'%1',sans-serif;font-size:%2pt;")
                 .arg(item.font.family.toHtmlEscaped(), QString::number(item.font.size));
    if (item.font.bold)
        style += "font-weight:bold;";
    if (item.font.italic)
        style += "font-style:italic;";
    if (item.font.underline)
        style += "text-decoration:underline;";
    if (item.color != Qt::black)
        style += "color:" + Color(item.color) + ";";
    if (item.alignment & Qt::AlignRight)
        style += "text-align:right;";
    else if (item.alignment & Qt::AlignHCenter)
        style += "text-align:center;";
    style += item.wrap ? "white-space:pre-wrap;" : "white-space:pre;";
    return "<div class=\"t\" style=\"" + style + "\">" +
           ReportWriter::Printable(item.text).toHtmlEscaped() + "</div>\n";
}

QString Picture(const PageItem& item) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    item.picture.save(&buffer, "PNG");
    return "<img alt=\"\" style=\"" + Box(item.rect) + "\" src=\"data:image/png;base64," +
           QString::fromLatin1(png.toBase64()) + "\">\n";
}

// Vectors in module units, so that a browser draws the code sharp at any zoom.
QString QrSvg(const PageItem& item) {
    QString path;
    for (const QRect& run : QrCode::DarkRuns(item.picture))
        path += QString("M%1 %2h%3v1h-%3z").arg(run.x()).arg(run.y()).arg(run.width());
    return QString("<svg style=\"%1\" viewBox=\"0 0 %2 %2\" shape-rendering=\"crispEdges\">"
                   "<title>%3</title><path fill=\"%4\" d=\"%5\"/></svg>\n")
        .arg(Box(item.rect))
        .arg(item.picture.width())
        .arg(item.text.toHtmlEscaped(), Color(item.color), path);
}

QString Lines(const Page& page) {
    QString lines;
    for (const PageItem& item : page.items)
        if (item.kind == PageItem::Line)
            lines += QString("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%4\" stroke=\"%5\" "
                             "stroke-width=\"%6\"/>")
                         .arg(item.rect.x())
                         .arg(item.rect.y())
                         .arg(item.rect.x() + item.rect.width())
                         .arg(item.rect.y() + item.rect.height())
                         .arg(Color(item.borderColor))
                         .arg(std::max(item.borderWidth, 10));
    if (lines.isEmpty())
        return {};
    // Lines are drawn in twips through the viewBox, so they land exactly where the printer puts
    // them.
    return QString("<svg width=\"%1\" height=\"%2\" viewBox=\"0 0 %3 %4\">")
               .arg(Pt(page.paper.width()), Pt(page.paper.height()))
               .arg(page.paper.width())
               .arg(page.paper.height()) +
           lines + "</svg>\n";
}

// The document's paper sizes in the order they first appear.
QVector<QSize> PaperSizes(const PageModel& model) {
    QVector<QSize> sizes;
    for (int i = 0; i < model.PageCount(); ++i)
        if (!sizes.contains(model.PageAt(i).paper))
            sizes.append(model.PageAt(i).paper);
    return sizes;
}

// A browser prints each page on a sheet of its own size: the first paper size is the default
// @page, every other size a named one that its pages ask for.
QString PageRules(const QVector<QSize>& sizes) {
    QString rules;
    for (int i = 0; i < sizes.size(); ++i)
        rules += QString("@page%1{size:%2 %3;margin:0;}\n")
                     .arg(i == 0 ? QString() : QString(" paper%1").arg(i), Pt(sizes[i].width()),
                          Pt(sizes[i].height()));
    return rules;
}

} // namespace

QString HtmlWriter::ToHtml(const PageModel& model) {
    const QString title = model.Title().isEmpty() ? "Informe" : model.Title();
    const QVector<QSize> sizes = PaperSizes(model);
    QString html = "<!DOCTYPE html>\n<html lang=\"es\">\n<head>\n<meta charset=\"utf-8\">\n"
                   "<title>" +
                   title.toHtmlEscaped() +
                   "</title>\n<style>\n"
                   "body{background:#808080;margin:0;padding:12pt 0;}\n"
                   ".page{position:relative;overflow:hidden;background:#fff;margin:0 auto 12pt;"
                   "box-shadow:3pt 3pt 6pt rgba(0,0,0,0.35);}\n"
                   ".page div,.page img,.page svg{position:absolute;box-sizing:border-box;"
                   "margin:0;}\n.page svg{left:0;top:0;}\n.t{overflow:hidden;line-height:1.15;}\n" +
                   PageRules(sizes) +
                   // A browser rounds the sheet to its own units, a little shorter than the page
                   // at times; contained, the page is then clipped by a hair instead of spilling
                   // onto a sheet of its own.
                   "@media print{body{background:none;padding:0;}.page{box-shadow:none;margin:0;"
                   "contain:size layout paint;}.page+.page{break-before:page;}}\n</style>\n"
                   "</head>\n<body>\n";
    for (int i = 0; i < model.PageCount(); ++i) {
        const Page& page = model.PageAt(i);
        const int size = int(sizes.indexOf(page.paper));
        html += QString("<div class=\"page\" id=\"page%1\" style=\"width:%2;height:%3;%4\">\n")
                    .arg(i + 1)
                    .arg(Pt(page.paper.width()), Pt(page.paper.height()),
                         size > 0 ? QString("page:paper%1;").arg(size) : QString());
        for (const PageItem& item : page.items) {
            switch (item.kind) {
            case PageItem::Text:
                html += TextDiv(item);
                break;
            case PageItem::Rectangle:
                html += "<div style=\"" + Box(item.rect) + Decoration(item) + "\"></div>\n";
                break;
            case PageItem::Picture:
                html += Picture(item);
                break;
            case PageItem::QrCode:
                html += QrSvg(item);
                break;
            case PageItem::Line:
                break;
            }
        }
        html += Lines(page) + "</div>\n";
    }
    return html + "</body>\n</html>\n";
}

bool HtmlWriter::Write(const PageModel& model, const QString& path) {
    return Commit(path, [&](QIODevice& device) {
        const QByteArray data = ToHtml(model).toUtf8();
        return device.write(data) == data.size();
    });
}
