// tvRegistro --ini <Tavelo.ini> verify
// tvRegistro --ini <Tavelo.ini> export <file.xml|file.csv>
//
// Checks the register of issued invoices and credit notes (every fingerprint, every link, every
// record against its invoice) and then every document's stored figures against its lines, or
// writes the register for an inspector. Status: 0 done (chain intact),
// 1 a fault in the chain or an error, 2 wrong arguments.
#include "invoicing/core/AmountsCheck.h"
#include "platform/data/DataAccess.h"
#include "platform/util/TvError.h"
#include "register/RegistroFacturacion.h"
#include "session/SuiteSession.h"

#include <QCoreApplication>
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
                  "     tvRegistro --ini <Tavelo.ini> export <archivo.xml|archivo.csv>");
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const bool verify = args.size() == 3 && args[2] == "verify";
    const bool exporting = args.size() == 4 && args[2] == "export";
    if (args.value(0) != "--ini" || !(verify || exporting))
        return Usage();
    try {
        const QString ini = args[1];
        if (!QFileInfo(ini).isFile())
            throw TvError(ErrorNumber::FileNotFound, "No se encuentra el archivo " + ini);
        // Both only read, so a data folder the user may not write to is checked all the same.
        SuiteSession::Open(ini, DbConfig::DataFolder(ini), DataAccess::instance(), true);
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
