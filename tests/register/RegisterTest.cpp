// The register of issued invoices and credit notes: the fingerprint as published, the chain that
// issuing writes, and the verification that finds what was changed behind the module's back.
#include "invoicing/InvoicingFixture.h"
#include "support/AeatSchema.h"
#include "support/NoWriteAccess.h"
#include "support/TestEngine.h"

#include "billing/GenerarAbono.h"
#include "billing/GenerarFactura.h"
#include "invoicing/AnularFactura.h"
#include "invoicing/EmitirAbono.h"
#include "invoicing/core/IssuedDocument.h"
#include "register/RegistroFacturacion.h"
#include "register/SistemaInformaticoBuild.h"
#include "session/Gi.h"
#include "setup/SuiteSetup.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimeZone>
#include <QXmlStreamReader>

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
    // A cancellation's: the cancelled document and the chain, not its type nor its amounts.
    r.sTipoRegistro = Registro::Anulacion;
    r.sNumSerie = "12345679/G34";
    r.sHuellaAnterior = "F7B94CFD8924EDFF273501B01EE5153E4CE8F259766F88CF6ACB8935802A2B97";
    r.sFechaHoraHuso = "2024-01-01T19:20:40+01:00";
    EXPECT_EQ(RegistroFacturacion::Huella(r),
              "177547C0D57AC74748561D054A9CEC14B4C4EA23D1BEFD6F2E69E3A388F90C68");
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
    // Runs tvRegistro on the suite (or with another ini) as a clinic's inspector would; answers
    // status and output.
    std::pair<int, QString> Tool(const QStringList& arguments, const QString& ini = {}) {
        return RunTool("tvRegistro", arguments, ini);
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
    // A change to the register itself, as a forger who owns the database would make it: the
    // guard that refuses it lifted first, in the same go.
    static QString Unguarded(const QString& sql) {
        return (TestEngine::Server() ? "ALTER TABLE RegistrosFacturacion DISABLE TRIGGER USER; "
                                     : "DROP TRIGGER tv_registro_sin_cambios; DROP TRIGGER "
                                       "tv_registro_sin_borrados; ") +
               sql;
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
    ASSERT_EQ(Count("RegistrosFacturacion"), 24);
    IssueSome();
    // Newest first: the credit note undoing A0002 (client 2's pending lines), our 10 + 21 % line
    // for client 5, and client 1's 30.25 less a discount of 2.50, whose tax is that of 27.75.
    EXPECT_EQ(Table("SELECT sNumSerie,sTipoFactura,sFacturaRectificada,sImporteTotal,sCuotaTotal,"
                    "sFechaExpedicion,sIdEmisor FROM RegistrosFacturacion ORDER BY nIdRegistro "
                    "DESC LIMIT 4"),
              QString("RA0001/%1|R4|A0002/%1|-22.77|-2.97|%2|B12345674\n"
                      "A0003/%1|F1||12.10|2.10|%2|B12345674\n"
                      "A0002/%1|F1||22.77|2.97|%2|B12345674\n"
                      "A0001/%1|F1||27.75|4.82|%2|B12345674")
                  .arg(Year(), QDate::currentDate().toString("dd-MM-yyyy")));
    const Rows r = Query("SELECT sHuellaAnterior,sHuella FROM RegistrosFacturacion ORDER BY "
                         "nIdRegistro DESC LIMIT 5");
    ASSERT_EQ(r.RowCount(), 5);
    for (int i = 0; i + 1 < r.RowCount(); ++i)
        EXPECT_EQ(r(0, i).toString(), r(1, i + 1).toString()) << "record " << i;

    const auto [status, said] = Tool({"verify"});
    EXPECT_EQ(status, 0);
    EXPECT_EQ(said, "register: 28 records, chain intact");
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
         Unguarded("UPDATE RegistrosFacturacion SET sImporteTotal='100.00' WHERE sNumSerie='" +
                   n15 + "'")});
    EXPECT_TRUE(said.startsWith(record15 + "fingerprint ")) << said.toStdString();

    // A deleted record breaks the link of the one after it; a deleted last record leaves its
    // invoice without one.
    said = verifyAfter(
        {Unguarded("DELETE FROM RegistrosFacturacion WHERE sNumSerie='A0003/" + Year() + "'")});
    EXPECT_TRUE(said.contains("RA0001/" + Year() + "): chained to ")) << said.toStdString();
    said = verifyAfter(
        {Unguarded("DELETE FROM RegistrosFacturacion WHERE sNumSerie='RA0001/" + Year() + "'")});
    EXPECT_TRUE(said.startsWith("invoice RA0001/" + Year() + " (id ")) << said.toStdString();
    EXPECT_TRUE(said.endsWith(") has no record")) << said.toStdString();
}

TEST_F(RegisterTest, VerifyNamesAHeaderThatIsNotWhatItsLinesAddUpTo) {
    IssueSome();
    const QString n3 = "A0003/" + Year();
    const QString id3 =
        Value("SELECT nIdFactura FROM Facturas WHERE sFactura='" + n3 + "'").toString();
    // The base is in no record of the register: only the check of the amounts sees it.
    Tamper("UPDATE Facturas SET nBi_1=nBi_1+0.01 WHERE sFactura='" + n3 + "'");
    const auto [status, said] = Tool({"verify"});
    EXPECT_EQ(status, 1);
    EXPECT_EQ(said, "register: 28 records, chain intact\ndocument " + n3 + " (id " + id3 +
                        "): nBi_1 is 10.01 in Facturas, 10.00 from its lines");
}

TEST_F(RegisterTest, AFolderWithoutTheTableGetsItAndChainsFromThen) {
    // A folder older than the register has neither it nor its signed records.
    for (const char* table : {"RegistrosFacturacion", "RegistrosFirmados"})
        Db().Execute(QStringLiteral("DROP TABLE ") + table);
    SuiteSetup::UpdateSchema();
    w.Accept({{"Efectivo", 30.25}});
    Generar_Factura(w);
    EXPECT_EQ(Table("SELECT sHuellaAnterior,sNumSerie FROM RegistrosFacturacion"),
              "|A0001/" + Year());
    EXPECT_EQ(RegistroFacturacion::Verificar().message, "register: 1 records, chain intact");
}

TEST_F(RegisterTest, AFolderWithoutTheBreakdownGetsTheOneItsDocumentsWereIssuedWith) {
    IssueSome();
    const QString issued = Table("SELECT nIdFactura,nPorcIpto,nBaseImponible,nCuota FROM "
                                 "FacturasDesglose ORDER BY nIdFactura,nPorcIpto");
    Db().Execute("DROP TABLE FacturasDesglose");
    SuiteSetup::UpdateSchema();
    EXPECT_EQ(Table("SELECT nIdFactura,nPorcIpto,nBaseImponible,nCuota FROM FacturasDesglose "
                    "ORDER BY nIdFactura,nPorcIpto")
                  .toStdString(),
              issued.toStdString());
    EXPECT_EQ(RegistroFacturacion::Verificar().message, "register: 28 records, chain intact");
}

TEST_F(RegisterTest, TheRegisterIsExportedForAnInspector) {
    const QString xml = suite.Root() + "/registro.xml", csv = suite.Root() + "/registro.csv";
    EXPECT_EQ(Tool({"export", xml}).first, 0);
    EXPECT_EQ(Tool({"export", csv}).first, 0);
    QFile xmlFile(xml), csvFile(csv);
    ASSERT_TRUE(xmlFile.open(QIODevice::ReadOnly) && csvFile.open(QIODevice::ReadOnly));
    const QString xmlText = QString::fromUtf8(xmlFile.readAll());
    EXPECT_EQ(xmlText.count("<Registro>"), 24);
    EXPECT_TRUE(xmlText.contains("<sNumSerie>A0001/25</sNumSerie>"));
    const QStringList lines = QString::fromUtf8(csvFile.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 25);
    EXPECT_TRUE(lines[0].startsWith("nIdRegistro;nIdFactura;sIdEmisor;sNumSerie;"));
    EXPECT_EQ(lines[1].split(';').mid(11).join(';'),
              Value("SELECT sHuella FROM RegistrosFacturacion WHERE nIdRegistro=1").toString() +
                  ";Alta");

    EXPECT_EQ(Tool({"check"}).first, 2);
    EXPECT_EQ(Tool({"export", suite.Root() + "/no/existe/registro.csv"}).first, 1);
}

// One RegistroAlta of an export --aeat document: its leaf texts by path below RegistroAlta
// ("IDFactura/NumSerieFactura"), each DetalleDesglose as "rate base tax".
struct Alta {
    QHash<QString, QString> field;
    QStringList desglose;
};

std::vector<Alta> ReadAltas(const QString& path,
                            QLatin1String element = QLatin1String("RegistroAlta")) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    QXmlStreamReader xml(&file);
    std::vector<Alta> altas;
    QStringList at;
    bool inside = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == element) {
                altas.emplace_back();
                inside = true;
            } else if (inside) {
                at << xml.name().toString();
            }
        } else if (xml.isEndElement() && xml.name() == element) {
            inside = false;
        } else if (xml.isEndElement() && inside) {
            if (at.last() == "DetalleDesglose") {
                auto& f = altas.back().field;
                altas.back().desglose << f.take("Desglose/DetalleDesglose/TipoImpositivo") + " " +
                                             f.take("Desglose/DetalleDesglose/"
                                                    "BaseImponibleOimporteNoSujeto") +
                                             " " +
                                             f.take("Desglose/DetalleDesglose/CuotaRepercutida");
            }
            at.removeLast();
        } else if (xml.isCharacters() && !xml.isWhitespace() && inside) {
            altas.back().field[at.join('/')] = xml.text().toString();
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return altas;
}

TEST_F(RegisterTest, TheAgencyReadsTheRegisterInItsOwnFormat) {
    IssueSome();
    const QString file = suite.Root() + "/aeat.xml";
    EXPECT_EQ(Tool({"export", "--aeat", file}), std::make_pair(0, "register written to " + file));
    ExpectValidAeat({file});
    const std::vector<Alta> altas = ReadAltas(file);
    ASSERT_EQ(altas.size(), 27u);

    // The chain recomputed from the document alone: each fingerprint from its fields and the
    // one before; the figures of each record add up from its breakdown.
    QString previous;
    for (const Alta& a : altas) {
        const auto& f = a.field;
        Registro r;
        r.sIdEmisor = f["IDFactura/IDEmisorFactura"];
        r.sNumSerie = f["IDFactura/NumSerieFactura"];
        r.sFechaExpedicion = f["IDFactura/FechaExpedicionFactura"];
        r.sTipoFactura = f["TipoFactura"];
        r.sCuotaTotal = f["CuotaTotal"];
        r.sImporteTotal = f["ImporteTotal"];
        r.sHuellaAnterior = f["Encadenamiento/RegistroAnterior/Huella"];
        r.sFechaHoraHuso = f["FechaHoraHusoGenRegistro"];
        EXPECT_EQ(RegistroFacturacion::Huella(r), f["Huella"]) << r.sNumSerie.toStdString();
        // The demo's cancellation is a link of the chain this export of registrations skips.
        if (r.sHuellaAnterior != previous &&
            Table("SELECT sHuellaAnterior FROM RegistrosFacturacion WHERE sTipoRegistro="
                  "'Anulacion' AND sHuella='" +
                  r.sHuellaAnterior + "'") == previous)
            previous = r.sHuellaAnterior;
        EXPECT_EQ(r.sHuellaAnterior, previous) << r.sNumSerie.toStdString();
        EXPECT_EQ(f["Encadenamiento/PrimerRegistro"], previous.isEmpty() ? "S" : QString());
        previous = f["Huella"];
        qint64 base = 0, tax = 0;
        for (const QString& detail : a.desglose) {
            base += qRound64(detail.section(' ', 1, 1).toDouble() * 100);
            tax += qRound64(detail.section(' ', 2, 2).toDouble() * 100);
        }
        EXPECT_EQ(Money::FromCents(tax).Text(), r.sCuotaTotal) << r.sNumSerie.toStdString();
        EXPECT_EQ(Money::FromCents(base + tax).Text(), r.sImporteTotal)
            << r.sNumSerie.toStdString();
    }
    // Every record names the system as this build declares it.
    const QString declarado = QStringList({TV_PRODUCTOR_NOMBRE, TV_PRODUCTOR_NIF, TV_SISTEMA_NOMBRE,
                                           TV_SISTEMA_ID, TV_SISTEMA_VERSION, "N", "N"})
                                  .join('|');
    for (const auto& alta : altas) {
        const auto& f = alta.field;
        EXPECT_EQ(QStringList({f["SistemaInformatico/NombreRazon"], f["SistemaInformatico/NIF"],
                               f["SistemaInformatico/NombreSistemaInformatico"],
                               f["SistemaInformatico/IdSistemaInformatico"],
                               f["SistemaInformatico/Version"],
                               f["SistemaInformatico/TipoUsoPosibleSoloVerifactu"],
                               f["SistemaInformatico/TipoUsoPosibleMultiOT"]})
                      .join('|'),
                  declarado);
    }
    // Ours: a discounted invoice (its tax that of 27.75), two invoices and the rectifying invoice
    // of the first of them, each naming the customer the dialog proposed with the client's NIF.
    QStringList last;
    for (size_t k = altas.size() - 4; k < altas.size(); ++k) {
        const auto& f = altas[k].field;
        last << QStringList{f["IDFactura/NumSerieFactura"],
                            f["TipoFactura"],
                            f["TipoRectificativa"],
                            f["FacturasRectificadas/IDFacturaRectificada/NumSerieFactura"],
                            f["Destinatarios/IDDestinatario/NombreRazon"],
                            altas[k].desglose.join(','),
                            f["CuotaTotal"],
                            f["ImporteTotal"],
                            f["SistemaInformatico/NumeroInstalacion"]}
                    .join('|');
    }
    EXPECT_EQ(last.join('\n').toStdString(),
              QString("A0001/%1|F1|||%2|21.00 22.93 4.82|4.82|27.75|1\n"
                      "A0002/%1|F1|||%2|10.00 10.80 1.08,21.00 9.00 1.89|2.97|22.77|1\n"
                      "A0003/%1|F1|||%2|21.00 10.00 2.10|2.10|12.10|1\n"
                      "RA0001/%1|R4|I|A0002/%1|%2|10.00 -10.80 -1.08,21.00 -9.00 -1.89|-2.97|"
                      "-22.77|1")
                  .arg(Year(), w.clientName)
                  .toStdString());
}

// A simplified invoice and the rectifications that take it back, part and then the rest, name
// no recipient; a foreign customer is named by the document he gave.
TEST_F(RegisterTest, SimplifiedInvoicesAndTheirRectificationsNameNoRecipient) {
    const auto vender = [&](const QString& dni, const QString& pais, const QString& tipo) {
        const qint32 client = NewClient("Jean Dupont");
        AddItem(client, 2, 10, 21);
        SolicitudFactura s =
            SolicitudCobrada(client, "Mostrador", "Jean Dupont", 1, 1, Gi.nFechaTrabajo,
                             Gi.nFechaTrabajo, {{"Efectivo", 24.20}}, 0);
        s.cobro.sDni = dni;
        s.cobro.sPais = pais;
        s.cobro.sTipoId = tipo;
        return *EmitirFactura(s);
    };
    const qint32 simplificada = vender("", "", "");
    vender("12AB34567", "FR", "03");
    for (double unidades : {1.0, 0.0}) {
        SolicitudAbono a;
        a.nIdFactura = simplificada;
        if (unidades > 0)
            a.lineas.push_back({LineasAbonables(simplificada).front().nIdFacturaItem, unidades});
        a.nFechaTrabajo = a.dAbono = Gi.nFechaTrabajo;
        ASSERT_TRUE(EmitirAbono(a).Hecho());
    }
    const QString file = suite.Root() + "/aeat.xml";
    ASSERT_EQ(Tool({"export", "--aeat", file}).first, 0);
    ExpectValidAeat({file});
    const std::vector<Alta> altas = ReadAltas(file);
    ASSERT_GE(altas.size(), 4u);
    QStringList last;
    for (size_t k = altas.size() - 4; k < altas.size(); ++k) {
        const auto& f = altas[k].field;
        last << QStringList{f["IDFactura/NumSerieFactura"],
                            f["TipoFactura"],
                            f["FacturasRectificadas/IDFacturaRectificada/NumSerieFactura"],
                            f["Destinatarios/IDDestinatario/NombreRazon"],
                            f["Destinatarios/IDDestinatario/NIF"],
                            f["Destinatarios/IDDestinatario/IDOtro/CodigoPais"],
                            f["Destinatarios/IDDestinatario/IDOtro/IDType"],
                            f["Destinatarios/IDDestinatario/IDOtro/ID"],
                            f["ImporteTotal"]}
                    .join('|');
    }
    EXPECT_EQ(last.join('\n').toStdString(),
              QString("TA0001/%1|F2|||||||24.20\n"
                      "A0001/%1|F1||Jean Dupont||FR|03|12AB34567|24.20\n"
                      "RA0001/%1|R5|TA0001/%1||||||-12.10\n"
                      "RA0002/%1|R5|TA0001/%1||||||-12.10")
                  .arg(Year())
                  .toStdString());
    EXPECT_TRUE(RegistroFacturacion::Verificar().intact);
}

TEST_F(RegisterTest, ACancellationIsChainedVerifiedAndReadByTheAgency) {
    IssueSome();
    const qint32 invoice =
        Value("SELECT nIdFactura FROM Facturas WHERE sFactura='A0003/" + Year() + "'").toInt();
    ASSERT_TRUE(
        AnularFactura({invoice, "Emitida a otro cliente", 0, "", Gi.nFechaTrabajo, 20261207, 1})
            .Hecho());
    EXPECT_EQ(Tool({"verify"}), std::make_pair(0, QString("register: 29 records, chain intact")));

    const QString file = suite.Root() + "/aeat.xml";
    EXPECT_EQ(Tool({"export", "--aeat", file}), std::make_pair(0, "register written to " + file));
    ExpectValidAeat({file});
    const std::vector<Alta> anuladas = ReadAltas(file, QLatin1String("RegistroAnulacion"));
    ASSERT_EQ(anuladas.size(), 2u);
    const auto& f = anuladas.back().field;
    Registro r;
    r.sTipoRegistro = Registro::Anulacion;
    r.sIdEmisor = f["IDFactura/IDEmisorFacturaAnulada"];
    r.sNumSerie = f["IDFactura/NumSerieFacturaAnulada"];
    r.sFechaExpedicion = f["IDFactura/FechaExpedicionFacturaAnulada"];
    r.sHuellaAnterior = f["Encadenamiento/RegistroAnterior/Huella"];
    r.sFechaHoraHuso = f["FechaHoraHusoGenRegistro"];
    // Chained to the credit note before it, and fingerprinted from its own fields.
    EXPECT_EQ(r.sNumSerie + " " + f["Encadenamiento/RegistroAnterior/NumSerieFactura"] + " " +
                  r.sHuellaAnterior + " " + f["Huella"],
              "A0003/" + Year() + " RA0001/" + Year() + " " +
                  ReadAltas(file).back().field["Huella"] + " " + RegistroFacturacion::Huella(r));

    // A cancellation of an invoice that Facturas does not say is cancelled is found.
    Tamper("DELETE FROM FacturasAnuladas WHERE nIdFactura=" + QString::number(invoice));
    const auto [status, said] = Tool({"verify"});
    EXPECT_EQ(status, 1);
    EXPECT_EQ(said, "record 29 (A0003/" + Year() +
                        "): cancels an invoice that Facturas does not mark as cancelled");
}

TEST_F(RegisterTest, AGreatRegisterGoesInDocumentsOfAThousandRecords) {
    // 2,476 invoices beside the demo's 24 records, written as the setup tool writes a history.
    for (int chunk = 0; chunk < 4; ++chunk) {
        QStringList rows;
        for (int k = 0; k < 619; ++k)
            rows << QString("(1,1,'Cliente','%1/27',20270115,21,100,21,100,21,121,1)")
                        .arg(chunk * 619 + k + 1, 4, 10, QChar('0'));
        Db().Execute("INSERT INTO Facturas (nIdSucursal,nIdCliente,sCliente,sFactura,dFactura,"
                     "nPo_1,nBi_1,nIm_1,nBi_Total,nIm_Total,nTotal,nDescuento) VALUES " +
                     rows.join(','));
    }
    EXPECT_EQ(IssuedDocument::WriteMissingBreakdowns(), 2476);
    EXPECT_EQ(RegistroFacturacion::RegistrarPendientes(), 2476);
    const QString file = suite.Root() + "/aeat.xml";
    ASSERT_EQ(Tool({"export", "--aeat", file}).first, 0);
    QStringList files;
    QList<size_t> sizes;
    for (int part = 1; part <= 3; ++part) {
        files << suite.Root() + QString("/aeat-%1.xml").arg(part);
        sizes << ReadAltas(files.last()).size();
    }
    // Documents of a thousand records; the first holds the demo's cancellation too.
    EXPECT_EQ(sizes, (QList<size_t>{999, 1000, 500}));
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_FALSE(QFile::exists(suite.Root() + "/aeat-4.xml"));
    ExpectValidAeat(files);

    // Only the demo's own year, in one document.
    const QString year = suite.Root() + "/anio.xml";
    ASSERT_EQ(
        Tool({"export", "--aeat", year, "--desde", "01-01-2020", "--hasta", "31-12-2026"}).first,
        0);
    EXPECT_EQ(ReadAltas(year).size(), 23u);
    EXPECT_EQ(Tool({"export", "--aeat", year, "--desde", "2026-01-01"}).first, 2);
}

// Nobody changes or removes a record, not even the database's owner through the module's own
// connection; a data folder made before the guard gets it at the next start.
TEST_F(RegisterTest, TheRegisterRefusesChangesAndRemovals) {
    IssueSome();
    for (const QString& drop :
         TestEngine::Server()
             ? QStringList{"DROP TRIGGER tv_registro_inalterable ON RegistrosFacturacion",
                           "DROP TRIGGER tv_registro_sin_vaciar ON RegistrosFacturacion"}
             : QStringList{"DROP TRIGGER tv_registro_sin_cambios",
                           "DROP TRIGGER tv_registro_sin_borrados"})
        Db().Execute(drop);
    SuiteSetup::UpdateSchema();
    QStringList attempts{"UPDATE RegistrosFacturacion SET sImporteTotal='1.00'",
                         "DELETE FROM RegistrosFacturacion WHERE nIdRegistro=2"};
    if (TestEngine::Server())
        attempts << "TRUNCATE RegistrosFacturacion";
    for (const QString& sql : attempts) {
        try {
            Db().Execute(sql);
            ADD_FAILURE() << "not refused: " << sql.toStdString();
        } catch (const TvError& e) {
            EXPECT_TRUE(e.Description().contains("Los registros de facturación no se pueden "
                                                 "modificar ni borrar"))
                << e.Description().toStdString();
        }
    }
    EXPECT_EQ(Tool({"verify"}), std::make_pair(0, QString("register: 28 records, chain intact")));
}

// An inspector may only be allowed to read the clinic's folder; an ini that names no data folder
// is refused as the module refuses it.
TEST_F(RegisterTest, VerifiesAReadOnlyFolderAndRefusesAnIniWithoutDataPath) {
    IssueSome();
    Db().Close();
    if (!TestEngine::Server()) {
        const QString scratch = QFileInfo(suite.Root()).path();
        const NoWriteAccessRun run = RunWithoutWriteAccess(
            qEnvironmentVariable("TV_BIN_DIR") + "/tvRegistro",
            {"--ini", suite.IniPath(), "verify"}, scratch, suite.DataDir(), scratch + "/salida");
        if (run.skipped.isEmpty()) {
            EXPECT_EQ(std::make_pair(run.status, run.out.trimmed() + run.err.trimmed()),
                      std::make_pair(0, QString("register: 28 records, chain intact")));
        }
    }
    const QString ini = suite.Root() + "/SinDatos.ini";
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Database]\nDataPath=\n");
    file.close();
    EXPECT_EQ(Tool({"verify"}, ini),
              std::make_pair(1, "tvRegistro: 75 " + ini +
                                    " no indica la carpeta de datos (sección Database, clave "
                                    "DataPath)."));
}

} // namespace

// A forger who may only add rows (as a workstation's account may) writes a record of his own,
// fingerprinted correctly where he can: the database takes none but the next link of the chain.
TEST_F(RegisterTest, TheDatabaseTakesNoRecordButTheNextLinkOfItsChain) {
    IssueSome();
    const qint32 next = Value("SELECT MAX(nIdRegistro)+1 FROM RegistrosFacturacion").toInt();
    const Registro last = *RegistroFacturacion::DeFactura(
        Value("SELECT MAX(nIdFactura) FROM RegistrosFacturacion").toInt());
    auto forged = [&](qint32 key, const QString& previous, bool rightFingerprint) {
        Registro r = last;
        r.nIdRegistro = key;
        r.sNumSerie = "F0001/" + Year();
        r.sImporteTotal = "0.01";
        r.sHuellaAnterior = previous;
        r.sHuella = rightFingerprint ? RegistroFacturacion::Huella(r) : last.sHuella;
        return QStringLiteral("(%1,%2,'%3','%4','%5','%6','%7','%8','%9','%10','%11')")
            .arg(r.nIdRegistro)
            .arg(r.nIdFactura)
            .arg(r.sIdEmisor, r.sNumSerie, r.sFechaExpedicion, r.sTipoFactura, r.sCuotaTotal,
                 r.sImporteTotal, r.sHuellaAnterior, r.sFechaHoraHuso, r.sHuella);
    };
    const QString insert = " INTO RegistrosFacturacion (nIdRegistro,nIdFactura,sIdEmisor,"
                           "sNumSerie,sFechaExpedicion,sTipoFactura,sCuotaTotal,sImporteTotal,"
                           "sHuellaAnterior,sFechaHoraHuso,sHuella) VALUES ";
    QStringList attempts{"INSERT" + insert + forged(-1, last.sHuella, true),
                         "INSERT" + insert + forged(0, last.sHuella, true),
                         "INSERT" + insert + forged(next, "0000", true),
                         "INSERT" + insert + forged(next, last.sHuella, false),
                         "INSERT" + insert + forged(next + 1, last.sHuella, true)};
    if (!TestEngine::Server())
        attempts << "INSERT OR REPLACE" + insert + forged(1, "", true);
    for (const QString& sql : attempts) {
        try {
            Db().Execute(sql);
            ADD_FAILURE() << "not refused: " << sql.toStdString();
        } catch (const TvError& e) {
            EXPECT_TRUE(e.Description().contains("Solo la facturación puede añadir registros"))
                << e.Description().toStdString();
        }
    }
    EXPECT_EQ(Tool({"verify"}), std::make_pair(0, QString("register: 28 records, chain intact")));
}

// What the record does not hold itself is vouched for through the document: a breakdown row
// changed behind the module's back is no longer what its signed record says, and a line changed
// no longer adds up to the document's totals.
TEST_F(RegisterTest, VerifyNamesADocumentWhosePartsNoLongerAddUp) {
    IssueSome();
    const QString n3 = "A0003/" + Year();
    const QString id3 =
        Value("SELECT nIdFactura FROM Facturas WHERE sFactura='" + n3 + "'").toString();
    const QString record =
        "record " +
        Value("SELECT nIdRegistro FROM RegistrosFacturacion WHERE sNumSerie='" + n3 + "'")
            .toString() +
        " (" + n3 + "): its document now says ";
    suite.Snapshot();
    suite.SignIn();
    const struct {
        const char* change;
        QString said;
    } cases[] = {
        {"UPDATE FacturasDesglose SET nCuota=nCuota+1 WHERE nIdFactura=%1",
         record + "\"CuotaRepercutida=3.10\" where its signed XML says \"CuotaRepercutida=2.10\""},

        {"UPDATE FacturasItems SET nPvp=nPvp+1 WHERE nIdFactura=%1",
         "document " + n3 + " (id " + id3 + "): nBi_1 is 10.00 in Facturas, 11.00 from its lines"},
    };
    for (const auto& c : cases) {
        Tamper(QString(c.change).arg(id3));
        const auto [status, said] = Tool({"verify"});
        EXPECT_EQ(status, 1);
        EXPECT_TRUE(said.startsWith("register: 28 records, chain intact\n" + c.said))
            << said.toStdString();
        suite.Restore();
        suite.SignIn();
    }
}
