#pragma once

#include <QByteArray>
#include <QString>

// While it lives, a signal that ends the process (SIGTERM, SIGINT, SIGHUP) first removes path,
// a folder with all it holds, and then ends the process as the signal asks: a folder that is
// being built never outlives a builder that was stopped half-way. One at a time per process.
class RemoveOnSignal {
public:
    explicit RemoveOnSignal(const QString& path);
    ~RemoveOnSignal();
    RemoveOnSignal(const RemoveOnSignal&) = delete;
    RemoveOnSignal& operator=(const RemoveOnSignal&) = delete;

private:
    // The handler may only make async-signal-safe calls, so the path is ready as bytes.
    QByteArray m_path;
};
