#include "TestSuite.h"

#include <QCoreApplication>
#include <QDate>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

QString Program() {
    QString folder = qEnvironmentVariable("TV_BIN_DIR");
    if (folder.isEmpty())
        folder = QCoreApplication::applicationDirPath();
    return folder + "/tvFacturacion";
}

struct ModuleRun {
    bool finished = false;
    int status = -1;
    QString errors;
};

// Runs the module as the menu would, answering every message at once on standard error. A run
// that has not ended within waitMs is stopped and reported as not finished.
ModuleRun RunModule(const QString& commandLine, int waitMs = 30000) {
    QProcess process;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("TAVELO_UNATTENDED", "1");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(env);
    process.start(Program(), {commandLine});
    ModuleRun run;
    if (!process.waitForStarted())
        return run;
    run.finished = process.waitForFinished(waitMs);
    if (!run.finished) {
        process.terminate();
        process.waitForFinished(5000);
    }
    run.status = process.exitCode();
    run.errors = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QString Today() {
    return QDate::currentDate().toString("yyyyMMdd");
}

} // namespace

TEST(Program, MissingIniEnds) {
    const ModuleRun run = RunModule("admin:admin|" + Today() + "|/no/existe/Tavelo.ini|0|0|0|0");
    ASSERT_TRUE(run.finished);
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(run.errors.contains("[Init] No se encuentra Tavelo.ini - Tavelo.ini Not Found\n"))
        << run.errors.toStdString();
}

TEST(Program, UnknownUserEndsNamingIt) {
    TestSuite suite;
    const ModuleRun run = RunModule("fulano:x|" + Today() + "|" + suite.IniPath() + "|0|0|0|0");
    ASSERT_TRUE(run.finished);
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(run.errors.contains("G::Load_Gi_User")) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains("El usuario no ha sido encontrado: fulano"))
        << run.errors.toStdString();
}

TEST(Program, SignedInItWaitsForTheUser) {
    TestSuite suite;
    const ModuleRun run =
        RunModule("admin:admin|" + Today() + "|" + suite.IniPath() + "|0|0|0|0", 3000);
    EXPECT_FALSE(run.finished) << run.errors.toStdString();
    // No message was shown (Qt's own warnings may still be there).
    EXPECT_FALSE(
        run.errors.contains(QRegularExpression("^\\[", QRegularExpression::MultilineOption)))
        << run.errors.toStdString();
}
