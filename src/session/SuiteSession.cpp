#include "session/SuiteSession.h"

#include "platform/data/DataAccess.h"
#include "platform/util/TvError.h"

#include <QDir>
#include <QFileInfo>

namespace SuiteSession {

void Open(const QString& iniPath, const QString& dataPath, DataAccess& db, bool readOnly) {
    if (db.IsConnected())
        db.Close();
    if (dataPath.isEmpty() || !QFileInfo(dataPath).isDir())
        throw TvError(ErrorNumber::PathFileAccess,
                      QString("La carpeta de datos \"%1\" indicada en %2 (sección Database, clave "
                              "DataPath) no existe.")
                          .arg(dataPath, QDir::toNativeSeparators(iniPath)));

    DbConfig config = DbConfig::FromIni(iniPath, dataPath);
    config.readOnly = readOnly;
    const bool sqlite = config.engine.compare("sqlite", Qt::CaseInsensitive) == 0;
    if (sqlite && !QFileInfo(config.sqliteFile).isFile())
        throw TvError(ErrorNumber::FileNotFound,
                      QString("No se encuentra la base de datos \"%1\".").arg(config.sqliteFile));

    try {
        db.Open(config);
        // Opening is lazy on some engines: one read proves the data can really be reached
        // (a database locked by another program fails here, not in the middle of start-up).
        db.GetRows("select count(*) from Usuarios");
    } catch (const TvError& e) {
        const bool reached = db.IsConnected();
        db.Close();
        // SQLite writes beside its file too, so a folder without write access stops a writer.
        const bool cannotWrite =
            sqlite && !readOnly &&
            !(QFileInfo(dataPath).isWritable() && QFileInfo(config.sqliteFile).isWritable());
        QString reason;
        if (cannotWrite)
            reason = QString("No se puede escribir en la carpeta de datos \"%1\" o en su base de "
                             "datos, y este programa necesita modificarla")
                         .arg(dataPath);
        else if (sqlite)
            reason =
                "No se ha podido abrir la base de datos (bloqueada por otro programa o dañada)";
        else if (reached)
            reason = QString("Se ha conectado con el servidor de base de datos %1, pero no se "
                             "pueden leer las tablas del programa (¿se crearon con tvSetup "
                             "--server? ¿tiene permiso el usuario \"%2\"?)")
                         .arg(config.ServerName(), config.user);
        else
            reason = QString("No se ha podido conectar con el servidor de base de datos %1 con el "
                             "usuario \"%2\"")
                         .arg(config.ServerName(), config.user);
        throw TvError(e.Number(), reason + ": " + e.Description(), e.Statement());
    }
}

} // namespace SuiteSession
