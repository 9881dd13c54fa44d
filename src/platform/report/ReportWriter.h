#pragma once

#include <QString>
#include <functional>

class PageModel;
class QIODevice;

// One output format of a laid-out document. Write answers false and keeps the reason in
// ErrorString; the output goes to a temporary file beside the target that only replaces it once
// complete, so a failed write never leaves a file that looks finished.
class ReportWriter {
public:
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
