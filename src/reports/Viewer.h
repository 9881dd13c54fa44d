#pragma once

#include "platform/report/ReportComponent.h"
#include "reports/ReportJob.h"

#include <QDialog>
#include <QString>
#include <functional>

class Frm;
class PageModel;
class PreviewControl;
class QLabel;

// The window every report of the module is previewed in: pages on a grey background, paging,
// go to page, zoom, print, export (PDF, text, RTF, HTML) and hand-off to the suite's e-mail and
// fax modules. ShowXml binds and renders a report of a definition file into it and shows it
// modally; ShowDocument shows a document that is already laid out.
class Viewer : public QDialog {
    Q_OBJECT
public:
    explicit Viewer(QWidget* parent = nullptr);
    ~Viewer() override;

    // Renders report job.sSubreports (the last name) of job.sFileName, bound to job.sSqls and
    // the labels, on the paper of job.nPrinter, and shows the window until it is closed.
    // job.sFileName receives the full path used. The result is always empty.
    QString ShowXml(ReportJob& job);
    QString ShowXml(int nPrinter, QString& sFileName, const QString& sSubreports = {},
                    const QString& sSqls = {}, const QString& sLabels = {},
                    const QString& sLabelsValues = {});

    // Shows a laid-out document (a grid listing, for example) in a viewer with caption, on the
    // listings printer and the document's own paper; returns when the window is closed.
    static void ShowDocument(const PageModel& model, const QString& caption);

    // The frame's tool click, by the tool's name or its shortcut letter.
    void Frm_evtToolClick(const QString& name);
    // The page label's click: asks for a page and goes there.
    void lblPage_NA_Click();

    Frm& Frame() const { return *m_frm; }
    PreviewControl& vp() const { return *m_vp; }
    ReportComponent& Vsr() { return m_vsr; }

    // Export asks "¿Desea exportar a pdf?" instead of offering every format; false again when
    // the window closes.
    bool bExportOnlyPdf = false;
    // The plain text of the last report ShowXml rendered.
    QString sUltimoXmlEmitido;

protected:
    void done(int result) override;

private:
    void Form_Activate();
    void RunTool(const QString& name);
    void Print();
    void Export();
    // Asks for the file with the save dialog of one format (choice 1 to 4) and writes it.
    void ExportAs(int choice);
    // Writes the document to path in the format its extension names (PDF when none), remembers
    // the folder and says where the file went.
    void ExportTo(QString path);
    // The last export's folder, or the user's documents, and the document's title as the name.
    QString SuggestedExportPath() const;
    void EMail();
    void Fax();
    void Zoom();
    void ShowZoom();
    void RefreshPageLabel();
    QString ExportFolder() const;
    // Writes a file the user chose; a file that cannot be written is said, not fatal.
    bool WriteChosenFile(const QString& path, const std::function<void()>& write);

    Frm* m_frm = nullptr;
    PreviewControl* m_vp = nullptr;
    QLabel* m_lblPage = nullptr;
    ReportComponent m_vsr;
    // The invoice shown, which the e-mail button sends itself without the suite's mail module.
    qint32 m_nIdFactura = 0;
    bool m_rtfWriting = false;
};
