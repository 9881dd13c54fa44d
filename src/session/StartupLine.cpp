// The pieces of the module's command line, each read where it is needed or refused.

#include "session/StartupLine.h"

#include "platform/util/TvError.h"
#include "platform/util/Utility.h"

namespace {

QString Piece(const QString& line, int index) {
    return Utility::instance().Piece(line, "|", index);
}

// Empty is 0; anything but a whole number is refused rather than read as 0, so a mistyped line
// never opens the wrong record or date.
qint32 WholeNumber(const QString& text, const QString& what) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return 0;
    bool ok = false;
    const qint32 number = trimmed.toInt(&ok);
    if (!ok)
        throw TvError(
            ErrorNumber::TypeMismatch,
            QString("%1 de la línea de órdenes no es un número entero: \"%2\".").arg(what, text));
    return number;
}

} // namespace

namespace StartupLine {

QString IniPath(const QString& line) {
    if (!line.contains('|'))
        return line;
    return line.count('|') >= 2 ? Piece(line, 2) : QString();
}

QString Login(const QString& line) {
    return Piece(line, 0).section(':', 0, 0);
}

QString Password(const QString& line) {
    return Piece(line, 0).section(':', 1);
}

qint32 WorkingDate(const QString& line) {
    const Utility& u = Utility::instance();
    const QString piece = Piece(line, 1);
    if (piece.trimmed().isEmpty())
        return u.Today(true).toInt();
    const qint32 date = WholeNumber(piece, "La fecha de trabajo");
    if (u.FormatDate(2, date).toString().isEmpty())
        throw TvError(ErrorNumber::TypeMismatch,
                      QString("La fecha de trabajo de la línea de órdenes no es una fecha válida "
                              "(aaaammdd): \"%1\".")
                          .arg(piece));
    return date;
}

qint32 Number(const QString& line, int piece) {
    return WholeNumber(Piece(line, piece), QString("El número de arranque %1").arg(piece));
}

} // namespace StartupLine
