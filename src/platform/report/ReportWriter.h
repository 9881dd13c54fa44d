#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class PageModel;
class QIODevice;

// One output format of a laid-out document. Write answers false and keeps the reason in
// ErrorString; the output goes to a temporary file beside the target that only replaces it once
// complete, so a failed write never leaves a file that looks finished.
class ReportWriter {
public:
    // The output formats, by the codes the report component's RenderToFile takes.
    enum Format { Html = 1, Rtf = 2, Pdf = 3, PlainText = 5 };

    // One file type a writer makes: its format, the extensions that name it (a file without one
    // gets the first) and the save dialog's filter for it.
    struct FileType {
        Format format;
        QStringList extensions;
        QString filter;
        std::unique_ptr<ReportWriter> (*make)();
    };

    // The one table from an extension to its writer, in the order the viewer offers the types:
    // PDF, text, RTF, HTML.
    static const std::vector<FileType>& FileTypes();
    // The type path's extension names (any case); nullptr for an extension no writer knows.
    static const FileType* TypeOfFile(const QString& path);
    // The writer of path by its extension; one no writer knows raises TvError 380, which names
    // the extensions that are known.
    static std::unique_ptr<ReportWriter> ForFile(const QString& path);
    // The writer of a format code; an unknown code raises TvError 380.
    static std::unique_ptr<ReportWriter> ForFormat(int format);

    virtual ~ReportWriter() = default;

    virtual bool Write(const PageModel& model, const QString& path) = 0;
    virtual QString NameFilter() const = 0;
    QString ErrorString() const { return m_error; }

    // Write, raising TvError 75 (path or file access) on failure.
    void WriteOrThrow(const PageModel& model, const QString& path);

    // Control characters that came with the data (NUL, ESC, a form feed in a client's name) as
    // blanks: they would break the pages of a text file and make an HTML file invalid. Line
    // breaks stay.
    static QString Printable(const QString& text);

protected:
    // Writes path whole (ArchivoSeguro) with what body fills it with; false (with ErrorString
    // set) when the file cannot be written or body answers false.
    bool Commit(const QString& path, const std::function<bool(QIODevice&)>& body);
    void SetError(const QString& error) { m_error = error; }

private:
    QString m_error;
    bool m_errorOfFile = false; // m_error is the file's own message, which names it
};
