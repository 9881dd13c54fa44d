// Credit notes with the window answered by the test: what a credit note copies, negates,
// reverses and deletes; what it refuses; and what a failure leaves.
#include "InvoicingFixture.h"
#include "invoicing/core/PendingItems.h"
#include "support/TestEngine.h"

#include "billing/GenerarAbono.h"
#include "billing/GenerarFactura.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "session/Gi.h"

#include <QDate>

namespace {

class GenerarAbonoTest : public InvoicingTest {
protected:
    // An invoice issued today for a client of our own: a vaccine (a stocked product) and a
    // consultation, paid by cash and card.
    qint32 IssueInvoice(qint32 client, double paid = 40) {
        AddItem(client, 1, 25, 10, Product("VAC01"));
        AddItem(client, 1, 25, 21, Product("CONS01"));
        w.client = QString::number(client);
        w.clientName =
            Value("SELECT sCliente FROM Clientes WHERE nIdCliente=" + w.client).toString();
        w.Accept({{"Efectivo", paid}, {"Tarjeta", paid == 0 ? 0 : 17.75}});
        Generar_Factura(w);
        w.printed.clear();
        return Value("SELECT MAX(nIdFactura) FROM Facturas").toInt();
    }
    static QString Year() {
        return QString::number(QDate::currentDate().year() % 100).rightJustified(2, '0');
    }
};

TEST_F(GenerarAbonoTest, ACreditNoteCancelsTheInvoiceAndReopensItsItems) {
    const qint32 client = NewClient("Seán O'Brien Jr.");
    Gi.nFechaTrabajo = 20261120;
    // Cards book into the card box whatever box the desk works at; the cash into the desk's.
    DataAccess::instance().Execute("UPDATE TipoCobro SET nIdCaja=2 WHERE sTipoCobro='Tarjeta'");
    const qint32 invoice = IssueInvoice(client);
    EXPECT_EQ(Table("SELECT nIdCaja,nIdTipoCobro,nImporte FROM ApuntesCaja WHERE nIdFactura=" +
                    QString::number(invoice) + " ORDER BY nIdApunteCaja"),
              "1|1|40\n2|2|17.75");
    const double vaccines = Stock("VAC01");
    ASSERT_EQ(Count("Vacunaciones", "nIdFactura=" + QString::number(invoice)), 1);
    ASSERT_EQ(Count("MascotasProdServ", "nIdFactura=" + QString::number(invoice)), 2);
    Gi.nFechaTrabajo = 20261201;
    w.formato = 3;
    Generar_Abono(w, invoice);

    const QString id = Value("SELECT MAX(nIdFactura) FROM Facturas").toString();
    // The next number of the series, the invoice's date copied, issued today, amounts negated.
    EXPECT_EQ(Table("SELECT nIdSucursal,nIdCliente,nIdUsuario,nIdCaja,sFactura,sCliente,dFactura,"
                    "nPo_1,nBi_Total,nTotal,sFacturaAbonada,dFacturaAbonada,nExento FROM Facturas "
                    "WHERE nIdFactura=" +
                    id),
              QString("1|%1|1|1|RA0001/%2|Seán O'Brien Jr.|20261120|-10|-50|-57.75|A0001/%2|%3|0")
                  .arg(client)
                  .arg(Year(), U().Today(true)));
    EXPECT_EQ(NextInvoiceNumber(), 2);
    EXPECT_EQ(NextInvoiceNumber("RA"), 2);

    // The items: negated on the credit note (a line's rate is no amount), positive and pending
    // again for the client.
    EXPECT_EQ(Table("SELECT nPvp,nUnidades,nTotal,nPorcIpto FROM FacturasItems WHERE nIdFactura=" +
                    id + " ORDER BY nIdFacturaItem"),
              "-25|-1|-27.5|10\n-25|-1|-30.25|21");
    EXPECT_EQ(Table("SELECT nPvp,nUnidades,nTotal,nPorcIpto FROM FacturasItems WHERE " +
                    PendingItems(client).Condition() + " ORDER BY nIdFacturaItem"),
              "25|1|27.5|10\n25|1|30.25|21");

    // Payments reversed under no payment type but their own movement type; cash-box entries
    // reversed in their own box as money out.
    EXPECT_EQ(Table("SELECT nImporte,nIdTipoCobro,nIdTipoMovimiento,sObservaciones,dFactura FROM "
                    "FacturasCobros WHERE nIdFactura=" +
                    id + " ORDER BY nIdFacturaCobro"),
              "-40|0|1|Abono|20261201\n-17.75|0|1|Abono|20261201");
    EXPECT_EQ(Table("SELECT nIdCaja,sReferencia,nIdTipoMovimiento,nImporte,sObservaciones FROM "
                    "ApuntesCaja WHERE sDocumento='Fra.RA0001/" +
                    Year() + "' ORDER BY nIdApunteCaja"),
              "1|Abono|2|-40|Fra.Abonada:A0001/" + Year() +
                  "\n2|Abono|2|-17.75|Fra.Abonada:A0001/" + Year());

    EXPECT_EQ(Count("Vacunaciones", "nIdFactura=" + QString::number(invoice)), 0);
    EXPECT_EQ(Count("MascotasProdServ", "nIdFactura=" + QString::number(invoice)), 0);
    EXPECT_EQ(Stock("VAC01"), vaccines + 1) << "the vaccine comes back to the shelf";
    EXPECT_EQ(
        Table("SELECT nSaldo,nFacturado FROM Clientes WHERE nIdCliente=" + QString::number(client)),
        "0|0");
    EXPECT_EQ(w.printed, (std::vector<std::pair<qint32, quint8>>{{id.toInt(), 3}}));
    EXPECT_TRUE(suite.Ui().Shown.isEmpty()) << suite.Ui().Shown.join('\n').toStdString();
}

TEST_F(GenerarAbonoTest, AnUnpaidInvoiceWithEmptyFieldsIsCopiedAsStored) {
    const qint32 client = NewClient();
    const qint32 invoice = IssueInvoice(client, 0);
    // Stored NULLs stay NULL in the copies: an item without a pet, a header without a date.
    Db().Execute("UPDATE FacturasItems SET nIdMascota=NULL, sConclusion=NULL WHERE nIdFactura=" +
                 QString::number(invoice));
    Db().Execute("UPDATE Facturas SET dFacturaAbonada=NULL, sDni=NULL WHERE nIdFactura=" +
                 QString::number(invoice));
    Generar_Abono(w, invoice);
    const QString id = Value("SELECT MAX(nIdFactura) FROM Facturas").toString();
    EXPECT_EQ(Count("FacturasCobros", "nIdFactura=" + id), 0);
    EXPECT_EQ(Count("ApuntesCaja", "sDocumento='Fra.RA0001/" + Year() + "'"), 0);
    EXPECT_EQ(Count("FacturasItems", "nIdMascota IS NULL AND nIdFactura=" + id), 2);
    EXPECT_EQ(Count("FacturasItems", "nIdMascota IS NULL AND nIdFactura=0"), 2);
    EXPECT_TRUE(Value("SELECT sDni FROM Facturas WHERE nIdFactura=" + id).isNull());
}

TEST_F(GenerarAbonoTest, WithoutAnOutgoingMovementTypeTheEntriesGoInUnderTypeZero) {
    IssueInvoice(NewClient());
    Db().UpdateRecord("TipoMovimiento", "bEntrada", "1", "nIdTipoMovimiento=2");
    Generar_Abono(w, Value("SELECT MAX(nIdFactura) FROM Facturas").toInt());
    EXPECT_EQ(suite.Ui().Shown,
              QStringList({"[Error] No hay ningún tipo de movimiento de salida."}));
    EXPECT_EQ(
        Table("SELECT nIdTipoMovimiento,nImporte FROM ApuntesCaja WHERE sDocumento='Fra.RA0001/" +
              Year() + "' ORDER BY nIdApunteCaja"),
        "0|-40\n0|-17.75");
}

TEST_F(GenerarAbonoTest, WhatCannotBeCreditedIsSaidAndNothingIsWritten) {
    const int invoices = Count("Facturas");
    auto refused = [&](qint32 invoice, const QString& client, const QString& says) {
        w.client = client;
        Generar_Abono(w, invoice);
        EXPECT_TRUE(suite.Ui().Shown.last().contains(says))
            << suite.Ui().Shown.last().toStdString();
        EXPECT_EQ(Count("Facturas"), invoices);
        EXPECT_EQ(NextInvoiceNumber(), 1);
        EXPECT_FALSE(Db().InTransaction());
    };
    refused(999, "1", "ya no existe");
    refused(12, "12", "ya está rectificada por completo"); // the demo's credited invoice
    refused(15, "12", "es una factura rectificativa");     // and its credit note
    refused(1, "2", "no es del cliente de la ventana");
    EXPECT_TRUE(w.printed.empty());
}

// A failure of the document's own step is reported with the step reached; one of the cash-box
// writer is reported by that writer's trap, as when it ended the program itself.
TEST_F(GenerarAbonoTest, AFailureNamesTheStepAndGivesTheNumberBack) {
    const int invoices = Count("Facturas");
    const int items = Count("FacturasItems");
    const int entries = Count("ApuntesCaja");
    for (const auto& [table, procedure, step] :
         {std::tuple<QString, QString, QString>{"FacturasItems", "Facturacion::Generar_Abono",
                                                "nPaso=3 i=0 n="},
          std::tuple<QString, QString, QString>{"ApuntesCaja", "Conta::Generar_ApunteCaja",
                                                "Procedimiento: Conta::Generar_ApunteCaja"}}) {
        SCOPED_TRACE(table.toStdString());
        if (TestEngine::Server()) {
            Db().Execute("CREATE FUNCTION falla() RETURNS trigger AS $$ BEGIN RAISE EXCEPTION "
                         "'prueba'; END $$ LANGUAGE plpgsql");
            Db().Execute("CREATE TRIGGER falla BEFORE INSERT ON " + table +
                         " FOR EACH ROW EXECUTE FUNCTION falla()");
        } else {
            Db().Execute("CREATE TRIGGER falla BEFORE INSERT ON " + table +
                         " BEGIN SELECT RAISE(ABORT, 'prueba'); END");
        }
        EXPECT_THROW(Generar_Abono(w, 1), ProgramEnded);
        const QString report = suite.Ui().Shown.last();
        EXPECT_TRUE(report.contains("Procedimiento: " + procedure)) << report.toStdString();
        EXPECT_TRUE(report.contains(step)) << report.toStdString();
        suite.SignIn();
        EXPECT_EQ(Count("Facturas"), invoices);
        EXPECT_EQ(Count("FacturasItems"), items);
        EXPECT_EQ(Count("ApuntesCaja"), entries);
        EXPECT_EQ(NextInvoiceNumber("RA"), 1) << "the credit note's number is given back";
        Db().Execute(TestEngine::Server() ? "DROP TRIGGER falla ON " + table
                                          : "DROP TRIGGER falla");
        if (TestEngine::Server())
            Db().Execute("DROP FUNCTION falla()");
    }
}

} // namespace

// A credit note is issued today: when its rectifying series already holds a later document (a
// clock set back), it is refused before anything is written or numbered.
TEST_F(GenerarAbonoTest, NoCreditNoteIsDatedBeforeTheLastOfItsSeries) {
    const qint32 invoice = IssueInvoice(NewClient());
    const qint32 tomorrow = QDate::currentDate().addDays(1).toString("yyyyMMdd").toInt();
    if (tomorrow / 10000 != QDate::currentDate().year())
        GTEST_SKIP() << "the last day of the year has no later day of the same year";
    const QString later = "RA0099/" + Year();
    Db().InsertRecord("Facturas",
                      "nIdSucursal,nIdCliente,sFactura,dFactura,sFacturaAbonada,"
                      "dFacturaAbonada",
                      "1,1,'" + later + "',20260101,'X'," + QString::number(tomorrow));
    const int documents = Count("Facturas");
    Generar_Abono(w, invoice);
    EXPECT_EQ(suite.Ui().Shown.last(),
              "[Aviso] No se puede emitir con fecha " +
                  QDate::currentDate().toString("dd/MM/yyyy") +
                  ": el último documento de su serie, " + later + ", es del " +
                  QDate::currentDate().addDays(1).toString("dd/MM/yyyy") + ".");
    EXPECT_EQ(Count("Facturas"), documents);
    EXPECT_EQ(Count("Abonos", "nIdFacturaAbonada=" + QString::number(invoice)), 0);
}
