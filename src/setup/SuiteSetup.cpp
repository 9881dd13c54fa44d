// A suite folder created or brought up to date: ini, schema, folders, logo and reports.

#include "setup/SuiteSetup.h"

#include "invoicing/core/IssuedDocument.h"

#include "platform/data/DataAccess.h"
#include "platform/data/PostgresEngine.h"
#include "platform/util/ArchivoSeguro.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "register/FirmaRegistro.h"
#include "setup/CertificadoDemo.h"
#include "setup/DemoClinic.h"
#include "setup/RemoveOnSignal.h"
#include "setup/ScaleGenerator.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <tuple>

namespace {

// Below the data folder and below the root, as start-up derives them.
const char* const DataFolders[] = {"Reports",        "Reports/Custom", "Docs",
                                   "Mailings",       "FaxEnv",         "FaxRec",
                                   "Datalocal/Pics", "Datalocal/Cns",  "Datalocal/Videos"};
const char* const RootFolders[] = {"Help", "Update", "Exe", "Export"};

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

void MakePath(const QString& path) {
    if (!QDir().mkpath(path))
        throw TvError(ErrorNumber::PathFileAccess,
                      "No se puede crear la carpeta " + Native(path) +
                          ": compruebe que la ruta es correcta y que tiene permiso de escritura.");
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    ArchivoSeguro::Escribir(path, bytes, ArchivoSeguro::Sustituir::Siempre);
}

QByteArray ReadResource(const QString& name) {
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        throw TvError(ErrorNumber::FileNotFound, "Falta el recurso " + name + " en el programa");
    return file.readAll();
}

// The user named here is the one the suite's menu signs in when no login is given.
QByteArray IniText(const QString& dataPath, bool demo, const DbConfig& database) {
    QString engine = QStringLiteral("Engine=sqlite\n");
    if (database.engine == QLatin1String("postgresql"))
        engine = QStringLiteral("Engine=postgresql\nHost=%1\nPort=%2\nName=%3\nUser=%4\n"
                                "Password=%5\n")
                     .arg(database.host)
                     .arg(database.port)
                     .arg(database.name, database.user, database.password);
    const QString text = QStringLiteral("[Database]\n"
                                        "DataPath=%1\n"
                                        "%2"
                                        "\n"
                                        "[Console]\n"
                                        "User=%3\n"
                                        "ExpandedForms=False\n"
                                        "GridDblClickForEdit=True\n"
                                        "ReturnIsTab=True\n"
                                        "ColsToGdSize=False\n"
                                        "\n"
                                        "[Printers]\n"
                                        "Listings=\n"
                                        "Receips=\n"
                                        "Bills=\n")
                             .arg(dataPath, engine, demo ? QStringLiteral("admin") : QString());
    // The demo keeps its register, signed with a certificate of its own (beside the ini).
    if (!demo)
        return text.toUtf8();
    return (text + QStringLiteral("\n"
                                  "[VeriFactu]\n"
                                  "Modo=NOVERIFACTU\n"
                                  "Certificado=%1\n"
                                  "ClaveCertificado=%2\n")
                       .arg(CertificadoDemo::Archivo, CertificadoDemo::Clave))
        .toUtf8();
}

// The tables of the schema with their key column, as "CREATE TABLE" names them.
QVector<std::pair<QString, QString>> KeyedTables(const QString& schema) {
    static const QRegularExpression table(
        QStringLiteral("CREATE TABLE IF NOT EXISTS (\\w+) \\(\\s*(\\w+) INTEGER PRIMARY KEY"));
    QVector<std::pair<QString, QString>> tables;
    for (auto match = table.globalMatch(schema); match.hasNext();) {
        const QRegularExpressionMatch m = match.next();
        tables.append({m.captured(1), m.captured(2)});
    }
    return tables;
}

// Rows written with their keys (the scale data, some demo rows) do not move a server's key
// generators; each is set past the highest key, so the next row the server numbers is new. The
// tables are read from SQLite's text of the schema, whose keys KeyedTables recognises. Whether the
// key was used is a comparison: the dialect would turn the words true and false into 1 and 0.
void AdvanceServerKeys() {
    DataAccess& db = DataAccess::instance();
    if (!db.IsServerDb())
        return;
    for (const auto& [table, key] : KeyedTables(SuiteSetup::Schema(false)))
        db.GetRows(QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', '%2'), "
                                  "COALESCE(MAX(%2), 1), MAX(%2) IS NOT NULL) FROM %1")
                       .arg(table.toLower(), key.toLower()));
}

bool HoldsSuite() {
    return !DataAccess::instance()
                .GetRows("SELECT table_name FROM information_schema.tables WHERE table_schema = "
                         "current_schema() AND lower(table_name) = 'facturas'")
                .IsEmpty();
}

DbConfig SqliteFile(const QString& path) {
    DbConfig config;
    config.engine = "sqlite";
    config.sqliteFile = path;
    return config;
}

// A new folder's database is filled in one transaction that no other process can see, and a
// failure removes the whole folder: until that commit it needs no journal on disk (kept in memory,
// a savepoint can still be rolled back) and no waits for the disk, which for --scale 100 were a
// fifth of the time, the pages being written twice in WAL mode. Returns the connection's usual
// synchronous setting.
QVariant FillUnjournalled() {
    DataAccess& db = DataAccess::instance();
    const QVariant synchronous = db.GetRows("PRAGMA synchronous").Value(0, 0);
    db.Execute("PRAGMA journal_mode=MEMORY");
    db.Execute("PRAGMA synchronous=OFF");
    return synchronous;
}

// Back to what every connection to the suite expects, before the statistics are taken: their
// commit in WAL mode, checkpointed into the file at close with the usual synchronous setting,
// is what puts the whole file on the disk before the folder takes its final name.
void RestoreJournal(const QVariant& synchronous) {
    DataAccess& db = DataAccess::instance();
    db.Execute("PRAGMA synchronous=" + synchronous.toString());
    db.Execute("PRAGMA journal_mode=WAL");
}

// Everything that goes into <root>/Data, written into `folder`; the ini already names the
// final data path. The database is the folder's own SQLite file, or the server's database.
void BuildDataFolder(const QString& folder, const QString& finalDataPath, bool demo, int scale,
                     const DbConfig& database) {
    for (const char* sub : DataFolders)
        MakePath(folder + "/" + sub);
    WriteFile(folder + "/Tavelo.ini", IniText(finalDataPath, demo, database));
    WriteFile(folder + "/Logo.bmp", ReadResource(":/Logo.bmp"));
    if (demo)
        WriteFile(folder + "/" + CertificadoDemo::Archivo,
                  CertificadoDemo::Crear(QStringLiteral("Clínica Veterinaria Tavelo S.L."),
                                         QStringLiteral("B12345674"), CertificadoDemo::Clave));
    // The records made here are signed as the module signs them: with the ini's certificate.
    FirmaRegistro::Configurar(demo ? folder + "/Tavelo.ini" : QString());
    QDirIterator reports(":/Reports", {"*.xml"}, QDir::Files);
    while (reports.hasNext()) {
        const QFileInfo report(reports.next());
        WriteFile(folder + "/Reports/" + report.fileName(), ReadResource(report.filePath()));
    }

    DataAccess& db = DataAccess::instance();
    const bool server = database.engine == QLatin1String("postgresql");
    db.Open(server ? database : SqliteFile(folder + "/Tavelo.db"));
    try {
        const QVariant synchronous = server ? QVariant() : FillUnjournalled();
        // On a server the whole suite is one transaction (its schema statements included), so a
        // failure leaves the database as it was.
        TransactionGuard guard(db);
        SuiteSetup::UpdateSchema();
        if (demo)
            SuiteSetup::FillDemo();
        // Generated data exist to measure the module: their records are left unsigned, as signing
        // hundreds of thousands of them would take longer than generating them.
        FirmaRegistro::Configurar(QString());
        SuiteSetup::FillScale(scale);
        AdvanceServerKeys();
        guard.Commit();
        if (!server)
            RestoreJournal(synchronous);
        // Index statistics let the database start a pet-and-client lookup from the client (a
        // handful of rows) rather than from a common pet name (thousands).
        db.Execute("ANALYZE");
    } catch (...) {
        db.Close();
        throw;
    }
    db.Close();
}

} // namespace

SuiteSetup::Result SuiteSetup::Create(const QString& root, bool demo, int scaleThousands,
                                      const DbConfig& database) {
    const QString rootPath = QDir::cleanPath(QFileInfo(root).absoluteFilePath());
    const QString dataPath = rootPath + "/Data";
    if (QFileInfo::exists(dataPath + "/Tavelo.ini") || QFileInfo::exists(dataPath + "/Tavelo.db"))
        return FolderHoldsSuite;
    if (QFileInfo::exists(dataPath) && !QDir(dataPath).isEmpty())
        throw TvError(ErrorNumber::PathFileAccess,
                      "La carpeta " + Native(dataPath) +
                          " ya existe y no contiene una suite; no se ha modificado nada.");
    const bool server = database.engine == QLatin1String("postgresql");
    DataAccess& db = DataAccess::instance();
    db.Close();
    if (server) {
        // Two suites in one database would mix their invoices, counters and registers.
        db.Open(database);
        const bool taken = HoldsSuite();
        db.Close();
        if (taken)
            return DatabaseHoldsSuite;
    }

    const bool rootExisted = QFileInfo::exists(rootPath);
    try {
        MakePath(rootPath);
        // Built beside its final place and renamed last: a data folder that exists is complete.
        QTemporaryDir staging(rootPath + "/.Data-XXXXXX");
        if (!staging.isValid())
            throw TvError(ErrorNumber::PathFileAccess, "No se puede escribir en la carpeta " +
                                                           Native(rootPath) + ": " +
                                                           staging.errorString());
        // Stopped by a signal, the process would never reach the clean-up below.
        const RemoveOnSignal cleanup(rootExisted ? staging.path() : rootPath);
        BuildDataFolder(staging.path(), dataPath, demo, scaleThousands, database);
        for (const char* sub : RootFolders)
            MakePath(rootPath + "/" + sub);
        QDir().rmdir(dataPath);
        if (!QDir().rename(staging.path(), dataPath))
            throw TvError(ErrorNumber::PathFileAccess,
                          "No se puede crear la carpeta " + Native(dataPath));
        staging.setAutoRemove(false);
        // The staging folder was private to this process; the data folder is shared.
        QFile::setPermissions(dataPath, QFile::permissions(rootPath + "/Exe"));
    } catch (...) {
        if (!rootExisted)
            QDir(rootPath).removeRecursively();
        throw;
    }
    FirmaRegistro::Configurar(demo ? dataPath + "/Tavelo.ini" : QString());
    db.Open(server ? database : SqliteFile(dataPath + "/Tavelo.db"));
    return Created;
}

namespace {

// The names the billing window finds by any part of them as they are typed: a client's, a pet's
// and a product's. Each gets a trigram index, so that a search costs the names that match, not
// the table.
struct SearchedName {
    const char* table;
    const char* column;
};
const SearchedName SearchedNames[] = {{"Clientes", "sCliente"},
                                      {"Mascotas", "sMascota"},
                                      {"ProductosServicios", "sProductoServicio"}};

// On SQLite, a full-text table per name (FTS5, trigram tokenizer) reading its texts from the
// table itself, kept current by triggers whoever writes; "<table>Busqueda".
QString SearchTable(const SearchedName& name) {
    return QString::fromLatin1(name.table) + QStringLiteral("Busqueda");
}

QString SearchIndexes(bool server) {
    QString text = server ? QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_trgm;\n") : QString();
    for (const SearchedName& name : SearchedNames) {
        const QString table = QString::fromLatin1(name.table);
        const QString column = QString::fromLatin1(name.column);
        if (server) {
            text += QStringLiteral("CREATE INDEX IF NOT EXISTS ix%1_%2_trgm ON %1 USING gin (%2 "
                                   "gin_trgm_ops);\n")
                        .arg(table, column);
            continue;
        }
        const QString search = SearchTable(name);
        const QString added =
            QStringLiteral("INSERT INTO %1 (rowid, %2) VALUES (new.rowid, new.%2);")
                .arg(search, column);
        const QString removed =
            QStringLiteral("INSERT INTO %1 (%1, rowid, %2) VALUES ('delete', old.rowid, old.%2);")
                .arg(search, column);
        const QString trigger = QStringLiteral("tv_") + search.toLower();
        text += QStringLiteral("CREATE VIRTUAL TABLE IF NOT EXISTS %1 USING fts5(%2, content='%3', "
                               "tokenize='trigram');\n")
                    .arg(search, column, table);
        text += QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1_alta AFTER INSERT ON %2 BEGIN %3 "
                               "END;\n")
                    .arg(trigger, table, added);
        text += QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1_baja AFTER DELETE ON %2 BEGIN %3 "
                               "END;\n")
                    .arg(trigger, table, removed);
        text += QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1_cambio AFTER UPDATE OF %2 ON %3 "
                               "BEGIN %4 %5 END;\n")
                    .arg(trigger, column, table, removed, added);
    }
    return text;
}

// The till's messages and conditions, the same on both engines.
struct TillTexts {
    QString closed = QStringLiteral(
        "La caja ya está cerrada en esa fecha: no se puede anotar ni cambiar nada de un periodo "
        "cerrado; anótelo con la fecha de hoy");
    QString closings = QStringLiteral("Los cierres de caja no se pueden modificar ni borrar");
    QString inClosed = QStringLiteral(
        "EXISTS (SELECT 1 FROM CierresCaja c WHERE c.nIdCaja = NEW.nIdCaja AND c.dHasta > NEW.%1)");
    // A box's open period is read from the entry after the last one its last closing took.
    QString taken = QStringLiteral(
        "NEW.nIdApunteCaja <= COALESCE((SELECT c.nHastaApunte FROM CierresCaja c WHERE c.nIdCaja "
        "= NEW.nIdCaja ORDER BY c.nNumero DESC LIMIT 1), 0)");
    QString takenRefused = QStringLiteral(
        "Un apunte de caja no puede llevar un número anterior al último cierre de su caja");
};

QString TillRulesSqlite(const TillTexts& t) {
    QString text;
    for (const char* table : {"CierresCaja", "CierresCajaLineas"})
        for (const char* event : {"UPDATE", "DELETE"})
            text +=
                QStringLiteral("CREATE TRIGGER IF NOT EXISTS tv_%1_%2 BEFORE %3 ON %4 "
                               "BEGIN SELECT RAISE(ABORT, '%5'); END;\n")
                    .arg(QString::fromLatin1(table).toLower(), QString::fromLatin1(event).toLower(),
                         QLatin1String(event), QLatin1String(table), t.closings);
    return text +
           QStringLiteral(
               "CREATE TRIGGER IF NOT EXISTS tv_caja_apunte_cerrado BEFORE INSERT ON "
               "ApuntesCaja WHEN %2 BEGIN SELECT RAISE(ABORT, '%1'); END;\n"
               // Entries take their ids one writer at a time here, each after every
               // closed one: only an id given by hand can fall before a closing.
               "CREATE TRIGGER IF NOT EXISTS tv_caja_apunte_numero AFTER INSERT ON "
               "ApuntesCaja WHEN %4 BEGIN SELECT RAISE(ABORT, '%5'); END;\n"
               "CREATE TRIGGER IF NOT EXISTS tv_caja_apunte_cambio BEFORE UPDATE ON "
               "ApuntesCaja WHEN COALESCE(OLD.nIdCierreCaja, 0) <> 0 OR ((NEW.nIdCaja IS NOT "
               "OLD.nIdCaja OR NEW.dApunte IS NOT OLD.dApunte) AND %2) BEGIN SELECT "
               "RAISE(ABORT, '%1'); END;\n"
               "CREATE TRIGGER IF NOT EXISTS tv_caja_apunte_traslado BEFORE UPDATE OF "
               "nIdCaja, nIdApunteCaja ON ApuntesCaja WHEN (NEW.nIdCaja IS NOT OLD.nIdCaja OR "
               "NEW.nIdApunteCaja IS NOT "
               "OLD.nIdApunteCaja) AND %4 BEGIN SELECT RAISE(ABORT, '%5'); END;\n"
               "CREATE TRIGGER IF NOT EXISTS tv_caja_apunte_baja BEFORE DELETE ON ApuntesCaja "
               "WHEN COALESCE(OLD.nIdCierreCaja, 0) <> 0 BEGIN SELECT RAISE(ABORT, '%1'); "
               "END;\n"
               "CREATE TRIGGER IF NOT EXISTS tv_caja_factura_cerrada BEFORE INSERT ON Facturas "
               "WHEN %3 BEGIN SELECT RAISE(ABORT, '%1'); END;\n")
               .arg(t.closed, t.inClosed.arg("dApunte"), t.inClosed.arg("dFactura"), t.taken,
                    t.takenRefused);
}

QString TillRulesServer(const TillTexts& t) {
    return QStringLiteral(
               "CREATE OR REPLACE FUNCTION tv_cierres_inalterables() RETURNS trigger AS $$ "
               "BEGIN RAISE EXCEPTION '%1'; END $$ LANGUAGE plpgsql;\n"
               "CREATE OR REPLACE TRIGGER tv_cierrescaja_inalterable BEFORE UPDATE OR DELETE ON "
               "CierresCaja FOR EACH ROW EXECUTE FUNCTION tv_cierres_inalterables();\n"
               "CREATE OR REPLACE TRIGGER tv_cierrescaja_sin_vaciar BEFORE TRUNCATE ON "
               "CierresCaja FOR EACH STATEMENT EXECUTE FUNCTION tv_cierres_inalterables();\n"
               "CREATE OR REPLACE TRIGGER tv_cierrescajalineas_inalterable BEFORE UPDATE OR "
               "DELETE ON CierresCajaLineas FOR EACH ROW EXECUTE FUNCTION "
               "tv_cierres_inalterables();\n"
               "CREATE OR REPLACE TRIGGER tv_cierrescajalineas_sin_vaciar BEFORE TRUNCATE ON "
               "CierresCajaLineas FOR EACH STATEMENT EXECUTE FUNCTION "
               "tv_cierres_inalterables();\n")
               .arg(t.closings) +
           // Every entry of a box waits while the box is being closed (the closing holds the
           // same lock alone), and one whose id was drawn before a closing that took later ones
           // gets a new id: an entry the closing did not see still lands after the period it
           // closed. Each new entry version stays on its entry's page, which the closing's
           // marking then writes without touching an index.
           QStringLiteral(
               "ALTER TABLE ApuntesCaja SET (fillfactor = 50);\n"
               "CREATE OR REPLACE FUNCTION tv_caja_apunte_cerrado() RETURNS trigger AS $$ BEGIN "
               "IF TG_OP <> 'INSERT' AND COALESCE(OLD.nIdCierreCaja, 0) <> 0 THEN RAISE "
               "EXCEPTION '%1'; END IF; IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; IF TG_OP = "
               "'INSERT' OR NEW.nIdCaja IS DISTINCT FROM OLD.nIdCaja THEN PERFORM "
               "pg_advisory_xact_lock_shared(hashtext('tipocaja'), NEW.nIdCaja); END IF; IF "
               "(TG_OP = 'INSERT' OR NEW.nIdCaja IS DISTINCT FROM OLD.nIdCaja OR NEW.dApunte IS "
               "DISTINCT FROM OLD.dApunte) AND %2 THEN RAISE EXCEPTION '%1'; END IF; IF (TG_OP = "
               "'INSERT' OR NEW.nIdCaja IS DISTINCT FROM OLD.nIdCaja OR NEW.nIdApunteCaja IS "
               "DISTINCT FROM OLD.nIdApunteCaja) AND %4 THEN IF TG_OP <> 'INSERT' THEN RAISE "
               "EXCEPTION '%5'; END IF; NEW.nIdApunteCaja := "
               "nextval(pg_get_serial_sequence('apuntescaja', 'nidapuntecaja')); END IF; RETURN "
               "NEW; END $$ LANGUAGE plpgsql;\n"
               "CREATE OR REPLACE TRIGGER tv_caja_apunte_cerrado BEFORE INSERT OR DELETE ON "
               "ApuntesCaja FOR EACH ROW EXECUTE FUNCTION tv_caja_apunte_cerrado();\n"
               // A closing marks every entry of its period: only an update that could change a
               // closed period calls the function, the rest are passed by the server itself.
               "CREATE OR REPLACE TRIGGER tv_caja_apunte_cambio BEFORE UPDATE ON ApuntesCaja FOR "
               "EACH ROW WHEN (COALESCE(OLD.nIdCierreCaja, 0) <> 0 OR NEW.nIdCaja IS DISTINCT "
               "FROM OLD.nIdCaja OR NEW.dApunte IS DISTINCT FROM OLD.dApunte OR "
               "NEW.nIdApunteCaja IS DISTINCT FROM OLD.nIdApunteCaja) EXECUTE FUNCTION "
               "tv_caja_apunte_cerrado();\n"
               "CREATE OR REPLACE FUNCTION tv_caja_factura_cerrada() RETURNS trigger AS $$ BEGIN "
               "IF %3 THEN RAISE EXCEPTION '%1'; END IF; RETURN NEW; END $$ LANGUAGE plpgsql;\n"
               "CREATE OR REPLACE TRIGGER tv_caja_factura_cerrada BEFORE INSERT ON Facturas FOR "
               "EACH ROW EXECUTE FUNCTION tv_caja_factura_cerrada();\n")
               .arg(t.closed, t.inClosed.arg("dApunte"), t.inClosed.arg("dFactura"), t.taken,
                    t.takenRefused);
}

// A closing of a cash box stays as it was made, and so do the entries it closed; nothing is
// booked into a box before the moment its last closing ended (a late payment goes into the open
// period, dated today). Enforced by the database, so a workstation's own statements obey it too.
QString TillRules(bool server) {
    const TillTexts texts;
    return server ? TillRulesServer(texts) : TillRulesSqlite(texts);
}

// A signed record stays as it was signed, as its record does, and so does a signed event.
// SQLite's INSERT OR REPLACE removes the row it replaces without running the delete trigger, so an
// insert over an existing key is refused as well.
QString AppendOnlyRules(bool server, const QString& table, const QString& key, const QString& name,
                        const QString& refused) {
    if (!server)
        return QStringLiteral("CREATE TRIGGER IF NOT EXISTS tv_%2_sin_cambios BEFORE UPDATE ON "
                              "%3 BEGIN SELECT RAISE(ABORT, '%1'); END;\n"
                              "CREATE TRIGGER IF NOT EXISTS tv_%2_sin_borrados BEFORE DELETE ON "
                              "%3 BEGIN SELECT RAISE(ABORT, '%1'); END;\n"
                              "CREATE TRIGGER IF NOT EXISTS tv_%2_sin_reemplazos BEFORE INSERT ON "
                              "%3 WHEN EXISTS (SELECT 1 FROM %3 WHERE "
                              "%4=NEW.%4) BEGIN SELECT RAISE(ABORT, '%1'); END;\n")
            .arg(refused, name, table, key);
    return QStringLiteral("CREATE OR REPLACE FUNCTION tv_%2_inalterable() RETURNS trigger AS "
                          "$$ BEGIN RAISE EXCEPTION '%1'; END $$ LANGUAGE plpgsql;\n"
                          "CREATE OR REPLACE TRIGGER tv_%2_inalterable BEFORE UPDATE OR DELETE "
                          "ON %3 FOR EACH ROW EXECUTE FUNCTION "
                          "tv_%2_inalterable();\n"
                          "CREATE OR REPLACE TRIGGER tv_%2_sin_vaciar BEFORE TRUNCATE ON "
                          "%3 FOR EACH STATEMENT EXECUTE FUNCTION "
                          "tv_%2_inalterable();\n")
        .arg(refused, name, table);
}

QString SignedRecordRules(bool server) {
    return AppendOnlyRules(
               server, "RegistrosFirmados", "nIdRegistro", "firmado",
               "Los registros de facturación firmados no se pueden modificar ni borrar") +
           AppendOnlyRules(server, "EventosSIF", "nIdEvento", "evento",
                           "Los registros de eventos no se pueden modificar ni borrar");
}

} // namespace

QString SuiteSetup::Schema(bool server) {
    QString schema = QString::fromUtf8(ReadResource(":/schema.sql")) + "\n" +
                     SearchIndexes(server) + TillRules(server);
    // A record of the register, once written, stays as it was: whoever may write the database
    // (a workstation's account included) can add records but neither change nor remove one.
    const QString unchangeable = QStringLiteral(
        "Los registros de facturación no se pueden modificar ni borrar: cada factura emitida "
        "conserva el suyo");
    // A record enters only as the next link of its issuer's chain: the next key (which also
    // refuses SQLite's REPLACE, whose row already holds its key), the issuer's last fingerprint
    // as its previous one, and a fingerprint that its own fields give. SQLite recomputes it with
    // tv_sha256, which only the module's connections define: no other program can add a record.
    const QString outOfChain = QStringLiteral(
        "Solo la facturación puede añadir registros de facturación, y solo como el siguiente de "
        "la cadena de su emisor con su huella correcta");
    const QString text = QStringLiteral(
        "CASE WHEN NEW.sTipoRegistro = 'Anulacion' THEN 'IDEmisorFacturaAnulada=' || "
        "NEW.sIdEmisor || '&NumSerieFacturaAnulada=' || NEW.sNumSerie || "
        "'&FechaExpedicionFacturaAnulada=' || NEW.sFechaExpedicion || '&Huella=' || "
        "NEW.sHuellaAnterior || '&FechaHoraHusoGenRegistro=' || NEW.sFechaHoraHuso ELSE "
        "'IDEmisorFactura=' || NEW.sIdEmisor || '&NumSerieFactura=' || NEW.sNumSerie || "
        "'&FechaExpedicionFactura=' || NEW.sFechaExpedicion || '&TipoFactura=' || "
        "NEW.sTipoFactura || '&CuotaTotal=' || NEW.sCuotaTotal || '&ImporteTotal=' || "
        "NEW.sImporteTotal || '&Huella=' || NEW.sHuellaAnterior || "
        "'&FechaHoraHusoGenRegistro=' || NEW.sFechaHoraHuso END");
    const QString refused = QStringLiteral(
        "NEW.nIdRegistro IS DISTINCT FROM (SELECT COALESCE(MAX(nIdRegistro), 0) + 1 FROM "
        "RegistrosFacturacion) OR NEW.sHuellaAnterior IS DISTINCT FROM COALESCE((SELECT "
        "sHuella FROM RegistrosFacturacion WHERE sIdEmisor = NEW.sIdEmisor ORDER BY nIdRegistro "
        "DESC LIMIT 1), '') OR NEW.sHuella IS DISTINCT FROM %1");
    if (!server)
        return schema +
               QStringLiteral(
                   "\nCREATE TRIGGER IF NOT EXISTS tv_registro_sin_cambios BEFORE UPDATE "
                   "ON RegistrosFacturacion BEGIN SELECT RAISE(ABORT, '%1'); END;\n"
                   "CREATE TRIGGER IF NOT EXISTS tv_registro_sin_borrados BEFORE DELETE "
                   "ON RegistrosFacturacion BEGIN SELECT RAISE(ABORT, '%1'); END;\n"
                   "CREATE TRIGGER IF NOT EXISTS tv_registro_encadenado BEFORE INSERT ON "
                   "RegistrosFacturacion WHEN %3 BEGIN SELECT RAISE(ABORT, '%2'); END;\n")
                   .arg(unchangeable, outOfChain,
                        QString(refused)
                            .replace(QStringLiteral("IS DISTINCT FROM"), QStringLiteral("IS NOT"))
                            .arg("tv_sha256(" + text + ")")) +
               SignedRecordRules(false);
    schema.replace(QStringLiteral(" INTEGER PRIMARY KEY,"),
                   QStringLiteral(" INTEGER GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,"));
    // Workstations showing a client's pending items hear of every change to them, whoever makes
    // it, on the channel the server engine listens to.
    schema += QStringLiteral(
                  "\nCREATE OR REPLACE FUNCTION tv_avisar_items() RETURNS trigger AS $$ BEGIN "
                  "PERFORM pg_notify('%1', COALESCE(NEW.nIdCliente, OLD.nIdCliente)::text); "
                  "RETURN NULL; END $$ LANGUAGE plpgsql;\n"
                  "CREATE OR REPLACE TRIGGER tv_avisar_items AFTER INSERT OR UPDATE OR DELETE ON "
                  "FacturasItems FOR EACH ROW EXECUTE FUNCTION tv_avisar_items();\n")
                  .arg(QLatin1String(PostgresEngine::ItemsChannel));
    schema += QStringLiteral(
                  "CREATE OR REPLACE FUNCTION tv_registro_inalterable() RETURNS trigger AS $$ "
                  "BEGIN RAISE EXCEPTION '%1'; END $$ LANGUAGE plpgsql;\n"
                  "CREATE OR REPLACE TRIGGER tv_registro_inalterable BEFORE UPDATE OR DELETE ON "
                  "RegistrosFacturacion FOR EACH ROW EXECUTE FUNCTION tv_registro_inalterable();\n"
                  "CREATE OR REPLACE TRIGGER tv_registro_sin_vaciar BEFORE TRUNCATE ON "
                  "RegistrosFacturacion FOR EACH STATEMENT EXECUTE FUNCTION "
                  "tv_registro_inalterable();\n")
                  .arg(unchangeable);
    schema +=
        QStringLiteral("CREATE OR REPLACE FUNCTION tv_registro_encadenado() RETURNS trigger AS "
                       "$$ BEGIN IF %2 THEN RAISE EXCEPTION '%1'; END IF; RETURN NEW; END $$ "
                       "LANGUAGE plpgsql;\n"
                       "CREATE OR REPLACE TRIGGER tv_registro_encadenado BEFORE INSERT ON "
                       "RegistrosFacturacion FOR EACH ROW EXECUTE FUNCTION "
                       "tv_registro_encadenado();\n")
            .arg(outOfChain, QString(refused).arg("upper(encode(sha256(convert_to(" + text +
                                                  ", 'UTF8')), 'hex'))"));
    return schema + SignedRecordRules(true);
}

void SuiteSetup::FillDemo() {
    // Its documents were issued as the billing window issues them, in its branches' series:
    // linked, broken down and registered as they went, in issue order.
    DemoClinic::Fill();
}

namespace {

// Columns that tables of older data folders lack: added before the schema's indexes need them.
struct AddedColumn {
    const char* table;
    const char* column;
    const char* definition;
};
const AddedColumn AddedColumns[] = {
    {"Contadores", "sSerie", "TEXT NOT NULL DEFAULT ''"},
    {"Contadores", "nAnio", "INTEGER NOT NULL DEFAULT 0"},
    {"ApuntesCaja", "nIdFactura", "INTEGER DEFAULT 0"},
    {"RegistrosFacturacion", "sTipoRegistro", "TEXT NOT NULL DEFAULT 'Alta'"},
    {"TipoCobro", "nIdCaja", "INTEGER NOT NULL DEFAULT 0"},
    {"ApuntesCaja", "nIdTipoCobro", "INTEGER DEFAULT 0"},
    {"ApuntesCaja", "nIdCierreCaja", "INTEGER DEFAULT 0"},
    {"CierresCaja", "nHastaApunte", "INTEGER NOT NULL DEFAULT 0"},
    {"Facturas", "sTipoFactura", "TEXT DEFAULT ''"},
    {"Facturas", "sIdOtroPais", "TEXT DEFAULT ''"},
    {"Facturas", "sIdOtroTipo", "TEXT DEFAULT ''"},
    {"EnviosAeat", "sRequerimiento", "TEXT NOT NULL DEFAULT ''"},
    {"RegistrosEnviados", "sEstado", "TEXT NOT NULL DEFAULT ''"},
    {"FacturasItems", "nIdFacturaOrigen", "INTEGER DEFAULT 0"},
    {"Facturas", "sFacturasSustituidas", "TEXT DEFAULT ''"},
    {"Clientes", "bMostrador", "INTEGER NOT NULL DEFAULT 0"},
};

// The unique index on document numbers; made by UniqueNumbers, not by the schema text.
const QString UniqueNumbersIndex = QStringLiteral("uxfacturas_sfactura");

// "table.column" in lower case for every column of the database's tables.
QSet<QString> ExistingColumns(DataAccess& db) {
    const Rows rows = db.GetRows(
        db.IsServerDb()
            ? "SELECT lower(CAST(table_name AS text) || '.' || CAST(column_name AS text)) FROM "
              "information_schema.columns WHERE table_schema = current_schema()"
            : "SELECT lower(m.name || '.' || p.name) FROM sqlite_master m, "
              "pragma_table_info(m.name) p WHERE m.type = 'table'");
    QSet<QString> columns;
    for (int r = 0; r < rows.RowCount(); ++r)
        columns.insert(rows(0, r).toString());
    return columns;
}

// A data folder may already hold one number twice (issued before numbers were unique). Issued
// documents are never renumbered: the later copies of such a number stay out of the index, and
// every number, their first copy included, is refused to any new document.
void UniqueNumbers(DataAccess& db) {
    const Rows repeated = db.GetRows(
        "SELECT f.nIdFactura FROM Facturas f WHERE EXISTS (SELECT 1 FROM Facturas g WHERE "
        "g.sFactura = f.sFactura AND g.nIdFactura < f.nIdFactura) ORDER BY f.nIdFactura");
    QStringList ids;
    for (int r = 0; r < repeated.RowCount(); ++r)
        ids << QString::number(Utility::instance().SqlNumber(repeated(0, r)), 'f', 0);
    db.Execute("CREATE UNIQUE INDEX IF NOT EXISTS " + UniqueNumbersIndex +
               " ON Facturas (sFactura)" +
               (ids.isEmpty() ? QString() : " WHERE nIdFactura NOT IN (" + ids.join(',') + ")"));
}

} // namespace

// Runs only when something is missing: on a server, even a CREATE ... IF NOT EXISTS needs the
// owner's rights and locks its table, which a workstation's account lacks and which would stall
// another workstation's invoice.
void SuiteSetup::UpdateSchema() {
    DataAccess& db = DataAccess::instance();
    const bool server = db.IsServerDb();
    const QString schema = Schema(server);
    static const QRegularExpression created(
        R"(CREATE\s+(?:UNIQUE\s+|VIRTUAL\s+)?(?:OR\s+REPLACE\s+)?(?:TABLE|INDEX|TRIGGER)\s+)"
        R"((?:IF\s+NOT\s+EXISTS\s+)?(\w+))",
        QRegularExpression::CaseInsensitiveOption);
    QSet<QString> wanted;
    for (const QRegularExpressionMatch& m : created.globalMatch(schema))
        wanted.insert(m.captured(1).toLower());
    wanted.insert(UniqueNumbersIndex);
    const Rows existing = db.GetRows(
        server ? "SELECT table_name FROM information_schema.tables WHERE table_schema = "
                 "current_schema() UNION SELECT indexname FROM pg_indexes WHERE schemaname = "
                 "current_schema() UNION SELECT tgname FROM pg_trigger WHERE NOT tgisinternal"
               : "SELECT name FROM sqlite_master");
    QSet<QString> tables;
    for (int r = 0; r < existing.RowCount(); ++r) {
        tables.insert(existing(0, r).toString().toLower());
        wanted.remove(existing(0, r).toString().toLower());
    }
    if (wanted.isEmpty())
        return;

    TransactionGuard guard(db);
    const QSet<QString> columns = ExistingColumns(db);
    for (const AddedColumn& added : AddedColumns) {
        const QString table = QString::fromLatin1(added.table);
        const QString column = QString::fromLatin1(added.column);
        if (tables.contains(table.toLower()) &&
            !columns.contains(table.toLower() + '.' + column.toLower()))
            db.Execute("ALTER TABLE " + table + " ADD COLUMN " + column + " " + added.definition);
    }
    db.ExecuteScript(schema);
    // The index that held the closing's id: marking a period rewrote every entry's copy in it.
    db.Execute("DROP INDEX IF EXISTS ixApuntesCaja_Cierre");
    // A full-text table new to an existing folder reads the names already there.
    for (const SearchedName& name : SearchedNames)
        if (!server && wanted.contains(SearchTable(name).toLower()))
            db.Execute(
                QStringLiteral("INSERT INTO %1 (%1) VALUES ('rebuild')").arg(SearchTable(name)));
    LinkDocuments();
    UniqueNumbers(db);
    guard.Commit();
    // A folder older than the breakdown table: its documents get theirs, spread as an issued
    // document's would be.
    if (wanted.contains(QStringLiteral("facturasdesglose")))
        IssuedDocument::WriteMissingBreakdowns();
}

// Documents and cash-box entries written before they were linked by id are linked by their
// number where it names one document only; a credit note is linked to the invoice of its own
// branch and client that carries the number it names.
void SuiteSetup::LinkDocuments() {
    DataAccess& db = DataAccess::instance();
    db.Execute("UPDATE ApuntesCaja SET nIdFactura = (SELECT CASE WHEN COUNT(*) = 1 THEN "
               "MIN(f.nIdFactura) ELSE 0 END FROM Facturas f WHERE f.sFactura = "
               "substr(ApuntesCaja.sDocumento, 5)) WHERE (nIdFactura = 0 OR nIdFactura IS NULL) "
               "AND sDocumento LIKE 'Fra.%' AND COALESCE(nIdCierreCaja, 0) = 0");
    // Entries booked before they carried their payment type name it in their reference, as
    // issuing wrote it ("Cobro " and the type, cut at 16 characters).
    db.Execute("UPDATE ApuntesCaja SET nIdTipoCobro = (SELECT MIN(t.nIdTipoCobro) FROM TipoCobro t "
               "WHERE substr('Cobro ' || t.sTipoCobro, 1, 16) = ApuntesCaja.sReferencia) WHERE "
               "COALESCE(nIdTipoCobro, 0) = 0 AND COALESCE(nIdCierreCaja, 0) = 0 AND sReferencia "
               "LIKE 'Cobro %' AND EXISTS (SELECT 1 FROM TipoCobro t WHERE substr('Cobro ' || "
               "t.sTipoCobro, 1, 16) = ApuntesCaja.sReferencia)");
    db.Execute("INSERT INTO Abonos (nIdFactura, nIdFacturaAbonada) SELECT MIN(c.nIdFactura), "
               "f.nIdFactura FROM Facturas c JOIN Facturas f ON f.sFactura = c.sFacturaAbonada "
               "AND f.nIdSucursal = c.nIdSucursal AND f.nIdCliente = c.nIdCliente AND "
               "(f.dFacturaAbonada = 0 OR f.dFacturaAbonada IS NULL) WHERE c.sFacturaAbonada <> "
               "'' AND NOT EXISTS (SELECT 1 FROM Abonos a WHERE a.nIdFacturaAbonada = "
               "f.nIdFactura OR a.nIdFactura = c.nIdFactura) GROUP BY f.nIdFactura");
    // A credit note written before invoices could be rectified in parts rectified all of its
    // invoice's lines.
    db.Execute("INSERT INTO AbonosItems (nIdFactura, nIdFacturaItem, nUnidades) SELECT "
               "a.nIdFactura, i.nIdFacturaItem, i.nUnidades FROM Abonos a JOIN FacturasItems i ON "
               "i.nIdFactura = a.nIdFacturaAbonada WHERE NOT EXISTS (SELECT 1 FROM AbonosItems x "
               "WHERE x.nIdFactura = a.nIdFactura)");
}

void SuiteSetup::FillScale(int thousands) {
    if (thousands <= 0)
        return;
    if (thousands > MaxScaleThousands)
        throw TvError(ErrorNumber::Overflow,
                      QString("Se pueden generar como mucho %1 miles de clientes, no %2.")
                          .arg(MaxScaleThousands)
                          .arg(thousands));
    if (Utility::instance().SqlNumber(
            DataAccess::instance().GetValue("ConfiguracionEmpresa", {})) == 0)
        FillDemo();
    // Issued through the invoicing call, the generated documents are linked, broken down and
    // recorded as they are written: nothing is left to catch up afterwards.
    ScaleGenerator(thousands).Run();
}
