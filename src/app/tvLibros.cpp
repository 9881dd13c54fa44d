// tvLibros --ini <Tavelo.ini> --desde dd-mm-yyyy --hasta dd-mm-yyyy [--sucursal N]
//          --out <file.xlsx|file.csv> [--force]
//
// Writes the accountant's books of a period: the register of issued invoices and the VAT summary
// per rate (docs/books.md). Status: 0 written, 1 an error, 2 wrong arguments.
#include "app/Tool.h"
#include "books/LibroEscritura.h"
#include "books/LibroFacturas.h"
#include "platform/data/DataAccess.h"
#include "platform/util/TvError.h"
#include "session/SuiteSession.h"

#include <QCoreApplication>
#include <QDate>
#include <QFileInfo>
#include <cstdio>

namespace {

int Usage(const QString& why) {
    Print(stderr, "tvLibros: " + why +
                      "\nuso: tvLibros --ini <Tavelo.ini> --desde dd-mm-aaaa --hasta dd-mm-aaaa "
                      "[--sucursal N] --out <archivo.xlsx|archivo.csv> [--force]");
    return 2;
}

qint32 Dia(const QString& text) {
    const QDate day = QDate::fromString(text, "dd-MM-yyyy");
    return day.isValid() ? day.year() * 10000 + day.month() * 100 + day.day() : 0;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    TakeForce(args);
    QString ini, out, desde, hasta, sucursal;
    if (const QString wrong = ReadOptions(args, {{"--ini", &ini},
                                                 {"--out", &out},
                                                 {"--desde", &desde},
                                                 {"--hasta", &hasta},
                                                 {"--sucursal", &sucursal}});
        !wrong.isEmpty())
        return Usage(wrong);
    if (ini.isEmpty() || out.isEmpty() || desde.isEmpty() || hasta.isEmpty())
        return Usage("faltan opciones");
    const qint32 from = Dia(desde), to = Dia(hasta);
    if (from == 0 || to == 0)
        return Usage("las fechas se escriben dd-mm-aaaa");
    if (from > to)
        return Usage("la fecha --desde es posterior a --hasta");
    bool numeric = true;
    const qint32 branch = sucursal.isEmpty() ? 0 : sucursal.toInt(&numeric);
    if (!numeric || branch < 0)
        return Usage("la sucursal es un número");
    const QString suffix = QFileInfo(out).suffix().toLower();
    if (suffix != "xlsx" && suffix != "csv")
        return Usage("el archivo de salida es .xlsx o .csv");
    try {
        if (!QFileInfo(ini).isFile())
            throw TvError(ErrorNumber::FileNotFound, "No se encuentra el archivo " + ini);
        ArchivoSeguro::ComprobarDestino(out);
        SuiteSession::Open(ini, DbConfig::DataFolder(ini), DataAccess::instance(), true);
        const size_t lineas = LibroEscritura::EscribirPeriodo(from, to, branch, out);
        Print(stdout, QString("libro escrito en %1: %2 líneas").arg(out).arg(lineas));
        return 0;
    } catch (const TvError& e) {
        Print(stderr, "tvLibros: " + e.FullText());
        return 1;
    }
}
