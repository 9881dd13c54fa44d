// F1 in every window opens the help's page of that window, from the pages the build ships.
#include "BillingFixture.h"

#include "billing/AcercaDe.h"
#include "billing/CajaDialogo.h"
#include "billing/CodigoProducto.h"
#include "billing/ConfirmacionAbono.h"
#include "billing/FacturaHist.h"
#include "billing/SustitucionSimplificadas.h"
#include "payment/FacturaInfo.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "reports/Viewer.h"
#include "session/Ayuda.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace {

// Stands for the desktop's browser: keeps the addresses it is asked to open.
class Navegador : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void Abrir(const QUrl& url) { urls << url; }
};

// The page and anchor an address names, as found on disk: "(no existe)" when the file or the
// anchor is missing.
QString Encontrada(const QUrl& url) {
    QFile file(url.toLocalFile());
    const QString name =
        QFileInfo(file).fileName() + (url.hasFragment() ? "#" + url.fragment() : "");
    if (!file.open(QIODevice::ReadOnly))
        return name + " (no existe)";
    const QByteArray html = file.readAll();
    const bool anchored =
        !url.hasFragment() || html.contains("id=\"" + url.fragment().toUtf8() + "\"");
    return name + (anchored && html.contains("<html lang=\"es\">") ? "" : " (no existe)");
}

TEST_F(BillingTest, F1OpensTheHelpPageOfEachWindow) {
    Open();
    Navegador navegador;
    QDesktopServices::setUrlHandler("file", &navegador, "Abrir");
    quint8 layout = 0;
    FacturaInfo payment("1", "Ana García López", layout, w.get());
    FacturaHist history(*w);
    CodigoProducto byCode(*w);
    CajaDialogo caja(1, w.get());
    AcercaDe about(w.get());
    Viewer viewer(w.get());
    ConfirmacionAbono refund(
        "A0001/27", "Ana García López", {}, {"Efectivo"}, "Efectivo",
        [](const std::vector<LineaAbono>&) { return ImportesRectificacion{}; }, w.get());
    SustitucionSimplificadas replacement(1, 0, w.get());
    const std::pair<QWidget*, const char*> windows[] = {
        {w.get(), "facturacion.html"},
        {&payment, "cobro.html"},
        {&history, "historial.html"},
        {&byCode, "facturacion.html#por-codigo"},
        {&caja, "caja.html"},
        {&about, "registro.html#declaracion"},
        {&viewer, "facturacion.html#vista-preliminar"},
        {&refund, "historial.html#rectificar"},
        {&replacement, "historial.html#sustituir"},
    };
    QStringList opened, expected;
    for (const auto& [window, page] : windows) {
        window->show();
        QApplication::processEvents();
        QTest::keyClick(window->focusWidget() ? window->focusWidget() : window, Qt::Key_F1);
        expected << page;
        opened << (navegador.urls.size() == 1 ? Encontrada(navegador.urls.takeFirst())
                                              : QString::number(navegador.urls.size()));
        navegador.urls.clear();
        if (window != w.get())
            window->hide();
    }
    // A page missing from the installation says where it was looked for.
    suite.Ui().Shown.clear();
    Ayuda::Abrir("falta.html");
    QDesktopServices::unsetUrlHandler("file");
    EXPECT_EQ(opened.join('\n').toStdString(), expected.join('\n').toStdString());
    EXPECT_TRUE(navegador.urls.isEmpty());
    EXPECT_EQ(suite.Ui().Shown.join('\n').toStdString(),
              ("[Aviso] No se encuentra la ayuda (falta.html). Se ha buscado en:\n" +
               Ayuda::Carpetas().join('\n'))
                  .toStdString());
}

} // namespace

#include "AyudaTest.moc"
