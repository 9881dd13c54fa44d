// The ini file, files, launching programs and closing only the suite's own.

#include "ErrorOf.h"
#include "QtPrinting.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {
void Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QString Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

TEST(ReadIni, FindsKeysOfTheSuitesFile) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("Tavelo.ini");
    Write(ini, "[Database]\nDataPath=/x/Data\n\n[Console]\r\n ; a comment\r\n"
               "user = admin \r\nExpandedForms=\r\nFilter=a=b and c\r\n"
               "[Printers]\nBills=TM-T20 (USB)\nListings=\" HP \"\n");
    QStringList read;
    for (const char* key :
         {"Database/DataPath", "console/USER", "Console/ExpandedForms", "Console/Filter",
          "Printers/Bills", "Printers/Listings", "Console/DataPath", "Nowhere/DataPath"})
        read << U().ReadIni(ini, QString(key).section('/', 0, 0), QString(key).section('/', 1),
                            "-");
    EXPECT_EQ(read,
              QStringList({"/x/Data", "admin", "", "a=b and c", "TM-T20 (USB)", " HP ", "-", "-"}));
    EXPECT_EQ(U().ReadIni(dir.filePath("missing.ini"), "Database", "DataPath", "def"), "def");

    Write(ini, "[Console]\nUser=Mar\xed"
               "a\n"); // written by an older, Latin-1 editor
    EXPECT_EQ(U().ReadIni(ini, "Console", "User"), QString::fromUtf8("María"));
}

TEST(Files, ReadDeleteExistAndRoot) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Tempfile_1.txt");
    Write(path, QString::fromUtf8("Señor Muñoz\n€ 12,50\n").toUtf8());
    EXPECT_TRUE(U().FileExists(path));
    EXPECT_FALSE(U().FileExists(dir.path()));
    EXPECT_TRUE(U().FileExists(dir.path(), 16));
    EXPECT_EQ(U().ReadTextFile(path), QString::fromUtf8("Señor Muñoz\n€ 12,50\n"));
    U().DeleteFile(path);
    EXPECT_FALSE(U().FileExists(path));
    EXPECT_NO_THROW(U().DeleteFile(path));
    EXPECT_EQ(ErrorOf([&] { U().ReadTextFile(path); }), ErrorNumber::FileNotFound);

    QDir(dir.path()).mkpath("Tavelo/Exe/bin");
    EXPECT_EQ(U().GetRootPath(dir.filePath("Tavelo/Exe"), "Tavelo"), dir.filePath("Tavelo"));
    EXPECT_EQ(U().GetRootPath(dir.filePath("Tavelo/Exe/bin/"), "Tavelo"), dir.filePath("Tavelo"));
    EXPECT_EQ(U().GetRootPath(dir.filePath("Other/Exe"), "Tavelo"), dir.filePath("Other"));
}

TEST(RunModule, StartsTheProgramAtTheHeadWithTheRestAsOneArgument) {
    QTemporaryDir dir;
    const QString script = dir.filePath("tvDemo");
    const QString out = dir.filePath("out.txt");
    Write(script, ("#!/bin/sh\nprintf '%s' \"$1\" > '" + out + ".part' && mv '" + out + ".part' '" +
                   out + "'\n")
                      .toUtf8());
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // The suite writes "\" and ".exe"; the program on disk has neither.
    const QString windowsStyle = QString(dir.path()).replace('/', '\\') + "\\tvDemo.exe";
    U().RunModule(windowsStyle + " admin:it's a pw|20260305||7|0");
    for (int i = 0; i < 100 && !QFile::exists(out); ++i)
        QThread::msleep(50);
    EXPECT_EQ(Read(out), "admin:it's a pw|20260305||7|0");

    EXPECT_EQ(ErrorOf([&] { U().RunModule(dir.filePath("tvNada.exe admin:x|1||")); }),
              ErrorNumber::FileNotFound);
    EXPECT_EQ(ErrorOf([] { U().RunModule(""); }), ErrorNumber::FileNotFound);
}

// Only a registered, still-running program of the given name is signalled; an unregistered
// copy, an entry whose process is not that program, and this process itself are left alone.
TEST(CloseApps, SignalsOnlyRegisteredMatchingPrograms) {
    QTemporaryDir runtime;
    const QByteArray previous = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    const QString program = runtime.filePath("tvDemo");
    ASSERT_TRUE(QFile::copy(QStandardPaths::findExecutable("sleep"), program));

    QProcess registered, unregistered, impostor;
    for (QProcess* p : {&registered, &unregistered})
        p->start(program, {"30"});
    impostor.start(QStandardPaths::findExecutable("sleep"), {"30"});
    for (QProcess* p : {&registered, &unregistered, &impostor})
        ASSERT_TRUE(p->waitForStarted());
    const qint64 registeredPid = registered.processId();
    Utility::RegisterRunningProgram("tvDemo", registeredPid);
    Utility::RegisterRunningProgram("tvOther", impostor.processId());
    Utility::RegisterRunningProgram("test_util");

    U().CloseApps("*");
    U().CloseApps("TV*");
    EXPECT_TRUE(registered.waitForFinished(5000));
    EXPECT_EQ(registered.exitStatus(), QProcess::CrashExit);
    EXPECT_FALSE(unregistered.waitForFinished(300));
    EXPECT_FALSE(impostor.waitForFinished(10));

    // The finished program's entry is dropped on the next pass; the others stay.
    const QString entry = Utility::RegistryFolder() + "/" + QString::number(registeredPid);
    U().CloseApps("nothing");
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_TRUE(QFile::exists(Utility::RegistryFolder() + "/" +
                              QString::number(QCoreApplication::applicationPid())));

    for (QProcess* p : {&unregistered, &impostor}) {
        p->kill();
        p->waitForFinished();
    }
    if (previous.isNull())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", previous);
}

TEST(ShowError, ShowsAndLogsTheFailure) {
    auto* ui = new ScriptedUi;
    auto previous = Ui::Install(std::unique_ptr<Ui>(ui));
    QTemporaryDir dir;
    U().SetLogFolder(dir.path());
    U().SetCompanyName(QString::fromUtf8("Clínica Veterinaria Sur"));

    bool shown = false;
    U().ShowError("Facturacion::Generar_Factura", "nPaso=3 i=1 n=2", "", 53,
                  "No se ha podido encontrar el archivo", &shown);
    EXPECT_TRUE(shown);
    ASSERT_EQ(ui->Shown.size(), 1);
    const QString message = ui->Shown.first();
    for (const char* part : {"Clínica Veterinaria Sur", "Facturacion::Generar_Factura", "53",
                             "No se ha podido encontrar el archivo", "nPaso=3 i=1 n=2"})
        EXPECT_TRUE(message.contains(QString::fromUtf8(part))) << part;
    const QString log = Read(dir.filePath("errors.log"));
    EXPECT_TRUE(log.contains(QDate::currentDate().toString("dd/MM/yyyy")));
    EXPECT_TRUE(log.contains("Facturacion::Generar_Factura") && log.contains("nPaso=3 i=1 n=2") &&
                log.contains("Error 53"));

    // A log that cannot be written does not keep the message from the user.
    U().SetLogFolder(dir.filePath("no/such/folder"));
    U().ShowError("G::Init", "", "Otra", 75, "Acceso denegado");
    EXPECT_EQ(ui->Shown.size(), 2);
    EXPECT_TRUE(ui->Shown.last().contains("G::Init"));
    U().SetLogFolder({});
    Ui::Install(std::move(previous));
}

TEST(Utility, SessionPaperFormsAndExemptApp) {
    Utility& u = U();
    u.AddPaperForm("Ticket", "TvPaper_75000x100000", 75000, 100000, 0);
    u.AddPaperForm("Ticket", "TvPaper_210000x101600", 210000, 101600, 0);
    u.AddPaperForm("Ticket", "TvPaper_75000x100000", 75000, 100000, 0);
    EXPECT_EQ(u.PaperFormNumber("Ticket", "TvPaper_210000x101600"), 258);
    u.DeletePaperForm("Ticket", "TvPaper_75000x100000");
    EXPECT_EQ(u.PaperFormNumber("Ticket", "TvPaper_210000x101600"), 257);
    EXPECT_EQ(u.PaperFormNumber("Ticket", "TvPaper_75000x100000"), 0);
    EXPECT_EQ(u.PaperFormNumber("Laser", "TvPaper_210000x101600"), 0);

    EXPECT_FALSE(u.IsExemptApp(QCoreApplication::instance()));
    QCoreApplication::setApplicationName("Tavelo");
    EXPECT_TRUE(u.IsExemptApp(QCoreApplication::instance()));
    QCoreApplication::setApplicationName("test_util");
    EXPECT_FALSE(u.IsExemptApp(nullptr));
}
