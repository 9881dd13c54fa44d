#pragma once

#include "platform/data/DataAccess.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

// DataAccess opened on a fresh SQLite file with two small tables of the suite's shape.
class TempDatabase : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_config.sqliteFile = m_dir.filePath(QStringLiteral("Tavelo.db"));
        db.Open(m_config);
        db.ExecuteScript(QStringLiteral(
            "CREATE TABLE Clientes (nIdCliente INTEGER PRIMARY KEY AUTOINCREMENT,\n"
            "  sCliente VARCHAR(40), sDni VARCHAR(12), sNotas TEXT, nSaldo REAL, bActivo "
            "INTEGER);\n"
            "CREATE TABLE Contadores (nIdContador INTEGER PRIMARY KEY AUTOINCREMENT,\n"
            "  sId TEXT, nContador INTEGER);\n"
            "INSERT INTO Contadores (sId, nContador) VALUES ('Factura', 0);\n"));
    }
    void TearDown() override { db.Close(); }

    QString File() const { return m_config.sqliteFile; }

    DataAccess& db = DataAccess::instance();

private:
    QTemporaryDir m_dir;
    DbConfig m_config;
};
