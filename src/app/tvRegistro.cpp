// tvRegistro --ini <Tavelo.ini> verify
// tvRegistro --ini <Tavelo.ini> export <file.xml|file.csv>
// tvRegistro --ini <Tavelo.ini> export --aeat <file.xml> [--desde dd-mm-yyyy --hasta dd-mm-yyyy]
//
// Checks the register of issued invoices and credit notes (every fingerprint, every link, every
// record against its invoice) and then every document's stored figures against its lines, or
// writes the register for an inspector, in our own columns or in the tax agency's format. Status: 0
// done (chain intact), 1 a fault in the chain or an error, 2 wrong arguments.
#include "invoicing/core/AmountsCheck.h"
#include "platform/data/DataAccess.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "register/ExportacionAeat.h"
#include "register/RegistroFacturacion.h"
#include "session/SuiteSession.h"

#include <QCoreApplication>
#include <QDate>
#include <QFileInfo>
#include <cstdio>

namespace {

// Flushed at once, so that a report on both streams reads in the order it was written.
void Print(FILE* stream, const QString& text) {
    std::fputs(qPrintable(text + QLatin1Char('\n')), stream);
    std::fflush(stream);
}

int Usage() {
    Print(stderr, "uso: tvRegistro --ini <Tavelo.ini> verify\n"
                  "     tvRegistro --ini <Tavelo.ini> export <archivo.xml|archivo.csv>\n"
                  "     tvRegistro --ini <Tavelo.ini> export --aeat <archivo.xml> "
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

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const bool verify = args.size() == 3 && args[2] == "verify";
    const bool aeat = args.size() >= 5 && args[2] == "export" && args[3] == "--aeat";
    const bool exporting = args.size() == 4 && args[2] == "export";
    qint32 desde = 0, hasta = 0;
    if (args.value(0) != "--ini" || !(verify || exporting || aeat) ||
        (aeat && !AeatOptions(args.mid(5), desde, hasta)))
        return Usage();
    try {
        const QString ini = args[1];
        if (!QFileInfo(ini).isFile())
            throw TvError(ErrorNumber::FileNotFound, "No se encuentra el archivo " + ini);
        // Both only read, so a data folder the user may not write to is checked all the same.
        SuiteSession::Open(ini, DbConfig::DataFolder(ini), DataAccess::instance(), true);
        if (aeat) {
            // An installation the ini does not number is installation 1.
            QString installation = U().ReadIni(ini, "Registro", "NumeroInstalacion").trimmed();
            if (installation.isEmpty())
                installation = QStringLiteral("1");
            const QStringList files =
                ExportacionAeat::Exportar(args[4], installation, desde, hasta);
            Print(stdout, "register written to " + files.join(", "));
            return 0;
        }
        if (exporting) {
            RegistroFacturacion::Exportar(args[3]);
            Print(stdout, "register written to " + args[3]);
            return 0;
        }
        const RegistroFacturacion::Verificacion result = RegistroFacturacion::Verificar();
        Print(result.intact ? stdout : stderr, result.message);
        if (!result.intact)
            return 1;
        // Only a fault is said: the register's line stays the one answer of an intact folder.
        const AmountsCheck amounts = AmountsCheck::Run();
        if (!amounts.agree)
            Print(stderr, amounts.message);
        return amounts.agree ? 0 : 1;
    } catch (const TvError& e) {
        Print(stderr, "tvRegistro: " + e.FullText());
        return 1;
    }
}
