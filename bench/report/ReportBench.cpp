// Lays the shipped client list out on generated clients and writes it in every format.
// Prints "<case>: <value> <unit>" lines.

#include "platform/data/DataAccess.h"
#include "platform/report/ReportComponent.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>

namespace {

void Print(const QString& name, double value, const char* unit) {
    std::printf("%s: %.1f %s\n", qPrintable(name), value, unit);
    std::fflush(stdout);
}

void FillClients(int count) {
    DataAccess& db = DataAccess::instance();
    db.Execute("DELETE FROM Clientes");
    db.Transaction(TransactionStep::Begin);
    for (int i = 0; i < count; ++i) {
        const QString name = QString("%1 Cliente %2").arg(QChar('A' + i % 26)).arg(i);
        const QString address = i % 10 == 0 ? "Avenida de la Constitución " + QString::number(i) +
                                                  ", portal B, escalera izquierda, tercero"
                                            : "C/ Mayor " + QString::number(i);
        db.Execute("INSERT INTO Clientes (sCliente, sDomicilio, sPoblacion, nSaldo) VALUES (" +
                   Utility::Quote(name) + "," + Utility::Quote(address) + ",'Lugo'," +
                   Utility::NumberText((i * 37 % 1000) / 4.0) + ")");
    }
    db.Transaction(TransactionStep::Commit);
}

// The best of a few runs, in milliseconds.
template <typename Work> double Best(int runs, Work work) {
    double best = 1e18;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, timer.nsecsElapsed() / 1e6);
    }
    return best;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    try {
        DbConfig config;
        config.sqliteFile = dir.filePath("Tavelo.db");
        DataAccess::instance().Open(config);
        DataAccess::instance().Execute(
            "CREATE TABLE Clientes (nIdCliente INTEGER PRIMARY KEY, sCliente TEXT, "
            "sDomicilio TEXT, sPoblacion TEXT, nSaldo DOUBLE PRECISION)");
        const QString definition = dir.filePath("Clientes.xml");
        QFile::copy(":/Reports/Clientes.xml", definition);
        ReportComponent vsr;
        vsr.Load(definition, "Listado");

        for (int rows : {50, 500, 5000}) {
            FillClients(rows);
            int pages = 0;
            const double ms = Best(3, [&] { pages = vsr.Layout().PageCount(); });
            Print(QString("layout_%1_rows").arg(rows), ms, "ms");
            Print(QString("pages_%1_rows").arg(rows), pages, "pages");
        }

        FillClients(500);
        for (const ReportWriter::FileType& type : ReportWriter::FileTypes()) {
            const QString name = type.extensions.first();
            const QString path = dir.filePath("Listado." + name);
            const double ms = Best(3, [&] { vsr.RenderToFile(path, type.format); });
            Print(QString("layout_and_write_%1_500_rows").arg(name), ms, "ms");
            Print(QString("size_%1_500_rows").arg(name), QFileInfo(path).size() / 1024.0, "KiB");
        }
        return 0;
    } catch (const TvError& error) {
        std::fprintf(stderr, "bench_report: %s\n", qPrintable(error.FullText()));
        return 1;
    }
}
