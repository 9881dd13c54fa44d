// The register kept without sending: every record signed as it is made, the signed XML stored
// where nobody rewrites it, exported one file a record that the agency's schema and xmlsec1 accept,
// and checked by verify against its row.
#include "invoicing/InvoicingFixture.h"
#include "support/ErrorOf.h"
#include "support/TestEngine.h"

#include "platform/ui/seam/ScriptedUi.h"

#include "billing/GenerarAbono.h"
#include "billing/GenerarFactura.h"
#include "invoicing/AnularFactura.h"
#include "register/EventosSif.h"
#include "register/FirmaRegistro.h"
#include "register/ModoRegistro.h"
#include "register/VeriFactu.h"
#include "session/Gi.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

class SignedRecordsTest : public InvoicingTest {
protected:
    // Invoices for three clients, a credit note of the second and the cancellation of the third:
    // every kind of record a day makes.
    void IssueADay() {
        AddItem(5, 1, 10, 21);
        std::vector<qint32> ids;
        for (const char* client : {"1", "2", "5"}) {
            w.client = client;
            w.Accept({{"Efectivo", 10}});
            Generar_Factura(w);
            ids.push_back(Value("SELECT MAX(nIdFactura) FROM Facturas").toInt());
        }
        w.client = "2";
        Generar_Abono(w, ids[1]);
        ASSERT_TRUE(
            AnularFactura({ids[2], "Emitida a otro cliente", 0, "", Gi.nFechaTrabajo, 20261207, 1})
                .Hecho());
    }
    // The demo certificate alone, as PEM, for xmlsec1 to trust; empty when openssl failed.
    QString DemoCertificatePem() const {
        const QString pem = suite.Root() + "/cert.pem";
        return Run("openssl", {"pkcs12", "-in", suite.DataDir() + "/Certificado-demo.p12",
                               "-passin", "pass:demo", "-nokeys", "-out", pem})
                           .first == 0
                   ? pem
                   : QString();
    }
    static std::pair<int, QString> Run(const QString& program, const QStringList& arguments) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XML_CATALOG_FILES",
                   qEnvironmentVariable("TV_SOURCE_DIR") + "/tests/register/aeat/catalog.xml");
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, arguments);
        p.waitForFinished(120000);
        return {p.exitCode(), QString::fromUtf8(p.readAll()).trimmed()};
    }
};

TEST_F(SignedRecordsTest, EveryRecordOfADayValidatesAndVerifiesAlone) {
    IssueADay();
    const int records = Count("RegistrosFacturacion");
    // The demo's cancellation and the day's.
    ASSERT_EQ(Count("RegistrosFacturacion", "sTipoRegistro='Anulacion'"), 2);
    const QString dir = suite.Root() + "/firmados";
    EXPECT_EQ(RunTool("tvRegistro", {"export", "--firmados", dir}),
              std::make_pair(0, QString::number(records) + " signed records written to " + dir));
    QStringList files;
    for (const QString& name : QDir(dir).entryList({"*.xml"}, QDir::Files))
        files << dir + "/" + name;
    ASSERT_EQ(files.size(), records);

    const QString pem = DemoCertificatePem();
    ASSERT_FALSE(pem.isEmpty());
    const QString xsd =
        qEnvironmentVariable("TV_SOURCE_DIR") + "/tests/register/aeat/SuministroInformacion.xsd";
    const auto [valid, said] =
        Run("xmllint", QStringList{"--nonet", "--noout", "--schema", xsd} + files);
    EXPECT_EQ(valid, 0) << said.toStdString();
    for (const QString& file : files)
        EXPECT_EQ(Run("xmlsec1",
                      {"--verify", "--trusted-pem", pem, "--id-attr:Id", "SignedProperties", file})
                      .first,
                  0)
            << file.toStdString();
    // The agency's export carries each of them byte for byte as signed, and is valid as a whole.
    const QString aeat = suite.Root() + "/registro.xml";
    ASSERT_EQ(RunTool("tvRegistro", {"export", "--aeat", aeat}).first, 0);
    const auto [exportValid, exportSaid] = Run(
        "xmllint",
        {"--nonet", "--noout", "--schema",
         qEnvironmentVariable("TV_SOURCE_DIR") + "/tests/register/aeat/SuministroLR.xsd", aeat});
    EXPECT_EQ(exportValid, 0) << exportSaid.toStdString();
    QFile exported(aeat);
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    const QByteArray whole = exported.readAll();
    for (const QString& file : files) {
        QFile one(file);
        ASSERT_TRUE(one.open(QIODevice::ReadOnly));
        const QByteArray record = one.readAll();
        EXPECT_TRUE(whole.contains(record.mid(record.indexOf("?>") + 2).trimmed()))
            << file.toStdString();
    }
    EXPECT_EQ(RunTool("tvRegistro", {"verify"}).first, 0);
}

TEST_F(SignedRecordsTest, VerifyNamesTheFirstSignedRecordThatDisagrees) {
    IssueADay();
    const QString record =
        QString::number(Value("SELECT MAX(nIdRegistro) FROM RegistrosFacturacion "
                              "WHERE sTipoRegistro='Alta'")
                            .toInt());
    const QString serie =
        Value("SELECT sNumSerie FROM RegistrosFacturacion WHERE nIdRegistro=" + record).toString();
    const QString amount = Value("SELECT sImporteTotal FROM RegistrosFacturacion WHERE "
                                 "nIdRegistro=" +
                                 record)
                               .toString();
    const QString unguard = TestEngine::Server()
                                ? "ALTER TABLE RegistrosFirmados DISABLE TRIGGER USER; "
                                : "DROP TRIGGER IF EXISTS tv_firmado_sin_cambios; ";
    const struct {
        QString from, to, said;
    } cases[] = {
        {"<sf:ImporteTotal>" + amount, "<sf:ImporteTotal>9" + amount,
         "ImporteTotal " + amount + " in the register, 9" + amount + " in its signed XML"},
        {"<ds:SignatureValue>", "<ds:SignatureValue>AAAA", "its signature does not hold"},
        {"<sf:DescripcionOperacion>", "<sf:DescripcionOperacion>Otra ",
         "its signature does not hold"},
        {"<xades:SigningTime>", "<xades:SigningTime>1", "its signature does not hold"},
    };
    const QString records = QString::number(Count("RegistrosFacturacion"));
    auto replace = [&](const QString& from, const QString& to) {
        const QString sql = unguard + "UPDATE RegistrosFirmados SET sXml=replace(sXml,'" + from +
                            "','" + to + "') WHERE nIdRegistro=" + record;
        if (TestEngine::Server())
            return Db().Execute(sql);
        Db().Close();
        EXPECT_EQ(Run("sqlite3", {suite.DbPath(), sql}).first, 0);
        suite.SignIn();
    };
    for (const auto& c : cases) {
        replace(c.from, c.to);
        EXPECT_EQ(RunTool("tvRegistro", {"verify"}),
                  std::make_pair(1, "register: " + records + " records, chain intact\nrecord " +
                                        record + " (" + serie + "): " + c.said));
        replace(c.to, c.from);
    }
    EXPECT_EQ(RunTool("tvRegistro", {"verify"}).first, 0);
}

TEST_F(SignedRecordsTest, NobodyRewritesASignedRecord) {
    IssueADay();
    const QStringList refused =
        TestEngine::Server()
            ? QStringList{"UPDATE RegistrosFirmados SET sXml='x'", "DELETE FROM RegistrosFirmados",
                          "TRUNCATE RegistrosFirmados",
                          "INSERT INTO RegistrosFirmados (nIdRegistro,sXml) VALUES (1,'x') ON "
                          "CONFLICT (nIdRegistro) DO UPDATE SET sXml='x'"}
            : QStringList{"UPDATE RegistrosFirmados SET sXml='x'", "DELETE FROM RegistrosFirmados",
                          "INSERT OR REPLACE INTO RegistrosFirmados (nIdRegistro,sXml) VALUES "
                          "(1,'x')",
                          "REPLACE INTO RegistrosFirmados (nIdRegistro,sXml) VALUES (1,'x')"};
    const QString before = Table("SELECT nIdRegistro,sXml FROM RegistrosFirmados");
    for (const QString& sql : refused)
        EXPECT_EQ(ErrorOf([&] { Db().Execute(sql); }), ErrorNumber::Database) << sql.toStdString();
    EXPECT_EQ(Table("SELECT nIdRegistro,sXml FROM RegistrosFirmados"), before);
}

TEST_F(SignedRecordsTest, WithoutACertificateNothingIsIssued) {
    const QString ini = suite.DataDir() + "/SinCertificado.ini";
    const QString other = suite.DataDir() + "/OtroCertificado.ini";
    ASSERT_TRUE(QFile::copy(suite.IniPath(), ini));
    ASSERT_TRUE(QFile::copy(suite.IniPath(), other));
    for (const auto& [file, from, to] :
         {std::tuple{ini, "Certificado=Certificado-demo.p12", "Certificado="},
          std::tuple{other, "ClaveCertificado=demo", "ClaveCertificado=otra"}}) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        const QByteArray text = f.readAll().replace(from, to);
        f.resize(0);
        f.write(text);
    }
    const struct {
        QString ini, said;
    } cases[] = {
        {ini, "ponga el archivo PKCS#12 en [VeriFactu] Certificado"},
        {other, "El certificado de [VeriFactu] Certificado no puede firmar"},
    };
    AddItem(5, 1, 10, 21);
    const QString issued = Table("SELECT COUNT(*) FROM Facturas");
    for (const auto& c : cases) {
        EXPECT_TRUE(FirmaRegistro::Configurar(c.ini).contains(c.said)) << c.ini.toStdString();
        w.Accept({{"Efectivo", 10}});
        Generar_Factura(w);
        EXPECT_EQ(Table("SELECT COUNT(*) FROM Facturas"), issued);
        EXPECT_TRUE(suite.Ui().Shown.join('\n').contains(c.said)) << c.ini.toStdString();
        // A credit note is refused the same way, the module going on.
        suite.Ui().Shown.clear();
        Generar_Abono(w, 1);
        EXPECT_EQ(Table("SELECT COUNT(*) FROM Facturas"), issued);
        EXPECT_TRUE(suite.Ui().Shown.join('\n').contains(c.said)) << c.ini.toStdString();
    }
    FirmaRegistro::Configurar(suite.IniPath());
}

// The event log of a day without sending: the checks and exports of tvRegistro and the module's
// runs, each event valid by the agency's schema with a signature xmlsec1 accepts; and what a
// changed, removed or re-chained event does to verify, which logs what it found.
class EventLogTest : public SignedRecordsTest {
protected:
    QString Types() { return Table("SELECT sTipoEvento FROM EventosSIF ORDER BY nIdEvento"); }
    // Runs sql with the log's rules lifted, as only the database's owner could.
    void Forge(const QString& sql) {
        if (TestEngine::Server())
            return Db().Execute("ALTER TABLE EventosSIF DISABLE TRIGGER USER; " + sql +
                                "; ALTER TABLE EventosSIF ENABLE TRIGGER USER");
        Db().Close();
        EXPECT_EQ(
            Run("sqlite3", {suite.DbPath(), "DROP TRIGGER IF EXISTS tv_evento_sin_cambios; DROP "
                                            "TRIGGER IF EXISTS tv_evento_sin_borrados; " +
                                                sql})
                .first,
            0);
        suite.SignIn();
    }
};

TEST_F(EventLogTest, EveryEventOfADayValidatesAndVerifiesAndTamperingIsFound) {
    EventosSif::Arrancar();
    IssueADay();
    EventosSif::Registrar(EventosSif::Fin);
    EventosSif::Arrancar(); // the same day: no second check
    ASSERT_EQ(RunTool("tvRegistro", {"verify"}).first, 0);
    const QString dir = suite.Root() + "/eventos";
    ASSERT_EQ(RunTool("tvRegistro", {"export", "--firmados", suite.Root() + "/firmados"}).first, 0);
    EXPECT_EQ(RunTool("tvRegistro", {"eventos", "--dir", dir}),
              std::make_pair(0, "8 events written to " + dir));
    EXPECT_EQ(Types().split('\n'),
              QStringList({"01", "03", "05", "02", "01", "03", "05", "08", "09"}));
    const QString pem = DemoCertificatePem();
    ASSERT_FALSE(pem.isEmpty());
    const QString xsd =
        qEnvironmentVariable("TV_SOURCE_DIR") + "/tests/register/aeat/EventosSIF.xsd";
    const QStringList files = QDir(dir).entryList({"*.xml"}, QDir::Files);
    ASSERT_EQ(files.size(), 8);
    for (const QString& name : files) {
        const QString file = dir + "/" + name;
        EXPECT_EQ(Run("xmllint", {"--nonet", "--noout", "--schema", xsd, file}).first, 0)
            << name.toStdString();
        EXPECT_EQ(Run("xmlsec1",
                      {"--verify", "--trusted-pem", pem, "--id-attr:Id", "SignedProperties", file})
                      .first,
                  0)
            << name.toStdString();
    }

    const int events = Count("EventosSIF");
    const QString fourth =
        Value("SELECT sFechaHoraHuso FROM EventosSIF WHERE nIdEvento=4").toString();
    const struct {
        const char* name;
        QString forge, undo, said;
    } cases[] = {
        {"changed",
         "UPDATE EventosSIF SET sXml=replace(sXml,'<sf:TipoEvento>02','<sf:TipoEvento>09') "
         "WHERE nIdEvento=4",
         "UPDATE EventosSIF SET sXml=replace(sXml,'<sf:TipoEvento>09','<sf:TipoEvento>02') "
         "WHERE nIdEvento=4",
         "event 4 (02, " + fourth + "): its signed XML does not say what the log says"},
        {"re-chained", "UPDATE EventosSIF SET sHuellaAnterior='X' WHERE nIdEvento=4",
         "UPDATE EventosSIF SET sHuellaAnterior=(SELECT sHuella FROM EventosSIF WHERE nIdEvento=3) "
         "WHERE nIdEvento=4",
         "event 4 (02, " + fourth + "): it is not chained to the event before it"},
        {"removed",
         "DELETE FROM EventosSIF WHERE nIdEvento=4",
         {},
         "event 5 (01, " +
             Value("SELECT sFechaHoraHuso FROM EventosSIF WHERE nIdEvento=5").toString() +
             "): the event before it is missing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Forge(c.forge);
        const auto [status, said] = RunTool("tvRegistro", {"verify"});
        EXPECT_EQ(status, 1);
        EXPECT_TRUE(said.endsWith(c.said)) << said.toStdString();
        // verify logs its run and what it found.
        EXPECT_EQ(Types().split('\n').mid(Count("EventosSIF") - 3),
                  QStringList({"03", "05", "06"}));
        if (!c.undo.isEmpty())
            Forge(c.undo);
    }
    EXPECT_GT(Count("EventosSIF"), events);
}

// A run that never logged its end is said by the next start; six hours after the last summary
// (the first event, here dated so) the next event comes after a summary of the period.
// A database put back from a copy lacks the last event this workstation saw: the next start logs
// the restore before its own start, once.
TEST_F(EventLogTest, ARestoredBackupIsLoggedAtTheNextStart) {
    const QString carpeta = suite.DataDir();
    EventosSif::Arrancar(carpeta);
    EventosSif::Terminar(carpeta);
    const QString before = Types();
    Forge("DELETE FROM EventosSIF WHERE nIdEvento=(SELECT MAX(nIdEvento) FROM EventosSIF)");
    EventosSif::Arrancar(carpeta);
    EventosSif::Arrancar(carpeta);
    QStringList types = before.split('\n');
    types.removeLast();
    EXPECT_EQ(Types(), (types + QStringList{"07", "01", "01"}).join('\n'));
}

TEST_F(EventLogTest, AKilledRunIsNoticedAndSummariesComeEverySixHours) {
    EventosSif::Arrancar();
    EventosSif::Arrancar();
    EXPECT_EQ(Value("SELECT COUNT(*) FROM EventosSIF WHERE sTipoEvento='01' AND sXml LIKE "
                    "'%<sf:OtrosDatosEvento>El funcionamiento anterior terminó sin su evento de "
                    "fin</sf:OtrosDatosEvento>%'")
                  .toInt(),
              1);
    Forge("UPDATE EventosSIF SET sFechaHoraHuso='2026-01-01T08:00:00+01:00' WHERE nIdEvento=1");
    // The summary comes with the day's first record, which it counts.
    const int altas = Count("RegistrosFacturacion", "nIdRegistro>0 AND sTipoRegistro='Alta'") + 1;
    IssueADay();
    const Rows summary =
        Db().GetRows("SELECT sXml FROM EventosSIF WHERE sTipoEvento='10' ORDER BY nIdEvento");
    ASSERT_EQ(summary.RowCount(), 1);
    const QString xml = summary(0, 0).toString();
    EXPECT_TRUE(xml.contains("<sf:TipoEvento><sf:TipoEvento>01</sf:TipoEvento><sf:NumeroDeEventos>"
                             "2</sf:NumeroDeEventos></sf:TipoEvento>"));
    EXPECT_TRUE(xml.contains("<sf:NumeroDeRegistrosFacturacionAltaGenerados>" +
                             QString::number(altas) +
                             "</sf:NumeroDeRegistrosFacturacionAltaGenerados>"));
    QFile file(suite.Root() + "/resumen.xml");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(xml.toUtf8());
    file.close();
    EXPECT_EQ(Run("xmllint",
                  {"--nonet", "--noout", "--schema",
                   qEnvironmentVariable("TV_SOURCE_DIR") + "/tests/register/aeat/EventosSIF.xsd",
                   file.fileName()}),
              std::make_pair(0, file.fileName() + " validates"));
}

} // namespace

// The clinic begins to send: its kept records are not sent as new ones, the event log ends with
// the change, and going back is refused until the year of the change has ended.
TEST_F(EventLogTest, ModesChangeOnceAYearAndKeptRecordsAreNotSentAsNew) {
    IssueADay();
    const auto modo = [&](const char* from, const char* to) {
        QFile f(suite.IniPath());
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        const QByteArray text = f.readAll().replace(from, to);
        f.resize(0);
        f.write(text);
        f.close();
        FirmaRegistro::Configurar(suite.IniPath());
    };
    const QString modes =
        "SELECT sModo,nUltimoRegistroAnterior FROM ModosRegistro ORDER BY nIdModoRegistro";
    EXPECT_EQ(ModoRegistro::Comprobar(suite.IniPath()), "");
    const QString kept = Value("SELECT MAX(nIdRegistro) FROM RegistrosFacturacion").toString();
    modo("Modo=NOVERIFACTU", "Modo=VERIFACTU");
    EXPECT_EQ(ModoRegistro::Comprobar(suite.IniPath()), "");
    EXPECT_EQ(Table(modes), "NOVERIFACTU|0\nVERIFACTU|" + kept);
    EXPECT_EQ(Value("SELECT sTipoEvento FROM EventosSIF ORDER BY nIdEvento DESC LIMIT 1"), "02");
    EXPECT_EQ(VeriFactu::Pendientes(), 0);
    EXPECT_TRUE(VeriFactu::NoAceptados().empty());
    EXPECT_EQ(ModoRegistro::Comprobar(suite.IniPath()), "");

    modo("Modo=VERIFACTU", "Modo=NOVERIFACTU");
    const QString refused = ModoRegistro::Comprobar(suite.IniPath());
    EXPECT_TRUE(refused.contains("no puede dejar de hacerlo antes de que acabe el año"))
        << refused.toStdString();
    AddItem(5, 1, 10, 21);
    const QString issued = Table("SELECT COUNT(*) FROM Facturas");
    w.Accept({{"Efectivo", 10}});
    Generar_Factura(w);
    EXPECT_EQ(Table("SELECT COUNT(*) FROM Facturas"), issued);
    EXPECT_EQ(Table(modes), "NOVERIFACTU|0\nVERIFACTU|" + kept);

    // A year later the clinic may stop sending again.
    Db().Execute("UPDATE ModosRegistro SET sDesde='2025-06-01T10:00:00' WHERE sModo='VERIFACTU'");
    FirmaRegistro::Configurar(suite.IniPath());
    EXPECT_EQ(ModoRegistro::Comprobar(suite.IniPath()), "");
    EXPECT_EQ(Count("ModosRegistro", "sModo='NOVERIFACTU'"), 2);
}
