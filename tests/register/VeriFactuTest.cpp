// The register's records sent to the tax agency: against a stand-in of its service on 127.0.0.1
// over HTTPS (tests/register/agencia.py), which requires the clinic's client certificate,
// validates every message against the agency's schema and answers as each test scripts it.
#include "invoicing/InvoicingFixture.h"
#include "support/ErrorOf.h"
#include "support/TestEngine.h"

#include "billing/EnvioVeriFactu.h"
#include "billing/GenerarFactura.h"
#include "invoicing/EmitirFactura.h"
#include "invoicing/core/TaxableBreakdown.h"
#include "platform/data/DataAccess.h"
#include "platform/ui/widgets/Frm.h"
#include "register/ExportacionAeat.h"
#include "register/SistemaInformatico.h"
#include "register/VeriFactu.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

namespace {

void Openssl(const QString& dir, const QString& arguments) {
    QProcess run;
    run.setWorkingDirectory(dir);
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start("openssl", arguments.split(' '));
    if (!run.waitForFinished(60000) || run.exitCode() != 0)
        throw std::runtime_error("openssl " + arguments.toStdString() + ": " +
                                 run.readAll().toStdString());
}

// Made once for the program: a test authority; the agency's certificate for 127.0.0.1, signed
// by it; the clinic's, signed by it too, as PKCS#12 with password "clave"; and another clinic's
// from an authority the agency does not know.
const QString& Certificates() {
    static QTemporaryDir dir;
    static const bool made = [] {
        const QString d = dir.path();
        const QString key = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ";
        QFile ext(d + "/ext.cnf");
        ext.open(QIODevice::WriteOnly);
        ext.write("subjectAltName=IP:127.0.0.1\n");
        ext.close();
        Openssl(d, "req -x509 " + key +
                       "-keyout ca.key -out ca.pem -days 2 -subj /CN=AutoridadPruebas");
        for (const QString name : {"server", "client"}) {
            Openssl(d, "req " + key + "-keyout " + name + ".key -out " + name +
                           ".csr -subj /CN=" + name);
            Openssl(d, "x509 -req -in " + name +
                           ".csr -CA ca.pem -CAkey ca.key -CAcreateserial -out " + name +
                           ".pem -days 2 -extfile ext.cnf");
        }
        Openssl(d, "pkcs12 -export -inkey client.key -in client.pem -out client.p12 -passout "
                   "pass:clave");
        Openssl(d, "req -x509 " + key + "-keyout otra.key -out otra.pem -days 2 -subj /CN=otra");
        Openssl(d, "pkcs12 -export -inkey otra.key -in otra.pem -out otra.p12 -passout pass:clave");
        return true;
    }();
    Q_UNUSED(made);
    static const QString path = dir.path();
    return path;
}

// The stand-in, started on a free port; what it was sent is read back from its log.
class Agencia {
public:
    Agencia() {
        const QString certs = Certificates();
        Guion(R"({"answer": "ok"})");
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start("python3",
                        {qEnvironmentVariable("TV_SOURCE_DIR") + "/tests/register/agencia.py",
                         "--cert", certs + "/server.pem", "--key", certs + "/server.key", "--ca",
                         certs + "/ca.pem", "--schemas",
                         qEnvironmentVariable("TV_SOURCE_DIR") + "/tests/register/aeat", "--guion",
                         m_dir.filePath("guion.json"), "--log", m_dir.filePath("log.jsonl")});
        m_process.waitForReadyRead(20000);
        m_port = QString::fromUtf8(m_process.readLine()).trimmed().mid(5).toInt();
    }
    ~Agencia() {
        m_process.kill();
        m_process.waitForFinished();
    }
    void Guion(const QString& json) {
        QFile file(m_dir.filePath("guion.json"));
        file.open(QIODevice::WriteOnly);
        file.write(json.toUtf8());
    }
    // Its answer to `message`, posted as the clinic posts: the state and code of its first line.
    QString Answer(const QByteArray& message) const {
        QFile file(m_dir.filePath("mensaje.xml"));
        file.open(QIODevice::WriteOnly);
        file.write(message);
        file.close();
        QProcess curl;
        const QString certs = Certificates();
        curl.start("curl", {"-s", "--cert", certs + "/client.pem", "--key", certs + "/client.key",
                            "--cacert", certs + "/ca.pem", "-H", "Content-Type: text/xml",
                            "--data-binary", "@" + file.fileName(), Endpoint()});
        curl.waitForFinished(30000);
        const QString body = QString::fromUtf8(curl.readAllStandardOutput());
        static const QRegularExpression state("EstadoRegistro>([^<]*)<");
        static const QRegularExpression code("CodigoErrorRegistro>([^<]*)<");
        return state.match(body).captured(1) + " " +
               (code.match(body).hasMatch() ? code.match(body).captured(1) : "0");
    }
    QString Endpoint() const {
        return QStringLiteral("https://127.0.0.1:%1/wlpl/TIKE-CONT/ws/SistemaFacturacion/"
                              "VerifactuSOAP")
            .arg(m_port);
    }
    VeriFactu::Configuracion Configuracion(const QString& p12 = "client.p12") const {
        VeriFactu::Configuracion c;
        c.verifactu = true;
        c.endpoint = Endpoint();
        c.certificado = Certificates() + "/" + p12;
        c.claveCertificado = "clave";
        c.ca = Certificates() + "/ca.pem";
        c.tiempoMaximoMs = 1500;
        c.esperaTrasFalloS = 0;
        c.numeroInstalacion = "1";
        return c;
    }
    // Every request so far, one object each: numbers, corrections, valid, answer_valid.
    std::vector<QJsonObject> Requests() const {
        QFile file(m_dir.filePath("log.jsonl"));
        std::vector<QJsonObject> requests;
        if (!file.open(QIODevice::ReadOnly))
            return requests;
        for (const QByteArray& line : file.readAll().split('\n'))
            if (!line.trimmed().isEmpty())
                requests.push_back(QJsonDocument::fromJson(line).object());
        return requests;
    }
    // How many times each number was sent in a message the stand-in accepted.
    QMap<QString, int> Accepted() const {
        QMap<QString, int> times;
        for (const QJsonObject& r : Requests())
            if (r["answer"].toString() == "ok" || r["answer"].toString() == "errors")
                for (const QJsonValue n : r["numbers"].toArray())
                    ++times[n.toString()];
        return times;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};

class VeriFactuTest : public InvoicingTest {
protected:
    Agencia agencia;

    void Issue(const char* client) {
        AddItem(QString(client).toInt(), 1, 10, 21);
        w.client = client;
        w.Accept({{"Efectivo", 12.1}});
        Generar_Factura(w);
    }
    static int Records() { return Count("RegistrosFacturacion"); }
    // Each number once per record of the register: a cancelled invoice's number twice.
    static QMap<QString, int> OnceEach() {
        QMap<QString, int> times;
        for (const QString& n : Table("SELECT sNumSerie FROM RegistrosFacturacion").split('\n'))
            ++times[n];
        return times;
    }
    // Scripts the stand-in to reject the register's record at `offset`; answers its number.
    QString Reject(int offset = 0) {
        const QString number = Value("SELECT sNumSerie FROM RegistrosFacturacion ORDER BY "
                                     "nIdRegistro LIMIT 1 OFFSET " +
                                     QString::number(offset))
                                   .toString();
        agencia.Guion(R"({"answer": "ok", "reject": [")" + number + R"("]})");
        return number;
    }
    // The clinic's ini in VERI*FACTU mode, sending to the stand-in.
    void SendingIni(int timeout) {
        suite.DropVeriFactuSection();
        QFile ini(suite.IniPath());
        ASSERT_TRUE(ini.open(QIODevice::Append));
        ini.write(QString("\n[VeriFactu]\nModo=VERIFACTU   ; or NOVERIFACTU\nEndpoint=%1\n"
                          "Certificado=%2/client.p12\nClaveCertificado=clave\nCA=%2/ca.pem\n"
                          "TiempoMaximo=%3\nEsperaTrasFallo=0\n")
                      .arg(agencia.Endpoint(), Certificates())
                      .arg(timeout)
                      .toUtf8());
    }
    // Starts `tvRegistro send` from the ini in `sender` and waits until the stand-in is asked.
    void StartSending(QProcess& sender) {
        sender.setProcessChannelMode(QProcess::MergedChannels);
        sender.start(qEnvironmentVariable("TV_BIN_DIR") + "/tvRegistro",
                     {"--ini", suite.IniPath(), "send"});
        for (int k = 0; k < 200 && agencia.Requests().empty(); ++k)
            QThread::msleep(50);
    }
    static QString States() {
        return Table("SELECT sEstado,nCodigoError,sDescripcionError,MIN(nEnvios),MAX(nEnvios),"
                     "COUNT(*),MIN(CASE WHEN sCsv='' THEN 0 ELSE 1 END) FROM RegistrosEnvio "
                     "GROUP BY sEstado,nCodigoError,sDescripcionError ORDER BY sEstado");
    }
    // Every request was valid against the agency's schema, and so was each answer.
    void ExpectValid() const {
        for (const QJsonObject& r : agencia.Requests()) {
            EXPECT_TRUE(r["valid"].toBool()) << r["errors"].toString().toStdString();
            EXPECT_TRUE(r["answer_valid"].toBool());
        }
    }
};

// Every record names its producer: none is sent under a NIF the agency cannot identify, and the
// build's own may send.
TEST(SistemaInformaticoTest, RecordsAreSentOnlyUnderAValidProducerNif) {
    SistemaInformatico sistema = SistemaInformatico::DelBuild();
    EXPECT_EQ(sistema.MotivoNoEnvio(), "");
    const struct {
        const char* nif;
        const char* why;
    } cases[] = {
        {"B00000001", "el carácter de control no es correcto (debería ser 0)"},
        {"12345678A", "la letra de control no es correcta (debería ser Z)"},
        {"", "está vacío"},
        {"b99123457", "debe escribirse B99123457"},
    };
    for (const auto& c : cases) {
        sistema.productorNif = c.nif;
        EXPECT_EQ(sistema.MotivoNoEnvio(),
                  QString("No se envían registros: el NIF del productor del sistema informático, "
                          "\"%1\", no es válido: %2. Quien distribuye el programa debe compilarlo "
                          "con el suyo (TV_PRODUCTOR_NIF).")
                      .arg(c.nif, c.why));
    }
}

TEST_F(VeriFactuTest, EveryRecordIsSentOnceInRegisterOrderAndAcceptedOnesStayAccepted) {
    Issue("1");
    const int records = Records();
    ASSERT_EQ(VeriFactu::Pendientes(), records);
    VeriFactu::Resultado sent = VeriFactu::Enviar(agencia.Configuracion());
    EXPECT_EQ(sent.Texto(), QString("sent: %1 accepted, 0 accepted with errors, 0 rejected, 0 "
                                    "pending")
                                .arg(records));
    EXPECT_EQ(States(), QString("Correcto|0||1|1|%1|1").arg(records));
    const QStringList inOrder =
        Table("SELECT sNumSerie FROM RegistrosFacturacion ORDER BY nIdRegistro").split('\n');
    ASSERT_EQ(agencia.Requests().size(), 1u);
    QStringList numbers;
    for (const QJsonValue n : agencia.Requests()[0]["numbers"].toArray())
        numbers << n.toString();
    EXPECT_EQ(numbers, inOrder);

    // Nothing waits: nothing is sent. A new invoice goes alone.
    EXPECT_EQ(VeriFactu::Enviar(agencia.Configuracion()).Texto(),
              "sent: 0 accepted, 0 accepted with errors, 0 rejected, 0 pending");
    EXPECT_EQ(agencia.Requests().size(), 1u);
    Issue("2");
    EXPECT_EQ(VeriFactu::Pendientes(), 1);
    EXPECT_EQ(VeriFactu::Enviar(agencia.Configuracion()).aceptados, 1);
    ASSERT_EQ(agencia.Requests().size(), 2u);
    EXPECT_EQ(agencia.Requests()[1]["numbers"].toArray().size(), 1);
    EXPECT_EQ(agencia.Accepted(), OnceEach());
    EXPECT_TRUE(VeriFactu::NoAceptados().empty());
    ExpectValid();
}

TEST_F(VeriFactuTest, AcceptedWithErrorsKeepsTheAgencysCodeAndText) {
    agencia.Guion(R"({"answer": "errors"})");
    const VeriFactu::Resultado sent = VeriFactu::Enviar(agencia.Configuracion());
    EXPECT_EQ(sent.conErrores, Records());
    EXPECT_EQ(sent.pendientes, 0);
    EXPECT_EQ(States(), QString("AceptadoConErrores|2000|El NIF del destinatario no está "
                                "identificado|1|1|%1|1")
                            .arg(Records()));
    ExpectValid();
}

TEST_F(VeriFactuTest, ARejectedRecordWaitsForItsCorrectionAndIsThenSentAsOne) {
    const QString rejected = Reject(3);
    const qint32 id =
        Value("SELECT nIdRegistro FROM RegistrosFacturacion WHERE sNumSerie='" + rejected + "'")
            .toInt();
    const VeriFactu::Resultado sent = VeriFactu::Enviar(agencia.Configuracion());
    EXPECT_EQ(sent.Texto(), QString("sent: %1 accepted, 0 accepted with errors, 1 rejected, 0 "
                                    "pending")
                                .arg(Records() - 1));
    EXPECT_EQ(VeriFactu::Rechazados(), 1);
    EXPECT_EQ(States(), QString("Correcto|0||1|1|%1|1\nIncorrecto|1100|Valor o tipo incorrecto "
                                "del campo: NIF|1|1|1|0")
                            .arg(Records() - 1));
    const std::vector<VeriFactu::Estado> listed = VeriFactu::NoAceptados();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].registro.sNumSerie, rejected);

    // A rejected record is not sent again by itself, nor can an accepted one be corrected.
    EXPECT_EQ(VeriFactu::Enviar(agencia.Configuracion()).aceptados, 0);
    EXPECT_EQ(agencia.Requests().size(), 1u);
    try {
        VeriFactu::Subsanar(id + 1);
        ADD_FAILURE() << "an accepted record was marked to be corrected";
    } catch (const TvError& e) {
        EXPECT_EQ(e.Description(),
                  QString("El registro %1 no está rechazado por la AEAT").arg(id + 1));
    }

    VeriFactu::Subsanar(id);
    EXPECT_EQ(VeriFactu::Pendientes(), 1);
    EXPECT_EQ(VeriFactu::Enviar(agencia.Configuracion()).aceptados, 1);
    ASSERT_EQ(agencia.Requests().size(), 2u);
    EXPECT_EQ(agencia.Requests()[1]["corrections"].toArray(), QJsonArray{rejected});
    EXPECT_EQ(States(), QString("Correcto|0||1|2|%1|1").arg(Records()));
    ExpectValid();
}

// Whatever goes wrong, every record stays pending, the failure is kept, and the next good
// submission sends each record exactly once.
TEST_F(VeriFactuTest, FailuresLeaveEveryRecordPendingUntilTheNextGoodSubmission) {
    const struct {
        const char* name;
        const char* guion;
        const char* certificate;
        const char* endpoint; // instead of the stand-in's
        const char* error;
    } cases[] = {
        {"HTTP 500", R"({"answer": "http500"})", "client.p12", nullptr,
         "HTTP 500: Error interno del servidor"},
        {"no answer", R"({"answer": "silent"})", "client.p12", nullptr,
         "la AEAT no ha contestado en 1.5 s"},
        {"refused", R"({"answer": "ok"})", "client.p12",
         "https://127.0.0.1:1/wlpl/TIKE-CONT/ws/SistemaFacturacion/VerifactuSOAP",
         "Connection refused"},
        {"certificate", R"({"answer": "ok"})", "otra.p12", nullptr, "unknown ca"},
        {"no certificate", R"({"answer": "ok"})", "falta.p12", nullptr,
         "No se encuentra el certificado "},
        {"damaged certificate", R"({"answer": "ok"})", "cortado.p12", nullptr,
         "cortado.p12 está dañado o incompleto"},
        {"plain http", R"({"answer": "ok"})", "client.p12", "http://127.0.0.1:1/",
         "la dirección de envío (Endpoint=http://127.0.0.1:1/ en la sección [VeriFactu]) no es "
         "una dirección https://"},
    };
    QFile whole(Certificates() + "/client.p12"), cut(Certificates() + "/cortado.p12");
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly) && cut.open(QIODevice::WriteOnly));
    cut.write(whole.readAll().chopped(40));
    cut.close();
    const int records = Records();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        agencia.Guion(c.guion);
        VeriFactu::Configuracion config = agencia.Configuracion(c.certificate);
        if (c.endpoint)
            config.endpoint = c.endpoint;
        QElapsedTimer clock;
        clock.start();
        const VeriFactu::Resultado sent = VeriFactu::Enviar(config);
        EXPECT_LT(clock.elapsed(), 5000);
        EXPECT_TRUE(sent.error.startsWith("El envío a la AEAT no se ha podido hacer: "))
            << sent.error.toStdString();
        EXPECT_TRUE(sent.error.contains(c.error)) << sent.error.toStdString();
        EXPECT_EQ(sent.pendientes, records);
        EXPECT_EQ(Count("RegistrosEnvio"), 0);
        ASSERT_TRUE(VeriFactu::UltimoFallo());
        EXPECT_EQ(VeriFactu::UltimoFallo()->error, sent.error);
    }
    EXPECT_EQ(Count("EnviosAeat", "sError<>''"), 7);
    agencia.Guion(R"({"answer": "ok"})");
    EXPECT_EQ(VeriFactu::Enviar(agencia.Configuracion()).aceptados, records);
    EXPECT_FALSE(VeriFactu::UltimoFallo());
    EXPECT_EQ(agencia.Accepted(), OnceEach());
    ExpectValid();
}

TEST_F(VeriFactuTest, TheAgencysWaitIsKeptAndRecordsIssuedMeanwhileQueue) {
    agencia.Guion(R"({"answer": "ok", "wait": 2})");
    EXPECT_EQ(VeriFactu::Enviar(agencia.Configuracion()).pendientes, 0);
    Issue("1");
    const VeriFactu::Resultado waiting = VeriFactu::Enviar(agencia.Configuracion());
    EXPECT_EQ(waiting.pendientes, 1);
    EXPECT_GT(waiting.esperaSegundos, 0);
    EXPECT_LE(waiting.esperaSegundos, 2);
    EXPECT_EQ(agencia.Requests().size(), 1u);
    QThread::msleep(2100);
    EXPECT_EQ(VeriFactu::Enviar(agencia.Configuracion()).aceptados, 1);
    EXPECT_EQ(agencia.Requests().size(), 2u);
}

// tvRegistro as the clinic runs it, from the ini; while it sends, no other workstation does.
TEST_F(VeriFactuTest, TheCommandSendsFromTheIniAndOneWorkstationSendsAtATime) {
    SendingIni(4);
    const int records = Records();
    agencia.Guion(R"({"answer": "silent"})");
    QProcess other;
    StartSending(other);
    ASSERT_EQ(agencia.Requests().size(), 1u);
    const VeriFactu::Resultado busy = VeriFactu::Enviar(agencia.Configuracion());
    EXPECT_TRUE(busy.ocupado);
    EXPECT_EQ(agencia.Requests().size(), 1u);
    ASSERT_TRUE(other.waitForFinished(20000));
    EXPECT_EQ(other.exitCode(), 1);
    EXPECT_EQ(QString::fromUtf8(other.readAll()).trimmed(),
              QString("El envío a la AEAT no se ha podido hacer: la AEAT no ha contestado en 4 s\n"
                      "sent: 0 accepted, 0 accepted with errors, 0 rejected, %1 pending")
                  .arg(records));

    const QString rejected = Reject();
    auto run = [&](const QStringList& arguments) { return RunTool("tvRegistro", arguments); };
    EXPECT_EQ(run({"send"}),
              std::make_pair(1, QString("sent: %1 accepted, 0 accepted with errors, 1 rejected, "
                                        "0 pending")
                                    .arg(records - 1)));
    const auto [status, text] = run({"status"});
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(text.startsWith("pending: 0, rejected: 1\nrecord 1 (" + rejected))
        << text.toStdString();
    EXPECT_TRUE(text.endsWith("): rejected 1100: Valor o tipo incorrecto del campo: NIF"));
    EXPECT_EQ(run({"subsanar", "1"}).first, 0);
    EXPECT_EQ(run({"send"}),
              std::make_pair(0, QString("sent: 1 accepted, 0 accepted with errors, 0 rejected, "
                                        "0 pending")));
    // Each record once, the rejected one again as its correction.
    QMap<QString, int> once = OnceEach();
    ++once[rejected];
    EXPECT_EQ(agencia.Accepted(), once);
    ExpectValid();
}

// An answer is believed only when it says what became of every record sent: otherwise, as when
// no answer comes in time, the records stay queued and the next good answer settles each once.
TEST_F(VeriFactuTest, AnswersThatCannotBeBelievedLeaveEveryRecordQueued) {
    const struct {
        const char* guion;
        const char* error;
    } cases[] = {
        {R"({"answer": "no_state"})", "la respuesta da al registro A0001/25 ningún estado"},
        {R"({"answer": "odd_state"})",
         "la respuesta da al registro A0001/25 un estado desconocido (\"Pendiente\")"},
        {R"({"answer": "others"})", "la respuesta habla del registro A0001/25X, que no se ha "
                                    "enviado"},
        {R"({"answer": "trickle"})", "la AEAT no ha contestado en 1.5 s"},
    };
    const int records = Records();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.guion);
        agencia.Guion(c.guion);
        QElapsedTimer clock;
        clock.start();
        const VeriFactu::Resultado sent = VeriFactu::Enviar(agencia.Configuracion());
        EXPECT_LT(clock.elapsed(), 4000);
        EXPECT_EQ(sent.error, QString("El envío a la AEAT no se ha podido hacer: ") + c.error);
        EXPECT_EQ(sent.pendientes, records);
        EXPECT_EQ(Count("RegistrosEnvio"), 0);
    }
    // Each submission was written before it left, with what it carried.
    EXPECT_EQ(Table("SELECT COUNT(*),COUNT(DISTINCT nIdRegistro),MIN(CASE WHEN sHuella='' THEN 0 "
                    "ELSE 1 END) FROM "
                    "RegistrosEnviados"),
              QString("%1|%2|1").arg(4 * records).arg(records));
    // The trickled answer was lost, but the agency registered the records: its 3000 now is
    // this register's own (the CSV of the lost answer stays unknown).
    agencia.Guion(R"({"answer": "ok"})");
    EXPECT_EQ(VeriFactu::Enviar(agencia.Configuracion()).aceptados, records);
    EXPECT_EQ(States(),
              QString("Correcto|3000|Registro de facturación duplicado.|1|1|%1|0").arg(records));
}

// A 3000 for a record this register never sent means the agency holds another document under
// its number: it is not taken as sent, and both the command and its status say so.
TEST_F(VeriFactuTest, TheAgencyHoldingAnotherRecordUnderANumberIsAConflict) {
    SendingIni(4);
    const QString number = Reject();
    agencia.Guion(R"({"answer": "ok", "held": [")" + number + R"("]})");
    auto run = [&](const QStringList& arguments) { return RunTool("tvRegistro", arguments); };
    EXPECT_EQ(run({"send"}), std::make_pair(1, QString("sent: %1 accepted, 0 accepted with "
                                                       "errors, 0 rejected, 0 pending, 1 in "
                                                       "conflict")
                                                   .arg(Records() - 1)));
    EXPECT_EQ(VeriFactu::Pendientes(), 0);
    EXPECT_EQ(VeriFactu::Conflictos(), 1);
    const auto [status, text] = run({"status"});
    EXPECT_TRUE(text.startsWith("pending: 0, rejected: 0, in conflict: 1\nrecord 1 (" + number))
        << text.toStdString();
    EXPECT_TRUE(text.contains("in conflict: La AEAT ya tiene un registro con este número que "
                              "este programa no le ha enviado"));
}

// Nobody waits longer than an hour between submissions, whatever the agency answers, and
// failures in a row wait longer each time.
TEST_F(VeriFactuTest, WaitsGrowWithFailuresAndNeverPassAnHour) {
    VeriFactu::Configuracion config = agencia.Configuracion();
    config.esperaTrasFalloS = 1;
    agencia.Guion(R"({"answer": "http500"})");
    EXPECT_EQ(VeriFactu::Enviar(config).esperaSegundos, 1);
    EXPECT_EQ(VeriFactu::Enviar(config).esperaSegundos, 1) << "no submission while it waits";
    QThread::msleep(1100);
    EXPECT_EQ(VeriFactu::Enviar(config).esperaSegundos, 2);
    QThread::msleep(2100);
    agencia.Guion(R"({"answer": "ok", "wait": 99999999})");
    const VeriFactu::Resultado sent = VeriFactu::Enviar(config);
    EXPECT_EQ(sent.aceptados, Records());
    EXPECT_GT(sent.esperaSegundos, VeriFactu::MaximaEsperaSegundos - 5);
    EXPECT_LE(sent.esperaSegundos, VeriFactu::MaximaEsperaSegundos);
    EXPECT_EQ(agencia.Requests().size(), 3u);
}

// A sender killed after its trace and before the answer leaves its turn and its trace; the next
// run takes over at once and settles every record, once.
TEST_F(VeriFactuTest, ASenderKilledWhileItWaitsIsSettledByTheNextRun) {
    SendingIni(20);
    agencia.Guion(R"({"answer": "silent"})");
    QProcess sender;
    StartSending(sender);
    ASSERT_EQ(agencia.Requests().size(), 1u);
    sender.kill();
    ASSERT_TRUE(sender.waitForFinished(5000));
    EXPECT_EQ(Table("SELECT nRegistros,sEstadoEnvio,sError FROM EnviosAeat"),
              QString("%1||el envío quedó sin respuesta: el programa se detuvo mientras esperaba "
                      "a la AEAT")
                  .arg(Records()));
    agencia.Guion(R"({"answer": "ok"})");
    const VeriFactu::Resultado sent = VeriFactu::Enviar(agencia.Configuracion());
    EXPECT_FALSE(sent.ocupado);
    EXPECT_EQ(sent.Texto(), QString("sent: %1 accepted, 0 accepted with errors, 0 rejected, 0 "
                                    "pending")
                                .arg(Records()));
}

// On a server, the sender's turn lives in the data: a sender whose connection is cut still holds
// it, and no second sender starts meanwhile. The first one then ends on the lost connection,
// its submission traced, and the next run settles its records.
TEST_F(VeriFactuTest, OneSenderAtATimeAlsoWhenTheFirstOnesConnectionIsCut) {
    if (!Db().IsServerDb())
        GTEST_SKIP() << "a connection of its own to cut exists on a server only";
    SendingIni(3);
    agencia.Guion(R"({"answer": "silent"})");
    QProcess first;
    StartSending(first);
    ASSERT_EQ(agencia.Requests().size(), 1u);
    Db().Execute("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE "
                 "datname=current_database() AND pid<>pg_backend_pid()");
    EXPECT_TRUE(VeriFactu::Enviar(agencia.Configuracion()).ocupado);
    ASSERT_TRUE(first.waitForFinished(20000));
    EXPECT_NE(first.exitCode(), 0);
    const QString said = QString::fromUtf8(first.readAll());
    EXPECT_TRUE(said.contains("Se ha perdido la conexión con el servidor de base de datos"))
        << said.toStdString();
    EXPECT_EQ(agencia.Requests().size(), 1u);
    agencia.Guion(R"({"answer": "ok"})");
    EXPECT_EQ(VeriFactu::Enviar(agencia.Configuracion()).aceptados, Records());
}

// The billing window's sender: it never holds the window up, says what waits and what was
// rejected, and a failure once.
TEST_F(VeriFactuTest, TheWindowSendsInTheBackgroundAndSaysWhatWaits) {
    SendingIni(1);
    agencia.Guion(R"({"answer": "silent"})");
    const int records = Records();
    QWidget window;
    Frm frame(&window, "Facturación");
    auto panel = [&](int n) { return frame.PanelText(n); };
    EnvioVeriFactu envio(frame, suite.IniPath(),
                         qEnvironmentVariable("TV_BIN_DIR") + "/tvRegistro");
    ASSERT_TRUE(envio.Activo());
    auto finish = [&] {
        for (int k = 0; k < 400 && (envio.Enviando() || agencia.Requests().empty()); ++k) {
            QCoreApplication::processEvents();
            QThread::msleep(25);
        }
        QCoreApplication::processEvents();
    };
    QCoreApplication::processEvents(); // the window is up: what waits goes
    EXPECT_EQ(panel(2), QString("VERI*FACTU: %1 pendientes").arg(records));
    ASSERT_TRUE(envio.Enviando());
    // An invoice issued while the agency does not answer takes no longer than without sending.
    QElapsedTimer clock;
    clock.start();
    Issue("1");
    envio.Documento();
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_EQ(panel(2), QString("VERI*FACTU: %1 pendientes").arg(records + 1));
    finish();
    EXPECT_EQ(panel(1), "VERI*FACTU: El envío a la AEAT no se ha podido hacer: la AEAT no ha "
                        "contestado en 1 s");

    const QString rejected = Reject();
    frame.Sb_PanelText_Set(1, {});
    envio.Documento();
    finish();
    EXPECT_EQ(panel(2), "VERI*FACTU: 1 rechazados por la AEAT");
    EXPECT_TRUE(frame.findChild<QLabel*>("FrmPanel2")->styleSheet().contains("bold"));
    // The failure was said once: the answered submission says nothing more.
    EXPECT_EQ(panel(1), "");
    EXPECT_EQ(VeriFactu::Pendientes(), 0);
}

// On a server the sending state is the sender account's alone: a workstation account issues, but
// neither marks a record accepted nor sends, and its window, told not to send, only shows what
// waits.
TEST_F(VeriFactuTest, OnAServerOnlyTheSendersAccountChangesTheSendingState) {
    if (!TestEngine::Server())
        GTEST_SKIP() << "accounts and their rights are the server's";
    SendingIni(4);
    QFile ini(suite.IniPath());
    ASSERT_TRUE(ini.open(QIODevice::Append));
    ini.write("EnviaEstePuesto=No\n");
    ini.close();
    const QString role = "tv_puesto_sin_envio";
    const QString tables = "ALL TABLES IN SCHEMA public";
    Db().ExecuteScript("DROP ROLE IF EXISTS " + role + ";\nCREATE ROLE " + role +
                       " LOGIN;\nGRANT USAGE ON SCHEMA public TO " + role +
                       ";\nGRANT SELECT, INSERT, UPDATE, DELETE ON " + tables + " TO " + role +
                       ";\nGRANT USAGE, SELECT ON ALL SEQUENCES IN SCHEMA public TO " + role +
                       ";\nREVOKE INSERT, UPDATE, DELETE, TRUNCATE ON RegistrosEnvio, EnviosAeat, "
                       "RegistrosEnviados, TurnoEnvio FROM " +
                       role + ";\n");
    DbConfig workstation = TestEngine::ServerConfig();
    workstation.name = Value("SELECT current_database()").toString();
    workstation.user = role;
    Db().Close();
    Db().Open(workstation);
    Issue("1");
    const int records = Records();
    QStringList said;
    auto refused = [&](const std::function<void()>& work) {
        try {
            work();
            said << "not refused";
        } catch (const TvError& e) {
            said << e.Description().section(';', 0, 0);
        }
    };
    refused([] {
        Db().Execute("INSERT INTO RegistrosEnvio (nIdRegistro,sEstado) VALUES (1,'Correcto')");
    });
    refused([&] { VeriFactu::Enviar(agencia.Configuracion()); });
    QWidget window;
    Frm frame(&window, "Facturación");
    EnvioVeriFactu envio(frame, suite.IniPath(),
                         qEnvironmentVariable("TV_BIN_DIR") + "/tvRegistro");
    QCoreApplication::processEvents();
    envio.Documento();
    EXPECT_FALSE(envio.Enviando());
    EXPECT_EQ(frame.PanelText(2), QString("VERI*FACTU: %1 pendientes").arg(records + 1));
    EXPECT_TRUE(agencia.Requests().empty());
    Db().Close();
    suite.SignIn();
    Db().ExecuteScript("REVOKE ALL ON SCHEMA public FROM " + role + ";\nREVOKE ALL ON " + tables +
                       " FROM " + role + ";\nREVOKE ALL ON ALL SEQUENCES IN SCHEMA public FROM " +
                       role + ";\nDROP ROLE " + role + ";\n");
    const QString denied =
        "La cuenta de este puesto en la base de datos no tiene permiso para esto";
    EXPECT_EQ(said, QStringList({denied, denied}));
    EXPECT_EQ(
        VeriFactu::Enviar(agencia.Configuracion()).Texto(),
        QString("sent: %1 accepted, 0 accepted with errors, 0 rejected, 0 pending").arg(records));
}

} // namespace

// The agency asks for the kept records: they go through the request operation as they were
// signed, the last submission ending the request, and their sending state stays untouched. The
// request run again sends only what it still lacks; a period outside the records sends nothing.
TEST_F(VeriFactuTest, TheAgencysRequestGetsTheKeptRecordsAsSigned) {
    Issue("1");
    Issue("2");
    const int records = Records();
    ASSERT_EQ(Count("RegistrosFirmados"), records);
    EXPECT_EQ(
        VeriFactu::EnviarRequerimiento(agencia.Configuracion(), "REQ/2026-0001").Texto(),
        QString("sent: %1 accepted, 0 accepted with errors, 0 rejected, 0 pending").arg(records));
    Issue("5");
    EXPECT_EQ(VeriFactu::EnviarRequerimiento(agencia.Configuracion(), "REQ/2026-0001").aceptados,
              1);
    const VeriFactu::Resultado none = VeriFactu::EnviarRequerimiento(
        agencia.Configuracion(), "REQ/2026-0002", 20000101, 20001231);
    EXPECT_EQ(std::make_pair(none.aceptados, none.pendientes), std::make_pair(0, 0));
    ASSERT_EQ(agencia.Requests().size(), 2u);
    ExpectValid();
    const std::vector<QJsonObject> requests = agencia.Requests();
    EXPECT_EQ(requests[1]["numbers"].toArray().size(), 1);
    for (const QJsonObject& r : requests) {
        EXPECT_EQ(r["requerimiento"].toString(), "REQ/2026-0001");
        EXPECT_EQ(r["fin"].toString(), "S");
        EXPECT_EQ(r["signed"].toInt(), r["numbers"].toArray().size());
    }
    EXPECT_EQ(Count("RegistrosEnvio"), 0);
    for (const char* wrong : {"", "REQ 1", "ABCDEFGHIJKLMNOPQRS", "<x>"})
        EXPECT_EQ(ErrorOf([&] { VeriFactu::EnviarRequerimiento(agencia.Configuracion(), wrong); }),
                  ErrorNumber::InvalidCall)
            << wrong;
}

// The agency's own validations, each broken by a record written below the module's check (rows
// and a record made straight from them): the sender keeps it back with the agency's code, and
// the stand-in, which applies the agency's list on its own, answers the same code for the same
// message. A record made more than 240 s before it is sent goes as made during an incident.
TEST_F(VeriFactuTest, EachOfTheAgencysRulesIsKeptBackByTheSenderAndRefusedByTheAgency) {
    const struct {
        const char* numero;
        int dias; // its issue date, from today
        const char *cliente, *dni, *tipo;
        double base, cuota, total; // total: the header's, base + cuota unless it differs
        double cuotaDespues;       // the breakdown's tax changed after the record was made
        qint64 segundos;           // the record's time stamp, from now
        const char* antesDeTipo;   // inserted into the message posted to the agency
        const char* esperado;      // held code | stored state, code | agency's state, code
    } casos[] = {
        {"V0001/26", 0, "Ana Ruiz", "12345678Z", "", 100, 21, 121, 0, -600, "",
         "0|Correcto 0|AceptadoConErrores 2004"},
        {"V0002/26", 0, "Ana Ruiz", "12345678Z", "", 100, 21, 121, 0, 0,
         "<sf:RechazoPrevio>S</sf:RechazoPrevio>", "0|Correcto 0|Incorrecto 1161"},
        {"V0003/26", 0, "Ana Ruiz", "12345678Z", "", 100, 21, 125, 0, 0, "",
         "1210| |Incorrecto 1210"},
        {"V0004/26", 0, "Ana Ruiz", "12345678Z", "", 100, 21, 121, 20, 0, "",
         "1216| |Incorrecto 1216"},
        {"V0005/26", 0, "", "", "F2", 3000, 630, 3630, 0, 0, "", "1150| |Incorrecto 1150"},
        {"V0006/26", 0, "Ana Ruiz", "", "", 100, 21, 121, 0, 0, "", "1189| |Incorrecto 1189"},
        {"V0007/26", 2, "Ana Ruiz", "12345678Z", "", 100, 21, 121, 0, 0, "",
         "1112| |Incorrecto 1112"},
        {"V0008/26", 0, "Ana Ruiz", "12345678Z", "", 100, 21, 121, 0, 3600, "",
         "2004| |AceptadoConErrores 2004"},
        {"VÑ0009/26", 0, "Ana Ruiz", "12345678Z", "", 100, 21, 121, 0, 0, "",
         "1130| |Incorrecto 1130"},
        {"V'0010/26", 0, "Ana Ruiz", "12345678Z", "", 100, 21, 121, 0, 0, "",
         "1287| |Incorrecto 1287"},
        {"V0011/26", 0, "Ana\tRuiz\x1b", "12345678Z", "", 100, 21, 121, 0, 0, "",
         "0|Correcto 0|Correcto 0"},
        {"V0012/26", 0, "Ana Ruiz", "12345678Z", "R1", 100, 21, 121, 0, 0, "",
         "1114| |Incorrecto 1114"},
    };
    VeriFactu::Enviar(agencia.Configuracion());
    const QDateTime now = QDateTime::currentDateTime();
    std::vector<RegistroFacturacion::Registro> records;
    for (const auto& c : casos) {
        TransactionGuard guard;
        const qint32 id = Db().InsertRecord(
            "Facturas",
            "nIdSucursal,nIdCliente,sFactura,dFactura,sCliente,sDni,nPo_1,nBi_1,nIm_1,nBi_"
            "Total,"
            "nIm_Total,nTotal,nDescuento,sTipoFactura",
            QStringList{"1", "1", U().SqlValue(c.numero, 0, true),
                        now.date().addDays(c.dias).toString("yyyyMMdd"),
                        U().SqlValue(c.cliente, 0, true), U().SqlValue(c.dni, 0, true), "21",
                        QString::number(c.base), QString::number(c.cuota), QString::number(c.base),
                        QString::number(c.cuota), QString::number(c.total), "0",
                        U().SqlValue(c.tipo, 0, true)}
                .join(','));
        TaxableBreakdown{{{21, Money::FromDouble(c.base), Money::FromDouble(c.cuota)}}}.Write(id);
        records.push_back(RegistroFacturacion::Registrar(id, now.addSecs(c.segundos)));
        if (c.cuotaDespues != 0)
            Db().Execute("UPDATE FacturasDesglose SET nCuota=" + QString::number(c.cuotaDespues) +
                         " WHERE nIdFactura=" + QString::number(id));
        guard.Commit();
    }
    const VeriFactu::Resultado sent = VeriFactu::Enviar(agencia.Configuracion());
    Agencia otra;
    for (size_t k = 0; k < records.size(); ++k) {
        const RegistroFacturacion::Registro& r = records[k];
        QString held = "0";
        for (const ValidacionesAeat::Retenido& x : sent.retenidos)
            if (x.registro.nIdRegistro == r.nIdRegistro)
                held = QString::number(x.regla.codigo);
        const QString stored =
            Table("SELECT sEstado,nCodigoError FROM RegistrosEnvio WHERE nIdRegistro=" +
                  QString::number(r.nIdRegistro))
                .replace('|', ' ');
        QByteArray message = ExportacionAeat::Envio({r}, {}, "1");
        message.replace("<sf:TipoFactura>", QByteArray(casos[k].antesDeTipo) + "<sf:TipoFactura>");
        EXPECT_EQ((held + "|" + (stored.isEmpty() ? " " : stored) + "|" + otra.Answer(message))
                      .toStdString(),
                  casos[k].esperado)
            << casos[k].numero;
    }
    // The late record went with the header that says so, in a submission of its own.
    const std::vector<QJsonObject> requests = agencia.Requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_TRUE(requests.back()["numbers"].toArray().contains(QJsonValue("V0002/26")));
    EXPECT_FALSE(requests.back()["numbers"].toArray().contains(QJsonValue("V0001/26")));
    ExpectValid();
}

// Before anything is written, the module refuses a document whose record would break a rule,
// naming the figure.
TEST_F(VeriFactuTest, TheModuleRefusesADocumentWhoseRecordWouldBreakARule) {
    const struct {
        const char *ajuste, *deshacer; // SQL that sets the case up, and that undoes it
        const char *dni, *cliente;
        double precio;
        const char* motivo;
    } casos[] = {
        {"UPDATE ConfiguracionSucursales SET sValor='AÑ' WHERE nIdSucursal=1 AND "
         "sDato='SerieFacturas'",
         "UPDATE ConfiguracionSucursales SET sValor='A' WHERE nIdSucursal=1 AND "
         "sDato='SerieFacturas'",
         "12345678Z", "Ana Ruiz", 10,
         "El registro de la factura AÑ0001/27 no cumple las validaciones de la AEAT: el número "
         "«AÑ0001/27» lleva «Ñ», y la AEAT solo admite letras sin acentos, cifras y signos "
         "(código 1130: El campo NumSerieFactura contiene caracteres no permitidos). No se ha "
         "emitido."},
        {"INSERT INTO ConfiguracionSucursales (nIdSucursal,sDato,sValor) VALUES "
         "(1,'LimiteSimplificada','5000')",
         "DELETE FROM ConfiguracionSucursales WHERE sDato='LimiteSimplificada'", "", "", 3500,
         "El registro de la factura TA0001/27 no cumple las validaciones de la AEAT: el "
         "importe "
         "de la factura simplificada es 3.500,00 €, por encima de su límite de 3.000,00 € "
         "(código 1150: Cuando TipoFactura sea F2 y no este informado "
         "NumRegistroAcuerdoFacturacion o FacturaSinIdentifDestinatarioArt61d no sea S el "
         "sumatorio de BaseImponibleOimporteNoSujeto y CuotaRepercutida de todas las líneas de "
         "detalle no podrá ser superior a 3.000). No se ha emitido."},
        {"UPDATE ConfiguracionEmpresa SET sNombre=''", "SELECT 1", "12345678Z", "Ana Ruiz", 10,
         "El registro de la factura A0001/27 no cumple las validaciones de la AEAT: el nombre "
         "de "
         "la empresa (ConfiguracionEmpresa) está vacío (código 1100: Valor o tipo incorrecto "
         "del "
         "campo: NombreRazonEmisor). No se ha emitido."},
    };
    Gi.nFechaTrabajo = 20270115;
    for (const auto& c : casos) {
        Db().Execute(c.ajuste);
        const qint32 client = NewClient();
        AddItem(client, 1, c.precio, 0);
        SolicitudFactura s = SolicitudCobrada(client, "Mostrador", c.cliente, 1, 1, 20270115,
                                              20270115, {{"Efectivo", c.precio}}, 0);
        s.cobro.sDni = c.dni;
        const QString before = Table("SELECT COUNT(*),MAX(nIdFactura) FROM Facturas") +
                               Table("SELECT COUNT(*) FROM RegistrosFacturacion");
        EXPECT_EQ(Refusal(EmitirFactura(s)).toStdString(), c.motivo);
        EXPECT_EQ(Table("SELECT COUNT(*),MAX(nIdFactura) FROM Facturas") +
                      Table("SELECT COUNT(*) FROM RegistrosFacturacion"),
                  before);
        EXPECT_EQ(Count("FacturasItems", "nIdFactura>0 AND nIdCliente=" + QString::number(client)),
                  0);
        Db().Execute(c.deshacer);
    }
}
