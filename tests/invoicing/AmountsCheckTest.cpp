// Before a document commits, its figures are checked against each other: a fault that moves one
// of them by a cent (injected here by a trigger, as a faulty writer would) refuses the document,
// naming the figure, and nothing of it is written.
#include "InvoicingFixture.h"
#include "support/TestEngine.h"

#include "invoicing/EmitirAbono.h"
#include "invoicing/EmitirFactura.h"
#include "invoicing/core/AmountsCheck.h"

namespace {

class AmountsCheckTest : public InvoicingTest {
protected:
    // From now on every row written to `table` has `column` one cent higher than it was given.
    static void Fault(const QString& table, const QString& column) {
        if (TestEngine::Server()) {
            Db().Execute("CREATE FUNCTION falla() RETURNS trigger AS $$ BEGIN NEW." + column +
                         " := NEW." + column + " + 0.01; RETURN NEW; END $$ LANGUAGE plpgsql");
            Db().Execute("CREATE TRIGGER falla BEFORE INSERT ON " + table +
                         " FOR EACH ROW EXECUTE FUNCTION falla()");
        } else {
            Db().Execute("CREATE TRIGGER falla AFTER INSERT ON " + table + " BEGIN UPDATE " +
                         table + " SET " + column + "=" + column +
                         "+0.01 WHERE rowid=NEW.rowid; END");
        }
    }
    static void Repair(const QString& table) {
        Db().Execute(TestEngine::Server() ? "DROP TRIGGER falla ON " + table
                                          : QString("DROP TRIGGER falla"));
        if (TestEngine::Server())
            Db().Execute("DROP FUNCTION falla()");
    }
    // What is written of every document, for comparing before and after a refusal.
    static QString Written() {
        QStringList counts;
        for (const char* table : {"Facturas", "FacturasItems", "FacturasDesglose", "FacturasCobros",
                                  "ApuntesCaja", "RegistrosFacturacion", "AbonosItems"})
            counts << QString::number(Count(table));
        return counts.join('|') + " pending " +
               Table("SELECT nIdFactura FROM FacturasItems WHERE "
                     "nIdFacturaItem=(SELECT MAX(nIdFacturaItem) "
                     "FROM FacturasItems)");
    }
};

TEST_F(AmountsCheckTest, AFigureOneCentOffRefusesTheDocumentWithNothingWritten) {
    Gi.nFechaTrabajo = Utility::ToInt32(U().SqlNumber(U().Today(true)));
    const qint32 client = NewClient();
    AddItem(client, 2.5, 10, 21);
    const SolicitudFactura s =
        SolicitudCobrada(client, "Titular", "Cliente", 1, 1, Gi.nFechaTrabajo, Gi.nFechaTrabajo,
                         {{"Efectivo", 30.25}}, 0);
    const auto refusal = [&](const QString& table, const QString& column) {
        const QString before = Written();
        Fault(table, column);
        const Resultado<qint32, PasoEmision> r = EmitirFactura(s);
        const QString why = r.Hecho() ? "issued" : r.Rechazado().mensaje.section(" no cuadra: ", 1);
        Repair(table);
        EXPECT_EQ(Written(), before) << table.toStdString();
        EXPECT_FALSE(Db().InTransaction());
        return why;
    };
    EXPECT_EQ(
        QStringList({refusal("Facturas", "nTotal"), refusal("Facturas", "nIm_1"),
                     refusal("FacturasDesglose", "nCuota"), refusal("ApuntesCaja", "nImporte")}),
        QStringList(
            {"el total es 30,26 € en la cabecera y 30,25 € según sus líneas. No se ha emitido.",
             "la cuota al 21 % es 5,26 € en la cabecera y 5,25 € según sus líneas. No se ha "
             "emitido.",
             "el desglose por tipos suma 30,26 € y el importe a pagar es 30,25 €. No se ha "
             "emitido.",
             "los cobros suman 30,25 € y sus apuntes de caja 30,26 €. No se ha emitido."}));

    // The same for a rectifying invoice of the invoice issued without a fault.
    const qint32 factura = *EmitirFactura(s);
    const QString before = Written();
    Fault("Facturas", "nBi_1");
    SolicitudAbono abono;
    abono.nIdFactura = factura;
    abono.nFechaTrabajo = abono.dAbono = Gi.nFechaTrabajo;
    const Resultado<AbonoEmitido, PasoAbono> r = EmitirAbono(abono);
    Repair("Facturas");
    ASSERT_FALSE(r.Hecho());
    EXPECT_EQ(r.Rechazado().paso, PasoAbono::Importes);
    EXPECT_EQ(r.Rechazado().mensaje.section(" no cuadra: ", 1),
              "la base imponible al 21 % es -24,99 € en la cabecera y -25,00 € según sus "
              "líneas. No se emite la factura rectificativa.");
    EXPECT_EQ(Written(), before);
    EXPECT_FALSE(Db().InTransaction());

    // Changed behind the module's back after it committed, the stored document is named by
    // verify's pass over every document, by the same rule.
    const QString id = QString::number(factura);
    const QString named = "document " +
                          Value("SELECT sFactura FROM Facturas WHERE nIdFactura=" + id).toString() +
                          " (id " + id + "): ";
    QStringList said;
    for (const char* change :
         {"UPDATE FacturasDesglose SET nBaseImponible=nBaseImponible+0.01 WHERE nIdFactura=%1",
          "UPDATE FacturasDesglose SET nPorcIpto=10 WHERE nIdFactura=%1",
          "UPDATE FacturasCobros SET nImporte=nImporte-1 WHERE nIdFactura=%1",
          "DELETE FROM ApuntesCaja WHERE nIdFactura=%1"}) {
        Db().Transaction(TransactionStep::Begin);
        Db().Execute(QString(change).arg(id));
        said << AmountsCheck::Run().message.remove(named);
        Db().Transaction(TransactionStep::Rollback);
    }
    EXPECT_EQ(said, QStringList({"its breakdown adds up to 30.26, its amount due is 30.25",
                                 "its breakdown has a rate of 10.00 that its header has not",
                                 "its payments add up to 29.25, their cash-box entries to 30.25",
                                 "its payments add up to 30.25, their cash-box entries to 0.00"}));
    EXPECT_EQ(AmountsCheck::Run().message, "amounts: " + QString::number(Count("Facturas")) +
                                               " documents agree with their lines");
}

} // namespace
