// The session's services: permissions, module launch, messages and the notes errors carry.

#include "SessionTest.h"

#include "platform/data/DataAccess.h"
#include "platform/ui/widgets/Frm.h"
#include "session/G.h"
#include "session/Gi.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

TEST(Services, PermissionsFollowTheUsersGroup) {
    TestSuite suite;
    suite.SignIn("recepcion", "");
    auto& db = DataAccess::instance();
    const qint32 refused = db.InsertRecord("Accesos", "sAcceso", "'tvVetado'");
    db.InsertRecord("AccesosGrupos", "nIdAcceso,nIdUsuarioGrupo,bAcceso",
                    QString("%1,%2,0").arg(refused).arg(Gi.nIdUsuarioGrupo));
    db.InsertRecord("ConfiguracionSucursales", "nIdSucursal,sDato,sValor",
                    "1,'sPrueba','Calle O''Donnell'");

    EXPECT_TRUE(G::Permiso("tvNoListado"));
    EXPECT_TRUE(G::Permiso("O'Brien"));
    EXPECT_FALSE(G::Permiso("tvVetado"));
    EXPECT_FALSE(IsMaster(false));
    EXPECT_TRUE(suite.Ui().Shown.isEmpty());
    EXPECT_EQ(GetBranchSetting("sPrueba"), "Calle O'Donnell");
    EXPECT_EQ(GetBranchSetting("sPrueba", 2), "");

    G::ShellMod("tvVetado", {});
    EXPECT_FALSE(IsMaster(true));
    EXPECT_EQ(suite.Ui().Shown,
              (QStringList{"[Aviso] No tiene permiso para realizar esta operación.",
                           "[Aviso] Sólo los usuarios del grupo Maestro pueden acceder a esta "
                           "opción."}));

    suite.SignIn();
    EXPECT_TRUE(IsMaster(true));
    EXPECT_TRUE(G::Permiso("tvEstadisticas"));
}

TEST(Services, ShellModStartsTheModuleWithTheSessionsCommandLine) {
    TestSuite suite;
    suite.SignIn();
    Gi.sPathExe = suite.Root() + "/Exe";
    QDir().mkpath(Gi.sPathExe);
    QFile script(Gi.sPathExe + "/tvModulo");
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\ncd \"$(dirname \"$0\")\"\necho \"$#|$1\" > args.tmp\n"
                 "mv args.tmp args.txt\n");
    script.close();
    script.setPermissions(script.permissions() | QFile::ExeOwner);

    G::ShellMod("  tvModulo ", "0|15");
    QFile args(Gi.sPathExe + "/args.txt");
    for (QDeadlineTimer deadline(10000); !args.exists() && !deadline.hasExpired();)
        QThread::msleep(20);
    ASSERT_TRUE(args.open(QIODevice::ReadOnly));
    EXPECT_EQ(args.readAll().trimmed(), "1|admin:admin|" + TodayNumber() + "||0|15");

    EXPECT_EQ(EndStatus([] { G::ShellMod("tvNoExiste", {}); }), -1);
    EXPECT_EQ(suite.Ui().Shown,
              QStringList{"[Aviso] No se ha podido encontrar el módulo solicitado."});
}

TEST(Services, MessagesGoToTheActiveStatusBarElseToABox) {
    TestSuite suite;
    suite.SignIn();
    auto& shown = suite.Ui().Shown;
    QWidget window;
    Frm* frame = new Frm(&window, "Prueba");
    frame->SetStatusBar(false);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    ShowMessage(MessageKind::Saved);
    ShowMessage(MessageKind::SaveFirst);
    ShowMessage(MessageKind::LoadingModule);
    EXPECT_FALSE(ShowMessage(MessageKind::Confirm));
    suite.Ui().Confirmations.push_back(true);
    EXPECT_TRUE(ShowMessage(MessageKind::Confirm, "¿Borrar?"));
    EXPECT_EQ(shown, (QStringList{"[Aviso] Los datos han sido guardados.",
                                  "[Aviso] Guarde el registro antes de ejecutar esta operación.",
                                  "[Confirmación] ¿Está seguro de realizar la operación?",
                                  "[Confirmación] ¿Borrar?"}));

    shown.clear();
    frame->SetStatusBar(true);
    ShowMessage(MessageKind::Saved);
    EXPECT_EQ(frame->PanelText(1), " Los datos han sido guardados.");
    EXPECT_TRUE(shown.isEmpty());

    Gi.sUsuario = "administradora";
    ShowSessionStatus(*frame);
    EXPECT_EQ(frame->PanelText(3), "administra " + QDate::currentDate().toString("dd/MM/yyyy"));

    EXPECT_EQ(EndStatus([] { QuitSuite(false, false); }), 0);
}

// After a commit, an error still says what was done; the note goes with its scope.
TEST(Services, AReportNoteTravelsWithEveryErrorWhileItLives) {
    TestSuite suite;
    suite.SignIn();
    {
        const ReportNote note("La factura 0001/26 se ha emitido y guardado.");
        ReportError("Informes::Factura", {}, TvError(ErrorNumber::PathFileAccess, "sin papel"));
    }
    ReportError("Informes::Factura", {}, TvError(ErrorNumber::PathFileAccess, "sin papel"));
    ASSERT_EQ(suite.Ui().Shown.size(), 2);
    EXPECT_TRUE(suite.Ui().Shown[0].contains("La factura 0001/26 se ha emitido y guardado."));
    EXPECT_FALSE(suite.Ui().Shown[1].contains("0001/26"));
}
