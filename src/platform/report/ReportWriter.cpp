#include "platform/report/ReportWriter.h"

#include "platform/util/TvError.h"

#include <QSaveFile>

void ReportWriter::WriteOrThrow(const PageModel& model, const QString& path) {
    if (!Write(model, path))
        throw TvError(ErrorNumber::PathFileAccess,
                      "No se puede escribir \"" + path + "\": " + ErrorString());
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
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        m_error = file.errorString();
        return false;
    }
    if (!body(file)) {
        if (m_error.isEmpty())
            m_error = "no se pudo generar el documento";
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        m_error = file.errorString();
        return false;
    }
    return true;
}
