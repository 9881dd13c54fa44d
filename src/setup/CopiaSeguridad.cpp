// A clinic's database in one backup file, and put back from it.

#include "setup/CopiaSeguridad.h"

#include "invoicing/Numeracion.h"
#include "platform/data/DataAccess.h"
#include "platform/util/ArchivoSeguro.h"
#include "platform/util/TvError.h"
#include "register/EventosSif.h"
#include "register/FirmaRegistro.h"
#include "register/RegistroFacturacion.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <sqlite3.h>

namespace CopiaSeguridad {

namespace {

const QByteArray Cabecera = "TVCOPIA 1\n";
constexpr qint64 Trozo = 1 << 20;

[[noreturn]] void Fallo(const QString& texto) {
    throw TvError(ErrorNumber::PathFileAccess, texto);
}

// One raw connection to an SQLite file: the backup API works on these, not on Qt's.
class Sqlite {
public:
    Sqlite(const QString& archivo, int modo) {
        if (sqlite3_open_v2(QFile::encodeName(archivo).constData(), &m_db, modo, nullptr) !=
            SQLITE_OK)
            Fallo("No se puede abrir la base de datos " + archivo + ": " + Error());
        // Desks issuing at the same time hold their write locks for milliseconds.
        sqlite3_busy_timeout(m_db, 30000);
    }
    ~Sqlite() { sqlite3_close(m_db); }
    Sqlite(const Sqlite&) = delete;
    Sqlite& operator=(const Sqlite&) = delete;

    sqlite3* db() const { return m_db; }
    QString Error() const { return QString::fromUtf8(sqlite3_errmsg(m_db)); }

    // The first column of each row of sql.
    QStringList Columna(const QString& sql) const {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK)
            Fallo("La base de datos no responde a " + sql + ": " + Error());
        QStringList valores;
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW)
            valores << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE)
            Fallo("La base de datos no responde a " + sql + ": " + Error());
        return valores;
    }
    QString Valor(const QString& sql) const { return Columna(sql).value(0); }

private:
    sqlite3* m_db = nullptr;
};

// Copies origen into destino page by page. In one step, so that the copy is the snapshot of a
// single read transaction: in WAL mode the desks go on writing meanwhile, and what they commit
// after it began is simply not in the copy.
void Copiar(const Sqlite& origen, const Sqlite& destino) {
    sqlite3_backup* copia = sqlite3_backup_init(destino.db(), "main", origen.db(), "main");
    if (!copia)
        Fallo("No se puede copiar la base de datos: " + destino.Error());
    int rc;
    while ((rc = sqlite3_backup_step(copia, -1)) == SQLITE_BUSY || rc == SQLITE_LOCKED)
        QThread::msleep(50);
    sqlite3_backup_finish(copia);
    if (rc != SQLITE_DONE)
        Fallo("No se puede copiar la base de datos: " + QString::fromUtf8(sqlite3_errstr(rc)));
}

QString Nombre(const QString& tabla) {
    return '"' + QString(tabla).replace('"', "\"\"") + '"';
}

// The manifest's account of an SQLite database: rows per table, the register's end.
Manifiesto Describir(const Sqlite& base) {
    Manifiesto m;
    m.motor = QStringLiteral("sqlite");
    const QStringList tablas = base.Columna("SELECT name FROM sqlite_master WHERE type='table' AND "
                                            "name NOT LIKE 'sqlite%' ORDER BY name");
    for (const QString& tabla : tablas)
        m.filas.insert(tabla, base.Valor("SELECT COUNT(*) FROM " + Nombre(tabla)).toLongLong());
    m.ultimaFactura = base.Valor("SELECT COALESCE(MAX(nIdFactura),0) FROM Facturas").toLongLong();
    if (tablas.contains("RegistrosFacturacion")) {
        m.ultimoRegistro =
            base.Valor("SELECT COALESCE(MAX(nIdRegistro),0) FROM RegistrosFacturacion")
                .toLongLong();
        m.huella = base.Valor(
            "SELECT sHuella FROM RegistrosFacturacion ORDER BY nIdRegistro DESC LIMIT 1");
    }
    return m;
}

QByteArray Json(const Manifiesto& m) {
    QJsonObject filas;
    for (auto it = m.filas.cbegin(); it != m.filas.cend(); ++it)
        filas.insert(it.key(), it.value());
    return QJsonDocument(QJsonObject{{"creada", m.creada},
                                     {"motor", m.motor},
                                     {"filas", filas},
                                     {"huella", m.huella},
                                     {"ultimaFactura", m.ultimaFactura},
                                     {"ultimoRegistro", m.ultimoRegistro},
                                     {"bytes", m.bytes},
                                     {"sha256", m.sha256}})
        .toJson(QJsonDocument::Compact);
}

// Reads the header and manifest of archivo and copies its data into datos, hashing it on the
// way; the manifest is not trusted with the data until the hash agrees.
Manifiesto Extraer(const QString& archivo, const QString& datos) {
    QFile in(archivo);
    if (!in.open(QIODevice::ReadOnly))
        Fallo("No se puede leer la copia " + archivo + ": " + in.errorString());
    const QString noEs = "El archivo " + archivo + " no es una copia de seguridad de la clínica.";
    if (in.readLine(Cabecera.size() + 1) != Cabecera)
        Fallo(noEs);
    QJsonParseError error;
    const QJsonObject o = QJsonDocument::fromJson(in.readLine(), &error).object();
    if (error.error != QJsonParseError::NoError || o.isEmpty())
        Fallo(noEs);
    Manifiesto m;
    m.creada = o["creada"].toString();
    m.motor = o["motor"].toString();
    const QJsonObject filas = o["filas"].toObject();
    for (auto it = filas.constBegin(); it != filas.constEnd(); ++it)
        m.filas.insert(it.key(), it.value().toInteger());
    m.huella = o["huella"].toString();
    m.ultimaFactura = o["ultimaFactura"].toInteger();
    m.ultimoRegistro = o["ultimoRegistro"].toInteger();
    m.bytes = o["bytes"].toInteger();
    m.sha256 = o["sha256"].toString();

    QFile out(datos);
    if (!out.open(QIODevice::WriteOnly))
        Fallo("No se puede escribir " + datos + ": " + out.errorString());
    QCryptographicHash hash(QCryptographicHash::Sha256);
    qint64 leidos = 0;
    while (!in.atEnd()) {
        const QByteArray trozo = in.read(Trozo);
        if (trozo.isEmpty() && in.error() != QFileDevice::NoError)
            Fallo("No se puede leer la copia " + archivo + ": " + in.errorString());
        hash.addData(trozo);
        leidos += trozo.size();
        if (out.write(trozo) != trozo.size())
            Fallo("No se puede escribir " + datos + ": " + out.errorString());
    }
    if (!out.flush())
        Fallo("No se puede escribir " + datos + ": " + out.errorString());
    if (leidos != m.bytes || QString::fromLatin1(hash.result().toHex().toUpper()) != m.sha256)
        Fallo("La copia " + archivo +
              " está dañada: sus datos no coinciden con su suma de comprobación.");
    return m;
}

// The copy's data against its own manifest: an SQLite file that holds together, the same rows.
void ComprobarFilas(const QString& archivo, const QString& datos, const Manifiesto& m) {
    const Sqlite base(datos, SQLITE_OPEN_READONLY);
    if (base.Valor("PRAGMA integrity_check") != "ok")
        Fallo("La copia " + archivo + " está dañada: su base de datos no es íntegra.");
    const Manifiesto leido = Describir(base);
    if (leido.filas != m.filas || leido.huella != m.huella)
        Fallo("La copia " + archivo + " no contiene las filas que dice su manifiesto.");
}

// Those rows and a register whose every fingerprint and link holds, as tvRegistro verify checks.
void ComprobarDatos(const QString& archivo, const QString& datos, const Manifiesto& m) {
    ComprobarFilas(archivo, datos, m);
    DataAccess& db = DataAccess::instance();
    DbConfig config;
    config.sqliteFile = datos;
    db.Open(config);
    const RegistroFacturacion::Verificacion registro = RegistroFacturacion::Verificar();
    db.Close();
    if (!registro.intact)
        Fallo("La copia " + archivo +
              " no se puede restaurar: la cadena de su registro de facturación está rota (" +
              registro.message + ").");
}

DbConfig Configuracion(const QString& ini) {
    if (!QFileInfo(ini).isFile())
        Fallo("No se encuentra el archivo de inicio " + ini + ".");
    const DbConfig config = DbConfig::FromIni(ini, DbConfig::DataFolder(ini));
    if (config.engine == QLatin1String("sqlite") && !QFileInfo(config.sqliteFile).isFile())
        Fallo("No se encuentra la base de datos " + config.sqliteFile + ".");
    return config;
}

bool EnServidor(const DbConfig& config) {
    return config.engine != QLatin1String("sqlite");
}

// pg_dump or pg_restore against database `base` of the clinic's server (none: the program only
// reads its file), the password passed as libpq reads it so that it never shows in the process
// list. Raises with what the program said.
void Programa(const QString& programa, const DbConfig& config, const QString& base,
              QStringList argumentos) {
    const QString ruta = QStandardPaths::findExecutable(programa);
    if (ruta.isEmpty())
        Fallo("No se encuentra " + programa +
              ": las copias de una clínica en un servidor lo necesitan (paquete "
              "postgresql-client).");
    if (!base.isEmpty())
        argumentos << "--host" << config.Hosts() << "--port" << config.Ports() << "--username"
                   << config.user << "--no-password"
                   << "--dbname" << base;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!config.password.isEmpty())
        env.insert("PGPASSWORD", config.password);
    // Of a primary and its standbys, the dump and the restore go to the one that writes.
    env.insert("PGTARGETSESSIONATTRS", "read-write");
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(ruta, argumentos);
    if (!p.waitForStarted() || !p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit ||
        p.exitCode() != 0)
        Fallo(programa + " no ha terminado bien: " +
              QString::fromLocal8Bit(p.readAllStandardError()).trimmed().left(400));
}

QString NombreServidor(const QString& tabla) {
    return '"' + QString(tabla).replace('"', "\"\"") + '"';
}

// The manifest's account of the server database the module is connected to, read in the
// transaction that is open.
Manifiesto DescribirServidor() {
    DataAccess& db = DataAccess::instance();
    Manifiesto m;
    m.motor = QStringLiteral("postgresql");
    const Rows tablas = db.GetRows("SELECT table_name FROM information_schema.tables WHERE "
                                   "table_schema = current_schema() AND table_type = 'BASE TABLE' "
                                   "ORDER BY table_name");
    for (int i = 0; i < tablas.RowCount(); ++i) {
        const QString tabla = tablas(0, i).toString();
        m.filas.insert(
            tabla, db.GetRows("SELECT COUNT(*) FROM " + NombreServidor(tabla))(0, 0).toLongLong());
    }
    m.ultimaFactura =
        db.GetRows("SELECT COALESCE(MAX(nIdFactura),0) FROM Facturas")(0, 0).toLongLong();
    m.ultimoRegistro =
        db.GetRows("SELECT COALESCE(MAX(nIdRegistro),0) FROM RegistrosFacturacion")(0, 0)
            .toLongLong();
    m.huella = db.GetRows("SELECT sHuella FROM RegistrosFacturacion ORDER BY nIdRegistro DESC "
                          "LIMIT 1")(0, 0)
                   .toString();
    return m;
}

// Dumps the server's database into datos, in pg_dump's custom format, from the snapshot the
// manifest is read in: desks go on issuing, and what they commit meanwhile is in neither.
Manifiesto VolcarServidor(const DbConfig& config, const QString& datos) {
    DataAccess& db = DataAccess::instance();
    db.Open(config);
    Manifiesto m;
    try {
        TransactionGuard guard;
        db.Execute("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY");
        const QString foto = db.GetRows("SELECT pg_export_snapshot()")(0, 0).toString();
        m = DescribirServidor();
        Programa("pg_dump", config, config.name,
                 {"--format=custom", "--snapshot=" + foto, "--file=" + datos});
    } catch (...) {
        db.Close();
        throw;
    }
    db.Close();
    return m;
}

// A scratch database on the clinic's server, dropped when it goes: the copy's data is put there
// to be read as a restore would leave it, before the clinic's own database is touched.
class BaseDePrueba {
public:
    explicit BaseDePrueba(const DbConfig& config) : m_config(config) {
        m_config.name = "tvcomprueba_" + QString::number(QCoreApplication::applicationPid()) + "_" +
                        QString::number(QDateTime::currentMSecsSinceEpoch());
        Ejecutar(config, "CREATE DATABASE " + m_config.name,
                 "Para comprobar la copia hace falta poder crear una base de datos en " +
                     config.ServerName() + " (permiso CREATEDB)");
        m_creada = true;
    }
    ~BaseDePrueba() {
        if (!m_creada)
            return;
        try {
            DbConfig clinica = m_config;
            clinica.name = m_origen;
            Ejecutar(clinica, "DROP DATABASE IF EXISTS " + m_config.name, {});
        } catch (const TvError&) {
            // The scratch database only takes space; the backup's answer is already given.
        }
    }
    BaseDePrueba(const BaseDePrueba&) = delete;
    BaseDePrueba& operator=(const BaseDePrueba&) = delete;

    const DbConfig& config() const { return m_config; }

private:
    // One statement outside any transaction (CREATE and DROP DATABASE refuse one), on the
    // clinic's database, the module's connection closed.
    void Ejecutar(const DbConfig& config, const QString& sql, const QString& siFalla) {
        m_origen = config.name;
        DataAccess& db = DataAccess::instance();
        db.Open(config);
        try {
            db.Execute(sql);
        } catch (const TvError& e) {
            db.Close();
            if (siFalla.isEmpty())
                throw;
            Fallo(siFalla + ": " + e.Description());
        }
        db.Close();
    }

    DbConfig m_config;
    QString m_origen;
    bool m_creada = false;
};

// The copy's dump put into a scratch database of the clinic's server, where its rows are
// counted against the manifest and its register verified as tvRegistro verify does.
void ComprobarServidor(const QString& archivo, const QString& datos, const Manifiesto& m,
                       const DbConfig& servidor) {
    const BaseDePrueba prueba(servidor);
    Programa("pg_restore", servidor, prueba.config().name,
             {"--exit-on-error", "--no-owner", "--no-privileges", datos});
    DataAccess& db = DataAccess::instance();
    db.Open(prueba.config());
    Manifiesto leido;
    RegistroFacturacion::Verificacion registro;
    try {
        leido = DescribirServidor();
        registro = RegistroFacturacion::Verificar();
    } catch (...) {
        db.Close();
        throw;
    }
    db.Close();
    if (leido.filas != m.filas || leido.huella != m.huella)
        Fallo("La copia " + archivo + " no contiene las filas que dice su manifiesto.");
    if (!registro.intact)
        Fallo("La copia " + archivo +
              " no se puede restaurar: la cadena de su registro de facturación está rota (" +
              registro.message + ").");
}

} // namespace

QString Crear(const QString& carpeta, const QString& ini) {
    const DbConfig config = Configuracion(ini);
    if (!QDir().mkpath(carpeta))
        Fallo("No se puede crear la carpeta " + carpeta + ".");
    const QDateTime ahora = QDateTime::currentDateTime();
    const QString destino =
        QDir(carpeta).filePath("Tavelo-" + ahora.toString("yyyyMMdd-HHmmss-zzz") + ".tvcopia");
    // The snapshot is taken beside the backup, on the same disk, and goes with this folder.
    QTemporaryDir trabajo(QDir(carpeta).filePath(".tvcopia-XXXXXX"));
    if (!trabajo.isValid())
        Fallo("No se puede escribir en la carpeta " + carpeta + ".");
    const QString datos = trabajo.filePath("Tavelo.db");
    Manifiesto m;
    if (EnServidor(config)) {
        m = VolcarServidor(config, datos);
    } else {
        const Sqlite origen(config.sqliteFile, SQLITE_OPEN_READWRITE);
        const Sqlite copia(datos, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        Copiar(origen, copia);
        // One file with no journal beside it, whatever mode the clinic's database runs in.
        copia.Valor("PRAGMA journal_mode=DELETE");
        m = Describir(copia);
    }
    m.creada = RegistroFacturacion::FechaHoraHuso(ahora);
    QFile in(datos);
    if (!in.open(QIODevice::ReadOnly))
        Fallo("No se puede leer la copia tomada: " + in.errorString());
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&in);
    m.bytes = in.size();
    m.sha256 = QString::fromLatin1(hash.result().toHex().toUpper());
    in.seek(0);
    ArchivoSeguro::Escribir(destino, [&](QIODevice& out) {
        out.write(Cabecera);
        out.write(Json(m) + '\n');
        while (!in.atEnd())
            out.write(in.read(Trozo));
    });
    // Read back as a restore reads it. A register that does not verify is still backed up (the
    // copy is evidence); it is the restore that refuses it.
    const QString vuelta = trabajo.filePath("Releida.db");
    const Manifiesto releido = Extraer(destino, vuelta);
    if (EnServidor(config))
        Programa("pg_restore", config, {},
                 {"--list", "--file=" + trabajo.filePath("Indice"), vuelta});
    else
        ComprobarFilas(destino, vuelta, releido);
    return destino;
}

Manifiesto Comprobar(const QString& archivo, const QString& ini) {
    QTemporaryDir trabajo;
    if (!trabajo.isValid())
        Fallo("No hay una carpeta temporal donde comprobar la copia.");
    const QString datos = trabajo.filePath("Tavelo.db");
    const Manifiesto m = Extraer(archivo, datos);
    if (m.motor == QLatin1String("postgresql")) {
        const DbConfig config = ini.isEmpty() ? DbConfig() : Configuracion(ini);
        if (!EnServidor(config))
            Fallo("La copia " + archivo +
                  " es de una base de datos en un servidor: se comprueba en uno.");
        ComprobarServidor(archivo, datos, m, config);
    } else {
        ComprobarDatos(archivo, datos, m);
    }
    return m;
}

QString Restaurar(const QString& archivo, const QString& ini, bool forzar) {
    const DbConfig config = Configuracion(ini);
    const QString carpeta = DbConfig::DataFolder(ini);
    // Extracted into the data folder: the backup may sit on a medium nobody may write to.
    QTemporaryDir trabajo(QDir(carpeta).filePath(".restaurando-XXXXXX"));
    if (!trabajo.isValid())
        Fallo("No se puede escribir en la carpeta de datos " + carpeta + ".");
    const QString datos = trabajo.filePath("Tavelo.db");
    const Manifiesto m = Extraer(archivo, datos);
    const bool servidor = EnServidor(config);
    if ((m.motor == QLatin1String("postgresql")) != servidor)
        Fallo("La copia " + archivo +
              (servidor ? " es de una base de datos SQLite y la clínica está en un servidor."
                        : " es de una base de datos en un servidor."));
    DataAccess& db = DataAccess::instance();
    if (servidor)
        ComprobarServidor(archivo, datos, m, config);
    else
        ComprobarDatos(archivo, datos, m);
    const QString nuevasSql =
        "SELECT COUNT(*) FROM Facturas WHERE nIdFactura>" + QString::number(m.ultimaFactura);
    auto refusarNuevas = [&](qint64 nuevas) {
        if (nuevas > 0 && !forzar)
            Fallo(QString("La base de datos tiene documentos posteriores a la copia del %1 (%2), "
                          "que se perderían. Si es lo que quiere, repita la orden con --force.")
                      .arg(m.creada)
                      .arg(nuevas));
    };
    if (servidor) {
        db.Open(config);
        const qint64 nuevas = db.GetRows(nuevasSql)(0, 0).toLongLong();
        db.Close();
        refusarNuevas(nuevas);
        // In one transaction: a failure half-way leaves the clinic's database as it was.
        Programa("pg_restore", config, config.name,
                 {"--clean", "--if-exists", "--single-transaction", "--exit-on-error", datos});
    } else {
        const Sqlite destino(config.sqliteFile, SQLITE_OPEN_READWRITE);
        refusarNuevas(destino.Valor(nuevasSql).toLongLong());
        const Sqlite origen(datos, SQLITE_OPEN_READONLY);
        Copiar(origen, destino);
    }
    db.Open(config);
    {
        TransactionGuard guard;
        Numeracion::AjustarContadores();
        guard.Commit();
    }
    const QString firma = FirmaRegistro::Configurar(ini);
    EventosSif::RegistrarRestauracion(carpeta, ("Restaurada la copia del " + m.creada + " (" +
                                                QFileInfo(archivo).fileName() + ")")
                                                   .left(100));
    db.Close();
    return QString("Restaurada la copia del %1: %2 documentos, el último registro %3.%4")
        .arg(m.creada)
        .arg(m.ultimaFactura)
        .arg(m.ultimoRegistro)
        .arg(firma.isEmpty() ? QString()
                             : " El registro de eventos no anota la restauración: " + firma);
}

} // namespace CopiaSeguridad
