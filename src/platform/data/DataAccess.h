#pragma once

#include "platform/data/Recordset.h"
#include "platform/data/RowCursor.h"
#include "platform/data/Rows.h"

#include <QString>
#include <QVariant>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

class QComboBox;
struct NameSource;
class QWidget;
class DbEngine;

// Where the database is. Read from the initialisation file's section "Database":
// Engine (sqlite, the default, or postgresql); for SQLite the file is <DataPath>/Tavelo.db;
// for PostgreSQL Host, Port, Name, User, Password.
struct DbConfig {
    QString engine = "sqlite";
    QString sqliteFile;
    QString host = "localhost";
    int port = 5432;
    QString name;
    QString user;
    QString password;
    // A program that only reads (tvReport) opens the database so that nothing can change it,
    // which also lets it read a data folder it may not write to.
    bool readOnly = false;

    static DbConfig FromIni(const QString& iniPath, const QString& dataPath);
    // A PostgreSQL database named as "host=...;port=...;dbname=...;user=...;password=..."
    // (any order; missing keys keep their defaults). An unknown key is error 5.
    static DbConfig FromConnectionSpec(const QString& spec);
    // The server database in that form.
    QString ConnectionSpec() const;
    // The server as its messages name it: host:port and the database.
    QString ServerName() const;
    // A primary and its standbys are named as one host list, "pg1,pg2" or "pg1:5432,pg2:5433"
    // (an entry without its port takes `port`): libpq tries them in turn and keeps the first
    // that accepts writes, so after a failover the module's next connection finds the promoted
    // standby. These are the list's hosts and ports in libpq's own comma-separated form.
    QString Hosts() const;
    QString Ports() const;
    bool SeveralHosts() const;

    // The data folder an initialisation file names: its DataPath, relative to the file's own
    // folder; empty when the key is missing or empty (the module refuses such a file).
    static QString DataFolder(const QString& iniPath);
};

// The steps of a transaction. Begins nest: only the outermost commit commits; a rollback undoes
// every level at once.
enum class TransactionStep { Begin, Commit, Rollback };

// The one object through which the module reaches the suite's database. Callers write SQL as
// text (Access-flavoured: ISNULL(x), [alias], True/False); every statement passes through the
// dialect translator of the engine before it runs. Every failure raises TvError with the
// engine's message and the statement that failed.
//
// A server connection that breaks (a restarted server, a cut network) is opened again by the next
// statement. A read outside any transaction then simply runs again; anything else raises one
// error naming the server, since what was not committed is gone with the old connection.
//
// One instance per process (instance()); tests may Open/Close it on their own files.
class DataAccess {
public:
    static DataAccess& instance();
    ~DataAccess();

    void Open(const DbConfig& config);
    void Close();

    bool IsConnected() const;
    // The server's connection fell and has not been opened again: the next statement reconnects.
    bool ConnectionLost() const { return m_connectionLost; }
    const DbConfig& Config() const { return m_config; }
    // True on a database server (PostgreSQL): Boolean columns are then read through cast(...).
    bool IsServerDb() const;
    // Whether the open database has table `name` (a folder older than it, opened only to be read,
    // has not got it yet).
    bool HasTable(const QString& name);

    // (column, row) array; IsEmpty() when no row.
    Rows GetRows(const QString& sql);
    // The rows of each query, in order, each a single statement: on a server in one request.
    std::vector<Rows> GetRowsEach(const QStringList& sqls);
    // Sends the reads inside the open transaction now, on a server in one request with the writes
    // kept before them, for the reads that come next: each of the next reads that is the next of
    // sqls, word for word, takes its answer instead of asking again. Any other statement, and the
    // transaction's end, drops what is left. For reads of rows the transaction itself wrote or
    // holds, whose answer nothing else can change in the meantime. Error 5 without a transaction.
    void ReadAhead(const QStringList& sqls);
    // The rows of sql handed to `take` one at a time, for a reader that walks a whole table once
    // and keeps little of it: no answer is held in memory. A server's connection lost half-way
    // raises TvError rather than reading again from the start.
    void ForEachRow(const QString& sql, const std::function<void(const RowCursor&)>& take);
    // GetRows for a text that must only read, such as a report's record source: one query
    // (SqlDialect::IsQuery) using only what SqlDialect::RefusedInReport lets through, run with
    // the database closed to writes (on a server, outside a transaction, on a connection of its
    // own with bounded waits). Anything else raises TvError and changes nothing.
    Rows GetRowsReadOnly(const QString& sql);
    // Fills rs with the rows of sql; true when it opened.
    bool OpenRecordset(const QString& sql, Recordset& rs);

    // Fills the combo with the first column of every row. Flags: selectFirst puts the first
    // entry in the edit text; keepText keeps the text the user had typed; addBlank puts an
    // empty entry first.
    void FillList(QComboBox* combo, const QString& sql, bool selectFirst, bool keepText,
                  bool addBlank);
    // Fills the combo with the names of source as FillList would, without reading them all: the
    // combo's list reads the names it shows as they are needed (ComboListModel::Browse).
    // selectFirst and keepText as for FillList. A name given in around, when source has it, is
    // read with the first window and is the entry selectFirst selects.
    void BrowseList(QComboBox* combo, const NameSource& source, bool selectFirst, bool keepText,
                    const QString& around = {});
    // Fills the combo with textColumn, each item's data the idColumn value. idInText shows items
    // as "<id>) <text>"; keepText keeps the current text; extra, when not empty, is added first
    // with id 0; selectFirst selects the first entry.
    void FillCombo(QComboBox* combo, const QString& sql, const QString& textColumn,
                   const QString& idColumn, bool idInText, bool keepText, const QString& extra,
                   bool selectFirst);

    // columns "a,b,c"; values a list of SQL literals in the same order. Answers the new key.
    qint32 InsertRecord(const QString& table, const QString& columns, const QString& values);
    void UpdateRecord(const QString& table, const QString& columns, const QString& values,
                      const QString& where);
    // The rows written into the table's columns with their values bound, not spelled as SQL
    // (see DbEngine::InsertRows); BulkInsert collects them.
    void InsertRows(const QString& table, const QString& columns, const QList<QVariantList>& rows);
    void DeleteRecords(const QString& table, const QString& where, int flag = 0);

    // Rolling back with no transaction open does nothing. Beginning waits, as any wait for
    // another workstation, at most WaitLimitMs (see SetWaitHook). Most work wants a
    // TransactionGuard instead.
    void Transaction(TransactionStep step);
    bool InTransaction() const;

    // Sum of column over the matching rows; 0 over none.
    double SumField(const QString& table, const QString& column, const QString& where);
    // The column's value in the first matching row (where empty: the first row), NULL when none.
    // With column empty: the row's key (its first column) when a row matches, else 0.
    QVariant GetValue(const QString& table, const QString& where, const QString& column = {},
                      const QString& text = {});

    // Exclusive lock on one row, respected by other processes and workstations. lock true: try
    // once to take it (true when now held by us). release true: give it back (true).
    bool LockRecord(const QString& table, qint32 id, bool lock, bool release);
    // Waits until no other workstation's open transaction holds (table, id), then holds it
    // until this transaction ends; serialises work that reads and extends one chain of rows.
    void LockForTransaction(const QString& table, qint32 id);
    // LockForTransaction, then the rows of sql read under the lock: on a server both travel in
    // one request.
    Rows LockThenRead(const QString& table, qint32 id, const QString& sql);
    // The rows of sql, run in the open transaction, whose row locks it keeps until the
    // transaction ends; a SELECT names them with LockRowsClause() at its end. `what` names the
    // rows in the message when another workstation holds them longer than the wait limit.
    Rows LockedRows(const QString& sql, const QString& what);
    // " FOR UPDATE" on a server; empty on SQLite, whose write transaction excludes other writers.
    QString LockRowsClause() const;

    // The longest wait for another workstation (a transaction's begin, a locked row) before the
    // wait ends in an error that names what was waited for.
    static constexpr int WaitLimitMs = 30000;
    // Called over and over while such a wait lasts (true), and once when it is over (false): the
    // session shows it and keeps its windows painted. Empty: waits go unseen.
    void SetWaitHook(std::function<void(bool waiting)> hook);
    // Tests shorten the limit to see a wait end.
    void SetWaitLimit(int ms);

    // From now on, and across reconnections, calls changed when another workstation changes
    // pending items: with the client's id on a server, empty on SQLite (somebody committed). An
    // empty function stops the watch.
    void WatchItems(std::function<void(const QString& client)> changed);

    QString Translate(const QString& text) const;
    // Sets text limits of the form's line edits named after the table's text columns.
    void PrepareForm(QWidget* form, const QString& table, const QString& where);
    // The statement as it will run on this engine.
    QString PrepareSql(const QString& sql) const;
    // Part 2 is the WHERE condition (without ORDER BY / GROUP BY / HAVING); others: empty.
    QString SqlPart(const QString& sql, int part) const;
    // Names the database for the report component's data source.
    QString ConnectionText() const;

    // Runs a statement that returns no rows.
    void Execute(const QString& sql);

    // Runs work, which opens a transaction of its own, with its writes (Execute, UpdateRecord,
    // DeleteRecords, InsertRows of a few rows) kept for the transaction's next request where the
    // engine can (DbEngine::ExecuteLater): on a server a document's writes then travel several
    // to a request instead of one each. When a request with kept writes fails, the work runs
    // once more with every write sent as it comes, so that the one that fails is raised where it
    // was written, as without Batched; so it does on a new connection when the connection was
    // lost in the request that began the transaction, which the engine may send with the first
    // statement after it. Inside a transaction already open, work just runs.
    void Batched(const std::function<void()>& work);

    // Runs a script of statements separated by ";" at line ends.
    void ExecuteScript(const QString& script);

private:
    DataAccess();
    // The open engine; raises the "not connected" error naming sql otherwise.
    DbEngine& Engine(const QString& sql = {}) const;
    // Runs work on the engine, reconnecting first when the connection was lost. A lost
    // connection closes the engine; work runs once more on a new one when retry allows it and
    // no transaction was open, else the loss raises its error.
    template <class Work> auto OnConnection(const QString& sql, bool retry, Work&& work);
    void DropLostConnection();
    void Reconnect();
    Rows Query(const QString& sql);
    int Run(const QString& sql);
    // Run for a write whose answer nobody reads (DbEngine::ExecuteLater).
    void RunLater(const QString& sql);
    // Calls attempt until it answers a value, through the wait hook, for at most the wait limit;
    // then raises the error that names what.
    template <class Attempt> auto Waiting(const QString& what, Attempt&& attempt);
    // A lock that lasts until the transaction ends, or a read ahead, needs one open: error 5
    // saying what it was for ("bloquear ...") otherwise.
    void RequireTransaction(const QString& what, const QString& sql) const;
    // The answer ReadAhead read for sql when it is the next one; else nothing, and nothing left.
    std::optional<Rows> TakeAhead(const QString& sql);

    std::unique_ptr<DbEngine> m_engine;
    DbConfig m_config;
    bool m_connectionLost = false;
    // The lost connection took a request that carried its transaction's BEGIN (and not its
    // COMMIT): nothing of that transaction reached the server for good.
    bool m_lostWithBegin = false;
    std::function<void(const QString&)> m_itemsChanged;
    std::function<void(bool)> m_waitHook;
    int m_waitLimitMs = WaitLimitMs;
    int m_transactionDepth = 0;
    // What ReadAhead read and nothing has taken yet, in its order.
    std::deque<std::pair<QString, Rows>> m_ahead;
};

// The process-wide instance, as every caller names it.
inline DataAccess& Db() {
    return DataAccess::instance();
}

// One unit of work: begun on construction, committed by Commit(), rolled back when the scope is
// left any other way (an exception, an early return), so a half-written document never survives.
// Nested guards join the outer transaction, as TransactionStep::Begin does.
class TransactionGuard {
public:
    explicit TransactionGuard(DataAccess& db = Db());
    ~TransactionGuard();
    TransactionGuard(const TransactionGuard&) = delete;
    TransactionGuard& operator=(const TransactionGuard&) = delete;

    void Commit();

private:
    DataAccess& m_db;
    bool m_open = true;
};

// Runs work inside a TransactionGuard and answers what it answers.
template <typename Work> auto InOneTransaction(Work&& work) {
    TransactionGuard guard;
    if constexpr (std::is_void_v<decltype(work())>) {
        work();
        guard.Commit();
    } else {
        auto result = work();
        guard.Commit();
        return result;
    }
}
