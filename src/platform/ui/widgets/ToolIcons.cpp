// The tool icons, drawn at run time in one line style.

#include "platform/ui/widgets/ToolIcons.h"

#include <QFont>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <algorithm>
#include <functional>
#include <utility>

namespace {
constexpr int Side = 24; // logical size of every tool icon

// The two colours of a drawing: its lines and its highlight (both grey when disabled).
struct Inks {
    QColor line;
    QColor accent;
};

using Painting = std::function<void(QPainter&, const Inks&)>;

// A square of side pixels with the drawing scaled to it.
QPixmap Draw(int side, const Inks& inks, const Painting& paint) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(qreal(side) / Side, qreal(side) / Side);
    p.setPen(QPen(inks.line, 1.7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    paint(p, inks);
    return pixmap;
}

// Drawn when a button first paints it, at the size and in the mode it is shown: a window carries
// a dozen icons, few of them ever disabled, and drawing each up front in both modes at a size for
// any screen took a good part of opening the window.
class DrawnIcon : public QIconEngine {
public:
    explicit DrawnIcon(Painting paint) : m_paint(std::move(paint)) {}

    QIconEngine* clone() const override { return new DrawnIcon(*this); }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = std::min(size.width(), size.height());
        return {side, side};
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
        const int side = std::min(size.width(), size.height());
        if (side <= 0)
            return {};
        const bool disabled = mode == QIcon::Disabled;
        const quint64 key = quint64(side) << 1 | quint64(disabled);
        if (const auto cached = m_drawn.constFind(key); cached != m_drawn.cend())
            return *cached;
        const QColor grey(0xA0, 0xA8, 0xB2);
        const Inks inks = disabled ? Inks{grey, grey} : Inks{ToolIcons::Ink(), ToolIcons::Accent()};
        return *m_drawn.insert(key, Draw(side, inks, m_paint));
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : 1;
        QPixmap drawn = pixmap(rect.size() * ratio, mode, state);
        drawn.setDevicePixelRatio(ratio);
        painter->drawPixmap(rect.topLeft(), drawn);
    }

private:
    Painting m_paint;
    QHash<quint64, QPixmap> m_drawn; // by side in pixels and whether disabled
};

void Accented(QPainter& p, const QColor& colour, qreal width = 1.7) {
    QPen pen = p.pen();
    pen.setColor(colour);
    pen.setWidthF(width);
    p.setPen(pen);
}

void Printer(QPainter& p, const Inks& inks) {
    p.drawRoundedRect(QRectF(3.5, 9, 17, 8), 2, 2);
    p.drawRect(QRectF(7, 4, 10, 5));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(7, 14, 10, 6.5));
    p.setBrush(inks.accent);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(17.5, 11.8), 1.1, 1.1);
}

void Arrow(QPainter& p, const Inks& inks, bool left) {
    const qreal tip = left ? 8 : 16;
    const qreal tail = left ? 14.5 : 9.5;
    QPainterPath path;
    path.moveTo(tail, 5.5);
    path.lineTo(tip, 12);
    path.lineTo(tail, 18.5);
    Accented(p, inks.line, 2.4);
    p.drawPath(path);
}

// To the first or the last: the arrow against a bar, the bar in the highlight.
void ArrowToEnd(QPainter& p, const Inks& inks, bool first) {
    p.save();
    p.translate(first ? 2 : -2, 0);
    Arrow(p, inks, first);
    p.restore();
    Accented(p, inks.accent, 2.4);
    const qreal bar = first ? 6 : 18;
    p.drawLine(QPointF(bar, 5.5), QPointF(bar, 18.5));
}

void Export(QPainter& p, const Inks& inks) {
    QPainterPath page;
    page.moveTo(12, 3.5);
    page.lineTo(6, 3.5);
    page.lineTo(6, 20.5);
    page.lineTo(18, 20.5);
    page.lineTo(18, 14);
    p.drawPath(page);
    Accented(p, inks.accent);
    p.drawLine(QPointF(11, 12), QPointF(20, 4));
    p.drawLine(QPointF(15, 4), QPointF(20, 4));
    p.drawLine(QPointF(20, 4), QPointF(20, 9));
}

void Zoom(QPainter& p, const Inks& inks) {
    p.drawEllipse(QPointF(10.5, 10.5), 6, 6);
    Accented(p, inks.line, 2.6);
    p.drawLine(QPointF(15, 15), QPointF(20.5, 20.5));
    Accented(p, inks.accent, 1.6);
    p.drawLine(QPointF(7.5, 10.5), QPointF(13.5, 10.5));
    p.drawLine(QPointF(10.5, 7.5), QPointF(10.5, 13.5));
}

void Mail(QPainter& p, const Inks& inks) {
    p.drawRoundedRect(QRectF(3.5, 6, 17, 12.5), 1.5, 1.5);
    Accented(p, inks.accent);
    QPainterPath flap;
    flap.moveTo(4.5, 7.5);
    flap.lineTo(12, 13);
    flap.lineTo(19.5, 7.5);
    p.drawPath(flap);
}

void Fax(QPainter& p, const Inks& inks) {
    p.drawRoundedRect(QRectF(3.5, 10, 17, 10), 2, 2);
    p.drawRect(QRectF(7.5, 3.5, 9, 6.5));
    Accented(p, inks.accent, 1.3);
    for (int row = 0; row < 2; ++row)
        for (int column = 0; column < 3; ++column)
            p.drawPoint(QPointF(12.5 + column * 2.6, 13.5 + row * 3));
    p.drawLine(QPointF(6.5, 13.5), QPointF(9.5, 13.5));
}

void People(QPainter& p, const Inks& inks) {
    Accented(p, inks.accent);
    p.drawEllipse(QPointF(16.5, 8.5), 2.6, 2.6);
    p.drawArc(QRectF(12, 13, 9.5, 9), 0, 180 * 16);
    Accented(p, inks.line);
    p.drawEllipse(QPointF(9, 8), 3.2, 3.2);
    p.drawArc(QRectF(3, 13.5, 12, 10), 0, 180 * 16);
}

void Chart(QPainter& p, const Inks& inks) {
    p.drawLine(QPointF(3.5, 20.5), QPointF(20.5, 20.5));
    p.setPen(Qt::NoPen);
    p.setBrush(inks.line);
    p.drawRoundedRect(QRectF(5, 12, 3.5, 7), 0.8, 0.8);
    p.setBrush(inks.accent);
    p.drawRoundedRect(QRectF(10.3, 6, 3.5, 13), 0.8, 0.8);
    p.setBrush(inks.line);
    p.drawRoundedRect(QRectF(15.6, 9.5, 3.5, 9.5), 0.8, 0.8);
}

void Barcode(QPainter& p, const Inks& inks) {
    p.setPen(Qt::NoPen);
    p.setBrush(inks.line);
    const qreal widths[] = {1.4, 0.8, 2.2, 0.8, 1.4, 2.2, 0.8, 1.4};
    qreal x = 4;
    for (const qreal width : widths) {
        p.drawRect(QRectF(x, 5, width, 11));
        x += width + 1.2;
    }
    p.setBrush(inks.accent);
    p.drawRoundedRect(QRectF(13, 15.5, 8, 6), 1.2, 1.2);
    p.setPen(QPen(Qt::white, 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(17, 16.8), QPointF(17, 20.2));
    p.drawLine(QPointF(15.3, 18.5), QPointF(18.7, 18.5));
}

void History(QPainter& p, const Inks& inks) {
    p.drawArc(QRectF(4, 4, 16, 16), 40 * 16, 290 * 16);
    QPainterPath head;
    head.moveTo(17.5, 2.8);
    head.lineTo(18.3, 6.6);
    head.lineTo(14.5, 7.2);
    p.drawPath(head);
    Accented(p, inks.accent);
    p.drawLine(QPointF(12, 8), QPointF(12, 12.5));
    p.drawLine(QPointF(12, 12.5), QPointF(15, 14.5));
}

void Cross(QPainter& p, const Inks& inks) {
    Accented(p, inks.line, 1.8);
    p.drawLine(QPointF(7, 7), QPointF(17, 17));
    p.drawLine(QPointF(17, 7), QPointF(7, 17));
}

QIcon Icon(Painting paint) {
    return QIcon(new DrawnIcon(std::move(paint)));
}
} // namespace

QColor ToolIcons::Ink() {
    return {0x33, 0x41, 0x55};
}

QColor ToolIcons::Accent() {
    return {0x25, 0x63, 0xEB};
}

QIcon ToolIcons::Get(Kind kind) {
    switch (kind) {
    case Kind::Print:
        return Icon(Printer);
    case Kind::Previous:
        return Icon([](QPainter& p, const Inks& inks) { Arrow(p, inks, true); });
    case Kind::Next:
        return Icon([](QPainter& p, const Inks& inks) { Arrow(p, inks, false); });
    case Kind::First:
        return Icon([](QPainter& p, const Inks& inks) { ArrowToEnd(p, inks, true); });
    case Kind::Last:
        return Icon([](QPainter& p, const Inks& inks) { ArrowToEnd(p, inks, false); });
    case Kind::Export:
        return Icon(Export);
    case Kind::Zoom:
        return Icon(Zoom);
    case Kind::Mail:
        return Icon(Mail);
    case Kind::Fax:
        return Icon(Fax);
    case Kind::People:
        return Icon(People);
    case Kind::Chart:
        return Icon(Chart);
    case Kind::Barcode:
        return Icon(Barcode);
    case Kind::History:
        return Icon(History);
    case Kind::Close:
        break;
    }
    return Icon(Cross);
}

QIcon ToolIcons::Letter(QChar letter) {
    return Icon([letter](QPainter& p, const Inks& inks) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xE2, 0xE8, 0xF0));
        p.drawRoundedRect(QRectF(3, 3, 18, 18), 4, 4);
        QFont font;
        font.setBold(true);
        font.setPixelSize(12);
        p.setFont(font);
        p.setPen(inks.line);
        p.drawText(QRectF(3, 3, 18, 18), Qt::AlignCenter, QString(letter.toUpper()));
    });
}
