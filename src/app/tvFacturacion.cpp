#include "billing/Mainform.h"
#include "platform/ui/seam/Translations.h"
#include "platform/util/Utility.h"
#include "session/G.h"
#include "setup/SuiteSetup.h"

#include <QApplication>
#include <QStringList>

// The suite's menu passes the whole command line as one argument; a line typed by hand may arrive
// cut at its blanks, so the arguments are joined back together.
int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("tvFacturacion");
    InstallSpanishTranslations(app);
    Utility::RegisterRunningProgram("tvFacturacion");

    const QStringList arguments = QApplication::arguments().mid(1);
    return Main(arguments.join(' '), [] {
        // A data folder made by an older version gains the tables it lacks (the invoice
        // register among them) before anything is issued.
        SuiteSetup::UpdateSchema();
        return new Mainform;
    });
}
