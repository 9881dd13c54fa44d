#include "platform/report/PdfWriter.h"

#include "platform/report/PageModel.h"
#include "platform/report/PainterWriter.h"

#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>

namespace {

QPageLayout LayoutFor(QSize paper) {
    // Twips are twentieths of a point, so the size goes over in points without rounding to
    // millimetres or to a standard paper.
    const QPageSize size(QSizeF(paper.width() / 20.0, paper.height() / 20.0), QPageSize::Point,
                         QString(), QPageSize::ExactMatch);
    return QPageLayout(size, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0));
}

} // namespace

bool PdfWriter::Write(const PageModel& model, const QString& path) {
    return Commit(path, [&](QIODevice& device) {
        QPdfWriter pdf(&device);
        pdf.setResolution(1440); // one device unit is one twip
        pdf.setCreator("tvFacturacion");
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
    });
}

void PdfWriter::ConvertDocument(const PageModel& model, const QString& path) {
    WriteOrThrow(model, path);
}
