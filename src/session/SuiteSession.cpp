// The database the ini names opened, with a message for each way it cannot be.

#include "session/SuiteSession.h"

#include "platform/data/DataAccess.h"
#include "platform/util/TvError.h"

#include <QDir>
#include <QFileInfo>

namespace SuiteSession {

void CheckDataFolder(const QString& iniPath, const QString& dataPath) {
    if (dataPath.isEmpty())
        throw TvError(ErrorNumber::PathFileAccess,
                      QString("%1 no indica la carpeta de datos (sección Database, clave "
                              "DataPath).")
                          .arg(QDir::toNativeSeparators(iniPath)));
    if (!QFileInfo(dataPath).isDir())
        throw TvError(ErrorNumber::PathFileAccess,
                      QString("La carpeta de datos \"%1\" indicada en %2 (sección Database, clave "
                              "DataPath) no existe.")
                          .arg(dataPath, QDir::toNativeSeparators(iniPath)));
}

void Open(const QString& iniPath, const QString& dataPath, DataAccess& db, bool readOnly) {
    if (db.IsConnected())
        db.Close();
    CheckDataFolder(iniPath, dataPath);

    DbConfig config = DbConfig::FromIni(iniPath, dataPath);
    config.readOnly = readOnly;
    const bool sqlite = config.engine.compare("sqlite", Qt::CaseInsensitive) == 0;
    if (sqlite && !QFileInfo(config.sqliteFile).isFile())
        throw TvError(ErrorNumber::FileNotFound,
                      QString("No se encuentra la base de datos \"%1\".").arg(config.sqliteFile));

    // SQLite writes beside its file too. A file it may not write is still opened, read-only,
    // and the first change would fail in the middle of the user's work: both are refused now.
    if (sqlite && !readOnly) {
        if (!QFileInfo(dataPath).isWritable())
            throw TvError(ErrorNumber::PathFileAccess,
                          QString("No se puede escribir en la carpeta de datos \"%1\", y este "
                                  "programa necesita modificar su base de datos.")
                              .arg(dataPath));
        if (!QFileInfo(config.sqliteFile).isWritable())
            throw TvError(ErrorNumber::PathFileAccess,
                          QString("La base de datos \"%1\" es de solo lectura, y este programa "
                                  "necesita modificarla.")
                              .arg(config.sqliteFile));
    }

    try {
        db.Open(config);
        // Opening is lazy on some engines: one read proves the data can really be reached
        // (a database locked by another program fails here, not in the middle of start-up).
        db.GetRows("select count(*) from Usuarios");
    } catch (const TvError& e) {
        const bool reached = db.IsConnected();
        db.Close();
        QString reason;
        if (e.Number() == ErrorNumber::DiskFull)
            reason = "No se ha podido abrir la base de datos";
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
