// The invoice history's "Factura electrónica…": the file asked for and written on the spot,
// signed when the ini names the clinic's certificate, refused to a user without the right.
#include "FacturaeSupport.h"
#include "billing/BillingFixture.h"

#include "billing/FacturaElectronica.h"
#include "billing/FacturaHist.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "platform/ui/widgets/Frm.h"

#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QStandardPaths>

namespace {

QString ReadAll(const QString& file) {
    QFile in(file);
    return in.open(QIODevice::ReadOnly) ? QString::fromUtf8(in.readAll()) : QString();
}

class FacturaeWindowTest : public BillingTest {
protected:
    std::unique_ptr<FacturaHist> h;

    // The history of pet 1's client (0001/26 and 0011/26, the newest highlighted), and its
    // e-invoice button pressed with the file answered.
    void Press(const QString& file) {
        if (!h) {
            Open();
            ChoosePet(1);
            h = std::make_unique<FacturaHist>(*w);
            h->show();
        }
        suite.Ui().Files = {file};
        auto* button = h->Frame()->findChild<QPushButton*>("FacturaElectronica_BT");
        ASSERT_TRUE(button);
        button->click();
    }
};

TEST_F(FacturaeWindowTest, WritesTheHighlightedInvoiceSignedWhenTheIniNamesACertificate) {
    ScriptedUi& ui = suite.Ui();
    suite.DropVeriFactuSection();
    const QString xml = suite.Root() + "/ventana.xml";
    Press(xml);
    EXPECT_EQ(ui.Shown.last(), "[Aviso] Factura electrónica sin firmar escrita en " + xml + ".");
    EXPECT_TRUE(ReadAll(xml).contains("<InvoiceNumber>0011/25</InvoiceNumber>"));
    // The window stays open and makes no reprint or credit-note choice.
    EXPECT_TRUE(h->isVisible());
    EXPECT_EQ(w->nIdFactura_Historico, 0);

    if (QStandardPaths::findExecutable("openssl").isEmpty())
        GTEST_SKIP() << "openssl missing (scripts/deps installs it)";
    ASSERT_TRUE(MakeCertificate(suite.Root()));
    QFile ini(suite.IniPath());
    ASSERT_TRUE(ini.open(QIODevice::Append));
    ini.write("\n[VeriFactu]\nCertificado=../clinica.p12\nClaveCertificado=secreta\n");
    ini.close();
    const QString xsig = suite.Root() + "/ventana.xsig";
    Press(xsig);
    EXPECT_EQ(ui.Shown.last(), "[Aviso] Factura electrónica firmada escrita en " + xsig + ".");
    EXPECT_TRUE(ReadAll(xsig).contains("<xades:SignedProperties"));

    // A wrong password in the ini: said, nothing written.
    const QString text = ReadAll(suite.IniPath());
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write(QString(text).replace("ClaveCertificado=secreta", "ClaveCertificado=mala").toUtf8());
    ini.close();
    const QString bad = suite.Root() + "/mala.xsig";
    Press(bad);
    EXPECT_EQ(ui.Shown.last(), "[Error] La contraseña del certificado " + suite.Root() +
                                   "/clinica.p12 no es correcta.");
    EXPECT_FALSE(QFile::exists(bad));
}

TEST_F(FacturaeWindowTest, UserWithoutTheRightIsRefused) {
    suite.SignIn("recepcion", "");
    const QString xml = suite.Root() + "/sin-permiso.xml";
    suite.Ui().Files = {xml};
    FacturaElectronica::Pedir(1);
    EXPECT_EQ(suite.Ui().Shown.last(), "[Aviso] No tiene permiso para realizar esta operación.");
    EXPECT_EQ(suite.Ui().Files.size(), 1u);
    EXPECT_FALSE(QFile::exists(xml));
}

} // namespace
