#include "TempDatabase.h"

#include "platform/data/PostgresEngine.h"
#include "platform/util/TvError.h"

// What a restarted server or a cut network does to the module's connection: the server ends
// the session, and the client only notices at its next statement. The server run's own case; the
// rest of the server's behaviour is the engine-neutral data tests' run on the server.
class ReconnectionTest : public TempDatabase {
protected:
    void SetUp() override {
        if (!TestEngine::Server())
            GTEST_SKIP() << "a server's own case";
        TempDatabase::SetUp();
    }

    void DropConnection() {
        PostgresEngine admin;
        admin.Open(Config());
        const Rows done =
            admin.Query("SELECT pg_terminate_backend(" +
                        db.GetRows("SELECT pg_backend_pid()").Value(0, 0).toString() + ", 5000)");
        ASSERT_TRUE(done.Value(0, 0).toBool());
        admin.Close();
    }
    int Clients() { return db.GetRows("SELECT count(*) FROM Clientes").Value(0, 0).toInt(); }
};

TEST_F(ReconnectionTest, AReadOutsideATransactionRunsAgainOnANewConnection) {
    db.InsertRecord("Clientes", "sCliente", "'Ana'");
    DropConnection();
    EXPECT_EQ(Clients(), 1);
    DropConnection();
    db.Transaction(TransactionStep::Begin);
    db.InsertRecord("Clientes", "sCliente", "'Eva'");
    db.Transaction(TransactionStep::Commit);
    EXPECT_EQ(Clients(), 2);
}

TEST_F(ReconnectionTest, WorkInATransactionIsLostWithOneMessageNamingTheServer) {
    const QString server = Config().host + ":" + QString::number(Config().port);
    for (bool atCommit : {false, true}) {
        db.Transaction(TransactionStep::Begin);
        db.InsertRecord("Clientes", "sCliente", "'Ana'");
        DropConnection();
        try {
            if (atCommit)
                db.Transaction(TransactionStep::Commit);
            else
                db.InsertRecord("Clientes", "sCliente", "'Eva'");
            ADD_FAILURE() << "the lost connection went unnoticed";
        } catch (const TvError& e) {
            EXPECT_EQ(e.Number(), ErrorNumber::Database);
            EXPECT_TRUE(e.Description().startsWith("Se ha perdido la conexión con el servidor de "
                                                   "base de datos " +
                                                   server))
                << qPrintable(e.Description());
        }
        EXPECT_FALSE(db.InTransaction());
        // An error handler's roll back finds nothing left to undo.
        db.Transaction(TransactionStep::Rollback);
        EXPECT_EQ(Clients(), 0);
    }
}

TEST_F(ReconnectionTest, AWriteOutsideATransactionIsNotRunTwice) {
    DropConnection();
    EXPECT_THROW(db.Execute("INSERT INTO Clientes (sCliente) VALUES ('Ana')"), TvError);
    EXPECT_EQ(Clients(), 0);
    db.Execute("INSERT INTO Clientes (sCliente) VALUES ('Eva')");
    EXPECT_EQ(db.GetValue("Clientes", "sCliente='Eva'", "count(*)").toInt(), 1);
}

// A primary with its standby named as one list: a host that does not answer is passed over, at
// the first connection and at the reconnection after a lost one, and messages name the list.
TEST_F(ReconnectionTest, AHostListReachesTheServerThatAnswers) {
    DbConfig listed = Config();
    listed.host = "127.0.0.1:1," + Config().host + ":" + QString::number(Config().port);
    EXPECT_EQ(QStringList({listed.Hosts(), listed.Ports(), listed.ServerName()}),
              QStringList({"127.0.0.1," + Config().host, "1," + QString::number(Config().port),
                           "127.0.0.1:1," + Config().host + ":" + QString::number(Config().port) +
                               " (base de datos \"" + Config().name + "\")"}));
    db.Close();
    db.Open(listed);
    db.InsertRecord("Clientes", "sCliente", "'Ana'");
    DropConnection();
    EXPECT_EQ(Clients(), 1);
}
