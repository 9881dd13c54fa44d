// Start-up: the command line's forms, who may start the module and what ends it.

#include "SessionTest.h"
#include "support/TestEngine.h"

#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"
#include "session/EmailComponent.h"
#include "session/G.h"
#include "session/Gi.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

TEST(Startup, CommandLineFormsFillTheSessionRecord) {
    TestSuite suite;
    G::Init(MenuLine(suite, "norte:NORTE", ""));
    EXPECT_EQ(QStringList({Gi.sUsuario, Gi.sClaveCmd, QString::number(Gi.nIdUsuario),
                           QString::number(Gi.nIdSucursal), QString::number(Gi.nFechaTrabajo),
                           Gi.sNombre, Gi.sNombreSucursal, Gi.sEmailPwd,
                           EmailComponent::instance().MailAccount().user})
                  .join('|'),
              "norte|NORTE|3|2|" + TodayNumber() +
                  "|Clínica Veterinaria Tavelo S.L.|Tavelo Norte|norte2026|norte@tavelo.example");
    EXPECT_EQ(QStringList({Gi.sPathData, Gi.sPathPics, Gi.sPathFaxRec}).join('|'),
              suite.DataDir() + "|" + suite.DataDir() + "/Datalocal/Pics|" + suite.DataDir() +
                  "/FaxRec");
    EXPECT_EQ(Gi.sPathRoot,
              Utility::instance().GetRootPath(QCoreApplication::applicationDirPath(), "Tavelo"));
    // The build folder has no Exe of its own, as an installed package has none: the programs are
    // those beside this one.
    EXPECT_EQ(Gi.sPathExe, QCoreApplication::applicationDirPath());
    EXPECT_TRUE(suite.Ui().Shown.isEmpty()) << suite.Ui().Shown.join('\n').toStdString();

    // Two pieces: the ini below the root of the program's folder, which the test binary has not.
    EXPECT_EQ(EndStatus([] { G::Init("admin:admin|20261205"); }), 1);
    EXPECT_EQ(Gi.sPathIni, Gi.sPathRoot + "/Data/Tavelo.ini");
    EXPECT_EQ(suite.Ui().Shown.value(0),
              "[Init] No se encuentra Tavelo.ini - Tavelo.ini Not Found");

    // No "|": the whole line is the ini path and also, up to a ":", the login.
    EXPECT_EQ(EndStatus([&] { G::Init(suite.IniPath()); }), 1);
    EXPECT_EQ(Gi.sPathIni, suite.IniPath());
    EXPECT_TRUE(Shown(suite, "El usuario no ha sido encontrado: " + suite.IniPath()));
}

TEST(Startup, OnlyTheMenuMayStartTheModule) {
    TestSuite suite;
    const QString refusal = "[Aviso] Este modulo sólo puede ser iniciado desde el menú.";
    EXPECT_EQ(EndStatus([&] { G::Init(MenuLine(suite, "admin:otra")); }), 1);
    EXPECT_EQ(suite.Ui().Shown, QStringList{refusal});

    // Without a password any password does, except for the login "0".
    EXPECT_EQ(EndStatus([&] { G::Init(MenuLine(suite, "recepcion:lo-que-sea")); }), -1);
    DataAccess::instance().InsertRecord("Usuarios", "sUsuario,bClave,nIdSucursal", "'0',0,1");
    EXPECT_EQ(EndStatus([&] { G::Init(MenuLine(suite, "0:lo-que-sea")); }), 1);
    EXPECT_EQ(suite.Ui().Shown, (QStringList{refusal, refusal}));
}

TEST(Startup, UnknownUserEndsNamingIt) {
    TestSuite suite;
    EXPECT_EQ(EndStatus([&] { G::Init(MenuLine(suite, "o'brien:x")); }), 1);
    EXPECT_TRUE(Shown(suite, "G::Load_Gi_User"));
    EXPECT_TRUE(Shown(suite, "El usuario no ha sido encontrado: o'brien"));
    EXPECT_FALSE(DataAccess::instance().IsConnected());
}

TEST(Startup, ConsoleOptionsAreBooleansAndMissingOnesFalse) {
    TestSuite suite;
    WriteIni(suite, "[Console]\nExpandedForms=TRUE\nGridDblClickForEdit=-1\nReturnIsTab=0\n");
    G::Init(MenuLine(suite, "admin:admin"));
    EXPECT_TRUE(Gi.ExpandedForms && Gi.GridDblClickForEdit);
    EXPECT_FALSE(Gi.ReturnIsTab || Gi.ColsToGdSize);

    WriteIni(suite, "[Console]\nColsToGdSize=quizá\n");
    EXPECT_EQ(EndStatus([&] { G::Init(MenuLine(suite, "admin:admin")); }), 1);
    EXPECT_TRUE(Shown(suite, "G::Load_Gi") && Shown(suite, "ColsToGdSize"));
}

TEST(Startup, BadInputEndsWithAMessageAndChangesNothing) {
    TestSuite suite;
    for (const QString date : {"2026ab05", "20261340", "100000101"}) {
        EXPECT_EQ(EndStatus([&] { G::Init(MenuLine(suite, "admin:admin", date)); }), 1);
        EXPECT_TRUE(Shown(suite, "\"" + date + "\""));
    }
    EXPECT_EQ(EndStatus([&] {
                  Main(MenuLine(suite, "admin:admin", "20261205", "x1|0|0|0"),
                       [] { return new QWidget; });
              }),
              1);
    EXPECT_TRUE(Shown(suite, "número de arranque 3"));

    if (TestEngine::Server()) {
        // A database the server does not have is named in the message.
        QFile ini(suite.IniPath());
        ini.open(QIODevice::ReadOnly);
        const QString kept = QString::fromUtf8(ini.readAll());
        ini.close();
        ini.open(QIODevice::WriteOnly | QIODevice::Truncate);
        ini.write(QString(kept)
                      .replace(QRegularExpression("\nName=[^\n]*"), "\nName=no_hay_tal")
                      .toUtf8());
        ini.close();
        EXPECT_EQ(EndStatus([&] { G::Init(MenuLine(suite, "admin:admin")); }), 1);
        EXPECT_TRUE(Shown(suite, "no_hay_tal"));
        ini.open(QIODevice::WriteOnly | QIODevice::Truncate);
        ini.write(kept.toUtf8());
    } else {
        const QString kept = suite.DbPath() + ".guardada";
        ASSERT_TRUE(QFile::rename(suite.DbPath(), kept));
        EXPECT_EQ(EndStatus([&] { G::Init(MenuLine(suite, "admin:admin")); }), 1);
        EXPECT_TRUE(Shown(suite, "No se encuentra la base de datos"));
        EXPECT_FALSE(QFile::exists(suite.DbPath())) << "an empty database took its place";
        ASSERT_TRUE(QFile::rename(kept, suite.DbPath()));
    }

    WriteIni(suite, "", suite.Root() + "/NoHay");
    EXPECT_EQ(EndStatus([&] { G::Init(MenuLine(suite, "admin:admin")); }), 1);
    EXPECT_TRUE(Shown(suite, "DataPath"));

    // An ini path that names a folder is a missing ini, not a missing data folder.
    suite.Ui().Shown.clear();
    EXPECT_EQ(EndStatus([&] { G::Init("admin:admin|20261205|" + suite.DataDir()); }), 1);
    EXPECT_EQ(suite.Ui().Shown,
              QStringList{"[Init] No se encuentra Tavelo.ini - Tavelo.ini Not Found"});
}

TEST(Startup, DatabaseLockedByAnotherProgramIsRefused) {
    SKIP_ON_SERVER("a database file locked by another program is SQLite's case");
    TestSuite suite;
    DataAccess::instance().Close();
    {
        auto locker = QSqlDatabase::addDatabase("QSQLITE", "locker");
        locker.setDatabaseName(suite.DbPath());
        ASSERT_TRUE(locker.open());
        QSqlQuery query(locker);
        ASSERT_TRUE(query.exec("PRAGMA locking_mode=EXCLUSIVE"));
        ASSERT_TRUE(query.exec("BEGIN EXCLUSIVE"));
        ASSERT_TRUE(query.exec("UPDATE Usuarios SET sClave=sClave"));
        EXPECT_EQ(EndStatus([&] { G::Init(MenuLine(suite, "admin:admin")); }), 1);
        EXPECT_TRUE(Shown(suite, "No se ha podido abrir la base de datos"));
        query.exec("ROLLBACK");
    }
    QSqlDatabase::removeDatabase("locker");
}

TEST(Startup, AServerThatCannotBeReachedOrHoldsNoSuiteIsNamed) {
    if (!TestEngine::Server())
        GTEST_SKIP() << "a server's own case";
    TestSuite suite;
    const DbConfig server = TestEngine::ServerConfig();
    QFile file(suite.IniPath());
    file.open(QIODevice::ReadOnly);
    const QString ini = QString::fromUtf8(file.readAll());
    file.close();
    auto startWith = [&](const QString& key, const QString& value) {
        QString text = ini;
        text.replace(QRegularExpression("^" + key + "=.*$", QRegularExpression::MultilineOption),
                     key + "=" + value);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(text.toUtf8());
        file.close();
        suite.Ui().Shown.clear();
        EXPECT_EQ(EndStatus([&] { G::Init(MenuLine(suite, "admin:admin")); }), 1);
    };
    startWith("Port", "1");
    EXPECT_TRUE(Shown(suite, "No se ha podido conectar con el servidor de base de datos " +
                                 server.host + ":1 (base de datos"))
        << suite.Ui().Shown.join('\n').toStdString();
    EXPECT_TRUE(Shown(suite, "con el usuario \"" + server.user + "\""));
    startWith("Name", server.name);
    EXPECT_TRUE(Shown(suite, "pero no se pueden leer las tablas del programa"))
        << suite.Ui().Shown.join('\n').toStdString();
}

TEST(Startup, MainShowsTheParentWindowMaximisedWhenAsked) {
    TestSuite suite;
    WriteIni(suite, "[Console]\nExpandedForms=True\n");
    bool maximised = false;
    const int status = Main(MenuLine(suite, "admin:admin", "20261205", "12|0|-1|3"), [&] {
        auto* window = new QWidget;
        QTimer::singleShot(0, window, [&maximised, window] {
            maximised = window->isVisible() && window->windowState() & Qt::WindowMaximized;
            QCoreApplication::exit(5);
        });
        return window;
    });
    EXPECT_EQ(status, 5);
    EXPECT_TRUE(maximised);
    EXPECT_EQ(Gi.nParam3, 12);
}
