#pragma once

#include "platform/data/DataAccess.h"
#include "support/TestEngine.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUuid>
#include <gtest/gtest.h>

// Another workstation's connection, holding what its statements lock until Release.
class OtherWorkstation {
public:
    explicit OtherWorkstation(const QString& sqliteFile) {
        QSqlDatabase db;
        if (TestEngine::Server()) {
            const DbConfig config = TestEngine::ServerConfig();
            db = QSqlDatabase::addDatabase("QPSQL", m_name);
            db.setHostName(config.host);
            db.setPort(config.port);
            db.setUserName(config.user);
            db.setPassword(config.password);
            db.setDatabaseName(Db().GetRows("SELECT current_database()").Value(0, 0).toString());
        } else {
            db = QSqlDatabase::addDatabase("QSQLITE", m_name);
            db.setDatabaseName(sqliteFile);
        }
        EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
    }
    ~OtherWorkstation() {
        Release();
        QSqlDatabase::removeDatabase(m_name);
    }
    void Hold(const QStringList& statements) {
        QSqlQuery query(QSqlDatabase::database(m_name));
        for (const QString& sql : statements)
            EXPECT_TRUE(query.exec(sql)) << query.lastError().text().toStdString();
        m_holding = true;
    }
    void Release() {
        if (!m_holding)
            return;
        QSqlQuery(QSqlDatabase::database(m_name)).exec("COMMIT");
        m_holding = false;
    }

private:
    QString m_name = QUuid::createUuid().toString();
    bool m_holding = false;
};
