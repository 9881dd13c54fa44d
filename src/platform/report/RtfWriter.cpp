// A laid-out document as RTF: a section per page, every text in a positioned frame.

#include "platform/report/RtfWriter.h"

#include "platform/report/PageModel.h"

#include <QBuffer>
#include <QIODevice>
#include <QStringList>

namespace {

QByteArray Escape(const QString& text) {
    QByteArray out;
    for (const QChar c : text) {
        const ushort code = c.unicode();
        if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += char(code);
        } else if (c == '\n') {
            out += "\\line ";
        } else if (c == '\t') {
            out += "\\tab ";
        } else if (code >= 32 && code < 128) {
            out += char(code);
        } else if (code >= 32) {
            // Unicode with "?" for readers that do not know \u.
            out += "\\u" + QByteArray::number(qint16(code)) + "?";
        }
    }
    return out;
}

class Tables {
public:
    int Font(const QString& family) {
        if (!m_fonts.contains(family))
            m_fonts.append(family);
        return int(m_fonts.indexOf(family));
    }
    // Colour table entries are numbered from 1; 0 is the reader's default.
    int Color(const QColor& color) {
        const QRgb rgb = color.rgb();
        if (!m_colors.contains(rgb))
            m_colors.append(rgb);
        return int(m_colors.indexOf(rgb)) + 1;
    }
    QByteArray Header() const {
        QByteArray out = "{\\fonttbl";
        for (int i = 0; i < m_fonts.size(); ++i)
            out +=
                "{\\f" + QByteArray::number(i) + "\\fswiss\\fcharset0 " + Escape(m_fonts[i]) + ";}";
        out += "}\n{\\colortbl;";
        for (const QRgb rgb : m_colors)
            out += "\\red" + QByteArray::number(qRed(rgb)) + "\\green" +
                   QByteArray::number(qGreen(rgb)) + "\\blue" + QByteArray::number(qBlue(rgb)) +
                   ";";
        return out + "}\n";
    }

private:
    QStringList m_fonts;
    QVector<QRgb> m_colors;
};

// A frame placed on the page, in twips from its top-left corner.
QByteArray Frame(const QRect& rect) {
    return "\\pard\\plain\\pvpg\\phpg\\posx" + QByteArray::number(rect.x()) + "\\posy" +
           QByteArray::number(rect.y()) + "\\absw" + QByteArray::number(std::max(rect.width(), 1)) +
           "\\absh-" + QByteArray::number(std::max(rect.height(), 1)) + "\\nowrap";
}

QByteArray Border(const PageItem& item, Tables& tables) {
    QByteArray out;
    if (item.borderWidth > 0)
        out += "\\box\\brdrs\\brdrw" + QByteArray::number(std::min(item.borderWidth, 75)) +
               "\\brdrcf" + QByteArray::number(tables.Color(item.borderColor));
    if (item.background.isValid())
        out += "\\cbpat" + QByteArray::number(tables.Color(item.background));
    return out;
}

// A filled paragraph is shaded only as high as its line; an exact line height as tall as the
// frame shades the whole frame.
QByteArray ExactHeight(const QRect& rect) {
    return "\\sl-" + QByteArray::number(std::max(rect.height(), 1)) + "\\slmult0";
}

// A filled or bordered box without text of its own (a band behind column titles, a frame
// around the client): without it white titles would be white on white.
QByteArray BoxFrame(const PageItem& item, Tables& tables) {
    return "{" + Frame(item.rect) + Border(item, tables) + ExactHeight(item.rect) +
           "\\fs2 \\par}\n";
}

// fill: the background of the box the text lies on, when it has none of its own. Some readers
// paint a text frame white over whatever lies beneath it, so the frame carries that fill itself.
QByteArray TextFrame(PageItem item, const QColor& fill, Tables& tables) {
    if (!item.background.isValid())
        item.background = fill;
    QByteArray out = "{" + Frame(item.rect) + Border(item, tables);
    if (item.background.isValid() && !item.wrap && !item.text.contains('\n'))
        out += ExactHeight(item.rect);
    out += (item.alignment & Qt::AlignRight)     ? "\\qr"
           : (item.alignment & Qt::AlignHCenter) ? "\\qc"
                                                 : "\\ql";
    out += "\\f" + QByteArray::number(tables.Font(item.font.family)) + "\\fs" +
           QByteArray::number(qRound(item.font.size * 2));
    if (item.font.bold)
        out += "\\b";
    if (item.font.italic)
        out += "\\i";
    if (item.font.underline)
        out += "\\ul";
    out += "\\cf" + QByteArray::number(tables.Color(item.color)) + " ";
    return out + Escape(item.text) + "\\par}\n";
}

QByteArray PictureFrame(const PageItem& item) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    item.picture.save(&buffer, "PNG");
    return "{" + Frame(item.rect) + "{\\pict\\pngblip\\picw" +
           QByteArray::number(item.picture.width()) + "\\pich" +
           QByteArray::number(item.picture.height()) + "\\picwgoal" +
           QByteArray::number(item.rect.width()) + "\\pichgoal" +
           QByteArray::number(item.rect.height()) + "\n" + png.toHex() + "}\\par}\n";
}

// A picture of whole pixels per module: a word processor that smooths a picture it stretches
// would blur the modules of the bare symbol.
QByteArray QrFrame(PageItem item) {
    constexpr int PixelsPerModule = 8;
    QImage symbol = item.picture;
    symbol.setColorTable({qRgb(255, 255, 255), item.color.rgb()});
    item.picture = symbol.scaled(symbol.size() * PixelsPerModule, Qt::IgnoreAspectRatio,
                                 Qt::FastTransformation);
    return PictureFrame(item);
}

bool IsBox(const PageItem& item) {
    return (item.kind == PageItem::Rectangle ||
            (item.kind == PageItem::Text && item.text.isEmpty())) &&
           (item.background.isValid() || item.borderWidth > 0);
}

QByteArray PageBody(const Page& page, Tables& tables) {
    QByteArray body;
    QVector<const PageItem*> filled;
    for (const PageItem& item : page.items) {
        if (IsBox(item)) {
            body += BoxFrame(item, tables);
            if (item.background.isValid())
                filled.append(&item);
        } else if (item.kind == PageItem::Text && !item.text.isEmpty()) {
            QColor fill;
            for (const PageItem* box : filled)
                if (box->rect.contains(item.rect.center()))
                    fill = box->background;
            body += TextFrame(item, fill, tables);
        } else if (item.kind == PageItem::Picture && !item.picture.isNull()) {
            body += PictureFrame(item);
        } else if (item.kind == PageItem::QrCode) {
            body += QrFrame(item);
        }
    }
    return body;
}

} // namespace

QByteArray RtfWriter::ToRtf(const PageModel& model) {
    Tables tables;
    tables.Font("Arial");
    tables.Color(Qt::black);
    QByteArray body;
    for (int i = 0; i < model.PageCount(); ++i) {
        const Page& page = model.PageAt(i);
        if (i > 0)
            body += "\\sect";
        body += "\\sectd\\sbkpage\\pgwsxn" + QByteArray::number(page.paper.width()) + "\\pghsxn" +
                QByteArray::number(page.paper.height()) +
                "\\marglsxn0\\margrsxn0\\margtsxn0\\margbsxn0\n" + PageBody(page, tables);
        // Frames anchor to a paragraph of the page's own flow.
        body += "\\pard\\plain\\fs2\\par\n";
    }
    const QSize first = model.IsEmpty() ? QSize(11906, 16838) : model.PageAt(0).paper;
    const QByteArray info = model.Title().isEmpty()
                                ? QByteArray()
                                : "{\\info{\\title " + Escape(model.Title()) + "}}\n";
    return "{\\rtf1\\ansi\\ansicpg1252\\uc1\\deff0\n" + tables.Header() + info + "\\paperw" +
           QByteArray::number(first.width()) + "\\paperh" + QByteArray::number(first.height()) +
           "\\margl0\\margr0\\margt0\\margb0\n" + body + "}\n";
}

bool RtfWriter::Write(const PageModel& model, const QString& path) {
    return Commit(path, [&](QIODevice& device) {
        const QByteArray data = ToRtf(model);
        return device.write(data) == data.size();
    });
}
