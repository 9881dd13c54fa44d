// Rectifying invoices issued as a call, in whole or in parts: sequences of invoicing, rectifying
// and invoicing again checked against what must hold after every step, and two workstations
// rectifying the same invoice at once.
#include "InvoicingFixture.h"
#include "support/TestEngine.h"

#include "billing/GenerarFactura.h"
#include "books/LibroFacturas.h"
#include "invoicing/EmitirAbono.h"
#include "invoicing/core/AmountsCheck.h"
#include "invoicing/core/DocumentAmounts.h"
#include "register/RegistroFacturacion.h"
#include "setup/SuiteSetup.h"

#include <QDate>
#include <map>

namespace {

// One step of a sequence. An invoice of `lineas` (code, units); a rectification of invoice
// `factura` (by order issued) of `unidades` (line by order, units), everything left when empty,
// whose figures and money given back read `espera` ("nTotal|nDescuento|returned"); or the pending
// lines invoiced again.
struct Paso {
    enum { Factura, Rectifica, Refactura } tipo;
    std::vector<std::pair<const char*, int>> lineas = {};
    int factura = 0;
    std::vector<std::pair<int, double>> unidades = {};
    QString espera = {};
};

class AbonoParcialTest : public InvoicingTest {
protected:
    qint32 client = 0;
    std::vector<qint32> facturas;
    std::map<QString, double> inicial;

    static double Precio(const QString& code) { return code == "MED01" ? 4.5 : 25; }
    static double Tipo(const QString& code) { return code == "CONS01" ? 21 : 10; }

    void SetUp() override {
        InvoicingTest::SetUp();
        client = NewClient("Paula O'Neill");
        w.client = QString::number(client);
        w.clientName = "Paula O'Neill";
        Gi.nFechaTrabajo = Utility::ToInt32(U().SqlNumber(U().Today(true)));
        for (const char* code : {"MED01", "VAC01", "CONS01"})
            inicial[code] = Stock(code);
    }

    // Paid in part, in cash, with a discount: returns are capped by what was paid.
    qint32 InvoicePending(double discount = 5) {
        w.Accept({{"Efectivo", 50}}, discount);
        Generar_Factura(w);
        facturas.push_back(Value("SELECT MAX(nIdFactura) FROM Facturas").toInt());
        return facturas.back();
    }

    // The credit note's total, discount and money given back, or why it was refused.
    QString Rectify(qint32 factura, const std::vector<std::pair<int, double>>& unidades) {
        SolicitudAbono s;
        s.nIdFactura = factura;
        const std::vector<LineaAbonable> lineas = LineasAbonables(factura);
        for (const auto& [linea, n] : unidades)
            s.lineas.push_back({lineas[size_t(linea)].nIdFacturaItem, n});
        s.nIdCliente = client;
        s.sTitular = w.clientName;
        s.nFechaTrabajo = s.dAbono = Gi.nFechaTrabajo;
        const Resultado<AbonoEmitido, PasoAbono> r = EmitirAbono(s);
        if (!r.Hecho())
            return r.Rechazado().mensaje;
        const QString id = QString::number(r->nIdAbono);
        return Table("SELECT nTotal,nDescuento,(SELECT -SUM(nImporte) FROM FacturasCobros c WHERE "
                     "c.nIdFactura=f.nIdFactura) FROM Facturas f WHERE nIdFactura=" +
                     id);
    }

    // What must hold whatever came before: the stock is what it was less the units sold net;
    // no line is rectified beyond what was invoiced, nor an invoice beyond its amount due; the
    // client's balance and the cash box agree with the payments; every document agrees with its
    // lines and the register verifies.
    void Invariants(const QString& step) {
        SCOPED_TRACE(step.toStdString());
        const QString docs =
            "(SELECT nIdFactura FROM Facturas WHERE nIdCliente=" + QString::number(client) + ")";
        for (const auto& [code, stock] : inicial) {
            const double sold = Number("SELECT SUM(i.nUnidades) FROM FacturasItems i JOIN "
                                       "ProductosServicios p ON p.nIdProductoServicio="
                                       "i.nIdProductoServicio WHERE p.sCodigo='" +
                                       code + "' AND i.nIdFactura IN " + docs);
            EXPECT_EQ(Stock(code), code == "CONS01" ? stock : stock - sold) << code.toStdString();
        }
        EXPECT_EQ(Count("FacturasItems i", "i.nIdFactura IN " + docs +
                                               " AND i.nUnidades < (SELECT SUM(x.nUnidades) FROM "
                                               "AbonosItems x WHERE x.nIdFacturaItem="
                                               "i.nIdFacturaItem)"),
                  0);
        EXPECT_EQ(Count("Facturas f", "f.nIdFactura IN " + docs +
                                          " AND (f.dFacturaAbonada=0 OR f.dFacturaAbonada IS "
                                          "NULL) AND f.nTotal-f.nDescuento < -0.001 - (SELECT "
                                          "COALESCE(SUM(c.nTotal-c.nDescuento),0) FROM Facturas c "
                                          "JOIN Abonos a ON a.nIdFactura=c.nIdFactura WHERE "
                                          "a.nIdFacturaAbonada=f.nIdFactura)"),
                  0);
        const double paid =
            Number("SELECT SUM(nImporte) FROM FacturasCobros WHERE nIdFactura IN " + docs);
        EXPECT_NEAR(Number("SELECT SUM(nImporte) FROM ApuntesCaja WHERE nIdFactura IN " + docs),
                    paid, 0.001);
        EXPECT_NEAR(
            Number("SELECT nSaldo FROM Clientes WHERE nIdCliente=" + QString::number(client)),
            paid - Number("SELECT SUM(nTotal-nDescuento) FROM Facturas WHERE nIdCliente=" +
                          QString::number(client)),
            0.001);
        // The accountant's book of the day adds up to what the documents are due, partial
        // rectifications included.
        Money booked;
        for (const LibroFacturas::Linea& linea :
             LibroFacturas::Leer(Gi.nFechaTrabajo, Gi.nFechaTrabajo).lineas)
            if (Count("Facturas", "nIdCliente=" + QString::number(client) +
                                      " AND nIdFactura=" + QString::number(linea.nIdFactura)))
                booked += linea.nBase + linea.nCuota;
        EXPECT_EQ(booked.Text(),
                  Money::FromDouble(Number("SELECT SUM(nTotal-nDescuento) FROM Facturas WHERE "
                                           "nIdCliente=" +
                                           QString::number(client)))
                      .Text());
        const AmountsCheck amounts = AmountsCheck::Run();
        EXPECT_TRUE(amounts.agree) << amounts.message.toStdString();
        const RegistroFacturacion::Verificacion register_ = RegistroFacturacion::Verificar();
        EXPECT_TRUE(register_.intact) << register_.message.toStdString();
    }

    void Run(const std::vector<Paso>& pasos) {
        for (size_t k = 0; k < pasos.size(); ++k) {
            const Paso& p = pasos[k];
            const QString step = "step " + QString::number(k + 1);
            if (p.tipo == Paso::Factura) {
                for (const auto& [code, n] : p.lineas)
                    AddItem(client, n, Precio(code), Tipo(code), Product(code));
                InvoicePending();
            } else if (p.tipo == Paso::Refactura) {
                InvoicePending();
            } else {
                EXPECT_EQ(Rectify(facturas[size_t(p.factura)], p.unidades), p.espera)
                    << step.toStdString();
            }
            Invariants(step);
        }
    }
};

TEST_F(AbonoParcialTest, InPartsThenTheRestThenInvoicedAgain) {
    // 3 x 4.50 + 25 at 10 %, 25 at 21 %: 72.60 less 5.00, 50.00 paid. One tablet is 4.95 and
    // takes 0.34 of the discount; the rest takes what is left of it (4.66) and of the money.
    Run({{Paso::Factura, {{"MED01", 3}, {"VAC01", 1}, {"CONS01", 1}}},
         {Paso::Rectifica, {}, 0, {{0, 1}}, "-4.95|-0.34|4.61"},
         {Paso::Rectifica, {}, 0, {}, "-67.65|-4.66|45.39"},
         {Paso::Refactura},
         {Paso::Rectifica, {}, 1, {{2, 1}}, "-27.5|-1.89|25.61"}});
    EXPECT_EQ(
        Table("SELECT COUNT(*) FROM Vacunaciones WHERE nIdFactura=" + QString::number(facturas[0])),
        "0");
}

TEST_F(AbonoParcialTest, AllAtOnceThenTwoPartsOfTheSameLine) {
    Run({{Paso::Factura, {{"MED01", 5}, {"CONS01", 2}}},
         {Paso::Rectifica, {}, 0, {}, "-85.25|-5|50"},
         {Paso::Refactura},
         {Paso::Rectifica, {}, 1, {{0, 2}}, "-9.9|-0.58|9.32"},
         {Paso::Rectifica, {}, 1, {{0, 2}}, "-9.9|-0.58|9.32"},
         {Paso::Rectifica, {}, 1, {{1, 1}, {0, 1}}, "-35.2|-2.06|31.36"},
         {Paso::Rectifica, {}, 1, {}, "-30.25|-1.78|"}});
    // Every unit rectified: nothing left to offer, the invoice is refused as rectified.
    EXPECT_EQ(
        MotivoNoAbonable(facturas[1]),
        "La factura " +
            Value("SELECT sFactura FROM Facturas WHERE nIdFactura=" + QString::number(facturas[1]))
                .toString() +
            " ya está rectificada por completo: no queda nada que rectificar.");
}

// Each part of an invoice rounds its own figures, so parts that took its units one by one would
// leave cents behind (2,5 kg at 10,01 € and 21 % charge 25,03 + 5,26; parts of 1,2 and 1,3 kg would
// give back 12,01 + 2,52 and 13,01 + 2,73): the part that takes the last units gives back what is
// left, and together they return exactly what was charged, rate by rate and in money.
TEST_F(AbonoParcialTest, PartsTakingTheLastUnitsGiveBackExactlyWhatWasCharged) {
    const struct {
        const char* what;
        std::vector<DocumentLine> lineas;
        std::vector<std::vector<std::pair<int, double>>> partes; // empty: all that is left
        const char* last;                                        // "nTotal|nDescuento|returned"
    } cases[] = {
        {"a cent of tax in two parts", {{3, 10.01, 21}}, {{{0, 1}}, {}}, "-24.23|-1.21|23.02"},
        {"kilos in two parts", {{2.5, 10.01, 21}}, {{{0, 1.2}}, {{0, 1.3}}}, "-15.75|-0.79|14.96"},
        {"two rates in three parts",
         {{2.5, 10.01, 21}, {0.333, 4.5, 10}},
         {{{0, 1.2}}, {{1, 0.111}, {0, 0.3}}, {}},
         "-13.22|-0.66|12.56"},
        {"a cent left at a rate the last part lacks",
         {{3, 10.01, 21}, {1, 4.5, 10}},
         {{{0, 1}}, {{0, 2}}, {}},
         "-4.96|-0.25|4.71"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // A client of its own: the lines a rectification gives back are pending again.
        client = NewClient(c.what);
        w.client = QString::number(client);
        for (const DocumentLine& l : c.lineas)
            AddItem(client, l.nUnidades, l.nPvp, l.nPorcIpto, Product("MED01"));
        // Paid in full, with a discount of 5 % of the total.
        const DocumentAmounts importes = DocumentAmounts::Of(c.lineas, {});
        const Money descuento = Money::FromDouble(importes.nTotal.ToDouble() * 0.05);
        w.Accept({{"Efectivo", (importes.nTotal - descuento).ToDouble()}}, descuento.ToDouble());
        Generar_Factura(w);
        const QString factura = Value("SELECT MAX(nIdFactura) FROM Facturas").toString();
        QString last;
        for (const auto& parte : c.partes)
            last = Rectify(factura.toInt(), parte);
        EXPECT_EQ(last.toStdString(), c.last);
        // The parts' breakdown rate by rate, their header's totals and the money they gave back
        // against the invoice's, turned.
        const auto sums = [](const QString& documents, int sign) {
            std::map<double, std::pair<Money, Money>> rates;
            const Rows desglose = Query("SELECT nPorcIpto,nBaseImponible,nCuota FROM "
                                        "FacturasDesglose WHERE nIdFactura IN " +
                                        documents);
            for (int r = 0; r < desglose.RowCount(); ++r) {
                auto& [base, cuota] = rates[desglose(0, r).toDouble()];
                base += Money::FromStored(desglose(1, r));
                cuota += Money::FromStored(desglose(2, r));
            }
            QStringList texts;
            for (const auto& [rate, amounts] : rates)
                texts << QString::number(rate) + " " +
                             (sign < 0 ? -amounts.first : amounts.first).Text() + " " +
                             (sign < 0 ? -amounts.second : amounts.second).Text();
            Money totals[5];
            const Rows headers = Query("SELECT nBi_Total,nIm_Total,nTotal,nDescuento FROM Facturas "
                                       "WHERE nIdFactura IN " +
                                       documents);
            for (int r = 0; r < headers.RowCount(); ++r)
                for (int k = 0; k < 4; ++k)
                    totals[k] += Money::FromStored(headers(k, r));
            const Rows cobros =
                Query("SELECT nImporte FROM FacturasCobros WHERE nIdFactura IN " + documents);
            for (int r = 0; r < cobros.RowCount(); ++r)
                totals[4] += Money::FromStored(cobros(0, r));
            for (const Money& total : totals)
                texts << (sign < 0 ? -total : total).Text();
            return texts.join('|');
        };
        EXPECT_EQ(
            sums("(SELECT nIdFactura FROM Abonos WHERE nIdFacturaAbonada=" + factura + ")", 1),
            sums("(" + factura + ")", -1));
        Invariants(c.what);
    }
}

// 37,40 paid 30,00 in cash and 7,40 by card: each part given back without a type named goes back
// in both, in the shares they still hold; the cash-box entries follow the refunds.
TEST_F(AbonoParcialTest, ARefundWithoutATypeGoesBackAsTheInvoiceWasPaid) {
    AddItem(client, 2, 4.5, 10, Product("MED01"));
    AddItem(client, 1, 25, 10, Product("VAC01"));
    w.Accept({{"Efectivo", 30}, {"Tarjeta", 7.4}});
    Generar_Factura(w);
    const qint32 factura = Value("SELECT MAX(nIdFactura) FROM Facturas").toInt();
    Rectify(factura, {{1, 1}});
    Rectify(factura, {});
    const QString refunds = "FROM Abonos a JOIN %1 c ON c.nIdFactura=a.nIdFactura JOIN TipoCobro "
                            "t ON t.nIdTipoCobro=c.nIdTipoCobro WHERE a.nIdFacturaAbonada=" +
                            QString::number(factura) + " ORDER BY c.nIdFactura,t.sTipoCobro";
    const QString expected = "Efectivo|-22.06\nTarjeta|-5.44\nEfectivo|-7.94\nTarjeta|-1.96";
    EXPECT_EQ(Table("SELECT t.sTipoCobro,c.nImporte " + refunds.arg("FacturasCobros")), expected);
    EXPECT_EQ(Table("SELECT t.sTipoCobro,-c.nImporte " + refunds.arg("ApuntesCaja")),
              QString(expected).replace("|-", "|"));
    Invariants("refunds");
}

// Three lines of 0,05 at 10 % store 0,06 each but come to 0,17 priced together; the client paid
// the 0,18 the lines show. Rectifying the whole invoice gives back the 0,17 it came to, and the
// cent paid over stays on the client's balance.
TEST_F(AbonoParcialTest, TheWholeInvoiceGivesBackNoMoreThanItCameTo) {
    for (int k = 0; k < 3; ++k)
        AddItem(client, 1, 0.05, 10);
    w.Accept({{"Efectivo", 0.18}});
    Generar_Factura(w);
    const qint32 factura = Value("SELECT MAX(nIdFactura) FROM Facturas").toInt();
    EXPECT_EQ(Rectify(factura, {}), "-0.17|0|0.17");
    Invariants("whole invoice");
}

TEST_F(AbonoParcialTest, WhatCannotBeRectifiedIsRefusedWithNothingWritten) {
    AddItem(client, 3, 4.5, 10, Product("MED01"));
    const qint32 factura = InvoicePending(0);
    const qint32 item = LineasAbonables(factura)[0].nIdFacturaItem;
    const int documents = Count("Facturas");
    const int rectified = Count("AbonosItems");
    // A number the caller drew that another document already carries.
    const QString numero =
        Value("SELECT sFactura FROM Facturas WHERE nIdFactura=" + QString::number(factura))
            .toString();
    const QString counters = Table("SELECT * FROM Contadores ORDER BY nIdContador");
    const auto refused = [&](std::vector<LineaAbono> lineas, std::optional<Money> importe,
                             const QString& tipo, const QString& numero = {}) {
        SolicitudAbono s;
        s.nIdFactura = factura;
        s.sFactura = numero;
        s.lineas = std::move(lineas);
        s.nImporteDevuelto = importe;
        s.sTipoCobro = tipo;
        s.nFechaTrabajo = s.dAbono = Gi.nFechaTrabajo;
        const Resultado<AbonoEmitido, PasoAbono> r = EmitirAbono(s);
        return r.Hecho() ? QString("issued")
                         : QString::number(int(r.Rechazado().paso)) + " " + r.Rechazado().mensaje;
    };
    EXPECT_EQ(
        QStringList({refused({{item, 4}}, {}, {}), refused({{item + 1000, 1}}, {}, {}),
                     refused({{item, 0}}, {}, {}), refused({{item, 1}}, Money::FromCents(496), {}),
                     refused({{item, 1}}, {}, "Trueque"), refused({{item, 1}}, {}, {}, numero)}),
        // Each with the step that refused it (PasoAbono: 1 the lines, 4 the money given back,
        // 5 the number).
        QStringList({"1 De Antiparasitario interno (comprimido) quedan por rectificar 3 "
                     "unidades: no se pueden rectificar 4.",
                     "1 La línea elegida no es de la factura.",
                     "1 No se ha elegido ninguna línea que rectificar.",
                     "4 El importe a devolver no puede superar 4,95 €.",
                     "4 No existe la forma de pago Trueque.",
                     "5 El número " + numero +
                         " ya es el de otro documento: no se emite la factura rectificativa."}));
    EXPECT_EQ(Count("Facturas"), documents);
    EXPECT_EQ(Table("SELECT * FROM Contadores ORDER BY nIdContador"), counters);
    EXPECT_EQ(Count("AbonosItems"), rectified);
    EXPECT_FALSE(Db().InTransaction());
}

// Another workstation rectifies two of the three tablets while this one asks for two more: this
// one waits for the invoice's lock, then finds one left and is refused; one it may rectify.
TEST_F(AbonoParcialTest, TwoWorkstationsNeverRectifyMoreThanWasSold) {
    AddItem(client, 3, 4.5, 10, Product("MED01"));
    const qint32 factura = InvoicePending(0);
    const QString item = QString::number(LineasAbonables(factura)[0].nIdFacturaItem);
    const QString theirs =
        "INSERT INTO AbonosItems (nIdFactura,nIdFacturaItem,nUnidades) VALUES (0," + item + ",2)";
    OtherWorkstation other(suite.DbPath());
    other.Hold(TestEngine::Server() ? QStringList{"BEGIN",
                                                  "SELECT pg_advisory_xact_lock(hashtext("
                                                  "'facturas'), " +
                                                      QString::number(factura) + ")",
                                                  theirs}
                                    : QStringList{"BEGIN IMMEDIATE", theirs});
    int waits = 0;
    Db().SetWaitHook([&](bool waiting) {
        if (waiting && ++waits == 2)
            other.Release();
    });
    EXPECT_EQ(Rectify(factura, {{0, 2}}),
              "De Antiparasitario interno (comprimido) quedan por rectificar 1 unidades: no se "
              "pueden rectificar 2.");
    Db().SetWaitHook({});
    EXPECT_GE(waits, 2);
    EXPECT_EQ(LineasAbonables(factura)[0].nAbonables, 1);
}

// A folder made when an invoice could have one credit note: its unique index goes, its credit
// note counts as rectifying every line, and its invoices may then be rectified in parts.
TEST_F(AbonoParcialTest, AFolderOfOneCreditNotePerInvoiceIsUpgraded) {
    for (const char* sql :
         {"DROP TABLE AbonosItems", "DROP INDEX ixAbonos_FacturaAbonada",
          "CREATE UNIQUE INDEX ixAbonos_nIdFacturaAbonada ON Abonos (nIdFacturaAbonada)"})
        Db().Execute(sql);
    SuiteSetup::UpdateSchema();
    // The demo's invoice 12, cancelled by its credit note 15.
    EXPECT_EQ(Table("SELECT COUNT(*),SUM(x.nUnidades)-SUM(i.nUnidades) FROM FacturasItems i JOIN "
                    "AbonosItems x ON x.nIdFacturaItem=i.nIdFacturaItem AND x.nIdFactura=15 WHERE "
                    "i.nIdFactura=12"),
              Table("SELECT COUNT(*),0 FROM FacturasItems WHERE nIdFactura=12"));
    EXPECT_TRUE(MotivoNoAbonable(12).endsWith("no queda nada que rectificar."));
    AddItem(client, 3, 4.5, 10, Product("MED01"));
    const qint32 factura = InvoicePending(0);
    EXPECT_EQ(Rectify(factura, {{0, 1}}) + " " + Rectify(factura, {{0, 2}}),
              "-4.95|0|4.95 -9.9|0|9.9");
}

} // namespace
