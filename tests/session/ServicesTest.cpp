#include "SessionTest.h"
#include "TestSuite.h"

#include "platform/data/DataAccess.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "platform/ui/widgets/Frm.h"
#include "platform/util/Utility.h"
#include "session/G.h"
#include "session/Gi.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

namespace {

void AddAccess(const QString& name, int group, bool allowed) {
    auto& db = DataAccess::instance();
    const qint32 id = db.InsertRecord("Accesos", "sAcceso", Utility::Quote(name));
    db.InsertRecord("AccesosGrupos", "nIdAcceso,nIdUsuarioGrupo,bAcceso",
                    QString("%1,%2,%3").arg(id).arg(group).arg(allowed ? 1 : 0));
}

QString WaitForFile(const QString& path) {
    QFile file(path);
    for (QDeadlineTimer deadline(10000); !deadline.hasExpired(); QThread::msleep(20))
        if (file.open(QIODevice::ReadOnly)) {
            const QString text = QString::fromUtf8(file.readAll());
            if (text.endsWith('\n'))
                return text.trimmed();
            file.close();
        }
    return {};
}

} // namespace

TEST(Permissions, ListedOperationsFollowTheUsersGroup) {
    TestSuite suite;
    suite.SignIn();
    AddAccess("tvVetado", Gi.nIdUsuarioGrupo, false);
    AddAccess("tvPermitido", Gi.nIdUsuarioGrupo, true);
    AddAccess("tvDeOtroGrupo", Gi.nIdUsuarioGrupo + 100, true);

    EXPECT_TRUE(G::Permiso("tvNoListado"));
    EXPECT_TRUE(G::Permiso("O'Brien"));
    EXPECT_TRUE(G::Permiso("tvPermitido"));
    EXPECT_FALSE(G::Permiso("tvVetado"));
    EXPECT_FALSE(G::Permiso("tvDeOtroGrupo"));

    G::ShellMod("tvVetado", {});
    EXPECT_EQ(suite.Ui().Shown,
              QStringList{"[Aviso] No tiene permiso para realizar esta operación."});
}

TEST(Permissions, OnlyTheMasterGroupIsMaster) {
    TestSuite suite;
    suite.SignIn();
    EXPECT_TRUE(IsMaster(true));
    EXPECT_TRUE(suite.Ui().Shown.isEmpty());

    suite.SignIn("recepcion", "");
    EXPECT_FALSE(IsMaster(false));
    EXPECT_TRUE(suite.Ui().Shown.isEmpty());
    EXPECT_FALSE(IsMaster(true));
    EXPECT_EQ(
        suite.Ui().Shown,
        QStringList{"[Aviso] Sólo los usuarios del grupo Maestro pueden acceder a esta opción."});
}

TEST(ShellMod, StartsTheModuleWithTheSessionsCommandLine) {
    TestSuite suite;
    suite.SignIn();
    Gi.sPathExe = suite.Root() + "/Exe";
    QDir().mkpath(Gi.sPathExe);
    const QString script = Gi.sPathExe + "/tvModulo";
    {
        QFile file(script);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nprintf '%s|%s\\n' \"$#\" \"$1\" > \"$(dirname \"$0\")/args.tmp\"\n"
                   "mv \"$(dirname \"$0\")/args.tmp\" \"$(dirname \"$0\")/args.txt\"\n");
        file.setPermissions(file.permissions() | QFile::ExeOwner);
    }

    G::ShellMod("  tvModulo ", "0|15");
    EXPECT_EQ(WaitForFile(Gi.sPathExe + "/args.txt"), "1|admin:admin|" + TodayNumber() + "||0|15");

    G::ShellMod("tvNoExiste", {});
    EXPECT_EQ(suite.Ui().Shown,
              QStringList{"[Aviso] No se ha podido encontrar el módulo solicitado."});
}

TEST(Messages, StatusBarOfTheActiveWindowElseAMessageBox) {
    TestSuite suite;
    suite.SignIn();
    auto& shown = suite.Ui().Shown;

    QWidget window;
    Frm* frame = new Frm(&window, "Prueba");
    frame->SetStatusBar(false);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ASSERT_EQ(Frm::Active(), frame);

    ShowMessage(2);
    ShowMessage(3);
    ShowMessage(5);
    EXPECT_EQ(shown, (QStringList{"[Aviso] Los datos han sido guardados.",
                                  "[Aviso] Guarde el registro antes de ejecutar esta operación."}));

    shown.clear();
    EXPECT_FALSE(ShowMessage(4));
    suite.Ui().Confirmations.push_back(true);
    EXPECT_TRUE(ShowMessage(4, "¿Borrar?"));
    ShowMessage(1, "Falló");
    ShowMessage(9, "nada");
    EXPECT_EQ(shown, (QStringList{"[Confirmación] ¿Está seguro de realizar la operación?",
                                  "[Confirmación] ¿Borrar?", "[Error] Falló"}));

    frame->SetStatusBar(true);
    shown.clear();
    ShowMessage(2);
    EXPECT_EQ(frame->PanelText(1), " Los datos han sido guardados.");
    ShowMessage(5);
    EXPECT_EQ(frame->PanelText(1), " Cargando Modulo. Espere por favor...");
    EXPECT_TRUE(shown.isEmpty());

    Gi.sUsuario = "administradora";
    Gi.nFechaTrabajo = 20261205;
    ShowSessionStatus(*frame);
    EXPECT_EQ(frame->PanelText(3), "administra 05/12/2026");
}

TEST(Settings, CompanyAndBranchValues) {
    TestSuite suite;
    suite.SignIn();
    auto& db = DataAccess::instance();
    db.UpdateRecord("ConfiguracionEmpresa", "sNif", Utility::Quote("B-12345678"), "1=1");
    db.InsertRecord("ConfiguracionSucursales", "nIdSucursal,sDato,sValor",
                    QString::number(Gi.nIdSucursal) + ",'sPrueba','Calle O''Donnell'");
    db.InsertRecord("ConfiguracionSucursales", "nIdSucursal,sDato,sValor", "99,'sPrueba','otra'");

    EXPECT_EQ(GetCompanySetting("sNif").toString(), "B-12345678");
    EXPECT_EQ(GetBranchSetting("sPrueba"), "Calle O'Donnell");
    EXPECT_EQ(GetBranchSetting("sPrueba", 99), "otra");
    EXPECT_EQ(GetBranchSetting("sNoExiste"), "");
    EXPECT_EQ(GetBranchSetting("s'Rara"), "");

    EXPECT_EQ(EndStatus([] { QuitSuite(false, false); }), 0);
    EXPECT_FALSE(db.IsConnected());
}
