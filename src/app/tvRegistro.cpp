// tvRegistro --ini <Tavelo.ini> verify
// tvRegistro --ini <Tavelo.ini> export <file.xml|file.csv> [--force]
// tvRegistro --ini <Tavelo.ini> export --aeat <file.xml> [--desde dd-mm-yyyy --hasta dd-mm-yyyy]
//            [--force]
// tvRegistro --ini <Tavelo.ini> export --firmados <folder> [--force]
// tvRegistro --ini <Tavelo.ini> eventos --dir <folder> [--desde dd-mm-yyyy --hasta dd-mm-yyyy]
//            [--force]
// tvRegistro --ini <Tavelo.ini> send | status | subsanar <nIdRegistro>
// tvRegistro --ini <Tavelo.ini> send --requerimiento <ref> [--desde dd-mm-yyyy --hasta dd-mm-yyyy]
//
// Checks the register of issued invoices and credit notes (every fingerprint, every link, every
// record against its invoice) and then every document's stored figures against its lines, or
// writes the register for an inspector, in our own columns or in the tax agency's format. Status: 0
// done (chain intact), 1 a fault in the chain or an error, 2 wrong arguments. In VERI*FACTU mode it
// also sends the records that wait to the tax agency (status 1 when some were rejected or the
// submission failed), lists the records not accepted, and marks a rejected record, its cause
// fixed, to be sent again as a correction. Without sending, it also checks the event log and
// writes it out, and logs its checks and exports there.
#include "app/Tool.h"
#include "invoicing/core/AmountsCheck.h"
#include "platform/data/DataAccess.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "register/EventosSif.h"
#include "register/ExportacionAeat.h"
#include "register/FirmaRegistro.h"
#include "register/ModoRegistro.h"
#include "register/RegistroFacturacion.h"
#include "register/VeriFactu.h"
#include "session/SuiteSession.h"
#include "setup/SuiteSetup.h"

#include <QCoreApplication>
#include <QDate>
#include <QFileInfo>
#include <cstdio>
#include <optional>

namespace {

// Flushed at once, so that a report on both streams reads in the order it was written.
int Usage() {
    Print(stderr, "uso: tvRegistro --ini <Tavelo.ini> verify\n"
                  "     tvRegistro --ini <Tavelo.ini> export <archivo.xml|archivo.csv> [--force]\n"
                  "     tvRegistro --ini <Tavelo.ini> export --aeat <archivo.xml> "
                  "[--desde dd-mm-aaaa] [--hasta dd-mm-aaaa] [--force]\n"
                  "     tvRegistro --ini <Tavelo.ini> export --firmados <carpeta> [--force]\n"
                  "     tvRegistro --ini <Tavelo.ini> eventos --dir <carpeta> "
                  "[--desde dd-mm-aaaa] [--hasta dd-mm-aaaa] [--force]\n"
                  "     tvRegistro --ini <Tavelo.ini> send | status | subsanar <nIdRegistro>\n"
                  "     tvRegistro --ini <Tavelo.ini> send --requerimiento <referencia> "
                  "[--desde dd-mm-aaaa] [--hasta dd-mm-aaaa]");
    return 2;
}

// The --aeat form's options after the file: --desde and --hasta, each with a date dd-mm-yyyy.
// Answers false on anything else.
bool AeatOptions(const QStringList& options, qint32& desde, qint32& hasta) {
    if (options.size() % 2 != 0)
        return false;
    for (int k = 0; k < options.size(); k += 2) {
        const QDate day = QDate::fromString(options[k + 1], "dd-MM-yyyy");
        if (!day.isValid())
            return false;
        const qint32 value = day.year() * 10000 + day.month() * 100 + day.day();
        if (options[k] == "--desde")
            desde = value;
        else if (options[k] == "--hasta")
            hasta = value;
        else
            return false;
    }
    return true;
}

// The records the agency has not accepted, one a line, after the counts and the last failure.
int Status() {
    const std::vector<VeriFactu::Estado> states = VeriFactu::NoAceptados();
    QString counts = QStringLiteral("pending: %1, rejected: %2")
                         .arg(VeriFactu::Pendientes())
                         .arg(VeriFactu::Rechazados());
    if (const int conflicts = VeriFactu::Conflictos(); conflicts > 0)
        counts += QStringLiteral(", in conflict: %1").arg(conflicts);
    Print(stdout, counts);
    if (const std::optional<VeriFactu::Fallo> fallo = VeriFactu::UltimoFallo())
        Print(stdout, "last submission failed at " + fallo->momento.toString(Qt::ISODate) + ": " +
                          fallo->error);
    for (const VeriFactu::Estado& e : states) {
        QString line = QStringLiteral("record %1 (%2, %3): ")
                           .arg(e.registro.nIdRegistro)
                           .arg(e.registro.sNumSerie, e.registro.sFechaExpedicion);
        if (e.sEstado.isEmpty())
            line += QStringLiteral("pending");
        else if (e.sEstado == QLatin1String("Subsanar"))
            line += QStringLiteral("to be sent again as a correction");
        else if (e.sEstado == QLatin1String("Conflicto"))
            line += "in conflict: " + e.sDescripcionError;
        else
            line += QStringLiteral("rejected %1: %2").arg(e.nCodigoError).arg(e.sDescripcionError);
        Print(stdout, line);
    }
    return 0;
}

// Sends what waits; status 1 when a record was rejected or in conflict, or a submission failed.
int Send(const QString& ini) {
    const VeriFactu::Configuracion configuracion = VeriFactu::LeerConfiguracion(ini);
    if (!configuracion.verifactu)
        throw TvError(ErrorNumber::InvalidCall,
                      "El modo VERI*FACTU no está activado (sección [VeriFactu], Modo=VERIFACTU) "
                      "en " +
                          ini);
    const VeriFactu::Resultado result = VeriFactu::Enviar(configuracion);
    if (result.ocupado)
        Print(stdout, "another workstation is sending");
    if (!result.error.isEmpty())
        Print(stderr, result.error);
    if (result.esperaSegundos > 0 && result.pendientes > 0)
        Print(stdout, QStringLiteral("no submission for %1 s").arg(result.esperaSegundos));
    for (const ValidacionesAeat::Retenido& x : result.retenidos)
        Print(stderr, QStringLiteral("record %1 (%2): not sent: ")
                              .arg(x.registro.nIdRegistro)
                              .arg(x.registro.sNumSerie) +
                          x.regla.Mensaje(x.registro.sNumSerie));
    Print(stdout, result.Texto());
    return result.rechazados == 0 && result.conflictos == 0 && result.retenidos.empty() &&
                   result.error.isEmpty()
               ? 0
               : 1;
}

// Hands the kept records over at the agency's request; status 0 only once the request is
// complete.
int Requerimiento(const QString& ini, const QString& referencia, qint32 desde, qint32 hasta) {
    const VeriFactu::Configuracion configuracion = VeriFactu::LeerConfiguracion(ini);
    if (configuracion.verifactu)
        throw TvError(ErrorNumber::InvalidCall,
                      "En VERI*FACTU la AEAT ya recibe cada registro al emitirse: un "
                      "requerimiento se atiende desde el modo sin envío (Modo=NOVERIFACTU)");
    const VeriFactu::Resultado result =
        VeriFactu::EnviarRequerimiento(configuracion, referencia, desde, hasta);
    if (result.ocupado)
        Print(stdout, "another workstation is sending");
    if (!result.error.isEmpty())
        Print(stderr, result.error);
    if (result.esperaSegundos > 0 && result.pendientes > 0)
        Print(stdout, QStringLiteral("no submission for %1 s: run the same command again then")
                          .arg(result.esperaSegundos));
    Print(stdout, "request " + referencia + " " + result.Texto());
    if (result.pendientes == 0 && result.error.isEmpty() && !result.ocupado)
        EventosSif::Registrar(EventosSif::ExportacionRegistros,
                              EventosSif::ExportacionDeRegistros(desde, hasta),
                              "Requerimiento " + referencia);
    return result.pendientes == 0 && result.rechazados == 0 && result.conflictos == 0 &&
                   result.error.isEmpty() && !result.ocupado
               ? 0
               : 1;
}

// What the command line asks for: exactly one of the checks, exports or sendings, with the
// period an export or a request names.
struct Command {
    bool verify = false;
    bool aeat = false;
    bool exporting = false;
    bool signedRecords = false;
    bool events = false;
    bool request = false;
    QString veriFactu; // send, status or subsanar
    qint32 desde = 0;
    qint32 hasta = 0;
};

// The command args name (--force taken out of them); nothing for a wrong command line.
std::optional<Command> Parse(QStringList& args) {
    // Only an export writes a file; --force anywhere else is a wrong argument.
    if (TakeForce(args) && args.value(2) != "export" && args.value(2) != "eventos")
        return std::nullopt;
    Command c;
    c.verify = args.size() == 3 && args[2] == "verify";
    c.aeat = args.size() >= 5 && args[2] == "export" && args[3] == "--aeat";
    c.exporting = args.size() == 4 && args[2] == "export";
    c.signedRecords = args.size() == 5 && args[2] == "export" && args[3] == "--firmados";
    c.events = args.size() >= 5 && args[2] == "eventos" && args[3] == "--dir";
    c.request = args.size() >= 5 && args[2] == "send" && args[3] == "--requerimiento";
    c.veriFactu = args.size() == 3 && (args[2] == "send" || args[2] == "status")     ? args[2]
                  : args.size() == 4 && args[2] == "subsanar" && args[3].toInt() > 0 ? args[2]
                                                                                     : QString();
    if (args.value(0) != "--ini" ||
        !(c.verify || c.exporting || c.aeat || c.signedRecords || c.events || c.request ||
          !c.veriFactu.isEmpty()) ||
        ((c.aeat || c.events || c.request) && !AeatOptions(args.mid(5), c.desde, c.hasta)))
        return std::nullopt;
    return c;
}

int Sending(const QString& ini, const QStringList& args, const Command& c) {
    // Sending writes each record's state; a folder older than the sending state gets its tables
    // first, as the module's start would give them, and a change of mode is seen before anything
    // is sent.
    SuiteSession::Open(ini, DbConfig::DataFolder(ini), DataAccess::instance());
    SuiteSetup::UpdateSchema();
    FirmaRegistro::Configurar(ini);
    if (const QString problema = ModoRegistro::Comprobar(ini); !problema.isEmpty())
        throw TvError(ErrorNumber::InvalidCall, problema);
    if (c.request)
        return Requerimiento(ini, args[4], c.desde, c.hasta);
    if (c.veriFactu == "send")
        return Send(ini);
    if (c.veriFactu == "subsanar") {
        VeriFactu::Subsanar(args[3].toInt());
        Print(stdout, "record " + args[3] + " will be sent again as a correction");
        return 0;
    }
    return Status();
}

// Without sending, checks and exports are logged as events; otherwise, or in a data folder the
// user may not write to, they only read, and are done all the same.
void OpenWithoutSending(const QString& ini) {
    FirmaRegistro::Configurar(ini);
    const bool logged =
        FirmaRegistro::Firmando() && QFileInfo(DbConfig::DataFolder(ini)).isWritable();
    if (!logged)
        FirmaRegistro::Configurar(QString()); // nothing is logged from here on
    SuiteSession::Open(ini, DbConfig::DataFolder(ini), DataAccess::instance(), !logged);
    if (logged)
        SuiteSetup::UpdateSchema();
}

int Export(const QString& ini, const QStringList& args, const Command& c) {
    if (c.events) {
        const int written = EventosSif::Exportar(args[4], c.desde, c.hasta);
        Print(stdout, QStringLiteral("%1 events written to %2").arg(written).arg(args[4]));
        return 0;
    }
    if (c.aeat) {
        // An installation the ini does not number is installation 1.
        QString installation = U().ReadIni(ini, "Registro", "NumeroInstalacion").trimmed();
        if (installation.isEmpty())
            installation = QStringLiteral("1");
        const QStringList files =
            ExportacionAeat::Exportar(args[4], installation, c.desde, c.hasta);
        EventosSif::Registrar(EventosSif::ExportacionRegistros,
                              EventosSif::ExportacionDeRegistros(c.desde, c.hasta));
        Print(stdout, "register written to " + files.join(", "));
        return 0;
    }
    if (c.signedRecords) {
        const int written = FirmaRegistro::Exportar(args[4]);
        EventosSif::Registrar(EventosSif::ExportacionRegistros,
                              EventosSif::ExportacionDeRegistros(0, 0));
        Print(stdout, QStringLiteral("%1 signed records written to %2").arg(written).arg(args[4]));
        return 0;
    }
    RegistroFacturacion::Exportar(args[3]);
    Print(stdout, "register written to " + args[3]);
    return 0;
}

int Verify() {
    const RegistroFacturacion::Verificacion result = RegistroFacturacion::Verificar();
    const QString signatures = result.intact ? FirmaRegistro::Verificar() : QString();
    int checkedEvents = 0;
    const QString eventFault = EventosSif::Verificar(&checkedEvents);
    EventosSif::Registrar(EventosSif::ControlRegistros,
                          EventosSif::ControlDeRegistros(result.records));
    if (!result.intact || !signatures.isEmpty())
        EventosSif::Registrar(EventosSif::AnomaliaRegistros,
                              EventosSif::Anomalia(false, result.intact ? "02" : "03",
                                                   result.intact ? signatures : result.message));
    EventosSif::Registrar(EventosSif::ControlEventos, EventosSif::ControlDeEventos(checkedEvents));
    if (!eventFault.isEmpty())
        EventosSif::Registrar(EventosSif::AnomaliaEventos,
                              EventosSif::Anomalia(true, "03", eventFault));
    Print(result.intact ? stdout : stderr, result.message);
    if (!result.intact)
        return 1;
    if (!signatures.isEmpty()) {
        Print(stderr, signatures);
        return 1;
    }
    if (!eventFault.isEmpty()) {
        Print(stderr, eventFault);
        return 1;
    }
    // Only a fault is said: the register's line stays the one answer of an intact folder.
    const AmountsCheck amounts = AmountsCheck::Run();
    if (!amounts.agree)
        Print(stderr, amounts.message);
    return amounts.agree ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const std::optional<Command> command = Parse(args);
    if (!command)
        return Usage();
    try {
        const QString ini = args[1];
        if (!QFileInfo(ini).isFile())
            throw TvError(ErrorNumber::FileNotFound, "No se encuentra el archivo " + ini);
        if (!command->veriFactu.isEmpty() || command->request)
            return Sending(ini, args, *command);
        OpenWithoutSending(ini);
        return command->verify ? Verify() : Export(ini, args, *command);
    } catch (const TvError& e) {
        Print(stderr, "tvRegistro: " + e.FullText());
        return 1;
    }
}
