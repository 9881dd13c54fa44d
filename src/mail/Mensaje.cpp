// An e-mail written as MIME text: UTF-8 body, encoded headers and attachments.

#include "mail/Mensaje.h"

#include "platform/util/TvError.h"

#include <QLocale>
#include <QRegularExpression>
#include <QUuid>

namespace {

bool Ascii(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() > 126 || c.unicode() < 32)
            return false;
    return true;
}

// RFC 2047 words of at most 75 characters each, never splitting a character's UTF-8 bytes and,
// where a space allows, not a word either (the space stays at the end of the earlier piece, as
// the blank between two encoded words is dropped by the reader); continuation lines start with
// a blank, as header folding requires.
QByteArray Encoded(const QString& text) {
    if (Ascii(text))
        return text.toUtf8();
    const QByteArray utf8 = text.toUtf8();
    QByteArrayList words;
    qsizetype start = 0;
    while (start < utf8.size()) {
        qsizetype end = std::min(start + 45, utf8.size());
        if (end < utf8.size()) {
            const qsizetype space = utf8.lastIndexOf(' ', end - 1);
            if (space > start)
                end = space + 1;
        }
        while (end < utf8.size() && (uchar(utf8[end]) & 0xC0) == 0x80)
            --end;
        words << "=?UTF-8?B?" + utf8.mid(start, end - start).toBase64() + "?=";
        start = end;
    }
    return words.join("\r\n ");
}

// ASCII words of a display name: as they are, or quoted when they hold a character with a
// meaning in an address list.
QByteArray Phrase(const QString& words) {
    static const QRegularExpression atoms(R"(^[A-Za-z0-9 !#$%&'*+/=?^_`{|}~-]*$)");
    if (atoms.match(words).hasMatch())
        return words.toUtf8();
    QString quoted = words;
    quoted.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + quoted.toUtf8() + '"';
}

// A display name as a header carries it: each run of words that are not ASCII becomes one
// encoded word, between ASCII words left readable. A space between two encoded words is
// dropped by a reader that follows RFC 2047 and kept by others, so none stands between two.
QByteArray Name(const QString& name) {
    QByteArrayList parts;
    QStringList plain, encoded;
    auto flush = [&](QStringList& run, bool encode) {
        if (!run.isEmpty())
            parts << (encode ? Encoded(run.join(' ')) : Phrase(run.join(' ')));
        run.clear();
    };
    for (const QString& word : name.split(' ', Qt::SkipEmptyParts)) {
        if (Ascii(word)) {
            flush(encoded, true);
            plain << word;
        } else {
            flush(plain, false);
            encoded << word;
        }
    }
    flush(plain, false);
    flush(encoded, true);
    return parts.join(' ');
}

QByteArray Base64Lines(const QByteArray& data) {
    const QByteArray all = data.toBase64();
    QByteArray out;
    out.reserve(all.size() + all.size() / 38 + 2);
    for (qsizetype k = 0; k < all.size(); k += 76)
        out += all.mid(k, 76) + "\r\n";
    return out;
}

// A file name for Content-Disposition: plain when ASCII, else in RFC 2231's percent form.
QByteArray FileNameParameters(const QString& name) {
    if (Ascii(name) && !name.contains('"') && !name.contains('\\'))
        return "; filename=\"" + name.toUtf8() + '"';
    return "; filename*=UTF-8''" + name.toUtf8().toPercentEncoding();
}

QByteArray Date(const QDateTime& when) {
    const QLocale c = QLocale::c();
    const int offset = when.offsetFromUtc() / 60;
    const QString zone = QString::asprintf("%c%02d%02d", offset < 0 ? '-' : '+',
                                           std::abs(offset) / 60, std::abs(offset) % 60);
    return (c.toString(when, "ddd, dd MMM yyyy HH:mm:ss ") + zone).toLatin1();
}

} // namespace

QString Mensaje::MotivoDireccionInvalida(const QString& direccion) {
    if (direccion.isEmpty())
        return QStringLiteral("está vacía");
    if (direccion.contains('\r') || direccion.contains('\n'))
        return QStringLiteral("contiene un salto de línea");
    if (direccion.contains(' ') || direccion.contains('\t'))
        return QStringLiteral("contiene espacios");
    if (direccion.count('@') != 1)
        return QStringLiteral("debe tener una sola @");
    static const QRegularExpression local(
        R"(^[A-Za-z0-9!#$%&'*+/=?^_`{|}~-]+(\.[A-Za-z0-9!#$%&'*+/=?^_`{|}~-]+)*$)");
    static const QRegularExpression domain(
        R"(^([A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?\.)+[A-Za-z]{2,63}$)");
    const qsizetype at = direccion.indexOf('@');
    if (!local.match(direccion.left(at)).hasMatch())
        return QStringLiteral("la parte anterior a la @ tiene caracteres no permitidos");
    if (!domain.match(direccion.mid(at + 1)).hasMatch())
        return QStringLiteral("el dominio tras la @ no es válido");
    if (direccion.size() > 254)
        return QStringLiteral("es demasiado larga");
    return {};
}

QStringList Mensaje::Direcciones(const QString& texto) {
    QStringList direcciones;
    if (texto.trimmed().isEmpty())
        return direcciones;
    for (const QString& parte : texto.split(';')) {
        // "a@x.es; " as typed at a desk: an empty place in the list names nobody.
        const QString direccion = parte.trimmed();
        if (direccion.isEmpty())
            continue;
        const QString motivo = MotivoDireccionInvalida(direccion);
        if (!motivo.isEmpty())
            throw TvError(ErrorNumber::InvalidCall, "La dirección de correo \"" + direccion +
                                                        "\" no es válida: " + motivo + ".");
        direcciones << direccion;
    }
    return direcciones;
}

void Mensaje::ComprobarCabecera(const QString& campo, const QString& valor) {
    if (valor.contains('\r') || valor.contains('\n'))
        throw TvError(ErrorNumber::InvalidCall,
                      "El campo " + campo + " no puede contener saltos de línea.");
}

QString Mensaje::NuevoMessageId(const QString& remitente) {
    const QString domain = remitente.section('@', 1);
    return QUuid::createUuid().toString(QUuid::WithoutBraces) + "@" +
           (domain.isEmpty() ? QStringLiteral("localhost") : domain);
}

QByteArray Mensaje::Mime(const Correo& correo, const QDateTime& fecha, const QString& messageId) {
    ComprobarCabecera("Asunto", correo.asunto);
    ComprobarCabecera("Remitente", correo.nombreRemitente);
    for (const QString& d : correo.para + correo.cc + QStringList{correo.remitente})
        if (const QString motivo = MotivoDireccionInvalida(d); !motivo.isEmpty())
            throw TvError(ErrorNumber::InvalidCall,
                          "La dirección de correo \"" + d + "\" no es válida: " + motivo + ".");
    const QByteArray boundary = "=_tv_" + QUuid::createUuid().toByteArray(QUuid::Id128);
    QByteArray out;
    out += "From: ";
    if (!correo.nombreRemitente.isEmpty())
        out += Name(correo.nombreRemitente) + " ";
    out += "<" + correo.remitente.toUtf8() + ">\r\n";
    out += "To: " + correo.para.join(",\r\n ").toUtf8() + "\r\n";
    if (!correo.cc.isEmpty())
        out += "Cc: " + correo.cc.join(",\r\n ").toUtf8() + "\r\n";
    out += "Subject: " + Encoded(correo.asunto) + "\r\n";
    out += "Date: " + Date(fecha) + "\r\n";
    out += "Message-ID: <" + messageId.toUtf8() + ">\r\n";
    out += "MIME-Version: 1.0\r\n";
    out += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
    out += "--" + boundary + "\r\n";
    out += "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\n";
    QString body = correo.cuerpo;
    body.replace("\r\n", "\n").replace('\n', "\r\n");
    out += Base64Lines(body.toUtf8());
    for (const Adjunto& a : correo.adjuntos) {
        ComprobarCabecera("Adjunto", a.nombre);
        out += "--" + boundary + "\r\n";
        out += "Content-Type: " + a.tipo.toLatin1();
        if (Ascii(a.nombre) && !a.nombre.contains('"') && !a.nombre.contains('\\'))
            out += "; name=\"" + a.nombre.toUtf8() + '"';
        out += "\r\n";
        out += "Content-Transfer-Encoding: base64\r\n";
        out += "Content-Disposition: attachment" + FileNameParameters(a.nombre) + "\r\n\r\n";
        out += Base64Lines(a.datos);
    }
    out += "--" + boundary + "--\r\n";
    return out;
}
