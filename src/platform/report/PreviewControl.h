#pragma once

#include "platform/report/PageModel.h"

#include <QAbstractScrollArea>
#include <QString>

// Shows a laid-out document: pages on a grey background, each with a light shadow, scrollable
// and zoomable; also carries the printer settings the viewer chooses and prints, exports and
// saves the document.
class PreviewControl : public QAbstractScrollArea {
    Q_OBJECT
public:
    // Paper size number for a user-defined size (PaperWidth x PaperHeight).
    static constexpr int UserPaper = 256;
    // ExportFormat that writes RTF when a document is set while ExportFile is not empty.
    static constexpr int ExportRtf = 5;

    explicit PreviewControl(QWidget* parent = nullptr);

    void SetDocument(const PageModel& model);
    const PageModel& Document() const { return m_model; }

    double Zoom() const { return m_zoom; }
    // Any positive percentage; others are ignored.
    void SetZoom(double percent);
    // The current page, from 1; 0 when there is no document.
    int Page() const { return m_page; }
    // Clamped to 1..PageCount().
    void SetPage(int page);
    int PageCount() const { return m_model.PageCount(); }

    QString Device() const { return m_device; }
    void SetDevice(const QString& printerName) { m_device = printerName; }
    int PaperSize() const { return m_paperSize; }
    // 256 or a paper-form number Qt knows; others raise TvError 380.
    void SetPaperSize(int number);
    int PaperWidth() const { return m_paperWidth; }
    int PaperHeight() const { return m_paperHeight; }
    void SetPaperWidth(int twips) { m_paperWidth = twips; }
    void SetPaperHeight(int twips) { m_paperHeight = twips; }
    bool PaperSizeSupported(int number) const;
    // Prints every page on Device() (the default printer when it is not installed) on the chosen
    // paper; TvError 484 when there is no printer, 380 when the printer refuses the paper.
    void PrintDoc();

    int ExportFormat() const { return m_exportFormat; }
    void SetExportFormat(int format);
    QString ExportFile() const { return m_exportFile; }
    void SetExportFile(const QString& path) { m_exportFile = path; }

    // A file of our own that LoadDoc opens again; no extension is added. TvError 75 when it
    // cannot be written or is not such a file, 53 when it is missing.
    void SaveDoc(const QString& path) const;
    void LoadDoc(const QString& path);

    QString Tag() const { return m_tag; }
    void SetTag(const QString& text) { m_tag = text; }

Q_SIGNALS:
    void PageChanged(int page);
    void ZoomChanged(double percent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    double Scale() const;            // device pixels per twip at the current zoom
    QRect PageRect(int index) const; // in content coordinates
    void UpdateScrollBars();
    void UpdatePageFromScroll();
    double FitWidthZoom() const;

    PageModel m_model;
    double m_zoom = 100;
    int m_page = 0;
    QString m_device;
    int m_paperSize = UserPaper;
    int m_paperWidth = 11906;
    int m_paperHeight = 16838;
    int m_exportFormat = ExportRtf;
    QString m_exportFile;
    QString m_tag;
    bool m_scrollingToPage = false;
};
