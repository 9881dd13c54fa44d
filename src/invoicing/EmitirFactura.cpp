#include "invoicing/EmitirFactura.h"

#include "invoicing/Actualizaciones.h"
#include "invoicing/Conta.h"
#include "invoicing/GenerarFactura.h"
#include "invoicing/LineasPendientes.h"
#include "invoicing/Numeracion.h"
#include "invoicing/core/DocumentAmounts.h"
#include "platform/data/DataAccess.h"
#include "platform/data/Recordset.h"
#include "platform/util/Utility.h"
#include "register/RegistroFacturacion.h"

namespace {

QString Id(qint64 id) {
    return QString::number(id);
}

QString Text(const QString& text) {
    return U().SqlValue(text, 0, true);
}

// A stored id or count read as its text: empty text (a NULL field) is no number.
qint32 Whole(const Recordset& rs, const QString& field) {
    const QString text = rs.Fields(field).Value.toString();
    if (text.trimmed().isEmpty())
        throw TvError(ErrorNumber::TypeMismatch,
                      "El campo " + field + " está vacío donde se espera un número");
    return Utility::ToInt32(U().SqlNumber(text));
}

qint32 Entero(const QVariant& value) {
    return Utility::ToInt32(U().SqlNumber(value));
}

// Runs one step of issuing; its failure leaves as a FalloEmision named after the procedure that
// reports it, unless an inner step has named it already.
template <class Body> auto Paso(const QString& procedimiento, Body&& body) {
    try {
        return body();
    } catch (const FalloEmision&) {
        throw;
    } catch (const FacturaNoEmitida&) {
        throw;
    } catch (const TvError& e) {
        throw FalloEmision(procedimiento, e, std::current_exception());
    } catch (const std::exception& e) {
        throw FalloEmision(procedimiento, TvError(0, QString::fromLocal8Bit(e.what())),
                           std::current_exception());
    }
}

// One payment row per non-zero amount of the payment record.
void Cobros(const SolicitudFactura& s, qint32 nIdFactura) {
    Paso("Facturacion::Actualizar_Cobros", [&] {
        for (int k = 0; k < CobroRecord::Slots; ++k) {
            if (s.cobro.nImporte[k] == 0)
                continue;
            const Rows tipo = Db().GetRows("SELECT nIdTipoCobro,nIdTipoMovimiento FROM TipoCobro "
                                           "WHERE sTipoCobro=" +
                                           Text(s.cobro.sTipoCobro[k]));
            // A type that names no payment type books under type 0 and movement 0.
            const qint32 nIdTipoCobro = tipo.IsEmpty() ? 0 : Entero(tipo(0, 0));
            const qint32 nIdTipoMovimiento = tipo.IsEmpty() ? 0 : Entero(tipo(1, 0));
            Paso("Conta::Generar_CobroCliente", [&] {
                return Conta::CobroCliente(s.nIdCliente, s.cobro.nImporte[k], nIdTipoMovimiento,
                                           nIdTipoCobro, nIdFactura, s.dFactura, {});
            });
        }
    });
}

// Every item of the invoice goes into its pet's history, dated the day of issue.
void HistoriaMascotas(const SolicitudFactura& s, qint32 nIdFactura) {
    Paso("Facturacion::Actualizar_MascotasProdServ", [&] {
        Recordset rs;
        Db().OpenRecordset("SELECT nIdMascota,nIdProductoServicio,sConclusion FROM FacturasItems "
                           "WHERE nIdFactura= " +
                               Id(nIdFactura) + " AND nIdCliente=" + Id(s.nIdCliente),
                           rs);
        for (; !rs.Eof(); rs.MoveNext())
            Db().InsertRecord("MascotasProdServ",
                              "nIdMascota,dFactura,nIdProductoServicio,sConclusion,nIdFactura",
                              Id(Whole(rs, "nIdMascota")) + "," + Id(s.dEmision) + "," +
                                  Id(Whole(rs, "nIdProductoServicio")) + "," +
                                  Text(rs.Fields("sConclusion").Value.toString()) + "," +
                                  Id(nIdFactura));
        if (rs.State() == Recordset::Open)
            rs.Close();
    });
}

// Each vaccine with a cadence gets a vaccination row with the date of the next dose.
void Vacunas(qint32 nIdFactura) {
    Paso("Facturacion::Actualizar_VacunasRecibidas", [&] {
        Recordset rs;
        Db().OpenRecordset(
            QString("SELECT FacturasItems.*, ProductosServicios.nCadencia, Facturas.dFactura ") +
                " FROM ((FacturasItems" +
                " INNER JOIN Facturas ON Facturas.nIdFactura=FacturasItems.nIdFactura)" +
                " INNER JOIN ProductosServicios ON "
                "FacturasItems.nIdProductoServicio=ProductosServicios.nIdProductoServicio)" +
                " WHERE ProductosServicios.bVacuna=True" +
                " AND FacturasItems.nIdFactura=" + Id(nIdFactura),
            rs);
        for (; !rs.Eof(); rs.MoveNext()) {
            const qint16 nCadencia = Utility::ToInt16(U().SqlNumber(rs.Fields("nCadencia").Value));
            if (nCadencia <= 0)
                continue;
            const qint32 dVacunado = Whole(rs, "dFactura");
            const qint32 dProximaVacuna = Entero(
                U().FormatDate(3, U().AddToDate("d", nCadencia, U().FormatDate(2, dVacunado))));
            Db().InsertRecord(
                "Vacunaciones",
                "nIdFactura,nIdFacturaItem,nIdProductoServicio,nIdMascota,dVacunado,dProximaVacuna",
                QStringList{Id(Whole(rs, "nIdFactura")), Id(Whole(rs, "nIdFacturaItem")),
                            Id(Whole(rs, "nIdProductoServicio")), Id(Whole(rs, "nIdMascota")),
                            Id(dVacunado), Id(dProximaVacuna)}
                    .join(','));
        }
        if (rs.State() == Recordset::Open)
            rs.Close();
    });
}

// Lowers the stock of every product of the invoice by its units (services are left alone). Its
// failure ends the program without a report: the step has no name.
void Stock(qint32 nIdFactura) {
    Paso(QString(), [&] {
        Recordset rs;
        Db().OpenRecordset("SELECT * FROM FacturasItems WHERE nIdFactura=" + Id(nIdFactura), rs);
        for (; !rs.Eof(); rs.MoveNext()) {
            const QString where = "nIdProductoServicio=" + Id(Whole(rs, "nIdProductoServicio"));
            const qint32 nUnidades = Whole(rs, "nUnidades");
            const qint32 stock = Entero(Db().GetValue("ProductosServicios", where, "nStockActual"));
            if (U().SqlNumber(Db().GetValue("ProductosServicios", where, "bProducto")) != 0)
                Db().UpdateRecord("ProductosServicios", "nStockActual",
                                  Id(Utility::ToInt32(double(stock) - nUnidades)), where);
        }
        if (rs.State() == Recordset::Open)
            rs.Close();
    });
}

// One cash-box entry per non-zero amount of the payment record, referenced "Fra." + sFactura.
void ApuntesCaja(const SolicitudFactura& s, const QString& sFactura, qint32 nIdFactura) {
    Paso("Facturacion::Actualizar_ApunteCaja", [&] {
        const QString fra = Db().Translate("Fra.");
        for (int k = 0; k < CobroRecord::Slots; ++k) {
            if (s.cobro.nImporte[k] == 0)
                continue;
            const qint32 nIdTipoMovimiento = Entero(Db().GetValue(
                "TipoCobro", "sTipoCobro=" + Text(s.cobro.sTipoCobro[k]), "nIdTipoMovimiento"));
            Paso("Conta::Generar_ApunteCaja", [&] {
                return Conta::ApunteCaja(
                    s.nIdCaja, s.nIdUsuario,
                    (Db().Translate("Cobro") + " " + s.cobro.sTipoCobro[k]).left(16), s.sTitular,
                    s.dFactura, nIdTipoMovimiento, s.cobro.nImporte[k], {}, fra + sFactura,
                    Db().Translate("Pago Fra."), nIdFactura);
            });
        }
    });
}

} // namespace

FacturaNoEmitida::FacturaNoEmitida(const QString& message) : TvError(0, message) {}

FalloEmision::FalloEmision(const QString& procedimiento, const TvError& error,
                           std::exception_ptr causa)
    : TvError(error.Number(), error.Description(), error.Statement()),
      m_procedimiento(procedimiento), m_causa(std::move(causa)) {}

void FalloEmision::Relanzar() const {
    std::rethrow_exception(m_causa);
}

qint32 EmitirFactura(const SolicitudFactura& s) {
    SolicitudFactura comprobada = s;
    const QString sFactura = Paso("Facturacion::Generar_Factura", [&] {
        comprobada.nPendiente =
            Db().SumField("FacturasItems", "nTotal", CondicionPendientes(s.nIdCliente));
        if (*comprobada.nPendiente == 0)
            throw FacturaNoEmitida("No hay ítems para facturar.");
        if (s.nIdCliente == 0)
            throw FacturaNoEmitida("Debe definir cliente previamente");
        if (const QString motivo = MotivoNoFacturable(s.nIdCliente, *comprobada.nPendiente);
            !motivo.isEmpty())
            throw FacturaNoEmitida(motivo);
        return Numeracion::Siguiente(s.nIdSucursal, s.dFactura);
    });
    return EmitirFactura(comprobada, sFactura);
}

qint32 EmitirFactura(const SolicitudFactura& s, const QString& sFactura) {
    return Paso("Facturacion::Generar_Factura", [&] {
        const QString pendientes = CondicionPendientes(s.nIdCliente);
        const DocumentAmounts importes = DocumentAmounts::Of(DocumentLine::Read(pendientes),
                                                             Money::FromDouble(s.cobro.nDescuento));
        const Rows cliente = Db().GetRows(
            "SELECT sPoblacion,sProvincia,sCodigoPostal FROM Clientes WHERE nIdCliente=" +
            Id(s.nIdCliente));
        if (cliente.IsEmpty())
            throw FacturaNoEmitida("Debe definir cliente previamente");

        TransactionGuard transaccion;
        QStringList values{Id(s.nIdSucursal),
                           Id(s.nIdCliente),
                           Text(s.cobro.sCliente),
                           Text(s.cobro.sDomicilio),
                           Text(cliente(0, 0).toString()),
                           Text(cliente(1, 0).toString()),
                           Text(cliente(2, 0).toString()),
                           Text(s.cobro.sDni),
                           Id(s.nIdUsuario),
                           U().SqlValue(s.nIdEmpleado, 0, true),
                           Id(s.nIdCaja),
                           Text(sFactura),
                           Id(s.dFactura)};
        values << importes.Texts() << U().SqlValue(0.0, 2, true);
        const qint32 nIdFactura = Db().InsertRecord(
            "Facturas",
            "nIdSucursal, nIdCliente, sCliente, sDomicilio, sPoblacion, sProvincia, "
            "sCodigoPostal, sDni, nIdUsuario, nIdEmpleado, nIdCaja, sFactura, dFactura, " +
                DocumentAmounts::Columns.join(", ") + ", nExento",
            values.join(','));
        Db().UpdateRecord("FacturasItems", "nIdFactura", Id(nIdFactura), pendientes);

        // Another workstation may have invoiced or changed these items while the payment was
        // being taken: the invoice holds exactly what was charged, or it is not issued.
        if (s.nPendiente) {
            const double facturado =
                Db().SumField("FacturasItems", "nTotal", "nIdFactura=" + Id(nIdFactura));
            if (Utility::RoundHalfAway(facturado, 2) != Utility::RoundHalfAway(*s.nPendiente, 2))
                throw FacturaNoEmitida(
                    "Los ítems pendientes del cliente han cambiado en otro puesto mientras se "
                    "cobraba: la factura " +
                    sFactura + " no se ha emitido. Revise la lista y vuelva a generarla.");
        }
        Cobros(s, nIdFactura);
        HistoriaMascotas(s, nIdFactura);
        Vacunas(nIdFactura);
        Paso("Conta::Regenerar_SaldoCliente", [&] { Conta::SaldoCliente(s.nIdCliente); });
        Stock(nIdFactura);
        ApuntesCaja(s, sFactura, nIdFactura);
        Actualizaciones::Actualizar_Desglose(nIdFactura, 0);
        RegistroFacturacion::Registrar(nIdFactura);
        transaccion.Commit();
        return nIdFactura;
    });
}
