// Facturae e-invoices: the demo's documents and rectifying invoices written, validated against
// the published schema and added up again from the file; refusals that write nothing; signed
// files checked by xmlsec1.
#include "FacturaeSupport.h"
#include "invoicing/InvoicingFixture.h"

#include "facturae/FacturaeArchivo.h"
#include "facturae/FacturaeEscritura.h"
#include "facturae/FirmaXades.h"
#include "invoicing/core/IssuedDocument.h"
#include "setup/HistoryWriter.h"

#include <QDomDocument>
#include <QFile>
#include <QStandardPaths>

namespace {

QString Schemas() {
    return qEnvironmentVariable("TV_SOURCE_DIR") + "/tests/facturae/schemas";
}

QByteArray ReadAll(const QString& file) {
    QFile in(file);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

void WriteAll(const QString& file, const QByteArray& bytes) {
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bytes);
}

// What xmllint says against the stored schema, offline; empty when every file is valid.
QString SchemaErrors(const QStringList& files) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XML_CATALOG_FILES", Schemas() + "/catalog.xml");
    const auto [status, said] = Launch(
        "xmllint",
        QStringList{"--nonet", "--noout", "--schema", Schemas() + "/Facturaev3_2_2.xsd"} + files,
        env);
    return status == 0 ? QString() : said;
}

Money Amount(const QDomElement& element) {
    return Money::FromDouble(element.text().toDouble());
}

// The sum of `name`'s TotalAmount (or text) over the children `parent`/`child` of e.
Money Sum(const QDomElement& e, const QString& child, const QString& name) {
    Money sum;
    for (QDomElement c = e.firstChildElement(child); !c.isNull(); c = c.nextSiblingElement(child)) {
        const QDomElement value = c.firstChildElement(name);
        sum += Amount(value.firstChildElement("TotalAmount").isNull()
                          ? value
                          : value.firstChildElement("TotalAmount"));
    }
    return sum;
}

QString Figures(const QString& number, std::initializer_list<Money> amounts) {
    QStringList texts{number};
    for (Money m : amounts)
        texts << m.Text();
    return texts.join(' ');
}

// One document's figures as the file states them: the breakdown's bases and taxes, the lines'
// amounts, then the totals and the payments.
QString FiguresOfFile(const QString& file) {
    QDomDocument xml;
    xml.setContent(ReadAll(file));
    const QDomElement invoice =
        xml.documentElement().firstChildElement("Invoices").firstChildElement("Invoice");
    const QDomElement totals = invoice.firstChildElement("InvoiceTotals");
    const QDomElement header = invoice.firstChildElement("InvoiceHeader");
    const auto total = [&](const char* name) { return Amount(totals.firstChildElement(name)); };
    return Figures(
        header.firstChildElement("InvoiceSeriesCode").text() +
            header.firstChildElement("InvoiceNumber").text(),
        {Sum(invoice.firstChildElement("TaxesOutputs"), "Tax", "TaxableBase"),
         Sum(invoice.firstChildElement("TaxesOutputs"), "Tax", "TaxAmount"),
         Sum(invoice.firstChildElement("Items"), "InvoiceLine", "GrossAmount"),
         total("TotalGrossAmount"), total("TotalGeneralDiscounts"),
         total("TotalGrossAmountBeforeTaxes"), total("TotalTaxOutputs"), total("InvoiceTotal"),
         Sum(xml.documentElement().firstChildElement("FileHeader"), "Batch", "TotalInvoicesAmount"),
         Sum(invoice.firstChildElement("PaymentDetails"), "Installment", "InstallmentAmount")});
}

// The same figures from the read model: the lines add up to the stored bases, the discount is
// what the breakdown takes off them, base + tax is the amount due, and the payments count as far
// as they cover it.
QString FiguresOfModel(const IssuedDocument& d) {
    Money lines;
    for (const DocumentAmounts::Slot& slot : d.importes.slots)
        lines += slot.nBi;
    const Money paid =
        std::llabs(d.Paid().Cents()) < std::llabs(d.AmountDue().Cents()) ? d.Paid() : d.AmountDue();
    return Figures(d.sFactura,
                   {d.desglose.Base(), d.desglose.Cuota(), lines, lines, lines - d.desglose.Base(),
                    d.desglose.Base(), d.desglose.Cuota(), d.AmountDue(), d.AmountDue(), paid});
}

class FacturaeTest : public InvoicingTest {
protected:
    // A rectifying invoice of a new invoice of one line per (units, price, rate), issued on
    // `day` by the front desk, with reason sMotivo and the user's text.
    static std::pair<qint32, qint32>
    InvoiceAndCreditNote(qint32 day, const std::vector<std::array<double, 3>>& lines,
                         double discount, const QString& sMotivo, const QString& sTexto) {
        const qint32 client = NewClient("Lucía Pérez Gil");
        for (const auto& [units, price, rate] : lines)
            AddItem(client, units, price, rate);
        HistoryWriter::Sale sale;
        sale.nIdCliente = client;
        sale.dFactura = day;
        sale.nDescuento = Money::FromDouble(discount);
        const qint32 invoice = HistoryWriter().Invoice(sale);
        const qint32 credit = HistoryWriter().CreditNote(invoice, day + 1, 1);
        // Issued with the default reason, as the window's confirmation proposes it.
        Db().UpdateRecord("FacturasRectificativas", "sMotivo,sTextoMotivo",
                          "'" + sMotivo + "','" + sTexto + "'",
                          "nIdFactura=" + QString::number(credit));
        return {invoice, credit};
    }

    // Document nIdFactura written to `file`; the refusal's message, or empty.
    static QString Write(qint32 nIdFactura, const QString& file,
                         const FacturaeArchivo::Certificado& firma = {}) {
        try {
            FacturaeArchivo::Escribir(nIdFactura, file, firma);
            return {};
        } catch (const TvError& e) {
            return e.Description();
        }
    }
};

// Every document of the demo, invoices and the rectifying one, is valid and states the read
// model's figures to the cent; the discounted invoice shows its discount before tax.
TEST_F(FacturaeTest, DemoDocumentsAreValidAndAddUp) {
    InvoiceAndCreditNote(
        20260301, {{3, 9.99, 21}, {1, 0.125, 10}, {1, 0.125, 10}, {1, 0.125, 10}, {2, 0.333, 4}},
        2.5, "R1", "");
    QStringList files, fromFiles, fromModel;
    // Simplified invoices and their rectifications name no recipient, so Facturae is not for them,
    // nor for a cancelled invoice.
    const Rows ids = Db().GetRows(
        "SELECT nIdFactura FROM Facturas f WHERE COALESCE(sTipoFactura,'') NOT IN ('F2','R5') AND "
        "NOT EXISTS (SELECT 1 FROM FacturasAnuladas a WHERE a.nIdFactura=f.nIdFactura) ORDER BY "
        "nIdFactura");
    EXPECT_EQ(
        Write(Db().GetRows("SELECT MIN(nIdFactura) FROM FacturasAnuladas").Value(0, 0).toInt(),
              suite.Root() + "/anulada.xml"),
        "La factura A0015/25 está anulada: no se emite como factura electrónica (Facturae).");
    for (int r = 0; r < ids.RowCount(); ++r) {
        const qint32 id = ids.Value(0, r).toInt();
        files << suite.Root() + QString("/f%1.xml").arg(id);
        ASSERT_EQ(Write(id, files.last()), "") << id;
        fromFiles << FiguresOfFile(files.last());
        fromModel << FiguresOfModel(*IssuedDocument::Load(id));
    }
    EXPECT_EQ(SchemaErrors(files), "");
    EXPECT_EQ(fromFiles.join('\n'), fromModel.join('\n'));
    EXPECT_GT(fromFiles.size(), 16);
    EXPECT_TRUE(
        fromFiles.contains("A0009/25 35.52 7.46 38.00 38.00 2.48 35.52 7.46 42.98 42.98 42.98"))
        << fromFiles.join('\n').toStdString();
}

// A rectifying invoice names the invoice it rectifies, the reason in the format's codes, the
// quarter of the rectified invoice and correction by differences; its lines are the units given
// back at the price they were sold.
TEST_F(FacturaeTest, RectifyingInvoiceNamesInvoiceAndReason) {
    const auto [invoice, credit] =
        InvoiceAndCreditNote(20260514, {{2, 12.5, 21}}, 0, "R2", "Cliente en concurso");
    const QString file = suite.Root() + "/r.xml";
    ASSERT_EQ(Write(credit, file), "");
    EXPECT_EQ(SchemaErrors({file}), "");
    QDomDocument xml;
    xml.setContent(ReadAll(file));
    const QDomElement document =
        xml.documentElement().firstChildElement("Invoices").firstChildElement("Invoice");
    const QDomElement header = document.firstChildElement("InvoiceHeader");
    QStringList texts;
    for (QDomElement e = header.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        texts << (e.tagName() == "Corrective" ? "[" : "") + e.text();
    const IssuedDocument rectified = *IssuedDocument::LoadHeader(invoice);
    const IssuedDocument d = *IssuedDocument::LoadHeader(credit);
    EXPECT_EQ(texts.join('|'),
              // Facturae gives the series apart: RA and A.
              d.sFactura.mid(2) + "|RA|FC|OR|[" + rectified.sFactura.mid(1) + "A" +
                  "85Base imponible modificada cuotas repercutidas no satisfechas. Auto de "
                  "declaración de concurso2026-04-012026-06-3002Rectificación por diferenciasR2: "
                  "Cliente en concurso2026-05-14");
    const QDomElement line = document.firstChildElement("Items").firstChildElement("InvoiceLine");
    EXPECT_EQ(line.firstChildElement("Quantity").text() + " x " +
                  line.firstChildElement("UnitPriceWithoutTax").text() + " = " +
                  line.firstChildElement("GrossAmount").text(),
              "-2.00 x 12.50 = -25.00");
}

// What the format cannot carry is refused with a message that says what to correct, and a file
// already there stays as it was.
TEST_F(FacturaeTest, RefusalsWriteNothing) {
    const QString file = suite.Root() + "/antes.xml";
    // Each change is made in a transaction that is rolled back once the file was asked for.
    const char* const changes[] = {
        "UPDATE Facturas SET sDni='' WHERE nIdFactura=1",
        "UPDATE Facturas SET sProvincia=' ' WHERE nIdFactura=1",
        "UPDATE Facturas SET sCodigoPostal='5003' WHERE nIdFactura=1",
        "UPDATE Facturas SET sCliente='Ana' WHERE nIdFactura=1",
        "UPDATE ConfiguracionEmpresa SET sNif=''",
        "UPDATE ConfiguracionEmpresa SET sProvincia=''",
        "UPDATE Facturas SET nTotal=1e16 WHERE nIdFactura=1",
    };
    QStringList said;
    for (const char* change : changes) {
        WriteAll(file, "antes");
        Db().Transaction(TransactionStep::Begin);
        Db().Execute(change);
        said << Write(1, file);
        Db().Transaction(TransactionStep::Rollback);
        EXPECT_EQ(ReadAll(file), "antes") << change;
    }
    EXPECT_EQ(said.join('\n'),
              "El cliente de la factura A0001/25 no tiene NIF: una factura electrónica se emite "
              "solo entre partes identificadas por su NIF.\n"
              "El cliente de la factura A0001/25 no tiene provincia: una factura electrónica "
              "necesita la dirección completa de las dos partes.\n"
              "El cliente de la factura A0001/25 tiene un código postal que no es de cinco cifras "
              "(\"5003\").\n"
              "El cliente de la factura A0001/25 es una persona y su nombre no lleva apellidos "
              "(\"Ana\").\n"
              "La clínica no tiene NIF: una factura electrónica se emite solo entre partes "
              "identificadas por su NIF.\n"
              "La clínica no tiene provincia: una factura electrónica necesita la dirección "
              "completa de las dos partes.\n"
              "El importe 10000000000000000.00 es demasiado grande para una factura electrónica.");
    EXPECT_EQ(Write(1, file), "");
    EXPECT_EQ(SchemaErrors({file}), "");
}

class FacturaeFirmaTest : public FacturaeTest {
protected:
    QString cert, p12;

    void SetUp() override {
        FacturaeTest::SetUp();
        if (QStandardPaths::findExecutable("xmlsec1").isEmpty() ||
            QStandardPaths::findExecutable("openssl").isEmpty())
            GTEST_SKIP() << "xmlsec1 or openssl missing (scripts/deps installs them)";
        cert = suite.Root() + "/clinica.pem";
        p12 = suite.Root() + "/clinica.p12";
        ASSERT_TRUE(MakeCertificate(suite.Root()));
    }

    std::pair<int, QString> Verify(const QString& file) const {
        return Launch("xmlsec1", {"--verify", "--trusted-pem", cert, "--id-attr:Id",
                                  "SignedProperties", file});
    }
};

// tvFacturae signs with the certificate: xmlsec1 verifies the file with the certificate that
// its KeyInfo carries, the policy is named with its digest, the file is still valid Facturae;
// a changed amount or a changed signing time breaks the signature.
TEST_F(FacturaeFirmaTest, SignedFileVerifiesAndTamperingBreaksIt) {
    const QString file = suite.Root() + "/f.xsig";
    const QString password = suite.Root() + "/clave.txt";
    WriteAll(password, "secreta\n");
    Db().Close();
    const auto [status, said] = Launch(qEnvironmentVariable("TV_BIN_DIR") + "/tvFacturae",
                                       {"--ini", suite.IniPath(), "--factura", "10", "--firmar",
                                        p12, "--clave-archivo", password, "--out", file});
    suite.SignIn();
    ASSERT_EQ(status, 0) << said.toStdString();
    EXPECT_EQ(Verify(file).first, 0) << Verify(file).second.toStdString();
    EXPECT_EQ(SchemaErrors({file}), "");
    const QString text = QString::fromUtf8(ReadAll(file));
    for (const QString& carried :
         {"<xades:Identifier>" + FirmaXades::Politica + "</xades:Identifier>",
          "<ds:DigestValue>" + FirmaXades::HuellaPolitica + "</ds:DigestValue>",
          QString("<xades:SigningTime>"), QString("<ds:X509SerialNumber>"),
          QString("<ds:X509Certificate>MII")})
        EXPECT_TRUE(text.contains(carried)) << carried.toStdString();
    EXPECT_EQ(FiguresOfFile(file), FiguresOfModel(*IssuedDocument::Load(10)));

    const std::pair<QString, QString> tamperings[] = {
        {"<InvoiceTotal>42.98</InvoiceTotal>", "<InvoiceTotal>4.98</InvoiceTotal>"},
        {"<xades:SigningTime>", "<xades:SigningTime>1"},
    };
    for (const auto& [from, to] : tamperings) {
        ASSERT_TRUE(text.contains(from)) << from.toStdString();
        const QString tampered = suite.Root() + "/cambiado.xsig";
        WriteAll(tampered, QString(text).replace(from, to).toUtf8());
        EXPECT_NE(Verify(tampered).first, 0) << from.toStdString();
    }
}

// A certificate that cannot be used is said and nothing is written: a missing file, one that
// is no certificate, one cut short, a wrong password, a certificate expired at the time of
// signing.
TEST_F(FacturaeFirmaTest, UnusableCertificateWritesNothing) {
    const QString file = suite.Root() + "/f.xsig";
    const QString garbage = suite.Root() + "/basura.p12", cut = suite.Root() + "/cortado.p12";
    WriteAll(garbage, "no es un certificado");
    const QByteArray whole = ReadAll(p12);
    WriteAll(cut, whole.left(whole.size() / 2));
    QStringList said;
    for (const auto& [path, password] :
         std::vector<std::pair<QString, QString>>{{suite.Root() + "/no.p12", "secreta"},
                                                  {garbage, "secreta"},
                                                  {cut, "secreta"},
                                                  {p12, "mala"}})
        said << Write(10, file, {path, password});
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_EQ(said.join('\n').replace(suite.Root(), "~"),
              "No se encuentra el certificado ~/no.p12.\n"
              "El archivo ~/basura.p12 no es un certificado PKCS#12 (.p12 o .pfx).\n"
              "El certificado ~/cortado.p12 está dañado o incompleto: cópielo de nuevo desde el "
              "original.\n"
              "La contraseña del certificado ~/clinica.p12 no es correcta.");
    try {
        FirmaXades::Firmar("<a/>", p12, "secreta", QDateTime::currentDateTime().addDays(31));
        ADD_FAILURE() << "an expired certificate signed";
    } catch (const TvError& e) {
        EXPECT_TRUE(e.Description().contains("caducó el")) << e.Description().toStdString();
    }
}

// The certificate's password never stands on the command line, where every user of the computer
// reads it in the list of processes: it comes from standard input or from a file's first line.
TEST_F(FacturaeFirmaTest, ThePasswordComesFromStandardInputOrAFileNeverFromTheCommandLine) {
    const QString file = suite.Root() + "/f.xsig", wrong = suite.Root() + "/mala.txt";
    WriteAll(wrong, "mala");
    const struct {
        QStringList options;
        QByteArray input;
        int status;
        QString said;
    } cases[] = {
        {{"--clave", "secreta"}, "", 2, "tvFacturae: --clave no se admite: una contraseña escrita"},
        {{"--clave-archivo", wrong},
         "",
         1,
         "La contraseña del certificado " + p12 + " no es correcta."},
        {{"--clave-stdin"}, "secreta\nresto", 0, "factura electrónica escrita en " + file},
    };
    Db().Close();
    for (const auto& c : cases) {
        QProcess tool;
        tool.setProcessChannelMode(QProcess::MergedChannels);
        tool.start(qEnvironmentVariable("TV_BIN_DIR") + "/tvFacturae",
                   QStringList{"--ini", suite.IniPath(), "--factura", "10", "--firmar", p12,
                               "--out", file} +
                       c.options);
        tool.write(c.input);
        tool.closeWriteChannel();
        ASSERT_TRUE(tool.waitForFinished(60000));
        const QString said = QString::fromUtf8(tool.readAll());
        EXPECT_EQ(std::make_pair(tool.exitCode(), said.contains(c.said) ? c.said : said),
                  std::make_pair(c.status, c.said));
        EXPECT_EQ(QFile::exists(file), c.status == 0);
    }
}

} // namespace
