#pragma once

#include "invoicing/Resultado.h"
#include "invoicing/core/DocumentoVenta.h"

#include <QList>
#include <QString>

// A customer who paid with simplified invoices and now asks for a complete one: one invoice (F3)
// that names the customer and takes over the simplified invoices' lines and totals. The money was
// taken when they were issued, so nothing of it moves again: no payment, cash-box entry, stock,
// pet history or vaccination; the client's balance counts the new invoice instead of them.
struct SolicitudSustitucion {
    qint32 nIdCliente = 0;
    // The simplified invoices to replace, by id; all of the client, none cancelled, rectified or
    // replaced already.
    QList<qint32> facturas;
    // Who the complete invoice is for, checked as a complete invoice's customer at the desk.
    IdCliente cliente;
    qint32 nIdSucursal = 0;
    qint32 nIdUsuario = 0;
    // The new invoice's date (the working date), yyyymmdd.
    qint32 dFactura = 0;
};

struct FacturaSustituta {
    qint32 nIdFactura = 0;
    QString sFactura;
};

// The step of replacing that refused it.
enum class PasoSustitucion {
    // None chosen, or one that cannot be replaced now.
    Facturas,
    // The customer cannot receive a complete invoice (no id, a wrong NIF...).
    Destinatario,
    // A simplified invoice of another client, or the client gone.
    Cliente,
    // The series admits no document on that day.
    Numero,
    // More than three tax rates, or the figures do not add up.
    Importes,
    // The register cannot sign the record.
    Registro,
};

// Why `cliente` cannot be the recipient of a complete invoice (no id, a wrong NIF...), checked as a
// complete invoice's customer at the desk; empty when it can.
QString MotivoSinDestinatario(const IdCliente& cliente);

// Why simplified invoice nIdFactura cannot be replaced now; empty when it can.
QString MotivoNoSustituible(qint32 nIdFactura);

// Why document nIdFactura may no longer be rectified or cancelled because a complete invoice
// replaced it ("La factura TA0001/26 está sustituida por la factura completa A0003/26..."); empty
// when no invoice replaced it.
QString Sustituida(qint32 nIdFactura);

// In one transaction, under the locks of the simplified invoices and of the client: the complete
// invoice numbered in the branch's invoice series with copies of their lines, their discounts
// added up, its breakdown and register record, and each simplified invoice marked as replaced by
// it. Answers it or the step that refused it, or raises the error met; on a refusal or an error
// nothing is written and the number goes back to its series.
Resultado<FacturaSustituta, PasoSustitucion>
SustituirSimplificadas(const SolicitudSustitucion& solicitud);
