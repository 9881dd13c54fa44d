// Speed of issuing an invoice on a generated clinic (by default 100,000 clients and 1,000,000
// invoice items; first argument: thousands of clients, second: a folder that keeps the data
// between runs). Prints "<case>: <value> <unit>" lines:
//  - issue_ms: a 10-line invoice with 2 payments, the dialog answered by the benchmark and the
//    printing left out; bare_sql_ms: the very statements it ran (recorded by the data-access
//    component) replayed through SQLite's C API on an identical copy of the file; ratio;
//  - press_to_pdf_ms: the same invoice followed by its Detallada layout written to PDF;
//  - invoices_per_s_8_processes: eight processes issuing invoices at once, each for its client.
#include "invoicing/BillingWindow.h"
#include "invoicing/GenerarFactura.h"
#include "payment/Cobro.h"
#include "platform/data/DataAccess.h"
#include "platform/data/StatementProbe.h"
#include "platform/util/Utility.h"
#include "reports/InvoiceExport.h"
#include "session/G.h"
#include "session/Gi.h"
#include "setup/SuiteSetup.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <sqlite3.h>
#include <vector>

namespace {

void Report(const char* name, double value, const char* unit) {
    std::printf("%s: %.2f %s\n", name, value, unit);
    std::fflush(stdout);
}

double Ms(const std::function<void()>& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The front desk as a script: cash for half, card for the rest, Detallada.
class BenchWindow : public BillingWindow {
public:
    QString client;
    quint8 formato = 0;
    std::function<void(qint32)> print;

    QString Dato(qint32 nDato) const override {
        return nDato == 3 ? client : nDato == 4 ? QStringLiteral("Cliente ") + client : "1";
    }
    double EmpleadoElegido() const override { return 1; }
    qint32 CajaElegida() const override { return 1; }
    quint8& FormatoFactura() override { return formato; }
    void MostrarCobro() override {
        const double total =
            Db().SumField("FacturasItems", "nTotal", CondicionPendientes(client.toInt()));
        Cobro = CobroRecord();
        Cobro.sCliente = Dato(4);
        Cobro.sTipoCobro[0] = "Efectivo";
        Cobro.nImporte[0] = Utility::RoundHalfAway(total / 2, 2);
        Cobro.sTipoCobro[1] = "Tarjeta";
        Cobro.nImporte[1] = Utility::RoundHalfAway(total - Cobro.nImporte[0], 2);
        formato = 2;
    }
    void Imprimir(qint32 nIdFactura, quint8) override {
        if (print)
            print(nIdFactura);
    }
    void RefrescarGrid() override {}
};

// Ten lines of products spread over the catalogue and its rates.
void AddLines(qint32 client) {
    const Rows products =
        Db().GetRows("SELECT nIdProductoServicio,nPvp,nPorcIpto FROM ProductosServicios WHERE "
                     "nIdProductoServicio % 97 = 1 LIMIT 10");
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

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc == 5 && QString(argv[1]) == "--child")
        return Child(argv[2], argv[3], QString(argv[4]).toInt());

    const int thousands = argc > 1 ? std::max(1, QString(argv[1]).toInt()) : 100;
    QTemporaryDir dir;
    const QString root = argc > 2 ? QString(argv[2]) : dir.path() + "/Tavelo";
    if (!QFileInfo::exists(root + "/Data/Tavelo.ini"))
        Report("generate_data", Ms([&] { SuiteSetup::Create(root, false, thousands); }) / 1000,
               "s");
    const QString ini = root + "/Data/Tavelo.ini";
    const QString dbFile = root + "/Data/Tavelo.db";
    const QString copy = dir.path() + "/replay.db";
    G::Init("admin:admin|" + U().Today(true) + "|" + ini + "|0|0|0|0");
    const DbConfig config = DbConfig::FromIni(ini, Gi.sPathData);

    // Clients spread over the whole file.
    const qint32 clients = Db().GetRows("SELECT MAX(nIdCliente) FROM Clientes").Value(0, 0).toInt();
    constexpr int kSamples = 7;
    std::vector<double> issue, bare, pdf;
    qsizetype statements = 0;
    for (int i = 0; i < kSamples; ++i) {
        BenchWindow w;
        w.client = QString::number(std::max(1, clients * (i + 1) / (kSamples + 2)));
        AddLines(w.client.toInt());
        // The replay starts from the very state the module started from.
        Db().Close();
        QFile::remove(copy);
        QFile::copy(dbFile, copy);
        Db().Open(config);
        StatementProbe::StartRecording();
        issue.push_back(Ms([&] { Generar_Factura(w); }));
        const QStringList traced = StatementProbe::StopRecording();
        if (qEnvironmentVariableIsSet("TV_BENCH_SHOW_SQL") && i == 0)
            std::fprintf(stderr, "%s\n", qPrintable(traced.join('\n')));
        statements = traced.size();
        bare.push_back(ReplayMs(copy, traced));
    }
    const double issueMs = Median(issue);
    const double bareMs = Median(bare);
    Report("issue_ms", issueMs, "ms");
    Report("bare_sql_ms", bareMs, "ms");
    Report("ratio", issueMs / bareMs, "x");
    Report("statements_per_invoice", double(statements), "statements");

    const QString pdfFile = dir.path() + "/factura.pdf";
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
