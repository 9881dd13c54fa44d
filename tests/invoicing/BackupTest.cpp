// Backups taken by tvSetup while eight desks issue, and put back: what comes back is a
// clinic that verifies and numbers on from its last document; what is damaged or older than the
// database is refused. On a server too, where the copy is pg_dump's.
#include "InvoicingFixture.h"

#include "billing/GenerarFactura.h"
#include "register/RegistroFacturacion.h"
#include "setup/CopiaSeguridad.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <algorithm>
#include <memory>
#include <vector>

namespace {

class BackupTest : public InvoicingTest {
protected:
    // tvSetup with these arguments and the suite's folder, the module's connection closed
    // meanwhile: its status and what it said.
    std::pair<int, QString> Setup(const QStringList& arguments) {
        Db().Close();
        QProcess tool;
        tool.setProcessChannelMode(QProcess::MergedChannels);
        tool.start(qEnvironmentVariable("TV_BIN_DIR") + "/tvSetup", arguments);
        EXPECT_TRUE(tool.waitForFinished(60000));
        suite.SignIn();
        return {tool.exitCode(), QString::fromUtf8(tool.readAll()).trimmed()};
    }
    QString Backup() {
        const auto [status, said] = Setup({"--backup", suite.Root() + "/copias", suite.Root()});
        EXPECT_EQ(status, 0) << said.toStdString();
        return said.section(": ", 1);
    }

    // The highest number of branch 1's series this year, and the event log's last event. With
    // several desks the numbers need not follow the order their invoices were stored in: each is
    // drawn before its invoice is written.
    QString State() {
        return Table("SELECT sFactura FROM Facturas WHERE nIdSucursal=1 AND sFactura LIKE 'A%/" +
                     QDate::currentDate().toString("yy") + "' ORDER BY sFactura DESC LIMIT 1") +
               "|" + Table("SELECT sTipoEvento FROM EventosSIF ORDER BY nIdEvento DESC LIMIT 1");
    }
    QString Issue() {
        AddItem(1, 1, 10, 21);
        w.Accept({{"Efectivo", 12.10}});
        Generar_Factura(w);
        return Table("SELECT sFactura FROM Facturas ORDER BY nIdFactura DESC LIMIT 1");
    }
};

// The number after `number` in branch 1's series; the series' first when it has none yet this
// year (the demo's are of 2025).
QString Next(const QString& number) {
    const QString year = "/" + QDate::currentDate().toString("yy");
    if (!number.endsWith(year))
        return "A0001" + year;
    const QRegularExpressionMatch m = QRegularExpression("^(A)(\\d+)(/\\d+)$").match(number);
    return m.captured(1) + QString("%1").arg(m.captured(2).toInt() + 1, 4, 10, QChar('0')) +
           m.captured(3);
}

TEST_F(BackupTest, TakenWhileEightDesksIssueRestoresToAClinicThatNumbersOn) {
    Db().Close();
    std::vector<std::unique_ptr<QProcess>> desks;
    for (int client = 1; client <= 8; ++client) {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("TAVELO_UNATTENDED", "1");
        env.insert("TV_INI", suite.IniPath());
        env.insert("TV_CLIENT", QString::number(client));
        env.insert("TV_INVOICES", "50");
        env.insert("TV_ADD_ITEM", "1");
        env.insert("TV_OUT", suite.Root() + QString("/cuenta%1.txt").arg(client));
        desks.push_back(std::make_unique<QProcess>());
        desks.back()->setProcessEnvironment(env);
        desks.back()->start(
            QCoreApplication::applicationFilePath(),
            {"--gtest_also_run_disabled_tests", "--gtest_filter=InvoiceChild.DISABLED_Issue"});
        ASSERT_TRUE(desks.back()->waitForStarted());
    }
    const auto issuing = [&] {
        return std::any_of(desks.begin(), desks.end(),
                           [](const auto& desk) { return !desk->waitForFinished(10); });
    };
    QStringList backups;
    do
        backups << Backup();
    while (issuing() && backups.size() < 6);
    for (const auto& desk : desks) {
        desk->waitForFinished(120000);
        ASSERT_EQ(desk->state(), QProcess::NotRunning);
        ASSERT_EQ(desk->exitCode(), 0);
    }
    ASSERT_GE(backups.size(), 2);

    for (const QString& backup : backups) {
        const CopiaSeguridad::Manifiesto m = CopiaSeguridad::Comprobar(backup, suite.IniPath());
        const auto [status, said] = Setup({"--restore", backup, suite.Root(), "--force"});
        ASSERT_EQ(status, 0) << said.toStdString();
        const RegistroFacturacion::Verificacion v = RegistroFacturacion::Verificar();
        EXPECT_TRUE(v.intact) << v.message.toStdString();
        EXPECT_EQ(
            QStringList({QString::number(Count("Facturas")),
                         Table("SELECT MAX(nIdFactura) "
                               "FROM Facturas"),
                         Table("SELECT sHuella FROM RegistrosFacturacion ORDER BY "
                               "nIdRegistro DESC LIMIT 1")}),
            QStringList({QString::number(m.filas[TestEngine::Server() ? "facturas" : "Facturas"]),
                         QString::number(m.ultimaFactura), m.huella}));
        const QString last = State();
        EXPECT_TRUE(last.endsWith("|07")) << last.toStdString();
        // A number drawn by an invoice in flight when the copy was taken is not skipped.
        EXPECT_EQ(Issue(), Next(last.section('|', 0, 0)));
    }
}

TEST_F(BackupTest, DamagedBackupsAreRefusedAndTheClinicStaysAsItWas) {
    const QString good = Backup();
    QFile in(good);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QByteArray bytes = in.readAll();
    const qsizetype data = bytes.indexOf('\n', bytes.indexOf('\n') + 1) + 1;
    auto flipped = [&](qsizetype at) {
        QByteArray b = bytes;
        b[at] = char(b[at] ^ 0x5a);
        return b;
    };
    // A register forged before the backup, its guard lifted: its checksum is right, its chain
    // is not. The good backup then puts the clinic back.
    const QStringList lifted = TestEngine::Server()
                                   ? QStringList{"ALTER TABLE RegistrosFacturacion DISABLE TRIGGER "
                                                 "tv_registro_inalterable"}
                                   : QStringList{"DROP TRIGGER tv_registro_sin_cambios",
                                                 "DROP TRIGGER tv_registro_sin_borrados"};
    for (const QString& sql :
         lifted + QStringList{"UPDATE RegistrosFacturacion SET sImporteTotal='999.00' WHERE "
                              "nIdRegistro=3"})
        Db().Execute(sql);
    const QString forged = Backup();
    ASSERT_EQ(Setup({"--restore", good, suite.Root(), "--force"}).first, 0);
    const QString before = State();

    const struct {
        const char* name;
        QByteArray bytes;
        const char* said;
    } cases[] = {
        {"a byte of its data changed", flipped(data + bytes.size() / 2),
         "está dañada: sus datos no coinciden con su suma de comprobación"},
        {"its end cut off", bytes.left(bytes.size() - 4096),
         "está dañada: sus datos no coinciden con su suma de comprobación"},
        {"its manifest changed", QByteArray(bytes).replace("\"motor\":\"", "\"motor\":x\""),
         "no es una copia de seguridad de la clínica"},
        {"not a backup", "Tavelo\n", "no es una copia de seguridad de la clínica"},
    };
    for (const auto& c : cases) {
        const QString file = suite.Root() + "/mala.tvcopia";
        QFile::remove(file);
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(c.bytes);
        out.close();
        const auto [status, said] = Setup({"--restore", file, suite.Root(), "--force"});
        EXPECT_EQ(status, 1) << c.name;
        EXPECT_TRUE(said.contains(c.said)) << c.name << ": " << said.toStdString();
        EXPECT_EQ(State(), before) << c.name;
    }
    const auto [status, said] = Setup({"--restore", forged, suite.Root(), "--force"});
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(said.contains("la cadena de su registro de facturación está rota"))
        << said.toStdString();
    EXPECT_EQ(State(), before);
}

TEST_F(BackupTest, RestoringOverNewerDocumentsNeedsForce) {
    const QString backup = Backup();
    const QString before = State();
    const QString issued = Issue();

    const auto [refused, said] = Setup({"--restore", backup, suite.Root()});
    EXPECT_EQ(refused, 1);
    EXPECT_TRUE(said.contains("tiene documentos posteriores a la copia")) << said.toStdString();
    EXPECT_EQ(State().section('|', 0, 0), issued);

    const auto [forced, told] = Setup({"--restore", backup, suite.Root(), "--force"});
    EXPECT_EQ(forced, 0) << told.toStdString();
    EXPECT_EQ(State(), before.section('|', 0, 0) + "|07");
    // The number the lost invoice had is drawn again: it was never in this clinic's books.
    EXPECT_EQ(Issue(), issued);
}

} // namespace
