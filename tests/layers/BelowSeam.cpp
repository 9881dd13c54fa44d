// Utility, data and the report component without the ui seam, the widgets or the domain. Run, it
// finds a database through an ini file, leaves a transaction open and ends as the program does:
// the data layer's own clean-up step rolls the transaction back and closes the connection.
#include "platform/data/DataAccess.h"
#include "platform/util/ProgramEnd.h"
#include "platform/util/Utility.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString ini = dir.filePath("Tavelo.ini");
    QFile file(ini);
    if (!file.open(QIODevice::WriteOnly) || file.write("[database]\nengine = SQLite\n") < 0)
        return 1;
    file.close();

    const DbConfig config = DbConfig::FromIni(ini, dir.path());
    DataAccess& db = Db();
    db.Open(config);
    db.Execute("CREATE TABLE Clientes (nIdCliente INTEGER PRIMARY KEY, sCliente TEXT)");
    db.Transaction(TransactionStep::Begin);
    db.InsertRecord("Clientes", "sCliente", U().SqlValue("Seán O'Brien", 0, true));
    ProgramEnd::RunCleanUps();
    if (db.IsConnected()) {
        std::fprintf(stderr, "the database is still open after the clean-up steps\n");
        return 1;
    }
    db.Open(config);
    const double left = db.SumField("Clientes", "nIdCliente", {});
    db.Close();
    if (left != 0) {
        std::fprintf(stderr, "the transaction left at the end was kept\n");
        return 1;
    }
    return 0;
}
