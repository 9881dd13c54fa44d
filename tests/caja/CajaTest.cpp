// Closing the till: what a box should hold after a day at the desk, closings and their
// differences, the periods they close, and tvCaja's commands and reports.
#include "invoicing/InvoicingFixture.h"
#include "support/ErrorOf.h"
#include "support/OtherWorkstation.h"
#include "support/RunProgram.h"

#include "billing/CajaDialogo.h"
#include "caja/CierreCaja.h"
#include "invoicing/Conta.h"
#include "invoicing/EmitirAbono.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "reports/Viewer.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace {

constexpr qint32 Ayer = 20270301, Dia = 20270302, Manana = 20270303;
constexpr qint32 Extra = 3; // the demo's "Caja extra": no entries of its own

QDateTime At(qint32 day, const char* time) {
    return QDateTime(QDate(day / 10000, day / 100 % 100, day % 100),
                     QTime::fromString(time, "HH:mm"));
}

// A method's line as "name|invoices|credit notes|in|out|expected|counted|difference|entries".
QString Line(const CierreCaja::Metodo& m) {
    return QStringList{m.sTipoCobro,      m.facturas.Text(),   m.abonos.Text(),
                       m.entradas.Text(), m.salidas.Text(),    m.esperado.Text(),
                       m.contado.Text(),  m.diferencia.Text(), QString::number(m.apuntes)}
        .join('|');
}
QString Lines(const QList<CierreCaja::Metodo>& metodos) {
    QStringList lines;
    for (const CierreCaja::Metodo& m : metodos)
        lines << Line(m);
    return lines.join('\n');
}

class CajaTest : public InvoicingTest {
protected:
    // Money put in or taken out of the extra box by hand, as the suite's cash window books it.
    static void Apunte(const QString& sReferencia, const QString& sTitular, qint32 dApunte,
                       qint32 nIdTipoMovimiento, Money nImporte, qint32 nIdTipoCobro = 0) {
        Db().InsertRows(
            "ApuntesCaja", Conta::ColumnasApunteCaja,
            {Conta::FilaApunteCaja(Extra, 1, sReferencia, sTitular, dApunte, nIdTipoMovimiento,
                                   Conta::EsEntrada(nIdTipoMovimiento), nImporte, {}, {}, {}, 0,
                                   nIdTipoCobro)});
    }

    // tvCaja as a script runs it; Qt's notes about the session's environment are not its words.
    std::pair<int, QString> Caja(const QStringList& arguments) {
        auto [status, said] = RunTool("tvCaja", arguments);
        QStringList lines = said.split('\n');
        lines.removeIf([](const QString& line) { return line.startsWith("QStandardPaths:"); });
        return {status, lines.join('\n')};
    }

    void SetUp() override {
        InvoicingTest::SetUp();
        Gi.nFechaTrabajo = Dia;
        // The opening float: 100,00 put in and left there by the box's first closing.
        Apunte("Fondo", "", Ayer, 1, Money::FromCents(10000));
        Cerrar({{"Efectivo", 100}}, At(Ayer, "21:00"), 100);
    }

    static CierreCaja::Cierre Cerrar(const std::vector<std::pair<QString, double>>& contado,
                                     const QDateTime& ahora, std::optional<double> fondo = {},
                                     const QString& nota = {}, qint32 usuario = 1) {
        CierreCaja::Recuento r;
        for (const auto& [tipo, importe] : contado)
            r.contado.append({tipo, Money::FromDouble(importe)});
        if (fondo)
            r.fondoDejado = Money::FromDouble(*fondo);
        r.sNota = nota;
        return CierreCaja::Cerrar(Extra, usuario, r, ahora);
    }

    static qint32 Invoice(double price, double rate,
                          const std::vector<std::pair<QString, double>>& cobros) {
        AddItem(1, 1, price, rate);
        return *EmitirFactura(
            SolicitudCobrada(1, "Ana", "Ana García", Extra, 1, Dia, Dia, cobros, 0));
    }

    // Four invoices paid with the four payment types, one of them credited back by card, cash
    // in and out by hand and a client paying by Bizum.
    static void Day() {
        Invoice(20, 21, {{"Efectivo", 24.20}});
        const qint32 card = Invoice(50, 21, {{"Tarjeta", 60.50}});
        Invoice(100, 10, {{"Transferencia", 60}, {"Bizum", 50}});
        Invoice(20, 21, {{"Efectivo", 4.20}, {"Tarjeta", 20}});
        SolicitudAbono abono;
        abono.nIdFactura = card;
        abono.nFechaTrabajo = abono.dAbono = Dia;
        abono.nIdUsuario = 1;
        abono.nImporteDevuelto = Money::FromDouble(60.50);
        abono.sTipoCobro = "Tarjeta";
        ASSERT_TRUE(EmitirAbono(abono).Hecho());
        Apunte("Entrada", "", Dia, 1, Money::FromCents(5000));
        Apunte("Salida", "", Dia, 2, Money::FromCents(2000));
        Apunte("Cobro Bizum", "Ana", Dia, 1, Money::FromCents(3000), 4);
    }
};

TEST_F(CajaTest, DayIsExpectedPerMethodAndKind) {
    Day();
    const CierreCaja::Estado e = CierreCaja::EstadoCaja(Extra);
    EXPECT_EQ(Lines(e.metodos), "Efectivo|28.40|0.00|50.00|-20.00|158.40|0.00|0.00|4\n"
                                "Tarjeta|80.50|-60.50|0.00|0.00|20.00|0.00|0.00|3\n"
                                "Transferencia|60.00|0.00|0.00|0.00|60.00|0.00|0.00|1\n"
                                "Bizum|50.00|0.00|30.00|0.00|80.00|0.00|0.00|2");
    EXPECT_EQ(e.fondo.Text(), "100.00");
    EXPECT_EQ(e.Total().Text(), "318.40");
    EXPECT_EQ(e.documentos, 5);
    // The same sums read another way: the open entries by type, the float on top of the cash.
    EXPECT_EQ(Table("SELECT COALESCE(t.sTipoCobro,'Efectivo'),ROUND(SUM(a.nImporte)*100) FROM "
                    "ApuntesCaja a LEFT JOIN TipoCobro t ON t.nIdTipoCobro=a.nIdTipoCobro WHERE "
                    "a.nIdCaja=3 AND a.nIdCierreCaja=0 GROUP BY 1 ORDER BY 1"),
              "Bizum|8000\nEfectivo|5840\nTarjeta|2000\nTransferencia|6000");
}

// A closing stores what was counted against what was expected; the next period starts empty,
// with the float the closing left, and nothing closed is counted again.
TEST_F(CajaTest, ClosingsRecordCountsAndDifferences) {
    Day();
    struct Caso {
        std::vector<std::pair<QString, double>> contado;
        std::optional<double> fondo;
        QString nota, lineas, totales;
    };
    const std::vector<Caso> casos = {
        {{{"Efectivo", 158.40}, {"tarjeta", 20}, {"Transferencia", 60}, {"Bizum", 80}},
         {},
         {},
         "Efectivo|28.40|0.00|50.00|-20.00|158.40|158.40|0.00|4\n"
         "Tarjeta|80.50|-60.50|0.00|0.00|20.00|20.00|0.00|3\n"
         "Transferencia|60.00|0.00|0.00|0.00|60.00|60.00|0.00|1\n"
         "Bizum|50.00|0.00|30.00|0.00|80.00|80.00|0.00|2",
         "2|20270301 21:00:00|318.40|318.40|0.00|100.00|100.00|58.40|10|5|"},
        {{{"Efectivo", 95.5}},
         50,
         "Faltan 4,50",
         "Efectivo|0.00|0.00|0.00|0.00|100.00|95.50|-4.50|0\n"
         "Tarjeta|0.00|0.00|0.00|0.00|0.00|0.00|0.00|0\n"
         "Transferencia|0.00|0.00|0.00|0.00|0.00|0.00|0.00|0\n"
         "Bizum|0.00|0.00|0.00|0.00|0.00|0.00|0.00|0",
         "3|20270302 20:00:00|100.00|95.50|-4.50|100.00|50.00|45.50|0|0|Faltan 4,50"},
    };
    const char* const horas[] = {"20:00", "22:00"};
    for (size_t k = 0; k < casos.size(); ++k) {
        const Caso& c = casos[k];
        const CierreCaja::Cierre z = Cerrar(c.contado, At(Dia, horas[k]), c.fondo, c.nota);
        EXPECT_EQ(Lines(z.metodos), c.lineas) << k;
        EXPECT_EQ(
            QStringList({QString::number(z.nNumero), QString::number(z.dDesde) + " " + z.sHoraDesde,
                         z.esperado.Text(), z.contado.Text(), z.diferencia.Text(),
                         z.fondoInicial.Text(), z.fondoDejado.Text(), z.retirado.Text(),
                         QString::number(z.apuntes), QString::number(z.documentos), z.sNota})
                .join('|'),
            c.totales)
            << k;
    }
    EXPECT_EQ(Count("ApuntesCaja", "nIdCaja=3 AND nIdCierreCaja=0"), 0);
    EXPECT_EQ(CierreCaja::EstadoCaja(Extra).fondo.Text(), "50.00");
}

// Whatever the desk types wrong is refused with a message and nothing is written.
TEST_F(CajaTest, BadCountsAreRefusedAndNothingIsWritten) {
    Day();
    const struct {
        QString contado, fondo, nota, mensaje;
    } casos[] = {
        {"Efectivo=abc", {}, {}, "Efectivo"},
        {"Efectivo=-5", {}, {}, "Efectivo"},
        {"Efectivo=1e308", {}, {}, "Efectivo"},
        {"Efectivo=158,40;Tarjeta=20;Transferencia=60", {}, {}, "Falta lo contado en Bizum"},
        {"Efectivo=158,40;Tarjeta=;Transferencia=60;Bizum=80", {}, {}, "Falta el importe"},
        {"Efectivo=158,40;Cheque=1", {}, {}, "No existe la forma de pago \"Cheque\""},
        {"Efectivo=158,40;Tarjeta=20;Transferencia=60;Bizum=70", {}, {}, "escriba una nota"},
        {"Efectivo=58,40;Tarjeta=20;Transferencia=60;Bizum=80", "100", "x",
         "mayor que el efectivo"},
        {"Efectivo 158,40", {}, {}, "forma=importe"},
    };
    const int cierres = Count("CierresCaja");
    for (const auto& c : casos) {
        QString said;
        try {
            CierreCaja::Recuento r;
            r.contado = CierreCaja::LeerContado(c.contado);
            if (!c.fondo.isEmpty())
                r.fondoDejado = CierreCaja::LeerImporte(c.fondo, "El fondo");
            r.sNota = c.nota;
            CierreCaja::Cerrar(Extra, 1, r, At(Dia, "20:00"));
        } catch (const CierreCaja::Rechazo& e) {
            said = e.Description();
        }
        EXPECT_TRUE(said.contains(c.mensaje))
            << c.contado.toStdString() << ": " << said.toStdString();
    }
    EXPECT_EQ(Count("CierresCaja"), cierres);
    EXPECT_EQ(Count("ApuntesCaja", "nIdCaja=3 AND nIdCierreCaja=0"), 10);
}

// Reception closes its own boxes only; the vets close none; a manager closes any.
TEST_F(CajaTest, ClosingNeedsTheRight) {
    const struct {
        qint32 usuario, caja;
        QString respuesta;
    } casos[] = {
        {1, 3, ""},
        {2, 1, ""},
        {2, 2, ""},
        {2, 3, "Solo puede cerrar sus propias cajas: la caja 3 no es una de ellas."},
        {3, 1, "No tiene permiso para cerrar la caja."},
        {9, 1, "No existe el usuario 9."},
    };
    for (const auto& c : casos)
        EXPECT_EQ(CierreCaja::ComprobarPermiso(c.usuario, c.caja), c.respuesta) << c.usuario;
    EXPECT_THROW(Cerrar({{"Efectivo", 100}}, At(Dia, "20:00"), {}, {}, 2), CierreCaja::Rechazo);
    EXPECT_EQ(Count("CierresCaja"), 1);
}

// A closed period stays closed: nothing is booked before its end, its entries and the closing
// itself do not change, whoever writes; what comes late goes into the open period.
TEST_F(CajaTest, ClosedPeriodCannotBeChanged) {
    const QString box = QString::number(Extra), before = QString::number(Ayer - 73);
    const qint32 closed =
        Value("SELECT MIN(nIdApunteCaja) FROM ApuntesCaja WHERE nIdCaja=3").toInt();
    const QString statements[] = {
        "INSERT INTO ApuntesCaja (nIdCaja,dApunte,nImporte) VALUES (" + box + "," + before + ",5)",
        "INSERT INTO Facturas (nIdCaja,dFactura,sFactura) VALUES (" + box + "," + before + ",'X1')",
        "UPDATE ApuntesCaja SET nImporte=1 WHERE nIdApunteCaja=" + QString::number(closed),
        "DELETE FROM ApuntesCaja WHERE nIdApunteCaja=" + QString::number(closed),
        "UPDATE CierresCaja SET nContado=0",
        "DELETE FROM CierresCajaLineas",
    };
    for (const QString& sql : statements) {
        EXPECT_NE(ErrorOf([&] { Db().Execute(sql); }), 0) << sql.toStdString();
        Db().Transaction(TransactionStep::Rollback);
    }
    EXPECT_EQ(ErrorOf([&] {
                  Db().Execute("INSERT INTO ApuntesCaja (nIdCaja,dApunte,nImporte) VALUES (" + box +
                               "," + QString::number(Dia) + ",5)");
              }),
              0);
    // Issuing says so before it draws a number.
    AddItem(1, 1, 10, 21);
    const int facturas = Count("Facturas");
    EXPECT_EQ(Refusal(EmitirFactura(SolicitudCobrada(1, "Ana", "Ana García", Extra, 1, Ayer - 73,
                                                     Ayer - 73, {{"Efectivo", 12.10}}, 0))),
              "La caja 3 está cerrada hasta el 01/03/2027: no se puede anotar nada con "
              "fecha 28/02/2027 en ella. Use la fecha de hoy o elija otra caja.");
    EXPECT_EQ(Count("Facturas"), facturas);
    EXPECT_EQ(Table("SELECT nContado FROM CierresCaja WHERE nIdCaja=3"), "100");
    EXPECT_EQ(CierreCaja::EstadoCaja(Extra).Total().Text(), "105.00");
}

// Two desks closing one box: the one that saw the old period is told and sees the new one. A
// shift that crosses midnight belongs to the day it was opened and closes everything since.
TEST_F(CajaTest, ShiftsAndConcurrentClosings) {
    const CierreCaja::Estado seen = CierreCaja::EstadoCaja(Extra);
    Apunte("Entrada", "", Dia, 1, Money::FromCents(1000));
    Cerrar({{"Efectivo", 110}}, At(Dia, "22:00"), 100);
    CierreCaja::Recuento stale;
    stale.contado = {{"Efectivo", Money::FromCents(11000)}};
    stale.ultimoVisto = seen.nIdUltimoCierre;
    QString said;
    try {
        CierreCaja::Cerrar(Extra, 1, stale, At(Dia, "22:01"));
    } catch (const CierreCaja::Rechazo& e) {
        said = e.Description();
    }
    EXPECT_EQ(said, "La caja Caja extra se acaba de cerrar en otro puesto (cierre 2): revise lo "
                    "que espera el nuevo periodo antes de cerrarlo.");
    Apunte("Entrada", "", Dia, 1, Money::FromCents(700));
    Apunte("Entrada", "", Manana, 1, Money::FromCents(300));
    const CierreCaja::Cierre z = Cerrar({{"Efectivo", 110}}, At(Manana, "01:30"), 100);
    EXPECT_EQ(QString("%1|%2 %3|%4 %5|%6")
                  .arg(z.nNumero)
                  .arg(z.dDesde)
                  .arg(z.sHoraDesde)
                  .arg(z.dHasta)
                  .arg(z.sHoraHasta)
                  .arg(z.contado.Text()),
              "3|20270302 22:00:00|20270303 01:30:00|110.00");
    EXPECT_EQ(Table("SELECT nNumero,COUNT(*) FROM CierresCaja c JOIN ApuntesCaja a ON "
                    "a.nIdCierreCaja=c.nIdCierreCaja GROUP BY nNumero ORDER BY nNumero"),
              "1|1\n2|1\n3|2");
}

// An entry another desk has written and not yet committed, under a lower id than one the
// closing sees, is waited for and closed with it. No entry can then get into the period closed:
// an id before the closing's last is renumbered on a server (refused here, where ids are only
// given in turn), and an entry moved into the box from before it is refused.
TEST_F(CajaTest, EntriesAroundAClosingLandInOnePeriod) {
    const auto insert = [](qint32 box, qint32 id, int euros) {
        const QString values = QString("%1,%2,%3").arg(box).arg(Dia).arg(euros);
        return id != 0
                   ? QString("INSERT INTO ApuntesCaja (nIdApunteCaja,nIdCaja,dApunte,nImporte) "
                             "VALUES (%1,%2)")
                         .arg(id)
                         .arg(values)
                   : "INSERT INTO ApuntesCaja (nIdCaja,dApunte,nImporte) VALUES (" + values + ")";
    };
    const auto said = [](const QString& sql) {
        try {
            Db().Execute(sql);
        } catch (const TvError& e) {
            return e.Description();
        }
        return QString();
    };
    EXPECT_EQ(said(insert(1, 0, 2)), "");
    const qint32 moved = Value("SELECT MAX(nIdApunteCaja) FROM ApuntesCaja").toInt();
    OtherWorkstation other(suite.DbPath());
    int waits = 0;
    if (TestEngine::Server())
        other.Hold({"BEGIN", insert(Extra, 0, 7)});
    EXPECT_EQ(said(insert(Extra, 0, 3)), "");
    Db().SetWaitHook([&](bool waiting) {
        if (waiting && ++waits == 1)
            other.Release();
    });
    const double expected = TestEngine::Server() ? 110 : 103;
    const CierreCaja::Cierre z = Cerrar({{"Efectivo", expected}}, At(Dia, "22:00"), 100);
    Db().SetWaitHook({});
    EXPECT_EQ(QString("%1|%2").arg(z.apuntes).arg(waits > 0), TestEngine::Server() ? "2|1" : "1|0");
    const QString refused =
        "Un apunte de caja no puede llevar un número anterior al último cierre de su caja";
    EXPECT_TRUE(
        said("UPDATE ApuntesCaja SET nIdCaja=3 WHERE nIdApunteCaja=" + QString::number(moved))
            .contains(refused));
    EXPECT_EQ(said(insert(Extra, -5, 4)).contains(refused), !TestEngine::Server());
    EXPECT_EQ(QString("%1|%2")
                  .arg(Count("ApuntesCaja", "nIdApunteCaja<0"))
                  .arg(CierreCaja::EstadoCaja(Extra).Total().Text()),
              TestEngine::Server() ? "0|104.00" : "0|100.00");
}

// tvCaja as a script runs it: the state, a closing and the X and Z reports read back.
TEST_F(CajaTest, ToolClosesAndWritesReports) {
    Day();
    auto [status, said] = Caja({"estado", "--caja", "3"});
    EXPECT_EQ(status, 0);
    EXPECT_EQ(said, QString("Efectivo\t158,40\nTarjeta\t20,00\nTransferencia\t60,00\nBizum\t"
                            "80,00\nfondo\t100,00\ntotal\t318,40"));
    const QString x = suite.Root() + "/x.pdf", z = suite.Root() + "/z.txt";
    // A folder made before the till's reports gets their definition when one is first printed.
    const QString definicion = suite.DataDir() + "/Reports/Caja.xml";
    ASSERT_TRUE(QFile::remove(definicion));
    std::tie(status, said) = Caja({"informe", "--caja", "3", "--x", "--out", x});
    EXPECT_TRUE(QFile::exists(definicion));
    ASSERT_EQ(status, 0) << said.toStdString();
    const QString xText = RunProgram("pdftotext", {"-layout", x, "-"}).simplified();
    for (const char* text : {"INFORME X — NO ES UN CIERRE", "Tavelo Centro", "Caja extra (3)",
                             "Efectivo 28,40 0,00 50,00 -20,00 158,40", "Total esperado 318,40"})
        EXPECT_TRUE(xText.contains(text)) << text << "\n" << xText.toStdString();

    const struct {
        QStringList args;
        int status;
        QString said;
    } casos[] = {
        {{"cierre", "--caja", "3", "--contado", "Efectivo=abc"}, 1, "Efectivo"},
        {{"cierre", "--caja", "9", "--contado", "Efectivo=1"}, 1, "No existe la caja 9."},
        {{"cierre", "--caja", "3", "--contado", "Cheque=1"}, 1, "No existe la forma de pago"},
        {{"cierre", "--caja", "x", "--contado", "Efectivo=1"}, 2, "la caja es un número"},
        {{"cierre", "--caja", "3", "--contado",
          "Efectivo=160,40;Tarjeta=20;Transferencia=60;Bizum=80", "--nota", "Sobran 2", "--fondo",
          "100,00"},
         0,
         "cierre 2\nEfectivo\t2,00\nTarjeta\t0,00\nTransferencia\t0,00\nBizum\t0,00"},
        {{"informe", "--cierre", "2", "--caja", "3", "--out", z}, 0, "informe escrito en " + z},
    };
    for (const auto& c : casos) {
        std::tie(status, said) = Caja(c.args);
        EXPECT_EQ(status, c.status) << c.args.join(' ').toStdString() << ": " << said.toStdString();
        EXPECT_TRUE(said.contains(c.said)) << said.toStdString();
    }
    QFile ticket(z);
    ASSERT_TRUE(ticket.open(QIODevice::ReadOnly));
    const QString zText = QString::fromUtf8(ticket.readAll()).simplified();
    for (const char* text : {"CIERRE DE CAJA (Z) Nº 2", "Efectivo 158,40 160,40 2,00",
                             "Nota: Sobran 2", "Retirado 60,40", "Firma"})
        EXPECT_TRUE(zText.contains(text)) << text << "\n" << zText.toStdString();
}

// The dialog shows each difference as it is typed, refuses a closing another desk overtook by
// showing the new period, and closes with a confirmation and the Z report in the viewer.
TEST_F(CajaTest, DialogCountsAndCloses) {
    Day();
    CajaDialogo dialog(Extra);
    const struct {
        const char* tipo;
        QString typed, difference, colour;
    } casos[] = {{"1", "160,40", "2,00 €", "color: #1F5FBF;"},
                 {"2", "19", "-1,00 €", "color: #B00020;"},
                 {"3", "60", "0,00 €", ""},
                 {"4", "8o", "", ""}};
    for (const auto& c : casos) {
        dialog.findChild<QLineEdit*>(QString("txtContado_") + c.tipo)->setText(c.typed);
        const auto* label = dialog.findChild<QLabel*>(QString("lblDiferencia_") + c.tipo);
        EXPECT_EQ(label->text() + "|" + label->styleSheet(), c.difference + "|" + c.colour);
    }
    auto* cerrar = dialog.findChild<QPushButton*>("CerrarCaja_BT");
    cerrar->click();
    EXPECT_TRUE(suite.Ui().Shown.last().contains("Bizum")) << suite.Ui().Shown.last().toStdString();

    dialog.findChild<QLineEdit*>("txtContado_4")->setText("80");
    dialog.findChild<QLineEdit*>("txtNota")->setText("Cambio mal dado");
    Cerrar({{"Efectivo", 158.40}, {"Tarjeta", 20}, {"Transferencia", 60}, {"Bizum", 80}},
           At(Dia, "20:00"));
    suite.Ui().Confirmations.push_back(true);
    cerrar->click();
    EXPECT_TRUE(suite.Ui().Shown.last().contains("se acaba de cerrar en otro puesto (cierre 2)"));
    EXPECT_TRUE(dialog.findChild<QLabel*>("lblPeriodo")->text().contains("0 apuntes"));

    Apunte("Entrada", "", Dia, 1, Money::FromCents(500));
    dialog.Cargar();
    // The drawer counted by denomination: 2 x 50 €, 1 x 5 €, 3 x 5 cents and 2 x 1 cent, in
    // cents all the way; a cancelled count leaves what was typed.
    suite.Ui().ModalActions.push_back([](QWidget& w) {
        for (const auto& [valor, cantidad] : {std::pair{"5000", 2}, {"500", 1}, {"5", 3}, {"1", 2}})
            w.findChild<QSpinBox*>(QString("spnCantidad_") + valor)->setValue(cantidad);
        EXPECT_EQ(w.findChild<QLabel*>("lblTotal")->text(), "105,17 €");
        static_cast<QDialog&>(w).accept();
    });
    suite.Ui().ModalActions.push_back(
        [](QWidget& w) { w.findChild<QSpinBox*>("spnCantidad_100")->setValue(7); });
    auto* desglose = dialog.findChild<QPushButton*>("Desglose_BT");
    desglose->click();
    desglose->click();
    EXPECT_EQ(dialog.findChild<QLineEdit*>("txtContado_1")->text(), "105,17");
    EXPECT_EQ(dialog.findChild<QLabel*>("lblDiferencia_1")->text(), "0,17 €");
    dialog.findChild<QLineEdit*>("txtContado_1")->setText("105");
    QString report;
    suite.Ui().Confirmations.push_back(true);
    suite.Ui().ModalActions.push_back(
        [&](QWidget& viewer) { report = static_cast<Viewer&>(viewer).sUltimoXmlEmitido; });
    cerrar->click();
    EXPECT_TRUE(report.contains("CIERRE DE CAJA (Z) Nº 3")) << report.toStdString();
    EXPECT_EQ(Table("SELECT nNumero,nContado,nDiferencia FROM CierresCaja WHERE nIdCaja=3 ORDER "
                    "BY nNumero DESC LIMIT 1"),
              "3|105|0");
}

// On a server, the workstation's own account is held to the same rule as the module.
TEST_F(CajaTest, AWorkstationAccountCannotBookIntoAClosedPeriod) {
    if (!TestEngine::Server())
        GTEST_SKIP() << "accounts are the server's";
    DbConfig workstation = TestEngine::ServerConfig();
    workstation.name = Value("SELECT current_database()").toString();
    workstation.user = "tv_puesto_caja";
    const QString grants = "ALL TABLES IN SCHEMA public";
    Db().ExecuteScript(
        "DROP ROLE IF EXISTS tv_puesto_caja;\nCREATE ROLE tv_puesto_caja LOGIN;\n"
        "GRANT USAGE ON SCHEMA public TO tv_puesto_caja;\n"
        "GRANT SELECT, INSERT, UPDATE, DELETE ON " +
        grants +
        " TO tv_puesto_caja;\n"
        "GRANT USAGE, SELECT ON ALL SEQUENCES IN SCHEMA public TO tv_puesto_caja;\n");
    Db().Close();
    Db().Open(workstation);
    QString said;
    try {
        Db().Execute("INSERT INTO ApuntesCaja (nIdCaja,dApunte,nImporte) VALUES (3,20270228,5)");
    } catch (const TvError& e) {
        said = e.Description();
    }
    Db().Close();
    suite.SignIn();
    Db().ExecuteScript("REVOKE ALL ON SCHEMA public FROM tv_puesto_caja;\nREVOKE ALL ON " + grants +
                       " FROM tv_puesto_caja;\nREVOKE ALL ON ALL SEQUENCES IN SCHEMA public FROM "
                       "tv_puesto_caja;\nDROP ROLE tv_puesto_caja;\n");
    EXPECT_TRUE(said.contains("La caja ya está cerrada en esa fecha")) << said.toStdString();
}

} // namespace
