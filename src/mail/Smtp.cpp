// One message sent over encrypted SMTP through the branch's mail account (libcurl).

#include "mail/Smtp.h"

#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"

#include <QFile>
#include <QHostInfo>
#include <cstring>
#include <curl/curl.h>
#include <memory>

namespace {

struct Transfer {
    const QByteArray* mime = nullptr;
    qsizetype sent = 0;
    const std::function<void()>* enviando = nullptr;
    bool started = false;
    QByteArray answers; // what the server said, every line
};

size_t ReadMime(char* buffer, size_t size, size_t count, void* data) {
    auto* t = static_cast<Transfer*>(data);
    if (!t->started) {
        // Nothing may be thrown through libcurl: a caller that cannot record that the content
        // goes out stops it before the first byte, so the message is simply tried again.
        try {
            if (*t->enviando)
                (*t->enviando)();
        } catch (...) {
            return CURL_READFUNC_ABORT;
        }
        t->started = true;
    }
    const qsizetype n = std::min<qsizetype>(qsizetype(size * count), t->mime->size() - t->sent);
    std::memcpy(buffer, t->mime->constData() + t->sent, size_t(n));
    t->sent += n;
    return size_t(n);
}

// Only the server's own lines are kept: what we send (the login among it) never is.
int KeepAnswers(CURL*, curl_infotype type, char* text, size_t size, void* data) {
    if (type == CURLINFO_HEADER_IN)
        static_cast<Transfer*>(data)->answers.append(text, qsizetype(size));
    return 0;
}

// The server's refusal when there was one (what it says on leaving after it is no news), else
// its last answer.
QString LastAnswer(const QByteArray& answers) {
    const QByteArrayList lines = answers.trimmed().split('\n');
    for (auto line = lines.crbegin(); line != lines.crend(); ++line)
        if (line->startsWith('4') || line->startsWith('5'))
            return QString::fromUtf8(line->trimmed());
    return QString::fromUtf8(lines.last().trimmed());
}

QString Describe(CURLcode code, const Smtp::Cuenta& cuenta, const QString& answer,
                 const char* detail) {
    const QString server = cuenta.host + ":" + QString::number(cuenta.Puerto());
    const QString said = answer.isEmpty() ? QString() : " El servidor respondió: " + answer;
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return "No se encuentra el servidor de correo " + cuenta.host + ".";
    case CURLE_COULDNT_CONNECT:
        return "No se puede conectar con el servidor de correo " + server + ".";
    case CURLE_OPERATION_TIMEDOUT:
        return "El servidor de correo " + server + " no ha respondido a tiempo.";
    case CURLE_LOGIN_DENIED:
        return "El servidor de correo ha rechazado el usuario o la contraseña de la sucursal." +
               said;
    case CURLE_USE_SSL_FAILED:
        return "El servidor de correo " + server +
               " no ofrece conexión cifrada (STARTTLS); no se le envía nada.";
    case CURLE_PEER_FAILED_VERIFICATION:
        return "El certificado del servidor de correo " + server +
               " no es válido o no es de una autoridad de confianza: " + QString::fromUtf8(detail);
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CACERT_BADFILE:
        return "No se pudo establecer la conexión cifrada con " + server + ": " +
               QString::fromUtf8(detail);
    default:
        break;
    }
    if (answer.startsWith('4') || answer.startsWith('5'))
        return QString("El servidor de correo ha rechazado el mensaje.") + said;
    return "Error al enviar el correo a " + server + ": " +
           QString::fromUtf8(*detail ? detail : curl_easy_strerror(code)) + "." + said;
}

// The system's authorities and, after them, the branch's own, as one PEM text for libcurl.
bool Authorities(CURL* curl, const QString& extra, QByteArray& pem, QString& error) {
    char* system = nullptr;
    curl_easy_getinfo(curl, CURLINFO_CAINFO, &system);
    if (system) {
        QFile file(QString::fromLocal8Bit(system));
        if (file.open(QIODevice::ReadOnly))
            pem = file.readAll() + "\n";
    }
    QFile own(extra);
    if (!own.open(QIODevice::ReadOnly)) {
        error = "No se puede leer el certificado de autoridad de la sucursal (sEmailCA): " + extra;
        return false;
    }
    pem += own.readAll();
    return true;
}

} // namespace

int Smtp::Cuenta::Puerto() const {
    if (puerto > 0)
        return puerto;
    return seguridad == QLatin1String("tls") ? 465 : 587;
}

QString Smtp::Cuenta::Problema() const {
    if (host.isEmpty())
        return QStringLiteral("La sucursal no tiene servidor de correo (sEmailSvr).");
    if (seguridad != QLatin1String("starttls") && seguridad != QLatin1String("tls"))
        return "La seguridad del correo de la sucursal (sEmailSeguridad) debe ser starttls o tls, "
               "no \"" +
               seguridad + "\".";
    if (Remitente().isEmpty())
        return QStringLiteral("La sucursal no tiene dirección de remitente (sEmailRemitente o "
                              "sEmailUsr).");
    return {};
}

Smtp::Cuenta Smtp::LeerCuenta(qint32 nIdSucursal) {
    const Rows rows = Db().GetRows("SELECT sDato,sValor FROM ConfiguracionSucursales WHERE "
                                   "sDato LIKE 'sEmail%' AND nIdSucursal=" +
                                   QString::number(nIdSucursal));
    auto setting = [&](const char* name) {
        for (int r = 0; r < rows.RowCount(); ++r)
            if (rows(0, r).toString().compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                return rows(1, r).toString().trimmed();
        return QString();
    };
    Cuenta c;
    const QString server = setting("sEmailSvr");
    const qsizetype colon = server.lastIndexOf(':');
    c.host = colon > 0 ? server.left(colon) : server;
    c.puerto = colon > 0 ? server.mid(colon + 1).toInt() : 0;
    c.usuario = setting("sEmailUsr");
    c.clave = setting("sEmailPwd");
    c.seguridad = setting("sEmailSeguridad").toLower();
    if (c.seguridad.isEmpty())
        c.seguridad = QStringLiteral("starttls");
    c.remitente = setting("sEmailRemitente");
    c.ca = setting("sEmailCA");
    if (const int seconds = setting("sEmailTiempoMaximo").toInt(); seconds > 0)
        c.tiempoMaximoMs = seconds * 1000;
    return c;
}

Smtp::Resultado Smtp::Enviar(const Cuenta& cuenta, const QStringList& destinatarios,
                             const QByteArray& mime, const std::function<void()>& enviando) {
    Resultado result;
    if (const QString problem = cuenta.Problema(); !problem.isEmpty()) {
        result.error = problem;
        return result;
    }
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    const std::unique_ptr<CURL, void (*)(CURL*)> curl(ready ? curl_easy_init() : nullptr,
                                                      curl_easy_cleanup);
    if (!curl) {
        result.error = QStringLiteral("No se pudo preparar el envío de correo (libcurl).");
        return result;
    }
    CURL* h = curl.get();
    const bool tls = cuenta.seguridad == QLatin1String("tls");
    QString domain = QHostInfo::localHostName();
    if (domain.isEmpty())
        domain = QStringLiteral("localhost");
    const QByteArray url = QString("%1://%2:%3/%4")
                               .arg(tls ? "smtps" : "smtp", cuenta.host)
                               .arg(cuenta.Puerto())
                               .arg(domain)
                               .toUtf8();
    const QByteArray user = cuenta.usuario.toUtf8(), password = cuenta.clave.toUtf8();
    const QByteArray from = "<" + cuenta.Remitente().toUtf8() + ">";
    std::unique_ptr<curl_slist, void (*)(curl_slist*)> rcpt(nullptr, curl_slist_free_all);
    for (const QString& d : destinatarios)
        rcpt.reset(curl_slist_append(rcpt.release(), ("<" + d.toUtf8() + ">").constData()));
    Transfer t;
    t.mime = &mime;
    t.enviando = &enviando;
    char detail[CURL_ERROR_SIZE] = {};

    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    QByteArray pem;
    if (!cuenta.ca.isEmpty()) {
        if (!Authorities(h, cuenta.ca, pem, result.error))
            return result;
        curl_blob blob{pem.data(), size_t(pem.size()), CURL_BLOB_NOCOPY};
        curl_easy_setopt(h, CURLOPT_CAINFO_BLOB, &blob);
    }
    if (!user.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(h, CURLOPT_PASSWORD, password.constData());
    }
    curl_easy_setopt(h, CURLOPT_MAIL_FROM, from.constData());
    curl_easy_setopt(h, CURLOPT_MAIL_RCPT, rcpt.get());
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, curl_off_t(mime.size()));
    curl_easy_setopt(h, CURLOPT_READFUNCTION, ReadMime);
    curl_easy_setopt(h, CURLOPT_READDATA, &t);
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, KeepAnswers);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, &t);
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, detail);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, long(std::min(cuenta.tiempoMaximoMs, 15000)));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, long(cuenta.tiempoMaximoMs));

    const CURLcode code = curl_easy_perform(h);
    result.contenidoEnviado = t.started;
    result.respuesta = LastAnswer(t.answers);
    if (code == CURLE_OK && result.respuesta.startsWith(QLatin1String("250")))
        result.aceptado = true;
    else
        result.error = Describe(code, cuenta, result.respuesta, detail);
    return result;
}
