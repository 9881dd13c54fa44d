#include "platform/data/DataAccess.h"
#include "platform/data/PostgresEngine.h"
#include "platform/util/TvError.h"

#include <gtest/gtest.h>

// Runs against a PostgreSQL server named by TV_TEST_PG
// ("host=127.0.0.1;port=5432;dbname=tvtest;user=postgres;password=..."); skipped without it.
class PostgresTest : public testing::Test {
protected:
    void SetUp() override {
        const QString spec = qEnvironmentVariable("TV_TEST_PG");
        if (spec.isEmpty())
            GTEST_SKIP() << "TV_TEST_PG not set";
        config = DbConfig::FromConnectionSpec(spec);
        db.Open(config);
        db.ExecuteScript("DROP TABLE IF EXISTS Clientes;\n"
                         "CREATE TABLE Clientes (nIdCliente SERIAL PRIMARY KEY,\n"
                         "  sCliente VARCHAR(40), nSaldo DOUBLE PRECISION, bActivo INTEGER);\n");
    }
    void TearDown() override { db.Close(); }

    DbConfig config;
    DataAccess& db = DataAccess::instance();
};

TEST_F(PostgresTest, RunsTheSuiteDialectAndHandsOutKeys) {
    EXPECT_TRUE(db.IsServerDb());
    const qint32 id =
        db.InsertRecord("Clientes", "sCliente,nSaldo,bActivo", "'O''Brien, Pat',2.5,True");
    EXPECT_EQ(db.InsertRecord("Clientes", "sCliente", "'Ana'"), id + 1);
    const Rows rows = db.GetRows("SELECT sCliente AS [Nombre Cliente], nSaldo FROM Clientes WHERE "
                                 "bActivo=true AND NOT ISNULL(nSaldo)");
    ASSERT_EQ(rows.RowCount(), 1);
    EXPECT_EQ(rows.Value("nombre cliente", 0).toString(), "O'Brien, Pat");
    EXPECT_EQ(db.GetValue("Clientes", "sCliente='Ana'").toInt(), id + 1);
    EXPECT_EQ(db.GetValue("Clientes", "nIdCliente=-1").toInt(), 0);
    EXPECT_EQ(db.SumField("Clientes", "nSaldo", "nIdCliente=-1"), 0.0);
    db.UpdateRecord("Clientes", "sCliente,nSaldo", "'x, y',1", "nIdCliente=" + QString::number(id));
    EXPECT_EQ(db.GetValue("Clientes", "nSaldo=1", "sCliente").toString(), "x, y");
}

TEST_F(PostgresTest, RollbackUndoesAndAFailureCarriesTheStatement) {
    db.Transaction(0);
    db.InsertRecord("Clientes", "sCliente", "'Ana'");
    try {
        db.GetRows("SELECT nada FROM Clientes");
        ADD_FAILURE() << "no error";
    } catch (const TvError& e) {
        EXPECT_EQ(e.Number(), ErrorNumber::Database);
        EXPECT_EQ(e.Statement(), "SELECT nada FROM Clientes");
    }
    db.Transaction(2);
    EXPECT_TRUE(db.GetRows("SELECT * FROM Clientes").IsEmpty());
}

// Each engine is its own server session, as another workstation would be.
TEST_F(PostgresTest, AdvisoryLocksExcludeOtherSessionsAndDieWithThem) {
    EXPECT_TRUE(db.LockRecord("Contadores", 1, true, false));
    EXPECT_TRUE(db.LockRecord("Contadores", 1, true, false));
    PostgresEngine other;
    other.Open(config);
    EXPECT_FALSE(other.TryLock("Contadores", 1));
    EXPECT_TRUE(other.TryLock("Contadores", 2));
    EXPECT_TRUE(db.LockRecord("Contadores", 1, false, true));
    EXPECT_TRUE(other.TryLock("Contadores", 1));
    other.Close();
    EXPECT_TRUE(db.LockRecord("Contadores", 2, true, false));
}

TEST_F(PostgresTest, ReadOnlyQueriesChangeNothingInOrOutOfATransaction) {
    db.InsertRecord("Clientes", "sCliente", "'Ana'");
    const QString count = "SELECT count(*) FROM Clientes";
    const QString sneaky =
        "WITH borrados AS (DELETE FROM Clientes RETURNING *) SELECT count(*) FROM borrados";
    for (bool inTransaction : {false, true}) {
        if (inTransaction) {
            db.Transaction(0);
            db.InsertRecord("Clientes", "sCliente", "'Eva'");
        }
        try {
            db.GetRowsReadOnly(sneaky);
            ADD_FAILURE() << "the delete ran";
        } catch (const TvError& e) {
            EXPECT_TRUE(e.Description().contains("solo se puede leer"))
                << qPrintable(e.Description());
        }
        EXPECT_EQ(db.GetRowsReadOnly(count).Value(0, 0).toInt(), inTransaction ? 3 : 1);
        db.InsertRecord("Clientes", "sCliente", "'Luis'");
        if (inTransaction)
            db.Transaction(1);
    }
    EXPECT_EQ(db.GetRows(count).Value(0, 0).toInt(), 4);
}

// What a restarted server or a cut network does to the module's connection: the server ends
// the session, and the client only notices at its next statement.
class ReconnectionTest : public PostgresTest {
protected:
    void DropConnection() {
        PostgresEngine admin;
        admin.Open(config);
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
    db.Transaction(0);
    db.InsertRecord("Clientes", "sCliente", "'Eva'");
    db.Transaction(1);
    EXPECT_EQ(Clients(), 2);
}

TEST_F(ReconnectionTest, WorkInATransactionIsLostWithOneMessageNamingTheServer) {
    const QString server = config.host + ":" + QString::number(config.port);
    for (bool atCommit : {false, true}) {
        db.Transaction(0);
        db.InsertRecord("Clientes", "sCliente", "'Ana'");
        DropConnection();
        try {
            if (atCommit)
                db.Transaction(1);
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
        db.Transaction(2);
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
