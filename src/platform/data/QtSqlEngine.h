#pragma once

#include "platform/data/DbEngine.h"

#include <QSqlDatabase>
#include <QSqlQuery>

class QSqlError;

// What every engine built on a Qt SQL driver shares: one named connection, statements run
// forward-only, rows copied out at once (NULL as an invalid QVariant), driver errors turned
// into TvError.
class QtSqlEngine : public DbEngine {
public:
    // How long one try of TryBegin or TryQuery waits for another connection before it gives up.
    static constexpr int TryWaitMs = 200;

    ~QtSqlEngine() override;

    void Close() override;
    bool IsOpen() const override;

    Rows Query(const QString& sql) override;
    QStringList FirstColumnTexts(const QString& sql) override;
    void ForEachRow(const QString& sql, const std::function<void(const RowCursor&)>& take) override;
    int Execute(const QString& sql) override;

protected:
    // Adds the connection for driver ("QSQLITE", "QPSQL"); raises when the driver is missing.
    QSqlDatabase AddConnection(const QString& driver);
    QSqlDatabase Db() const;

    // The statement executed; raises on failure.
    QSqlQuery Run(const QString& sql);
    // A prepared statement with its values bound in order, executed; raises on failure. With
    // busy given, a failure because another process holds the database sets it instead.
    QSqlQuery RunBound(const QString& sql, const QVariantList& values, bool* busy = nullptr);
    // The requests one RunBound sends to the database.
    virtual int BoundRequests() const { return 1; }
    // Sends what ExecuteLater kept, before any other request goes.
    virtual void SendKept() {}

    // What InsertRows shares: the statement that writes `rows` rows ($1, $2, ... numbered, else
    // "?"), the number of values a row has, the most rows of one statement for `rows` left to
    // write (a power of two up to `most`, so that a table needs a handful of kept statements at
    // most).
    static QString RowsInsertSql(const QString& table, const QString& columns, int rows,
                                 bool numbered);
    static int ColumnCount(const QString& columns);
    static int StatementRows(qsizetype rows, int most);
    // A row of InsertRows without a value for each column.
    [[noreturn]] static void FailRowWidth(qsizetype values, int columns, const QString& rowSql);

    // The rows of an executed query, copied out.
    Rows RowsOf(QSqlQuery& query, const QString& sql) const;

    [[noreturn]] void Fail(const QSqlError& error, const QString& sql) const;
    [[noreturn]] static void Fail(const QString& message, const QString& sql);

    // Called by Close while the connection is still open.
    virtual void ReleaseOwnLocks() {}
    // The error says that another connection holds the database (the busy timeout ran out).
    virtual bool IsBusy(const QSqlError&) const { return false; }
    // The error says that the statement tried to write where only reading is allowed.
    virtual bool IsWriteRefused(const QSqlError&) const { return false; }
    // The error says that the disk holding the database has no room left.
    virtual bool IsDiskFull(const QSqlError&) const { return false; }
    // The error says that the connection's account lacks the right the statement needs.
    virtual bool IsPermissionDenied(const QSqlError&) const { return false; }

private:
    QString m_connectionName;
};
