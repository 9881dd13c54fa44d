// Speed of the accountant's books on a generated clinic (arguments: [--server CONNSPEC]
// [thousands of clients] [folder], see GeneratedClinic): tvLibros run as the accountant runs it,
// for the busiest year's second quarter and for that whole year, into a workbook. Prints
// "<case>: <value> <unit>" lines: quarter_s and year_s (the whole program, start to end), the
// documents in each, the program's peak memory and this process's own; beside them quarter_select_s
// and year_select_s, the limit: the same documents' headers and breakdown rows only read through
// the database driver and dropped, chunk by chunk as the program reads them.
#include "BenchFigures.h"

#include "invoicing/core/IssuedDocument.h"

#include <QCoreApplication>
#include <QProcess>
#include <sys/resource.h>

namespace {

// The peak resident memory, in megabytes, of the children waited for so far or of this process.
double PeakMb(int who = RUSAGE_CHILDREN) {
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_maxrss) / 1024;
}

double Books(const QString& ini, const QString& desde, const QString& hasta, const QString& out) {
    return Ms([&] {
               QProcess tool;
               tool.setProcessChannelMode(QProcess::MergedChannels);
               tool.start(QCoreApplication::applicationDirPath() + "/tvLibros",
                          {"--ini", ini, "--desde", desde, "--hasta", hasta, "--out", out});
               if (!tool.waitForFinished(600000) || tool.exitCode() != 0)
                   BenchFail("tvLibros: " + QString::fromUtf8(tool.readAll()));
           }) /
           1000;
}

// The period's headers and breakdown rows read as the books read them, 5,000 ids a statement,
// and dropped.
double Select(const QString& desde, const QString& hasta) {
    return Ms([&] {
               const QString where = "dFactura BETWEEN " + desde + " AND " + hasta;
               const Rows bounds = Db().GetRows(
                   "SELECT MIN(nIdFactura),MAX(nIdFactura) FROM Facturas WHERE " + where);
               const qint64 last = bounds(1, 0).toLongLong();
               for (qint64 after = bounds(0, 0).toLongLong() - 1; after < last; after += 5000) {
                   const QString range = "nIdFactura>" + QString::number(after) +
                                         " AND nIdFactura<=" + QString::number(after + 5000);
                   Db().GetRows("SELECT " + IssuedDocument::KeyColumns + ",sCliente,sDni" +
                                " FROM Facturas WHERE " + range + " AND " + where +
                                " ORDER BY nIdFactura");
                   Db().GetRows("SELECT nIdFactura,nPorcIpto,nBaseImponible,nCuota FROM "
                                "FacturasDesglose WHERE " +
                                range + " ORDER BY nIdFacturaDesglose");
               }
           }) /
           1000;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString ini = GeneratedClinic(argc, argv, dir) + "/Data/Tavelo.ini";
    Db().Open(DbConfig::FromIni(ini, DbConfig::DataFolder(ini)));
    const Rows busiest = Db().GetRows("SELECT dFactura/10000,COUNT(*) FROM Facturas GROUP BY "
                                      "dFactura/10000 ORDER BY COUNT(*) DESC LIMIT 1");
    const QString year = busiest(0, 0).toString();
    const auto count = [](const QString& where) {
        return Db().GetRows("SELECT COUNT(*) FROM Facturas WHERE " + where).Value(0, 0).toDouble();
    };
    Report("year_documents", count("dFactura BETWEEN " + year + "0101 AND " + year + "1231"),
           "documents");
    Report("quarter_documents", count("dFactura BETWEEN " + year + "0401 AND " + year + "0630"),
           "documents");
    const double quarterSelect = Select(year + "0401", year + "0630");
    const double yearSelect = Select(year + "0101", year + "1231");
    Db().Close();

    Report("quarter_s", Books(ini, "01-04-" + year, "30-06-" + year, dir.filePath("q.xlsx")), "s");
    Report("quarter_select_s", quarterSelect, "s");
    Report("quarter_peak_memory", PeakMb(), "MB");
    Report("year_s", Books(ini, "01-01-" + year, "31-12-" + year, dir.filePath("y.xlsx")), "s");
    Report("year_select_s", yearSelect, "s");
    Report("year_csv_s", Books(ini, "01-01-" + year, "31-12-" + year, dir.filePath("y.csv")), "s");
    Report("peak_memory", PeakMb(), "MB");
    Report("bench_peak_memory", PeakMb(RUSAGE_SELF), "MB");
    return 0;
}
