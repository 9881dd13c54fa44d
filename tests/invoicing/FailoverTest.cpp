// A clinic on a primary server with a synchronous standby loses its primary while four desks
// issue: the standby is promoted, and the desks go on there with every invoice they printed
// present once, numbers without a gap, and the register intact. Server runs only.
#include "InvoicingFixture.h"

#include "OwnServer.h"
#include "billing/GenerarFactura.h"
#include "invoicing/Numeracion.h"
#include "session/G.h"

#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <memory>

namespace {

// Issues invoices for client TV_CLIENT until the file TV_STOP appears, a pending line added before
// each, and writes the ids of the invoices it printed to TV_OUT. A statement refused while there
// is no primary is pressed again a moment later, as the desk would. Only run by the test below.
TEST(FailoverDesk, DISABLED_IssueUntilStopped) {
    G::Init("admin:admin||" + qEnvironmentVariable("TV_INI"));
    ScriptedWindow w;
    w.client = qEnvironmentVariable("TV_CLIENT");
    w.Accept({{"Efectivo", 12.10}});
    while (!QFile::exists(qEnvironmentVariable("TV_STOP"))) {
        try {
            InvoicingTest::AddItem(w.client.toInt(), 1, 10, 21);
            Generar_Factura(w);
        } catch (const TvError&) {
            QThread::msleep(100);
        }
    }
    QStringList ids;
    for (const auto& [id, layout] : w.printed)
        ids << QString::number(id);
    QFile out(qEnvironmentVariable("TV_OUT"));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(ids.join(',').toUtf8());
}

// Invoices a pending line of client 1 at the billing window, its session's commits from then on
// waiting for the synchronous standby. Only run by the test below.
TEST(FailoverDesk, DISABLED_InvoiceOnce) {
    G::Init("admin:admin||" + qEnvironmentVariable("TV_INI"));
    ScriptedWindow w;
    w.client = "1";
    w.Accept({{"Efectivo", 12.10}});
    InvoicingTest::AddItem(1, 1, 10, 21);
    Db().Execute("SET synchronous_commit = on");
    Generar_Factura(w);
}

// A server of the test's own, made a demo clinic, and psql as its administrator on a port.
struct DemoServer {
    OwnServer server;
    QTemporaryDir dir;
    QString root = dir.filePath("Tavelo"), ini = root + "/Data/Tavelo.ini";
    DbConfig primary;

    DemoServer() {
        RunProgram(qEnvironmentVariable("TV_BIN_DIR") + "/tvSetup",
                   {"--server", server.Spec(), "--demo", root}, 60000);
        primary = DbConfig::FromConnectionSpec(server.Spec());
    }
    QString Sql(const QString& port, const QString& query) const {
        return RunProgram("psql", {"-h", "127.0.0.1", "-p", port, "-U", "postgres", "-d",
                                   primary.name, "-Atc", query})
            .trimmed();
    }
    QString Sql(const QString& query) const { return Sql(QString::number(primary.port), query); }
};

// The commit of a number drawn alone is made on the server while its answer never comes: the
// server waits for a synchronous standby that is not there, and its administrator ends the
// connection as it waits, as a primary falling would. Reconnected, the desk is told the number
// is used up, and it is, with nothing issued.
TEST(FailoverTest, ANumberWhoseCommitGotNoAnswerIsToldUsedUp) {
    if (!TestEngine::Server())
        GTEST_SKIP() << "a server's own case";
    const DemoServer demo;
    ASSERT_FALSE(demo.server.Spec().isEmpty());
    // The test server commits without waiting: only the desk's session waits, once it is about to
    // invoice, so that the number's commit is the first to wait.
    demo.Sql("ALTER SYSTEM SET synchronous_standby_names = 'nobody'");
    demo.Sql("SELECT pg_reload_conf()");
    for (int i = 0; i < 100 && demo.Sql("SHOW synchronous_standby_names") != "nobody"; ++i)
        QThread::msleep(50);
    QProcess desk;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("TAVELO_UNATTENDED", "1");
    env.insert("TV_INI", demo.ini);
    desk.setProcessEnvironment(env);
    desk.setProcessChannelMode(QProcess::MergedChannels);
    desk.start(
        QCoreApplication::applicationFilePath(),
        {"--gtest_also_run_disabled_tests", "--gtest_filter=FailoverDesk.DISABLED_InvoiceOnce"});
    QString ended;
    for (int i = 0; i < 1200 && ended != "1" && !desk.waitForFinished(50); ++i)
        ended = demo.Sql("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE "
                         "wait_event = 'SyncRep'");
    desk.waitForFinished(60000);
    const QString said = QString::fromUtf8(desk.readAll());
    ASSERT_EQ(desk.state(), QProcess::NotRunning) << qPrintable(said);
    static const QRegularExpression told(
        "Se ha perdido la conexión con el servidor de base de datos .+ mientras se reservaba "
        "el número de la factura (A(\\d+)/\\d\\d), que queda sin usar. No se ha emitido nada. "
        "Ya se ha vuelto a conectar: vuelva a pulsar Facturar.");
    const QRegularExpressionMatch m = told.match(said);
    ASSERT_TRUE(m.hasMatch()) << qPrintable(said);
    EXPECT_EQ(demo.Sql("SELECT nContador FROM Contadores WHERE sId = 'Factura' AND sSerie = 'A' "
                       "AND nIdSucursal = 1 AND nAnio = " +
                       QString::number(QDate::currentDate().year())),
              QString::number(m.captured(2).toInt() + 1));
    EXPECT_EQ(demo.Sql("SELECT count(*) FROM Facturas WHERE sFactura = '" + m.captured(1) + "'"),
              "0");
}

TEST(FailoverTest, DesksGoOnOnThePromotedStandbyWithEveryPrintedInvoiceOnce) {
    if (!TestEngine::Server())
        GTEST_SKIP() << "a server's own case";
    const DemoServer demo;
    ASSERT_FALSE(demo.server.Spec().isEmpty());
    const QString standby = demo.server.Standby();
    ASSERT_FALSE(standby.isEmpty());
    // The standby listed first: it answers read-only, so the desks start on the primary.
    QFile file(demo.ini);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(file.readAll());
    file.close();
    text.replace("Host=127.0.0.1\n", "Host=127.0.0.1:" + standby +
                                         ",127.0.0.1:" + QString::number(demo.primary.port) + "\n");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8());
    file.close();

    const QString before =
        demo.Sql(QString::number(demo.primary.port), "SELECT max(nIdFactura) FROM Facturas");
    std::vector<std::unique_ptr<QProcess>> desks;
    for (int client = 1; client <= 4; ++client) {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("TAVELO_UNATTENDED", "1");
        env.insert("TV_INI", demo.ini);
        env.insert("TV_CLIENT", QString::number(client));
        env.insert("TV_STOP", demo.dir.filePath("stop"));
        env.insert("TV_OUT", demo.dir.filePath(QString("desk%1").arg(client)));
        desks.push_back(std::make_unique<QProcess>());
        desks.back()->setProcessEnvironment(env);
        desks.back()->setProcessChannelMode(QProcess::MergedChannels);
        desks.back()->start(QCoreApplication::applicationFilePath(),
                            {"--gtest_also_run_disabled_tests",
                             "--gtest_filter=FailoverDesk.DISABLED_IssueUntilStopped"});
    }
    auto issued = [&](const QString& port) {
        return demo.Sql(port, "SELECT count(*) FROM Facturas WHERE nIdFactura>" + before).toInt();
    };
    for (int i = 0; i < 300 && issued(QString::number(demo.primary.port)) < 20; ++i)
        QThread::msleep(100);
    demo.server.Promote();
    const int atPromotion = issued(standby);
    for (int i = 0; i < 300 && issued(standby) < atPromotion + 20; ++i)
        QThread::msleep(100);
    QFile(demo.dir.filePath("stop")).open(QIODevice::WriteOnly);
    QStringList printed;
    QSet<int> told; // the numbers a desk was told were not saved, or not known to be
    for (int client = 1; client <= 4; ++client) {
        ASSERT_TRUE(desks[client - 1]->waitForFinished(60000));
        const QString said = QString::fromUtf8(desks[client - 1]->readAll());
        QFile out(demo.dir.filePath(QString("desk%1").arg(client)));
        ASSERT_TRUE(out.open(QIODevice::ReadOnly)) << qPrintable(said);
        printed << QString::fromUtf8(out.readAll()).split(',', Qt::SkipEmptyParts);
        static const QRegularExpression named(
            "mientras se (?:emitía|reservaba el número de) la factura A(\\d+)/");
        for (const auto& m : named.globalMatch(said))
            told.insert(m.captured(1).toInt());
    }

    // Every invoice a desk printed is there once; an invoice whose commit reached the server as
    // the primary fell, and whose desk was told it failed, is there too: the desk found nothing
    // left to invoice and issued nothing twice. A number of the series is missing only where a
    // desk was told so, and the register holds.
    EXPECT_GE(issued(standby), atPromotion + 20) << "the desks did not go on";
    EXPECT_EQ(demo.Sql(standby, "SELECT count(*) FROM Facturas WHERE nIdFactura IN (" +
                                    printed.join(',') + ")"),
              QString::number(printed.size()));
    EXPECT_LE(issued(standby) - printed.size(), 4);
    QSet<int> stored, missing;
    for (const QString& n : demo.Sql(standby, "SELECT substr(sFactura, 2, 4) FROM Facturas WHERE "
                                              "sFactura LIKE 'A%' AND nIdFactura>" +
                                                  before)
                                .split('\n'))
        stored.insert(n.toInt());
    for (int n = *std::min_element(stored.begin(), stored.end());
         n < *std::max_element(stored.begin(), stored.end()); ++n)
        if (!stored.contains(n))
            missing.insert(n);
    EXPECT_TRUE(told.contains(missing)) << missing.size() << " numbers missing untold";
    const QString verified = RunProgram(qEnvironmentVariable("TV_BIN_DIR") + "/tvRegistro",
                                        {"--ini", demo.ini, "verify"});
    EXPECT_TRUE(verified.contains("chain intact")) << qPrintable(verified);
}

} // namespace
