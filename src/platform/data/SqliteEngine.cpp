// The SQLite engine: WAL, busy waits, write locks taken at begin and row locks in TvBloqueos.

#include "platform/data/SqliteEngine.h"

#include "platform/data/DataAccess.h"
#include "platform/data/SqlDialect.h"
#include "platform/data/StatementProbe.h"
#include "platform/util/Sha256.h"
#include "platform/util/TvError.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSysInfo>
#include <QUrl>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <optional>
#include <signal.h>
#include <sqlite3.h>
#include <utility>

namespace {

const QString LockTableSql = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS TvBloqueos (sTabla TEXT NOT NULL, nIdRegistro INTEGER NOT NULL, "
    "sHost TEXT NOT NULL, nPid INTEGER NOT NULL, nDesde INTEGER NOT NULL, "
    "PRIMARY KEY (sTabla, nIdRegistro))");

// tv_sha256(text): the upper-case hexadecimal SHA-256 of its UTF-8 text, with which the
// register's trigger checks a new record's fingerprint. Defined on the module's connections only.
void TvSha256(sqlite3_context* context, int, sqlite3_value** arguments) {
    const auto* text = sqlite3_value_text(arguments[0]);
    try {
        const std::array<char, 64> hash =
            Sha256::Hex(QByteArrayView(text, sqlite3_value_bytes(arguments[0])));
        sqlite3_result_text(context, hash.data(), int(hash.size()), SQLITE_TRANSIENT);
    } catch (const TvError& e) {
        sqlite3_result_error(context, e.Description().toUtf8().constData(), -1);
    }
}

QString ThisHost() {
    return QSysInfo::machineHostName();
}

qint64 ThisPid() {
    return QCoreApplication::applicationPid();
}

// What a statement without rows hands on.
void NoRows(sqlite3_stmt*) {}

} // namespace

SqliteEngine::~SqliteEngine() {
    Close();
}

void SqliteEngine::Open(const DbConfig& config) {
    if (config.sqliteFile.isEmpty())
        Fail(QStringLiteral("No se ha indicado el archivo de la base de datos"), {});
    m_file = config.sqliteFile;
    m_lockTableReady = false;
    if (!config.readOnly) {
        Connect(m_file, {}, QStringLiteral("PRAGMA journal_mode=WAL"));
        return;
    }
    const QString readOnly = QStringLiteral(";QSQLITE_OPEN_READONLY");
    const QString probe = QStringLiteral("SELECT count(*) FROM sqlite_master");
    try {
        Connect(m_file, readOnly, probe);
    } catch (const TvError&) {
        // A database in WAL mode is read through its -shm file, which a folder that cannot be
        // written holds only while a writer has it open (and then the -wal file is there too).
        // With no writer about, the file is read as it stands, as SQLite allows for immutable
        // files.
        if (QFileInfo::exists(m_file + QStringLiteral("-wal")))
            throw;
        Connect(QUrl::fromLocalFile(m_file).toString(QUrl::FullyEncoded) +
                    QStringLiteral("?immutable=1"),
                readOnly + QStringLiteral(";QSQLITE_OPEN_URI"), probe);
    }
}

void SqliteEngine::Close() {
    ForgetKept();
    QtSqlEngine::Close();
    m_handle = nullptr;
}

void SqliteEngine::ForgetKept() {
    for (sqlite3_stmt* statement : std::as_const(m_kept))
        sqlite3_finalize(statement);
    m_kept.clear();
}

// SQLite opens any file lazily; the probe is what finds out that it is no database.
void SqliteEngine::Connect(const QString& name, const QString& options, const QString& probe) {
    QSqlError error;
    {
        QSqlDatabase db = AddConnection(QStringLiteral("QSQLITE"));
        db.setDatabaseName(name);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs) +
                             options);
        if (!db.open())
            error = db.lastError();
    }
    if (error.isValid()) {
        Close();
        Fail(error, m_file);
    }
    const QVariant handle = Db().driver()->handle();
    if (qstrcmp(handle.typeName(), "sqlite3*") == 0)
        m_handle = *static_cast<sqlite3* const*>(handle.constData());
    if (m_handle)
        DefineFunctions(m_handle);
    try {
        Query(probe);
    } catch (...) {
        Close();
        throw;
    }
}

void SqliteEngine::DefineFunctions(sqlite3* db) {
    sqlite3_create_function(db, "tv_sha256", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                            TvSha256, nullptr, nullptr);
}

QString SqliteEngine::ConnectionText() const {
    return QStringLiteral("sqlite:") + m_file;
}

QString SqliteEngine::Prepare(const QString& sql) const {
    return SqlDialect::Translate(sql);
}

int SqliteEngine::Execute(const QString& sql) {
    Step(sql, {}, nullptr, NoRows);
    return int(sqlite3_changes(m_handle));
}

qint64 SqliteEngine::Insert(const QString& insertSql) {
    Step(insertSql, {}, nullptr, NoRows);
    const qint64 key = sqlite3_last_insert_rowid(m_handle);
    if (key == 0)
        Fail(QStringLiteral("La base de datos no asignó clave a la fila nueva"), insertSql);
    return key;
}

sqlite3_stmt* SqliteEngine::Kept(sqlite3* db, const QString& sql) {
    if (sqlite3_stmt* statement = m_kept.value(sql))
        return statement;
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(db, text.constData(), int(text.size()), SQLITE_PREPARE_PERSISTENT,
                           &statement, nullptr) != SQLITE_OK) {
        const int code = sqlite3_extended_errcode(db);
        sqlite3_finalize(statement);
        Fail(QSqlError(QStringLiteral("Unable to prepare statement"),
                       QString::fromUtf8(sqlite3_errmsg(db)), QSqlError::StatementError,
                       QString::number(code)),
             sql);
    }
    m_kept.insert(sql, statement);
    return statement;
}

namespace {

void Bind(sqlite3_stmt* statement, int index, const QVariant& value) {
    if (value.isNull()) {
        sqlite3_bind_null(statement, index);
        return;
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
        sqlite3_bind_int64(statement, index, value.toLongLong());
        break;
    case QMetaType::Double:
        sqlite3_bind_double(statement, index, value.toDouble());
        break;
    default: {
        const QByteArray text = value.toString().remove(QChar(0)).toUtf8();
        sqlite3_bind_text(statement, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
    }
    }
}

} // namespace

// Several rows per statement: inside a transaction each statement that writes keeps the pages it
// changes in a journal of its own, which one row per statement wrote page by page.
void SqliteEngine::InsertRows(const QString& table, const QString& columns,
                              const QList<QVariantList>& rows) {
    const QString rowSql = RowsInsertSql(table, columns, 1, false);
    sqlite3* db = Handle(rowSql);
    const int width = ColumnCount(columns);
    for (qsizetype at = 0; at < rows.size();) {
        const int count = StatementRows(rows.size() - at, MaxRowsPerStatement);
        sqlite3_stmt* statement = Kept(db, RowsInsertSql(table, columns, count, false));
        for (int r = 0; r < count; ++r) {
            const QVariantList& row = rows[at + r];
            if (row.size() != width) {
                sqlite3_clear_bindings(statement);
                FailRowWidth(row.size(), width, rowSql);
            }
            StatementProbe::Before(rowSql, row);
            for (int c = 0; c < width; ++c)
                Bind(statement, r * width + c + 1, row[c]);
        }
        StatementProbe::Sent();
        if (sqlite3_step(statement) != SQLITE_DONE) {
            const QSqlError error(QStringLiteral("Unable to execute statement"),
                                  QString::fromUtf8(sqlite3_errmsg(db)), QSqlError::StatementError,
                                  QString::number(sqlite3_extended_errcode(db)));
            sqlite3_reset(statement);
            Fail(error, StatementProbe::Inlined(rowSql, rows[at]));
        }
        sqlite3_reset(statement);
        at += count;
    }
    if (sqlite3_get_autocommit(db) != 0)
        ForgetKept();
}

// IMMEDIATE takes the write lock now: a deferred transaction that read first could not write
// later once another process had written in between.
void SqliteEngine::Begin() {
    Execute(QStringLiteral("BEGIN IMMEDIATE"));
}

// The busy timeout is the one wait SQLite knows; shortened for one try, the window can be kept
// alive between tries instead of freezing for the whole wait.
// Set through the C API rather than by PRAGMA: the same setting, without a statement each way.
bool SqliteEngine::TryBegin() {
    const QString begin = QStringLiteral("BEGIN IMMEDIATE");
    sqlite3* db = Handle(begin);
    sqlite3_busy_timeout(db, TryWaitMs);
    bool busy = false;
    try {
        Step(begin, {}, nullptr, NoRows, &busy);
    } catch (const TvError&) {
        sqlite3_busy_timeout(db, BusyTimeoutMs);
        throw;
    }
    sqlite3_busy_timeout(db, BusyTimeoutMs);
    return !busy;
}

void SqliteEngine::Commit() {
    Execute(QStringLiteral("COMMIT"));
    ForgetKept();
}

// SQLite ends a transaction by itself on some errors (a full disk, an I/O error); a roll back
// that then finds none has nothing left to undo.
void SqliteEngine::Rollback() {
    ForgetKept();
    try {
        Execute(QStringLiteral("ROLLBACK"));
    } catch (const TvError&) {
        if (sqlite3_get_autocommit(m_handle) == 0)
            throw;
    }
}

sqlite3* SqliteEngine::Handle(const QString& sql) const {
    if (m_handle == nullptr)
        QtSqlEngine::Fail(QStringLiteral("No hay conexión con la base de datos"), sql);
    return m_handle;
}

namespace {

// Column c of the statement's current row as GetRows holds it.
QVariant ColumnValue(sqlite3_stmt* statement, int c) {
    switch (sqlite3_column_type(statement, c)) {
    case SQLITE_INTEGER:
        return qint64(sqlite3_column_int64(statement, c));
    case SQLITE_FLOAT:
        return sqlite3_column_double(statement, c);
    case SQLITE_NULL:
        return {};
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char*>(sqlite3_column_blob(statement, c)),
                          sqlite3_column_bytes(statement, c));
    default:
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, c)),
                                 sqlite3_column_bytes(statement, c));
    }
}

// The statement's current row, numbers and texts read from SQLite's own buffers.
class StatementCursor : public RowCursor {
public:
    explicit StatementCursor(sqlite3_stmt* statement) : m_statement(statement) {}
    QVariant Value(int column) const override { return ColumnValue(m_statement, column); }
    bool IsNull(int column) const override { return Type(column) == SQLITE_NULL; }
    double Number(int column) const override {
        switch (Type(column)) {
        case SQLITE_INTEGER:
            return double(sqlite3_column_int64(m_statement, column));
        case SQLITE_FLOAT:
            return sqlite3_column_double(m_statement, column);
        case SQLITE_NULL:
            return 0;
        default:
            return RowCursor::Number(column);
        }
    }
    qint32 Int(int column) const override {
        return Type(column) == SQLITE_INTEGER ? qint32(sqlite3_column_int64(m_statement, column))
                                              : RowCursor::Int(column);
    }
    QString Text(int column) const override {
        if (Type(column) != SQLITE_TEXT)
            return RowCursor::Text(column);
        return QString::fromUtf8(
            reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column)),
            sqlite3_column_bytes(m_statement, column));
    }
    QByteArray Utf8(int column) const override {
        if (Type(column) != SQLITE_TEXT)
            return RowCursor::Utf8(column);
        return QByteArray::fromRawData(
            reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column)),
            sqlite3_column_bytes(m_statement, column));
    }

private:
    int Type(int column) const { return sqlite3_column_type(m_statement, column); }
    sqlite3_stmt* m_statement;
};

} // namespace

void SqliteEngine::Step(const QString& sql, const QVariantList& values, QStringList* names,
                        const std::function<void(sqlite3_stmt*)>& take, bool* busy) {
    sqlite3* db = Handle(sql);
    StatementProbe::Before(sql, values);
    StatementProbe::Sent();
    const auto failed = [&](int code) {
        Fail(QSqlError(QStringLiteral("Unable to execute statement"),
                       QString::fromUtf8(sqlite3_errmsg(db)), QSqlError::StatementError,
                       QString::number(code)),
             sql);
    };
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt* statement = nullptr;
    const char* rest = nullptr;
    if (const int code =
            sqlite3_prepare_v2(db, text.constData(), int(text.size()), &statement, &rest);
        code != SQLITE_OK)
        failed(sqlite3_extended_errcode(db));
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> owned(statement, sqlite3_finalize);
    if (!QByteArrayView(rest, text.constData() + text.size() - rest).trimmed().isEmpty())
        QtSqlEngine::Fail(QStringLiteral("Unable to execute multiple statements at a time"), sql);
    for (int v = 0; v < values.size(); ++v)
        Bind(statement, v + 1, values[v]);
    const int columns = statement ? sqlite3_column_count(statement) : 0;
    if (names) {
        names->reserve(columns);
        for (int c = 0; c < columns; ++c)
            *names << QString::fromUtf8(sqlite3_column_name(statement, c)).remove(QLatin1Char('"'));
    }
    for (int code = statement ? sqlite3_step(statement) : SQLITE_DONE; code != SQLITE_DONE;
         code = sqlite3_step(statement)) {
        if (busy && ((code & 0xff) == SQLITE_BUSY || (code & 0xff) == SQLITE_LOCKED)) {
            *busy = true;
            return;
        }
        if (code != SQLITE_ROW)
            failed(sqlite3_extended_errcode(db));
        take(statement);
    }
}

// Steps SQLite's statement itself: Qt's driver copies every value into a row cache of its own.
Rows SqliteEngine::Query(const QString& sql) {
    QStringList names;
    QVector<QVector<QVariant>> rows;
    Step(sql, {}, &names, [&](sqlite3_stmt* statement) {
        QVector<QVariant> row(names.size());
        for (int c = 0; c < names.size(); ++c)
            row[c] = ColumnValue(statement, c);
        rows.append(std::move(row));
    });
    return Rows(std::move(names), std::move(rows));
}

QStringList SqliteEngine::FirstColumnTexts(const QString& sql) {
    QStringList texts;
    Step(sql, {}, nullptr, [&](sqlite3_stmt* statement) {
        texts << (sqlite3_column_type(statement, 0) == SQLITE_TEXT
                      ? StatementCursor(statement).Text(0)
                      : ColumnValue(statement, 0).toString());
    });
    return texts;
}

void SqliteEngine::ForEachRow(const QString& sql,
                              const std::function<void(const RowCursor&)>& take) {
    Step(sql, {}, nullptr, [&](sqlite3_stmt* statement) { take(StatementCursor(statement)); });
}

Rows SqliteEngine::QueryReadOnly(const QString& sql, bool) {
    Execute(QStringLiteral("PRAGMA query_only=ON"));
    try {
        Rows rows = Query(sql);
        Execute(QStringLiteral("PRAGMA query_only=OFF"));
        return rows;
    } catch (const TvError&) {
        Execute(QStringLiteral("PRAGMA query_only=OFF"));
        throw;
    }
}

bool SqliteEngine::IsBusy(const QSqlError& error) const {
    const int code = error.nativeErrorCode().toInt() & 0xff;
    return code == 5 || code == 6; // SQLITE_BUSY, SQLITE_LOCKED
}

bool SqliteEngine::IsWriteRefused(const QSqlError& error) const {
    return (error.nativeErrorCode().toInt() & 0xff) == 8; // SQLITE_READONLY
}

bool SqliteEngine::IsDiskFull(const QSqlError& error) const {
    return (error.nativeErrorCode().toInt() & 0xff) == 13; // SQLITE_FULL
}

void SqliteEngine::EnsureLockTable() {
    if (m_lockTableReady)
        return;
    Execute(LockTableSql);
    m_lockTableReady = true;
}

bool SqliteEngine::IsStale(const Owner& owner) const {
    if (owner.host == ThisHost())
        return owner.pid <= 0 || (kill(pid_t(owner.pid), 0) == -1 && errno == ESRCH);
    // Dated ahead by more than the lifetime, the lock comes from a clock that is wrong; its age
    // can then never be known, and waiting for it would block the counter for good.
    return std::abs(QDateTime::currentSecsSinceEpoch() - owner.since) > ForeignLockLifetimeSecs;
}

// Each statement stands on its own (autocommit), so a lock taken is seen by the other
// processes at once; a database busy with another process's write counts as "not now".
bool SqliteEngine::TryLock(const QString& table, qint32 id) {
    EnsureLockTable();
    const QString host = ThisHost();
    const qint64 pid = ThisPid();
    bool busy = false;
    const auto done = [&](const QString& sql, const QVariantList& values,
                          const std::function<void(sqlite3_stmt*)>& take) {
        Step(sql, values, nullptr, take, &busy);
        return !busy;
    };
    // Two rounds: the holder may let go, or a stale lock be removed, between insert and look.
    for (int round = 0; round < 2; ++round) {
        if (!done(QStringLiteral("INSERT OR IGNORE INTO TvBloqueos (sTabla, nIdRegistro, sHost, "
                                 "nPid, nDesde) VALUES (?, ?, ?, ?, ?)"),
                  {table, id, host, pid, QDateTime::currentSecsSinceEpoch()}, NoRows))
            return false;
        if (sqlite3_changes(m_handle) == 1)
            return true;
        std::optional<Owner> held;
        if (!done(QStringLiteral("SELECT sHost, nPid, nDesde FROM TvBloqueos WHERE sTabla = ? "
                                 "AND nIdRegistro = ?"),
                  {table, id}, [&](sqlite3_stmt* row) {
                      held = Owner{ColumnValue(row, 0).toString(), sqlite3_column_int64(row, 1),
                                   sqlite3_column_int64(row, 2)};
                  }))
            return false;
        if (!held)
            continue;
        const Owner owner = *held;
        if (owner.host == host && owner.pid == pid)
            return true;
        if (!IsStale(owner))
            return false;
        // Only that very owner's row goes: another process may have broken it and locked anew.
        if (!done(QStringLiteral("DELETE FROM TvBloqueos WHERE sTabla = ? AND nIdRegistro = ? "
                                 "AND sHost = ? AND nPid = ? AND nDesde = ?"),
                  {table, id, owner.host, owner.pid, owner.since}, NoRows))
            return false;
    }
    return false;
}

void SqliteEngine::Unlock(const QString& table, qint32 id) {
    EnsureLockTable();
    Step(QStringLiteral("DELETE FROM TvBloqueos WHERE sTabla = ? AND nIdRegistro = ? AND "
                        "sHost = ? AND nPid = ?"),
         {table, id, ThisHost(), ThisPid()}, nullptr, NoRows);
}

void SqliteEngine::ReleaseOwnLocks() {
    if (m_lockTableReady)
        Step(QStringLiteral("DELETE FROM TvBloqueos WHERE sHost = ? AND nPid = ?"),
             {ThisHost(), ThisPid()}, nullptr, NoRows);
}

// SQLite tells no one about commits. A commit of another process writes the file's write-ahead
// log, which the system reports at once, and the data version, which changes only when another
// connection commits, tells a commit from any other write. The log's index is updated after the
// log, so a look just after the write can come too soon: a second look follows it. The timer
// stays for file systems that report nothing (a folder shared over the network).
void SqliteEngine::WatchItems(std::function<void(const QString& client)> changed) {
    m_walWatch.reset();
    m_watch.reset();
    if (!changed)
        return;
    // Not a statement of the module's: the probe that counts those does not see it.
    auto version = [this] {
        sqlite3_stmt* statement = nullptr;
        qint64 now = m_dataVersion;
        if (m_handle &&
            sqlite3_prepare_v2(m_handle, "PRAGMA data_version", -1, &statement, nullptr) ==
                SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            now = sqlite3_column_int64(statement, 0);
        sqlite3_finalize(statement);
        return now;
    };
    // Read now: a commit before the first look counts.
    m_dataVersion = version();
    const auto look = [this, version, changed = std::move(changed)] {
        const qint64 now = version();
        if (now == m_dataVersion)
            return;
        m_dataVersion = now;
        changed(QString());
    };
    m_watch = std::make_unique<QTimer>();
    QObject::connect(m_watch.get(), &QTimer::timeout, look);
    m_watch->start(WatchIntervalMs);
    m_walWatch = std::make_unique<QFileSystemWatcher>(QStringList{m_file + "-wal"});
    QObject::connect(m_walWatch.get(), &QFileSystemWatcher::fileChanged, m_walWatch.get(),
                     [this, look] {
                         look();
                         QTimer::singleShot(LogSettleMs, m_walWatch.get(), look);
                     });
}

QHash<QString, int> SqliteEngine::TextColumnLengths(const QString& table) {
    static const QRegularExpression sized(QStringLiteral("(CHAR|TEXT|CLOB)\\s*\\(\\s*(\\d+)"),
                                          QRegularExpression::CaseInsensitiveOption);
    QString name = table;
    name.replace(QChar('"'), QStringLiteral("\"\""));
    const Rows columns = Query(QStringLiteral("PRAGMA table_info(\"%1\")").arg(name));
    QHash<QString, int> lengths;
    for (int row = 0; row < columns.RowCount(); ++row) {
        const QRegularExpressionMatch match = sized.match(columns.Value("type", row).toString());
        if (match.hasMatch())
            lengths.insert(columns.Value("name", row).toString().toLower(),
                           match.captured(2).toInt());
    }
    return lengths;
}
