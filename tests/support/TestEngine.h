#pragma once

#include "platform/data/DataAccess.h"

#include <QString>
#include <gtest/gtest.h>

// The engines the behaviour tests run on: SQLite always; PostgreSQL as well when TV_TEST_PG names
// a server ("host=...;port=...;dbname=...;user=...;password=..."), as CI does through
// scripts/pg-test-server. Every test program of such an area runs all its tests once per engine;
// the suite fixture (TestSuite) puts each test's data where the current run says.
namespace TestEngine {

// The current run is on the server.
bool Server();
// The server TV_TEST_PG names.
DbConfig ServerConfig();

// The type of a table's key column that the database numbers, for tables a test makes.
QString KeyType();

// The program's main: every test once on SQLite, then once more on the server when there is
// one. A child process that a test starts (--gtest_also_run_disabled_tests) runs once: its data
// folder's ini names its engine.
int RunAll(int argc, char** argv);

// A database of its own on the server for one test, dropped (whoever is still connected) when it
// goes out of scope.
class ServerDatabase {
public:
    ServerDatabase();
    ~ServerDatabase();
    ServerDatabase(const ServerDatabase&) = delete;
    ServerDatabase& operator=(const ServerDatabase&) = delete;

    const DbConfig& Config() const { return m_config; }

    // Keeps a copy of the database as it is now, and later puts the copy back in its place.
    // Nobody may be connected to it meanwhile.
    void Snapshot();
    void Restore();

private:
    DbConfig m_config;
    bool m_snapshot = false;
};

} // namespace TestEngine

// For a test that only makes sense on one engine: the reason is printed with the skip.
#define SKIP_ON_SERVER(reason)                                                                     \
    if (TestEngine::Server())                                                                      \
    GTEST_SKIP() << "solo SQLite: " << reason
