#pragma once

#include "invoicing/core/Money.h"
#include "platform/util/TvError.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

// Closing the till (docs/till.md): what a cash box should hold per payment type since its last
// closing, and the closing that records what was counted. Knows no window and reads no global:
// the dialog and tvCaja pass the user and the moment.
namespace CierreCaja {

// A refusal the user can act on (a wrong amount, a box just closed by someone else, no right);
// the transaction is rolled back and nothing is written.
class Rechazo : public TvError {
public:
    explicit Rechazo(const QString& message) : TvError(0, message) {}
};

// One payment type of an open period or of a closing. The entries are split by kind: paid for
// invoices, given back for credit notes, other money in (client payments, cash in) and out.
struct Metodo {
    qint32 nIdTipoCobro = 0;
    QString sTipoCobro;
    Money facturas, abonos, entradas, salidas;
    // The float (cash only) plus every entry: what should be in the drawer or on the slip.
    Money esperado;
    Money contado, diferencia; // a closing's; 0 in an open period
    int apuntes = 0;
    bool operator==(const Metodo&) const = default;
};

// What a box holds since its last closing: the float that closing left, the period's start
// (where that closing ended; the first period starts on the day of its oldest entry) and one
// line per active payment type, plus any other type the period's entries name.
struct Estado {
    qint32 nIdCaja = 0;
    QString sCaja;
    qint32 nIdUltimoCierre = 0; // 0: the box was never closed
    qint32 nNumeroUltimo = 0;
    qint32 dDesde = 0;
    QString sHoraDesde;
    Money fondo;
    QList<Metodo> metodos;
    int apuntes = 0;
    int documentos = 0; // invoices and credit notes paid into or out of the box
    Money Total() const;
};

// A stored closing, as the Z report prints it.
struct Cierre {
    qint32 nIdCierreCaja = 0;
    qint32 nIdCaja = 0;
    QString sCaja;
    qint32 nNumero = 0;
    qint32 nIdSucursal = 0;
    qint32 nIdUsuario = 0;
    QString sUsuario;
    qint32 dDesde = 0, dHasta = 0;
    QString sHoraDesde, sHoraHasta;
    Money fondoInicial, esperado, contado, diferencia, fondoDejado, retirado;
    int apuntes = 0, documentos = 0;
    QString sNota;
    QList<Metodo> metodos;
};

// What the desk typed: the counted amount per payment type name (any case), the float kept for
// the next shift (none: the one the period started with) and the remark, required when a
// difference is not zero. ultimoVisto is the last closing the user was shown: when another desk
// has closed the box since, the closing is refused so that the user sees the new period.
struct Recuento {
    QList<std::pair<QString, Money>> contado;
    std::optional<Money> fondoDejado;
    QString sNota;
    std::optional<qint32> ultimoVisto;
};

// The payment type that holds the float and the entries that name none (cash in and out by
// hand): the one called "Efectivo", else the first.
qint32 TipoEfectivo();

// Why nothing can be booked into box nIdCaja on day `dia` (a closing of the box ended after
// it); empty when the day is open. Issuing asks before it draws a number; the database refuses
// such a row by itself as well.
QString PeriodoCerrado(qint32 nIdCaja, qint32 dia);

// The open period of box nIdCaja. An unknown box is refused.
Estado EstadoCaja(qint32 nIdCaja);

// Whether user nIdUsuario may close box nIdCaja: the group's right "tvCierreCaja", and for a box
// that is not one of the user's own ("tvCierreCajaTodas"). Empty when allowed, else why not.
QString ComprobarPermiso(qint32 nIdUsuario, qint32 nIdCaja);

// Reads "Efectivo=120,00;Tarjeta=50,00" (amounts through the module's one parser); refuses
// letters, negative or oversized amounts and a pair without "=".
QList<std::pair<QString, Money>> LeerContado(const QString& text);
// An amount typed for `campo`, refused as every typed amount is.
Money LeerImporte(const QString& text, const QString& campo);

// Closes box nIdCaja at moment `ahora` for user nIdUsuario in one transaction: the closing, its
// lines, and its id on every entry of the period. Refuses (Rechazo) without the right, for a
// payment type the module does not know, without a count for a type that has entries, with a
// float above the cash counted, with differences and no remark, and when the box was closed
// since ultimoVisto. Answers the closing as stored.
Cierre Cerrar(qint32 nIdCaja, qint32 nIdUsuario, const Recuento& recuento, const QDateTime& ahora);

// The stored closing; none when there is no such id.
std::optional<Cierre> LeerCierre(qint32 nIdCierreCaja);
// The id of box nIdCaja's closing number nNumero (nIdCaja 0: of the only box that has such a
// number); 0 when there is none, and a Rechazo when several boxes have it.
qint32 BuscarCierre(qint32 nIdCaja, qint32 nNumero);

} // namespace CierreCaja
