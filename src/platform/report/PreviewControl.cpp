// The preview of a laid-out document: its pages, scrolling, zoom, printer settings and output.

#include "platform/report/PreviewControl.h"

#include "platform/report/PainterWriter.h"
#include "platform/report/RtfWriter.h"
#include "platform/util/ArchivoSeguro.h"
#include "platform/util/TvError.h"

#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScrollBar>
#include <cmath>

namespace {

constexpr int PageGap = 16;   // pixels between pages and around them
constexpr int ShadowSize = 4; // pixels of shadow below and right of a page

QPageSize PageSizeFor(int number, int width, int height) {
    if (number == PreviewControl::UserPaper)
        return QPageSize(QSizeF(width / 20.0, height / 20.0), QPageSize::Point, QString(),
                         QPageSize::ExactMatch);
    return QPageSize(QPageSize::id(number));
}

bool KnownPaperNumber(int number) {
    return number == PreviewControl::UserPaper ||
           (number > 0 && QPageSize::id(number) != QPageSize::Custom);
}

} // namespace

PreviewControl::PreviewControl(QWidget* parent) : QAbstractScrollArea(parent) {
    setFont(QFont("Arial"));
    viewport()->setAutoFillBackground(false);
    setFrameShape(QFrame::NoFrame);
    verticalScrollBar()->setSingleStep(24);
    horizontalScrollBar()->setSingleStep(24);
}

void PreviewControl::SetDocument(const PageModel& model) {
    m_model = model;
    if (!m_exportFile.isEmpty() && m_exportFormat == ExportRtf)
        RtfWriter().WriteOrThrow(m_model, m_exportFile);
    const int page = m_model.IsEmpty() ? 0 : 1;
    UpdateScrollBars();
    verticalScrollBar()->setValue(0);
    viewport()->update();
    m_page = page;
    Q_EMIT PageChanged(m_page);
}

double PreviewControl::Scale() const {
    return logicalDpiX() / 1440.0 * m_zoom / 100.0;
}

QRect PreviewControl::PageRect(int index) const {
    const double scale = Scale();
    int widest = 0;
    for (int i = 0; i < m_model.PageCount(); ++i)
        widest = std::max(widest, int(std::lround(m_model.PageAt(i).paper.width() * scale)));
    const int contentWidth = std::max(widest + 2 * PageGap, viewport()->width());
    int y = PageGap;
    for (int i = 0; i < index; ++i)
        y += int(std::lround(m_model.PageAt(i).paper.height() * scale)) + PageGap;
    const QSize paper = m_model.PageAt(index).paper;
    const int width = int(std::lround(paper.width() * scale));
    return QRect((contentWidth - width) / 2, y, width, int(std::lround(paper.height() * scale)));
}

void PreviewControl::UpdateScrollBars() {
    if (m_model.IsEmpty()) {
        horizontalScrollBar()->setRange(0, 0);
        verticalScrollBar()->setRange(0, 0);
        return;
    }
    const QRect last = PageRect(m_model.PageCount() - 1);
    int widest = 0;
    for (int i = 0; i < m_model.PageCount(); ++i)
        widest = std::max(widest, PageRect(i).width());
    const QSize viewportSize = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, widest + 2 * PageGap - viewportSize.width()));
    horizontalScrollBar()->setPageStep(viewportSize.width());
    verticalScrollBar()->setRange(0, std::max(0, last.bottom() + PageGap - viewportSize.height()));
    verticalScrollBar()->setPageStep(viewportSize.height());
}

void PreviewControl::SetZoom(double percent) {
    if (!(percent > 0) || percent == m_zoom)
        return;
    const int page = m_page;
    m_zoom = percent;
    UpdateScrollBars();
    if (page > 0) {
        m_scrollingToPage = true;
        verticalScrollBar()->setValue(PageRect(page - 1).top() - PageGap);
        m_scrollingToPage = false;
    }
    viewport()->update();
    Q_EMIT ZoomChanged(m_zoom);
}

void PreviewControl::SetPage(int page) {
    if (m_model.IsEmpty())
        return;
    page = std::clamp(page, 1, PageCount());
    m_scrollingToPage = true;
    verticalScrollBar()->setValue(PageRect(page - 1).top() - PageGap);
    m_scrollingToPage = false;
    viewport()->update();
    if (page != m_page) {
        m_page = page;
        Q_EMIT PageChanged(m_page);
    }
}

void PreviewControl::UpdatePageFromScroll() {
    if (m_model.IsEmpty() || m_scrollingToPage)
        return;
    // The current page is the one that fills the middle of the view.
    const int middle = verticalScrollBar()->value() + viewport()->height() / 2;
    int page = PageCount();
    for (int i = 0; i < PageCount(); ++i)
        if (PageRect(i).bottom() + PageGap / 2 >= middle) {
            page = i + 1;
            break;
        }
    if (page != m_page) {
        m_page = page;
        Q_EMIT PageChanged(m_page);
    }
}

void PreviewControl::scrollContentsBy(int, int) {
    UpdatePageFromScroll();
    viewport()->update();
}

void PreviewControl::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

double PreviewControl::FitWidthZoom() const {
    int widest = 0;
    for (int i = 0; i < m_model.PageCount(); ++i)
        widest = std::max(widest, m_model.PageAt(i).paper.width());
    if (widest <= 0)
        return 100;
    const double available = std::max(viewport()->width() - 2 * PageGap - ShadowSize, 50);
    return available / (widest * logicalDpiX() / 1440.0) * 100.0;
}

void PreviewControl::mouseDoubleClickEvent(QMouseEvent* event) {
    SetZoom(std::fabs(m_zoom - 100) < 0.01 ? FitWidthZoom() : 100);
    event->accept();
}

void PreviewControl::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    painter.fillRect(event->rect(), QColor(128, 128, 128));
    const QPoint offset(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const QRect visible = event->rect().translated(offset);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (int i = 0; i < m_model.PageCount(); ++i) {
        const QRect rect = PageRect(i);
        if (rect.top() > visible.bottom())
            break;
        if (!rect.adjusted(0, 0, ShadowSize, ShadowSize).intersects(visible))
            continue;
        const QRect onScreen = rect.translated(-offset);
        painter.fillRect(onScreen.translated(ShadowSize, ShadowSize), QColor(0, 0, 0, 70));
        painter.fillRect(onScreen, Qt::white);
        painter.save();
        painter.setClipRect(onScreen);
        painter.translate(onScreen.topLeft());
        painter.scale(Scale(), Scale());
        PainterWriter::Paint(m_model.PageAt(i), painter);
        painter.restore();
    }
}

void PreviewControl::SetPaperSize(int number) {
    if (!KnownPaperNumber(number))
        throw TvError(ErrorNumber::InvalidPropertyValue,
                      QString("Tamaño de papel desconocido: %1").arg(number));
    m_paperSize = number;
}

bool PreviewControl::PaperSizeSupported(int number) const {
    if (!KnownPaperNumber(number))
        return false;
    const QPrinterInfo info = QPrinterInfo::printerInfo(m_device.trimmed());
    if (info.isNull())
        return true; // no printer (or a PDF): any size can be written
    if (number == UserPaper)
        return info.supportsCustomPageSizes();
    const QPageSize wanted(QPageSize::id(number));
    for (const QPageSize& size : info.supportedPageSizes())
        if (size.isEquivalentTo(wanted))
            return true;
    return false;
}

void PreviewControl::PrintDoc() {
    if (m_model.IsEmpty())
        return;
    if (QPrinterInfo::availablePrinterNames().isEmpty())
        throw TvError(ErrorNumber::PrinterInfoUnavailable, "No hay ninguna impresora instalada");
    QPrinterInfo info = QPrinterInfo::printerInfo(m_device.trimmed());
    if (info.isNull())
        info = QPrinterInfo::defaultPrinter();
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setFullPage(true);
    printer.setDocName(m_tag.isEmpty() ? QString("Informe") : m_tag);
    // A page longer than the paper (a till's roll) is printed at its own length.
    const auto setPaperFor = [&](int page) {
        const int height = m_paperSize == UserPaper
                               ? std::max(m_paperHeight, m_model.PageAt(page).paper.height())
                               : m_paperHeight;
        if (!printer.setPageSize(PageSizeFor(m_paperSize, m_paperWidth, height)))
            throw TvError(ErrorNumber::InvalidPropertyValue,
                          "La impresora " + printer.printerName() + " no admite el papel");
    };
    setPaperFor(0);
    QPainter painter;
    if (!painter.begin(&printer))
        throw TvError(ErrorNumber::PrinterInfoUnavailable,
                      "No se puede imprimir en " + printer.printerName());
    const double scale = printer.resolution() / 1440.0;
    for (int i = 0; i < m_model.PageCount(); ++i) {
        if (i > 0) {
            setPaperFor(i);
            printer.newPage();
        }
        painter.save();
        painter.scale(scale, scale);
        PainterWriter::Paint(m_model.PageAt(i), painter);
        painter.restore();
    }
    painter.end();
}

void PreviewControl::SetExportFormat(int format) {
    if (format != ExportRtf)
        throw TvError(ErrorNumber::InvalidPropertyValue,
                      QString("Formato de exportación desconocido: %1").arg(format));
    m_exportFormat = format;
}

void PreviewControl::SaveDoc(const QString& path) const {
    ArchivoSeguro::Escribir(path, [&](QIODevice& file) { m_model.Save(file); });
}

void PreviewControl::LoadDoc(const QString& path) {
    if (!QFileInfo(path).isFile())
        throw TvError(ErrorNumber::FileNotFound, "No se encuentra el documento \"" + path + "\"");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw TvError(ErrorNumber::PathFileAccess,
                      "No se puede leer el documento \"" + path + "\": " + file.errorString());
    SetDocument(PageModel::Load(file));
}
