// tvFacturacion run as the suite's menu runs it, with nobody at the screen.

#include "TestSuite.h"
#include "support/NoWriteAccess.h"
#include "support/TestEngine.h"

#include "platform/data/DataAccess.h"

#include <QCoreApplication>
#include <QDate>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

struct ModuleRun {
    bool finished = false;
    int status = -1;
    QString errors;
};

// Runs the real module as the menu would, with every message answered at once on standard error.
// A run still going after waitMs is stopped and reported as not finished.
ModuleRun RunModule(const QString& ini, const QString& signIn, int waitMs = 30000) {
    QString folder = qEnvironmentVariable("TV_BIN_DIR");
    if (folder.isEmpty())
        folder = QCoreApplication::applicationDirPath();
    QProcess process;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("TAVELO_UNATTENDED", "1");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(env);
    process.start(
        folder + "/tvFacturacion",
        {signIn + "|" + QDate::currentDate().toString("yyyyMMdd") + "|" + ini + "|0|0|0|0"});
    ModuleRun run;
    run.finished = process.waitForFinished(waitMs);
    if (!run.finished) {
        process.terminate();
        process.waitForFinished();
    }
    run.status = process.exitCode();
    run.errors = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace

TEST(Program, EndsWithItsMessageOnAMissingIniOrAnUnknownUser) {
    ModuleRun run = RunModule("/no/existe/Tavelo.ini", "admin:admin");
    ASSERT_TRUE(run.finished);
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(run.errors.contains("[Init] No se encuentra Tavelo.ini - Tavelo.ini Not Found\n"))
        << run.errors.toStdString();

    TestSuite suite;
    run = RunModule(suite.IniPath(), "fulano:x");
    ASSERT_TRUE(run.finished);
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(run.errors.contains("G::Load_Gi_User") &&
                run.errors.contains("El usuario no ha sido encontrado: fulano\n"))
        << run.errors.toStdString();
}

TEST(Program, SignedInItWaitsForTheUser) {
    TestSuite suite;
    const ModuleRun run = RunModule(suite.IniPath(), "admin:admin", 3000);
    EXPECT_FALSE(run.finished) << run.errors.toStdString();
    // No message was shown (Qt's own warnings may be there).
    EXPECT_FALSE(
        run.errors.contains(QRegularExpression("^\\[", QRegularExpression::MultilineOption)))
        << run.errors.toStdString();
}

// Reading start-up data would work, but the module writes: it says what stops it, a data folder
// or only its database file that it may not write to.
TEST(Program, SaysThatItCannotWriteToAReadOnlyDataFolderOrDatabase) {
    SKIP_ON_SERVER("on the server the data folder holds no database to write");
    for (const bool wholeFolder : {true, false}) {
        TestSuite suite;
        DataAccess::instance().Close();
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("TAVELO_UNATTENDED", "1");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        const QString scratch = QFileInfo(suite.Root()).path();
        const NoWriteAccessRun run = RunWithoutWriteAccess(
            QCoreApplication::applicationDirPath() + "/tvFacturacion",
            {"admin:admin|" + QDate::currentDate().toString("yyyyMMdd") + "|" + suite.IniPath()},
            scratch, wholeFolder ? suite.DataDir() : suite.DbPath(),
            wholeFolder ? scratch + "/salida" : suite.DataDir(), env);
        if (!run.skipped.isEmpty())
            GTEST_SKIP() << run.skipped.toStdString();
        ASSERT_TRUE(run.finished);
        EXPECT_NE(run.status, 0);
        EXPECT_TRUE(run.err.contains(wholeFolder ? "No se puede escribir en la carpeta de datos"
                                                 : "/Tavelo.db\" es de solo lectura, y este "
                                                   "programa necesita modificarla."))
            << run.err.toStdString();
    }
}

// The menu checks the right before starting the module; started by hand, the module checks it.
TEST(Program, RefusesAUserWhoseGroupMayNotUseIt) {
    TestSuite suite;
    auto& db = DataAccess::instance();
    const qint32 right = db.InsertRecord("Accesos", "sAcceso", "'tvFacturacion'");
    db.InsertRecord("AccesosGrupos", "nIdAcceso,nIdUsuarioGrupo,bAcceso",
                    QString("%1,1,0").arg(right));
    db.Close();
    const ModuleRun run = RunModule(suite.IniPath(), "admin:admin");
    ASSERT_TRUE(run.finished);
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(run.errors.contains("[Aviso] No tiene permiso para realizar esta operación.\n"))
        << run.errors.toStdString();
}
