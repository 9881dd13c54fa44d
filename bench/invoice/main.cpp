// Speed of issuing an invoice on a generated clinic (by default 100,000 clients and 1,000,000
// invoice items; arguments: [--server CONNSPEC] [thousands of clients] [folder], see
// GeneratedClinic). Prints "<case>: <value> <unit>" lines:
//  - issue_ms: a 10-line invoice with 2 payments, the dialog answered by the benchmark and the
//    printing left out; issue_bare_sql_ms: the very statements it ran (recorded by the
//    data-access component) replayed on an identical copy of the database: through SQLite's C
//    API on a copy of the file, or through a plain connection of Qt's driver on a copy of the
//    server's database; issue_ratio; the same for a credit note of such an invoice (credit_...)
//    and for a rectification of two of the three units of one of its lines (partial_credit_...);
//    simplified_...: a walk-in sale of two products without the customer's id (an F2);
//    substitute_two_ms: two such sales of a client replaced by one complete invoice (an F3);
//  - closed_period_check_ms: the check, made for every box a document books into, that the box
//    is not closed for the document's day;
//  - signed_issue_ms: the same invoice with its register record signed (a clinic that keeps its
//    register rather than sends it); verify_signed_per_100k_records_s: checking those records'
//    signatures against their rows (verify_signed_records of them), scaled to 100,000 records;
//  - register_backfill: recording the invoices of a folder made before the register (once);
//  - issue_quiet_ms and issue_sending_ms: the same invoice with nothing else running, then while
//    the billing window's sender (VERI*FACTU mode) sends the register in the background, to an
//    agency that takes the connection and never answers; message_1000_records_ms the sender's
//    own work before it waits: the SOAP message of 1000 records read from the register;
//  - register_ms: writing an invoice's register record; validations_us: the agency's rules over
//    the record an invoice is about to get, as issuing checks them;
//  - verify_per_100k_records_s: tvRegistro verify as a whole, scaled to 100,000 records: the
//    register's chain (verify_chain_per_100k_records_s) and every document's figures against
//    its lines, breakdown, payments and cash-box entries (amounts_check_s, amounts_documents
//    the documents checked); sha256_per_100k_records_s: hashing the same fingerprint texts and
//    nothing else, the floor of any verify;
//  - history_500_ms: the invoice history window of a client with 500 invoices, filled and shown;
//  - press_to_pdf_ms: the same invoice followed by its Detallada layout written to PDF;
//  - invoices_per_s_8_processes: eight processes issuing invoices at once, each for its client.
// With --load SECONDS --keep DIR [--server CONNSPEC] [thousands] it runs only a load instead, on a
// clinic generated in DIR and left there for inspection: eight workstations, half on each branch
// (branch 1's counter started 10 below branch 2's), issuing for SECONDS with every fourth
// document a credit note of the workstation's invoice before it; then every document is checked:
// load_documents, load_per_s, load_failed_processes, load_duplicates (numbers stored twice),
// load_half_written (documents without their items, payments or register record),
// load_gaps (numbers of the load's series never stored) and load_chain_intact.
#include "BenchFigures.h"
#include "billing/BillingWindow.h"
#include "billing/EnvioVeriFactu.h"
#include "billing/FacturaHist.h"
#include "billing/Facturacion.h"
#include "billing/GenerarAbono.h"
#include "billing/GenerarFactura.h"
#include "caja/CierreCaja.h"
#include "invoicing/SustituirSimplificadas.h"
#include "invoicing/core/AmountsCheck.h"
#include "invoicing/core/PendingItems.h"
#include "platform/data/DataAccess.h"
#include "platform/data/SqliteEngine.h"
#include "platform/data/StatementProbe.h"
#include "platform/ui/widgets/Frm.h"
#include "platform/util/Sha256.h"
#include "platform/util/Utility.h"
#include "register/ExportacionAeat.h"
#include "register/FirmaRegistro.h"
#include "register/RegistroFacturacion.h"
#include "register/ValidacionesAeat.h"
#include "reports/InvoiceExport.h"
#include "session/G.h"
#include "session/Gi.h"
#include "setup/CertificadoDemo.h"
#include "setup/SuiteSetup.h"

#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <sqlite3.h>
#include <vector>

namespace {

// The front desk as a script: cash for half, card for the rest, Detallada.
class BenchWindow : public BillingWindow {
public:
    QString client;
    quint8 formato = 0;
    std::function<void(qint32)> print;
    // A walk-in customer who gives no id: a simplified invoice.
    bool sinId = false;

    QString Dato(DatoPareja dato) const override {
        return dato == DatoPareja::IdCliente ? client
               : dato == DatoPareja::Cliente ? QStringLiteral("Cliente ") + client
                                             : "1";
    }
    double EmpleadoElegido() const override { return 1; }
    qint32 CajaElegida() const override { return 1; }
    quint8& FormatoFactura() override { return formato; }
    CobroRecord MostrarCobro() override {
        const Money total = PendingItems(client.toInt()).StoredTotal();
        CobroRecord cobro;
        cobro.sCliente = Dato(DatoPareja::Cliente);
        if (!sinId)
            cobro.sDni = Db().GetValue("Clientes", "nIdCliente=" + client, "sDni").toString();
        cobro.sTipoCobro[0] = "Efectivo";
        cobro.nImporte[0] = Money::FromDouble(total.ToDouble() / 2);
        cobro.sTipoCobro[1] = "Tarjeta";
        cobro.nImporte[1] = total - cobro.nImporte[0];
        formato = 2;
        return cobro;
    }
    void Imprimir(qint32 nIdFactura, quint8) override {
        if (print)
            print(nIdFactura);
    }
    void RefrescarGrid() override {}
};

// Lines (ten unless told) of products spread over the catalogue and its rates. A small
// catalogue is walked with a shorter stride, so that an invoice has its ten lines at any scale.
// The same products run after run: a server hands unordered rows back as it last wrote them, and
// the stock each invoice updates moved other products (whose two sales may not add up to the
// cent for a complete invoice) to the front.
void AddLines(qint32 client, int count = 10) {
    static const int stride = std::clamp(
        Db().GetRows("SELECT COUNT(*) FROM ProductosServicios").Value(0, 0).toInt() / 10, 1, 97);
    const Rows products =
        Db().GetRows("SELECT nIdProductoServicio,nPvp,nPorcIpto FROM ProductosServicios WHERE "
                     "nIdProductoServicio % " +
                     QString::number(stride) + " = " + QString::number(stride > 1 ? 1 : 0) +
                     " ORDER BY nIdProductoServicio LIMIT " + QString::number(count));
    for (int r = 0; r < products.RowCount(); ++r) {
        const double units = 1 + r % 3;
        const double price = U().SqlNumber(products(1, r));
        const double rate = U().SqlNumber(products(2, r));
        Db().InsertRecord(
            "FacturasItems",
            "nIdCliente,nIdMascota,nIdProductoServicio,nUnidades,nPvp,nPorcIpto,nBaseImp,"
            "nImpuestos,nTotal",
            QStringList{QString::number(client), "0", products(0, r).toString(),
                        Utility::NumberText(units), U().SqlValue(price, 2, true),
                        U().SqlValue(rate, 2, true), U().SqlValue(price * units, 2, true),
                        U().SqlValue(price * rate / 100 * units, 2, true),
                        U().SqlValue(price * (1 + rate / 100) * units, 2, true)}
                .join(','));
    }
}

// Runs the statements on the file through SQLite itself, reading every value of every row as
// the module's data access does.
double ReplayMs(const QString& dbFile, const QStringList& statements) {
    sqlite3* db = nullptr;
    if (sqlite3_open(dbFile.toUtf8().constData(), &db) != SQLITE_OK)
        return -1;
    sqlite3_busy_timeout(db, 5000);
    // The register's trigger recomputes each record's fingerprint, as on the module's connection.
    SqliteEngine::DefineFunctions(db);
    // The module's connection has read the schema before it starts; so does this one.
    sqlite3_exec(db, "SELECT COUNT(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    std::vector<QByteArray> texts;
    for (const QString& statement : statements)
        texts.push_back(statement.toUtf8());
    const double ms = Ms([&] {
        for (const QByteArray& text : texts) {
            sqlite3_stmt* stmt = nullptr;
            if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &stmt, nullptr) !=
                SQLITE_OK) {
                std::fprintf(stderr, "replay: %s\n%s\n", sqlite3_errmsg(db), text.constData());
                continue;
            }
            while (sqlite3_step(stmt) == SQLITE_ROW)
                for (int c = 0; c < sqlite3_column_count(stmt); ++c)
                    if (sqlite3_column_type(stmt, c) == SQLITE_TEXT)
                        sqlite3_column_text(stmt, c);
                    else
                        sqlite3_column_double(stmt, c);
            sqlite3_finalize(stmt);
        }
    });
    sqlite3_close(db);
    return ms;
}

// A plain connection of Qt's driver to a database of the server that config names; BenchFail when
// it cannot be opened. Like the module's connection it keeps the server's notices to itself.
QSqlDatabase ServerConnection(const DbConfig& config, const QString& database,
                              const QString& connectionName) {
    QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", connectionName);
    db.setHostName(config.host);
    db.setPort(config.port);
    db.setDatabaseName(database);
    db.setUserName(config.user);
    db.setPassword(config.password);
    if (!db.open())
        BenchFail("replay: " + db.lastError().text());
    QSqlQuery quiet(db);
    if (!quiet.exec("SET client_min_messages TO warning"))
        BenchFail("replay: " + quiet.lastError().text());
    return db;
}

// Runs statements on the server's maintenance database, where a database can be created or
// dropped.
void RunOnServer(const DbConfig& config, const QStringList& statements) {
    {
        QSqlQuery query(ServerConnection(config, "postgres", "bench-admin"));
        for (const QString& statement : statements)
            if (!query.exec(statement))
                BenchFail("replay: " + query.lastError().text() + "\n" + statement);
    }
    QSqlDatabase::removeDatabase("bench-admin");
}

QString Quoted(const QString& name) {
    return '"' + QString(name).replace('"', "\"\"") + '"';
}

// The server's counterpart of copying the file: a new database made from the module's as its
// template, which nobody may be connected to meanwhile.
void CopyServerDatabase(const DbConfig& config, const QString& copy) {
    RunOnServer(config, {"DROP DATABASE IF EXISTS " + Quoted(copy),
                         "CREATE DATABASE " + Quoted(copy) + " TEMPLATE " + Quoted(config.name)});
}

// Runs the statements, the module's own BEGIN and COMMIT among them, on the copy through a plain
// connection, reading every value of every row as the module's data access does; statements the
// module sent in one request go in one here too.
double ReplayOnServerMs(const DbConfig& config, const QString& copy,
                        const QStringList& statements) {
    // The pages the module read were in the server's shared buffers already, the fresh copy's are
    // not: another connection reads them first, which leaves the replay's own connection as new
    // as the module's.
    {
        QSqlQuery warm(ServerConnection(config, copy, "bench-warm"));
        for (const QString& statement : statements)
            if (statement.startsWith("SELECT", Qt::CaseInsensitive))
                warm.exec(statement);
    }
    QSqlDatabase::removeDatabase("bench-warm");
    double ms = -1;
    {
        QSqlQuery query(ServerConnection(config, copy, "bench-replay"));
        query.setForwardOnly(true);
        ms = Ms([&] {
            for (const QString& statement : statements) {
                if (!query.exec(statement)) {
                    std::fprintf(stderr, "replay: %s\n%s\n", qPrintable(query.lastError().text()),
                                 qPrintable(statement));
                    continue;
                }
                const int columns = query.record().count();
                while (query.next())
                    for (int c = 0; c < columns; ++c)
                        query.value(c);
            }
        });
    }
    QSqlDatabase::removeDatabase("bench-replay");
    return ms;
}

// One of eight workstations: count invoices for its own client.
int Child(const QString& ini, const QString& client, int count) {
    G::Init("admin:admin||" + ini);
    BenchWindow w;
    w.client = client;
    for (int i = 0; i < count; ++i) {
        Db().InsertRecord("FacturasItems", "nIdCliente,nUnidades,nPvp,nPorcIpto,nTotal",
                          client + ",1,10,21,12.1");
        Generar_Factura(w);
    }
    Db().Close();
    return 0;
}

// One workstation of the load: signs in as login, then until the time is up adds a line for its
// client and invoices it, every fourth document crediting the invoice before. Prints how many
// documents it issued; a failure ends the process with a non-zero status.
int LoadChild(const QString& ini, const QString& login, const QString& client, int seconds) {
    G::Init(login + "|" + U().Today(true) + "|" + ini + "|0|0|0|0");
    BenchWindow w;
    w.client = client;
    QElapsedTimer clock;
    clock.start();
    int documents = 0;
    qint32 last = 0;
    while (clock.elapsed() < seconds * 1000) {
        if (documents % 4 == 3 && last > 0) {
            Generar_Abono(w, last);
            last = 0;
        } else {
            Db().InsertRecord("FacturasItems", "nIdCliente,nUnidades,nPvp,nPorcIpto,nTotal",
                              client + ",1,10,21,12.1");
            Generar_Factura(w);
            last = Db().GetValue("Facturas",
                                 "nIdCliente=" + client +
                                     " AND (dFacturaAbonada=0 OR "
                                     "ISNULL(dFacturaAbonada)) ORDER BY nIdFactura DESC",
                                 "nIdFactura")
                       .toInt();
        }
        ++documents;
    }
    std::printf("%d\n", documents);
    Db().Close();
    return 0;
}

// The load and the checks after it (see the top of this file).
int Load(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const qsizetype loadAt = args.indexOf("--load"), keepAt = args.indexOf("--keep");
    if (loadAt + 1 >= args.size() || keepAt < 0 || keepAt + 1 >= args.size())
        BenchFail("Uso: bench_invoice --load SEGUNDOS --keep CARPETA [--server CONEXION] [miles]");
    const int seconds = std::max(1, args[loadAt + 1].toInt());
    const QString keep = args[keepAt + 1];
    // The clinic's own arguments are what is left: [--server CONNSPEC] [thousands], 10 by default.
    QStringList rest = args;
    for (const char* option : {"--load", "--keep"})
        rest.remove(rest.indexOf(QString(option)), 2);
    QStringList clinic{QString::fromLocal8Bit(argv[0])};
    if (const qsizetype at = rest.indexOf("--server"); at >= 0) {
        clinic << rest.mid(at, 2);
        rest.remove(at, 2);
    }
    clinic << rest.value(0, "10") << keep;
    std::vector<QByteArray> bytes;
    std::vector<char*> pointers;
    for (const QString& arg : clinic)
        bytes.push_back(arg.toLocal8Bit());
    for (QByteArray& arg : bytes)
        pointers.push_back(arg.data());
    const QTemporaryDir dir;
    const QString ini =
        GeneratedClinic(int(pointers.size()), pointers.data(), dir) + "/Data/Tavelo.ini";

    G::Init("admin:admin|" + U().Today(true) + "|" + ini + "|0|0|0|0");
    SuiteSetup::UpdateSchema();
    const qint32 year = QDate::currentDate().year();
    const qint32 clients = Db().GetRows("SELECT MAX(nIdCliente) FROM Clientes").Value(0, 0).toInt();
    const qint32 before = Db().GetRows("SELECT MAX(nIdFactura) FROM Facturas").Value(0, 0).toInt();
    // Branch 2 numbers from 5001 this year, branch 1 from ten below it.
    for (const auto& [branch, first] : {std::pair{1, 4991}, std::pair{2, 5001}}) {
        const QString serie = GetBranchSetting("SerieFacturas", branch);
        Db().DeleteRecords("Contadores",
                           "sId='Factura' AND nIdSucursal=" + QString::number(branch) +
                               " AND nAnio=" + QString::number(year));
        Db().InsertRecord("Contadores", "sId,nIdSucursal,sSerie,nAnio,nContador",
                          "'Factura'," + QString::number(branch) + "," + Utility::Quote(serie) +
                              "," + QString::number(year) + "," + QString::number(first));
    }
    Db().Close();

    constexpr int kProcesses = 8;
    std::vector<std::unique_ptr<QProcess>> children;
    const double wall = Ms([&] {
        for (int i = 0; i < kProcesses; ++i) {
            children.push_back(std::make_unique<QProcess>());
            children.back()->setProcessChannelMode(QProcess::SeparateChannels);
            children.back()->start(QCoreApplication::applicationFilePath(),
                                   {"--load-child", ini, i % 2 ? "norte:norte" : "admin:admin",
                                    QString::number(clients - i), QString::number(seconds)});
        }
        for (auto& child : children)
            child->waitForFinished(-1);
    });
    int failed = 0;
    for (auto& child : children) {
        const QByteArray said = child->readAllStandardError();
        if (child->exitStatus() != QProcess::NormalExit || child->exitCode() != 0) {
            ++failed;
            std::fprintf(stderr, "%s\n", said.constData());
        }
    }

    G::Init("admin:admin|" + U().Today(true) + "|" + ini + "|0|0|0|0");
    const QString after = "nIdFactura > " + QString::number(before);
    auto count = [&](const QString& sql) { return Db().GetRows(sql).Value(0, 0).toDouble(); };
    const double documents = count("SELECT COUNT(*) FROM Facturas WHERE " + after);
    Report("load_documents", documents, "documents");
    Report("load_per_s", documents / (wall / 1000), "documents/s");
    Report("load_failed_processes", failed, "processes");
    Report("load_duplicates",
           count("SELECT COUNT(*) FROM (SELECT sFactura FROM Facturas GROUP BY sFactura HAVING "
                 "COUNT(*) > 1) d"),
           "numbers");
    Report("load_half_written",
           count("SELECT COUNT(*) FROM Facturas f WHERE " + after +
                 " AND (NOT EXISTS (SELECT 1 FROM FacturasItems i WHERE i.nIdFactura = "
                 "f.nIdFactura) OR NOT EXISTS (SELECT 1 FROM FacturasCobros c WHERE c.nIdFactura "
                 "= f.nIdFactura) OR NOT EXISTS (SELECT 1 FROM RegistrosFacturacion r WHERE "
                 "r.nIdFactura = f.nIdFactura))"),
           "documents");
    // Per series and year: the numbers between the first and the last the load stored, less
    // those stored.
    const Rows numbers = Db().GetRows("SELECT sFactura FROM Facturas WHERE " + after);
    QHash<QString, QList<int>> series;
    for (int r = 0; r < numbers.RowCount(); ++r) {
        const QString number = numbers(0, r).toString();
        qsizetype digits = 0;
        while (digits < number.size() && !number[digits].isDigit())
            ++digits;
        series[number.left(digits) + number.section('/', 1)]
            << number.mid(digits).section('/', 0, 0).toInt();
    }
    double gaps = 0;
    for (const QList<int>& stored : series)
        gaps += *std::max_element(stored.begin(), stored.end()) -
                *std::min_element(stored.begin(), stored.end()) + 1 - stored.size();
    Report("load_gaps", gaps, "numbers");
    Report("load_chain_intact", RegistroFacturacion::Verificar().intact ? 1 : 0, "");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc == 5 && QString(argv[1]) == "--child")
        return Child(argv[2], argv[3], QString(argv[4]).toInt());
    if (argc == 6 && QString(argv[1]) == "--load-child")
        return LoadChild(argv[2], argv[3], argv[4], QString(argv[5]).toInt());
    for (int i = 1; i < argc; ++i)
        if (QString(argv[i]) == "--load")
            return Load(argc, argv);

    const QTemporaryDir dir;
    const QString ini = GeneratedClinic(argc, argv, dir) + "/Data/Tavelo.ini";
    const QString copy = dir.path() + "/replay.db";
    G::Init("admin:admin|" + U().Today(true) + "|" + ini + "|0|0|0|0");
    // A folder generated before the register existed gets it, and its history recorded.
    SuiteSetup::UpdateSchema();
    Report("register_backfill", Ms([] { RegistroFacturacion::RegistrarPendientes(); }) / 1000, "s");
    const DbConfig config = DbConfig::FromIni(ini, Gi.sPathData);
    const bool server = Db().IsServerDb();
    const QString serverCopy = config.name + "_replay";

    // Runs work against a copy of the database taken just before, so that its statements,
    // recorded as they run, can be replayed bare on the very state the module started from.
    struct Timing {
        std::vector<double> module, bare;
        qsizetype statements = 0;
        qint64 roundTrips = 0;
    };
    auto compare = [&](Timing& timing, const std::function<void()>& work) {
        Db().Close();
        if (server) {
            CopyServerDatabase(config, serverCopy);
        } else {
            QFile::remove(copy);
            QFile::copy(config.sqliteFile, copy);
        }
        Db().Open(config);
        StatementProbe::StartRecording();
        const qint64 sent = StatementProbe::RoundTrips();
        const qint64 run = StatementProbe::Count();
        timing.module.push_back(Ms(work));
        timing.roundTrips = StatementProbe::RoundTrips() - sent;
        const QStringList recorded = StatementProbe::StopRecording();
        if (qEnvironmentVariableIsSet("TV_BENCH_SHOW_SQL") && timing.statements == 0)
            std::fprintf(stderr, "%s\n", qPrintable(recorded.join('\n')));
        timing.statements = StatementProbe::Count() - run;
        timing.bare.push_back(server ? ReplayOnServerMs(config, serverCopy, recorded)
                                     : ReplayMs(copy, recorded));
    };
    auto report = [](const Timing& timing, const char* module, const char* bare, const char* ratio,
                     const char* statements) {
        Report(module, Median(timing.module), "ms");
        Report(bare, Median(timing.bare), "ms");
        Report(ratio, Median(timing.module) / Median(timing.bare), "x");
        Report(statements, double(timing.statements), "statements");
        // Requests sent to the database: a bulk insert's rows are statements of one request.
        Report(QByteArray(statements).replace("_statements", "_round_trips").constData(),
               double(timing.roundTrips), "requests");
    };

    // Clients spread over the whole file.
    const qint32 clients = Db().GetRows("SELECT MAX(nIdCliente) FROM Clientes").Value(0, 0).toInt();
    constexpr int kSamples = 15;
    Timing issue, credit;
    std::vector<std::pair<QString, qint32>> issued;
    for (int i = 0; i < kSamples; ++i) {
        BenchWindow w;
        w.client = QString::number(std::max(1, clients * (i + 1) / (kSamples + 2)));
        AddLines(w.client.toInt());
        compare(issue, [&] { Generar_Factura(w); });
        issued.emplace_back(
            w.client, Db().GetRows("SELECT MAX(nIdFactura) FROM Facturas").Value(0, 0).toInt());
    }
    report(issue, "issue_ms", "bare_sql_ms", "ratio", "issue_statements");
    // What the till adds to issuing: whether the desk's box is closed for the document's day.
    std::vector<double> closedCheck;
    for (int i = 0; i < 200; ++i)
        closedCheck.push_back(Ms([&] { CierreCaja::PeriodoCerrado(1, Gi.nFechaTrabajo); }));
    Report("closed_period_check_ms", Median(closedCheck), "ms");
    // The same invoice with its record signed, as a clinic that keeps its register issues it: the
    // generated clinic gets a certificate of its own, named in an ini beside its own.
    const QDir data = QFileInfo(ini).dir();
    const QString signing = data.filePath("Firma.ini");
    {
        QFile::remove(signing);
        QFile::copy(ini, signing);
        QFile cert(data.filePath(CertificadoDemo::Archivo));
        QFile extra(signing);
        if (!cert.open(QIODevice::WriteOnly) ||
            cert.write(CertificadoDemo::Crear("Bench", "B12345674", CertificadoDemo::Clave)) < 0 ||
            !extra.open(QIODevice::Append) ||
            extra.write(("\n[VeriFactu]\nCertificado=" + CertificadoDemo::Archivo +
                         "\nClaveCertificado=" + CertificadoDemo::Clave + "\n")
                            .toUtf8()) < 0)
            return 1;
    }
    if (const QString problem = FirmaRegistro::Configurar(signing); !problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(problem));
        return 1;
    }
    std::vector<double> signedIssue;
    for (int i = 0; i < kSamples; ++i) {
        BenchWindow w;
        w.client = QString::number(std::max(1, clients * (i + 1) / (kSamples + 3)));
        AddLines(w.client.toInt());
        signedIssue.push_back(Ms([&] { Generar_Factura(w); }));
    }
    Report("signed_issue_ms", Median(signedIssue), "ms");
    // tvRegistro verify's check of every signature against its record, scaled to 100,000: over
    // the few records just issued and the first ones of the history, signed here as issuing
    // signs them, enough for the figure to hold still. The first check of a process loads the
    // system's trusted authorities once, which costs nothing more over a register of 100,000:
    // it is left out.
    constexpr int kSignedHistory = 3000;
    {
        TransactionGuard guard;
        // A folder kept from an earlier run has them signed already, and a signature stays.
        for (const RegistroFacturacion::Registro& r : RegistroFacturacion::Leer(0, kSignedHistory))
            if (FirmaRegistro::Firmado(r.nIdRegistro).isEmpty())
                FirmaRegistro::Firmar(r);
        guard.Commit();
    }
    int signedRecords = 0;
    FirmaRegistro::Verificar(&signedRecords);
    Report("verify_signed_records", signedRecords, "records");
    std::vector<double> verifySigned;
    for (int i = 0; i < 3; ++i)
        verifySigned.push_back(Ms([&] { FirmaRegistro::Verificar(&signedRecords); }));
    Report("verify_signed_per_100k_records_s",
           Median(verifySigned) / 1000 * 100000 / std::max(1, signedRecords), "s");
    FirmaRegistro::Configurar(QString());
    // A walk-in sale of two products, issued as a simplified invoice in its own series.
    Timing simplified;
    for (int i = 0; i < kSamples; ++i) {
        BenchWindow w;
        w.sinId = true;
        w.client = QString::number(std::max(1, clients * (i + 1) / (kSamples + 4)));
        AddLines(w.client.toInt(), 2);
        compare(simplified, [&] { Generar_Factura(w); });
        if (Db().GetRows("SELECT sTipoFactura FROM Facturas ORDER BY nIdFactura DESC LIMIT 1")
                .Value(0, 0)
                .toString() != "F2") {
            std::fprintf(stderr, "the walk-in sale was not issued as a simplified invoice\n");
            return 1;
        }
    }
    report(simplified, "simplified_ms", "simplified_bare_sql_ms", "simplified_ratio",
           "simplified_statements");
    // Two walk-in sales of a client replaced afterwards by one complete invoice.
    std::vector<double> substitute;
    for (int i = 0; i < kSamples; ++i) {
        BenchWindow w;
        w.sinId = true;
        w.client = QString::number(std::max(1, clients * (i + 1) / (kSamples + 5)));
        QList<qint32> simplificadas;
        for (int sale = 0; sale < 2; ++sale) {
            AddLines(w.client.toInt(), 2);
            Generar_Factura(w);
            simplificadas
                << Db().GetRows("SELECT MAX(nIdFactura) FROM Facturas").Value(0, 0).toInt();
        }
        const SolicitudSustitucion s{w.client.toInt(),
                                     simplificadas,
                                     {"Cliente " + w.client, "12345678Z", {}, {}, "Calle Mayor 1"},
                                     1,
                                     1,
                                     Gi.nFechaTrabajo};
        // Read, so that a refused replacement stops the benchmark instead of timing nothing.
        substitute.push_back(Ms([&] { *SustituirSimplificadas(s); }));
    }
    Report("substitute_two_ms", Median(substitute), "ms");
    for (const auto& [client, invoice] : issued) {
        BenchWindow w;
        w.client = client;
        compare(credit, [&] { Generar_Abono(w, invoice); });
    }
    report(credit, "credit_ms", "credit_bare_sql_ms", "credit_ratio", "credit_statements");
    // Part of a sale comes back: two of the three units of one line of a fresh invoice.
    Timing partial;
    for (int i = 0; i < kSamples; ++i) {
        BenchWindow w;
        w.client = QString::number(std::max(1, clients * (i + 1) / (kSamples + 3)));
        AddLines(w.client.toInt());
        Generar_Factura(w);
        SolicitudAbono solicitud;
        solicitud.nIdFactura =
            Db().GetRows("SELECT MAX(nIdFactura) FROM Facturas").Value(0, 0).toInt();
        solicitud.lineas = {{LineasAbonables(solicitud.nIdFactura)[2].nIdFacturaItem, 2}};
        compare(partial, [&] { Generar_Abono(w, solicitud); });
    }
    report(partial, "partial_credit_ms", "partial_credit_bare_sql_ms", "partial_credit_ratio",
           "partial_credit_statements");
    if (server)
        RunOnServer(config, {"DROP DATABASE IF EXISTS " + Quoted(serverCopy)});

    // Issuing while the register is being sent: the sender reads the waiting records (the whole
    // generated history), holds the sending lock and waits for the agency, in a process of its
    // own; it is started again whenever it ends. The ini is put back afterwards, so that the
    // windows measured later send nothing.
    {
        QTcpServer silent;
        silent.listen(QHostAddress::LocalHost);
        QFile file(ini);
        file.open(QIODevice::ReadOnly);
        const QByteArray before = file.readAll();
        file.close();
        file.open(QIODevice::WriteOnly);
        file.write(before + QStringLiteral("\n[VeriFactu]\nModo=VERIFACTU\nEndpoint=https://"
                                           "127.0.0.1:%1/\nTiempoMaximo=3\n")
                                .arg(silent.serverPort())
                                .toUtf8());
        file.close();
        auto issueOne = [&](int i) {
            BenchWindow w;
            w.client = QString::number(std::max(1, clients * (i + 1) / (kSamples + 2)));
            AddLines(w.client.toInt());
            return Ms([&] { Generar_Factura(w); });
        };
        std::vector<double> quiet, sending;
        for (int i = 0; i < kSamples; ++i)
            quiet.push_back(issueOne(i));
        // The billing window's sender itself, told of each invoice as the window tells it.
        QWidget window;
        Frm frame(&window, "Facturación");
        {
            EnvioVeriFactu envio(frame, ini,
                                 QCoreApplication::applicationDirPath() + "/tvRegistro");
            for (int i = 0; i < kSamples; ++i) {
                // Every other invoice while the sender reads and writes, the rest while it waits.
                QThread::msleep(i % 2 == 0 ? 20 : 400);
                QCoreApplication::processEvents();
                sending.push_back(issueOne(i) + Ms([&] { envio.Documento(); }));
            }
            for (int k = 0; k < 400 && envio.Enviando(); ++k) {
                QThread::msleep(25);
                QCoreApplication::processEvents();
            }
        }
        // The failure it said shows that it ran: the agency did not answer.
        std::fprintf(stderr, "%s\n", qPrintable(frame.PanelText(1)));
        file.open(QIODevice::WriteOnly);
        file.write(before);
        file.close();
        Report("issue_quiet_ms", Median(quiet), "ms");
        Report("issue_sending_ms", Median(sending), "ms");
        Report("issue_sending_max_ms", *std::max_element(sending.begin(), sending.end()), "ms");
        // What the sender does before it waits for the agency: the message of 1000 records.
        Report("message_1000_records_ms",
               Ms([] { ExportacionAeat::Envio(RegistroFacturacion::Leer(0, 1000), {}, "1"); }),
               "ms");
    }

    // The register's own part of an invoice: its record, inside a transaction left unwritten.
    {
        const qint32 newest =
            Db().GetRows("SELECT MAX(nIdFactura) FROM Facturas").Value(0, 0).toInt();
        std::vector<double> record;
        Db().Transaction(TransactionStep::Begin);
        for (int i = 0; i < kSamples; ++i)
            record.push_back(Ms([&] { RegistroFacturacion::Registrar(newest - i); }));
        Db().Transaction(TransactionStep::Rollback);
        Report("register_ms", Median(record), "ms");
        // The agency's rules over the record an invoice is about to get, as issuing checks them.
        std::vector<double> rules;
        for (int i = 0; i < kSamples; ++i)
            rules.push_back(Ms([&] {
                ValidacionesAeat::AntesDeEmitir(
                    RegistroFacturacion::Provisionales({newest - i}, QDateTime::currentDateTime()));
            }));
        Report("validations_us", Median(rules) * 1000, "us");
    }
    // tvRegistro verify as a whole: the chain, then every document's figures. Beside it the bare
    // hashing of the same fingerprint texts, the least any verify could take.
    RegistroFacturacion::Verificacion chain;
    const double chainMs = Ms([&] { chain = RegistroFacturacion::Verificar(); });
    if (!chain.intact)
        std::fprintf(stderr, "%s\n", qPrintable(chain.message));
    AmountsCheck amounts;
    const double amountsMs = Ms([&] { amounts = AmountsCheck::Run(); });
    if (!amounts.agree)
        std::fprintf(stderr, "%s\n", qPrintable(amounts.message));
    double hashMs = 0;
    for (qint32 after = 0;;) {
        const std::vector<RegistroFacturacion::Registro> records =
            RegistroFacturacion::Leer(after, 5000);
        std::vector<QByteArray> texts;
        for (const RegistroFacturacion::Registro& r : records)
            texts.push_back(RegistroFacturacion::TextoHuella(r).toUtf8());
        hashMs += Ms([&] {
            for (const QByteArray& text : texts)
                Sha256::Hex(text);
        });
        if (records.size() < 5000)
            break;
        after = records.back().nIdRegistro;
    }
    const double per100k = 100000.0 / std::max(1, chain.records);
    Report("verify_records", chain.records, "records");
    Report("verify_chain_per_100k_records_s", chainMs / 1000 * per100k, "s");
    Report("amounts_documents", amounts.documents, "documents");
    Report("amounts_check_s", amountsMs / 1000, "s");
    Report("verify_per_100k_records_s", (chainMs + amountsMs) / 1000 * per100k, "s");
    Report("sha256_per_100k_records_s", hashMs / 1000 * per100k, "s");

    // A client with 500 invoices, then the history window as the billing window opens it. The
    // numbers name the client, so that a folder kept from an earlier run takes them again.
    const qint32 regular = Db().InsertRecord("Clientes", "sCliente", "'Cliente habitual'");
    const QString holder = QString::number(regular);
    Db().Execute("INSERT INTO Facturas (nIdCliente,sFactura,dFactura,nTotal,nDescuento) WITH "
                 "RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM n WHERE x<500) SELECT " +
                 holder + ",'H" + holder + "-' || x || '/25',20250101,x*1.21,0 FROM n");
    {
        Facturacion billing;
        billing.cboCliente_SN->setEditText("Cliente habitual");
        std::vector<double> history;
        for (int i = 0; i < 5; ++i)
            history.push_back(Ms([&] {
                FacturaHist window(billing);
                window.show();
                QCoreApplication::processEvents();
            }));
        Report("history_500_ms", Median(history), "ms");
    }

    const QString pdfFile = dir.path() + "/factura.pdf";
    std::vector<double> pdf;
    for (int i = 0; i < kSamples; ++i) {
        BenchWindow w;
        w.client = QString::number(std::max(1, clients * (i + 1) / (kSamples + 3)));
        AddLines(w.client.toInt());
        w.print = [&](qint32 id) {
            QString out, err;
            QTextStream outStream(&out), errStream(&err);
            InvoiceExport::Run(ini, QString::number(id), "Detallada", pdfFile, outStream,
                               errStream);
        };
        pdf.push_back(Ms([&] { Generar_Factura(w); }));
    }
    Report("press_to_pdf_ms", Median(pdf), "ms");
    Db().Close();

    constexpr int kProcesses = 8, kEach = 25;
    std::vector<std::unique_ptr<QProcess>> children;
    const double wall = Ms([&] {
        for (int i = 0; i < kProcesses; ++i) {
            children.push_back(std::make_unique<QProcess>());
            children.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            children.back()->start(
                QCoreApplication::applicationFilePath(),
                {"--child", ini, QString::number(clients - i), QString::number(kEach)});
        }
        for (auto& child : children)
            child->waitForFinished(-1);
    });
    Report("invoices_per_s_8_processes", kProcesses * kEach / (wall / 1000), "invoices/s");
    return 0;
}
