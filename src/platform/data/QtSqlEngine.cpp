// What every engine on a Qt SQL driver shares: the connection, statements, rows and errors.

#include "platform/data/QtSqlEngine.h"

#include "platform/data/StatementProbe.h"

#include "platform/util/TvError.h"

#include <QSqlError>
#include <QSqlRecord>
#include <QUuid>

QString DbEngine::Prepare(const QString& sql) const {
    return sql;
}

QtSqlEngine::~QtSqlEngine() {
    QtSqlEngine::Close();
}

QSqlDatabase QtSqlEngine::AddConnection(const QString& driver) {
    if (!QSqlDatabase::isDriverAvailable(driver))
        Fail(QStringLiteral("No está instalado el controlador de base de datos %1").arg(driver),
             {});
    Close();
    m_connectionName = QStringLiteral("tv-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    return QSqlDatabase::addDatabase(driver, m_connectionName);
}

QSqlDatabase QtSqlEngine::Db() const {
    return QSqlDatabase::database(m_connectionName, false);
}

void QtSqlEngine::Close() {
    if (m_connectionName.isEmpty())
        return;
    if (IsOpen()) {
        try {
            ReleaseOwnLocks();
        } catch (const TvError&) {
            // The locks of a process that is gone are broken by the next taker.
        }
    }
    {
        QSqlDatabase db = Db();
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
    m_connectionName.clear();
}

bool QtSqlEngine::IsOpen() const {
    return !m_connectionName.isEmpty() && Db().isOpen();
}

QSqlQuery QtSqlEngine::Run(const QString& sql) {
    if (!IsOpen())
        Fail(QStringLiteral("No hay conexión con la base de datos"), sql);
    SendKept();
    QSqlQuery query(Db());
    query.setForwardOnly(true);
    StatementProbe::Before(sql);
    StatementProbe::Sent();
    if (!query.exec(sql))
        Fail(query.lastError(), sql);
    return query;
}

QSqlQuery QtSqlEngine::RunBound(const QString& sql, const QVariantList& values, bool* busy) {
    if (!IsOpen())
        Fail(QStringLiteral("No hay conexión con la base de datos"), sql);
    SendKept();
    QSqlQuery query(Db());
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        Fail(query.lastError(), sql);
    for (const QVariant& value : values)
        query.addBindValue(value);
    StatementProbe::Before(sql, values);
    StatementProbe::Sent(BoundRequests());
    if (query.exec())
        return query;
    if (busy && IsBusy(query.lastError()))
        *busy = true;
    else
        Fail(query.lastError(), sql);
    return query;
}

int QtSqlEngine::ColumnCount(const QString& columns) {
    return int(columns.count(QLatin1Char(','))) + 1;
}

QString QtSqlEngine::RowsInsertSql(const QString& table, const QString& columns, int rows,
                                   bool numbered) {
    const int width = ColumnCount(columns);
    QString sql = QStringLiteral("INSERT INTO ") + table + QStringLiteral(" (") + columns +
                  QStringLiteral(") VALUES ");
    for (int r = 0, n = 0; r < rows; ++r) {
        sql += r == 0 ? QStringLiteral("(") : QStringLiteral(",(");
        for (int c = 0; c < width; ++c) {
            if (c > 0)
                sql += QLatin1Char(',');
            sql += numbered ? QStringLiteral("$") + QString::number(++n) : QStringLiteral("?");
        }
        sql += QLatin1Char(')');
    }
    return sql;
}

int QtSqlEngine::StatementRows(qsizetype rows, int most) {
    int count = most;
    while (count > rows)
        count /= 2;
    return count;
}

void QtSqlEngine::FailRowWidth(qsizetype values, int columns, const QString& rowSql) {
    Fail(QStringLiteral("La fila tiene %1 valores para %2 columnas").arg(values).arg(columns),
         rowSql);
}

Rows QtSqlEngine::Query(const QString& sql) {
    QSqlQuery query = Run(sql);
    return RowsOf(query, sql);
}

Rows QtSqlEngine::RowsOf(QSqlQuery& query, const QString& sql) const {
    const QSqlRecord record = query.record();
    const int columns = record.count();
    QStringList names;
    names.reserve(columns);
    for (int c = 0; c < columns; ++c)
        names << record.fieldName(c);
    QVector<QVector<QVariant>> rows;
    while (query.next()) {
        QVector<QVariant> row(columns);
        for (int c = 0; c < columns; ++c) {
            QVariant value = query.value(c);
            if (!value.isNull())
                row[c] = std::move(value);
        }
        rows.append(std::move(row));
    }
    // next() answers false both at the end and on a failure half-way through the rows.
    if (query.lastError().isValid())
        Fail(query.lastError(), sql);
    return Rows(std::move(names), std::move(rows));
}

QStringList QtSqlEngine::FirstColumnTexts(const QString& sql) {
    QSqlQuery query = Run(sql);
    QStringList texts;
    while (query.next())
        texts << query.value(0).toString();
    if (query.lastError().isValid())
        Fail(query.lastError(), sql);
    return texts;
}

namespace {

// The driver's current row; a NULL reads as GetRows holds it, an invalid QVariant.
class QueryCursor : public RowCursor {
public:
    explicit QueryCursor(const QSqlQuery& query) : m_query(query) {}
    QVariant Value(int column) const override {
        QVariant value = m_query.value(column);
        return value.isNull() ? QVariant() : value;
    }
    bool IsNull(int column) const override { return m_query.isNull(column); }

private:
    const QSqlQuery& m_query;
};

} // namespace

void QtSqlEngine::ForEachRow(const QString& sql,
                             const std::function<void(const RowCursor&)>& take) {
    QSqlQuery query = Run(sql);
    const QueryCursor cursor(query);
    while (query.next())
        take(cursor);
    if (query.lastError().isValid())
        Fail(query.lastError(), sql);
}

int QtSqlEngine::Execute(const QString& sql) {
    return Run(sql).numRowsAffected();
}

void QtSqlEngine::Fail(const QSqlError& error, const QString& sql) const {
    QString message = error.databaseText().trimmed();
    if (message.isEmpty())
        message = error.text().trimmed();
    // The engine's own words for a lock wait are English and say nothing of the workstation.
    if (IsBusy(error))
        message = QStringLiteral("Otro puesto ha tenido ocupada la base de datos más tiempo del "
                                 "que se le espera; no se ha guardado nada");
    else if (IsPermissionDenied(error))
        message = QStringLiteral("La cuenta de este puesto en la base de datos no tiene permiso "
                                 "para esto; no se ha cambiado nada (%1)")
                      .arg(message);
    else if (IsWriteRefused(error))
        message = QStringLiteral("La base de datos solo se puede leer aquí y la sentencia intenta "
                                 "modificarla; no se ha cambiado nada (%1)")
                      .arg(message);
    if (IsDiskFull(error))
        throw TvError(ErrorNumber::DiskFull,
                      QStringLiteral("No queda espacio libre en el disco de la base de datos; "
                                     "libere espacio antes de seguir (%1)")
                          .arg(message),
                      sql);
    Fail(message, sql);
}

void QtSqlEngine::Fail(const QString& message, const QString& sql) {
    throw TvError(ErrorNumber::Database, message, sql);
}
