#include "setup/SuiteSetup.h"

#include "register/RegistroFacturacion.h"

#include "platform/data/DataAccess.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "setup/DemoClinic.h"
#include "setup/ScaleGenerator.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

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
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw TvError(ErrorNumber::PathFileAccess, "No se puede escribir el archivo " +
                                                       Native(path) + ": " + file.errorString());
}

QByteArray ReadResource(const QString& name) {
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        throw TvError(ErrorNumber::FileNotFound, "Falta el recurso " + name + " en el programa");
    return file.readAll();
}

// The user named here is the one the suite's menu signs in when no login is given.
QByteArray IniText(const QString& dataPath, bool demo) {
    const QString text = QStringLiteral("[Database]\n"
                                        "DataPath=%1\n"
                                        "Engine=sqlite\n"
                                        "\n"
                                        "[Console]\n"
                                        "User=%2\n"
                                        "ExpandedForms=False\n"
                                        "GridDblClickForEdit=True\n"
                                        "ReturnIsTab=True\n"
                                        "ColsToGdSize=False\n"
                                        "\n"
                                        "[Printers]\n"
                                        "Listings=\n"
                                        "Receips=\n"
                                        "Bills=\n")
                             .arg(dataPath, demo ? QStringLiteral("admin") : QString());
    return text.toUtf8();
}

DbConfig SqliteFile(const QString& path) {
    DbConfig config;
    config.engine = "sqlite";
    config.sqliteFile = path;
    return config;
}

// Everything that goes into <root>/Data, written into `folder`; the ini already names the
// final data path.
void BuildDataFolder(const QString& folder, const QString& finalDataPath, bool demo, int scale) {
    for (const char* sub : DataFolders)
        MakePath(folder + "/" + sub);
    WriteFile(folder + "/Tavelo.ini", IniText(finalDataPath, demo));
    WriteFile(folder + "/Logo.bmp", ReadResource(":/Logo.bmp"));
    QDirIterator reports(":/Reports", {"*.xml"}, QDir::Files);
    while (reports.hasNext()) {
        const QFileInfo report(reports.next());
        WriteFile(folder + "/Reports/" + report.fileName(), ReadResource(report.filePath()));
    }

    DataAccess& db = DataAccess::instance();
    db.Open(SqliteFile(folder + "/Tavelo.db"));
    try {
        SuiteSetup::UpdateSchema();
        if (demo)
            SuiteSetup::FillDemo();
        SuiteSetup::FillScale(scale);
        // Index statistics let SQLite start a pet-and-client lookup from the client (a handful
        // of rows) rather than from a common pet name (thousands).
        db.Execute("ANALYZE");
    } catch (...) {
        db.Close();
        throw;
    }
    db.Close();
}

} // namespace

bool SuiteSetup::Create(const QString& root, bool demo, int scaleThousands) {
    const QString rootPath = QDir::cleanPath(QFileInfo(root).absoluteFilePath());
    const QString dataPath = rootPath + "/Data";
    if (QFileInfo::exists(dataPath + "/Tavelo.ini") || QFileInfo::exists(dataPath + "/Tavelo.db"))
        return false;
    if (QFileInfo::exists(dataPath) && !QDir(dataPath).isEmpty())
        throw TvError(ErrorNumber::PathFileAccess,
                      "La carpeta " + Native(dataPath) +
                          " ya existe y no contiene una suite; no se ha modificado nada.");

    const bool rootExisted = QFileInfo::exists(rootPath);
    DataAccess::instance().Close();
    try {
        MakePath(rootPath);
        // Built beside its final place and renamed last: a data folder that exists is complete.
        QTemporaryDir staging(rootPath + "/.Data-XXXXXX");
        if (!staging.isValid())
            throw TvError(ErrorNumber::PathFileAccess, "No se puede escribir en la carpeta " +
                                                           Native(rootPath) + ": " +
                                                           staging.errorString());
        BuildDataFolder(staging.path(), dataPath, demo, scaleThousands);
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
    DataAccess::instance().Open(SqliteFile(dataPath + "/Tavelo.db"));
    return true;
}

void SuiteSetup::FillDemo() {
    DemoClinic::Fill();
    // The demo's history was issued before its register: it gets its records now, so that the
    // demo's chain verifies.
    RegistroFacturacion::RegistrarPendientes();
}

void SuiteSetup::UpdateSchema() {
    DataAccess::instance().ExecuteScript(QString::fromUtf8(ReadResource(":/schema.sql")));
}

void SuiteSetup::FillScale(int thousands) {
    if (thousands <= 0)
        return;
    if (Utility::instance().SqlNumber(
            DataAccess::instance().GetValue("ConfiguracionEmpresa", {})) == 0)
        FillDemo();
    ScaleGenerator(thousands).Run();
    RegistroFacturacion::RegistrarPendientes();
}
