// The demo clinic and the scale data: books that balance, stable rows, a history of every kind.

#include "support/TestEngine.h"
#include "support/TestSuite.h"

#include "invoicing/Numeracion.h"
#include "invoicing/core/AmountsCheck.h"
#include "invoicing/core/NifCheck.h"
#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"
#include "register/RegistroFacturacion.h"
#include "setup/SuiteSetup.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QTemporaryDir>
#include <memory>
#include <string>

namespace {

double Num(const QVariant& value) {
    return Utility::instance().SqlNumber(value);
}

// The rows a query answers, as "a|b" per row joined by "; ".
std::string Text(const QString& sql) {
    const Rows rows = Db().GetRows(sql);
    QStringList lines;
    for (int r = 0; r < rows.RowCount(); ++r) {
        QStringList values;
        for (int c = 0; c < rows.ColumnCount(); ++c)
            values << rows(c, r).toString();
        lines << values.join('|');
    }
    return lines.join("; ").toStdString();
}

// Money written through the invoicing rules must add up the way the billing module reads it.
void ExpectBooksBalance() {
    const Rows clients = Db().GetRows("SELECT nIdCliente,nFacturado,nPagado,nSaldo FROM Clientes");
    ASSERT_FALSE(clients.IsEmpty());
    for (int r = 0; r < clients.RowCount(); ++r) {
        const QString where = "nIdCliente=" + clients(0, r).toString();
        const double paid = Db().SumField("FacturasCobros", "nImporte", where);
        // A cancelled invoice, and simplified invoices replaced by a complete one, owe nothing.
        const QString owed = where +
                             " AND nIdFactura NOT IN (SELECT nIdFactura FROM FacturasAnuladas) AND "
                             "nIdFactura NOT IN (SELECT nIdFacturaSimplificada FROM "
                             "FacturasSustituidas)";
        const double invoiced = Db().SumField("Facturas", "nTotal", owed) -
                                Db().SumField("Facturas", "nDescuento", owed);
        EXPECT_NEAR(Num(clients(1, r)), invoiced, 0.005) << qPrintable(where);
        EXPECT_NEAR(Num(clients(2, r)), paid, 0.005) << qPrintable(where);
        EXPECT_NEAR(Num(clients(3, r)), paid - invoiced, 0.005) << qPrintable(where);
    }

    const Rows invoices =
        Db().GetRows("SELECT nIdFactura,sFactura,nBi_Total,nIm_Total,nTotal,nBi_1+nBi_2+nBi_3,"
                     "nIm_1+nIm_2+nIm_3 FROM Facturas");
    ASSERT_FALSE(invoices.IsEmpty());
    for (int r = 0; r < invoices.RowCount(); ++r) {
        const QString id = invoices(0, r).toString();
        const double total = Num(invoices(4, r));
        // Each stored amount is rounded to the cent on its own, so parts and whole may differ
        // by the roundings of the parts.
        EXPECT_NEAR(total, Num(invoices(2, r)) + Num(invoices(3, r)), 0.011) << qPrintable(id);
        EXPECT_NEAR(Num(invoices(2, r)), Num(invoices(5, r)), 0.016) << qPrintable(id);
        EXPECT_NEAR(Num(invoices(3, r)), Num(invoices(6, r)), 0.016) << qPrintable(id);
        EXPECT_NEAR(total, Db().SumField("FacturasItems", "nTotal", "nIdFactura=" + id), 0.011)
            << qPrintable(id);
        // Every payment of an invoice has its cash-box entry under the invoice's number.
        EXPECT_NEAR(
            Db().SumField("FacturasCobros", "nImporte", "nIdFactura=" + id),
            Db().SumField("ApuntesCaja", "nImporte",
                          "sDocumento=" + Utility::Quote("Fra." + invoices(1, r).toString())),
            0.005)
            << qPrintable(id);
    }
    // Every stored header is what its lines add up to, as the module computes it.
    const AmountsCheck amounts = AmountsCheck::Run();
    EXPECT_TRUE(amounts.agree) << amounts.message.toStdString();
    EXPECT_TRUE(Db().GetRows("SELECT sFactura FROM Facturas GROUP BY sFactura HAVING COUNT(*)>1")
                    .IsEmpty());
}

TEST(Demo, BooksBalance) {
    TestSuite suite;
    ExpectBooksBalance();
}

TEST(Demo, StableRowsOtherTestsRelyOn) {
    TestSuite suite;
    EXPECT_EQ(Text("SELECT sUsuario, sClave, bClave, nIdUsuarioGrupo, nIdSucursal, "
                   "nCajaPara_SalidasCaja FROM Usuarios WHERE nIdUsuario=1"),
              "admin|admin|1|1|1|2");
    EXPECT_EQ(Text("SELECT sMascota, nIdCliente, nIdEmpleado FROM Mascotas WHERE nIdMascota=1"),
              "Toby|1|1");
    EXPECT_EQ(Text("SELECT nIdCliente FROM Mascotas WHERE sMascota='Luna' ORDER BY nIdCliente"),
              "2; 3");
    EXPECT_EQ(Text("SELECT sCliente, sMascota FROM Clientes INNER JOIN Mascotas ON "
                   "Mascotas.nIdCliente=Clientes.nIdCliente WHERE Clientes.nIdCliente=5"),
              "Seán O'Brien|Max");
    EXPECT_EQ(Text("SELECT sProductoServicio, nPvp, nPvp3, nPorcIpto FROM ProductosServicios "
                   "WHERE sCodigo='PIEN10'"),
              "Pienso adulto 3 kg|10|8|21");
    EXPECT_EQ(Text("SELECT (SELECT sNombre FROM ConfiguracionEmpresa), (SELECT sValor FROM "
                   "ConfiguracionSucursales WHERE nIdSucursal=2 AND sDato='sNombreSucursal'), "
                   "(SELECT bClave FROM Usuarios WHERE sUsuario='recepcion'), "
                   "(SELECT AccesosGrupos.bAcceso FROM AccesosGrupos INNER JOIN Accesos ON "
                   "Accesos.nIdAcceso=AccesosGrupos.nIdAcceso WHERE sAcceso='tvEstadisticas' AND "
                   "nIdUsuarioGrupo=2), "
                   "(SELECT COUNT(*) FROM Empleados WHERE bActivo=1), "
                   "(SELECT nSaldo FROM Clientes WHERE nIdCliente=4), "
                   "(SELECT nPvpUtilizado FROM Clientes WHERE nIdCliente=6), "
                   "(SELECT COUNT(*) FROM FacturasItems WHERE nIdFactura IS NULL AND nIdCliente IN "
                   "(1,2))"),
              "Clínica Veterinaria Tavelo S.L.|Tavelo Norte|0|0|3|-12.5|3|4");
    // The credit note names the invoice it cancels.
    EXPECT_EQ(Text("SELECT abonada.nIdFactura FROM Facturas abono INNER JOIN Facturas abonada ON "
                   "abono.sFacturaAbonada=abonada.sFactura WHERE abono.nIdFactura=15"),
              "12");
    EXPECT_GE(std::stoi(Text("SELECT COUNT(*) FROM Clientes")), 40);
}

TEST(Demo, FollowUpRowsOfTheHistory) {
    TestSuite suite;
    const Rows shots = Db().GetRows(
        "SELECT Vacunaciones.dVacunado, Vacunaciones.dProximaVacuna, ProductosServicios.nCadencia "
        "FROM Vacunaciones INNER JOIN ProductosServicios ON "
        "Vacunaciones.nIdProductoServicio=ProductosServicios.nIdProductoServicio");
    ASSERT_EQ(shots.RowCount(), 4);
    for (int r = 0; r < shots.RowCount(); ++r) {
        const QDate given = QDate::fromString(shots(0, r).toString(), "yyyyMMdd");
        EXPECT_EQ(given.addDays(shots(2, r).toInt()).toString("yyyyMMdd"), shots(1, r).toString());
    }
    // The credited invoice left no pet history or vaccination behind, and its items are
    // pending again; Pienso adulto had 25 in stock, 2 and 1 sold.
    EXPECT_EQ(Text("SELECT (SELECT COUNT(*) FROM MascotasProdServ WHERE nIdFactura=12), "
                   "(SELECT COUNT(*) FROM FacturasItems WHERE nIdCliente=12 AND nIdFactura=0), "
                   "(SELECT nStockActual FROM ProductosServicios WHERE sCodigo='PIEN10'), "
                   "(SELECT COUNT(*) FROM ApuntesCaja WHERE sTitular LIKE '%,%')"),
              "0|1|22|0");
}

// The 2025 documents in the branches' series, of every kind the agency's records know, to
// recipients that pass the NIF check; this year's series start at 1.
TEST(Demo, HistoryOfEveryKindInTheSeriesOf2025) {
    TestSuite suite;
    const int year = 2025;
    EXPECT_EQ(Text(QString("SELECT f.nIdFactura, f.sFactura, f.sTipoFactura, f.dFactura-%1, "
                           "f.nIdCliente, f.sDni, f.sIdOtroPais, f.sIdOtroTipo, f.sFacturaAbonada, "
                           "(SELECT COUNT(*) FROM FacturasAnuladas a WHERE "
                           "a.nIdFactura=f.nIdFactura), (SELECT COUNT(*) FROM FacturasSustituidas "
                           "s WHERE s.nIdFactura=f.nIdFactura) FROM Facturas f WHERE "
                           "f.nIdFactura>=15 ORDER BY f.nIdFactura")
                       .arg(year * 10000)),
              QString("15|RA0001/%1||202|12|13086420H|||A0010/%1|0|0; "
                      "16|A0012/%1|F1|218|14|28395062K||||0|0; "
                      "17|TA0001/%1|F2|219|41|||||0|0; "
                      "18|TA0002/%1|F2|220|42|||||0|0; "
                      "19|TA0003/%1|F2|223|41|||||0|0; "
                      "20|A0013/%1|F1|224|43|19FR12345|FR|03||0|0; "
                      "21|A0014/%1|F3|225|41|25476318T||||0|2; "
                      "22|RA0002/%1|R5|220|42||||TA0002/%1|0|0; "
                      "23|A0015/%1|F1|227|15|36049383B||||1|0")
                  .arg(year % 100, 2, 10, QLatin1Char('0'))
                  .toStdString());
    // 2,5 kg of loose food are 2,5 units of its line, priced by the kilo.
    EXPECT_EQ(Text("SELECT nUnidades, nTotal FROM FacturasItems WHERE nIdFactura=17 AND "
                   "nIdProductoServicio=41"),
              "2.5|9.68");
    const Rows ids = Db().GetRows("SELECT sDni FROM Clientes WHERE sDni<>''");
    ASSERT_EQ(ids.RowCount(), 40);
    for (int r = 0; r < ids.RowCount(); ++r)
        EXPECT_TRUE(CheckNif(ids(0, r).toString()).Valid()) << ids(0, r).toString().toStdString();
    EXPECT_EQ(Numeracion::Siguiente(1, QDate::currentDate().year() * 10000 + 101),
              QString("A0001/%1").arg(QDate::currentDate().year() % 100));
    const RegistroFacturacion::Verificacion chain = RegistroFacturacion::Verificar();
    EXPECT_TRUE(chain.intact) << chain.message.toStdString();
}

TEST(Demo, EmptySuiteHasTheSchemaOnly) {
    TestSuite suite(false);
    EXPECT_EQ(Text("SELECT COUNT(*) FROM Clientes"), "0");
    EXPECT_EQ(Utility::instance().ReadIni(suite.IniPath(), "Console", "User", "-"), "");
}

TEST(Scale, GeneratedSalesAddUpAndKeepTheDemoIntact) {
    TestSuite suite;
    SuiteSetup::FillScale(1);
    EXPECT_EQ(
        Text("SELECT (SELECT COUNT(*) FROM Clientes), "
             "(SELECT COUNT(*) FROM Mascotas WHERE nIdCliente>43), "
             "(SELECT COUNT(*) FROM FacturasItems WHERE nIdCliente>43), "
             "(SELECT COUNT(*) FROM FacturasItems WHERE nIdCliente>43 AND nIdFactura IS NULL), "
             "(SELECT COUNT(*) FROM Mascotas WHERE sMascota='Luna')"),
        // The demo's 43 clients and its two counter customers, then the generated ones.
        "1045|1500|10000|1000|2");
    ExpectBooksBalance();
    // Issued as the billing window issues them: every invoiced line in its pet's history, each
    // vaccine with its next dose a year on, stock taken off, and numbers drawn from branch 1's
    // series.
    const int year = 2024;
    const QString before = QString::number((year + 1) * 10000);
    const QString scale = "f.nIdFactura=x.nIdFactura AND f.dFactura<" + before;
    EXPECT_EQ(Text("SELECT (SELECT COUNT(*) FROM MascotasProdServ x JOIN Facturas f ON " + scale +
                   "), (SELECT COUNT(*) FROM FacturasItems x JOIN Facturas f ON " + scale +
                   "), (SELECT MIN(sFactura) || ' ' || "
                   "MAX(sFactura) || ' ' || COUNT(*) FROM Facturas WHERE dFactura<" +
                   before +
                   "), "
                   "(SELECT COUNT(*) FROM ProductosServicios WHERE sCodigo LIKE 'G%' AND "
                   "bProducto=1 AND nStockActual=1000), (SELECT nContador FROM Contadores WHERE "
                   "sId='Factura' AND nIdSucursal=1 AND nAnio=" +
                   QString::number(year) + ")"),
              QString("9000|9000|A0001/%1 A3000/%1 3000|0|3001").arg(year % 100).toStdString());
    const Rows shots = Db().GetRows("SELECT x.dVacunado, x.dProximaVacuna FROM Vacunaciones x JOIN "
                                    "Facturas f ON " +
                                    scale);
    ASSERT_GT(shots.RowCount(), 0);
    for (int r = 0; r < shots.RowCount(); ++r)
        ASSERT_EQ(QDate::fromString(shots(0, r).toString(), "yyyyMMdd").addDays(365),
                  QDate::fromString(shots(1, r).toString(), "yyyyMMdd"));
    const RegistroFacturacion::Verificacion chain = RegistroFacturacion::Verificar();
    EXPECT_TRUE(chain.intact) << chain.message.toStdString();
    // Off while the generator fills, the pending items' trigger is on again for the workstations.
    if (TestEngine::Server()) {
        EXPECT_EQ(Text("SELECT tgenabled FROM pg_trigger WHERE tgname='tv_avisar_items'"), "O");
    }
}

// The generated rows are written with their keys; a server, which numbers rows itself, must still
// give the rows added later keys of their own.
TEST(Scale, RowsAddedAfterTheGeneratedOnesGetNewKeys) {
    QTemporaryDir dir;
    std::unique_ptr<TestEngine::ServerDatabase> server;
    if (TestEngine::Server())
        server = std::make_unique<TestEngine::ServerDatabase>();
    SuiteSetup::Create(dir.path() + "/Tavelo", false, 1, server ? server->Config() : DbConfig());
    const int clients = std::stoi(Text("SELECT MAX(nIdCliente) FROM Clientes"));
    const int items = std::stoi(Text("SELECT MAX(nIdFacturaItem) FROM FacturasItems"));
    EXPECT_GT(Db().InsertRecord("Clientes", "sCliente", "'Nuevo'"), clients);
    EXPECT_GT(Db().InsertRecord("FacturasItems", "nIdCliente,nTotal", "1,12.5"), items);
    Db().Close();
}

} // namespace
