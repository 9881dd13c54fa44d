// Document numbers: a series per branch, a counter per series and year, the number's year from
// the document's date, documents found by id, and waits for another workstation that end.
#include "InvoicingFixture.h"
#include "support/TestEngine.h"

#include "billing/GenerarAbono.h"
#include "billing/GenerarFactura.h"
#include "invoicing/Numeracion.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "session/Gi.h"
#include "setup/SuiteSetup.h"
#include "support/ErrorOf.h"

namespace {

class NumeracionTest : public InvoicingTest {
protected:
    // Issues an invoice of one 10.00 line at 21 % for client, paid in cash, by branch on date;
    // answers its id.
    qint32 Issue(qint32 client, qint32 branch, qint32 date, double paid = 12.10) {
        AddItem(client, 1, 10, 21);
        return IssuePending(client, branch, date, paid);
    }
    qint32 IssuePending(qint32 client, qint32 branch, qint32 date, double paid = 12.10) {
        Gi.nIdSucursal = qint16(branch);
        Gi.nFechaTrabajo = date;
        w.client = QString::number(client);
        w.Accept({{"Efectivo", paid}});
        Generar_Factura(w);
        return Value("SELECT MAX(nIdFactura) FROM Facturas").toInt();
    }
    qint32 Credit(qint32 invoice, qint32 date) {
        Gi.nFechaTrabajo = date;
        w.client =
            Value("SELECT nIdCliente FROM Facturas WHERE nIdFactura=" + QString::number(invoice))
                .toString();
        Generar_Abono(w, invoice);
        return Value("SELECT MAX(nIdFactura) FROM Facturas").toInt();
    }
    static QString Numbers(const QList<qint32>& ids) {
        QStringList numbers;
        for (qint32 id : ids)
            numbers << Value("SELECT sFactura FROM Facturas WHERE nIdFactura=" +
                             QString::number(id))
                           .toString();
        return numbers.join(' ');
    }
};

TEST_F(NumeracionTest, EachBranchNumbersItsOwnSeriesAndEachYearStartsAgainAtOne) {
    const qint32 a = NewClient("Centro"), b = NewClient("Norte");
    const QList<qint32> ids{Issue(a, 1, 20261231), Issue(b, 2, 20261231), Issue(a, 1, 20270101),
                            Issue(a, 1, 20261231), Issue(b, 2, 20270102)};
    // The credit note takes the next number of its branch's rectifying series in the year it is
    // issued.
    const qint32 credit = Credit(ids[3], 20270103);
    EXPECT_EQ(Numbers(ids) + " " + Numbers({credit}),
              "A0001/26 B0001/26 A0001/27 A0002/26 B0001/27 RA0001/27");
}

TEST_F(NumeracionTest, WithoutSeriesAFolderGoesOnFromItsCounterAndPassesOverTakenNumbers) {
    Db().DeleteRecords("ConfiguracionSucursales", "sDato='SerieFacturas'");
    const qint32 year = QDate::currentDate().year();
    const QString yy = QString::number(year % 100);
    // Branch 1's counter of older versions stands at 14; branch 2 has just issued 0015 and 0016.
    Db().UpdateRecord("Contadores", "nContador", "14",
                      "sId='Factura' AND nIdSucursal=1 AND sSerie='' AND nAnio=0");
    for (const char* n : {"0015/", "0016/"})
        Db().InsertRecord("Facturas", "nIdSucursal,nIdCliente,sFactura,dFactura",
                          "2,1,'" + QString(n) + yy + "'," + QString::number(year * 10000 + 101));
    const qint32 client = NewClient();
    const qint32 date = year * 10000 + 601;
    const QList<qint32> ids{Issue(client, 1, date), Issue(client, 1, date)};
    // A working date in the year before opens that year's series at 1.
    const qint32 before = Issue(client, 1, (year - 1) * 10000 + 1231);
    EXPECT_EQ(Numbers(ids) + " " + Numbers({before}),
              "0014/" + yy + " 0017/" + yy + " 0001/" + QString::number((year - 1) % 100));
}

// A batch's numbers are drawn at once; the ones another branch already stored are passed over
// and made up for at the end, and the counter stands after the last one given.
TEST_F(NumeracionTest, ABatchDrawsItsNumbersAtOnceAndPassesOverTakenOnes) {
    Numeracion::Siguiente(1, 20270105);
    for (const char* n : {"A0003/27", "A0004/27", "A0007/27"})
        Db().InsertRecord("Facturas", "nIdSucursal,nIdCliente,sFactura,dFactura",
                          "2,1,'" + QString(n) + "',20270101");
    EXPECT_EQ(Numeracion::Siguientes(1, 20270105, 4).join(' '),
              "A0002/27 A0005/27 A0006/27 A0008/27");
    EXPECT_EQ(Numeracion::Siguiente(1, 20270106), "A0009/27");
}

TEST_F(NumeracionTest, AFolderHoldingANumberTwiceUpgradesAndCreditsEachInvoiceByItsId) {
    // Two branches' invoices with one number, as an older version could issue them.
    Db().Execute("DROP INDEX uxfacturas_sfactura");
    const qint32 a = NewClient("Centro"), b = NewClient("Norte");
    const qint32 centro = Issue(a, 1, 20261110);
    AddItem(b, 1, 57.99, 21);
    const qint32 norte = Issue(b, 2, 20261110, 82.17);
    Db().Execute("UPDATE Facturas SET sFactura='A0001/26' WHERE nIdFactura=" +
                 QString::number(norte));
    Db().Execute("UPDATE ApuntesCaja SET sDocumento='Fra.A0001/26' WHERE nIdFactura=" +
                 QString::number(norte));

    SuiteSetup::UpdateSchema();
    EXPECT_NE(ErrorOf([] {
                  Db().InsertRecord("Facturas", "nIdSucursal,nIdCliente,sFactura",
                                    "1,1,'A0001/26'");
              }),
              0)
        << "a new document never takes a number already issued";
    Gi.nIdSucursal = 2;
    const qint32 second = Credit(norte, 20261111);
    Gi.nIdSucursal = 1;
    const qint32 first = Credit(centro, 20261111);
    EXPECT_EQ(Table("SELECT f.nIdSucursal,f.sFactura,f.sFacturaAbonada,a.nImporte FROM ApuntesCaja "
                    "a JOIN Facturas f ON f.nIdFactura=a.nIdFactura WHERE a.nIdFactura IN (" +
                    QString::number(first) + "," + QString::number(second) +
                    ") ORDER BY a.nIdApunteCaja"),
              "2|RB0001/26|A0001/26|-82.17\n1|RA0001/26|A0001/26|-12.1");
    EXPECT_TRUE(suite.Ui().Shown.isEmpty()) << suite.Ui().Shown.join('\n').toStdString();
}

TEST_F(NumeracionTest, AnotherWorkstationIsWaitedForAsLongAsTheLimitThenNamedInSpanish) {
    const qint32 client = NewClient();
    const qint32 invoice = Issue(client, 1, 20261201);
    const QStringList hold = TestEngine::Server()
                                 ? QStringList{"BEGIN", "LOCK TABLE Contadores IN EXCLUSIVE MODE"}
                                 : QStringList{"BEGIN IMMEDIATE"};
    OtherWorkstation other(suite.DbPath());
    int waits = 0;
    // The other workstation lets go after three rounds of waiting: both documents go through.
    Db().SetWaitHook([&](bool waiting) {
        if (waiting && ++waits % 3 == 0)
            other.Release();
    });
    AddItem(client, 1, 10, 21);
    other.Hold(hold);
    const qint32 next = IssuePending(client, 1, 20261201);
    other.Hold(hold);
    const qint32 credit = Credit(invoice, 20261201);
    EXPECT_EQ(Numbers({invoice, next, credit}), "A0001/26 A0002/26 RA0001/26");
    EXPECT_GE(waits, 6);

    // It does not let go: the wait ends, naming what was waited for, with nothing written.
    Db().SetWaitHook({});
    Db().SetWaitLimit(600);
    const int documents = Count("Facturas");
    other.Hold(hold);
    EXPECT_THROW(Credit(next, 20261201), ProgramEnded);
    Db().SetWaitLimit(DataAccess::WaitLimitMs);
    other.Release();
    suite.SignIn();
    EXPECT_EQ(Count("Facturas"), documents);
    EXPECT_EQ(NextInvoiceNumber(), 3);
    EXPECT_EQ(NextInvoiceNumber("RA"), 2) << "the failed credit note's number is given back";
    const QString shown = suite.Ui().Shown.join('\n');
    EXPECT_TRUE(shown.contains(TestEngine::Server()
                                   ? "Se ha esperado más de 0,6 segundos a que otro puesto "
                                     "dejara libre el contador Factura de la serie \"RA\" de 2026 "
                                     "de la sucursal 1; no se ha guardado nada."
                                   : "Se ha esperado más de 0,6 segundos a que otro puesto "
                                     "dejara libre la base de datos; no se ha guardado nada."))
        << shown.toStdString();
}

} // namespace
