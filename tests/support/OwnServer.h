#pragma once

#include "RunProgram.h"

#include <QString>
#include <QStringList>

// A PostgreSQL server of the test's own (scripts/pg-test-server), for a test that stops it on
// purpose; stopped, with its standby and everything they hold, when it goes out of scope.
class OwnServer {
public:
    OwnServer() {
        const QStringList started = RunProgram(Script(), {}).trimmed().split(' ');
        if (started.size() == 2)
            m_dir = started[0], m_spec = started[1];
    }
    ~OwnServer() {
        if (!m_dir.isEmpty())
            RunProgram(Script(), {"stop", m_dir});
    }
    OwnServer(const OwnServer&) = delete;
    OwnServer& operator=(const OwnServer&) = delete;

    // Its connection spec; empty when no server could be started.
    const QString& Spec() const { return m_spec; }
    // Gives it a synchronous streaming standby and answers the standby's port (empty on failure).
    QString Standby() const { return RunProgram(Script(), {"standby", m_dir}, 60000).trimmed(); }
    // Stops it as a crash would and promotes its standby.
    void Promote() const { RunProgram(Script(), {"promote", m_dir}); }

private:
    static QString Script() {
        return qEnvironmentVariable("TV_SOURCE_DIR") + "/scripts/pg-test-server";
    }
    QString m_dir, m_spec;
};
