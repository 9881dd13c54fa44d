// The data-access component: literals, record sets, transactions, opening, combos and forms.

#include "TempDatabase.h"

#include "platform/data/BulkInsert.h"
#include "platform/data/StatementProbe.h"

#include "platform/util/TvError.h"
#include "platform/util/Utility.h"

#include <QComboBox>
#include <QCompleter>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <functional>
#include <limits>

using DataAccessTest = TempDatabase;

namespace {

// The TvError a call raises; fails the test when it raises none.
template <typename Call> TvError ErrorOf(Call call) {
    try {
        call();
    } catch (const TvError& e) {
        return e;
    }
    ADD_FAILURE() << "no TvError raised";
    return TvError(0, {});
}

// A combo's entries as "text=id; ...", "=id" only where the entry carries one.
QString Items(const QComboBox& combo) {
    QStringList items;
    for (int i = 0; i < combo.count(); ++i)
        items << combo.itemText(i) +
                     (combo.itemData(i).isValid() ? "=" + combo.itemData(i).toString() : "");
    return items.join("; ");
}

// A read's answer and the requests it took.
struct Seen {
    QString answer;
    qint64 requests;
    bool operator==(const Seen&) const = default;
    friend void PrintTo(const Seen& s, std::ostream* os) {
        *os << qPrintable(s.answer) << " in " << s.requests << " requests";
    }
};

} // namespace

TEST_F(DataAccessTest, TextsWithQuotesAndCommasRoundTrip) {
    const qint32 first =
        db.InsertRecord("Clientes", "sCliente,sDni,nSaldo,bActivo", "'O''Brien, Pat','1',2.5,True");
    const qint32 second = db.InsertRecord("Clientes", "sCliente", "'Ana'");
    EXPECT_GT(first, 0);
    EXPECT_EQ(second, first + 1);

    Rows rows = db.GetRows("SELECT sCliente AS [Nombre Cliente], nSaldo, bActivo, sNotas FROM "
                           "Clientes WHERE nIdCliente=" +
                           QString::number(first));
    ASSERT_EQ(rows.RowCount(), 1);
    EXPECT_EQ(rows.Value("nombre cliente", 0).toString() + "|" + rows(1, 0).toString() + "|" +
                  rows(2, 0).toString(),
              "O'Brien, Pat|2.5|1");
    EXPECT_FALSE(rows(3, 0).isValid()); // NULL

    db.UpdateRecord("Clientes", "sNotas, nSaldo", "'x, y (z)', round(1.26, 1)",
                    "sCliente='O''Brien, Pat'");
    EXPECT_EQ(db.GetValue("Clientes", "nIdCliente=" + QString::number(first), "sNotas").toString(),
              "x, y (z)");
    EXPECT_DOUBLE_EQ(db.SumField("Clientes", "nSaldo", "bActivo=true AND NOT ISNULL(nSaldo)"), 1.3);
    const TvError mismatch = ErrorOf([&] { db.UpdateRecord("Clientes", "sNotas", "1,2", ""); });
    EXPECT_EQ(mismatch.Number(), ErrorNumber::Database);
}

TEST_F(DataAccessTest, ACursorReadsEveryValueAsTheRowsOfTheSameQuery) {
    db.ExecuteScript("INSERT INTO Clientes (sCliente,sDni,sNotas,nSaldo,bActivo) VALUES "
                     "('Núñez','12.50',NULL,-0.07,1),(NULL,'',' 3 ',1234567.891,0),"
                     "('Ana','x',NULL,NULL,NULL)");
    // Each value as "value|null|number|int|text", so that any reading the cursor does on its
    // own (numbers and texts without a QVariant) shows against the rows' reading.
    const auto readings = [](const QVariant& value, bool null, double number, qint32 whole,
                             const QString& text) {
        return value.toString() + '|' + QString::number(null) + '|' +
               QString::number(number, 'g', 17) + '|' + QString::number(whole) + '|' + text;
    };
    for (const QString sql :
         {"SELECT nIdCliente,sCliente,sDni,sNotas,nSaldo,bActivo FROM Clientes ORDER BY 1",
          "SELECT MIN(nSaldo)*100,COUNT(*),SUM(nSaldo),MAX(sDni) FROM Clientes GROUP BY bActivo "
          "ORDER BY bActivo",
          "SELECT sCliente FROM Clientes WHERE nIdCliente<0"}) {
        const Rows rows = db.GetRows(sql);
        QStringList expected, read;
        for (int r = 0; r < rows.RowCount(); ++r)
            for (int c = 0; c < rows.ColumnCount(); ++c)
                expected << readings(rows(c, r), !rows(c, r).isValid(), U().SqlNumber(rows(c, r)),
                                     rows(c, r).toInt(), rows(c, r).toString());
        db.ForEachRow(sql, [&](const RowCursor& row) {
            for (int c = 0; c < rows.ColumnCount(); ++c)
                read << readings(row.Value(c), row.IsNull(c), row.Number(c), row.Int(c),
                                 row.Text(c));
        });
        EXPECT_EQ(read, expected) << qPrintable(sql);
    }
}

TEST_F(DataAccessTest, EmptyAnswersAreNotErrors) {
    EXPECT_TRUE(db.GetRows("SELECT * FROM Clientes WHERE nIdCliente=-1").IsEmpty());
    EXPECT_EQ(db.GetRows("SELECT nIdCliente, sCliente FROM Clientes").ColumnCount(), 2);
    EXPECT_EQ(db.SumField("Clientes", "nSaldo", "nIdCliente=-1"), 0.0);
    EXPECT_FALSE(db.GetValue("Clientes", "nIdCliente=-1", "sCliente").isValid());
    EXPECT_EQ(db.GetValue("Clientes", "nIdCliente=-1").toInt(), 0);

    const qint32 id = db.InsertRecord("Clientes", "sCliente", "'Ana'");
    EXPECT_EQ(db.GetValue("Clientes", "sCliente='Ana'").toInt(), id);
    // A join answers the first table's key, as the counters and selector expect.
    EXPECT_EQ(db.GetValue("Clientes LEFT JOIN Contadores ON 1=1", "").toInt(), id);
    db.DeleteRecords("Clientes", "nIdCliente = " + QString::number(id), 0);
    EXPECT_EQ(db.GetValue("Clientes", "").toInt(), 0);
}

TEST_F(DataAccessTest, RecordsetReadsRowsAndRefusesUnknownFields) {
    db.InsertRecord("Clientes", "sCliente,nSaldo", "'Ana',1");
    db.InsertRecord("Clientes", "sCliente,nSaldo", "'Luis',2");
    Recordset rs;
    ASSERT_TRUE(db.OpenRecordset("SELECT sCliente, nSaldo FROM Clientes ORDER BY nSaldo", rs));
    EXPECT_EQ(rs.State(), Recordset::Open);
    EXPECT_EQ(rs.RecordCount(), 2);
    QStringList names;
    double total = 0;
    for (; !rs.Eof(); rs.MoveNext()) {
        names << rs.Fields("SCLIENTE").Value.toString();
        total += rs.Fields(1).Value.toDouble();
    }
    EXPECT_EQ(names, QStringList({"Ana", "Luis"}));
    EXPECT_EQ(total, 3.0);
    EXPECT_EQ(ErrorOf([&] { rs.Fields("nada"); }).Number(), ErrorNumber::NoSuchField);
    rs.Close();
    EXPECT_EQ(rs.State(), Recordset::Closed);
    EXPECT_TRUE(rs.Eof());
}

TEST_F(DataAccessTest, RollbackUndoesAndStrayModesAreHarmless) {
    db.Transaction(TransactionStep::Rollback); // nothing open: nothing happens
    db.Transaction(TransactionStep::Commit);
    EXPECT_FALSE(db.InTransaction());

    db.Transaction(TransactionStep::Begin);
    EXPECT_TRUE(db.InTransaction());
    db.InsertRecord("Clientes", "sCliente", "'Ana'");
    db.UpdateRecord("Contadores", "nContador", "5", "sId='Factura'");
    // A failed statement leaves a server's transaction aborted; the roll back must still work.
    ErrorOf([&] { db.GetRows("SELECT nada FROM Clientes"); });
    db.Transaction(TransactionStep::Rollback);
    EXPECT_FALSE(db.InTransaction());
    EXPECT_TRUE(db.GetRows("SELECT * FROM Clientes").IsEmpty());
    EXPECT_EQ(db.GetValue("Contadores", "sId='Factura'", "nContador").toInt(), 0);

    // An inner begin/commit pair belongs to the outer transaction.
    db.Transaction(TransactionStep::Begin);
    db.Transaction(TransactionStep::Begin);
    db.InsertRecord("Clientes", "sCliente", "'Ana'");
    db.Transaction(TransactionStep::Commit);
    EXPECT_TRUE(db.InTransaction());
    db.Transaction(TransactionStep::Commit);
    EXPECT_EQ(db.GetRows("SELECT * FROM Clientes").RowCount(), 1);
}

// The guard commits only when told to; leaving its scope any other way takes back every row,
// those of a nested guard included.
TEST_F(DataAccessTest, TransactionGuardRollsBackUnlessCommitted) {
    const auto names = [&] {
        QStringList all;
        const Rows rows = db.GetRows("SELECT sCliente FROM Clientes ORDER BY sCliente");
        for (int r = 0; r < rows.RowCount(); ++r)
            all << rows(0, r).toString();
        return all.join(',');
    };
    EXPECT_EQ(InOneTransaction([&] { return db.InsertRecord("Clientes", "sCliente", "'Ana'"); }),
              1);
    ErrorOf([&] {
        TransactionGuard outer(db);
        db.InsertRecord("Clientes", "sCliente", "'Bea'");
        InOneTransaction([&] { db.InsertRecord("Clientes", "sCliente", "'Carla'"); });
        db.GetRows("SELECT nada FROM Clientes");
        outer.Commit();
    });
    EXPECT_FALSE(db.InTransaction());
    {
        TransactionGuard early(db);
        db.InsertRecord("Clientes", "sCliente", "'Dora'");
    }
    EXPECT_EQ(names(), "Ana");
}

// Reads sent ahead answer the reads that follow in their order, as asking would have, with no
// request more; any other statement, a read out of turn and the transaction's end drop the rest.
TEST_F(DataAccessTest, ReadsAheadAnswerTheReadsThatFollowUntilAnythingElseRuns) {
    db.Execute("INSERT INTO Clientes (sCliente) VALUES ('Ana'),('Eva')");
    const QString count = "SELECT COUNT(*) FROM Clientes";
    const QString names = "SELECT sCliente FROM Clientes ORDER BY 1";
    EXPECT_EQ(ErrorOf([&] { db.ReadAhead({count}); }).Number(), ErrorNumber::InvalidCall);
    const auto seen = [](const std::function<QString()>& read) {
        const qint64 before = StatementProbe::RoundTrips();
        const QString answer = read();
        return Seen{answer, StatementProbe::RoundTrips() - before};
    };
    const auto counted = [&] { return db.GetRows(count).Value(0, 0).toString(); };
    TransactionGuard guard(db);
    db.ReadAhead({count, names, count, names});
    EXPECT_EQ(seen(counted), (Seen{"2", 0}));
    EXPECT_EQ(seen([&] {
                  QStringList walked;
                  db.ForEachRow(names, [&](const RowCursor& row) { walked << row.Text(0); });
                  return walked.join(',');
              }),
              (Seen{"Ana,Eva", 0}));
    EXPECT_EQ(seen([&] {
                  const std::vector<Rows> both = db.GetRowsEach({count, names});
                  return both[0].Value(0, 0).toString() + " " + both[1].Value(0, 1).toString();
              }),
              (Seen{"2 Eva", 0}));
    db.ReadAhead({count});
    db.Execute("INSERT INTO Clientes (sCliente) VALUES ('Rosa')");
    EXPECT_EQ(seen(counted), (Seen{"3", 1}));
    db.ReadAhead({names, count});
    EXPECT_EQ(seen(counted), (Seen{"3", 1}));
    EXPECT_EQ(seen([&] { return db.GetRows(names).Value(0, 2).toString(); }), (Seen{"Rosa", 1}));
    db.ReadAhead({count});
    guard.Commit();
    EXPECT_EQ(seen(counted), (Seen{"3", 1}));
}

// What a report's data source names is read, never run as a change, whatever it says.
TEST_F(DataAccessTest, ReadOnlyQueriesChangeNothing) {
    db.InsertRecord("Clientes", "sCliente", "'Ana'");
    db.InsertRecord("Clientes", "sCliente", "'Luis'");
    const QString count = "SELECT count(*) FROM Clientes";
    for (const QString& sql :
         {QString("DELETE FROM Clientes WHERE nIdCliente > 0"), QString("SELECT 1; SELECT 2"),
          QString("SELECT 1; DELETE FROM Clientes"), QString("PRAGMA query_only=OFF"),
          QString("WITH x AS (SELECT 1) DELETE FROM Clientes"), QString("COMMIT")}) {
        const TvError refused = ErrorOf([&] { db.GetRowsReadOnly(sql); });
        EXPECT_EQ(refused.Number(), ErrorNumber::Database) << qPrintable(sql);
        EXPECT_FALSE(refused.Description().contains("not an error")) << qPrintable(sql);
        EXPECT_EQ(db.GetRows(count).Value(0, 0).toInt(), 2) << qPrintable(sql);
    }
    EXPECT_TRUE(ErrorOf([&] { db.GetRowsReadOnly("WITH x AS (SELECT 1) DELETE FROM Clientes"); })
                    .Description()
                    .contains("solo se puede leer"));
    EXPECT_EQ(db.GetRowsReadOnly(" -- lista\nSELECT sCliente FROM Clientes;").RowCount(), 2);

    // Inside a transaction the query only reads, and the transaction goes on writing.
    db.Transaction(TransactionStep::Begin);
    db.InsertRecord("Clientes", "sCliente", "'Eva'");
    EXPECT_EQ(db.GetRowsReadOnly(count).Value(0, 0).toInt(), 3);
    ErrorOf([&] { db.GetRowsReadOnly("WITH x AS (SELECT 1) DELETE FROM Clientes"); });
    db.InsertRecord("Clientes", "sCliente", "'Pilar'");
    db.Transaction(TransactionStep::Commit);
    EXPECT_EQ(db.GetRows(count).Value(0, 0).toInt(), 4);
}

// A report's query reads with the functions reports need; nothing that locks, signals another
// session, reaches files or settings, or hides its text from this check, runs.
TEST_F(DataAccessTest, AReportQueryUsesOnlyWhatAReportNeeds) {
    db.InsertRecord("Clientes", "sCliente,nSaldo", "'Ana',2");
    EXPECT_EQ(db.GetRowsReadOnly("SELECT upper(sCliente), count(*), COALESCE(max(nSaldo), 0), "
                                 "CAST(count(*) AS varchar(10)) FROM Clientes WHERE nIdCliente IN "
                                 "(SELECT nIdCliente FROM Clientes) GROUP BY sCliente")
                  .RowCount(),
              1);
    QStringList refused;
    for (const QString& sql :
         {QString("SELECT pg_advisory_lock(1)"), QString("SELECT pg_terminate_backend(1)"),
          QString("SELECT sCliente FROM Clientes WHERE pg_sleep (5) IS NULL"),
          QString("SELECT set_config('lock_timeout', '0', false)"),
          QString("SELECT pg_catalog.pg_read_file('/etc/passwd')"),
          QString("SELECT query_to_xml('SELECT 1', true, true, '')"),
          QString("SELECT \"lo_import\"('/etc/passwd')"),
          QString("SELECT sCliente FROM Clientes FOR UPDATE"),
          QString("SELECT $$'$$, pg_cancel_backend(1), $$'$$"),
          QString("SELECT E'\\'', pg_cancel_backend(1), '\\''")})
        refused << ErrorOf([&] { db.GetRowsReadOnly(sql); }).Description().section(':', 0, 0);
    EXPECT_EQ(refused.join('\n').remove("Una consulta de informe no puede usar "),
              "pg_advisory_lock\npg_terminate_backend\npg_sleep\nset_config\npg_read_file\n"
              "query_to_xml\n\"lo_import\"\nFOR UPDATE\n$\nE'...'");

    if (!TestEngine::Server())
        return;
    // On the server a report waits and runs for a bounded time, on a connection of its own.
    const QString limits =
        "SELECT setting FROM pg_settings WHERE name IN ('lock_timeout', 'statement_timeout') "
        "ORDER BY name";
    const Rows own = db.GetRowsReadOnly(limits), session = db.GetRows(limits);
    EXPECT_EQ(QStringList({own(0, 0).toString(), own(0, 1).toString(), session(0, 0).toString(),
                           session(0, 1).toString()}),
              QStringList({"2000", "30000", "0", "0"}));
}

// SQLite closes a transaction itself on a full disk or an I/O error; the roll back that the
// error handler then asks for must not hide the error that happened.
// Rows written with bound values read back exactly as the same rows written as SQL literals,
// on both engines and through every statement size a server's batch splits into.
TEST_F(DataAccessTest, BoundRowsReadBackAsTheirLiterals) {
    const QString table = QStringLiteral(
        " (nId INTEGER PRIMARY KEY, sTexto TEXT, sCorto VARCHAR(10), nImporte DOUBLE PRECISION, "
        "nEntero INTEGER, nGrande BIGINT)");
    db.Execute("CREATE TABLE Literales" + table);
    db.Execute("CREATE TABLE Ligados" + table);
    const QString columns = QStringLiteral("nId,sTexto,sCorto,nImporte,nEntero,nGrande");
    const QString longText = QString::fromUtf8("año € ").repeated(4000);
    const QList<QVariantList> kinds{
        {QStringLiteral("O'Brien, \"Pat\"; --"), "a", "-1234.56", -5, 9007199254740993LL},
        {QVariant(), QVariant(), QVariant(), QVariant(), QVariant()},
        {longText, "", "0.00", 0, -9007199254740993LL},
        {QStringLiteral("línea\nsegunda\ttab\\barra"), QStringLiteral("x%1y").arg(QChar(0)),
         "99999999.99", std::numeric_limits<qint32>::max(), 0},
        {"?", "$1", 0.1, true, std::numeric_limits<qint32>::min()},
    };
    QList<QVariantList> rows;
    for (int n = 0; rows.size() < 750; ++n) {
        QVariantList row = kinds[n % kinds.size()];
        row.prepend(n == 1 ? std::numeric_limits<qint32>::max() : n + 2);
        rows << row;
        db.InsertRecord("Literales", columns, SqlLiterals(row));
    }
    db.InsertRows("Ligados", columns, rows);

    const auto written = [&](const QString& name) {
        QStringList texts;
        const Rows read = db.GetRows("SELECT " + columns + " FROM " + name + " ORDER BY nId");
        for (int r = 0; r < read.RowCount(); ++r) {
            QStringList row;
            for (int c = 0; c < read.ColumnCount(); ++c)
                row << QString(read(c, r).typeName()) + ":" + read(c, r).toString();
            texts << row.join('|');
        }
        return texts;
    };
    const QStringList expected = written("Literales");
    ASSERT_EQ(expected.size(), 750);
    EXPECT_EQ(written("Ligados"), expected);

    // A failed row raises as any statement does, and the transaction loses all it wrote.
    const TvError duplicate = ErrorOf([&] {
        TransactionGuard guard;
        db.Execute("DELETE FROM Ligados");
        db.InsertRows("Ligados", columns, {rows[3], rows[4], rows[3]});
        guard.Commit();
    });
    EXPECT_EQ(duplicate.Number(), ErrorNumber::Database);
    EXPECT_EQ(written("Ligados"), expected);
    EXPECT_EQ(ErrorOf([&] {
                  db.InsertRows("Ligados", columns, {{1, 2}});
              }).Number(),
              ErrorNumber::Database);
}

TEST_F(DataAccessTest, ARollbackAfterTheEngineEndedTheTransactionKeepsTheRealError) {
    db.Transaction(TransactionStep::Begin);
    db.Execute("ROLLBACK");
    db.Transaction(TransactionStep::Rollback);
    EXPECT_FALSE(db.InTransaction());

    const TvError error = ErrorOf([&] {
        db.ExecuteScript("INSERT INTO Clientes (sCliente) VALUES ('a');\nROLLBACK;\nBAD;\n");
    });
    EXPECT_EQ(error.Statement(), "BAD");
    EXPECT_FALSE(db.InTransaction());
    db.Transaction(TransactionStep::Begin);
    db.InsertRecord("Clientes", "sCliente", "'b'");
    db.Transaction(TransactionStep::Commit);
    EXPECT_EQ(db.GetRows("SELECT sCliente FROM Clientes").Value(0, 0).toString(), "b");
}

TEST_F(DataAccessTest, FailuresCarryTheTranslatedStatement) {
    const TvError syntax = ErrorOf([&] { db.GetRows("SELEC [x] FROM Clientes"); });
    EXPECT_EQ(syntax.Number(), ErrorNumber::Database);
    EXPECT_EQ(syntax.Statement(), "SELEC \"x\" FROM Clientes");
    EXPECT_FALSE(syntax.Description().isEmpty());

    const TvError column = ErrorOf([&] { db.GetValue("Clientes", "bNada=true", "sCliente"); });
    EXPECT_TRUE(column.Description().contains("bNada")) << qPrintable(column.Description());
    EXPECT_EQ(column.Statement(), "SELECT sCliente FROM Clientes WHERE bNada=1 LIMIT 1");
    EXPECT_EQ(ErrorOf([&] { db.InsertRecord("NoTabla", "a", "1"); }).Number(),
              ErrorNumber::Database);

    // A failing script leaves nothing behind.
    ErrorOf([&] { db.ExecuteScript("INSERT INTO Clientes (sCliente) VALUES ('a');\nBAD;\n"); });
    EXPECT_TRUE(db.GetRows("SELECT * FROM Clientes").IsEmpty());

    db.Close();
    EXPECT_FALSE(db.IsConnected());
    const TvError closed = ErrorOf([&] { db.GetRows("SELECT 1"); });
    EXPECT_EQ(closed.Number(), ErrorNumber::Database);
    EXPECT_EQ(closed.Statement(), "SELECT 1");
}

TEST(DataAccessOpen, AFileThatIsNotADatabaseIsRefused) {
    QTemporaryDir dir;
    QFile file(dir.filePath("Tavelo.db"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    DbConfig config;
    config.sqliteFile = file.fileName();
    DataAccess& db = DataAccess::instance();
    const TvError error = ErrorOf([&] { db.Open(config); });
    EXPECT_EQ(error.Number(), ErrorNumber::Database);
    EXPECT_FALSE(db.IsConnected());

    config.sqliteFile = dir.filePath("no/such/folder/Tavelo.db");
    EXPECT_EQ(ErrorOf([&] { db.Open(config); }).Number(), ErrorNumber::Database);
}

TEST(DataAccessOpen, AReadOnlyConnectionReadsAndRefusesWrites) {
    QTemporaryDir dir;
    DbConfig config;
    config.sqliteFile = dir.filePath("Tavelo.db");
    DataAccess& db = DataAccess::instance();
    db.Open(config);
    db.Execute("CREATE TABLE t (x INTEGER)");
    db.Execute("INSERT INTO t VALUES (1)");
    db.Close();

    config.readOnly = true;
    db.Open(config);
    EXPECT_EQ(db.GetRows("SELECT x FROM t").Value(0, 0).toInt(), 1);
    const TvError refused = ErrorOf([&] { db.Execute("INSERT INTO t VALUES (2)"); });
    EXPECT_TRUE(refused.Description().contains("solo se puede leer"))
        << qPrintable(refused.Description());
    db.Close();
}

// A full disk is said as such (SQLite's page limit stands in for the disk), not as a damaged file.
TEST(DataAccessOpen, AFullDiskIsSaidAsSuch) {
    QTemporaryDir dir;
    DbConfig config;
    config.sqliteFile = dir.filePath("Tavelo.db");
    DataAccess& db = DataAccess::instance();
    db.Open(config);
    db.Execute("CREATE TABLE t (x TEXT)");
    db.GetRows("PRAGMA max_page_count=" + db.GetRows("PRAGMA page_count").Value(0, 0).toString());
    const TvError full = ErrorOf([&] { db.Execute("INSERT INTO t VALUES (hex(zeroblob(9000)))"); });
    EXPECT_EQ(full.Number(), ErrorNumber::DiskFull);
    EXPECT_TRUE(full.Description().startsWith("No queda espacio libre en el disco"))
        << qPrintable(full.Description());
    db.Close();
}

TEST(DataAccessOpen, ReadsTheDatabaseSectionOfTheIni) {
    QTemporaryDir dir;
    QFile ini(dir.filePath("Tavelo.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Database]\r\nDataPath=x\r\nEngine=PostgreSQL\r\nHost=srv\r\nPort=5433\r\n"
              "Name=tavelo\r\nUser=caja\r\n");
    ini.close();
    const DbConfig c = DbConfig::FromIni(ini.fileName(), "/datos");
    EXPECT_EQ(QStringList({c.engine, c.host, QString::number(c.port), c.name, c.user, c.sqliteFile})
                  .join('|'),
              "postgresql|srv|5433|tavelo|caja|/datos/Tavelo.db");
    EXPECT_EQ(DbConfig::FromIni(dir.filePath("none.ini"), "/d").engine, "sqlite");
}

TEST_F(DataAccessTest, FillsCombosWithIdsAndKeepsTypedText) {
    db.InsertRecord("Clientes", "sCliente", "'Caja general'");
    db.InsertRecord("Clientes", "sCliente", "'Caja extra'");

    QComboBox cajas;
    db.FillCombo(&cajas, "SELECT nIdCliente, sCliente FROM Clientes ORDER BY nIdCliente",
                 "sCliente", "Clientes.nIdCliente", true, false, "", true);
    EXPECT_EQ(Items(cajas), "1) Caja general=1; 2) Caja extra=2");
    EXPECT_EQ(cajas.currentText(), "1) Caja general");

    db.FillCombo(&cajas, "SELECT nIdCliente, sCliente FROM Clientes ORDER BY nIdCliente",
                 "sCliente", "nIdCliente", false, false, "(todas)", false);
    EXPECT_EQ(Items(cajas), "(todas)=0; Caja general=1; Caja extra=2");
    EXPECT_EQ(cajas.currentIndex(), -1);
    EXPECT_EQ(ErrorOf([&] {
                  db.FillCombo(&cajas, "SELECT sCliente FROM Clientes", "sCliente", "nId", false,
                               false, "", false);
              }).Number(),
              ErrorNumber::Database);

    QComboBox nombres;
    nombres.setEditable(true);
    nombres.setEditText("Caj");
    db.FillList(&nombres, "SELECT sCliente FROM Clientes ORDER BY sCliente", false, true, true);
    EXPECT_EQ(Items(nombres), "; Caja extra; Caja general");
    EXPECT_EQ(nombres.currentText(), "Caj");
    db.FillList(&nombres, "SELECT sCliente FROM Clientes ORDER BY sCliente", true, true, false);
    EXPECT_EQ(nombres.currentText(), "Caja extra");
    db.FillList(&nombres, "SELECT sCliente FROM Clientes WHERE 0=1", false, false, false);
    EXPECT_EQ(nombres.count(), 0);
    EXPECT_EQ(nombres.currentText(), "");
    const TvError unknown =
        ErrorOf([&] { db.FillList(&nombres, "SELECT sNada FROM Clientes", false, false, false); });
    EXPECT_EQ(unknown.Number(), ErrorNumber::Database);
    EXPECT_EQ(unknown.Statement(), "SELECT sNada FROM Clientes");
}

TEST_F(DataAccessTest, TypeAheadSetBeforeTheFirstFillOffersTheFilledNames) {
    for (const char* name : {"'Ana García'", "NULL", "'Luis Anaya'", "'Marta Ruiz'"})
        db.InsertRecord("Clientes", "sCliente", name);
    QComboBox clientes;
    clientes.setEditable(true);
    auto* typeAhead = new QCompleter(clientes.model(), &clientes);
    typeAhead->setCaseSensitivity(Qt::CaseInsensitive);
    typeAhead->setFilterMode(Qt::MatchContains);
    clientes.setCompleter(typeAhead);

    db.FillList(&clientes, "SELECT sCliente FROM Clientes ORDER BY nIdCliente", false, false,
                false);
    EXPECT_EQ(Items(clientes), "Ana García; ; Luis Anaya; Marta Ruiz"); // a NULL name is empty
    clientes.completer()->setCompletionPrefix("ana");
    EXPECT_EQ(clientes.completer()->completionCount(), 2);

    // Refilled with fewer names, the popup offers only those.
    db.FillList(&clientes, "SELECT sCliente FROM Clientes WHERE sCliente LIKE 'M%'", false, true,
                false);
    clientes.completer()->setCompletionPrefix("a");
    EXPECT_EQ(clientes.completer()->completionCount(), 1);
}

TEST_F(DataAccessTest, PrepareFormLimitsTextBoxesToTheirColumns) {
    QWidget form;
    auto* cliente = new QLineEdit(&form);
    cliente->setObjectName("txtCliente_TX");
    auto* dni = new QLineEdit(&form);
    dni->setObjectName("txtDni_TX");
    auto* notas = new QLineEdit(&form);
    notas->setObjectName("txtNotas_TX");
    const int unlimited = notas->maxLength();
    db.PrepareForm(&form, "Clientes", "");
    EXPECT_EQ(QList<int>({cliente->maxLength(), dni->maxLength(), notas->maxLength()}),
              QList<int>({40, 12, unlimited}));
    EXPECT_EQ(db.ConnectionText(), TestEngine::Server()
                                       ? "postgresql:host=" + Config().host +
                                             ";port=" + QString::number(Config().port) +
                                             ";dbname=" + Config().name + ";user=" + Config().user
                                       : "sqlite:" + File());
    EXPECT_EQ(db.IsServerDb(), TestEngine::Server());
}
