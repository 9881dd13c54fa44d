// tvCaja --ini <Tavelo.ini> estado --caja N
// tvCaja --ini <Tavelo.ini> cierre --caja N --contado "Efectivo=120,00;Tarjeta=50,00"
//        [--fondo 100,00] [--nota TEXT]
// tvCaja --ini <Tavelo.ini> informe --caja N --x --out <file.pdf|file.txt> [--force]
// tvCaja --ini <Tavelo.ini> informe --cierre N [--caja N] --out <file.pdf|file.txt> [--force]
//
// Closing the till from scripts (docs/till.md), as the user the initialisation file signs in
// ([Console] User). Status: 0 done, 1 refused or failed, 2 wrong arguments.
#include "app/Tool.h"
#include "caja/CierreCaja.h"
#include "platform/data/DataAccess.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "reports/InformeCaja.h"
#include "reports/InvoiceExport.h"
#include "session/SuiteSession.h"

#include <QDateTime>
#include <QFileInfo>
#include <QGuiApplication>
#include <cstdio>

namespace {

int Usage(const QString& why) {
    Print(stderr,
          "tvCaja: " + why +
              "\nuso: tvCaja --ini <Tavelo.ini> estado --caja N\n"
              "     tvCaja --ini <Tavelo.ini> cierre --caja N --contado \"Efectivo=120,00;...\" "
              "[--fondo 100,00] [--nota TEXTO]\n"
              "     tvCaja --ini <Tavelo.ini> informe (--caja N --x | --cierre N [--caja N]) "
              "--out <archivo.pdf|archivo.txt> [--force]");
    return 2;
}

QString Importe(Money m) {
    return m.Shown();
}

// The user the initialisation file names, as the suite's menu signs it in.
qint32 Usuario(const QString& ini) {
    const QString login = Utility::instance().ReadIni(ini, "Console", "User", {}).trimmed();
    const qint32 id = Utility::ToInt32(Utility::instance().SqlNumber(
        Db().GetValue("Usuarios", "sUsuario=" + Utility::Quote(login))));
    if (id == 0)
        throw CierreCaja::Rechazo("El archivo " + ini + " no nombra ningún usuario de la suite ([" +
                                  "Console] User=" + login + ").");
    return id;
}

int Estado(qint32 caja) {
    const CierreCaja::Estado e = CierreCaja::EstadoCaja(caja);
    for (const CierreCaja::Metodo& m : e.metodos)
        Print(stdout, m.sTipoCobro + "\t" + Importe(m.esperado));
    Print(stdout, "fondo\t" + Importe(e.fondo));
    Print(stdout, "total\t" + Importe(e.Total()));
    return 0;
}

int Cierre(const QString& ini, qint32 caja, const QString& contado, const QString& fondo,
           const QString& nota) {
    CierreCaja::Recuento r;
    r.contado = CierreCaja::LeerContado(contado);
    if (!fondo.isEmpty())
        r.fondoDejado = CierreCaja::LeerImporte(fondo, "El fondo");
    r.sNota = nota;
    const CierreCaja::Cierre c =
        CierreCaja::Cerrar(caja, Usuario(ini), r, QDateTime::currentDateTime());
    Print(stdout, QString("cierre %1").arg(c.nNumero));
    for (const CierreCaja::Metodo& m : c.metodos)
        Print(stdout, m.sTipoCobro + "\t" + Importe(m.diferencia));
    return 0;
}

int Informe(const QString& ini, qint32 caja, bool x, const QString& cierre, const QString& out) {
    ArchivoSeguro::ComprobarDestino(out);
    InvoiceExport::LoadSession(ini);
    const bool ticket = InformeCaja::EsTicket(out);
    ReportJob job;
    if (x) {
        const qint32 usuario = Usuario(ini);
        const qint32 sucursal = Utility::ToInt32(Utility::instance().SqlNumber(
            Db().GetValue("Usuarios", "nIdUsuario=" + QString::number(usuario), "nIdSucursal")));
        job = InformeCaja::InformeX(CierreCaja::EstadoCaja(caja), sucursal,
                                    QDateTime::currentDateTime(), ticket);
    } else {
        bool numeric = false;
        const qint32 numero = cierre.toInt(&numeric);
        if (!numeric || numero <= 0)
            throw CierreCaja::Rechazo("El número de cierre es un número entero positivo, no \"" +
                                      cierre + "\".");
        const qint32 id = CierreCaja::BuscarCierre(caja, numero);
        const std::optional<CierreCaja::Cierre> z = CierreCaja::LeerCierre(id);
        if (!z)
            throw CierreCaja::Rechazo(
                QString("No existe el cierre número %1%2.")
                    .arg(numero)
                    .arg(caja != 0 ? QString(" de la caja %1").arg(caja) : QString()));
        job = InformeCaja::InformeZ(*z, ticket);
    }
    const int pages = InformeCaja::Escribir(job, out);
    Print(stdout, QString("informe escrito en %1: %2 páginas").arg(out).arg(pages));
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    // The reports are laid out with the fonts they print with, even without a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool x = args.removeAll("--x") > 0;
    TakeForce(args);
    QString ini, orden;
    for (qsizetype k = 0; k < args.size(); ++k)
        if (!args[k].startsWith("--") && (k == 0 || !args[k - 1].startsWith("--"))) {
            orden = args.takeAt(k);
            break;
        }
    QString caja, contado, fondo, nota, cierre, out;
    if (const QString wrong = ReadOptions(args, {{"--ini", &ini},
                                                 {"--caja", &caja},
                                                 {"--contado", &contado},
                                                 {"--fondo", &fondo},
                                                 {"--nota", &nota},
                                                 {"--cierre", &cierre},
                                                 {"--out", &out}});
        !wrong.isEmpty())
        return Usage(wrong);
    if (ini.isEmpty())
        return Usage("falta --ini");
    bool numeric = true;
    const qint32 box = caja.isEmpty() ? 0 : caja.toInt(&numeric);
    if (!numeric || box < 0)
        return Usage("la caja es un número, no \"" + caja + "\"");
    if (orden == "estado" || orden == "cierre") {
        if (box == 0)
            return Usage("falta --caja");
        if (orden == "cierre" && contado.trimmed().isEmpty())
            return Usage("falta --contado");
    } else if (orden == "informe") {
        if (out.isEmpty())
            return Usage("falta --out");
        if (x == !cierre.isEmpty())
            return Usage("el informe es --x (con --caja) o --cierre N");
        if (x && box == 0)
            return Usage("falta --caja");
    } else {
        return Usage(orden.isEmpty() ? "falta la orden (estado, cierre o informe)"
                                     : "orden desconocida " + orden);
    }
    try {
        if (!QFileInfo(ini).isFile())
            throw TvError(ErrorNumber::FileNotFound, "No se encuentra el archivo " + ini);
        SuiteSession::Open(ini, DbConfig::DataFolder(ini), DataAccess::instance(),
                           orden != "cierre");
        if (orden == "estado")
            return Estado(box);
        if (orden == "cierre")
            return Cierre(ini, box, contado, fondo, nota);
        return Informe(ini, box, x, cierre, out);
    } catch (const CierreCaja::Rechazo& e) {
        Print(stderr, "tvCaja: " + e.Description());
        return 1;
    } catch (const TvError& e) {
        Print(stderr, "tvCaja: " + e.FullText());
        return 1;
    }
}
