#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

// An e-mail as the clinic sends it: plain-text body in UTF-8 and its attachments, written as the
// MIME text an SMTP server takes (CRLF line ends, every header in ASCII).
namespace Mensaje {

struct Adjunto {
    QString nombre; // the file name the recipient sees
    QString tipo;   // MIME type, "application/pdf"
    QByteArray datos;
};

struct Correo {
    QString remitente, nombreRemitente;
    QStringList para, cc;
    QString asunto, cuerpo;
    std::vector<Adjunto> adjuntos;
};

// Reads addresses separated by ";" (blanks around each are dropped). Answers them, or throws
// TvError with a Spanish message naming the first one refused; empty text gives no address.
QStringList Direcciones(const QString& texto);

// What is wrong with one address ("" when it is one).
QString MotivoDireccionInvalida(const QString& direccion);

// Refuses a subject or a name that would break out of its header (a line end in it).
void ComprobarCabecera(const QString& campo, const QString& valor);

// The message's text; messageId without angle brackets.
QByteArray Mime(const Correo& correo, const QDateTime& fecha, const QString& messageId);

// A new unique id for a message from this sender: "<random>@<sender's domain>".
QString NuevoMessageId(const QString& remitente);

} // namespace Mensaje
