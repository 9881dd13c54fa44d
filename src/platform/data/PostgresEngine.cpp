// The PostgreSQL engine: keys through RETURNING, row locks as the server's advisory locks.

#include "platform/data/PostgresEngine.h"

#include "platform/data/DataAccess.h"
#include "platform/data/SqlDialect.h"
#include "platform/data/StatementProbe.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"

#include <QLocale>
#include <QSqlDriver>
#include <QSqlError>
#include <libpq-fe.h>
#include <vector>

namespace {

// The driver names its handle's type by libpq's typedef or by the struct behind it, pg_conn.
bool IsLibpqHandle(const QVariant& handle) {
    return qstrcmp(handle.typeName(), "pg_conn*") == 0 ||
           qstrcmp(handle.typeName(), "PGconn*") == 0;
}

} // namespace

PostgresEngine::~PostgresEngine() {
    Close();
}

void PostgresEngine::Open(const DbConfig& config) {
    m_held.clear();
    m_config = config;
    m_connectionText = QStringLiteral("postgresql:host=%1;port=%2;dbname=%3;user=%4")
                           .arg(config.host)
                           .arg(config.port)
                           .arg(config.name, config.user);
    QSqlError error;
    {
        QSqlDatabase db = AddConnection(QStringLiteral("QPSQL"));
        db.setHostName(config.Hosts());
        if (config.SeveralHosts())
            // A standby answers too, read-only: a workstation needs the one that writes.
            db.setConnectOptions(QStringLiteral("port=%1;target_session_attrs=%2")
                                     .arg(config.Ports(), config.readOnly
                                                              ? QStringLiteral("any")
                                                              : QStringLiteral("read-write")));
        else
            db.setPort(config.port);
        db.setDatabaseName(config.name);
        db.setUserName(config.user);
        db.setPassword(config.password);
        if (!db.open())
            error = db.lastError();
    }
    if (error.isValid()) {
        Close();
        Fail(error, m_connectionText);
    }
    // The schema runs again at every start: its "already exists, skipping" notices are no news.
    Run(QStringLiteral("SET client_min_messages TO warning"));
    // A workstation's statements read a few rows each, yet the planner prices a walk along an
    // index (a browsed list's window) by the whole table and compiles it to machine code first,
    // which alone took 25 to 50 ms where the statement needs 4.
    Run(QStringLiteral("SET jit TO off"));
    if (config.readOnly)
        Run(QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY"));
}

void PostgresEngine::Close() {
    m_prepared.clear();
    m_kept.clear();
    m_inTransaction = false;
    m_keeping = false;
    QtSqlEngine::Close();
}

// The driver answers a broken connection as any failed statement; only libpq knows it is gone.
bool PostgresEngine::ConnectionLost() const {
    if (!IsOpen())
        return true;
    const QVariant handle = Db().driver()->handle();
    if (!IsLibpqHandle(handle))
        return false;
    PGconn* connection = *static_cast<PGconn* const*>(handle.constData());
    return !connection || PQstatus(connection) == CONNECTION_BAD;
}

PGconn* PostgresEngine::Connection(const QString& sql) const {
    const QVariant handle = IsOpen() ? Db().driver()->handle() : QVariant();
    PGconn* connection =
        IsLibpqHandle(handle) ? *static_cast<PGconn* const*>(handle.constData()) : nullptr;
    if (connection == nullptr)
        QtSqlEngine::Fail(QStringLiteral("No hay conexión con la base de datos"), sql);
    return connection;
}

void PostgresEngine::FailResult(PGresult* result, PGconn* connection, const QString& sql) const {
    const QSqlError error(
        QStringLiteral("Unable to execute statement"),
        QString::fromUtf8(result ? PQresultErrorMessage(result) : PQerrorMessage(connection)),
        QSqlError::StatementError,
        QString::fromLatin1(result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : ""));
    PQclear(result);
    QtSqlEngine::Fail(error, sql);
}

namespace {

// A value of libpq's answer as Qt's driver reads it, so that a query gives the same values
// whichever way it went: by the column's type (the server's fixed type numbers), text otherwise.
QVariant ResultValue(const PGresult* result, int row, int column) {
    if (PQgetisnull(result, row, column))
        return {};
    const QByteArray text =
        QByteArray::fromRawData(PQgetvalue(result, row, column), PQgetlength(result, row, column));
    switch (PQftype(result, column)) {
    case 16: // boolean
        return text.startsWith('t');
    case 20: // bigint
        return text.startsWith('-') ? QVariant(text.toLongLong()) : QVariant(text.toULongLong());
    case 21: // smallint
    case 23: // integer
        return text.toInt();
    case 700:  // real
    case 701:  // double precision
    case 1700: // numeric
        return text.toDouble();
    default:
        return QString::fromUtf8(text);
    }
}

} // namespace

Rows PostgresEngine::RowsOf(const PGresult* result) {
    const int columns = PQnfields(result);
    QStringList names;
    names.reserve(columns);
    for (int c = 0; c < columns; ++c)
        names << QString::fromUtf8(PQfname(result, c));
    QVector<QVector<QVariant>> rows(PQntuples(result));
    for (int r = 0; r < rows.size(); ++r) {
        rows[r].resize(columns);
        for (int c = 0; c < columns; ++c)
            rows[r][c] = ResultValue(result, r, c);
    }
    return Rows(std::move(names), std::move(rows));
}

// A read after kept writes takes them with it.
Rows PostgresEngine::Query(const QString& sql) {
    if (m_kept.isEmpty())
        return QtSqlEngine::Query(sql);
    return RowsOf(Send(sql).get());
}

std::vector<Rows> PostgresEngine::QueryEach(const QStringList& sqls) {
    const std::vector<Result> answers = SendAll(sqls);
    std::vector<Rows> rows;
    for (size_t k = answers.size() - size_t(sqls.size()); k < answers.size(); ++k)
        rows.push_back(RowsOf(answers[k].get()));
    return rows;
}

void PostgresEngine::ForEachRow(const QString& sql,
                                const std::function<void(const RowCursor&)>& take) {
    if (m_kept.isEmpty()) {
        QtSqlEngine::ForEachRow(sql, take);
        return;
    }
    const Rows rows = RowsOf(Send(sql).get());
    for (int r = 0; r < rows.RowCount(); ++r)
        take(RowsCursor(rows, r));
}

void PostgresEngine::ExecuteLater(const QString& sql) {
    if (!m_inTransaction || !m_keeping) {
        Execute(sql);
        return;
    }
    StatementProbe::Before(sql);
    m_kept << sql;
}

void PostgresEngine::SendKept() {
    if (!m_kept.isEmpty())
        Send({});
}

PostgresEngine::Result PostgresEngine::Send(const QString& last, bool* busy) {
    std::vector<Result> answers = SendAll(last.isEmpty() ? QStringList() : QStringList{last}, busy);
    return std::move(answers.back());
}

// Through libpq itself: Qt's driver keeps the first statement's answer of a request and
// drops the rest, failures included.
std::vector<PostgresEngine::Result> PostgresEngine::SendAll(const QStringList& reads, bool* busy) {
    QStringList statements = std::exchange(m_kept, {});
    const bool kept = !statements.isEmpty();
    for (const QString& read : reads) {
        StatementProbe::Before(read);
        statements << read;
    }
    const QString sql = statements.join(QStringLiteral(";\n"));
    PGconn* connection = Connection(sql);
    StatementProbe::Together(int(statements.size()));
    StatementProbe::Sent();
    std::vector<Result> answers;
    if (PQsendQuery(connection, sql.toUtf8().constData()) == 1)
        while (PGresult* answer = PQgetResult(connection))
            answers.emplace_back(answer, PQclear);
    // The server runs nothing after a statement that fails: its answer is the last.
    PGresult* last = answers.empty() ? nullptr : answers.back().get();
    const ExecStatusType status = last ? PQresultStatus(last) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
        return answers;
    if (busy && last &&
        qstrcmp(PQresultErrorField(last, PG_DIAG_SQLSTATE), LockNotAvailable) == 0) {
        *busy = true;
        return answers;
    }
    m_keptFailed = kept;
    m_failedWithBegin = kept && statements.front() == QLatin1String("BEGIN") &&
                        !reads.contains(QStringLiteral("COMMIT"));
    FailResult(last ? answers.back().release() : nullptr, connection, sql);
}

QString PostgresEngine::Prepare(const QString& sql) const {
    return SqlDialect::Translate(sql);
}

// Every table's key is its first column, so the first column of the returned row is the key.
qint64 PostgresEngine::Insert(const QString& insertSql) {
    const QString sql = insertSql + QStringLiteral(" RETURNING *");
    const Result result = Send(sql);
    if (PQntuples(result.get()) == 0 || PQgetisnull(result.get(), 0, 0))
        QtSqlEngine::Fail(QStringLiteral("La base de datos no asignó clave a la fila nueva"), sql);
    return QByteArray(PQgetvalue(result.get(), 0, 0)).toLongLong();
}

namespace {

// A value as the server reads a parameter's text: UTF-8 without NUL, which would end the text
// where the server reads it and means nothing in a clinic's data.
QByteArray ParameterText(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? "1" : "0";
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest).toLatin1();
    default:
        return value.toString().remove(QChar(0)).toUtf8();
    }
}

} // namespace

// A row per statement, its values quoted: the server takes a quoted value as the type of its
// column only in a VALUES of one row (several rows are read as text first).
void PostgresEngine::KeepRows(const QString& table, const QString& columns,
                              const QList<QVariantList>& rows) {
    const QString rowSql = RowsInsertSql(table, columns, 1, false);
    const int width = ColumnCount(columns);
    const QString head = QStringLiteral("INSERT INTO ") + table + QStringLiteral(" (") + columns +
                         QStringLiteral(") VALUES (");
    for (const QVariantList& row : rows) {
        if (row.size() != width)
            FailRowWidth(row.size(), width, rowSql);
        QString sql = head;
        for (int c = 0; c < width; ++c) {
            if (c > 0)
                sql += QLatin1Char(',');
            sql += row[c].isNull() ? QStringLiteral("NULL")
                                   : Utility::Quote(QString::fromUtf8(ParameterText(row[c])));
        }
        StatementProbe::Before(rowSql, row);
        m_kept << sql + QLatin1Char(')');
    }
}

void PostgresEngine::InsertRows(const QString& table, const QString& columns,
                                const QList<QVariantList>& rows) {
    const QString rowSql = RowsInsertSql(table, columns, 1, false);
    PGconn* connection = Connection(rowSql);
    const int width = ColumnCount(columns);
    if (m_inTransaction && m_keeping && rows.size() <= MaxRowsKept) {
        KeepRows(table, columns, rows);
        return;
    }
    SendKept();
    std::vector<QByteArray> texts;
    std::vector<const char*> values;
    for (qsizetype at = 0; at < rows.size();) {
        const int count = StatementRows(rows.size() - at, MaxRowsPerStatement);
        const QString sql = RowsInsertSql(table, columns, count, true);
        QByteArray name = m_prepared.value(sql);
        if (name.isEmpty()) {
            name = "tv_filas_" + QByteArray::number(m_prepared.size() + 1);
            StatementProbe::Sent();
            PGresult* result =
                PQprepare(connection, name.constData(), sql.toUtf8().constData(), 0, nullptr);
            if (PQresultStatus(result) != PGRES_COMMAND_OK)
                FailResult(result, connection, sql);
            PQclear(result);
            m_prepared.insert(sql, name);
        }
        texts.clear();
        values.clear();
        texts.reserve(size_t(count) * size_t(width));
        for (qsizetype r = at; r < at + count; ++r) {
            const QVariantList& row = rows[r];
            if (row.size() != width)
                FailRowWidth(row.size(), width, rowSql);
            StatementProbe::Before(rowSql, row);
            for (const QVariant& value : row) {
                if (value.isNull()) {
                    values.push_back(nullptr);
                    continue;
                }
                texts.push_back(ParameterText(value));
                values.push_back(texts.back().constData());
            }
        }
        StatementProbe::Sent();
        PGresult* result = PQexecPrepared(connection, name.constData(), int(values.size()),
                                          values.data(), nullptr, nullptr, 0);
        if (PQresultStatus(result) != PGRES_COMMAND_OK)
            FailResult(result, connection, StatementProbe::Inlined(rowSql, rows[at]));
        PQclear(result);
        at += count;
    }
}

// Outside a transaction the query runs on a connection of its own, read-only, that ends with it:
// whatever it might take from the server (a lock, a long wait) goes with that connection, and the
// server stops it after a bounded time. Inside the caller's transaction it must see the caller's
// rows: a savepoint holds the read-only mode and the time limits, and rolling back to it ends
// them again without touching what the caller did before.
Rows PostgresEngine::QueryReadOnly(const QString& sql, bool inTransaction) {
    const QString limits =
        QStringLiteral("SET %1 statement_timeout = %2; SET %1 lock_timeout = %3");
    if (!inTransaction) {
        DbConfig config = m_config;
        config.readOnly = true;
        PostgresEngine own;
        own.Open(config);
        own.Run(limits.arg(QString()).arg(ReportStatementTimeoutMs).arg(ReportLockTimeoutMs));
        return own.Query(sql);
    }
    const QStringList end{QStringLiteral("ROLLBACK TO SAVEPOINT tv_solo_lectura"),
                          QStringLiteral("RELEASE SAVEPOINT tv_solo_lectura")};
    Run(QStringLiteral("SAVEPOINT tv_solo_lectura"));
    try {
        Run(QStringLiteral("SET TRANSACTION READ ONLY"));
        Run(limits.arg(QStringLiteral("LOCAL"))
                .arg(ReportStatementTimeoutMs)
                .arg(ReportLockTimeoutMs));
        Rows rows = Query(sql);
        for (const QString& statement : end)
            Run(statement);
        return rows;
    } catch (const TvError&) {
        for (const QString& statement : end)
            Run(statement);
        throw;
    }
}

bool PostgresEngine::IsWriteRefused(const QSqlError& error) const {
    return error.nativeErrorCode() == QLatin1String("25006"); // read_only_sql_transaction
}

bool PostgresEngine::IsPermissionDenied(const QSqlError& error) const {
    return error.nativeErrorCode() == QLatin1String("42501"); // insufficient_privilege
}

bool PostgresEngine::IsDiskFull(const QSqlError& error) const {
    return error.nativeErrorCode() == QLatin1String("53100"); // disk_full
}

void PostgresEngine::Begin() {
    const QString begin = QStringLiteral("BEGIN");
    if (m_keeping && m_kept.isEmpty()) {
        StatementProbe::Before(begin);
        m_kept << begin;
    } else {
        Run(begin);
    }
    m_inTransaction = true;
}

void PostgresEngine::Commit() {
    Send(QStringLiteral("COMMIT"));
    m_inTransaction = false;
}

void PostgresEngine::Rollback() {
    // A BEGIN still kept never reached the server, which has nothing to roll back.
    const bool begun = m_kept.value(0) != QLatin1String("BEGIN");
    m_kept.clear();
    m_inTransaction = false;
    if (begun)
        Run(QStringLiteral("ROLLBACK"));
}

QString PostgresEngine::LockKey(const QString& table, qint32 id) {
    return table.toLower() + QChar(':') + QString::number(id);
}

// hashtext() runs on the server, so every workstation maps a table name to the same key.
bool PostgresEngine::TryLock(const QString& table, qint32 id) {
    const QString key = LockKey(table, id);
    if (m_held.contains(key))
        return true;
    QSqlQuery query = RunBound(QStringLiteral("SELECT pg_try_advisory_lock(hashtext(?), ?)"),
                               {table.toLower(), id});
    if (!query.next() || !query.value(0).toBool())
        return false;
    m_held.insert(key);
    return true;
}

void PostgresEngine::Unlock(const QString& table, qint32 id) {
    if (!m_held.remove(LockKey(table, id)))
        return;
    RunBound(QStringLiteral("SELECT pg_advisory_unlock(hashtext(?), ?)"), {table.toLower(), id});
}

// Spelled out rather than bound: a bound statement is three requests to the server, and every
// document takes this lock.
QString PostgresEngine::TransactionLockSql(const QString& table, qint32 id) {
    return QStringLiteral("SELECT pg_try_advisory_xact_lock(hashtext('%1'), %2)")
        .arg(table.toLower().replace(QLatin1Char('\''), QStringLiteral("''")))
        .arg(id);
}

namespace {

bool Locked(const PGresult* answer) {
    return PQntuples(answer) == 1 && qstrcmp(PQgetvalue(answer, 0, 0), "t") == 0;
}

} // namespace

// Through libpq, so that a kept BEGIN travels with the lock instead of in a request of its own.
bool PostgresEngine::TryLockForTransaction(const QString& table, qint32 id) {
    return Locked(Send(TransactionLockSql(table, id)).get());
}

// One request: each statement of a request reads with a snapshot of its own, taken when it
// starts, so the read sees everything committed before the lock was held.
std::optional<Rows> PostgresEngine::TryLockThenQuery(const QString& table, qint32 id,
                                                     const QString& sql) {
    const std::vector<Result> answers = SendAll({TransactionLockSql(table, id), sql});
    if (!Locked(answers[answers.size() - 2].get()))
        return std::nullopt;
    return RowsOf(answers.back().get());
}

// The savepoint confines both the short lock timeout and a statement that gave up, so the
// caller's transaction goes on as if the try had not been made. The statements around the query
// travel with the requests before and after it.
std::optional<Rows> PostgresEngine::TryQuery(const QString& sql) {
    ExecuteLater(QStringLiteral("SAVEPOINT tv_espera; SET LOCAL lock_timeout = %1").arg(TryWaitMs));
    bool busy = false;
    Result result = Send(sql, &busy);
    if (busy) {
        Run(QStringLiteral("ROLLBACK TO SAVEPOINT tv_espera; RELEASE SAVEPOINT tv_espera"));
        return std::nullopt;
    }
    Rows rows = RowsOf(result.get());
    ExecuteLater(QStringLiteral("SET LOCAL lock_timeout TO DEFAULT; RELEASE SAVEPOINT tv_espera"));
    return rows;
}

bool PostgresEngine::IsBusy(const QSqlError& error) const {
    return error.nativeErrorCode() == QLatin1String(LockNotAvailable);
}

void PostgresEngine::ReleaseOwnLocks() {
    if (m_held.isEmpty())
        return;
    m_held.clear();
    Run(QStringLiteral("SELECT pg_advisory_unlock_all()"));
}

// The server's trigger on FacturasItems notifies every listening workstation; a workstation's own
// changes come back to it too and are left out.
void PostgresEngine::WatchItems(std::function<void(const QString& client)> changed) {
    QSqlDriver* driver = Db().driver();
    const QString channel = QString::fromLatin1(ItemsChannel);
    QObject::disconnect(driver, &QSqlDriver::notification, driver, nullptr);
    if (driver->subscribedToNotifications().contains(channel))
        driver->unsubscribeFromNotification(channel);
    if (!changed)
        return;
    if (!driver->subscribeToNotification(channel))
        Fail(driver->lastError(), QStringLiteral("LISTEN ") + channel);
    QObject::connect(driver, &QSqlDriver::notification, driver,
                     [changed = std::move(changed)](const QString&,
                                                    QSqlDriver::NotificationSource source,
                                                    const QVariant& payload) {
                         if (source == QSqlDriver::OtherSource)
                             changed(payload.toString());
                     });
}

// Unquoted names are folded to lower case by the server, as the schema creates them.
QHash<QString, int> PostgresEngine::TextColumnLengths(const QString& table) {
    QSqlQuery query = RunBound(
        QStringLiteral("SELECT column_name, character_maximum_length FROM "
                       "information_schema.columns WHERE table_schema = current_schema() AND "
                       "table_name = ? AND character_maximum_length IS NOT NULL"),
        {table.toLower()});
    QHash<QString, int> lengths;
    while (query.next())
        lengths.insert(query.value(0).toString().toLower(), query.value(1).toInt());
    return lengths;
}
