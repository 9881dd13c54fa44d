#pragma once

#include "QtPrinting.h"

#include "platform/data/DataAccess.h"
#include "platform/report/Expression.h"
#include "platform/report/ReportComponent.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "support/RunProgram.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

inline PageItem MakeItem(PageItem::Kind kind, const QRect& rect, const QString& text = {}) {
    PageItem item;
    item.kind = kind;
    item.rect = rect;
    item.text = text;
    return item;
}

// A fresh SQLite file with the clients table, a folder for definitions and outputs, and a
// report component.
class ReportTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        DbConfig config;
        config.sqliteFile = Path("Tavelo.db");
        DataAccess::instance().Open(config);
        DataAccess::instance().Execute(
            "CREATE TABLE Clientes (nIdCliente INTEGER PRIMARY KEY, sCliente TEXT, "
            "sDomicilio TEXT, sPoblacion TEXT, nSaldo DOUBLE PRECISION, dAlta INTEGER, "
            "bActivo INTEGER)");
    }
    void TearDown() override { DataAccess::instance().Close(); }

    QString Path(const QString& name) const { return m_dir.filePath(name); }

    void AddClient(const QString& name, double saldo, const QString& domicilio = "C/ Mayor 5",
                   const QString& dAlta = "NULL") {
        DataAccess::instance().Execute(
            "INSERT INTO Clientes (sCliente, sDomicilio, sPoblacion, nSaldo, dAlta, bActivo) "
            "VALUES (" +
            Utility::Quote(name) + "," + Utility::Quote(domicilio) + ",'Lugo'," +
            Utility::NumberText(saldo) + "," + dAlta + ",1)");
    }
    // Clients "C000", "C001", ... with balance i.
    void AddClients(int count) {
        DataAccess::instance().Transaction(TransactionStep::Begin);
        for (int i = 0; i < count; ++i)
            AddClient(QString("C%1").arg(i, 3, 10, QChar('0')), i);
        DataAccess::instance().Transaction(TransactionStep::Commit);
    }

    // Writes <Reports>body</Reports> to name and answers its path.
    QString Definition(const QString& body, const QString& name = "Test.xml") {
        QFile file(Path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Reports>\n" + body + "\n</Reports>\n")
                .toUtf8());
        return file.fileName();
    }
    // The shipped example, from the source tree when CTest names it, else from the resources.
    QString ExampleFile() {
        const QString source = qEnvironmentVariable("TV_SOURCE_DIR");
        if (!source.isEmpty())
            return source + "/data/Reports/Clientes.xml";
        QFile::copy(":/Reports/Clientes.xml", Path("Clientes.xml"));
        return Path("Clientes.xml");
    }

    // The number of the TvError that call raises; 0 when it raises none.
    template <typename Call> static int ErrorOf(Call call, QString* description = nullptr) {
        try {
            call();
        } catch (const TvError& error) {
            if (description)
                *description = error.Description();
            return error.Number();
        }
        return 0;
    }

    QTemporaryDir m_dir;
    ReportComponent vsr;
};
