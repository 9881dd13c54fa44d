// The report viewer: preview, paging, zoom, printing, export and e-mail.

#include "reports/Viewer.h"

#include "platform/data/DataAccess.h"
#include "platform/report/HtmlWriter.h"
#include "platform/report/PdfWriter.h"
#include "platform/report/PreviewControl.h"
#include "platform/report/TextWriter.h"
#include "platform/ui/seam/Ui.h"
#include "platform/ui/widgets/Frm.h"
#include "platform/ui/widgets/ToolIcons.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "reports/CorreoFactura.h"
#include "reports/ReportBinding.h"
#include "reports/SetPrinterPaper.h"
#include "session/Ayuda.h"
#include "session/G.h"
#include "session/Gi.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBoxLayout>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPrinterInfo>
#include <QScreen>

namespace {

// The page label: a click asks for a page.
class PageLabel : public QLabel {
public:
    PageLabel(QWidget* parent, std::function<void()> clicked)
        : QLabel(parent), m_clicked(std::move(clicked)) {
        setCursor(Qt::PointingHandCursor);
        setToolTip("Ir a página...");
        setAlignment(Qt::AlignCenter);
        setMinimumWidth(56);
    }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
            m_clicked();
    }

private:
    std::function<void()> m_clicked;
};

// The row the frame keeps its tools in, so the page label sits between them.
QBoxLayout* ToolRow(QWidget* tool) {
    QLayout* bar = tool->parentWidget()->layout();
    for (int i = 0; bar && i < bar->count(); ++i)
        if (auto* row = qobject_cast<QBoxLayout*>(bar->itemAt(i)->layout());
            row && row->indexOf(tool) >= 0)
            return row;
    return nullptr;
}

// The wait cursor while a report is bound and laid out, gone on every way out.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { Restore(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    void Restore() {
        if (m_on)
            QApplication::restoreOverrideCursor();
        m_on = false;
    }

private:
    bool m_on = true;
};

// The text capture goes to the system's temporary folder: nothing is written beside the program.
QString CaptureFolder() {
    return QDir::tempPath();
}

// The viewer's choices 1 to 4 are the writers' file types in their order, as the save dialog
// lists them.
const std::vector<ReportWriter::FileType>& ExportTypes() {
    return ReportWriter::FileTypes();
}

// The choice (1 to 4) a chosen file's extension names; 0 for any other extension.
int ChoiceOfFile(const QString& path) {
    const ReportWriter::FileType* type = ReportWriter::TypeOfFile(path);
    return type ? static_cast<int>(type - ExportTypes().data()) + 1 : 0;
}

// The folder the last export went to, for the next one in this session.
QString& LastExportFolder() {
    static QString folder;
    return folder;
}

QString T(const QString& text) {
    return DataAccess::instance().Translate(text);
}

} // namespace

Viewer::Viewer(QWidget* parent) : QDialog(parent) {
    setObjectName("Viewer");
    Ayuda::Enlazar(*this, "facturacion.html#vista-preliminar");
    m_frm = new Frm(this, "Vista preliminar");
    // A document window rather than an errand: its bar shows the zoom, the session and a paper
    // the printer refused.
    m_frm->SetStatusBar(true);
    setWindowTitle(m_frm->Caption());
    using Kind = ToolIcons::Kind;
    m_frm->AddTool("Print_NA", "Enviar el documento a la impresora (Ctl+P)",
                   ToolIcons::Get(Kind::Print), 'P');
    m_frm->AddTool("DirIzq_NA", "Página anterior", ToolIcons::Get(Kind::Previous));
    QAbstractButton* next =
        m_frm->AddTool("DirDer_NA", "Página Siguiente", ToolIcons::Get(Kind::Next));
    m_lblPage = new PageLabel(next->parentWidget(), [this] { lblPage_NA_Click(); });
    m_lblPage->setObjectName("lblPage_NA");
    if (QBoxLayout* row = ToolRow(next))
        row->addWidget(m_lblPage);
    m_frm->AddTool("Export_NA", "Exportar (Ctl+E)", ToolIcons::Get(Kind::Export), 'E');
    m_frm->AddTool("Zoom_NA", "Zoom (Ctl+Z)", ToolIcons::Get(Kind::Zoom), 'Z');
    m_frm->AddTool("EMail_NA", "Enviar el documento por correo electrónico (Ctl+M)",
                   ToolIcons::Get(Kind::Mail), 'M');
    m_frm->AddTool("Fax_NA", "Enviar el documento por fax (Ctl+F)", ToolIcons::Get(Kind::Fax), 'F');

    m_vp = new PreviewControl(m_frm->Content());
    m_vp->setObjectName("vp");
    auto* content = new QVBoxLayout(m_frm->Content());
    content->setContentsMargins(0, 0, 0, 0);
    content->addWidget(m_vp);

    connect(m_frm, &Frm::evtToolClick, this, &Viewer::Frm_evtToolClick);
    connect(m_frm, &Frm::evtActivate, this, &Viewer::Form_Activate);
    connect(m_vp, &PreviewControl::PageChanged, this, &Viewer::RefreshPageLabel);
    connect(m_vp, &PreviewControl::ZoomChanged, this, &Viewer::ShowZoom);

    const QRect screen = QGuiApplication::primaryScreen()
                             ? QGuiApplication::primaryScreen()->availableGeometry()
                             : QRect(0, 0, 1024, 768);
    resize(std::min(1000, screen.width() - 40), std::min(800, screen.height() - 40));
    if (Gi.ExpandedForms)
        setWindowState(Qt::WindowMaximized);
    RefreshPageLabel();
}

Viewer::~Viewer() = default;

QString Viewer::ShowXml(int nPrinter, QString& sFileName, const QString& sSubreports,
                        const QString& sSqls, const QString& sLabels,
                        const QString& sLabelsValues) {
    ReportJob job{nPrinter, sFileName, sSubreports, sSqls, sLabels, sLabelsValues, {}};
    ShowXml(job);
    sFileName = job.sFileName;
    return {};
}

QString Viewer::ShowXml(ReportJob& job) {
    WaitCursor cursor;
    try {
        ReportBinding binding(m_vsr);
        if (!binding.Bind(job))
            return {};
        sUltimoXmlEmitido = binding.CaptureText(CaptureFolder(), Gi.nIdUsuario);
        m_nIdFactura = job.nIdFactura;
        SetPrinterPaper(job.nPrinter, *m_vp, m_frm);
        ReportBinding::Skip([&] {
            m_vp->SetZoom(isMaximized() ? 100 : 75);
            ShowZoom();
        });
        ReportBinding::Skip([&] { m_vsr.Render(*m_vp); });
    } catch (const TvError& e) {
        switch (e.Number()) {
        case ErrorNumber::InvalidPropertyValue:
            ShowMessage(MessageKind::Error, "No hay conexión con la impresora");
            return {};
        case ErrorNumber::RenderAbandoned:
            return {};
        case ErrorNumber::BadReport:
            // A report that cannot be laid out is refused; the document it prints is stored
            // and the desk goes on working.
            ShowMessage(MessageKind::Error, "No se puede mostrar el informe: " + e.Description());
            return {};
        default:
            ReportError("Viewer::ShowXml",
                        QString::number(e.Number()) + " " + e.Description() + "\n" +
                            "sSqls: " + job.sSqls,
                        e);
            EndProgram(1);
        }
    } catch (const std::exception& e) {
        ReportError("Viewer::ShowXml", QString("0 ") + e.what() + "\nsSqls: " + job.sSqls, e);
        EndProgram(1);
    }
    cursor.Restore();
    RefreshPageLabel();
    if (!isVisible())
        Ui::current().ShowModal(*this);
    return {};
}

void Viewer::ShowDocument(const PageModel& model, const QString& caption) {
    Viewer viewer;
    viewer.m_frm->SetCaption(caption);
    viewer.setWindowTitle(caption);
    PreviewControl& vp = *viewer.m_vp;
    const QString configured =
        Utility::instance().ReadIni(Gi.sPathIni, "Printers", PrinterPaper::ForPrinter(1).key, {});
    vp.SetDevice(QPrinterInfo::printerInfo(configured.trimmed()).isNull()
                     ? QPrinterInfo::defaultPrinterName()
                     : configured.trimmed());
    if (!model.IsEmpty()) {
        vp.SetPaperSize(PreviewControl::UserPaper);
        vp.SetPaperWidth(model.PageAt(0).paper.width());
        vp.SetPaperHeight(model.PageAt(0).paper.height());
    }
    vp.SetZoom(viewer.isMaximized() ? 100 : 75);
    vp.SetDocument(model);
    viewer.ShowZoom();
    viewer.RefreshPageLabel();
    Ui::current().ShowModal(viewer);
}

void Viewer::done(int result) {
    bExportOnlyPdf = false;
    QDialog::done(result);
}

void Viewer::Form_Activate() {
    Trap("Viewer::Form_Activate", [&] {
        ShowSessionStatus(*m_frm);
        if (Gi.ExpandedForms && !isMaximized())
            showMaximized();
        RefreshPageLabel();
        m_frm->SetToolVisible("Export_NA", m_vp->Tag() != "List");
    });
}

void Viewer::Frm_evtToolClick(const QString& name) {
    try {
        RunTool(name);
        return;
    } catch (const TvError& e) {
        if (!m_rtfWriting)
            ReportError("Viewer::Frm_evtToolClick", {}, e);
    } catch (const std::exception& e) {
        if (!m_rtfWriting)
            ReportError("Viewer::Frm_evtToolClick", {}, e);
    }
    EndProgram(1);
}

void Viewer::RunTool(const QString& name) {
    if (name == "Print_NA" || name == "P")
        Print();
    else if (name == "DirIzq_NA")
        m_vp->SetPage(m_vp->Page() - 1);
    else if (name == "DirDer_NA")
        m_vp->SetPage(m_vp->Page() + 1);
    else if (name == "Export_NA" || name == "E")
        Export();
    else if (name == "Zoom_NA" || name == "Z")
        Zoom();
    else if (name == "EMail_NA" || name == "M")
        EMail();
    else if (name == "Fax_NA" || name == "F")
        Fax();
    RefreshPageLabel();
}

void Viewer::Print() {
    try {
        m_vp->PrintDoc();
    } catch (const TvError& e) {
        // A missing or refusing printer is the desk's everyday trouble, not a fault of ours.
        if (e.Number() != ErrorNumber::PrinterInfoUnavailable &&
            e.Number() != ErrorNumber::InvalidPropertyValue)
            throw;
        ShowMessage(MessageKind::Error, "No hay conexión con la impresora");
    }
}

QString Viewer::SuggestedExportPath() const {
    QString folder = LastExportFolder();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = DocumentsFolder();
    // "Factura 0014/26" is saved as "Factura 0014-26.pdf": a file name holds no "/".
    QString name = m_vp->Document().Title().trimmed();
    name.replace('/', '-').replace('\\', '-');
    return QDir(folder).filePath((name.isEmpty() ? QString("Documento") : name) + ".pdf");
}

QString Viewer::ExportFolder() const {
    const QString folder = QString(Gi.sPathExport).replace('\\', '/');
    QDir().mkpath(folder);
    return folder;
}

bool Viewer::WriteChosenFile(const QString& path, const std::function<void()>& write) {
    try {
        write();
        return true;
    } catch (const TvError& e) {
        if (e.Number() != ErrorNumber::PathFileAccess)
            throw;
        ShowMessage(MessageKind::Error,
                    "No se ha podido escribir el archivo " + path + ".\n" + e.Description());
        return false;
    }
}

void Viewer::Export() {
    if (bExportOnlyPdf) {
        if (ShowMessage(MessageKind::Confirm, "¿Desea exportar a pdf?"))
            ExportAs(1);
        return;
    }
    QStringList filters;
    for (const ReportWriter::FileType& type : ExportTypes())
        filters << T(type.filter);
    ExportTo(Ui::current().SaveFile(T("Exportar"), SuggestedExportPath(),
                                    ExportTypes().front().extensions.first(), filters.join(";;")));
}

void Viewer::ExportAs(int choice) {
    if (choice < 1 || choice > static_cast<int>(ExportTypes().size()))
        return;
    const ReportWriter::FileType& type = ExportTypes()[choice - 1];
    const QString extension = type.extensions.first();
    QString path =
        Ui::current().SaveFile(T("Exportar"), SuggestedExportPath(), extension, T(type.filter));
    if (!path.isEmpty() && ChoiceOfFile(path) != choice)
        path += "." + extension;
    ExportTo(path);
}

void Viewer::ExportTo(QString path) {
    if (path.isEmpty())
        return;
    // The file's extension names the format; a name without a known one becomes a PDF.
    const ReportWriter::FileType* type = ReportWriter::TypeOfFile(path);
    if (!type) {
        type = &ExportTypes().front();
        path += "." + type->extensions.first();
    }
    const PageModel document = m_vp->Document();
    bool written = false;
    switch (type->format) {
    case ReportWriter::Pdf:
        written = WriteChosenFile(path, [&] { PdfWriter().WriteOrThrow(document, path); });
        break;
    case ReportWriter::PlainText:
        written = WriteChosenFile(path, [&] {
            if (m_vsr.IsLoaded())
                m_vsr.RenderToFile(path, ReportComponent::PlainText);
            else
                TextWriter().WriteOrThrow(document, path);
        });
        break;
    case ReportWriter::Rtf: {
        // An error while the RTF is written ends the program without the standard message.
        m_rtfWriting = true;
        m_vp->SetExportFormat(PreviewControl::ExportRtf);
        m_vp->SetExportFile(path);
        written = WriteChosenFile(path, [&] {
            if (m_vsr.IsLoaded())
                m_vsr.Render(*m_vp);
            else
                m_vp->SetDocument(document);
        });
        m_vp->SetExportFile({});
        m_rtfWriting = false;
        break;
    }
    case ReportWriter::Html:
        written = WriteChosenFile(path, [&] {
            if (m_vsr.IsLoaded())
                m_vsr.RenderToFile(path, ReportComponent::Html);
            else
                HtmlWriter().WriteOrThrow(document, path);
        });
        break;
    }
    if (!written)
        return;
    LastExportFolder() = QFileInfo(path).absolutePath();
    m_frm->ShowNotice(T("Documento guardado en") + " " + QDir::toNativeSeparators(path), 0, false,
                      -1);
}

void Viewer::EMail() {
    const QString path = ExportFolder() + "/Documento" + QString::number(Gi.nIdUsuario) + ".pdf";
    if (!WriteChosenFile(path, [&] { PdfWriter().WriteOrThrow(m_vp->Document(), path); }))
        return;
    // Most clinics have no mail module: an invoice then goes through the branch's own account.
    if (m_nIdFactura == 0 || QFileInfo::exists(Gi.sPathExe + "/tvEmail")) {
        G::ShellMod("tvEmail", path);
        return;
    }
    QFile pdf(path);
    if (!pdf.open(QIODevice::ReadOnly)) {
        ShowMessage(MessageKind::Error, "No se puede leer " + QDir::toNativeSeparators(path));
        return;
    }
    CorreoFactura compose(m_nIdFactura, pdf.readAll(), this);
    Ui::current().ShowModal(compose);
}

void Viewer::Fax() {
    const QString path = ExportFolder() + "/FaxView" + QString::number(Gi.nIdUsuario);
    if (WriteChosenFile(path, [&] { m_vp->SaveDoc(path); }))
        G::ShellMod("tvFax", path);
}

void Viewer::Zoom() {
    const QString prompt =
        T("Escriba el porcentaje 1-100 de zoom a aplicar.") + "\n\n" +
        T("Nota: Recuerde que también puede cambiar el tamaño de la vista preliminar, haciendo "
          "doble click con el botón derecho o el izquierdo sobre el documento.");
    const double zoom =
        Utility::Val(Ui::current().Input("Zoom", prompt, Utility::NumberText(m_vp->Zoom())));
    if (zoom <= 0)
        return;
    m_vp->SetZoom(zoom);
    ShowZoom();
}

void Viewer::ShowZoom() {
    m_frm->Sb_PanelText_Set(
        1, "Zoom " + Utility::NumberText(Utility::RoundHalfAway(m_vp->Zoom(), 2)) + "%");
}

void Viewer::lblPage_NA_Click() {
    const QString answer =
        Ui::current().Input("Ir a página...", "Escriba el número de página al cual desea ir.",
                            QString::number(m_vp->Page()));
    if (answer.trimmed().isEmpty())
        return;
    m_vp->SetPage(int(Utility::Val(answer)));
    RefreshPageLabel();
}

void Viewer::RefreshPageLabel() {
    m_lblPage->setText(QString::number(m_vp->Page()) + "/" + QString::number(m_vp->PageCount()));
}
