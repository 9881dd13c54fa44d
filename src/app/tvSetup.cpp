// tvSetup [--server CONNSPEC] [--demo] [--scale N] DIR: creates the suite folder DIR with its data
// folder, database, initialisation file, logo and report definitions; --server puts the database
// on a PostgreSQL server ("host=...;port=...;dbname=...;user=...;password=...") instead of the
// folder's own SQLite file; --demo fills a demo clinic, --scale N adds N thousand generated
// clients with their sales. Exit status: 0 created, 1 could not be created (nothing left behind),
// 2 wrong arguments, 3 DIR or the server's database already holds a suite (nothing changed).
// tvSetup --backup DIR CLINIC writes one backup of the suite folder CLINIC into DIR, and
// tvSetup --restore FILE CLINIC [--force] puts one back (docs/operations.md): status 0 done,
// 1 refused or failed (the clinic's database as it was), 2 wrong arguments.

#include "app/Tool.h"
#include "platform/data/DataAccess.h"
#include "platform/util/TvError.h"
#include "setup/CopiaSeguridad.h"
#include "setup/SuiteSetup.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QStringList>
#include <cstdio>
#include <optional>

namespace {

enum Status { Created = 0, Failed = 1, Usage = 2, AlreadyThere = 3 };

int UsageError(const QString& problem) {
    if (!problem.isEmpty())
        Print(stderr, "tvSetup: " + problem);
    Print(stderr,
          "Uso: tvSetup [--server CONEXION] [--demo] [--scale N] CARPETA\n"
          "     tvSetup --backup DESTINO CARPETA\n"
          "     tvSetup --restore COPIA CARPETA [--force]\n"
          "  --server    la base de datos en un servidor PostgreSQL:\n"
          "              \"host=...;port=...;dbname=...;user=...;password=...\"\n"
          "  --demo      rellena una clínica de demostración\n"
          "  --scale N   añade N miles de clientes con sus ventas (incluye la demostración)\n"
          "  --backup    escribe en DESTINO una copia de seguridad de la clínica de CARPETA\n"
          "  --restore   devuelve la clínica de CARPETA al estado de la COPIA\n"
          "  --force     restaura aunque la base de datos tenga documentos posteriores");
    return Usage;
}

// What the command line asks for: the suite folder and how to make it, or a backup of the clinic
// it holds, or a restore.
struct Options {
    bool demo = false;
    int scale = 0;
    DbConfig database;
    QString folder;
    QString backupDir;
    QString restoreFile;
    bool force = false;
};

// Reads args into options; answers the status of a wrong command line, nothing for a right one.
std::optional<int> ReadOptions(const QStringList& args, Options& o) {
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == "--demo") {
            o.demo = true;
        } else if (arg == "--scale") {
            bool ok = false;
            o.scale = i + 1 < args.size() ? args[++i].toInt(&ok) : 0;
            if (!ok || o.scale < 1 || o.scale > SuiteSetup::MaxScaleThousands)
                return UsageError(QString("--scale necesita un número entero de 1 a %1 (miles de "
                                          "clientes).")
                                      .arg(SuiteSetup::MaxScaleThousands));
        } else if (arg == "--server") {
            if (i + 1 >= args.size())
                return UsageError("--server necesita la conexión con el servidor.");
            try {
                o.database = DbConfig::FromConnectionSpec(args[++i]);
            } catch (const TvError& error) {
                return UsageError(error.Description());
            }
        } else if (arg == "--backup" || arg == "--restore") {
            if (i + 1 >= args.size())
                return UsageError(arg + " necesita " +
                                  (arg == "--backup" ? "la carpeta de destino." : "la copia."));
            (arg == "--backup" ? o.backupDir : o.restoreFile) = args[++i];
        } else if (arg == "--force") {
            o.force = true;
        } else if (arg == "--help" || arg == "-h") {
            return UsageError({});
        } else if (arg.startsWith("--") || !o.folder.isEmpty()) {
            return UsageError("argumento no reconocido: " + arg);
        } else {
            o.folder = arg;
        }
    }
    if (o.folder.isEmpty())
        return UsageError("falta la carpeta de la suite.");
    return std::nullopt;
}

int BackupOrRestore(const Options& o) {
    if (o.demo || o.scale > 0 || !o.database.name.isEmpty() ||
        (!o.backupDir.isEmpty() && !o.restoreFile.isEmpty()) ||
        (o.force && o.restoreFile.isEmpty()))
        return UsageError("--backup y --restore no se combinan con otras opciones.");
    const QString ini = QDir(o.folder).filePath("Data/Tavelo.ini");
    try {
        if (!o.backupDir.isEmpty())
            Print(stdout, "Copia escrita y comprobada: " +
                              QDir::toNativeSeparators(CopiaSeguridad::Crear(o.backupDir, ini)));
        else
            Print(stdout, CopiaSeguridad::Restaurar(o.restoreFile, ini, o.force));
    } catch (const TvError& error) {
        Print(stderr, "tvSetup: " + error.Description());
        return Failed;
    }
    return Created;
}

int Create(const Options& o) {
    const QString shown = QDir::toNativeSeparators(QDir(o.folder).absolutePath());
    QElapsedTimer timer;
    timer.start();
    try {
        switch (SuiteSetup::Create(o.folder, o.demo, o.scale, o.database)) {
        case SuiteSetup::FolderHoldsSuite:
            Print(stderr, "tvSetup: la carpeta " + shown +
                              " ya contiene una suite de Tavelo; no se ha modificado nada.");
            return AlreadyThere;
        case SuiteSetup::DatabaseHoldsSuite:
            Print(stderr, "tvSetup: el servidor " + o.database.ServerName() +
                              " ya contiene una suite de Tavelo; no se ha modificado nada.");
            return AlreadyThere;
        case SuiteSetup::Created:
            break;
        }
        DataAccess::instance().Close();
    } catch (const TvError& error) {
        Print(stderr,
              "tvSetup: no se ha podido crear la suite en " + shown + ".\n" + error.Description());
        return Failed;
    }
    Print(stdout, QString("Suite creada en %1 (%2 s).")
                      .arg(shown)
                      .arg(double(timer.elapsed()) / 1000, 0, 'f', 1));
    return Created;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    Options options;
    if (const std::optional<int> wrong = ReadOptions(app.arguments().mid(1), options))
        return *wrong;
    if (!options.backupDir.isEmpty() || !options.restoreFile.isEmpty())
        return BackupOrRestore(options);
    return Create(options);
}
