#include "TestEngine.h"

#include "platform/util/TvError.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <atomic>

namespace {

bool onServer = false;

// Tells each iteration of the run which engine it is on.
class EngineSwitch : public testing::EmptyTestEventListener {
    void OnTestIterationStart(const testing::UnitTest&, int iteration) override {
        onServer = iteration == 1;
        std::printf("[  ENGINE  ] %s\n", onServer ? "PostgreSQL" : "SQLite");
        std::fflush(stdout);
    }
};

// Runs one statement on the server's own database, outside any test's connection.
void Administer(const QString& sql) {
    const DbConfig server = TestEngine::ServerConfig();
    const QString name = QStringLiteral("tv-test-admin");
    QString failure;
    {
        QSqlDatabase admin = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        admin.setHostName(server.host);
        admin.setPort(server.port);
        admin.setDatabaseName(server.name);
        admin.setUserName(server.user);
        admin.setPassword(server.password);
        if (!admin.open()) {
            failure = admin.lastError().text();
        } else {
            QSqlQuery query(admin);
            if (!query.exec(sql))
                failure = query.lastError().text();
        }
        admin.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (!failure.isEmpty())
        throw TvError(ErrorNumber::Database, failure, sql);
}

} // namespace

bool TestEngine::Server() {
    return onServer;
}

DbConfig TestEngine::ServerConfig() {
    return DbConfig::FromConnectionSpec(qEnvironmentVariable("TV_TEST_PG"));
}

int TestEngine::RunAll(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (!GTEST_FLAG_GET(also_run_disabled_tests) && !qEnvironmentVariableIsEmpty("TV_TEST_PG")) {
        GTEST_FLAG_SET(repeat, 2);
        testing::UnitTest::GetInstance()->listeners().Append(new EngineSwitch);
    }
    return RUN_ALL_TESTS();
}

TestEngine::ServerDatabase::ServerDatabase() : m_config(ServerConfig()) {
    static std::atomic<int> made{0};
    m_config.name = QStringLiteral("tvt_%1_%2").arg(QCoreApplication::applicationPid()).arg(++made);
    Administer("CREATE DATABASE " + m_config.name);
}

TestEngine::ServerDatabase::~ServerDatabase() {
    try {
        Administer("DROP DATABASE IF EXISTS " + m_config.name + " WITH (FORCE)");
    } catch (const TvError&) {
        // A database left behind goes with the throwaway server.
    }
}
