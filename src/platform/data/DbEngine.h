#pragma once

#include "platform/data/RowCursor.h"
#include "platform/data/Rows.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QVariantList>
#include <functional>
#include <optional>

struct DbConfig;

// One database product behind DataAccess. DataAccess builds the statements and keeps the
// transaction depth; an engine runs translated text, knows how its product hands out new keys,
// holds row locks between processes and describes its columns. Every failure raises TvError
// with ErrorNumber::Database, the product's message and the statement that failed.
class DbEngine {
public:
    virtual ~DbEngine() = default;

    virtual void Open(const DbConfig& config) = 0;
    // Gives back this process's row locks and closes the connection; never raises.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // True on a database server (several workstations share it through the network).
    virtual bool IsServer() const = 0;
    // True once the connection to a server has broken (the server restarted, the network was
    // cut); asked after a statement failed. A file database never loses its connection.
    virtual bool ConnectionLost() const { return false; }
    // "sqlite:<file>" or "postgresql:host=...;port=...;dbname=...;user=...".
    virtual QString ConnectionText() const = 0;

    // The caller's statement as this engine runs it.
    virtual QString Prepare(const QString& sql) const;

    // The statements below receive text that Prepare has already translated.
    virtual Rows Query(const QString& sql) = 0;
    // The rows of each query in turn, each a single statement; a server's engine sends them in
    // one request.
    virtual std::vector<Rows> QueryEach(const QStringList& sqls) {
        std::vector<Rows> rows;
        for (const QString& sql : sqls)
            rows.push_back(Query(sql));
        return rows;
    }
    // Query with the database closed to writes while it runs; inside the caller's transaction
    // (inTransaction) that transaction stays as it was. A write attempt raises TvError.
    virtual Rows QueryReadOnly(const QString& sql, bool inTransaction) = 0;
    // The first column of every row as text (NULL as ""): a list of a hundred thousand names
    // without a QVariant row for each.
    virtual QStringList FirstColumnTexts(const QString& sql) = 0;
    // Hands `take` each row of the answer in turn, read forward once; the cursor holds only the
    // current row and is valid during the call.
    virtual void ForEachRow(const QString& sql,
                            const std::function<void(const RowCursor&)>& take) = 0;
    // Runs a statement without rows; answers the number of rows it changed.
    virtual int Execute(const QString& sql) = 0;
    // Execute for a statement whose answer nobody reads: while KeepWrites allows it, a server's
    // engine keeps it until the transaction's next request and sends the two together, so a
    // failure of it is then raised by that request (the transaction is lost either way).
    virtual void ExecuteLater(const QString& sql) { Execute(sql); }
    // Whether ExecuteLater (and InsertRows of a few rows) may keep writes from now on.
    virtual void KeepWrites(bool keep) { Q_UNUSED(keep); }
    // True when the last request that failed carried kept writes: any of them may have failed,
    // far from where it was written.
    virtual bool KeptWriteFailed() const { return false; }
    // True when that request also carried the transaction's BEGIN and not its COMMIT: nothing of
    // the transaction can have stayed on the server.
    virtual bool FailedWithItsBegin() const { return false; }
    // Runs an INSERT and answers the key the database gave the new row.
    virtual qint64 Insert(const QString& insertSql) = 0;
    // Writes rows into the table's columns ("a,b,c"), each row its values in that order, bound
    // to a statement prepared once per connection: an integer, real or text each as its own type
    // (a text's NUL characters left out), NULL as an invalid QVariant.
    virtual void InsertRows(const QString& table, const QString& columns,
                            const QList<QVariantList>& rows) = 0;

    virtual void Begin() = 0;
    virtual void Commit() = 0;
    virtual void Rollback() = 0;

    // Begin, unless it needs something that another connection holds for longer than a moment:
    // false then, and nothing has begun. Lets the caller keep the window alive between tries.
    virtual bool TryBegin() {
        Begin();
        return true;
    }
    // Query inside the open transaction, unless it waits longer than a moment for another
    // connection's row lock: nullopt then, with the transaction as it was. The rows it locks stay
    // locked until the transaction ends.
    virtual std::optional<Rows> TryQuery(const QString& sql) { return Query(sql); }
    // What a query appends to lock the rows it reads until its transaction ends; empty where the
    // write transaction keeps every other writer out already.
    virtual QString LockRowsClause() const { return {}; }

    // One try at an exclusive lock on (table, id) shared with other processes and hosts; true
    // when this process holds it now (also when it already did).
    virtual bool TryLock(const QString& table, qint32 id) = 0;
    virtual void Unlock(const QString& table, qint32 id) = 0;
    // One try at making the rest of the open transaction exclusive for (table, id) among
    // workstations: the lock ends with the transaction. SQLite's write transaction is exclusive
    // already.
    virtual bool TryLockForTransaction(const QString& table, qint32 id) {
        Q_UNUSED(table);
        Q_UNUSED(id);
        return true;
    }
    // TryLockForTransaction, then, when it holds, the rows of sql as read under the lock.
    virtual std::optional<Rows> TryLockThenQuery(const QString& table, qint32 id,
                                                 const QString& sql) {
        if (!TryLockForTransaction(table, id))
            return std::nullopt;
        return Query(sql);
    }

    // From now on calls changed when another workstation has changed pending items, with the
    // client's id when the engine can say whose (else empty). The calls come from the event loop.
    virtual void WatchItems(std::function<void(const QString& client)> changed) = 0;

    // Declared lengths of the table's text columns, keyed by lower-case column name; columns
    // without a declared length are left out.
    virtual QHash<QString, int> TextColumnLengths(const QString& table) = 0;
};
