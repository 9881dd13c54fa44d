// Issuing invoices without a window: the checks, the document chosen, the rows of a batch.

#include "invoicing/EmitirFactura.h"

#include "caja/CierreCaja.h"
#include "invoicing/Actualizaciones.h"
#include "invoicing/Conta.h"
#include "invoicing/LineasPendientes.h"
#include "invoicing/Mostrador.h"
#include "invoicing/Numeracion.h"
#include "invoicing/core/AmountsCheck.h"
#include "invoicing/core/DocumentAmounts.h"
#include "invoicing/core/PendingItems.h"
#include "invoicing/core/TaxableBreakdown.h"
#include "platform/data/BulkInsert.h"
#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"
#include "register/FirmaRegistro.h"
#include "register/RegistroFacturacion.h"
#include "register/ValidacionesAeat.h"
#include "session/G.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <functional>
#include <map>

namespace {

using Sql::Id;
using Sql::Text;

using FacturaNoEmitida = Rehusado<PasoEmision>;

// A stored id or count read as its text: empty text (a NULL field) is no number. An integer the
// engine gives as one is taken as it is: spelling out every id of a batch's lines to parse it
// back cost the vaccinations and the stock a third of their time.
qint32 Whole(const Rows& rows, int c, int r, const char* field) {
    const QVariant value = rows(c, r);
    if (value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int)
        return Utility::ToInt32(double(value.toLongLong()));
    const QString text = value.toString();
    if (text.trimmed().isEmpty())
        throw TvError(ErrorNumber::TypeMismatch, "El campo " + QString::fromLatin1(field) +
                                                     " está vacío donde se espera un número");
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

// "k1,k2,...": the keys of a batch for an IN list.
template <class Keys> QString Lista(const Keys& keys) {
    QStringList texts;
    for (const auto key : keys)
        texts << Id(key);
    return texts.join(',');
}

// "k,v" for each key of the batch with a value of its own, rows for ValuesTable.
QStringList Pares(const QList<qint32>& ids, const std::function<QString(qsizetype)>& valor) {
    QStringList rows;
    for (qsizetype i = 0; i < ids.size(); ++i)
        rows << Id(ids[i]) + "," + valor(i);
    return rows;
}

// A payment type as its name finds it: a name that names none books under type 0 and movement 0.
struct TipoCobro {
    qint32 nIdTipoCobro = 0;
    qint32 nIdTipoMovimiento = 0;
    bool entrada = false;
    // The box its money goes into (cards into the card box); 0: the box the desk chose.
    qint32 nIdCaja = 0;

    qint32 Caja(const SolicitudFactura& s) const { return nIdCaja != 0 ? nIdCaja : s.nIdCaja; }
};

// The invoices being issued, in the order of the requests.
struct Lote {
    const std::vector<SolicitudFactura>& solicitudes;
    const QStringList& numeros;
    QList<qint32> ids;
    QList<qint32> clientes;
    QHash<QString, TipoCobro> tipos;
};

// Calls each(i, request, k, type) for every non-zero amount k of the payment record of each
// request i, in the batch's order: the payments and the cash-box entries follow the same amounts.
template <class Each> void CadaPago(const Lote& lote, Each&& each) {
    for (qsizetype i = 0; i < lote.ids.size(); ++i) {
        const SolicitudFactura& s = lote.solicitudes[size_t(i)];
        for (int k = 0; k < CobroRecord::Slots; ++k)
            if (s.cobro.nImporte[k] != Money())
                each(i, s, k, lote.tipos.value(s.cobro.sTipoCobro[k]));
    }
}

// The payment types the batch's payments name, read once for both the payments and the cash-box
// entries, before the transaction and with its other reads: a configuration the transaction
// neither writes nor locks.
QSet<QString> NombresDeTipos(const Lote& lote) {
    QSet<QString> nombres;
    for (const SolicitudFactura& s : lote.solicitudes)
        for (int k = 0; k < CobroRecord::Slots; ++k)
            if (s.cobro.nImporte[k] != Money())
                nombres.insert(s.cobro.sTipoCobro[k]);
    return nombres;
}

QString TiposQuery(const QSet<QString>& nombres) {
    QStringList quoted;
    for (const QString& nombre : nombres)
        quoted << Text(nombre);
    return "SELECT t.sTipoCobro,t.nIdTipoCobro,t.nIdTipoMovimiento,m.bEntrada,t.nIdCaja FROM "
           "TipoCobro t LEFT JOIN TipoMovimiento m ON m.nIdTipoMovimiento=t.nIdTipoMovimiento "
           "WHERE t.sTipoCobro IN (" +
           quoted.join(',') + ")";
}

void TomarTipos(Lote& lote, const QSet<QString>& nombres, const Rows& tipos) {
    for (int r = 0; r < tipos.RowCount(); ++r)
        if (!lote.tipos.contains(tipos(0, r).toString()))
            lote.tipos.insert(tipos(0, r).toString(),
                              {Entero(tipos(1, r)), Entero(tipos(2, r)),
                               U().SqlNumber(tipos(3, r)) != 0, Entero(tipos(4, r))});
    for (const QString& nombre : nombres)
        if (!lote.tipos.contains(nombre))
            lote.tipos.insert(nombre, {0, 0, Conta::EsEntrada(0)});
}

// One payment row per non-zero amount of each payment record.
void Cobros(Lote& lote) {
    Paso("Facturacion::Actualizar_Cobros", [&] {
        Paso("Conta::Generar_CobroCliente", [&] {
            BulkInsert filas("FacturasCobros", Conta::ColumnasCobroCliente);
            CadaPago(lote, [&](qsizetype i, const SolicitudFactura& s, int k,
                               const TipoCobro& tipo) {
                filas.Add(Conta::FilaCobroCliente(s.nIdCliente, s.cobro.nImporte[k],
                                                  tipo.nIdTipoMovimiento, tipo.entrada,
                                                  tipo.nIdTipoCobro, lote.ids[i], s.dFactura, {}));
            });
            filas.Flush();
        });
    });
}

// Every item of the invoices goes into its pet's history, dated the day of issue; a counter
// sale's items are for no pet.
void HistoriaMascotas(const Lote& lote) {
    Paso("Facturacion::Actualizar_MascotasProdServ", [&] {
        const QStringList dias =
            Pares(lote.ids, [&](qsizetype i) { return Id(lote.solicitudes[size_t(i)].dEmision); });
        Db().Execute("INSERT INTO MascotasProdServ (nIdMascota,dFactura,nIdProductoServicio,"
                     "sConclusion,nIdFactura) SELECT i.nIdMascota,v.column2,i.nIdProductoServicio,"
                     "COALESCE(i.sConclusion,''),i.nIdFactura FROM FacturasItems i INNER JOIN " +
                     ValuesTable(dias) +
                     " ON i.nIdFactura=v.column1 WHERE COALESCE(i.nIdMascota,0)<>0 ORDER BY "
                     "i.nIdFactura,i.nIdFacturaItem");
    });
}

// The items the batch's invoices hold now, in order, with what issuing needs of their products,
// read once for the check of the lines, the vaccinations and the stock: columns nIdFactura,
// nIdFacturaItem, nIdMascota, nTotal, nIdProductoServicio, nUnidades, whether it is a product,
// whether a vaccine, its cadence (an item without its product is neither).
Rows LineasDelLote(const Lote& lote) {
    return Db().GetRows(
        "SELECT i.nIdFactura,i.nIdFacturaItem,i.nIdMascota,i.nTotal,i.nIdProductoServicio,"
        "i.nUnidades,p.bProducto,CASE WHEN p.bVacuna=True THEN 1 ELSE 0 END,p.nCadencia FROM "
        "FacturasItems i LEFT JOIN ProductosServicios p ON "
        "p.nIdProductoServicio=i.nIdProductoServicio WHERE i.nIdFactura IN (" +
        Lista(lote.ids) + ") ORDER BY i.nIdFactura,i.nIdFacturaItem");
}

// Each vaccine with a cadence gets a vaccination row with the date of the next dose.
void Vacunas(const Lote& lote, const Rows& lineas) {
    Paso("Facturacion::Actualizar_VacunasRecibidas", [&] {
        BulkInsert filas(
            "Vacunaciones",
            "nIdFactura,nIdFacturaItem,nIdProductoServicio,nIdMascota,dVacunado,dProximaVacuna");
        for (int r = 0; r < lineas.RowCount(); ++r) {
            if (U().SqlNumber(lineas(7, r)) == 0)
                continue;
            const qint16 nCadencia = Utility::ToInt16(U().SqlNumber(lineas(8, r)));
            if (nCadencia <= 0)
                continue;
            const qint32 nIdFactura = Whole(lineas, 0, r, "nIdFactura");
            const qint32 dVacunado =
                lote.solicitudes[size_t(lote.ids.indexOf(nIdFactura))].dFactura;
            const qint32 dProximaVacuna = Entero(
                U().FormatDate(3, U().AddToDate("d", nCadencia, U().FormatDate(2, dVacunado))));
            filas.Add({nIdFactura, Whole(lineas, 1, r, "nIdFacturaItem"),
                       Whole(lineas, 4, r, "nIdProductoServicio"),
                       Whole(lineas, 2, r, "nIdMascota"), dVacunado, dProximaVacuna});
        }
        filas.Flush();
    });
}

// Lowers the stock of every product of the invoices by its units (services are left alone). Its
// failure ends the program without a report: the step has no name. The stock is lowered where it
// is stored, not set to a figure read before: on a server another workstation selling the same
// product meanwhile would otherwise have its sale written over.
void Stock(const Rows& lineas) {
    Paso(QString(), [&] {
        // In the order of their keys, so that on a server two invoices selling the same products
        // ask for their rows in the same order rather than each holding one the other waits for.
        // The shelf loses exactly what was sold: 2,5 kg of loose food are 2,5.
        std::map<qint32, double> vendidas;
        for (int r = 0; r < lineas.RowCount(); ++r)
            if (U().SqlNumber(lineas(6, r)) != 0)
                vendidas[Whole(lineas, 4, r, "nIdProductoServicio")] += U().SqlNumber(lineas(5, r));
        if (vendidas.empty())
            return;
        QStringList filas;
        for (const auto& [producto, unidades] : vendidas)
            filas << Id(producto) + "," + Utility::NumberText(DocumentLine::Units(unidades));
        Db().Execute(
            "UPDATE ProductosServicios SET nStockActual=COALESCE(nStockActual,0)-v.column2 FROM " +
            ValuesTable(filas) + " WHERE nIdProductoServicio=v.column1");
    });
}

// One cash-box entry per non-zero amount of each payment record, referenced "Fra." + number.
void ApuntesCaja(const Lote& lote) {
    Paso("Facturacion::Actualizar_ApunteCaja", [&] {
        const QString fra = Db().Translate("Fra.");
        const QString cobro = Db().Translate("Cobro");
        const QString pago = Db().Translate("Pago Fra.");
        Paso("Conta::Generar_ApunteCaja", [&] {
            BulkInsert filas("ApuntesCaja", Conta::ColumnasApunteCaja);
            CadaPago(lote,
                     [&](qsizetype i, const SolicitudFactura& s, int k, const TipoCobro& tipo) {
                         filas.Add(Conta::FilaApunteCaja(
                             tipo.Caja(s), s.nIdUsuario,
                             (cobro + " " + s.cobro.sTipoCobro[k]).left(16), s.sTitular, s.dFactura,
                             tipo.nIdTipoMovimiento, tipo.entrada, s.cobro.nImporte[k], {},
                             fra + lote.numeros[i], pago, lote.ids[i], tipo.nIdTipoCobro));
                     });
            filas.Flush();
        });
    });
}

// Another workstation may have added, changed or invoiced the clients' items while the payment
// was being taken: each invoice holds exactly the lines its request names, or none is issued.
void ComprobarLineas(const Lote& lote, const Rows& vinculadas) {
    QHash<qint32, std::vector<PendingLine>> facturadas;
    for (int r = 0; r < vinculadas.RowCount(); ++r)
        facturadas[Entero(vinculadas(0, r))].push_back({Entero(vinculadas(1, r)),
                                                        Entero(vinculadas(2, r)),
                                                        Money::FromStored(vinculadas(3, r))});
    for (qsizetype i = 0; i < lote.ids.size(); ++i) {
        std::vector<PendingLine> vistas = lote.solicitudes[size_t(i)].lineas;
        std::sort(vistas.begin(), vistas.end(), [](const PendingLine& a, const PendingLine& b) {
            return a.nIdFacturaItem < b.nIdFacturaItem;
        });
        if (facturadas.value(lote.ids[i]) != vistas)
            throw FacturaNoEmitida(
                PasoEmision::Pendientes,
                "Los ítems pendientes del cliente han cambiado en otro puesto mientras se cobraba: "
                "la factura " +
                    lote.numeros[i] + " no se ha emitido. Revise la lista y vuelva a generarla.");
    }
}

// Every box the payment's money goes into: the desk's, and those of payment types that have a
// box of their own.
QList<qint32> CajasDelCobro(const SolicitudFactura& s) {
    QList<qint32> cajas{Conta::Caja(s.nIdCaja, s.nIdUsuario)};
    QStringList tipos;
    for (int k = 0; k < CobroRecord::Slots; ++k)
        if (s.cobro.nImporte[k] != Money())
            tipos << Text(s.cobro.sTipoCobro[k]);
    if (tipos.isEmpty())
        return cajas;
    const Rows propias = Db().GetRows("SELECT DISTINCT nIdCaja FROM TipoCobro WHERE nIdCaja<>0 AND "
                                      "sTipoCobro IN (" +
                                      tipos.join(',') + ")");
    for (int r = 0; r < propias.RowCount(); ++r)
        if (!cajas.contains(Entero(propias(0, r))))
            cajas << Entero(propias(0, r));
    return cajas;
}

Money Limite(qint32 nIdSucursal) {
    return LimiteSimplificada(GetBranchSetting("LimiteSimplificada", nIdSucursal));
}

// Only a sale without an id is measured against the limit: an identified customer's document
// needs neither its amount nor the branch's setting.
bool SinId(const CobroRecord& c) {
    return c.sDni.trimmed().isEmpty() && c.sPais.trimmed().isEmpty() &&
           c.sTipoId.trimmed().isEmpty();
}

DocumentoVenta Documento(const SolicitudFactura& s, Money importe, Money limite, bool mostrador) {
    const IdCliente id{s.cobro.sCliente, s.cobro.sDni, s.cobro.sPais, s.cobro.sTipoId,
                       s.cobro.sDomicilio};
    return mostrador ? ElegirDocumentoMostrador(id, importe, limite)
                     : ElegirDocumento(id, importe, limite);
}

// The batch's clients in its order, each once: a client's pending items are one invoice, and
// twice in a batch the second would be issued empty.
QList<qint32> ClientesDelLote(const std::vector<SolicitudFactura>& solicitudes) {
    QList<qint32> clientes;
    for (const SolicitudFactura& s : solicitudes) {
        if (clientes.contains(s.nIdCliente))
            throw FacturaNoEmitida(PasoEmision::Cliente,
                                   "El cliente " + Id(s.nIdCliente) +
                                       " está dos veces en el mismo lote de facturas: sus ítems "
                                       "pendientes forman una sola factura.");
        clientes << s.nIdCliente;
    }
    return clientes;
}

// The batch's invoices as they will be written, decided before anything is: each one's amounts,
// header row and document, and the simplified-invoice limit of each branch that needs it.
struct Cabeceras {
    std::vector<DocumentAmounts> importes;
    QHash<qint32, Money> limites;
    QList<QVariantList> filas;
};

// Built when asked: the amounts' columns belong to another file's constants.
QString ColumnasCabecera() {
    return "nIdSucursal, nIdCliente, sCliente, sDomicilio, sPoblacion, sProvincia, "
           "sCodigoPostal, sDni, nIdUsuario, nIdEmpleado, nIdCaja, sFactura, dFactura, " +
           DocumentAmounts::Columns.join(", ") +
           ", nExento, sTipoFactura, sIdOtroPais, sIdOtroTipo";
}

Cabeceras LeerCabeceras(Lote& lote, const QString& pendientes) {
    QStringList lecturas{DocumentLine::ByClientQuery(pendientes),
                         "SELECT nIdCliente,sPoblacion,sProvincia,sCodigoPostal,bMostrador "
                         "FROM Clientes WHERE nIdCliente IN (" +
                             Lista(lote.clientes) + ")"};
    const QSet<QString> tipos = NombresDeTipos(lote);
    if (!tipos.isEmpty())
        lecturas << TiposQuery(tipos);
    const std::vector<Rows> leidas = Db().GetRowsEach(lecturas);
    if (!tipos.isEmpty())
        TomarTipos(lote, tipos, leidas[2]);
    std::map<qint32, std::vector<DocumentLine>> lineas = DocumentLine::ByClient(leidas[0]);
    const Rows& clientes = leidas[1];
    QHash<qint32, int> fila;
    for (int r = 0; r < clientes.RowCount(); ++r)
        fila.insert(Entero(clientes(0, r)), r);
    Cabeceras c;
    for (size_t i = 0; i < lote.solicitudes.size(); ++i) {
        const SolicitudFactura& s = lote.solicitudes[i];
        const int r = fila.value(s.nIdCliente, -1);
        if (r < 0)
            throw FacturaNoEmitida(PasoEmision::Cliente, "Debe definir cliente previamente");
        c.importes.push_back(DocumentAmounts::Of(lineas[s.nIdCliente], s.cobro.nDescuento));
        if (SinId(s.cobro) && !c.limites.contains(s.nIdSucursal))
            c.limites.insert(s.nIdSucursal, Limite(s.nIdSucursal));
        const DocumentoVenta documento =
            Documento(s, c.importes.back().AmountDue(), c.limites.value(s.nIdSucursal),
                      U().SqlNumber(clientes(4, r)) != 0);
        if (!documento.Emitible())
            throw FacturaNoEmitida(PasoEmision::Documento, documento.motivo);
        QVariantList values{s.nIdSucursal,
                            s.nIdCliente,
                            s.cobro.sCliente,
                            s.cobro.sDomicilio,
                            clientes(1, r).toString(),
                            clientes(2, r).toString(),
                            clientes(3, r).toString(),
                            documento.sDni,
                            s.nIdUsuario,
                            s.nIdEmpleado,
                            s.nIdCaja,
                            lote.numeros[qsizetype(i)],
                            s.dFactura};
        for (const QString& importe : c.importes.back().Texts())
            values << importe;
        values << 0.0 << documento.sTipoFactura << documento.sPais << documento.sTipoId;
        c.filas << values;
    }
    return c;
}

// The headers written; the keys the database gave them, in the batch's order.
void InsertarFacturas(Lote& lote, const QList<QVariantList>& cabeceras) {
    if (cabeceras.size() == 1) {
        lote.ids << Db().InsertRecord("Facturas", ColumnasCabecera(),
                                      SqlLiterals(cabeceras.front()));
        return;
    }
    Db().InsertRows("Facturas", ColumnasCabecera(), cabeceras);
    // Numbers are unique: they find the keys the database gave the rows.
    QStringList quoted;
    for (const QString& sFactura : lote.numeros)
        quoted << Text(sFactura);
    const Rows claves = Db().GetRows(
        "SELECT sFactura,nIdFactura FROM Facturas WHERE sFactura IN (" + quoted.join(',') + ")");
    QHash<QString, qint32> clave;
    for (int r = 0; r < claves.RowCount(); ++r)
        clave.insert(claves(0, r).toString(), Entero(claves(1, r)));
    for (const QString& sFactura : lote.numeros)
        lote.ids << clave.value(sFactura);
}

// Each client's pending items become its invoice's lines.
void VincularLineas(const Lote& lote, const QString& pendientes) {
    if (lote.ids.size() == 1) {
        Db().UpdateRecord("FacturasItems", "nIdFactura", Id(lote.ids.front()), pendientes);
        return;
    }
    const QStringList facturas = Pares(lote.clientes, [&](qsizetype i) { return Id(lote.ids[i]); });
    Db().Execute("UPDATE FacturasItems SET nIdFactura=v.column2 FROM " + ValuesTable(facturas) +
                 " WHERE " + pendientes + " AND nIdCliente=v.column1");
}

void Desglose(const Lote& lote, const std::vector<DocumentAmounts>& importes) {
    BulkInsert desglose("FacturasDesglose", TaxableBreakdown::Columns);
    for (size_t i = 0; i < importes.size(); ++i)
        for (QVariantList& values :
             TaxableBreakdown::Of(importes[i]).Values(lote.ids[qsizetype(i)]))
            desglose.Add(std::move(values));
    desglose.Flush();
}

// The written invoices' figures against their lines, and the agency's rules over the records
// they are about to get: the agency would reject such a record, better refused here, while
// nothing is written. Answers those records, for the register to write.
std::vector<RegistroFacturacion::Registro>
ComprobarAntesDeRegistrar(const Lote& lote, const QHash<qint32, Money>& limites) {
    Actualizaciones::LeerAntesDeRegistrar(lote.ids);
    if (const QString descuadre = AmountsCheck::BeforeCommit(lote.ids); !descuadre.isEmpty())
        throw FacturaNoEmitida(PasoEmision::Importes, descuadre + " No se ha emitido.");
    std::vector<RegistroFacturacion::Registro> registros =
        RegistroFacturacion::Provisionales(lote.ids, QDateTime::currentDateTime());
    if (const QString regla = ValidacionesAeat::AntesDeEmitir(registros, limites); !regla.isEmpty())
        throw FacturaNoEmitida(PasoEmision::Registro, regla + ". No se ha emitido.");
    return registros;
}

// The batch issued, or a refusal or failure raised with nothing of it written.
std::vector<qint32> Emitir(const std::vector<SolicitudFactura>& solicitudes,
                           const QStringList& numeros) {
    return Paso("Facturacion::Generar_Factura", [&] {
        // A register that cannot sign its record would leave the invoice without one.
        if (const QString firma = FirmaRegistro::Problema(); !firma.isEmpty())
            throw FacturaNoEmitida(PasoEmision::Registro, firma);
        if (solicitudes.empty() || solicitudes.size() != size_t(numeros.size()))
            throw TvError(ErrorNumber::InvalidCall,
                          QString("Se han pedido %1 facturas con %2 números")
                              .arg(solicitudes.size())
                              .arg(numeros.size()));
        std::vector<qint32> ids;
        Db().Batched([&] {
            Lote lote{solicitudes, numeros, {}, ClientesDelLote(solicitudes), {}};
            const QString pendientes = lote.clientes.size() == 1
                                           ? PendingItems(lote.clientes.front()).Condition()
                                           : PendingItems(lote.clientes).Condition();
            const Cabeceras cabeceras = LeerCabeceras(lote, pendientes);

            TransactionGuard transaccion;
            Conta::BloquearClientes(lote.clientes);
            InsertarFacturas(lote, cabeceras.filas);
            VincularLineas(lote, pendientes);
            const Rows lineas = LineasDelLote(lote);
            ComprobarLineas(lote, lineas);
            Cobros(lote);
            HistoriaMascotas(lote);
            Vacunas(lote, lineas);
            Paso("Conta::Regenerar_SaldoCliente", [&] { Conta::SaldosClientes(lote.clientes); });
            Stock(lineas);
            ApuntesCaja(lote);
            Desglose(lote, cabeceras.importes);
            RegistroFacturacion::Registrar(ComprobarAntesDeRegistrar(lote, cabeceras.limites));
            transaccion.Commit();
            ids.assign(lote.ids.begin(), lote.ids.end());
        });
        return ids;
    });
}

} // namespace

DocumentoVenta DocumentoDeVenta(const SolicitudFactura& s, bool mostrador) {
    if (!SinId(s.cobro))
        return Documento(s, Money(), Money(), mostrador);
    return DocumentoDeVenta(s, mostrador, PendingItems(s.nIdCliente).Lines());
}

DocumentoVenta DocumentoDeVenta(const SolicitudFactura& s, bool mostrador,
                                const std::vector<DocumentLine>& lineas) {
    if (!SinId(s.cobro))
        return Documento(s, Money(), Money(), mostrador);
    return Documento(s, DocumentAmounts::Of(lineas, s.cobro.nDescuento).AmountDue(),
                     Limite(s.nIdSucursal), mostrador);
}

FalloEmision::FalloEmision(const QString& procedimiento, const TvError& error,
                           std::exception_ptr causa)
    : TvError(error.Number(), error.Description(), error.Statement()),
      m_procedimiento(procedimiento), m_causa(std::move(causa)) {}

void FalloEmision::Relanzar() const {
    std::rethrow_exception(m_causa);
}

Resultado<qint32, PasoEmision> EmitirFactura(const SolicitudFactura& s) {
    return Responder<PasoEmision>([&] {
        const QString sFactura = Paso("Facturacion::Generar_Factura", [&] {
            const Money pendiente = PendingItems::Total(s.lineas);
            if (pendiente == Money())
                throw FacturaNoEmitida(PasoEmision::Pendientes, "No hay ítems para facturar.");
            if (s.nIdCliente == 0)
                throw FacturaNoEmitida(PasoEmision::Cliente, "Debe definir cliente previamente");
            const bool mostrador = Mostrador::EsMostrador(s.nIdCliente);
            if (const QString motivo = MotivoNoFacturable(s.nIdCliente, pendiente, mostrador);
                !motivo.isEmpty())
                throw FacturaNoEmitida(PasoEmision::Pendientes, motivo);
            for (const qint32 caja : CajasDelCobro(s))
                if (const QString cerrada = CierreCaja::PeriodoCerrado(caja, s.dFactura);
                    !cerrada.isEmpty())
                    throw FacturaNoEmitida(PasoEmision::Caja, cerrada);
            const DocumentoVenta documento = DocumentoDeVenta(s, mostrador);
            if (!documento.Emitible())
                throw FacturaNoEmitida(PasoEmision::Documento, documento.motivo);
            return Numeracion::SiguientesEnSerie(
                       s.nIdSucursal,
                       Numeracion::SerieDeVenta(s.nIdSucursal, documento.sTipoFactura), s.dFactura,
                       1)
                .front();
        });
        return Emitir({s}, {sFactura}).front();
    });
}

Resultado<qint32, PasoEmision> EmitirFactura(const SolicitudFactura& s, const QString& sFactura) {
    return Responder<PasoEmision>([&] { return Emitir({s}, {sFactura}).front(); });
}

Resultado<std::vector<qint32>, PasoEmision>
EmitirFacturas(const std::vector<SolicitudFactura>& solicitudes, const QStringList& numeros) {
    return Responder<PasoEmision>([&] { return Emitir(solicitudes, numeros); });
}
