// A client's simplified invoices replaced by one complete invoice that takes over their lines.

#include "invoicing/SustituirSimplificadas.h"

#include "invoicing/Conta.h"
#include "invoicing/Numeracion.h"
#include "invoicing/core/AmountsCheck.h"
#include "invoicing/core/DocumentAmounts.h"
#include "invoicing/core/TaxableBreakdown.h"
#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"
#include "register/FirmaRegistro.h"
#include "register/RegistroFacturacion.h"

#include <algorithm>

namespace {

using Sql::Id;
using Sql::Text;

QString Lista(const QList<qint32>& ids) {
    QStringList texts;
    for (const qint32 id : ids)
        texts << Id(id);
    return texts.join(',');
}

// The lines are copied as they were sold, so that the complete invoice prints, registers and
// checks exactly what the simplified ones held; the stock, the pet's history and the payments stay
// with the simplified invoices, which did them.
using SustitucionRechazada = Rehusado<PasoSustitucion>;

const char* const ColumnasLinea = "nIdCliente,nIdMascota,nIdProductoServicio,sConclusion,"
                                  "nUnidades,nPvp,nBaseImp,nPorcIpto,nImpuestos,nTotal";

} // namespace

QString Sustituida(qint32 nIdFactura) {
    const Rows sustituta =
        Db().GetRows("SELECT f.sFactura,c.sFactura FROM FacturasSustituidas s JOIN Facturas f ON "
                     "f.nIdFactura=s.nIdFacturaSimplificada JOIN Facturas c ON "
                     "c.nIdFactura=s.nIdFactura WHERE s.nIdFacturaSimplificada=" +
                     Id(nIdFactura));
    if (sustituta.IsEmpty())
        return {};
    return QStringLiteral("La factura %1 está sustituida por la factura completa %2: ya no se "
                          "rectifica, anula ni sustituye. Lo que haya que corregir se rectifica "
                          "en la %2.")
        .arg(sustituta(0, 0).toString(), sustituta(1, 0).toString());
}

QString MotivoSinDestinatario(const IdCliente& cliente) {
    // Checked as at the desk: an empty id would be another simplified invoice, which replaces
    // nothing.
    const DocumentoVenta documento = ElegirDocumento(cliente, Money(), Money());
    if (!documento.Emitible())
        return documento.motivo;
    if (documento.Simplificada())
        return QStringLiteral("La factura completa debe identificar al cliente: escriba su NIF, o "
                              "el país, el tipo y el número de su documento extranjero.");
    return {};
}

QString MotivoNoSustituible(qint32 nIdFactura) {
    const Rows f = Db().GetRows(
        "SELECT sFactura,COALESCE(sTipoFactura,''),(SELECT COUNT(*) FROM FacturasAnuladas a WHERE "
        "a.nIdFactura=f.nIdFactura),(SELECT COUNT(*) FROM Abonos a WHERE "
        "a.nIdFacturaAbonada=f.nIdFactura) FROM Facturas f WHERE f.nIdFactura=" +
        Id(nIdFactura));
    if (f.IsEmpty())
        return QStringLiteral("La factura ya no existe: otro puesto la ha borrado.");
    const QString factura = "La factura " + f(0, 0).toString();
    if (f(1, 0).toString() != QLatin1String("F2"))
        return factura + " no es una factura simplificada: solo las simplificadas se sustituyen "
                         "por una factura completa.";
    if (U().SqlNumber(f(2, 0)) != 0)
        return factura + " está anulada: no se puede sustituir.";
    if (U().SqlNumber(f(3, 0)) != 0)
        return factura + " tiene rectificaciones: ya no se puede sustituir por una factura "
                         "completa.";
    return Sustituida(nIdFactura);
}

namespace {

// The simplified invoices chosen, each once, in the order of their keys.
QList<qint32> Elegidas(const SolicitudSustitucion& s) {
    QList<qint32> ids = s.facturas;
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    if (ids.isEmpty())
        throw SustitucionRechazada(PasoSustitucion::Facturas,
                                   "Elija las facturas simplificadas que sustituye la factura "
                                   "completa.");
    return ids;
}

// The chosen simplified invoices as read under their locks: what was charged for them and their
// numbers; the first one's employee and box go to the complete invoice.
struct Simplificadas {
    Rows filas;
    Money descuento, debido;
    QStringList numeros;
};

Simplificadas LeerSimplificadas(const QList<qint32>& ids, qint32 nIdCliente) {
    Simplificadas f;
    f.filas = Db().GetRows("SELECT nIdFactura,nIdCliente,sFactura,nDescuento,nTotal,"
                           "nIdEmpleado,nIdCaja FROM Facturas WHERE nIdFactura IN (" +
                           Lista(ids) + ") ORDER BY nIdFactura");
    for (int r = 0; r < f.filas.RowCount(); ++r) {
        if (Utility::ToInt32(U().SqlNumber(f.filas(1, r))) != nIdCliente)
            throw SustitucionRechazada(PasoSustitucion::Cliente,
                                       "La factura " + f.filas(2, r).toString() +
                                           " no es de este cliente: no se ha sustituido nada.");
        f.descuento += Money::FromStored(f.filas(3, r));
        f.debido += Money::FromStored(f.filas(4, r)) - Money::FromStored(f.filas(3, r));
        f.numeros << f.filas(2, r).toString();
    }
    return f;
}

// The complete invoice's header: the customer as typed, the town as the client's record has it.
qint32 InsertarCompleta(const SolicitudSustitucion& s, const DocumentoVenta& documento,
                        const QString& sFactura, const DocumentAmounts& importes,
                        const Simplificadas& simplificadas) {
    const Rows cliente = Db().GetRows("SELECT sPoblacion,sProvincia,sCodigoPostal FROM Clientes "
                                      "WHERE nIdCliente=" +
                                      Id(s.nIdCliente));
    if (cliente.IsEmpty())
        throw SustitucionRechazada(PasoSustitucion::Cliente,
                                   "El cliente ya no existe: otro puesto lo ha borrado.");
    QStringList values{Id(s.nIdSucursal),
                       Id(s.nIdCliente),
                       Text(s.cliente.sNombre.trimmed()),
                       Text(s.cliente.sDomicilio.trimmed()),
                       Text(cliente(0, 0).toString()),
                       Text(cliente(1, 0).toString()),
                       Text(cliente(2, 0).toString()),
                       Text(documento.sDni),
                       Id(s.nIdUsuario),
                       U().SqlValue(U().SqlNumber(simplificadas.filas(5, 0)), 0, true),
                       U().SqlValue(U().SqlNumber(simplificadas.filas(6, 0)), 0, true),
                       Text(sFactura),
                       Id(s.dFactura)};
    values << importes.Texts() << U().SqlValue(0.0, 2, true) << Text(QStringLiteral("F3"))
           << Text(documento.sPais) << Text(documento.sTipoId)
           << Text(simplificadas.numeros.join(", "));
    return Db().InsertRecord(
        "Facturas",
        "nIdSucursal,nIdCliente,sCliente,sDomicilio,sPoblacion,sProvincia,sCodigoPostal,sDni,"
        "nIdUsuario,nIdEmpleado,nIdCaja,sFactura,dFactura," +
            DocumentAmounts::Columns.join(',') +
            ",nExento,sTipoFactura,sIdOtroPais,sIdOtroTipo,sFacturasSustituidas",
        values.join(','));
}

} // namespace

Resultado<FacturaSustituta, PasoSustitucion> SustituirSimplificadas(const SolicitudSustitucion& s) {
    return Responder<PasoSustitucion>([&] {
        const QList<qint32> ids = Elegidas(s);
        if (const QString motivo = MotivoSinDestinatario(s.cliente); !motivo.isEmpty())
            throw SustitucionRechazada(PasoSustitucion::Destinatario, motivo);
        const DocumentoVenta documento = ElegirDocumento(s.cliente, Money(), Money());
        if (const QString firma = FirmaRegistro::Problema(); !firma.isEmpty())
            throw SustitucionRechazada(PasoSustitucion::Registro, firma);
        const QString serie = Numeracion::SerieDeVenta(s.nIdSucursal, documento.sTipoFactura);
        if (const QString fecha =
                Numeracion::FechaNoPermitidaEnSerie(s.nIdSucursal, serie, s.dFactura);
            !fecha.isEmpty())
            throw SustitucionRechazada(PasoSustitucion::Numero, fecha);

        FacturaSustituta resultado;
        Db().Batched([&] {
            TransactionGuard guard;
            // In the order of their keys, so that two workstations replacing overlapping sets never
            // hold one each of what the other waits for; a rectification or cancellation waits here
            // too.
            for (const qint32 id : ids)
                Db().LockForTransaction("Facturas", id);
            for (const qint32 id : ids)
                if (const QString motivo = MotivoNoSustituible(id); !motivo.isEmpty())
                    throw SustitucionRechazada(PasoSustitucion::Facturas, motivo);
            const Simplificadas simplificadas = LeerSimplificadas(ids, s.nIdCliente);
            Conta::BloquearClientes({s.nIdCliente});

            const QString deLasSimplificadas = "nIdFactura IN (" + Lista(ids) + ")";
            const DocumentAmounts importes = DocumentAmounts::Of(
                DocumentLine::Read(deLasSimplificadas), simplificadas.descuento);
            if (importes.TooManyRates())
                throw SustitucionRechazada(
                    PasoSustitucion::Importes,
                    "Las facturas elegidas tienen más de tres tipos de IVA y una "
                    "factura lleva tres como mucho: sustitúyalas en dos veces.");
            // Each simplified invoice rounded its own figures; added up again they may differ by a
            // cent, and the complete invoice must say what the customer was charged.
            const TaxableBreakdown desglose = TaxableBreakdown::Of(importes);
            const Money cuota = Money::FromStored(
                Db().GetRows("SELECT SUM(nCuota) FROM FacturasDesglose WHERE " + deLasSimplificadas)
                    .Value(0, 0));
            if (importes.AmountDue() != simplificadas.debido || desglose.Cuota() != cuota)
                throw SustitucionRechazada(
                    PasoSustitucion::Importes,
                    "Las facturas elegidas, sumadas línea a línea, no dan al "
                    "céntimo el importe o el IVA que se cobraron: sustitúyalas por "
                    "separado.");

            const QString sFactura =
                Numeracion::SiguientesEnSerie(s.nIdSucursal, serie, s.dFactura, 1).front();
            const qint32 nIdFactura =
                InsertarCompleta(s, documento, sFactura, importes, simplificadas);
            Db().Execute(QStringLiteral("INSERT INTO FacturasItems (nIdFactura,") + ColumnasLinea +
                         ") SELECT " + Id(nIdFactura) + "," + ColumnasLinea +
                         " FROM FacturasItems WHERE " + deLasSimplificadas +
                         " ORDER BY nIdFactura,nIdFacturaItem");
            desglose.Write(nIdFactura);
            for (const qint32 id : ids)
                Db().InsertRecord("FacturasSustituidas", "nIdFactura,nIdFacturaSimplificada",
                                  Id(nIdFactura) + "," + Id(id));
            // The balance counts the complete invoice instead of the simplified ones: the same
            // amount.
            Conta::SaldosClientes({s.nIdCliente});
            if (const QString descuadre = AmountsCheck::BeforeCommit({nIdFactura});
                !descuadre.isEmpty())
                throw SustitucionRechazada(PasoSustitucion::Importes,
                                           descuadre + " No se ha emitido.");
            RegistroFacturacion::Registrar(nIdFactura);
            guard.Commit();
            resultado = {nIdFactura, sFactura};
        });
        return resultado;
    });
}
