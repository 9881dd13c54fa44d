// E-mailing invoices through the branch's own account, against a real SMTP server
// (tests/mail/servidor_smtp.py on aiosmtpd) started by each test on a free port, over STARTTLS or
// TLS with a certificate of a test authority; what it received is parsed back with Python's email
// package.
#include "facturae/FacturaeSupport.h"
#include "invoicing/InvoicingFixture.h"
#include "support/RunProgram.h"
#include "support/TestEngine.h"

#include "billing/GenerarFactura.h"
#include "mail/ColaCorreo.h"
#include "mail/Mensaje.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "reports/CorreoFactura.h"

#include <QCheckBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

namespace {

const QString Python = QStringLiteral("/usr/bin/python3");

QString Script() {
    return qEnvironmentVariable("TV_SOURCE_DIR") + "/tests/mail/servidor_smtp.py";
}

// A test authority and 127.0.0.1's certificate signed by it; "otra" is a server certificate
// from an authority nobody trusts.
const QString& Certificates() {
    static QTemporaryDir dir;
    static const QString path = [] {
        const QString d = dir.path();
        auto openssl = [&](const QString& arguments) {
            QProcess run;
            run.setWorkingDirectory(d);
            run.start("openssl", arguments.split(' '));
            run.waitForFinished(60000);
        };
        const QString key = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 ";
        const QString ip = "-addext subjectAltName=IP:127.0.0.1";
        openssl("req -x509 " + key + "-keyout ca.key -out ca.pem -subj /CN=Autoridad");
        openssl("req " + key + "-keyout server.key -out server.csr -subj /CN=correo " + ip);
        openssl("x509 -req -in server.csr -CA ca.pem -CAkey ca.key -out server.pem -days 2 "
                "-copy_extensions copyall");
        openssl("req -x509 " + key + "-keyout otra.key -out otra.pem -subj /CN=otra " + ip);
        return d;
    }();
    return path;
}

int FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

class Servidor {
public:
    // arguments beyond the log, the port and the certificate ("otra" takes the untrusted one).
    explicit Servidor(QStringList arguments, int port = FreePort(), const QString& cert = "server")
        : m_port(port) {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(Python, QStringList{Script(), "--log", m_dir.filePath("log.jsonl"),
                                            "--puerto", QString::number(port), "--cert",
                                            Certificates() + "/" + cert + ".pem", "--key",
                                            Certificates() + "/" + cert + ".key"} +
                                    arguments);
        m_process.waitForReadyRead(20000);
    }
    ~Servidor() {
        m_process.kill();
        m_process.waitForFinished();
    }
    int Port() const { return m_port; }
    // Every message received, parsed.
    QJsonArray Received() const {
        if (!QFile::exists(m_dir.filePath("log.jsonl")))
            return {};
        QProcess read;
        read.start(Python,
                   {Script(), "--leer", m_dir.filePath("log.jsonl"), "--carpeta", m_dir.path()});
        read.waitForFinished(30000);
        return QJsonDocument::fromJson(read.readAllStandardOutput()).array();
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port;
};

class MailTest : public InvoicingTest {
protected:
    // Branch 1's account: the given settings over the test's defaults.
    static void Account(int port, std::map<QString, QString> settings = {}) {
        std::map<QString, QString> all = {{"sEmailSvr", "127.0.0.1:" + QString::number(port)},
                                          {"sEmailUsr", "recepcion@olivo.example"},
                                          {"sEmailPwd", "Secreta-9x"},
                                          {"sEmailSeguridad", "starttls"},
                                          {"sEmailRemitente", "facturas@olivo.example"},
                                          {"sEmailCA", Certificates() + "/ca.pem"},
                                          {"sEmailTiempoMaximo", "5"}};
        for (const auto& [name, value] : settings)
            all[name] = value;
        Db().DeleteRecords("ConfiguracionSucursales", "nIdSucursal=1 AND sDato LIKE 'sEmail%'");
        for (const auto& [name, value] : all)
            Db().InsertRecord("ConfiguracionSucursales", "nIdSucursal,sDato,sValor",
                              "1," + U().SqlValue(name, 0, true) + "," +
                                  U().SqlValue(value, 0, true));
    }
    static QString Auth() { return "--usuario recepcion@olivo.example --clave Secreta-9x"; }
    // A new invoice of 12,10 € for a client whose address is mail.
    qint32 Invoice(const QString& mail = "cliente@correo.example") {
        const qint32 client = NewClient("Ana Núñez");
        Db().Execute("UPDATE Clientes SET sEmail=" + U().SqlValue(mail, 0, true) +
                     " WHERE nIdCliente=" + QString::number(client));
        AddItem(client, 1, 10, 21);
        w.client = QString::number(client);
        w.Accept({{"Efectivo", 12.1}});
        Generar_Factura(w);
        return Value("SELECT MAX(nIdFactura) FROM Facturas").toInt();
    }
    static QString Queue() {
        return Table("SELECT nIdFactura,sPara,sEstado,nIntentos FROM CorreosSalientes ORDER BY "
                     "nIdCorreo");
    }
};

} // namespace

TEST(AddressTest, ListsAreCheckedAddressByAddress) {
    const struct {
        const char* typed;
        const char* addresses; // joined by "|", or why the first one refused is
    } cases[] = {
        {" ana@olivo.example ; o'brien+f@sub.olivo.example; ",
         "ana@olivo.example|o'brien+f@sub.olivo.example"},
        {"", ""},
        {"ana maria@olivo.example", "contiene espacios"},
        {"ana@olivo.example\r\nBcc: x@y.example", "contiene un salto de línea"},
        {"ana@@olivo.example", "debe tener una sola @"},
        {"ana@olivo", "el dominio tras la @ no es válido"},
        {"ana.@olivo.example", "la parte anterior a la @ tiene caracteres no permitidos"},
        {"ana@olivo.example,luis@olivo.example", "debe tener una sola @"},
    };
    for (const auto& c : cases) {
        QString got;
        try {
            got = Mensaje::Direcciones(c.typed).join('|');
        } catch (const TvError& e) {
            got = e.Description();
        }
        const bool refused = QString(c.addresses).contains(' ');
        EXPECT_EQ(got, refused ? "La dirección de correo \"" + QString(c.typed).trimmed() +
                                     "\" no es válida: " + c.addresses + "."
                               : c.addresses)
            << c.typed;
    }
    Mensaje::Correo injected{
        "f@olivo.example", "", {"a@correo.example"}, {}, "Factura\r\nBcc: x@y.example", "", {}};
    try {
        Mensaje::Mime(injected, QDateTime::currentDateTime(), "1@olivo.example");
        ADD_FAILURE() << "a line end in the subject was taken";
    } catch (const TvError& e) {
        EXPECT_EQ(e.Description(), "El campo Asunto no puede contener saltos de línea.");
    }
}

// The message as received, over both kinds of encryption: envelope, decoded headers, body and
// the invoice's PDF, whole; typed text with quotes and accents goes through intact.
TEST_F(MailTest, TheInvoiceArrivesAsSentOverStarttlsAndTls) {
    const QString clinic = "Clínica Veterinaria «El Olivo» de \"Los Ángeles\" — Huesca y Jaca";
    Db().Execute("UPDATE ConfiguracionEmpresa SET sNombre=" + U().SqlValue(clinic, 0, true));
    for (const char* security : {"starttls", "tls"}) {
        SCOPED_TRACE(security);
        Servidor server({"--seguridad", security, "--usuario", "recepcion@olivo.example", "--clave",
                         "Secreta-9x"});
        Account(server.Port(), {{"sEmailSeguridad", security}});
        Db().InsertRecord("ConfiguracionSucursales", "nIdSucursal,sDato,sValor",
                          "1,'sEmailPlantilla','Hola:\nFactura {numero} del {fecha}: {total}.\n"
                          "{clinica}'");
        const qint32 id = Invoice();
        const QString number =
            Value("SELECT sFactura FROM Facturas WHERE nIdFactura=" + QString::number(id))
                .toString();
        const int date =
            Value("SELECT dFactura FROM Facturas WHERE nIdFactura=" + QString::number(id)).toInt();
        const auto [status, said] =
            RunTool("tvCorreo", {"factura", QString::number(id), "--cc", "o'brien@otro.example"});
        EXPECT_EQ(status, 0) << said.toStdString();
        EXPECT_TRUE(said.contains("enviado: ")) << said.toStdString();
        const QJsonArray received = server.Received();
        ASSERT_EQ(received.size(), 1);
        QJsonObject message = received[0].toObject();
        const QString messageId = message.take("message_id").toString();
        EXPECT_TRUE(messageId.startsWith('<') && messageId.endsWith("@olivo.example>"))
            << messageId.toStdString();
        QJsonArray attachments = message.take("adjuntos").toArray();
        ASSERT_EQ(attachments.size(), 1);
        QJsonObject pdf = attachments[0].toObject();
        EXPECT_EQ(RunProgram("qpdf", {"--check", pdf.take("archivo").toString()})
                      .contains("No syntax or stream encoding errors"),
                  true);
        const QString day =
            QString::asprintf("%02d/%02d/%04d", date % 100, date / 100 % 100, date / 10000);
        EXPECT_EQ(QJsonDocument(message).toJson(QJsonDocument::Compact).toStdString(),
                  QJsonDocument(QJsonObject{{"id", "Q1"},
                                            {"sobre", QJsonArray{"facturas@olivo.example",
                                                                 "cliente@correo.example",
                                                                 "o'brien@otro.example"}},
                                            {"from", "\"" + QString(clinic).replace('"', "\\\"") +
                                                         "\" <facturas@olivo.example>"},
                                            {"to", "cliente@correo.example"},
                                            {"cc", "o'brien@otro.example"},
                                            {"subject", "Factura " + number + " — " + clinic},
                                            {"date_ok", true},
                                            {"body", "Hola:\r\nFactura " + number + " del " + day +
                                                         ": 12,10 €.\r\n" + clinic}})
                      .toJson(QJsonDocument::Compact)
                      .toStdString());
        EXPECT_EQ(QJsonDocument(pdf).toJson(QJsonDocument::Compact).toStdString(),
                  "{\"nombre\":\"" + ColaCorreo::NombreArchivo(number, "pdf").toStdString() +
                      "\",\"tipo\":\"application/pdf\"}");
        EXPECT_EQ(Value("SELECT sEstado || ' ' || sRespuesta FROM CorreosSalientes WHERE "
                        "nIdFactura=" +
                        QString::number(id))
                      .toString(),
                  "aceptado 250 OK queued as Q1");
    }
}

// Whatever the server or its certificate does wrong, the message stays queued with the cause
// and the password shows nowhere: not in what is said, not in the queue.
TEST_F(MailTest, AFailureKeepsTheMessageQueuedWithItsCause) {
    const struct {
        const char* server;  // the server's options
        const char* cert;    // its certificate
        const char* setting; // one setting of the account changed, "name=value"
        const char* cause;
    } cases[] = {
        {"--rechazar nadie@correo.example", "server", "",
         "El servidor de correo ha rechazado el mensaje. El servidor respondió: 550 5.1.1 "
         "<nadie@correo.example>: Recipient address rejected: User unknown"},
        {"", "server", "sEmailPwd=Equivocada",
         "El servidor de correo ha rechazado el usuario o la contraseña de la sucursal. El "
         "servidor respondió: 535 5.7.8 Authentication credentials invalid"},
        {"", "otra", "", "El certificado del servidor de correo 127.0.0.1:%1 no es válido"},
        {"", "server", "sEmailCA=",
         "El certificado del servidor de correo 127.0.0.1:%1 no es "
         "válido"},
        {"--seguridad ninguna", "server", "",
         "El servidor de correo 127.0.0.1:%1 no ofrece conexión cifrada (STARTTLS); no se le "
         "envía nada."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.server + std::string(" ") + c.cert + " " + c.setting);
        Servidor server(QString(c.server).split(' ', Qt::SkipEmptyParts) + Auth().split(' '),
                        FreePort(), c.cert);
        const QStringList setting = QString(c.setting).split('=');
        Account(server.Port(), setting.size() == 2
                                   ? std::map<QString, QString>{{setting[0], setting[1]}}
                                   : std::map<QString, QString>{});
        Db().Execute("DELETE FROM CorreosSalientes");
        const qint32 id = Invoice();
        const auto [status, said] =
            RunTool("tvCorreo", {"factura", QString::number(id), "--para",
                                 "cliente@correo.example;nadie@correo.example"});
        const QString cause = QString(c.cause).replace("%1", QString::number(server.Port()));
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(said.contains("en cola: ") && said.contains(cause)) << said.toStdString();
        EXPECT_EQ(server.Received().size(), 0);
        EXPECT_EQ(Queue(),
                  QString::number(id) + "|cliente@correo.example;nadie@correo.example|pendiente|1");
        EXPECT_TRUE(
            Value("SELECT sUltimoError FROM CorreosSalientes").toString().startsWith(cause));
        EXPECT_EQ(Count("CorreosSalientes", "sMensaje||sUltimoError||sRespuesta||sPara LIKE "
                                            "'%Secreta-9x%'"),
                  0);
        EXPECT_FALSE(said.contains("Secreta-9x"));
    }
}

// Eight desks queue at once while the server is down; once it is up, three senders at once
// deliver every message exactly once.
TEST_F(MailTest, EightDesksQueueWhileTheServerIsDownAndEachMessageGoesOnce) {
    const int port = FreePort();
    Account(port);
    std::vector<qint32> invoices;
    for (int k = 0; k < 8; ++k)
        invoices.push_back(Invoice(QString("desk%1@correo.example").arg(k)));
    Db().Close();
    auto together = [](const std::vector<QStringList>& runs) {
        std::vector<std::unique_ptr<QProcess>> desks;
        for (const QStringList& arguments : runs) {
            desks.push_back(std::make_unique<QProcess>());
            desks.back()->start(qEnvironmentVariable("TV_BIN_DIR") + "/tvCorreo", arguments);
        }
        QStringList said;
        for (const auto& desk : desks) {
            desk->waitForFinished(120000);
            said << QString::number(desk->exitCode()) + " " +
                        QString::fromUtf8(desk->readAllStandardOutput()).section(':', 0, 0);
        }
        return said;
    };
    std::vector<QStringList> queueing;
    for (const qint32 id : invoices)
        queueing.push_back({"--ini", suite.IniPath(), "factura", QString::number(id)});
    EXPECT_EQ(together(queueing), QStringList(8, "0 en cola"));
    Servidor server(Auth().split(' '), port);
    const QStringList sender = {"--ini", suite.IniPath(), "enviar"};
    together({sender, sender, sender});
    suite.SignIn();
    QStringList received;
    for (const QJsonValue m : server.Received())
        received << m.toObject()["to"].toString();
    received.sort();
    QStringList expected;
    for (int k = 0; k < 8; ++k)
        expected << QString("desk%1@correo.example").arg(k);
    EXPECT_EQ(received, expected);
    EXPECT_EQ(Table("SELECT sEstado,COUNT(*),MIN(nIntentos),MAX(nIntentos) FROM "
                    "CorreosSalientes GROUP BY sEstado"),
              "aceptado|8|2|2");
}

// A sender killed while the server holds its message: nobody sends it again on their own; it is
// held as doubtful until somebody asks for it again.
TEST_F(MailTest, ASenderKilledAfterTheContentWentOutDoesNotSendTwice) {
    Servidor server(Auth().split(' ') + QStringList{"--retener", "30"});
    Account(server.Port(), {{"sEmailTiempoMaximo", "60"}});
    const qint32 id = Invoice();
    Db().Close();
    QProcess desk;
    desk.start(qEnvironmentVariable("TV_BIN_DIR") + "/tvCorreo",
               {"--ini", suite.IniPath(), "factura", QString::number(id)});
    for (int wait = 0; wait < 300 && server.Received().isEmpty(); ++wait)
        QThread::msleep(100);
    desk.kill();
    desk.waitForFinished();
    suite.SignIn();
    const auto [status, said] = RunTool("tvCorreo", {"enviar"});
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(said.contains("dudoso: El envío se interrumpió después de entregar el contenido"))
        << said.toStdString();
    EXPECT_EQ(server.Received().size(), 1);
    EXPECT_EQ(Queue(), QString::number(id) + "|cliente@correo.example|dudoso|1");
}

// The viewer's compose dialog without the suite's mail module: filled from the invoice; a wrong
// address is said and nothing is queued; once right, the message goes with the shown PDF.
TEST_F(MailTest, TheComposeDialogRefusesAWrongAddressAndThenSends) {
    Servidor server(Auth().split(' '));
    Account(server.Port());
    const qint32 id = Invoice("ana@correo.example");
    suite.Ui().Shown.clear();
    CorreoFactura dialog(id, "%PDF-1.4 documento mostrado");
    EXPECT_EQ((QStringList{dialog.txtPara->text(), dialog.txtAsunto->text().section(' ', 0, 0),
                           dialog.lblAdjunto->text().section(' ', 0, 0)}),
              (QStringList{"ana@correo.example", "Factura", "Factura"}));
    dialog.txtPara->setText("ana@correo.example; luis garcia@correo.example");
    dialog.cmdEnviar->click();
    EXPECT_EQ(Count("CorreosSalientes"), 0);
    dialog.txtPara->setText("ana@correo.example; luis@correo.example");
    dialog.cmdEnviar->click();
    EXPECT_EQ(suite.Ui().Shown,
              (QStringList{"[Correo electrónico] La dirección de correo \"luis "
                           "garcia@correo.example\" no es válida: contiene espacios.",
                           "[Correo electrónico] Factura enviada a "
                           "ana@correo.example;luis@correo.example."}));
    const QJsonArray received = server.Received();
    ASSERT_EQ(received.size(), 1);
    QFile pdf(received[0]["adjuntos"][0]["archivo"].toString());
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_EQ(pdf.readAll(), "%PDF-1.4 documento mostrado");
}

// Asked for, the signed e-invoice goes with the PDF; without the clinic's certificate the desk is
// told which setting is missing and nothing is queued.
TEST_F(MailTest, TheSignedEInvoiceGoesWithThePdfWhenTheCustomerAsks) {
    Servidor server(Auth().split(' '));
    Account(server.Port());
    const qint32 id = Invoice("ana@correo.example");
    suite.DropVeriFactuSection();
    suite.Ui().Shown.clear();
    CorreoFactura dialog(id, "%PDF-1.4 documento mostrado");
    dialog.chkFacturae->setChecked(true);
    dialog.cmdEnviar->click();
    EXPECT_EQ(Count("CorreosSalientes"), 0);
    ASSERT_EQ(suite.Ui().Shown.size(), 1);
    EXPECT_TRUE(suite.Ui().Shown[0].contains("Certificado y ClaveCertificado"));

    ASSERT_TRUE(MakeCertificate(suite.Root()));
    QFile ini(suite.IniPath());
    ASSERT_TRUE(ini.open(QIODevice::Append));
    ini.write("\n[VeriFactu]\nCertificado=../clinica.p12\nClaveCertificado=secreta\n");
    ini.close();
    // Facturae's own refusal is the desk's message too.
    dialog.cmdEnviar->click();
    EXPECT_EQ(Count("CorreosSalientes"), 0);
    EXPECT_TRUE(suite.Ui().Shown.last().contains("no tiene domicilio"))
        << suite.Ui().Shown.last().toStdString();
    Db().Execute("UPDATE Facturas SET sDomicilio='C/ Mayor 5',sPoblacion='Huesca',sProvincia="
                 "'Huesca',sCodigoPostal='22001' WHERE nIdFactura=" +
                 QString::number(id));
    dialog.cmdEnviar->click();
    const QJsonArray received = server.Received();
    ASSERT_EQ(received.size(), 1) << suite.Ui().Shown.join('\n').toStdString();
    const QJsonArray attachments = received[0]["adjuntos"].toArray();
    ASSERT_EQ(attachments.size(), 2);
    const QString number =
        Value("SELECT sFactura FROM Facturas WHERE nIdFactura=" + QString::number(id)).toString();
    EXPECT_EQ(attachments[1]["nombre"].toString(), ColaCorreo::NombreArchivo(number, "xsig"));
    QFile xsig(attachments[1]["archivo"].toString());
    ASSERT_TRUE(xsig.open(QIODevice::ReadOnly));
    const QString signed_ = QString::fromUtf8(xsig.readAll());
    EXPECT_TRUE(signed_.startsWith("<?xml") && signed_.contains("<fe:Facturae") &&
                signed_.contains("<xades:SignedProperties"))
        << signed_.left(400).toStdString();
}
