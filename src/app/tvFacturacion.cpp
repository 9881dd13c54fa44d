// tvFacturacion "USUARIO:CLAVE|FECHA|Tavelo.ini|N1..": the billing window, from the suite's menu.

#include "app/Tool.h"
#include "billing/Mainform.h"
#include "platform/data/DataAccess.h"
#include "platform/ui/seam/Translations.h"
#include "platform/ui/seam/Ui.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "register/EventosSif.h"
#include "register/FirmaRegistro.h"
#include "register/ModoRegistro.h"
#include "session/G.h"
#include "session/Gi.h"
#include "setup/SuiteSetup.h"

#include <QApplication>
#include <QStringList>

// The suite's menu passes the whole command line as one argument; a line typed by hand may arrive
// cut at its blanks, so the arguments are joined back together.
int main(int argc, char* argv[]) {
    // Asked before any window exists, so that a package's checks and its manual page can run
    // the program on a machine with no screen and no clinic.
    if (argc == 2 && QString(argv[1]) == "--version") {
        Print(stdout, "tvFacturacion " TV_VERSION);
        return 0;
    }
    if (argc == 2 && (QString(argv[1]) == "--help" || QString(argv[1]) == "-h")) {
        Print(stdout, "Uso: tvFacturacion \"USUARIO:CLAVE|FECHA|Tavelo.ini|N1|N2|N3|N4\"\n"
                      "  USUARIO:CLAVE  el usuario que factura y su contraseña\n"
                      "  FECHA          la fecha de trabajo, aaaammdd (vacía: hoy)\n"
                      "  Tavelo.ini     el archivo de inicio de la suite (vacío: el de la "
                      "carpeta de la suite)\n"
                      "  N1             la ficha del cliente que se abre (0: ninguna)\n"
                      "       tvFacturacion --version");
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("tvFacturacion");
    InstallSpanishTranslations(app);
    Utility::RegisterRunningProgram("tvFacturacion");

    const QStringList arguments = QApplication::arguments().mid(1);
    return Main(arguments.join(' '), [] {
        // A data folder made by an older version gains the tables it lacks (the invoice
        // register among them) before anything is issued.
        SuiteSetup::UpdateSchema();
        // Without a certificate that can sign, the register cannot keep its records: said once
        // here, and every invoice refused until the ini names one.
        if (const QString problema = FirmaRegistro::Configurar(Gi.sPathIni); !problema.isEmpty())
            Ui::current().Message("tvFacturacion", problema, Ui::Icon::Exclamation);
        // A change of mode is the data's to remember, and one back not always allowed.
        if (const QString problema = ModoRegistro::Comprobar(Gi.sPathIni); !problema.isEmpty())
            Ui::current().Message("tvFacturacion", problema, Ui::Icon::Exclamation);
        // The event log sees each run begin and, when it ends in order, end.
        const QString carpeta = DbConfig::DataFolder(Gi.sPathIni);
        EventosSif::Arrancar(carpeta);
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, [carpeta] {
            // An end that cannot be logged is one that never came: the next start says so.
            try {
                EventosSif::Terminar(carpeta);
            } catch (const TvError&) {
            }
        });
        return new Mainform;
    });
}
