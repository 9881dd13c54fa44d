#pragma once

#include "platform/data/DataAccess.h"
#include "platform/data/QtSqlEngine.h"

#include <QSet>

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

    Rows QueryReadOnly(const QString& sql, bool inTransaction) override;
    qint64 Insert(const QString& insertSql) override;
    // Through libpq: a few hundred rows per statement, each statement prepared once on this
    // connection, its values sent as parameters, so the server neither parses the rows as text
    // nor plans the statement again.
    void InsertRows(const QString& table, const QString& columns,
                    const QList<QVariantList>& rows) override;

    void Begin() override;
    void Commit() override;
    void Rollback() override;

    bool TryLock(const QString& table, qint32 id) override;
    void Unlock(const QString& table, qint32 id) override;
    bool TryLockForTransaction(const QString& table, qint32 id) override;
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

private:
    static QString LockKey(const QString& table, qint32 id);

    // How long a report's query may run, and wait for a lock, before the server stops it.
    static constexpr int ReportStatementTimeoutMs = 30000;
    static constexpr int ReportLockTimeoutMs = 2000;
    // The most rows of one InsertRows statement.
    static constexpr int MaxRowsPerStatement = 256;

    DbConfig m_config;
    QString m_connectionText;
    // Advisory locks count re-locks; holding each at most once makes one Unlock enough.
    QSet<QString> m_held;
    // The name of each statement InsertRows prepared on this connection, by its text.
    QHash<QString, QByteArray> m_prepared;
};
