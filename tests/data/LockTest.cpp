// Row locks between processes and hosts: exclusive, freed by a killed holder, expiring.

#include "LockChild.h"
#include "TempDatabase.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>

#include <memory>

using LockTest = TempDatabase;

namespace {

std::unique_ptr<QProcess> StartChild(const QStringList& arguments) {
    auto child = std::make_unique<QProcess>();
    child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child->start(QCoreApplication::applicationFilePath(), arguments);
    return child;
}

} // namespace

// Each child adds to the counter by read, wait, write under the lock: any overlap loses a count.
TEST_F(LockTest, TwoProcessesNeverHoldTheLockTogether) {
    const int rounds = 40;
    auto a = StartChild({"--lock-count", Target(), QString::number(rounds)});
    auto b = StartChild({"--lock-count", Target(), QString::number(rounds)});
    for (QProcess* child : {a.get(), b.get()}) {
        ASSERT_TRUE(child->waitForFinished(60000));
        EXPECT_EQ(child->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child->exitCode(), 0);
    }
    EXPECT_EQ(db.GetValue("Contadores", "nIdContador=1", "nContador").toInt(), 2 * rounds);
    if (!TestEngine::Server()) {
        EXPECT_TRUE(db.GetRows("SELECT * FROM TvBloqueos").IsEmpty());
    }
}

TEST_F(LockTest, ALockOfAKilledProcessCanBeTaken) {
    auto holder = StartChild({"--lock-hold", Target()});
    ASSERT_TRUE(holder->waitForReadyRead(30000));
    ASSERT_EQ(holder->readLine().trimmed(), "locked");
    EXPECT_FALSE(db.LockRecord("Contadores", 1, true, false));
    EXPECT_TRUE(db.LockRecord("Contadores", 2, true, false));

    holder->kill();
    ASSERT_TRUE(holder->waitForFinished(30000));
    // A server lets the lock go once its backend has seen the connection close, which a loaded
    // machine may take a moment to do after the process is gone.
    const QDeadlineTimer deadline(TestEngine::Server() ? 10000 : 0);
    bool taken = db.LockRecord("Contadores", 1, true, false);
    for (; !taken && !deadline.hasExpired(); taken = db.LockRecord("Contadores", 1, true, false))
        QThread::msleep(50);
    EXPECT_TRUE(taken);
    EXPECT_TRUE(db.LockRecord("Contadores", 1, true, false)); // already ours
    EXPECT_TRUE(db.LockRecord("Contadores", 1, false, true));
    if (!TestEngine::Server()) {
        EXPECT_TRUE(db.GetRows("SELECT * FROM TvBloqueos WHERE nIdRegistro=1").IsEmpty());
    }
}

TEST_F(LockTest, ALockOfAnotherHostExpires) {
    SKIP_ON_SERVER("locks with a host and a time are SQLite's lock table; the server drops the "
                   "advisory locks of a workstation whose connection is gone");
    db.LockRecord("Contadores", 9, false, true); // creates the lock table
    // A clock a little ahead is a live lock; one far ahead can never age, so it counts as stale.
    const qint64 ages[] = {60, 11 * 60, -60, -365 * 24 * 3600};
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (int id = 1; id <= 4; ++id)
        db.Execute(QString("INSERT INTO TvBloqueos VALUES ('Contadores', %1, 'otro-equipo', 1, %2)")
                       .arg(id)
                       .arg(now - ages[id - 1]));
    QList<bool> taken;
    for (int id = 1; id <= 4; ++id)
        taken << db.LockRecord("Contadores", id, true, false);
    EXPECT_EQ(taken, QList<bool>({false, true, false, true}));
    // Closing gives back what this process holds, and only that.
    db.Close();
    db.Open(TargetConfig(File()));
    EXPECT_EQ(db.GetRows("SELECT nIdRegistro FROM TvBloqueos").RowCount(), 2);
}

// A credit note draws its number inside its transaction: the lock must not wait for itself.
TEST_F(LockTest, LocksWorkInsideAnOpenTransaction) {
    db.Transaction(TransactionStep::Begin);
    db.InsertRecord("Clientes", "sCliente", "'Ana'");
    EXPECT_TRUE(db.LockRecord("Contadores", 1, true, false));
    db.UpdateRecord("Contadores", "nContador", "1", "nIdContador=1");
    EXPECT_TRUE(db.LockRecord("Contadores", 1, false, true));
    db.Transaction(TransactionStep::Commit);
    EXPECT_EQ(db.GetValue("Contadores", "nIdContador=1", "nContador").toInt(), 1);
    if (!TestEngine::Server()) {
        EXPECT_TRUE(db.GetRows("SELECT * FROM TvBloqueos").IsEmpty());
    }
}
