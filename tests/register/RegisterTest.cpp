// The register of issued invoices and credit notes: the fingerprint as published, the chain that
// issuing writes, and the verification that finds what was changed behind the module's back.
#include "invoicing/InvoicingFixture.h"
#include "support/TestEngine.h"

#include "invoicing/GenerarAbono.h"
#include "invoicing/GenerarFactura.h"
#include "register/RegistroFacturacion.h"
#include "session/Gi.h"
#include "setup/SuiteSetup.h"

#include <QDate>
#include <QFile>
#include <QProcess>
#include <QTimeZone>

namespace {

using RegistroFacturacion::Registro;

TEST(Fingerprint, IsThePublishedExample) {
    Registro r;
    r.sIdEmisor = "89890001K";
    r.sNumSerie = "12345678/G33";
    r.sFechaExpedicion = "01-01-2024";
    r.sTipoFactura = "F1";
    r.sCuotaTotal = "12.35";
    r.sImporteTotal = "123.45";
    r.sFechaHoraHuso = RegistroFacturacion::FechaHoraHuso(
        QDateTime(QDate(2024, 1, 1), QTime(19, 20, 30), QTimeZone(3600)));
    EXPECT_EQ(RegistroFacturacion::TextoHuella(r),
              "IDEmisorFactura=89890001K&NumSerieFactura=12345678/G33&FechaExpedicionFactura=01-"
              "01-2024&TipoFactura=F1&CuotaTotal=12.35&ImporteTotal=123.45&Huella=&"
              "FechaHoraHusoGenRegistro=2024-01-01T19:20:30+01:00");
    EXPECT_EQ(RegistroFacturacion::Huella(r),
              "3C464DAF61ACB827C65FDA19F352A4E3BDC2C640E9E9FC4CC058073F38F12F60");
    // UTC is written as an offset too, never "Z".
    EXPECT_EQ(RegistroFacturacion::FechaHoraHuso(
                  QDateTime(QDate(2026, 12, 5), QTime(10, 15, 30), QTimeZone::utc())),
              "2026-12-05T10:15:30+00:00");
    EXPECT_EQ(RegistroFacturacion::FechaHoraHuso(
                  QDateTime(QDate(2026, 7, 1), QTime(8, 0), QTimeZone(-(3 * 3600 + 1800)))),
              "2026-07-01T08:00:00-03:30");
}

class RegisterTest : public InvoicingTest {
protected:
    QString Year() const {
        return QString::number(QDate::currentDate().year() % 100).rightJustified(2, '0');
    }
    // Runs tvRegistro on the suite as a clinic's inspector would; answers status and output.
    std::pair<int, QString> Tool(const QStringList& arguments) {
        Db().Close();
        QProcess tool;
        tool.setProcessChannelMode(QProcess::MergedChannels);
        tool.start(qEnvironmentVariable("TV_BIN_DIR") + "/tvRegistro",
                   QStringList{"--ini", suite.IniPath()} + arguments);
        EXPECT_TRUE(tool.waitForFinished(60000));
        suite.SignIn();
        return {tool.exitCode(), QString::fromUtf8(tool.readAll()).trimmed()};
    }
    // Changes the database behind the module's back: with the sqlite3 program, or on the server
    // through a connection of the test's own.
    void Tamper(const QString& sql) {
        if (TestEngine::Server()) {
            Db().Execute(sql);
            return;
        }
        Db().Close();
        QProcess sqlite;
        sqlite.start("sqlite3", {suite.DbPath(), sql});
        ASSERT_TRUE(sqlite.waitForFinished(30000));
        ASSERT_EQ(sqlite.exitCode(), 0) << sqlite.readAllStandardError().toStdString();
        suite.SignIn();
    }
    // Three invoices and a credit note of the second, issued as the front desk does.
    void IssueSome() {
        AddItem(5, 1, 10, 21);
        for (const char* client : {"1", "2", "5"}) {
            w.client = client;
            w.Accept({{"Efectivo", 10}}, client == QString("1") ? 2.5 : 0);
            Generar_Factura(w);
        }
        w.client = "2";
        Generar_Abono(
            w,
            Value("SELECT nIdFactura FROM Facturas WHERE sFactura='A0002/" + Year() + "'").toInt());
    }
};

TEST_F(RegisterTest, EveryInvoiceAndCreditNoteIsChainedToTheOneBefore) {
    // The demo's history was recorded when the demo was made.
    ASSERT_EQ(Count("RegistrosFacturacion"), 16);
    IssueSome();
    // Newest first: the credit note undoing A0002 (client 2's pending lines), our 10 + 21 % line
    // for client 5, and client 1's 30.25 less a discount of 2.50.
    EXPECT_EQ(Table("SELECT sNumSerie,sTipoFactura,sFacturaRectificada,sImporteTotal,sCuotaTotal,"
                    "sFechaExpedicion,sIdEmisor FROM RegistrosFacturacion ORDER BY nIdRegistro "
                    "DESC LIMIT 4"),
              QString("RA0001/%1|R1|A0002/%1|-22.77|-2.97|%2|B12345678\n"
                      "A0003/%1|F1||12.10|2.10|%2|B12345678\n"
                      "A0002/%1|F1||22.77|2.97|%2|B12345678\n"
                      "A0001/%1|F1||27.75|5.25|%2|B12345678")
                  .arg(Year(), QDate::currentDate().toString("dd-MM-yyyy")));
    const Rows r = Query("SELECT sHuellaAnterior,sHuella FROM RegistrosFacturacion ORDER BY "
                         "nIdRegistro DESC LIMIT 5");
    ASSERT_EQ(r.RowCount(), 5);
    for (int i = 0; i + 1 < r.RowCount(); ++i)
        EXPECT_EQ(r(0, i).toString(), r(1, i + 1).toString()) << "record " << i;

    const auto [status, said] = Tool({"verify"});
    EXPECT_EQ(status, 0);
    EXPECT_EQ(said, "register: 20 records, chain intact");
}

TEST_F(RegisterTest, VerifyNamesTheFirstRecordThatWasTamperedWith) {
    IssueSome();
    const QString n15 = "A0002/" + Year();
    // Each change is made on the issued state and undone before the next.
    suite.Snapshot();
    suite.SignIn();
    auto verifyAfter = [&](const QStringList& changes) {
        for (const QString& sql : changes)
            Tamper(sql);
        const auto [status, said] = Tool({"verify"});
        EXPECT_EQ(status, 1) << changes.join("; ").toStdString();
        suite.Restore();
        suite.SignIn();
        return said;
    };
    const QString record15 =
        "record " +
        Value("SELECT nIdRegistro FROM RegistrosFacturacion WHERE sNumSerie='" + n15 + "'")
            .toString() +
        " (" + n15 + "): ";
    const QString amount15 =
        Value("SELECT sImporteTotal FROM RegistrosFacturacion WHERE sNumSerie='" + n15 + "'")
            .toString();
    EXPECT_EQ(verifyAfter({"UPDATE Facturas SET nTotal=1.21 WHERE sFactura='" + n15 + "'"}),
              record15 + "amount " + amount15 + " in the register, 1.21 in Facturas");
    EXPECT_EQ(verifyAfter({"UPDATE Facturas SET dFactura=20200101 WHERE sFactura='" + n15 + "'"}),
              record15 + "date " + QDate::currentDate().toString("dd-MM-yyyy") +
                  " in the register, 01-01-2020 in Facturas");
    EXPECT_EQ(verifyAfter({"UPDATE Facturas SET sFactura='9999/99' WHERE sFactura='" + n15 + "'"}),
              record15 + "number " + n15 + " in the register, 9999/99 in Facturas");

    // A record changed along with its invoice no longer matches its own fingerprint.
    QString said = verifyAfter(
        {"UPDATE Facturas SET nTotal=100, nDescuento=0 WHERE sFactura='" + n15 + "'",
         "UPDATE RegistrosFacturacion SET sImporteTotal='100.00' WHERE sNumSerie='" + n15 + "'"});
    EXPECT_TRUE(said.startsWith(record15 + "fingerprint ")) << said.toStdString();

    // A deleted record breaks the link of the one after it; a deleted last record leaves its
    // invoice without one.
    said = verifyAfter({"DELETE FROM RegistrosFacturacion WHERE sNumSerie='A0003/" + Year() + "'"});
    EXPECT_TRUE(said.contains("RA0001/" + Year() + "): chained to ")) << said.toStdString();
    said =
        verifyAfter({"DELETE FROM RegistrosFacturacion WHERE sNumSerie='RA0001/" + Year() + "'"});
    EXPECT_TRUE(said.startsWith("invoice RA0001/" + Year() + " (id ")) << said.toStdString();
    EXPECT_TRUE(said.endsWith(") has no record")) << said.toStdString();
}

TEST_F(RegisterTest, AFolderWithoutTheTableGetsItAndChainsFromThen) {
    Db().Execute("DROP TABLE RegistrosFacturacion");
    SuiteSetup::UpdateSchema();
    w.Accept({{"Efectivo", 30.25}});
    Generar_Factura(w);
    const Rows r = Query("SELECT sHuellaAnterior,sNumSerie FROM RegistrosFacturacion");
    ASSERT_EQ(r.RowCount(), 1);
    EXPECT_EQ(r(0, 0).toString(), "");
    EXPECT_EQ(RegistroFacturacion::Verificar().message, "register: 1 records, chain intact");
}

TEST_F(RegisterTest, TheRegisterIsExportedForAnInspector) {
    const QString xml = suite.Root() + "/registro.xml", csv = suite.Root() + "/registro.csv";
    EXPECT_EQ(Tool({"export", xml}).first, 0);
    EXPECT_EQ(Tool({"export", csv}).first, 0);
    QFile xmlFile(xml), csvFile(csv);
    ASSERT_TRUE(xmlFile.open(QIODevice::ReadOnly) && csvFile.open(QIODevice::ReadOnly));
    const QString xmlText = QString::fromUtf8(xmlFile.readAll());
    EXPECT_EQ(xmlText.count("<Registro>"), 16);
    EXPECT_TRUE(xmlText.contains("<sNumSerie>0001/26</sNumSerie>"));
    const QStringList lines = QString::fromUtf8(csvFile.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 17);
    EXPECT_TRUE(lines[0].startsWith("nIdRegistro;nIdFactura;sIdEmisor;sNumSerie;"));
    EXPECT_EQ(lines[1].split(';').last(),
              Value("SELECT sHuella FROM RegistrosFacturacion WHERE nIdRegistro=1").toString());

    EXPECT_EQ(Tool({"check"}).first, 2);
    EXPECT_EQ(Tool({"export", suite.Root() + "/no/existe/registro.csv"}).first, 1);
}

} // namespace
