// tvSetup creating a suite folder once, and refusing one it cannot write.

#include "platform/util/Utility.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

namespace {

struct Outcome {
    int status;
    QString out, err;
};

Outcome RunSetup(const QStringList& arguments) {
    QProcess process;
    process.start(qEnvironmentVariable("TV_BIN_DIR") + "/tvSetup", arguments);
    if (!process.waitForFinished(120000))
        return {-1, {}, "tvSetup did not finish"};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

QByteArray Digest(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

QString Ini(const QString& file, const QString& section, const QString& key) {
    return Utility::instance().ReadIni(file, section, key, "<missing>");
}

TEST(SetupTool, CreatesTheSuiteFolderOnceAndLeavesItAloneAfterwards) {
    QTemporaryDir tmp;
    const QString root = tmp.path() + "/Mi clínica/Tavelo";
    const Outcome first = RunSetup({"--demo", root});
    ASSERT_EQ(first.status, 0) << qPrintable(first.err);

    const QString data = root + "/Data";
    const QString ini = data + "/Tavelo.ini";
    EXPECT_EQ(Ini(ini, "Database", "DataPath"), data);
    EXPECT_EQ(Ini(ini, "Database", "Engine"), "sqlite");
    EXPECT_EQ(Ini(ini, "Console", "User"), "admin");
    for (const char* key : {"ExpandedForms", "GridDblClickForEdit", "ReturnIsTab", "ColsToGdSize"})
        EXPECT_TRUE(Ini(ini, "Console", key) == "True" || Ini(ini, "Console", key) == "False")
            << key;
    for (const char* key : {"Listings", "Receips", "Bills"})
        EXPECT_EQ(Ini(ini, "Printers", key), "") << key;

    for (const char* folder : {"Data/Reports/Custom", "Data/Docs", "Data/Mailings", "Data/FaxEnv",
                               "Data/FaxRec", "Data/Datalocal/Pics", "Data/Datalocal/Cns",
                               "Data/Datalocal/Videos", "Help", "Update", "Exe", "Export"})
        EXPECT_TRUE(QFileInfo(root + "/" + folder).isDir()) << folder;
    const QImage logo(data + "/Logo.bmp");
    ASSERT_FALSE(logo.isNull());
    EXPECT_NEAR(double(logo.width()) / logo.height(), 8.5, 0.5);
    QDirIterator reports(":/Reports", {"*.xml"}, QDir::Files);
    while (reports.hasNext()) {
        const QFileInfo report(reports.next());
        EXPECT_EQ(Digest(data + "/Reports/" + report.fileName()), Digest(report.filePath()));
    }
    EXPECT_EQ(QDir(root).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
              5)
        << "no staging folder left behind";

    // Filled with its journal in memory, the file is left in WAL mode as every connection expects
    // it: its header's write and read versions (bytes 18 and 19) are 2 only in that mode.
    QFile database(data + "/Tavelo.db");
    ASSERT_TRUE(database.open(QIODevice::ReadOnly));
    EXPECT_EQ(database.read(20).mid(18), QByteArray("\x02\x02"));
    database.close();

    const QByteArray before = Digest(data + "/Tavelo.db");
    const Outcome second = RunSetup({"--demo", root});
    EXPECT_EQ(second.status, 3);
    EXPECT_TRUE(second.err.contains("ya contiene una suite")) << qPrintable(second.err);
    EXPECT_EQ(Digest(data + "/Tavelo.db"), before);
}

TEST(SetupTool, RefusesAFolderItCannotWriteAndLeavesNothing) {
    QTemporaryDir tmp;
    QFile blocker(tmp.path() + "/archivo");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const Outcome run = RunSetup({"--demo", blocker.fileName() + "/Tavelo"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains("No se puede crear la carpeta")) << qPrintable(run.err);
    EXPECT_TRUE(QFileInfo(blocker.fileName()).isFile());

    // 2147484 thousand clients overflowed a 32-bit count and built 40 of them.
    for (const char* scale : {"mucho", "2147484", "1001"}) {
        const Outcome usage = RunSetup({"--scale", scale, tmp.path() + "/Otra"});
        EXPECT_EQ(usage.status, 2) << scale;
        EXPECT_TRUE(usage.err.contains("Uso: tvSetup")) << scale;
        EXPECT_FALSE(QFileInfo::exists(tmp.path() + "/Otra")) << scale;
    }
}

TEST(SetupTool, StoppedHalfWayItLeavesNothingBehind) {
    QTemporaryDir tmp;
    for (const QString& root : {tmp.path() + "/Nueva", tmp.path()}) {
        QProcess setup;
        setup.start(qEnvironmentVariable("TV_BIN_DIR") + "/tvSetup", {"--scale", "50", root});
        ASSERT_TRUE(setup.waitForStarted());
        // Stopped once the database is being filled in the hidden staging folder.
        QDeadlineTimer deadline(60000);
        while (setup.state() == QProcess::Running && !deadline.hasExpired() &&
               QDir(root).entryList({".Data-*"}, QDir::Dirs | QDir::Hidden).isEmpty())
            QThread::msleep(5);
        ASSERT_EQ(setup.state(), QProcess::Running) << "tvSetup ended before it could be stopped";
        QThread::msleep(300);
        setup.terminate();
        ASSERT_TRUE(setup.waitForFinished(30000));
        EXPECT_EQ(setup.exitStatus(), QProcess::CrashExit);
        if (root == tmp.path())
            EXPECT_TRUE(QDir(root).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
                << qPrintable(QDir(root).entryList(QDir::AllEntries | QDir::Hidden).join(' '));
        else
            EXPECT_FALSE(QFileInfo::exists(root)) << "a folder it created goes too";
    }
}

} // namespace
