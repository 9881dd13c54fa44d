#include "platform/report/ReportWriter.h"

#include "platform/util/ArchivoSeguro.h"
#include "platform/util/TvError.h"

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
