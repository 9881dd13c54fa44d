// The till's X and Z reports as report jobs, and writing them to a file.

#include "reports/InformeCaja.h"

#include "platform/data/DataAccess.h"
#include "platform/report/ReportComponent.h"
#include "platform/report/ReportWriter.h"
#include "platform/util/ArchivoSeguro.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "reports/ReportBinding.h"
#include "session/Gi.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace {

QString Fecha(qint32 dia) {
    return Utility::instance().FormatDate(2, dia).toString();
}

QString Setting(qint32 nIdSucursal, const char* dato) {
    return Db()
        .GetRows("SELECT sValor FROM ConfiguracionSucursales WHERE nIdSucursal=" +
                 QString::number(nIdSucursal) + " AND sDato=" + Utility::Quote(dato))
        .Value(0, 0)
        .toString();
}

// What every report carries besides its rows: the branch's header, the period and the totals.
struct Cabecera {
    QString titulo, caja, periodo, usuario, nota;
    Money esperado, contado, diferencia, fondo, fondoDejado, retirado;
    bool cerrado = false;
    int documentos = 0, apuntes = 0;
};

// One row per payment type, in their order. An X report has nothing counted: its counted and
// difference columns stay empty.
QString Filas(const QList<CierreCaja::Metodo>& metodos, const QString& titulo, bool cerrado) {
    QStringList filas;
    int orden = 0;
    for (const CierreCaja::Metodo& m : metodos) {
        const auto importe = [&](Money x) { return cerrado ? x.Text() : QStringLiteral("''"); };
        filas << QStringLiteral("SELECT %1 AS [nOrden], %2 AS [sTitulo], %3 AS [sTipoCobro], %4 AS "
                                "[nFacturas], %5 AS [nAbonos], %6 AS [nEntradas], %7 AS "
                                "[nSalidas], %8 AS [nEsperado], %9 AS [nContado], %10 AS "
                                "[nDiferencia]")
                     .arg(++orden)
                     .arg(Utility::Quote(titulo), Utility::Quote(m.sTipoCobro), m.facturas.Text(),
                          m.abonos.Text(), m.entradas.Text(), m.salidas.Text(), m.esperado.Text(),
                          importe(m.contado), importe(m.diferencia));
    }
    return "SELECT * FROM (" + filas.join(" UNION ALL ") + ") t ORDER BY [nOrden]";
}

ReportJob Job(qint32 nIdSucursal, const Cabecera& c, const QList<CierreCaja::Metodo>& metodos,
              bool ticket) {
    const QString nif = Db().GetRows("SELECT sNif FROM ConfiguracionEmpresa ORDER BY "
                                     "nIdConfiguracionEmpresa LIMIT 1")
                            .Value(0, 0)
                            .toString();
    const QString poblacion =
        (Setting(nIdSucursal, "sCodigoPostal") + " " + Setting(nIdSucursal, "sPoblacion"))
            .trimmed();
    const QString telefono = Setting(nIdSucursal, "sTelefono1");
    const auto vacio = [&](Money x) { return c.cerrado ? x.Text() : QString(); };
    const QStringList labels = {"ClinicaNombre",
                                "ClinicaDomicilio",
                                "ClinicaPoblacion",
                                "ClinicaNif",
                                "Titulo",
                                "Caja",
                                "Periodo",
                                "Usuario",
                                "TotalEsperado",
                                "TotalContado",
                                "TotalDiferencia",
                                "Fondo",
                                "FondoDejado",
                                "Retirado",
                                "Documentos",
                                "Apuntes",
                                "Nota"};
    const QStringList values = {Setting(nIdSucursal, "sNombreSucursal"),
                                Setting(nIdSucursal, "sDomicilio"),
                                poblacion +
                                    (telefono.isEmpty() ? QString() : " · Tel. " + telefono),
                                nif.isEmpty() ? QString() : "NIF " + nif,
                                c.titulo,
                                c.caja,
                                c.periodo,
                                c.usuario,
                                c.esperado.Text(),
                                vacio(c.contado),
                                vacio(c.diferencia),
                                c.fondo.Text(),
                                vacio(c.fondoDejado),
                                vacio(c.retirado),
                                QString::number(c.documentos),
                                QString::number(c.apuntes),
                                c.nota.isEmpty() ? QString() : "Nota: " + c.nota};
    return ReportJob{ticket ? 3 : 1,
                     "Caja.xml",
                     ticket ? "CajaTicket" : "Caja",
                     Filas(metodos, c.titulo, c.cerrado),
                     labels.join('|'),
                     values.join('|'),
                     values};
}

} // namespace

ReportJob InformeCaja::InformeX(const CierreCaja::Estado& e, qint32 nIdSucursal,
                                const QDateTime& ahora, bool ticket) {
    Cabecera c;
    c.titulo = QStringLiteral("INFORME X — NO ES UN CIERRE");
    c.caja = QStringLiteral("Caja %1 (%2)").arg(e.sCaja).arg(e.nIdCaja);
    c.periodo =
        QStringLiteral("Desde %1 %2 hasta %3 %4")
            .arg(e.dDesde != 0 ? Fecha(e.dDesde) : QStringLiteral("el primer apunte"), e.sHoraDesde,
                 ahora.date().toString("dd/MM/yyyy"), ahora.time().toString("HH:mm:ss"));
    c.esperado = e.Total();
    c.fondo = e.fondo;
    c.documentos = e.documentos;
    c.apuntes = e.apuntes;
    return Job(nIdSucursal, c, e.metodos, ticket);
}

ReportJob InformeCaja::InformeZ(const CierreCaja::Cierre& z, bool ticket) {
    Cabecera c;
    c.cerrado = true;
    c.titulo = QStringLiteral("CIERRE DE CAJA (Z) Nº %1").arg(z.nNumero);
    c.caja = QStringLiteral("Caja %1 (%2)").arg(z.sCaja).arg(z.nIdCaja);
    c.periodo = QStringLiteral("Desde %1 %2 hasta %3 %4")
                    .arg(Fecha(z.dDesde), z.sHoraDesde, Fecha(z.dHasta), z.sHoraHasta);
    c.usuario = QStringLiteral("Cerrado por %1").arg(z.sUsuario);
    c.nota = z.sNota;
    c.esperado = z.esperado;
    c.contado = z.contado;
    c.diferencia = z.diferencia;
    c.fondo = z.fondoInicial;
    c.fondoDejado = z.fondoDejado;
    c.retirado = z.retirado;
    c.documentos = z.documentos;
    c.apuntes = z.apuntes;
    return Job(z.nIdSucursal, c, z.metodos, ticket);
}

void InformeCaja::DefinicionEnCarpeta() {
    const QString nombre = QStringLiteral("Caja.xml");
    const QString propia = QStringLiteral(":/Reports/") + nombre;
    if (!ReportBinding::FindReportFile(Gi.sPathReports, nombre).isEmpty() ||
        !QFile::exists(propia) || Gi.sPathReports.isEmpty())
        return;
    QFile origen(propia);
    if (!origen.open(QIODevice::ReadOnly))
        throw TvError(ErrorNumber::FileNotFound, "Falta el recurso " + propia + " en el programa");
    ArchivoSeguro::Escribir(Gi.sPathReports + "/" + nombre, origen.readAll(),
                            ArchivoSeguro::Sustituir::Siempre);
}

bool InformeCaja::EsTicket(const QString& path) {
    return QFileInfo(path).suffix().compare("txt", Qt::CaseInsensitive) == 0;
}

int InformeCaja::Escribir(ReportJob job, const QString& path) {
    const std::unique_ptr<ReportWriter> writer = ReportWriter::ForFile(path);
    DefinicionEnCarpeta();
    ReportComponent vsr;
    if (!ReportBinding(vsr).Bind(job))
        throw TvError(ErrorNumber::FileNotFound, "No se ha podido preparar el informe " +
                                                     job.sSubreports + " de " + job.sFileName);
    const PageModel model = vsr.Layout();
    writer->WriteOrThrow(model, path);
    return model.PageCount();
}
