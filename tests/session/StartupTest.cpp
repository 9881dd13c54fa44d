#include "SessionTest.h"
#include "TestSuite.h"

#include "platform/data/DataAccess.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "platform/util/Utility.h"
#include "session/EmailComponent.h"
#include "session/G.h"
#include "session/Gi.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

QString Line(const TestSuite& suite, const QString& signIn, const QString& date = "20261205") {
    return signIn + "|" + date + "|" + suite.IniPath() + "|0|0|0|0";
}

bool ShownContains(const TestSuite& suite, const QString& text) {
    return suite.Ui().Shown.join('\n').contains(text);
}

void SetBranchSetting(int branch, const QString& name, const QString& value) {
    auto& db = DataAccess::instance();
    const QString where =
        "nIdSucursal=" + QString::number(branch) + " AND sDato=" + Utility::Quote(name);
    db.DeleteRecords("ConfiguracionSucursales", where);
    db.InsertRecord("ConfiguracionSucursales", "nIdSucursal,sDato,sValor",
                    QString::number(branch) + "," + Utility::Quote(name) + "," +
                        Utility::Quote(value));
}

} // namespace

TEST(Startup, FullCommandLineFillsTheSessionRecord) {
    TestSuite suite;
    auto& db = DataAccess::instance();
    db.UpdateRecord("ConfiguracionEmpresa", "sNombre", Utility::Quote("Clínica O'Brien"), "1=1");
    SetBranchSetting(1, "sNombreSucursal", "Centro");
    SetBranchSetting(1, "sEmailSvr", "smtp.clinica.test");
    SetBranchSetting(1, "sEmailUsr", "recepcion");
    SetBranchSetting(1, "sEmailPwd", "secreto");
    SetBranchSetting(2, "sNombreSucursal", "Norte");

    G::Init(Line(suite, "admin:admin"));

    EXPECT_EQ(Gi.sUsuario, "admin");
    EXPECT_EQ(Gi.sClaveCmd, "admin");
    EXPECT_EQ(Gi.nFechaTrabajo, 20261205);
    EXPECT_EQ(Gi.nIdUsuario, 1);
    EXPECT_EQ(Gi.nIdSucursal, 1);
    EXPECT_TRUE(Gi.bClave);
    EXPECT_EQ(Gi.sPathIni, suite.IniPath());
    EXPECT_EQ(Gi.sPathData, suite.DataDir());
    EXPECT_EQ(Gi.sPathPics, suite.DataDir() + "/Datalocal/Pics");
    EXPECT_EQ(Gi.sPathReports, suite.DataDir() + "/Reports");
    EXPECT_EQ(Gi.sPathFaxRec, suite.DataDir() + "/FaxRec");
    EXPECT_EQ(Gi.sPathRoot,
              Utility::instance().GetRootPath(QCoreApplication::applicationDirPath(), "Tavelo"));
    EXPECT_EQ(Gi.sPathExe, Gi.sPathRoot + "/Exe");
    EXPECT_EQ(Gi.sNombre, "Clínica O'Brien");
    EXPECT_EQ(Gi.sNombreSucursal, "Centro");
    EXPECT_EQ(Gi.sEmailSvr, "smtp.clinica.test");
    EXPECT_EQ(Gi.sEmailUsr, "recepcion");
    EXPECT_EQ(Gi.sEmailPwd, "secreto");
    EXPECT_EQ(EmailComponent::instance().MailAccount().server, "smtp.clinica.test");
    EXPECT_EQ(Utility::instance().CompanyName(), "Clínica O'Brien");
    EXPECT_TRUE(suite.Ui().Shown.isEmpty()) << suite.Ui().Shown.join('\n').toStdString();

    // The branch comes from the user: "norte" works in branch 2.
    G::Init(Line(suite, "norte:norte", ""));
    EXPECT_EQ(Gi.nIdSucursal, 2);
    EXPECT_EQ(Gi.sNombreSucursal, "Norte");
    EXPECT_EQ(Gi.nFechaTrabajo, TodayNumber().toInt());
}

TEST(Startup, ShortFormsFindTheIniTheirOwnWay) {
    TestSuite suite;
    // Two pieces: the ini below the root of the program's folder, which the test binary has not.
    EXPECT_NE(EndStatus([] { G::Init("admin:admin|20261205"); }), -1);
    EXPECT_EQ(Gi.sPathIni, Gi.sPathRoot + "/Data/Tavelo.ini");
    EXPECT_EQ(suite.Ui().Shown.value(0),
              "[Init] No se encuentra Tavelo.ini - Tavelo.ini Not Found");

    // No "|": the whole line is the ini, and also (up to a ":") the login.
    suite.Ui().Shown.clear();
    EXPECT_NE(EndStatus([&] { G::Init(suite.IniPath()); }), -1);
    EXPECT_EQ(Gi.sPathIni, suite.IniPath());
    EXPECT_TRUE(ShownContains(suite, "El usuario no ha sido encontrado: " + suite.IniPath()));
}

TEST(Startup, OnlyTheMenuMayStartTheModule) {
    TestSuite suite;
    EXPECT_NE(EndStatus([&] { G::Init(Line(suite, "admin:otra")); }), -1);
    EXPECT_EQ(suite.Ui().Shown.value(0),
              "[Aviso] Este modulo sólo puede ser iniciado desde el menú.");

    suite.Ui().Shown.clear();
    EXPECT_EQ(EndStatus([&] { G::Init(Line(suite, "admin:ADMIN")); }), -1);
    EXPECT_EQ(EndStatus([&] { G::Init(Line(suite, "recepcion:lo-que-sea")); }), -1);
    EXPECT_EQ(Gi.sUsuario, "recepcion");
    EXPECT_TRUE(suite.Ui().Shown.isEmpty());

    // The login "0" is always checked, with or without a password.
    DataAccess::instance().InsertRecord("Usuarios", "sUsuario,bClave,sClave,nIdSucursal",
                                        "'0',0,'',1");
    EXPECT_NE(EndStatus([&] { G::Init(Line(suite, "0:lo-que-sea")); }), -1);
    EXPECT_EQ(suite.Ui().Shown.value(0),
              "[Aviso] Este modulo sólo puede ser iniciado desde el menú.");
}

TEST(Startup, UnknownUserEndsNamingIt) {
    TestSuite suite;
    const auto users = DataAccess::instance().GetRows("select count(*) from Usuarios").Value(0, 0);
    EXPECT_NE(EndStatus([&] { G::Init(Line(suite, "o'brien:x")); }), -1);
    EXPECT_TRUE(ShownContains(suite, "G::Load_Gi_User"));
    EXPECT_TRUE(ShownContains(suite, "El usuario no ha sido encontrado: o'brien"));
    EXPECT_FALSE(DataAccess::instance().IsConnected());

    G::Init(Line(suite, "admin:admin"));
    EXPECT_EQ(DataAccess::instance().GetRows("select count(*) from Usuarios").Value(0, 0), users);
}

TEST(Startup, ConsoleOptionsAreReadAsBooleans) {
    TestSuite suite;
    // Only the data folder: every missing option counts as False.
    {
        QFile ini(suite.IniPath());
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write(("[Database]\nDataPath=" + suite.DataDir() + "\n").toUtf8());
    }
    G::Init(Line(suite, "admin:admin"));
    EXPECT_FALSE(Gi.ExpandedForms || Gi.GridDblClickForEdit || Gi.ReturnIsTab || Gi.ColsToGdSize);

    SetIniKey(suite.IniPath(), "Console", "ExpandedForms", "TRUE");
    SetIniKey(suite.IniPath(), "Console", "GridDblClickForEdit", "-1");
    SetIniKey(suite.IniPath(), "Console", "ReturnIsTab", "0");
    SetIniKey(suite.IniPath(), "Console", "ColsToGdSize", "false");
    G::Init(Line(suite, "admin:admin"));
    EXPECT_TRUE(Gi.ExpandedForms);
    EXPECT_TRUE(Gi.GridDblClickForEdit);
    EXPECT_FALSE(Gi.ReturnIsTab);
    EXPECT_FALSE(Gi.ColsToGdSize);

    SetIniKey(suite.IniPath(), "Console", "ColsToGdSize", "quizá");
    EXPECT_NE(EndStatus([&] { G::Init(Line(suite, "admin:admin")); }), -1);
    EXPECT_TRUE(ShownContains(suite, "G::Load_Gi"));
    EXPECT_TRUE(ShownContains(suite, "ColsToGdSize"));
}

TEST(Startup, BadCommandLineOrDataFolderEndsWithAMessage) {
    TestSuite suite;
    for (const QString date : {"2026ab05", "20261340"}) {
        suite.Ui().Shown.clear();
        EXPECT_NE(EndStatus([&] { G::Init(Line(suite, "admin:admin", date)); }), -1)
            << date.toStdString();
        EXPECT_TRUE(ShownContains(suite, "fecha de trabajo")) << date.toStdString();
    }

    bool created = false;
    suite.Ui().Shown.clear();
    EXPECT_NE(EndStatus([&] {
                  Main("admin:admin|20261205|" + suite.IniPath() + "|x1|0|0|0", [&] {
                      created = true;
                      return new QWidget;
                  });
              }),
              -1);
    EXPECT_FALSE(created);
    EXPECT_TRUE(ShownContains(suite, "número de arranque 3"));

    SetIniKey(suite.IniPath(), "Database", "DataPath", suite.Root() + "/NoHay");
    suite.Ui().Shown.clear();
    EXPECT_NE(EndStatus([&] { G::Init(Line(suite, "admin:admin")); }), -1);
    EXPECT_TRUE(ShownContains(suite, "DataPath"));
    EXPECT_FALSE(QFile::exists(suite.Root() + "/NoHay"));
}

TEST(Startup, MissingOrLockedDatabaseIsRefused) {
    TestSuite suite;
    DataAccess::instance().Close();

    const QString kept = suite.DbPath() + ".guardada";
    ASSERT_TRUE(QFile::rename(suite.DbPath(), kept));
    EXPECT_NE(EndStatus([&] { G::Init(Line(suite, "admin:admin")); }), -1);
    EXPECT_TRUE(ShownContains(suite, "No se encuentra la base de datos"));
    EXPECT_FALSE(QFile::exists(suite.DbPath())) << "an empty database was created in its place";
    ASSERT_TRUE(QFile::rename(kept, suite.DbPath()));

    {
        auto locker = QSqlDatabase::addDatabase("QSQLITE", "locker");
        locker.setDatabaseName(suite.DbPath());
        ASSERT_TRUE(locker.open());
        QSqlQuery query(locker);
        ASSERT_TRUE(query.exec("PRAGMA locking_mode=EXCLUSIVE"));
        ASSERT_TRUE(query.exec("BEGIN EXCLUSIVE"));
        ASSERT_TRUE(query.exec("UPDATE Usuarios SET sClave=sClave WHERE nIdUsuario=1"));

        suite.Ui().Shown.clear();
        EXPECT_NE(EndStatus([&] { G::Init(Line(suite, "admin:admin")); }), -1);
        EXPECT_TRUE(ShownContains(suite, "No se ha podido abrir la base de datos"));
        query.exec("ROLLBACK");
        query.finish();
        locker.close();
    }
    QSqlDatabase::removeDatabase("locker");
    EXPECT_EQ(EndStatus([&] { G::Init(Line(suite, "admin:admin")); }), -1);
}

TEST(Startup, MainShowsTheParentWindowUntilTheProgramEnds) {
    TestSuite suite;
    SetIniKey(suite.IniPath(), "Console", "ExpandedForms", "True");
    bool maximised = false;
    const int status = Main("admin:admin|20261205|" + suite.IniPath() + "|12|0|-1|3", [&] {
        auto* window = new QWidget;
        QTimer::singleShot(0, window, [&maximised, window] {
            maximised = window->isVisible() && (window->windowState() & Qt::WindowMaximized);
            QCoreApplication::exit(5);
        });
        return window;
    });
    EXPECT_EQ(status, 5);
    EXPECT_TRUE(maximised);
    EXPECT_EQ(Gi.nParam3, 12);
    EXPECT_EQ(Gi.nParam4, 0);
    EXPECT_EQ(Gi.nParam5, -1);
    EXPECT_EQ(Gi.nParam6, 3);
}
