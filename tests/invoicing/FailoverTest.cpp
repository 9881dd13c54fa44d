// A clinic on a primary server with a synchronous standby loses its primary while four desks
// issue: the standby is promoted, and the desks go on there with every invoice they printed
// present once, numbers without a gap, and the register intact. Server runs only.
#include "InvoicingFixture.h"

#include "OwnServer.h"
#include "billing/GenerarFactura.h"
#include "session/G.h"

#include <QCoreApplication>
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

TEST(FailoverTest, DesksGoOnOnThePromotedStandbyWithEveryPrintedInvoiceOnce) {
    if (!TestEngine::Server())
        GTEST_SKIP() << "a server's own case";
    const OwnServer server;
    ASSERT_FALSE(server.Spec().isEmpty());
    QTemporaryDir dir;
    const QString root = dir.filePath("Tavelo"), ini = root + "/Data/Tavelo.ini";
    RunProgram(qEnvironmentVariable("TV_BIN_DIR") + "/tvSetup",
               {"--server", server.Spec(), "--demo", root}, 60000);
    const QString standby = server.Standby();
    ASSERT_FALSE(standby.isEmpty());
    const DbConfig primary = DbConfig::FromConnectionSpec(server.Spec());
    auto sql = [&](const QString& port, const QString& query) {
        return RunProgram("psql", {"-h", "127.0.0.1", "-p", port, "-U", "postgres", "-d",
                                   primary.name, "-Atc", query})
            .trimmed();
    };
    // The standby listed first: it answers read-only, so the desks start on the primary.
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(file.readAll());
    file.close();
    text.replace("Host=127.0.0.1\n", "Host=127.0.0.1:" + standby +
                                         ",127.0.0.1:" + QString::number(primary.port) + "\n");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8());
    file.close();

    const QString before =
        sql(QString::number(primary.port), "SELECT max(nIdFactura) FROM Facturas");
    std::vector<std::unique_ptr<QProcess>> desks;
    for (int client = 1; client <= 4; ++client) {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("TAVELO_UNATTENDED", "1");
        env.insert("TV_INI", ini);
        env.insert("TV_CLIENT", QString::number(client));
        env.insert("TV_STOP", dir.filePath("stop"));
        env.insert("TV_OUT", dir.filePath(QString("desk%1").arg(client)));
        desks.push_back(std::make_unique<QProcess>());
        desks.back()->setProcessEnvironment(env);
        desks.back()->setProcessChannelMode(QProcess::MergedChannels);
        desks.back()->start(QCoreApplication::applicationFilePath(),
                            {"--gtest_also_run_disabled_tests",
                             "--gtest_filter=FailoverDesk.DISABLED_IssueUntilStopped"});
    }
    auto issued = [&](const QString& port) {
        return sql(port, "SELECT count(*) FROM Facturas WHERE nIdFactura>" + before).toInt();
    };
    for (int i = 0; i < 300 && issued(QString::number(primary.port)) < 20; ++i)
        QThread::msleep(100);
    server.Promote();
    const int atPromotion = issued(standby);
    for (int i = 0; i < 300 && issued(standby) < atPromotion + 20; ++i)
        QThread::msleep(100);
    QFile(dir.filePath("stop")).open(QIODevice::WriteOnly);
    QStringList printed;
    QSet<int> told; // the numbers a desk was told were not saved, or not known to be
    for (int client = 1; client <= 4; ++client) {
        ASSERT_TRUE(desks[client - 1]->waitForFinished(60000));
        const QString said = QString::fromUtf8(desks[client - 1]->readAll());
        QFile out(dir.filePath(QString("desk%1").arg(client)));
        ASSERT_TRUE(out.open(QIODevice::ReadOnly)) << qPrintable(said);
        printed << QString::fromUtf8(out.readAll()).split(',', Qt::SkipEmptyParts);
        static const QRegularExpression named("mientras se emitía la factura A(\\d+)/");
        for (const auto& m : named.globalMatch(said))
            told.insert(m.captured(1).toInt());
    }

    // Every invoice a desk printed is there once; an invoice whose commit reached the server as
    // the primary fell, and whose desk was told it failed, is there too: the desk found nothing
    // left to invoice and issued nothing twice. A number of the series is missing only where a
    // desk was told so, and the register holds.
    EXPECT_GE(issued(standby), atPromotion + 20) << "the desks did not go on";
    EXPECT_EQ(sql(standby,
                  "SELECT count(*) FROM Facturas WHERE nIdFactura IN (" + printed.join(',') + ")"),
              QString::number(printed.size()));
    EXPECT_LE(issued(standby) - printed.size(), 4);
    QSet<int> stored, missing;
    for (const QString& n : sql(standby, "SELECT substr(sFactura, 2, 4) FROM Facturas WHERE "
                                         "sFactura LIKE 'A%' AND nIdFactura>" +
                                             before)
                                .split('\n'))
        stored.insert(n.toInt());
    for (int n = *std::min_element(stored.begin(), stored.end());
         n < *std::max_element(stored.begin(), stored.end()); ++n)
        if (!stored.contains(n))
            missing.insert(n);
    EXPECT_TRUE(told.contains(missing)) << missing.size() << " numbers missing untold";
    const QString verified =
        RunProgram(qEnvironmentVariable("TV_BIN_DIR") + "/tvRegistro", {"--ini", ini, "verify"});
    EXPECT_TRUE(verified.contains("chain intact")) << qPrintable(verified);
}

} // namespace
