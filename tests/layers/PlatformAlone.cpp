// The whole platform without the session or any domain library: a grid controller shows the rows
// of a table the data layer reads, as a window of the module would.
#include "platform/data/DataAccess.h"
#include "platform/ui/widgets/GridController.h"

#include <QApplication>
#include <QTableView>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    DbConfig config;
    config.sqliteFile = dir.filePath("Tavelo.db");
    Db().Open(config);
    Db().ExecuteScript("CREATE TABLE Cajas (nIdCaja INTEGER PRIMARY KEY, sCaja TEXT);\n"
                       "INSERT INTO Cajas (sCaja) VALUES ('Caja general');\n"
                       "INSERT INTO Cajas (sCaja) VALUES ('Caja tarjetas');\n");
    QTableView view;
    GridController gd;
    gd.Attach(&view);
    QObject::connect(&gd, &GridController::evtBuildSQL, [](QString& sql, QString&) {
        sql = "SELECT nIdCaja AS [Id], sCaja AS [Caja] FROM Cajas ORDER BY nIdCaja";
    });
    gd.Refresh();
    const QString second = gd.CellText(2, "Caja");
    Db().Close();
    if (gd.RecordCount() != 2 || second != "Caja tarjetas") {
        std::fprintf(stderr, "the grid shows %d rows, the second \"%s\"\n", gd.RecordCount(),
                     qPrintable(second));
        return 1;
    }
    return 0;
}
