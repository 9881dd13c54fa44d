// tvCorreo --ini <Tavelo.ini> factura <nIdFactura> [--para ADDR[;ADDR]] [--cc ADDR[;ADDR]]
// tvCorreo --ini <Tavelo.ini> enviar [--vencidos] | estado | reenviar <nIdCorreo>
//
// E-mails an invoice through its branch's own mail account (docs/email.md): the invoice is
// written as PDF, queued and sent at once. Without --para it goes to the client's address. A
// message the server does not take now stays queued with the cause; "enviar" sends everything
// that waits, whatever its wait (with --vencidos, as the billing window's timer runs it, only
// those whose wait is over); "estado" lists the queue; "reenviar" sends again a message held
// because it may already have been delivered. Status: 0 sent or queued, 1 an error, 2 wrong
// arguments.
#include "app/Tool.h"
#include "mail/ColaCorreo.h"
#include "platform/data/DataAccess.h"
#include "platform/ui/seam/UnattendedUi.h"
#include "platform/util/TvError.h"
#include "reports/CorreoFactura.h"
#include "reports/InvoiceExport.h"
#include "session/SuiteSession.h"
#include "setup/SuiteSetup.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>
#include <memory>

namespace {

int Usage() {
    Print(stderr, "uso: tvCorreo --ini <Tavelo.ini> factura <nIdFactura> [--para "
                  "DIRECCIÓN[;DIRECCIÓN]] [--cc DIRECCIÓN[;DIRECCIÓN]] [--facturae]\n"
                  "     tvCorreo --ini <Tavelo.ini> enviar | estado | reenviar <nIdCorreo>");
    return 2;
}

QString Line(const ColaCorreo::Estado& e) {
    QString line = QStringLiteral("correo %1 (factura %2) a %3: %4")
                       .arg(e.nIdCorreo)
                       .arg(e.nIdFactura)
                       .arg(e.para, e.estado);
    if (e.estado == QLatin1String("aceptado"))
        return line + " el " + e.enviado + " (" + e.respuesta + ")";
    if (e.estado == QLatin1String("pendiente") && e.intentos > 0)
        line += QStringLiteral(", %1 intentos, el próximo desde %2").arg(e.intentos).arg(e.proximo);
    return e.error.isEmpty() ? line : line + ": " + e.error;
}

// What one message's send came to; 0 when the server took it or it stays queued.
int Said(const ColaCorreo::Estado& e) {
    if (e.estado == QLatin1String("aceptado")) {
        Print(stdout, "enviado: " + Line(e));
        return 0;
    }
    // Another desk sending it at this moment counts as queued: it is in good hands.
    if (e.estado != QLatin1String("dudoso")) {
        Print(stdout, "en cola: " + Line(e));
        return 0;
    }
    Print(stderr, Line(e));
    return 1;
}

int Invoice(const QString& ini, const QString& number, QStringList options) {
    // The customer asked for the signed e-invoice too.
    const bool facturae = options.removeAll("--facturae") > 0;
    QString para, cc;
    if (const QString wrong = ReadOptions(options, {{"--para", &para}, {"--cc", &cc}});
        !wrong.isEmpty()) {
        Print(stderr, "tvCorreo: " + wrong);
        return Usage();
    }
    bool numeric = false;
    const qint32 id = number.toInt(&numeric);
    if (!numeric || id <= 0)
        return Usage();
    ColaCorreo::Envio envio = ColaCorreo::DeFactura(id);
    if (options.contains("--para"))
        envio.para = para;
    envio.cc = cc;
    QTemporaryDir folder;
    const QString pdf = folder.filePath("factura.pdf");
    QString said;
    QTextStream out(&said), err(&said);
    if (InvoiceExport::Run(ini, number, "Normal", pdf, out, err) != 0)
        throw TvError(ErrorNumber::InvalidCall, "No se pudo escribir la factura en PDF: " + said);
    QFile file(pdf);
    if (!file.open(QIODevice::ReadOnly))
        throw TvError(ErrorNumber::FileNotFound, "No se puede leer " + pdf);
    const QString numero =
        Db().GetValue("Facturas", "nIdFactura=" + QString::number(id), "sFactura", {}).toString();
    envio.adjuntos.push_back(
        {ColaCorreo::NombreArchivo(numero, "pdf"), "application/pdf", file.readAll()});
    if (facturae)
        envio.adjuntos.push_back(CorreoFactura::AdjuntoFacturae(id, ini));
    return Said(ColaCorreo::Enviar(ColaCorreo::Encolar(envio)));
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 3 || args[0] != "--ini")
        return Usage();
    const QString command = args[2];
    const bool known = (command == "factura" && args.size() >= 4) ||
                       (command == "reenviar" && args.size() == 4) ||
                       (command == "enviar" && args.size() == 4 && args[3] == "--vencidos") ||
                       ((command == "enviar" || command == "estado") && args.size() == 3);
    if (!known)
        return Usage();
    Ui::Install(std::make_unique<UnattendedUi>());
    try {
        const QString ini = args[1];
        if (!QFileInfo(ini).isFile())
            throw TvError(ErrorNumber::FileNotFound, "No se encuentra el archivo " + ini);
        // Sending writes the queue: a folder older than the queue gets its table first.
        SuiteSession::Open(ini, DbConfig::DataFolder(ini), DataAccess::instance());
        SuiteSetup::UpdateSchema();
        if (command == "factura")
            return Invoice(ini, args[3], args.mid(4));
        if (command == "reenviar") {
            ColaCorreo::Reenviar(args[3].toInt());
            return Said(ColaCorreo::Enviar(args[3].toInt()));
        }
        if (command == "enviar") {
            int status = 0;
            for (const ColaCorreo::Estado& e : ColaCorreo::EnviarPendientes(args.size() == 3))
                status = std::max(status, Said(e));
            // A message held because it may have been delivered is said on every send, so that
            // somebody checks it and sends it again or lets it be.
            for (const ColaCorreo::Estado& e : ColaCorreo::Lista())
                if (e.estado == QLatin1String("dudoso"))
                    status = std::max(status, Said(e));
            return status;
        }
        const std::vector<ColaCorreo::Estado> states = ColaCorreo::Lista();
        if (states.empty())
            Print(stdout, "no hay correos en la cola");
        for (const ColaCorreo::Estado& e : states)
            Print(stdout, Line(e));
        return 0;
    } catch (const TvError& e) {
        Print(stderr, "tvCorreo: " + e.Description());
        return 1;
    }
}
