// Two workstations on one clinic: a change another workstation makes to the pending items of the
// client shown here reaches this grid by itself, without ever throwing away what is being typed.
#include "BillingFixture.h"

#include "platform/ui/widgets/Frm.h"
#include "session/G.h"

#include <QDeadlineTimer>
#include <QLabel>
#include <QProcess>
#include <functional>

namespace {

// The other workstation: adds a pending line for client TV_CLIENT. Only run as a child of the
// tests below.
TEST(OtherWorkstation, DISABLED_AddsALine) {
    G::Init("admin:admin||" + qEnvironmentVariable("TV_INI"));
    DataAccess::instance().InsertRecord(
        "FacturasItems",
        "nIdCliente,nIdMascota,nIdProductoServicio,nUnidades,nPvp,nPorcIpto,nTotal",
        qEnvironmentVariable("TV_CLIENT") + ",0,1,1,25,21,30.25");
    DataAccess::instance().Close();
}

class LiveRefreshTest : public BillingTest {
protected:
    void OtherWorkstationAdds(const QString& client) {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("TAVELO_UNATTENDED", "1");
        env.insert("TV_INI", suite.IniPath());
        env.insert("TV_CLIENT", client);
        QProcess other;
        other.setProcessEnvironment(env);
        other.setProcessChannelMode(QProcess::ForwardedChannels);
        other.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_also_run_disabled_tests",
                     "--gtest_filter=OtherWorkstation.DISABLED_AddsALine"});
        ASSERT_TRUE(other.waitForFinished(60000));
        ASSERT_EQ(other.exitCode(), 0);
    }
    // Lets the window run until done() or the time is up; answers done().
    static bool RunUntil(const std::function<bool()>& done, int ms) {
        QDeadlineTimer deadline(ms);
        while (!done() && !deadline.hasExpired())
            QTest::qWait(20);
        return done();
    }
    QString Status() const { return w->Frame()->PanelText(1); }
};

TEST_F(LiveRefreshTest, ALineAddedElsewhereAppearsWithItsTotals) {
    Open();
    ASSERT_EQ(w->gd->RecordCount(), 2);
    OtherWorkstationAdds("1");
    EXPECT_TRUE(RunUntil([&] { return w->gd->RecordCount() == 3; }, 5000));
    EXPECT_EQ(w->lblTotalAFacturar_MN->text(), "60,50 €");
    EXPECT_EQ(Status(), " Lista actualizada con cambios de otro puesto.");
}

TEST_F(LiveRefreshTest, ACellBeingTypedIsKeptAndTheLinesFollowOnceItIsDone) {
    Open();
    QWidget* editor = StartEditing(1, "Unid", "7");

    OtherWorkstationAdds("1");
    QTest::qWait(1500);
    EXPECT_EQ(w->gd->RecordCount(), 2) << "refreshed under the user's typing";
    ASSERT_EQ(QApplication::focusWidget(), editor);

    w->Frame()->CommitPendingEdit();
    EXPECT_TRUE(RunUntil([&] { return w->gd->RecordCount() == 3; }, 5000));
    EXPECT_EQ(StoredUnits(1), 7);
}

TEST_F(LiveRefreshTest, AnotherClientsLinesLeaveThisGridAlone) {
    Open();
    OtherWorkstationAdds("2");
    QTest::qWait(1500);
    EXPECT_EQ(w->gd->RecordCount(), 2);
    EXPECT_EQ(Status(), "");
}

} // namespace
