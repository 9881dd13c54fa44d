// The hook every statement passes first: the crash injection and the statement log of tests.

#include "platform/data/StatementProbe.h"

#include <QMetaType>

#include <algorithm>
#include <csignal>
#include <utility>
#include <vector>

namespace {

struct Probe {
    qint64 killAt = 0;
    qint64 count = 0;
    qint64 sent = 0;
    bool recording = false;
    // Kept as they came and written out when the recording stops: inlining every value as it is
    // bound cost the work being timed a few per cent that no client of the database pays.
    struct Recorded {
        QString sql;
        QVariantList values;
        // Sent in one request with the statement before it.
        bool withPrevious = false;
    };
    std::vector<Recorded> recorded;

    Probe() {
        bool ok = false;
        const qint64 k = qEnvironmentVariable("TV_FAULT_KILL_AT").toLongLong(&ok);
        if (ok && k > 0)
            killAt = k;
    }
};

Probe& State() {
    static Probe probe;
    return probe;
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

QString StatementProbe::Inlined(const QString& sql, const QVariantList& values) {
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

void StatementProbe::Before(const QString& sql, const QVariantList& values) {
    Probe& probe = State();
    ++probe.count;
    if (probe.killAt == probe.count)
        std::raise(SIGKILL);
    if (probe.recording)
        probe.recorded.push_back({sql, values});
}

void StatementProbe::Together(int statements) {
    std::vector<Probe::Recorded>& recorded = State().recorded;
    for (qsizetype i = std::max<qsizetype>(1, qsizetype(recorded.size()) - statements + 1);
         i < qsizetype(recorded.size()); ++i)
        recorded[size_t(i)].withPrevious = true;
}

qint64 StatementProbe::Count() {
    return State().count;
}

void StatementProbe::Sent(int requests) {
    State().sent += requests;
}

qint64 StatementProbe::RoundTrips() {
    return State().sent;
}

void StatementProbe::StartRecording() {
    State().recorded.clear();
    State().recording = true;
}

QStringList StatementProbe::StopRecording() {
    State().recording = false;
    QStringList requests;
    for (const auto& [sql, values, withPrevious] : std::exchange(State().recorded, {})) {
        if (withPrevious)
            requests.last() += QStringLiteral(";\n") + Inlined(sql, values);
        else
            requests << Inlined(sql, values);
    }
    return requests;
}
