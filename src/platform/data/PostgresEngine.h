#pragma once

#include "platform/data/DataAccess.h"
#include "platform/data/QtSqlEngine.h"

#include <QSet>
#include <memory>

struct pg_conn;
struct pg_result;
using PGconn = pg_conn;
using PGresult = pg_result;

// The server engine for several workstations or branches. New keys come back through
// RETURNING; row locks are the server's advisory locks, which it drops by itself when the
// holder's connection dies, so a crashed workstation never keeps a counter locked.
class PostgresEngine : public QtSqlEngine {
public:
    ~PostgresEngine() override;

    void Open(const DbConfig& config) override;
    void Close() override;
    bool IsServer() const override { return true; }
    bool ConnectionLost() const override;
    QString ConnectionText() const override { return m_connectionText; }
    QString Prepare(const QString& sql) const override;

    Rows Query(const QString& sql) override;
    std::vector<Rows> QueryEach(const QStringList& sqls) override;
    // After kept writes, through libpq with them, as Query.
    void ForEachRow(const QString& sql, const std::function<void(const RowCursor&)>& take) override;
    Rows QueryReadOnly(const QString& sql, bool inTransaction) override;
    // Inside a transaction while KeepWrites allows it, kept and sent with the transaction's next
    // request: a document's writes, one after another, cost one request instead of one each.
    void ExecuteLater(const QString& sql) override;
    void KeepWrites(bool keep) override {
        m_keeping = keep;
        m_keptFailed = false;
        m_failedWithBegin = false;
    }
    bool KeptWriteFailed() const override { return m_keptFailed; }
    bool FailedWithItsBegin() const override { return m_failedWithBegin; }
    qint64 Insert(const QString& insertSql) override;
    // Through libpq: a few hundred rows per statement, each statement prepared once on this
    // connection, its values sent as parameters, so the server neither parses the rows as text
    // nor plans the statement again.
    void InsertRows(const QString& table, const QString& columns,
                    const QList<QVariantList>& rows) override;

    // While KeepWrites allows it, BEGIN is kept and travels with the transaction's first
    // statement.
    void Begin() override;
    void Commit() override;
    void Rollback() override;

    bool TryLock(const QString& table, qint32 id) override;
    void Unlock(const QString& table, qint32 id) override;
    bool TryLockForTransaction(const QString& table, qint32 id) override;
    std::optional<Rows> TryLockThenQuery(const QString& table, qint32 id,
                                         const QString& sql) override;
    std::optional<Rows> TryQuery(const QString& sql) override;
    QString LockRowsClause() const override { return QStringLiteral(" FOR UPDATE"); }

    void WatchItems(std::function<void(const QString& client)> changed) override;

    QHash<QString, int> TextColumnLengths(const QString& table) override;

    // The channel on which the server's trigger on FacturasItems names the client it changed.
    static constexpr const char* ItemsChannel = "tv_items";

protected:
    void ReleaseOwnLocks() override;
    bool IsWriteRefused(const QSqlError& error) const override;
    bool IsDiskFull(const QSqlError& error) const override;
    bool IsPermissionDenied(const QSqlError& error) const override;
    bool IsBusy(const QSqlError& error) const override;
    // Qt's driver prepares a bound statement on the server, executes it and deallocates it.
    int BoundRequests() const override { return 3; }
    void SendKept() override;

private:
    using Result = std::unique_ptr<PGresult, void (*)(PGresult*)>;

    static QString LockKey(const QString& table, qint32 id);
    static constexpr const char* LockNotAvailable = "55P03";
    // The connection's libpq handle; raises TvError naming sql when there is none.
    PGconn* Connection(const QString& sql) const;
    // What ExecuteLater kept and then `last` (when not empty), in one request; answers the last
    // statement's result. The server runs none after one that fails, whose failure is raised,
    // unless busy is given and it was a lock wait that ran out: *busy is set then.
    Result Send(const QString& last, bool* busy = nullptr);
    // The same with several statements after what was kept, answering every statement's result
    // in order (a kept entry may hold several).
    std::vector<Result> SendAll(const QStringList& reads, bool* busy = nullptr);
    static QString TransactionLockSql(const QString& table, qint32 id);
    static Rows RowsOf(const PGresult* result);
    void KeepRows(const QString& table, const QString& columns, const QList<QVariantList>& rows);
    [[noreturn]] void FailResult(PGresult* result, PGconn* connection, const QString& sql) const;

    // How long a report's query may run, and wait for a lock, before the server stops it.
    static constexpr int ReportStatementTimeoutMs = 30000;
    static constexpr int ReportLockTimeoutMs = 2000;
    // The most rows of one InsertRows statement.
    static constexpr int MaxRowsPerStatement = 256;
    // The most rows InsertRows keeps, as ExecuteLater does, for the transaction's next request:
    // a document's few; a generator's thousands go prepared and bound.
    static constexpr int MaxRowsKept = 16;

    DbConfig m_config;
    QString m_connectionText;
    // Advisory locks count re-locks; holding each at most once makes one Unlock enough.
    QSet<QString> m_held;
    // The name of each statement InsertRows prepared on this connection, by its text.
    QHash<QString, QByteArray> m_prepared;
    bool m_inTransaction = false;
    bool m_keeping = false;
    bool m_keptFailed = false;
    bool m_failedWithBegin = false;
    // Statements ExecuteLater keeps for the transaction's next request.
    QStringList m_kept;
};
