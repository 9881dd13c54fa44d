#include "platform/data/StatementProbe.h"

#include <QFile>
#include <QMetaType>

#include <csignal>
#include <memory>

namespace {

struct Switches {
    qint64 killAt = 0;
    std::unique_ptr<QFile> trace;
    qint64 count = 0;

    Switches() {
        bool ok = false;
        const qint64 k = qEnvironmentVariable("TV_FAULT_KILL_AT").toLongLong(&ok);
        if (ok && k > 0)
            killAt = k;
        const QString file = qEnvironmentVariable("TV_SQL_TRACE");
        if (!file.isEmpty()) {
            trace = std::make_unique<QFile>(file);
            if (!trace->open(QIODevice::WriteOnly | QIODevice::Append))
                trace.reset();
        }
    }
};

Switches& State() {
    static Switches switches;
    return switches;
}

QString Literal(const QVariant& value) {
    if (value.isNull())
        return QStringLiteral("NULL");
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return value.toString();
    default:
        return QLatin1Char('\'') +
               value.toString().replace(QLatin1Char('\''), QStringLiteral("''")) +
               QLatin1Char('\'');
    }
}

} // namespace

void StatementProbe::Before(const QString& sql, const QVariantList& values) {
    Switches& state = State();
    ++state.count;
    if (state.killAt == state.count)
        std::raise(SIGKILL);
    if (state.trace) {
        const QByteArray text = Inline(sql, values).toUtf8();
        state.trace->write(QByteArray::number(text.size()) + '\n' + text + '\n');
        state.trace->flush();
    }
}

qint64 StatementProbe::Count() {
    return State().count;
}

QString StatementProbe::Inline(const QString& sql, const QVariantList& values) {
    if (values.isEmpty())
        return sql;
    QString out;
    out.reserve(sql.size() + 16 * values.size());
    int next = 0;
    for (const QChar c : sql) {
        if (c == QLatin1Char('?') && next < values.size())
            out += Literal(values[next++]);
        else
            out += c;
    }
    return out;
}
