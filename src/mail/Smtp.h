#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

// Sending one message through the branch's own mail account over SMTP (libcurl), always
// encrypted and with the server's certificate verified.
namespace Smtp {

struct Cuenta {
    QString host;
    int puerto = 0;    // 0: the security's usual port (587 STARTTLS, 465 TLS)
    QString seguridad; // "starttls" (the default) or "tls"
    QString usuario, clave;
    QString remitente; // the From address; the user when empty
    QString ca;        // an extra authority's PEM file, trusted besides the system's store
    int tiempoMaximoMs = 60000;

    int Puerto() const;
    QString Remitente() const { return remitente.isEmpty() ? usuario : remitente; }
    // What is missing or wrong to send with it ("" when it can send).
    QString Problema() const;
};

// The branch's account from ConfiguracionSucursales (sEmailSvr as host or host:port, sEmailUsr,
// sEmailPwd, sEmailSeguridad, sEmailRemitente, sEmailCA, sEmailTiempoMaximo in seconds).
Cuenta LeerCuenta(qint32 nIdSucursal);

struct Resultado {
    bool aceptado = false;
    // The content started to go out: a failure after this may have been accepted all the same.
    bool contenidoEnviado = false;
    // The server's last answer ("250 OK queued as 4F2A1"); never holds the password.
    QString respuesta;
    // What went wrong, in Spanish, with the server's answer when there was one.
    QString error;
};

// Sends mime from the account's sender to every recipient; the whole message is refused when
// the server refuses one of them. enviando is called once, when the content starts to go out.
Resultado Enviar(const Cuenta& cuenta, const QStringList& destinatarios, const QByteArray& mime,
                 const std::function<void()>& enviando = {});

} // namespace Smtp
