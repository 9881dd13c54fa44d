// A laid-out document as PDF, every page on its own exact paper size.

#include "platform/report/PdfWriter.h"

#include "platform/report/PageModel.h"
#include "platform/report/PainterWriter.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>

namespace {

QPageLayout LayoutFor(QSize paper) {
    // Twips are twentieths of a point, so the size goes over in points without rounding to
    // millimetres or to a standard paper.
    const QPageSize size(QSizeF(paper.width() / 20.0, paper.height() / 20.0), QPageSize::Point,
                         QString(), QPageSize::ExactMatch);
    return QPageLayout(size, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0));
}

QByteArray Points(int twips) {
    return QByteArray::number(twips / 20.0, 'f', 2);
}

// Qt writes each page's MediaBox in whole points, which moves a custom paper by up to half a
// point. The boxes are rewritten with the exact size and the cross-reference offsets moved by
// what the rewriting added before them. Output of another shape is left as Qt wrote it.
QByteArray ExactPaper(const QByteArray& pdf, const PageModel& model) {
    static const QRegularExpression box(R"(/MediaBox \[0 0 [\d.]+ [\d.]+\])");
    static const QRegularExpression xref(R"(\nxref\n0 (\d+)\n)");
    static const QRegularExpression start(R"(startxref\n(\d+) ?\n%%EOF\s*$)");
    const QString text = QString::fromLatin1(pdf);
    QList<QRegularExpressionMatch> boxes;
    for (auto it = box.globalMatch(text); it.hasNext();)
        boxes.append(it.next());
    const auto table = xref.match(text);
    const auto startMatch = start.match(text);
    if (boxes.size() != model.PageCount() || !table.hasMatch() || !startMatch.hasMatch())
        return pdf;

    QByteArray out;
    QVector<std::pair<qsizetype, qsizetype>> shifts; // (old position, growth before it)
    qsizetype from = 0, growth = 0;
    for (int i = 0; i < boxes.size(); ++i) {
        const QSize paper = model.PageAt(i).paper;
        const QByteArray exact =
            "/MediaBox [0 0 " + Points(paper.width()) + " " + Points(paper.height()) + "]";
        out += pdf.mid(from, boxes[i].capturedStart() - from) + exact;
        from = boxes[i].capturedEnd();
        growth += exact.size() - boxes[i].capturedLength();
        shifts.append({from, growth});
    }
    out += pdf.mid(from);
    const auto moved = [&](qsizetype offset) {
        qsizetype add = 0;
        for (const auto& [position, total] : shifts)
            if (position <= offset)
                add = total;
        return offset + add;
    };
    // Entries are 20 bytes: ten digits of offset, blank, five of generation, blank, type, EOL.
    const qsizetype entries = moved(table.capturedEnd());
    for (int i = 0; i < table.captured(1).toInt(); ++i) {
        const qsizetype at = entries + qsizetype(i) * 20;
        if (out.mid(at + 17, 1) != "n")
            continue;
        const QByteArray offset =
            QByteArray::number(moved(out.mid(at, 10).toLongLong())).rightJustified(10, '0');
        out.replace(at, 10, offset);
    }
    const qsizetype startAt = moved(startMatch.capturedStart(1));
    out.replace(startAt, startMatch.capturedLength(1),
                QByteArray::number(moved(startMatch.captured(1).toLongLong())));
    return out;
}

} // namespace

bool PdfWriter::Write(const PageModel& model, const QString& path) {
    return Commit(path, [&](QIODevice& device) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        if (!Draw(model, buffer))
            return false;
        const QByteArray pdf = ExactPaper(buffer.data(), model);
        return device.write(pdf) == pdf.size();
    });
}

bool PdfWriter::Draw(const PageModel& model, QIODevice& device) {
    QPdfWriter pdf(&device);
    pdf.setResolution(1440); // one device unit is one twip
    pdf.setCreator("tvFacturacion");
    pdf.setTitle(model.Title());
    if (!model.IsEmpty())
        pdf.setPageLayout(LayoutFor(model.PageAt(0).paper));
    QPainter painter;
    if (!painter.begin(&pdf)) {
        SetError("no se puede iniciar el PDF");
        return false;
    }
    for (int i = 0; i < model.PageCount(); ++i) {
        if (i > 0) {
            pdf.setPageLayout(LayoutFor(model.PageAt(i).paper));
            pdf.newPage();
        }
        PainterWriter::Paint(model.PageAt(i), painter);
    }
    return painter.end();
}
