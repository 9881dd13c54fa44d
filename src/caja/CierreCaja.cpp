// Closing the till: what a cash box should hold per payment type, and the closing recorded.

#include "caja/CierreCaja.h"

#include "platform/data/DataAccess.h"
#include "platform/util/TypedNumber.h"
#include "platform/util/Utility.h"

#include <QStringList>
#include <algorithm>
#include <cmath>

namespace {

using Sql::Id;
using Sql::Int;

// A sum of cents as the database adds them (whole numbers, exact in a double far beyond any
// till's takings).
Money Cents(const QVariant& value) {
    return Money::FromCents(std::llround(Utility::instance().SqlNumber(value)));
}

qint32 Dia(const QDate& date) {
    return date.year() * 10000 + date.month() * 100 + date.day();
}

// The kinds an entry is counted under, in Metodo's order.
enum Clase { Facturas = 0, Abonos = 1, Entradas = 2, Salidas = 3 };

void Sumar(CierreCaja::Metodo& m, int clase, Money importe, int apuntes) {
    Money* const destino[] = {&m.facturas, &m.abonos, &m.entradas, &m.salidas};
    *destino[clase] += importe;
    m.esperado += importe;
    m.apuntes += apuntes;
}

bool Permitido(const QVariant& grupo, const QString& acceso) {
    const qint32 id = Int(Db().GetValue("Accesos", "sAcceso=" + Utility::Quote(acceso)));
    if (id == 0)
        return true;
    return Int(Db().GetValue("AccesosGrupos",
                             "nIdAcceso=" + Id(id) + " AND nIdUsuarioGrupo=" + Id(Int(grupo)),
                             "bAcceso")) != 0;
}

// Where the open period of a box starts and ends: after the last entry its last closing took,
// up to the newest entry counted, so that an entry another workstation writes while the closing
// runs goes into the next period rather than being marked without being counted.
struct Periodo {
    CierreCaja::Estado estado;
    qint32 desdeApunte = 0;
    qint32 hastaApunte = 0;
};

QString Abiertos(qint32 nIdCaja, const Periodo& p) {
    return " FROM ApuntesCaja a WHERE a.nIdCaja=" + Id(nIdCaja) + " AND a.nIdApunteCaja>" +
           Id(p.desdeApunte) + " AND a.nIdCierreCaja=0";
}

// The box, the closing before and how many entries and documents the period holds.
void LeerInicio(qint32 nIdCaja, Periodo& p) {
    CierreCaja::Estado& e = p.estado;
    e.nIdCaja = nIdCaja;
    const Rows caja =
        Db().GetRows("SELECT sTipoCaja FROM TipoCaja WHERE nIdTipoCaja=" + Id(nIdCaja));
    if (caja.IsEmpty())
        throw CierreCaja::Rechazo(QStringLiteral("No existe la caja %1.").arg(nIdCaja));
    e.sCaja = caja(0, 0).toString();
    const Rows ultimo =
        Db().GetRows("SELECT nIdCierreCaja,nNumero,dHasta,sHoraHasta,nFondoDejado,nHastaApunte "
                     "FROM CierresCaja WHERE nIdCaja=" +
                     Id(nIdCaja) + " ORDER BY nNumero DESC LIMIT 1");
    if (!ultimo.IsEmpty())
        p.desdeApunte = Int(ultimo(5, 0));
    const Rows resumen = Db().GetRows("SELECT MAX(a.nIdApunteCaja),MIN(a.dApunte),COUNT(*),"
                                      "COUNT(DISTINCT CASE WHEN a.nIdFactura<>0 THEN a.nIdFactura "
                                      "END)" +
                                      Abiertos(nIdCaja, p));
    p.hastaApunte = std::max(Int(resumen(0, 0)), p.desdeApunte);
    e.apuntes = Int(resumen(2, 0));
    e.documentos = Int(resumen(3, 0));
    if (!ultimo.IsEmpty()) {
        e.nIdUltimoCierre = Int(ultimo(0, 0));
        e.nNumeroUltimo = Int(ultimo(1, 0));
        e.dDesde = Int(ultimo(2, 0));
        e.sHoraDesde = ultimo(3, 0).toString();
        e.fondo = Money::FromStored(ultimo(4, 0));
    } else {
        e.dDesde = Int(resumen(1, 0));
        e.sHoraDesde = QStringLiteral("00:00:00");
    }
}

// The period's sums per payment type and kind: paid for an invoice, given back for a credit
// note, or money in or out by hand; an entry that names no payment type is cash.
Rows LeerSumas(qint32 nIdCaja, const Periodo& p, qint32 efectivo) {
    return Db().GetRows(
        "SELECT COALESCE(NULLIF(a.nIdTipoCobro,0)," + Id(efectivo) +
        "),CASE WHEN COALESCE(a.nIdFactura,0)=0 THEN CASE WHEN a.nImporte>=0 THEN 2 ELSE 3 END "
        "WHEN EXISTS (SELECT 1 FROM Abonos b WHERE b.nIdFactura=a.nIdFactura) THEN 1 ELSE 0 END,"
        "SUM(ROUND(a.nImporte*100)),COUNT(*)" +
        Abiertos(nIdCaja, p) + " AND a.nIdApunteCaja<=" + Id(p.hastaApunte) + " GROUP BY 1,2");
}

void SumarTipo(CierreCaja::Metodo& m, const Rows& sumas) {
    for (int s = 0; s < sumas.RowCount(); ++s)
        if (Int(sumas(0, s)) == m.nIdTipoCobro)
            Sumar(m, Int(sumas(1, s)), Cents(sumas(2, s)), Int(sumas(3, s)));
}

// One line per active payment type, cash with the float, and one per other type the entries
// name: entries of a payment type removed from the list still count, under their number.
void LeerMetodos(Periodo& p, const Rows& sumas, qint32 efectivo) {
    CierreCaja::Estado& e = p.estado;
    const Rows tipos =
        Db().GetRows("SELECT nIdTipoCobro,sTipoCobro,bActivo FROM TipoCobro ORDER BY nIdTipoCobro");
    for (int r = 0; r < tipos.RowCount(); ++r) {
        CierreCaja::Metodo m;
        m.nIdTipoCobro = Int(tipos(0, r));
        m.sTipoCobro = tipos(1, r).toString();
        if (m.nIdTipoCobro == efectivo)
            m.esperado = e.fondo;
        SumarTipo(m, sumas);
        if (Int(tipos(2, r)) != 0 || m.apuntes > 0 || m.nIdTipoCobro == efectivo)
            e.metodos << m;
    }
    for (int s = 0; s < sumas.RowCount(); ++s) {
        const qint32 tipo = Int(sumas(0, s));
        if (std::none_of(e.metodos.begin(), e.metodos.end(),
                         [&](const CierreCaja::Metodo& x) { return x.nIdTipoCobro == tipo; })) {
            CierreCaja::Metodo nuevo;
            nuevo.nIdTipoCobro = tipo;
            nuevo.sTipoCobro = QStringLiteral("Forma de pago %1").arg(tipo);
            SumarTipo(nuevo, sumas);
            e.metodos << nuevo;
        }
    }
}

Periodo Abierto(qint32 nIdCaja) {
    Periodo p;
    LeerInicio(nIdCaja, p);
    const qint32 efectivo = CierreCaja::TipoEfectivo();
    LeerMetodos(p, LeerSumas(nIdCaja, p, efectivo), efectivo);
    return p;
}

// What was counted, put on the payment types it names.
void Contar(CierreCaja::Estado& e, const QList<std::pair<QString, Money>>& contado) {
    QList<bool> contados(e.metodos.size(), false);
    for (const auto& [nombre, importe] : contado) {
        const auto m = std::find_if(
            e.metodos.begin(), e.metodos.end(), [&buscado = nombre](const CierreCaja::Metodo& x) {
                return x.sTipoCobro.compare(buscado, Qt::CaseInsensitive) == 0;
            });
        if (m == e.metodos.end())
            throw CierreCaja::Rechazo(
                QStringLiteral("No existe la forma de pago \"%1\".").arg(nombre));
        const qsizetype k = m - e.metodos.begin();
        if (contados[k])
            throw CierreCaja::Rechazo(
                QStringLiteral("%1 está contado dos veces.").arg(m->sTipoCobro));
        contados[k] = true;
        m->contado = importe;
    }
    for (qsizetype k = 0; k < e.metodos.size(); ++k) {
        const CierreCaja::Metodo& m = e.metodos[k];
        if (!contados[k] && (m.apuntes > 0 || m.esperado != Money()))
            throw CierreCaja::Rechazo(QStringLiteral("Falta lo contado en %1, que tiene %2 "
                                                     "apuntes y %3 esperados.")
                                          .arg(m.sTipoCobro)
                                          .arg(m.apuntes)
                                          .arg(m.esperado.Shown()));
    }
}

// Each type's difference and the closing's totals, the float left and what is withdrawn; a
// float above the cash counted, or a difference without a remark, is refused.
CierreCaja::Cierre Cuadrar(CierreCaja::Estado& e, const CierreCaja::Recuento& recuento) {
    const qint32 efectivo = CierreCaja::TipoEfectivo();
    CierreCaja::Cierre c;
    Money efectivoContado;
    bool diferencias = false;
    for (CierreCaja::Metodo& m : e.metodos) {
        m.diferencia = m.contado - m.esperado;
        c.esperado += m.esperado;
        c.contado += m.contado;
        c.diferencia += m.diferencia;
        diferencias = diferencias || m.diferencia != Money();
        if (m.nIdTipoCobro == efectivo)
            efectivoContado = m.contado;
    }
    c.fondoDejado = recuento.fondoDejado.value_or(std::min(e.fondo, efectivoContado));
    if (c.fondoDejado > efectivoContado)
        throw CierreCaja::Rechazo(QStringLiteral("El fondo que se deja (%1) es mayor que el "
                                                 "efectivo contado (%2).")
                                      .arg(c.fondoDejado.Shown(), efectivoContado.Shown()));
    if (diferencias && recuento.sNota.trimmed().isEmpty())
        throw CierreCaja::Rechazo(QStringLiteral("Lo contado no coincide con lo esperado: escriba "
                                                 "una nota que explique la diferencia."));
    c.retirado = efectivoContado - c.fondoDejado;
    c.sNota = recuento.sNota.trimmed();
    return c;
}

// Who closes, where and when: the period runs from where the last closing ended to now.
void Fechar(CierreCaja::Cierre& c, const CierreCaja::Estado& e, qint32 nIdUsuario,
            const QDateTime& ahora) {
    const Rows usuario =
        Db().GetRows("SELECT nIdSucursal FROM Usuarios WHERE nIdUsuario=" + Id(nIdUsuario));
    c.nIdCaja = e.nIdCaja;
    c.nNumero = e.nNumeroUltimo + 1;
    c.nIdSucursal = Int(usuario(0, 0));
    c.nIdUsuario = nIdUsuario;
    c.dDesde = e.dDesde != 0 ? e.dDesde : Dia(ahora.date());
    c.sHoraDesde = e.sHoraDesde;
    c.dHasta = Dia(ahora.date());
    c.sHoraHasta = ahora.time().toString(QStringLiteral("HH:mm:ss"));
    c.fondoInicial = e.fondo;
    c.apuntes = e.apuntes;
    c.documentos = e.documentos;
}

QString Importe(Money m) {
    return m.Text();
}

// The closing's header and one line per payment type; the header takes the closing's id.
void Guardar(CierreCaja::Cierre& c, const CierreCaja::Estado& e, qint32 hastaApunte) {
    const Utility& u = Utility::instance();
    c.nIdCierreCaja = Db().InsertRecord(
        "CierresCaja",
        "nIdCaja,nNumero,nIdSucursal,nIdUsuario,dDesde,sHoraDesde,dHasta,sHoraHasta,"
        "nFondoInicial,nEsperado,nContado,nDiferencia,nFondoDejado,nRetirado,nApuntes,"
        "nDocumentos,sNota,nHastaApunte",
        QStringList{Id(c.nIdCaja), Id(c.nNumero), Id(c.nIdSucursal), Id(c.nIdUsuario), Id(c.dDesde),
                    u.SqlValue(c.sHoraDesde, 0, true), Id(c.dHasta),
                    u.SqlValue(c.sHoraHasta, 0, true), Importe(c.fondoInicial), Importe(c.esperado),
                    Importe(c.contado), Importe(c.diferencia), Importe(c.fondoDejado),
                    Importe(c.retirado), Id(c.apuntes), Id(c.documentos),
                    u.SqlValue(c.sNota, 0, true), Id(hastaApunte)}
            .join(','));
    for (const CierreCaja::Metodo& m : e.metodos)
        Db().InsertRecord("CierresCajaLineas",
                          "nIdCierreCaja,nIdTipoCobro,sTipoCobro,nFacturas,nAbonos,nEntradas,"
                          "nSalidas,nEsperado,nContado,nDiferencia,nApuntes",
                          QStringList{Id(c.nIdCierreCaja), Id(m.nIdTipoCobro),
                                      u.SqlValue(m.sTipoCobro, 0, true), Importe(m.facturas),
                                      Importe(m.abonos), Importe(m.entradas), Importe(m.salidas),
                                      Importe(m.esperado), Importe(m.contado),
                                      Importe(m.diferencia), Id(m.apuntes)}
                              .join(','));
}

// The period's entries carry the closing's id from now on.
void Marcar(qint32 nIdCierreCaja, const Periodo& p) {
    Db().Execute("UPDATE ApuntesCaja SET nIdCierreCaja=" + Id(nIdCierreCaja) + " WHERE nIdCaja=" +
                 Id(p.estado.nIdCaja) + " AND nIdApunteCaja>" + Id(p.desdeApunte) +
                 " AND nIdApunteCaja<=" + Id(p.hastaApunte) + " AND nIdCierreCaja=0");
}

} // namespace

Money CierreCaja::Estado::Total() const {
    Money total;
    for (const Metodo& m : metodos)
        total += m.esperado;
    return total;
}

qint32 CierreCaja::TipoEfectivo() {
    const qint32 efectivo = Int(Db().GetValue("TipoCobro", "lower(sTipoCobro)='efectivo'"));
    if (efectivo != 0)
        return efectivo;
    return Int(Db().GetRows("SELECT MIN(nIdTipoCobro) FROM TipoCobro").Value(0, 0));
}

QString CierreCaja::PeriodoCerrado(qint32 nIdCaja, qint32 dia) {
    const qint32 hasta =
        Int(Db().GetRows("SELECT MAX(dHasta) FROM CierresCaja WHERE nIdCaja=" + Id(nIdCaja))
                .Value(0, 0));
    if (hasta <= dia)
        return {};
    return QStringLiteral("La caja %1 está cerrada hasta el %2: no se puede anotar nada con fecha "
                          "%3 en ella. Use la fecha de hoy o elija otra caja.")
        .arg(nIdCaja)
        .arg(Utility::instance().FormatDate(2, hasta).toString(),
             Utility::instance().FormatDate(2, dia).toString());
}

CierreCaja::Estado CierreCaja::EstadoCaja(qint32 nIdCaja) {
    return Abierto(nIdCaja).estado;
}

QString CierreCaja::ComprobarPermiso(qint32 nIdUsuario, qint32 nIdCaja) {
    const Rows usuario = Db().GetRows(
        "SELECT nIdUsuarioGrupo,nCajaPara_Facturas,nCajaPara_PagosClientes,"
        "nCajaPara_EntradasCaja,nCajaPara_SalidasCaja FROM Usuarios WHERE nIdUsuario=" +
        Id(nIdUsuario));
    if (usuario.IsEmpty())
        return QStringLiteral("No existe el usuario %1.").arg(nIdUsuario);
    if (!Permitido(usuario(0, 0), QStringLiteral("tvCierreCaja")))
        return QStringLiteral("No tiene permiso para cerrar la caja.");
    for (int c = 1; c <= 4; ++c)
        if (Int(usuario(c, 0)) == nIdCaja)
            return {};
    if (!Permitido(usuario(0, 0), QStringLiteral("tvCierreCajaTodas")))
        return QStringLiteral("Solo puede cerrar sus propias cajas: la caja %1 no es una de ellas.")
            .arg(nIdCaja);
    return {};
}

Money CierreCaja::LeerImporte(const QString& text, const QString& campo) {
    const TypedNumber::Reading leido = TypedNumber::Read(text, TypedNumber::Kind::Amount, campo);
    if (!leido.Ok())
        throw Rechazo(leido.error);
    return Money::FromDouble(leido.value);
}

QList<std::pair<QString, Money>> CierreCaja::LeerContado(const QString& text) {
    QList<std::pair<QString, Money>> contado;
    for (const QString& pieza : text.split(';', Qt::SkipEmptyParts)) {
        const qsizetype igual = pieza.indexOf('=');
        const QString nombre = pieza.left(igual).trimmed();
        if (igual < 0 || nombre.isEmpty())
            throw Rechazo(QStringLiteral("Lo contado se escribe forma=importe separados por "
                                         "\";\" (Efectivo=120,00;Tarjeta=50,00), no \"%1\".")
                              .arg(pieza.trimmed()));
        const QString importe = pieza.mid(igual + 1).trimmed();
        if (importe.isEmpty())
            throw Rechazo(QStringLiteral("Falta el importe contado en %1.").arg(nombre));
        contado.append({nombre, LeerImporte(importe, nombre)});
    }
    return contado;
}

CierreCaja::Cierre CierreCaja::Cerrar(qint32 nIdCaja, qint32 nIdUsuario, const Recuento& recuento,
                                      const QDateTime& ahora) {
    if (const QString no = ComprobarPermiso(nIdUsuario, nIdCaja); !no.isEmpty())
        throw Rechazo(no);
    TransactionGuard guard;
    // Closings of one box take their numbers one after another, as documents take theirs; the
    // box's entries wait for it (docs/till.md).
    Db().LockForTransaction(QStringLiteral("TipoCaja"), nIdCaja);
    const Periodo p = Abierto(nIdCaja);
    if (recuento.ultimoVisto && *recuento.ultimoVisto != p.estado.nIdUltimoCierre)
        throw Rechazo(QStringLiteral("La caja %1 se acaba de cerrar en otro puesto (cierre %2): "
                                     "revise lo que espera el nuevo periodo antes de cerrarlo.")
                          .arg(p.estado.sCaja)
                          .arg(p.estado.nNumeroUltimo));
    Estado e = p.estado;
    Contar(e, recuento.contado);
    Cierre c = Cuadrar(e, recuento);
    Fechar(c, e, nIdUsuario, ahora);
    Guardar(c, e, p.hastaApunte);
    Marcar(c.nIdCierreCaja, p);
    guard.Commit();
    return *LeerCierre(c.nIdCierreCaja);
}

std::optional<CierreCaja::Cierre> CierreCaja::LeerCierre(qint32 nIdCierreCaja) {
    const Rows r = Db().GetRows(
        "SELECT c.nIdCierreCaja,c.nIdCaja,t.sTipoCaja,c.nNumero,c.nIdSucursal,c.nIdUsuario,"
        "u.sNombreCompleto,c.dDesde,c.sHoraDesde,c.dHasta,c.sHoraHasta,c.nFondoInicial,"
        "c.nEsperado,c.nContado,c.nDiferencia,c.nFondoDejado,c.nRetirado,c.nApuntes,"
        "c.nDocumentos,c.sNota FROM CierresCaja c LEFT JOIN TipoCaja t ON t.nIdTipoCaja=c.nIdCaja "
        "LEFT JOIN Usuarios u ON u.nIdUsuario=c.nIdUsuario WHERE c.nIdCierreCaja=" +
        Id(nIdCierreCaja));
    if (r.IsEmpty())
        return std::nullopt;
    Cierre c;
    c.nIdCierreCaja = Int(r(0, 0));
    c.nIdCaja = Int(r(1, 0));
    c.sCaja = r(2, 0).toString();
    c.nNumero = Int(r(3, 0));
    c.nIdSucursal = Int(r(4, 0));
    c.nIdUsuario = Int(r(5, 0));
    c.sUsuario = r(6, 0).toString();
    c.dDesde = Int(r(7, 0));
    c.sHoraDesde = r(8, 0).toString();
    c.dHasta = Int(r(9, 0));
    c.sHoraHasta = r(10, 0).toString();
    Money* const importes[] = {&c.fondoInicial, &c.esperado,    &c.contado,
                               &c.diferencia,   &c.fondoDejado, &c.retirado};
    for (int k = 0; k < 6; ++k)
        *importes[k] = Money::FromStored(r(11 + k, 0));
    c.apuntes = Int(r(17, 0));
    c.documentos = Int(r(18, 0));
    c.sNota = r(19, 0).toString();
    const Rows lineas = Db().GetRows(
        "SELECT nIdTipoCobro,sTipoCobro,nFacturas,nAbonos,nEntradas,nSalidas,nEsperado,nContado,"
        "nDiferencia,nApuntes FROM CierresCajaLineas WHERE nIdCierreCaja=" +
        Id(nIdCierreCaja) + " ORDER BY nIdCierreCajaLinea");
    for (int l = 0; l < lineas.RowCount(); ++l) {
        Metodo m;
        m.nIdTipoCobro = Int(lineas(0, l));
        m.sTipoCobro = lineas(1, l).toString();
        Money* const partes[] = {&m.facturas, &m.abonos,  &m.entradas,  &m.salidas,
                                 &m.esperado, &m.contado, &m.diferencia};
        for (int k = 0; k < 7; ++k)
            *partes[k] = Money::FromStored(lineas(2 + k, l));
        m.apuntes = Int(lineas(9, l));
        c.metodos << m;
    }
    return c;
}

qint32 CierreCaja::BuscarCierre(qint32 nIdCaja, qint32 nNumero) {
    const Rows r =
        Db().GetRows("SELECT nIdCierreCaja FROM CierresCaja WHERE nNumero=" + Id(nNumero) +
                     (nIdCaja != 0 ? " AND nIdCaja=" + Id(nIdCaja) : QString()));
    if (r.RowCount() > 1)
        throw Rechazo(QStringLiteral("Hay %1 cierres con el número %2, uno por caja: indique la "
                                     "caja (--caja).")
                          .arg(r.RowCount())
                          .arg(nNumero));
    return Int(r(0, 0));
}
