#pragma once

#include "platform/data/QtSqlEngine.h"

#include <QFileSystemWatcher>
#include <QTimer>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;

// The embedded engine: one SQLite file in the data folder, shared by the processes of one
// machine. WAL lets readers go on while one process writes; a busy timeout makes a writer wait
// for another instead of failing at once; transactions take the write lock when they begin so
// that two invoices never interleave. Row locks live in the table TvBloqueos.
class SqliteEngine : public QtSqlEngine {
public:
    // Writers wait in turn, and SQLite's waiting is not fair: with eight workstations issuing at
    // once on a loaded machine one of them waited longer than 5 s. A failed statement ends the
    // program, so waiting longer is always the better answer.
    static constexpr int BusyTimeoutMs = 20000;
    // A lock of another host older than this is taken to belong to a machine that is gone (and
    // so is one dated this much ahead of this computer's clock).
    static constexpr qint64 ForeignLockLifetimeSecs = 10 * 60;

    ~SqliteEngine() override;

    // The functions the schema's triggers call (tv_sha256), on a connection of SQLite's own.
    static void DefineFunctions(sqlite3* db);

    void Open(const DbConfig& config) override;
    void Close() override;
    bool IsServer() const override { return false; }
    QString ConnectionText() const override;
    QString Prepare(const QString& sql) const override;

    // Through SQLite's own interface: Qt's driver copies every value into a row cache of its own,
    // through UTF-16, before the copy the answer keeps, and reading a register of years cost more
    // than checking it. The values are those the driver gives: integers as qint64, reals as
    // double, text as QString, NULL as an invalid QVariant.
    Rows Query(const QString& sql) override;
    QStringList FirstColumnTexts(const QString& sql) override;
    void ForEachRow(const QString& sql, const std::function<void(const RowCursor&)>& take) override;
    Rows QueryReadOnly(const QString& sql, bool inTransaction) override;
    // Writes, transactions and row locks through SQLite's own interface too: Qt's driver turned
    // every statement's text into UTF-16 and built a result object of its own for each, work a
    // document's seventy statements paid beside the statements themselves.
    int Execute(const QString& sql) override;
    qint64 Insert(const QString& insertSql) override;
    // A statement of a few dozen rows, prepared once and kept until the connection closes,
    // stepped with the rows' values bound: parsing a multi-row INSERT's text was a third of the
    // scale generator's time.
    void InsertRows(const QString& table, const QString& columns,
                    const QList<QVariantList>& rows) override;

    void Begin() override;
    bool TryBegin() override;
    void Commit() override;
    void Rollback() override;

    bool TryLock(const QString& table, qint32 id) override;
    void Unlock(const QString& table, qint32 id) override;

    void WatchItems(std::function<void(const QString& client)> changed) override;

    QHash<QString, int> TextColumnLengths(const QString& table) override;

    // How often an idle workstation looks whether another process committed, should the system
    // not report the writes of its log; and how long after a reported write it looks again.
    static constexpr int WatchIntervalMs = 300;
    static constexpr int LogSettleMs = 20;
    // The most rows of one InsertRows statement.
    static constexpr int MaxRowsPerStatement = 256;

protected:
    void ReleaseOwnLocks() override;
    bool IsBusy(const QSqlError& error) const override;
    bool IsWriteRefused(const QSqlError& error) const override;
    bool IsDiskFull(const QSqlError& error) const override;

private:
    struct Owner {
        QString host;
        qint64 pid = 0;
        qint64 since = 0;
    };

    void Connect(const QString& name, const QString& options, const QString& probe);
    // Steps the statement of sql with values bound in order, handing `take` each row; the column
    // names into *names when asked for. With busy given, another process holding the database
    // sets it instead of raising.
    void Step(const QString& sql, const QVariantList& values, QStringList* names,
              const std::function<void(sqlite3_stmt*)>& take, bool* busy = nullptr);
    // The statement of sql, prepared on its first use in this transaction (or this statement,
    // outside one).
    sqlite3_stmt* Kept(sqlite3* db, const QString& sql);
    // Finalises the kept statements. A connection that still has a statement cannot be closed:
    // the driver's close is refused and the connection left behind, whatever closes it, so no
    // statement is kept beyond the transaction that prepared it.
    void ForgetKept();
    // The connection's own handle; raises, naming sql, when there is none.
    sqlite3* Handle(const QString& sql) const;
    void EnsureLockTable();
    bool IsStale(const Owner& owner) const;

    QString m_file;
    bool m_lockTableReady = false;
    std::unique_ptr<QTimer> m_watch;
    std::unique_ptr<QFileSystemWatcher> m_walWatch;
    qint64 m_dataVersion = -1;
    QHash<QString, sqlite3_stmt*> m_kept;
    sqlite3* m_handle = nullptr;
};
