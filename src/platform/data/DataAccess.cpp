// The data-access component: connection, statements, transactions, locks and the guard.

#include "platform/data/DataAccess.h"

#include "platform/data/ComboListModel.h"
#include "platform/data/DbEngine.h"
#include "platform/data/PostgresEngine.h"
#include "platform/data/SqlDialect.h"
#include "platform/data/SqliteEngine.h"
#include "platform/util/IniFile.h"
#include "platform/util/ProgramEnd.h"
#include "platform/util/TvError.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QThread>

#include <cstdlib>
#include <limits>
#include <optional>
#include <utility>

namespace {

QString WhereClause(const QString& where) {
    return where.trimmed().isEmpty() ? QString() : QStringLiteral(" WHERE ") + where;
}

[[noreturn]] void Fail(const QString& message, const QString& sql = {}) {
    throw TvError(ErrorNumber::Database, message, sql);
}

// The column of rows named name (case-insensitive; "Tabla.sCampo" also finds "sCampo").
int ColumnIndex(const Rows& rows, const QString& name, const QString& sql) {
    const QString bare = name.section(QChar('.'), -1);
    const QStringList& names = rows.ColumnNames();
    for (int i = 0; i < names.size(); ++i)
        if (names[i].compare(name, Qt::CaseInsensitive) == 0 ||
            names[i].compare(bare, Qt::CaseInsensitive) == 0)
            return i;
    Fail(QStringLiteral("La consulta no devuelve la columna %1").arg(name), sql);
}

// Names that a browsed list reads before its first one are put above the names on screen, which
// stay where they were: otherwise the list would show the new first names, which would read the
// page before them, and so on to the start of the list.
void KeepPlaceOnTopInserts(QComboBox* combo) {
    auto top = std::make_shared<int>(-1);
    QAbstractItemModel* model = combo->model();
    QObject::connect(model, &QAbstractItemModel::rowsAboutToBeInserted, combo,
                     [combo, top](const QModelIndex&, int first) {
                         *top = first == 0 && combo->view()->isVisible()
                                    ? combo->view()->indexAt(QPoint(1, 1)).row()
                                    : -1;
                     });
    QObject::connect(model, &QAbstractItemModel::rowsInserted, combo,
                     [combo, top](const QModelIndex&, int first, int last) {
                         if (first != 0 || *top < 0)
                             return;
                         QAbstractItemView* view = combo->view();
                         view->scrollTo(view->model()->index(*top + last + 1, 0),
                                        QAbstractItemView::PositionAtTop);
                     });
}

// Hands the entries to the combo's list model in one reset. Filling is not a user's choice, so
// the combo's signals stay quiet throughout.
void Populate(QComboBox* combo, const std::function<void(ComboListModel&)>& fill, bool selectFirst,
              bool keepText) {
    const QString typed = combo->currentText();
    const QSignalBlocker blocker(combo);
    auto* model = qobject_cast<ComboListModel*>(combo->model());
    if (!model) {
        model = new ComboListModel(combo);
        combo->setModel(model);
        KeepPlaceOnTopInserts(combo);
    }
    fill(*model);
    if (selectFirst && combo->count() > 0) {
        combo->setCurrentIndex(0);
    } else if (keepText && combo->isEditable()) {
        combo->setCurrentIndex(-1);
        combo->setEditText(typed);
    } else {
        combo->setCurrentIndex(keepText ? combo->findText(typed) : -1);
    }
}

void Populate(QComboBox* combo, QStringList texts, QVector<QVariant> ids, bool selectFirst,
              bool keepText) {
    Populate(
        combo, [&](ComboListModel& model) { model.Reset(std::move(texts), std::move(ids)); },
        selectFirst, keepText);
}

// "txtCliente_TX" -> "sCliente": the lower-case prefix and the content suffix give way to the
// text-column prefix.
QString TextColumnOf(const QString& controlName) {
    QString name = controlName;
    const int suffix = int(name.lastIndexOf(QChar('_')));
    if (suffix > 0)
        name.truncate(suffix);
    int start = 0;
    while (start < name.size() && name[start].isLower())
        ++start;
    return start < name.size() ? QStringLiteral("s") + name.mid(start) : QString();
}

} // namespace

DbConfig DbConfig::FromIni(const QString& iniPath, const QString& dataPath) {
    auto read = [&](const char* key, const QString& def) {
        return IniFile::Read(iniPath, QStringLiteral("Database"), QString::fromLatin1(key), def)
            .trimmed();
    };
    DbConfig config;
    config.engine = read("Engine", config.engine).toLower();
    config.sqliteFile = QDir(dataPath).filePath(QStringLiteral("Tavelo.db"));
    config.host = read("Host", config.host);
    bool ok = false;
    const int port = read("Port", QString::number(config.port)).toInt(&ok);
    if (ok && port > 0)
        config.port = port;
    config.name = read("Name", config.name);
    config.user = read("User", config.user);
    config.password = read("Password", config.password);
    return config;
}

DbConfig DbConfig::FromConnectionSpec(const QString& spec) {
    DbConfig config;
    config.engine = QStringLiteral("postgresql");
    for (const QString& pair : spec.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString key = pair.section(QLatin1Char('='), 0, 0).trimmed().toLower();
        const QString value = pair.section(QLatin1Char('='), 1).trimmed();
        bool ok = true;
        if (key == QLatin1String("host"))
            config.host = value;
        else if (key == QLatin1String("port"))
            config.port = value.toInt(&ok);
        else if (key == QLatin1String("dbname"))
            config.name = value;
        else if (key == QLatin1String("user"))
            config.user = value;
        else if (key == QLatin1String("password"))
            config.password = value;
        else
            ok = false;
        if (!ok || config.port <= 0)
            throw TvError(ErrorNumber::InvalidCall,
                          QStringLiteral("La conexión \"%1\" no se entiende: \"%2\" no es "
                                         "host, port, dbname, user ni password con su valor.")
                              .arg(spec, pair.trimmed()));
    }
    return config;
}

QString DbConfig::ConnectionSpec() const {
    return QStringLiteral("host=%1;port=%2;dbname=%3;user=%4;password=%5")
        .arg(host)
        .arg(port)
        .arg(name, user, password);
}

namespace {

// Each entry of a host list with its port, "pg1:5433" or "pg1" (then `port`).
QVector<std::pair<QString, int>> HostEntries(const QString& hosts, int port) {
    QVector<std::pair<QString, int>> entries;
    for (const QString& entry : hosts.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString text = entry.trimmed();
        const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
        bool ok = false;
        const int own = colon > 0 ? text.mid(colon + 1).toInt(&ok) : 0;
        if (ok && own > 0)
            entries.append({text.left(colon), own});
        else
            entries.append({text, port});
    }
    return entries;
}

} // namespace

QString DbConfig::Hosts() const {
    QStringList list;
    for (const auto& [name, entryPort] : HostEntries(host, port))
        list << name;
    return list.join(QLatin1Char(','));
}

QString DbConfig::Ports() const {
    QStringList list;
    for (const auto& [name, entryPort] : HostEntries(host, port))
        list << QString::number(entryPort);
    return list.join(QLatin1Char(','));
}

bool DbConfig::SeveralHosts() const {
    return HostEntries(host, port).size() > 1;
}

QString DbConfig::ServerName() const {
    QStringList list;
    for (const auto& [name, entryPort] : HostEntries(host, port))
        list << name + QLatin1Char(':') + QString::number(entryPort);
    return QStringLiteral("%1 (base de datos \"%2\")").arg(list.join(QLatin1Char(',')), name);
}

QString DbConfig::DataFolder(const QString& iniPath) {
    const QString dataPath =
        IniFile::Read(iniPath, QStringLiteral("Database"), QStringLiteral("DataPath"))
            .trimmed()
            .replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (dataPath.isEmpty())
        return {};
    return QDir::cleanPath(QFileInfo(iniPath).absoluteDir().filePath(dataPath));
}

// Never destroyed: a static's destructor would run after Qt's own registry of connections is
// gone. The connection is closed at exit instead, by a handler registered after that registry
// exists, so that it runs first.
DataAccess& DataAccess::instance() {
    static DataAccess* access = new DataAccess;
    return *access;
}

// Ending the program on purpose rolls back a transaction left open and closes the connection
// (Close does both, and never raises).
DataAccess::DataAccess() {
    ProgramEnd::AddCleanUp([this] { Close(); });
}

DataAccess::~DataAccess() {
    Close();
}

void DataAccess::Open(const DbConfig& config) {
    Close();
    std::unique_ptr<DbEngine> engine;
    if (config.engine.isEmpty() || config.engine == QLatin1String("sqlite"))
        engine = std::make_unique<SqliteEngine>();
    else if (config.engine == QLatin1String("postgresql"))
        engine = std::make_unique<PostgresEngine>();
    else
        Fail(QStringLiteral("Motor de base de datos desconocido: %1").arg(config.engine));
    m_config = config;
    engine->Open(config);
    m_engine = std::move(engine);
    if (m_itemsChanged)
        m_engine->WatchItems(m_itemsChanged);
    static const bool closesAtExit = std::atexit([] { DataAccess::instance().Close(); }) == 0;
    Q_UNUSED(closesAtExit);
}

void DataAccess::Close() {
    m_connectionLost = false;
    if (!m_engine)
        return;
    if (m_transactionDepth > 0) {
        try {
            m_engine->Rollback();
        } catch (const TvError&) {
            // Closing the connection discards the transaction all the same.
        }
    }
    m_transactionDepth = 0;
    m_engine->Close();
    m_engine.reset();
}

bool DataAccess::IsConnected() const {
    return m_engine && m_engine->IsOpen();
}

bool DataAccess::IsServerDb() const {
    return m_engine && m_engine->IsServer();
}

bool DataAccess::HasTable(const QString& name) {
    // A table's name comes from the code, never from a user.
    const QString text = "'" + name.toLower() + "'";
    return !GetRows(IsServerDb() ? "SELECT 1 FROM information_schema.tables WHERE table_schema = "
                                   "current_schema() AND lower(table_name) = " +
                                       text
                                 : "SELECT 1 FROM sqlite_master WHERE type='table' AND "
                                   "lower(name) = " +
                                       text)
                .IsEmpty();
}

DbEngine& DataAccess::Engine(const QString& sql) const {
    if (!IsConnected())
        Fail(QStringLiteral("No hay conexión con la base de datos"), sql);
    return *m_engine;
}

template <class Work> auto DataAccess::OnConnection(const QString& sql, bool retry, Work&& work) {
    if (m_connectionLost)
        Reconnect();
    const bool inTransaction = m_transactionDepth > 0;
    m_ahead.clear();
    try {
        return work(Engine(sql));
    } catch (const TvError& e) {
        if (!m_engine || !m_engine->ConnectionLost())
            throw;
        DropLostConnection();
        if (!retry || inTransaction)
            throw TvError(e.Number(),
                          QStringLiteral("Se ha perdido la conexión con el servidor de base de "
                                         "datos %1; lo que no estaba confirmado no se ha "
                                         "guardado (%2)")
                              .arg(m_config.ServerName(), e.Description()),
                          e.Statement());
    }
    Reconnect();
    return work(Engine(sql));
}

// The transaction and the session's locks went with the connection.
void DataAccess::DropLostConnection() {
    m_lostWithBegin = m_engine->FailedWithItsBegin();
    m_transactionDepth = 0;
    m_engine->Close();
    m_engine.reset();
    m_connectionLost = true;
}

void DataAccess::Reconnect() {
    try {
        Open(m_config);
    } catch (const TvError& e) {
        m_connectionLost = true;
        throw TvError(e.Number(),
                      QStringLiteral("No se puede volver a conectar con el servidor de base de "
                                     "datos %1: %2")
                          .arg(m_config.ServerName(), e.Description()),
                      e.Statement());
    }
}

Rows DataAccess::Query(const QString& sql) {
    if (std::optional<Rows> ahead = TakeAhead(sql))
        return std::move(*ahead);
    return OnConnection(sql, true,
                        [&](DbEngine& engine) { return engine.Query(engine.Prepare(sql)); });
}

int DataAccess::Run(const QString& sql) {
    return OnConnection(sql, false,
                        [&](DbEngine& engine) { return engine.Execute(engine.Prepare(sql)); });
}

void DataAccess::RunLater(const QString& sql) {
    OnConnection(sql, false, [&](DbEngine& engine) { engine.ExecuteLater(engine.Prepare(sql)); });
}

template <class Attempt> auto DataAccess::Waiting(const QString& what, Attempt&& attempt) {
    QElapsedTimer clock;
    clock.start();
    bool waited = false;
    auto over = [&] {
        if (waited && m_waitHook)
            m_waitHook(false);
    };
    for (;;) {
        auto result = attempt();
        if (result) {
            over();
            return *result;
        }
        if (clock.elapsed() >= m_waitLimitMs) {
            over();
            throw TvError(ErrorNumber::Database,
                          QStringLiteral("Se ha esperado más de %2 segundos a que otro puesto "
                                         "dejara libre %1; no se ha guardado nada. Vuelva a "
                                         "intentarlo en un momento.")
                              .arg(what, QString::number(m_waitLimitMs / 1000.0, 'g', 3)
                                             .replace(QLatin1Char('.'), QLatin1Char(','))));
        }
        waited = true;
        if (m_waitHook)
            m_waitHook(true);
        // A try that answers at once (an advisory lock) must not spin.
        QThread::msleep(10);
    }
}

Rows DataAccess::GetRows(const QString& sql) {
    return Query(sql);
}

std::vector<Rows> DataAccess::GetRowsEach(const QStringList& sqls) {
    if (!sqls.isEmpty() && m_ahead.size() >= size_t(sqls.size()) &&
        std::equal(sqls.begin(), sqls.end(), m_ahead.begin(),
                   [](const QString& sql, const auto& ahead) { return sql == ahead.first; })) {
        std::vector<Rows> rows;
        for (qsizetype k = 0; k < sqls.size(); ++k)
            rows.push_back(*TakeAhead(sqls[k]));
        return rows;
    }
    return OnConnection(sqls.join(QStringLiteral(";\n")), true, [&](DbEngine& engine) {
        QStringList prepared;
        for (const QString& sql : sqls)
            prepared << engine.Prepare(sql);
        return engine.QueryEach(prepared);
    });
}

void DataAccess::ForEachRow(const QString& sql, const std::function<void(const RowCursor&)>& take) {
    if (const std::optional<Rows> ahead = TakeAhead(sql)) {
        for (int r = 0; r < ahead->RowCount(); ++r)
            take(RowsCursor(*ahead, r));
        return;
    }
    OnConnection(sql, false,
                 [&](DbEngine& engine) { engine.ForEachRow(engine.Prepare(sql), take); });
}

void DataAccess::ReadAhead(const QStringList& sqls) {
    RequireTransaction(QStringLiteral("leer por adelantado"), sqls.join(QStringLiteral(";\n")));
    std::vector<Rows> rows = GetRowsEach(sqls);
    for (qsizetype k = 0; k < sqls.size(); ++k)
        m_ahead.emplace_back(sqls[k], std::move(rows[size_t(k)]));
}

std::optional<Rows> DataAccess::TakeAhead(const QString& sql) {
    if (m_ahead.empty())
        return std::nullopt;
    if (m_ahead.front().first != sql) {
        m_ahead.clear();
        return std::nullopt;
    }
    Rows rows = std::move(m_ahead.front().second);
    m_ahead.pop_front();
    return rows;
}

Rows DataAccess::GetRowsReadOnly(const QString& sql) {
    return OnConnection(sql, true, [&](DbEngine& engine) {
        const QString prepared = engine.Prepare(sql);
        if (!SqlDialect::IsQuery(prepared))
            Fail(QStringLiteral("Aquí solo se puede ejecutar una consulta (una sola sentencia "
                                "SELECT); no se ha ejecutado nada"),
                 prepared);
        const QString refused = SqlDialect::RefusedInReport(prepared);
        if (!refused.isEmpty())
            Fail(QStringLiteral("Una consulta de informe no puede usar %1: solo puede leer datos, "
                                "con las funciones de cálculo, texto y fechas; no se ha "
                                "ejecutado nada")
                     .arg(refused),
                 prepared);
        return engine.QueryReadOnly(prepared, InTransaction());
    });
}

bool DataAccess::OpenRecordset(const QString& sql, Recordset& rs) {
    rs.Close();
    rs.Assign(Query(sql));
    return true;
}

void DataAccess::FillList(QComboBox* combo, const QString& sql, bool selectFirst, bool keepText,
                          bool addBlank) {
    QStringList texts = OnConnection(
        sql, true, [&](DbEngine& engine) { return engine.FirstColumnTexts(engine.Prepare(sql)); });
    if (addBlank)
        texts.prepend(QString());
    Populate(combo, std::move(texts), {}, selectFirst, keepText);
}

void DataAccess::BrowseList(QComboBox* combo, const NameSource& source, bool selectFirst,
                            bool keepText, const QString& around) {
    Populate(
        combo, [&](ComboListModel& model) { model.Browse(source, around); }, selectFirst, keepText);
    if (selectFirst && !around.isEmpty()) {
        const QSignalBlocker blocker(combo);
        if (const int entry = combo->findText(around, Qt::MatchExactly); entry >= 0)
            combo->setCurrentIndex(entry);
    }
}

void DataAccess::FillCombo(QComboBox* combo, const QString& sql, const QString& textColumn,
                           const QString& idColumn, bool idInText, bool keepText,
                           const QString& extra, bool selectFirst) {
    const Rows rows = Query(sql);
    const int textAt = ColumnIndex(rows, textColumn, sql);
    const int idAt = ColumnIndex(rows, idColumn, sql);
    QStringList texts;
    QVector<QVariant> ids;
    texts.reserve(rows.RowCount() + 1);
    ids.reserve(rows.RowCount() + 1);
    if (!extra.isEmpty()) {
        texts << extra;
        ids << 0;
    }
    for (int row = 0; row < rows.RowCount(); ++row) {
        const QVariant id = rows.Value(idAt, row);
        QString text = rows.Value(textAt, row).toString();
        if (idInText)
            text = id.toString() + QStringLiteral(") ") + text;
        texts << text;
        ids << id;
    }
    Populate(combo, std::move(texts), std::move(ids), selectFirst, keepText);
}

qint32 DataAccess::InsertRecord(const QString& table, const QString& columns,
                                const QString& values) {
    const QString sql =
        QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table, columns, values);
    const QString prepared = PrepareSql(sql);
    const qint64 key =
        OnConnection(sql, false, [&](DbEngine& engine) { return engine.Insert(prepared); });
    if (key < std::numeric_limits<qint32>::min() || key > std::numeric_limits<qint32>::max())
        Fail(QStringLiteral("La clave %1 de la fila nueva no cabe en 32 bits").arg(key), prepared);
    return qint32(key);
}

void DataAccess::UpdateRecord(const QString& table, const QString& columns, const QString& values,
                              const QString& where) {
    const QStringList names = SqlDialect::SplitTopLevel(columns);
    const QStringList literals = SqlDialect::SplitTopLevel(values);
    QString sql = QStringLiteral("UPDATE ") + table + QStringLiteral(" SET ");
    if (names.isEmpty() || names.size() != literals.size())
        Fail(QStringLiteral("Hay %1 columnas y %2 valores para actualizar %3")
                 .arg(names.size())
                 .arg(literals.size())
                 .arg(table),
             sql + columns + QStringLiteral(" = ") + values + WhereClause(where));
    for (int i = 0; i < names.size(); ++i) {
        if (i > 0)
            sql += QStringLiteral(", ");
        sql += names[i] + QChar('=') + literals[i];
    }
    RunLater(sql + WhereClause(where));
}

void DataAccess::DeleteRecords(const QString& table, const QString& where, int) {
    RunLater(QStringLiteral("DELETE FROM ") + table + WhereClause(where));
}

void DataAccess::Transaction(TransactionStep step) {
    m_ahead.clear();
    switch (step) {
    case TransactionStep::Begin:
        if (m_transactionDepth == 0)
            Waiting(QStringLiteral("la base de datos"), [this]() -> std::optional<bool> {
                if (OnConnection(QStringLiteral("BEGIN"), true,
                                 [](DbEngine& engine) { return engine.TryBegin(); }))
                    return true;
                return std::nullopt;
            });
        ++m_transactionDepth;
        return;
    case TransactionStep::Commit:
        if (m_transactionDepth == 0 || --m_transactionDepth > 0)
            return;
        try {
            OnConnection(QStringLiteral("COMMIT"), false,
                         [](DbEngine& engine) { engine.Commit(); });
        } catch (const TvError&) {
            // Left open, the failed transaction would swallow every later statement. A lost
            // connection has taken it away already.
            if (!m_engine)
                throw;
            try {
                m_engine->Rollback();
            } catch (const TvError&) {
                // Keep the commit's error: it is the one that says what went wrong.
            }
            throw;
        }
        return;
    case TransactionStep::Rollback:
        if (m_transactionDepth == 0)
            return;
        m_transactionDepth = 0;
        try {
            Engine(QStringLiteral("ROLLBACK")).Rollback();
        } catch (const TvError&) {
            // The server drops the transaction of a connection that broke.
            if (!m_engine || !m_engine->ConnectionLost())
                throw;
            DropLostConnection();
        }
        return;
    }
}

bool DataAccess::InTransaction() const {
    return m_transactionDepth > 0;
}

double DataAccess::SumField(const QString& table, const QString& column, const QString& where) {
    const Rows rows =
        Query(QStringLiteral("SELECT SUM(%1) FROM %2").arg(column, table) + WhereClause(where));
    return rows.Value(0, 0).toDouble();
}

QVariant DataAccess::GetValue(const QString& table, const QString& where, const QString& column,
                              const QString&) {
    const bool keyWanted = column.trimmed().isEmpty();
    const Rows rows =
        Query(QStringLiteral("SELECT ") + (keyWanted ? QStringLiteral("*") : column) +
              QStringLiteral(" FROM ") + table + WhereClause(where) + QStringLiteral(" LIMIT 1"));
    if (!keyWanted)
        return rows.Value(0, 0);
    const QVariant key = rows.Value(0, 0);
    return key.isValid() ? key : QVariant(0);
}

bool DataAccess::LockRecord(const QString& table, qint32 id, bool lock, bool release) {
    return OnConnection(QStringLiteral("LockRecord ") + table, true, [&](DbEngine& engine) {
        if (release) {
            engine.Unlock(table, id);
            return true;
        }
        return lock && engine.TryLock(table, id);
    });
}

void DataAccess::RequireTransaction(const QString& what, const QString& sql) const {
    if (m_transactionDepth == 0)
        throw TvError(ErrorNumber::InvalidCall,
                      QStringLiteral("No hay ninguna transacción abierta para %1").arg(what), sql);
}

void DataAccess::LockForTransaction(const QString& table, qint32 id) {
    RequireTransaction(QStringLiteral("bloquear ") + table, {});
    Waiting(QStringLiteral("la tabla ") + table, [&]() -> std::optional<bool> {
        if (OnConnection(QStringLiteral("LockForTransaction ") + table, false,
                         [&](DbEngine& engine) { return engine.TryLockForTransaction(table, id); }))
            return true;
        return std::nullopt;
    });
}

Rows DataAccess::LockThenRead(const QString& table, qint32 id, const QString& sql) {
    RequireTransaction(QStringLiteral("bloquear ") + table, sql);
    return Waiting(QStringLiteral("la tabla ") + table, [&] {
        return OnConnection(sql, false, [&](DbEngine& engine) {
            return engine.TryLockThenQuery(table, id, engine.Prepare(sql));
        });
    });
}

Rows DataAccess::LockedRows(const QString& sql, const QString& what) {
    RequireTransaction(QStringLiteral("bloquear ") + what, sql);
    return Waiting(what, [&] {
        return OnConnection(sql, false,
                            [&](DbEngine& engine) { return engine.TryQuery(engine.Prepare(sql)); });
    });
}

QString DataAccess::LockRowsClause() const {
    return m_engine ? m_engine->LockRowsClause() : QString();
}

void DataAccess::SetWaitHook(std::function<void(bool waiting)> hook) {
    m_waitHook = std::move(hook);
}

void DataAccess::SetWaitLimit(int ms) {
    m_waitLimitMs = ms;
}

void DataAccess::WatchItems(std::function<void(const QString& client)> changed) {
    m_itemsChanged = std::move(changed);
    if (IsConnected())
        m_engine->WatchItems(m_itemsChanged);
}

QString DataAccess::Translate(const QString& text) const {
    return text;
}

void DataAccess::PrepareForm(QWidget* form, const QString& table, const QString&) {
    if (!form)
        return;
    const QHash<QString, int> lengths = OnConnection(
        table, true, [&](DbEngine& engine) { return engine.TextColumnLengths(table); });
    if (lengths.isEmpty())
        return;
    for (QLineEdit* edit : form->findChildren<QLineEdit*>()) {
        const auto length = lengths.constFind(TextColumnOf(edit->objectName()).toLower());
        if (length != lengths.constEnd())
            edit->setMaxLength(*length);
    }
}

QString DataAccess::PrepareSql(const QString& sql) const {
    return m_engine ? m_engine->Prepare(sql) : SqlDialect::Translate(sql);
}

QString DataAccess::SqlPart(const QString& sql, int part) const {
    return part == 2 ? SqlDialect::WhereCondition(sql) : QString();
}

QString DataAccess::ConnectionText() const {
    return m_engine ? m_engine->ConnectionText() : QString();
}

void DataAccess::InsertRows(const QString& table, const QString& columns,
                            const QList<QVariantList>& rows) {
    if (rows.isEmpty())
        return;
    OnConnection(table, false, [&](DbEngine& engine) { engine.InsertRows(table, columns, rows); });
}

void DataAccess::Execute(const QString& sql) {
    RunLater(sql);
}

void DataAccess::Batched(const std::function<void()>& work) {
    if (m_transactionDepth > 0 || !IsConnected()) {
        work();
        return;
    }
    const auto keep = [this](bool on) {
        if (m_engine)
            m_engine->KeepWrites(on);
    };
    bool again = false;
    keep(true);
    try {
        work();
    } catch (const TvError&) {
        again = m_engine ? m_engine->KeptWriteFailed() : std::exchange(m_lostWithBegin, false);
        keep(false);
        if (!again)
            throw;
    } catch (...) {
        keep(false);
        throw;
    }
    keep(false);
    // The work's own transaction has rolled back: nothing of the first run is left.
    if (again)
        work();
}

// A schema either arrives whole or not at all: a script that fails half-way leaves nothing.
void DataAccess::ExecuteScript(const QString& script) {
    const QStringList statements = SqlDialect::SplitScript(script);
    TransactionGuard guard(*this);
    for (const QString& statement : statements)
        Run(statement);
    guard.Commit();
}

TransactionGuard::TransactionGuard(DataAccess& db) : m_db(db) {
    m_db.Transaction(TransactionStep::Begin);
}

TransactionGuard::~TransactionGuard() {
    if (!m_open)
        return;
    try {
        m_db.Transaction(TransactionStep::Rollback);
    } catch (const TvError&) {
        // Already unwinding from the error that matters; a failed rollback leaves the server to
        // drop the transaction with the connection.
    }
}

void TransactionGuard::Commit() {
    m_open = false;
    m_db.Transaction(TransactionStep::Commit);
}
