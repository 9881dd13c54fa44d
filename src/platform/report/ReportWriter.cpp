// The writers' file types by extension and what every writer shares: whole files, printable text.

#include "platform/report/ReportWriter.h"

#include "platform/report/HtmlWriter.h"
#include "platform/report/PdfWriter.h"
#include "platform/report/RtfWriter.h"
#include "platform/report/TextWriter.h"
#include "platform/util/ArchivoSeguro.h"
#include "platform/util/TvError.h"

#include <QFileInfo>

namespace {

template <typename Writer>
ReportWriter::FileType TypeOf(ReportWriter::Format format, const QStringList& extensions) {
    return {format, extensions, Writer().NameFilter(),
            [] { return std::unique_ptr<ReportWriter>(std::make_unique<Writer>()); }};
}

} // namespace

const std::vector<ReportWriter::FileType>& ReportWriter::FileTypes() {
    static const std::vector<FileType> types = {
        TypeOf<PdfWriter>(Pdf, {"pdf"}),
        TypeOf<TextWriter>(PlainText, {"txt"}),
        TypeOf<RtfWriter>(Rtf, {"rtf"}),
        TypeOf<HtmlWriter>(Html, {"htm", "html"}),
    };
    return types;
}

const ReportWriter::FileType* ReportWriter::TypeOfFile(const QString& path) {
    const QString extension = QFileInfo(path).suffix().toLower();
    for (const FileType& type : FileTypes())
        if (type.extensions.contains(extension))
            return &type;
    return nullptr;
}

std::unique_ptr<ReportWriter> ReportWriter::ForFile(const QString& path) {
    if (const FileType* type = TypeOfFile(path))
        return type->make();
    QStringList known;
    for (const FileType& type : FileTypes())
        for (const QString& extension : type.extensions)
            known << "." + extension;
    const QString last = known.takeLast();
    throw TvError(ErrorNumber::InvalidPropertyValue,
                  "No se sabe escribir archivos ." + QFileInfo(path).suffix().toLower() +
                      " (se admiten " + known.join(", ") + " y " + last + ")");
}

std::unique_ptr<ReportWriter> ReportWriter::ForFormat(int format) {
    for (const FileType& type : FileTypes())
        if (type.format == format)
            return type.make();
    throw TvError(ErrorNumber::InvalidPropertyValue,
                  QString("Formato de salida desconocido: %1").arg(format));
}

void ReportWriter::WriteOrThrow(const PageModel& model, const QString& path) {
    if (!Write(model, path))
        throw TvError(ErrorNumber::PathFileAccess,
                      m_errorOfFile ? ErrorString()
                                    : "No se puede escribir \"" + path + "\": " + ErrorString());
}

QString ReportWriter::Printable(const QString& text) {
    QString printable = text;
    for (QChar& c : printable)
        if (c.category() == QChar::Other_Control && c != QLatin1Char('\n'))
            c = QLatin1Char(' ');
    return printable;
}

bool ReportWriter::Commit(const QString& path, const std::function<bool(QIODevice&)>& body) {
    m_error.clear();
    m_errorOfFile = false;
    try {
        ArchivoSeguro file(path);
        if (!body(file) && !file.HaFallado()) {
            if (m_error.isEmpty())
                m_error = "no se pudo generar el documento";
            return false;
        }
        // Also where body gave up on a failed write, so that its cause is said.
        file.Terminar();
        return true;
    } catch (const TvError& e) {
        // The file's own message already names it and says why.
        m_error = e.Description();
        m_errorOfFile = true;
        return false;
    }
}
