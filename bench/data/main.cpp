// Speed of DataAccess on a file of realistic size: 200,000 invoice items, 100,000 clients.
// Prints "<case>: <value> <unit>" lines.
#include "platform/data/DataAccess.h"
#include "platform/util/TvError.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>

namespace {

constexpr int Items = 200000;
constexpr int Clients = 100000;

void Report(const char* name, double value, const char* unit) {
    std::printf("%s: %.0f %s\n", name, value, unit);
    std::fflush(stdout);
}

double PerSecond(int count, const QElapsedTimer& timer) {
    return count * 1e9 / double(std::max<qint64>(timer.nsecsElapsed(), 1));
}

QString ItemValues(int i) {
    const int client = i % Clients + 1;
    return QStringLiteral("%1,%2,%3,'Revisión ''anual'' %4',1,12.5,12.5,21,2.63,15.13")
        .arg(i % 3 == 0 ? 0 : i / 3)
        .arg(client)
        .arg(i % 7 + 1)
        .arg(i);
}

const QString ItemColumns = QStringLiteral(
    "nIdFactura,nIdCliente,nIdProductoServicio,sConclusion,nUnidades,nPvp,nBaseImp,nPorcIpto,"
    "nImpuestos,nTotal");

void CreateTables(DataAccess& db) {
    db.ExecuteScript(QStringLiteral(
        "CREATE TABLE FacturasItems (nIdFacturaItem INTEGER PRIMARY KEY AUTOINCREMENT,\n"
        "  nIdFactura INTEGER, nIdCliente INTEGER, nIdMascota INTEGER, nIdProductoServicio "
        "INTEGER,\n  sConclusion TEXT, nUnidades DOUBLE PRECISION, nPvp DOUBLE PRECISION,\n"
        "  nBaseImp DOUBLE PRECISION, nPorcIpto DOUBLE PRECISION, nImpuestos DOUBLE PRECISION,\n"
        "  nTotal DOUBLE PRECISION);\n"
        "CREATE INDEX ixItemsCliente ON FacturasItems (nIdCliente);\n"
        "CREATE INDEX ixItemsFactura ON FacturasItems (nIdFactura);\n"
        "CREATE TABLE Clientes (nIdCliente INTEGER PRIMARY KEY AUTOINCREMENT, sCliente TEXT);\n"));
}

void FillTables(DataAccess& db) {
    QElapsedTimer timer;
    timer.start();
    db.Transaction(TransactionStep::Begin);
    for (int i = 0; i < Items; ++i)
        db.InsertRecord(QStringLiteral("FacturasItems"), ItemColumns, ItemValues(i));
    db.Transaction(TransactionStep::Commit);
    Report("insertrecord_in_transaction_per_s", PerSecond(Items, timer), "rows/s");

    db.Transaction(TransactionStep::Begin);
    for (int i = 1; i <= Clients; ++i)
        db.InsertRecord(QStringLiteral("Clientes"), QStringLiteral("sCliente"),
                        QStringLiteral("'Cliente %1'").arg(i, 6, 10, QChar('0')));
    db.Transaction(TransactionStep::Commit);

    const int alone = 300;
    timer.restart();
    for (int i = 0; i < alone; ++i)
        db.InsertRecord(QStringLiteral("FacturasItems"), ItemColumns, ItemValues(i));
    Report("insertrecord_autocommit_per_s", PerSecond(alone, timer), "rows/s");
}

void ReadTables(DataAccess& db) {
    QElapsedTimer timer;
    timer.start();
    const Rows all = db.GetRows(QStringLiteral("SELECT * FROM FacturasItems"));
    Report("getrows_per_s", PerSecond(all.RowCount(), timer), "rows/s");

    QRandomGenerator random(7);
    const int lookups = 20000;
    timer.restart();
    for (int i = 0; i < lookups; ++i)
        db.GetValue(QStringLiteral("FacturasItems"),
                    QStringLiteral("nIdFacturaItem=%1").arg(random.bounded(1, Items)),
                    QStringLiteral("nTotal"));
    Report("getvalue_per_s", PerSecond(lookups, timer), "calls/s");

    timer.restart();
    for (int i = 0; i < lookups; ++i)
        db.GetValue(QStringLiteral("FacturasItems"),
                    QStringLiteral("(nIdFactura=0 OR ISNULL(nIdFactura)) AND nIdCliente=%1")
                        .arg(random.bounded(1, Clients)));
    Report("getvalue_pending_item_per_s", PerSecond(lookups, timer), "calls/s");

    timer.restart();
    for (int i = 0; i < lookups; ++i)
        db.SumField(QStringLiteral("FacturasItems"), QStringLiteral("nTotal"),
                    QStringLiteral("nIdCliente=%1").arg(random.bounded(1, Clients)));
    Report("sumfield_per_s", PerSecond(lookups, timer), "calls/s");
}

// The billing window's client list: filled, then shown for the first time.
void FillClientCombo(DataAccess& db) {
    QComboBox combo;
    combo.setEditable(true);
    QElapsedTimer timer;
    timer.start();
    db.GetRows(QStringLiteral("SELECT DISTINCT sCliente FROM Clientes"));
    Report("getrows_100k_clients_ms", timer.nsecsElapsed() / 1e6, "ms");
    timer.restart();
    db.FillList(&combo, QStringLiteral("SELECT DISTINCT sCliente FROM Clientes"), false, false,
                false);
    Report("filllist_100k_clients_ms", timer.nsecsElapsed() / 1e6, "ms");
    timer.restart();
    db.FillCombo(&combo, QStringLiteral("SELECT nIdCliente, sCliente FROM Clientes"),
                 QStringLiteral("sCliente"), QStringLiteral("nIdCliente"), true, false, {}, true);
    Report("fillcombo_100k_clients_ms", timer.nsecsElapsed() / 1e6, "ms");
    timer.restart();
    combo.show();
    QApplication::processEvents();
    Report("combo_100k_first_show_ms", timer.nsecsElapsed() / 1e6, "ms");
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    DbConfig config;
    config.sqliteFile = dir.filePath(QStringLiteral("Tavelo.db"));
    DataAccess& db = DataAccess::instance();
    try {
        db.Open(config);
        CreateTables(db);
        FillTables(db);
        ReadTables(db);
        FillClientCombo(db);
        db.Close();
    } catch (const TvError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.FullText()));
        return 1;
    }
    return 0;
}
