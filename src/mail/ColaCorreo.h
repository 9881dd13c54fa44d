#pragma once

#include "mail/Mensaje.h"

#include <QString>
#include <QStringList>
#include <vector>

// The outgoing mail queue (table CorreosSalientes): a message is written whole before it is
// sent, so a server that is down, a refused login or a crash loses nothing; it is then retried
// with a growing wait. A message whose content went out before the process died may have been
// accepted: it is held as "dudoso" and sent again only when somebody asks, never twice on its own.
namespace ColaCorreo {

struct Envio {
    qint32 nIdFactura = 0;
    qint32 nIdSucursal = 0;
    QString para, cc; // addresses separated by ";"
    QString asunto, cuerpo;
    std::vector<Mensaje::Adjunto> adjuntos;
};

// Invoice nIdFactura's message as its branch words it: To the client's sEmail, the subject
// "Factura A0001/26 — <clinic>" and the body from the branch's template (sEmailPlantilla, with
// {numero}, {fecha}, {total} and {clinica}); no attachment yet. Throws when there is no invoice.
Envio DeFactura(qint32 nIdFactura);
// The invoice's file name for the attachment: "Factura A0001-26.pdf".
QString NombreArchivo(const QString& numero, const QString& extension);

// Checks the addresses and headers, builds the message and stores it, pending, in one
// transaction (the caller's when one is open). Answers its nIdCorreo; throws TvError with a
// Spanish message and stores nothing when something is wrong.
qint32 Encolar(const Envio& envio);

struct Estado {
    qint32 nIdCorreo = 0, nIdFactura = 0;
    QString para, asunto, estado, error, respuesta, proximo, enviado;
    int intentos = 0;
};

// Sends message id now when nobody else is sending it and it waits; answers its state after.
Estado Enviar(qint32 id);
// Sends every message that waits: only those whose wait is over unless todos.
std::vector<Estado> EnviarPendientes(bool todos);
// A message held as "dudoso" or waiting goes out again on the next send.
void Reenviar(qint32 id);
// Every message not yet accepted, then the accepted ones, newest first.
std::vector<Estado> Lista();

// How long a message waits after its n-th failed attempt: 1, 2, 4 ... minutes, at most an hour.
int EsperaSegundos(int intentos);

} // namespace ColaCorreo
