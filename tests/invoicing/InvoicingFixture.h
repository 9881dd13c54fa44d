#pragma once

#include "billing/RowText.h"
#include "support/OtherWorkstation.h"
#include "support/TestSuite.h"

#include "billing/BillingWindow.h"
#include "invoicing/EmitirFactura.h"
#include "invoicing/core/Cobro.h"
#include "invoicing/core/PendingItems.h"
#include "platform/data/DataAccess.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "session/Gi.h"

#include <QProcess>
#include <QStringList>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

// What the engine refused a request with; empty when it made the document.
template <typename Valor, typename Paso> QString Refusal(const Resultado<Valor, Paso>& r) {
    return r.Hecho() ? QString() : r.Rechazado().mensaje;
}

// The billing window as invoicing sees it, answered by the test: the selected pet and client,
// employee and cash box, and what the payment dialog hands back.
class ScriptedWindow : public BillingWindow {
public:
    QString pet = "1", client = "1", clientName = "Ana García López", employee = "1";
    qint32 caja = 1;
    bool cajaElegida = true;
    quint8 formato = 0;
    CobroRecord cobro;
    // Runs as the payment dialog; by default it accepts in the Normal layout with the client's
    // name and the whole total paid in cash.
    std::function<void(ScriptedWindow&)> dialog;
    std::vector<std::pair<qint32, quint8>> printed;
    int refreshes = 0;

    QString Dato(DatoPareja dato) const override {
        switch (dato) {
        case DatoPareja::IdMascota:
            return pet;
        case DatoPareja::IdCliente:
            return client;
        case DatoPareja::Cliente:
            return clientName;
        case DatoPareja::IdEmpleado:
            return employee;
        default:
            return "0";
        }
    }
    double EmpleadoElegido() const override { return employee.toDouble(); }
    qint32 CajaElegida() const override {
        if (!cajaElegida)
            throw TvError(ErrorNumber::NoSuchField, "No hay ninguna caja elegida");
        return caja;
    }
    quint8& FormatoFactura() override { return formato; }
    CobroRecord MostrarCobro() override {
        formato = 0;
        cobro = CobroRecord();
        if (dialog)
            dialog(*this);
        return cobro;
    }
    void Imprimir(qint32 nIdFactura, quint8 nFormato) override {
        printed.emplace_back(nIdFactura, nFormato);
    }
    void RefrescarGrid() override { ++refreshes; }

    // The dialog accepted with these payments (type, amount) and discount, the client's id as
    // the dialog proposes it.
    void Accept(std::vector<std::pair<QString, double>> payments, double discount = 0,
                quint8 layout = 1) {
        dialog = [=](ScriptedWindow& w) {
            w.cobro.sCliente = w.clientName;
            w.cobro.sDni = Db().GetValue("Clientes", "nIdCliente=" + w.client, "sDni").toString();
            for (size_t k = 0; k < payments.size(); ++k) {
                w.cobro.sTipoCobro[k] = payments[k].first;
                w.cobro.nImporte[k] = Money::FromDouble(payments[k].second);
            }
            w.cobro.nDescuento = Money::FromDouble(discount);
            w.formato = layout;
        };
    }
};

// A demo suite signed in as admin (branch 1, cash box 1), with shorthand for reading it back.
class InvoicingTest : public ::testing::Test {
protected:
    TestSuite suite;
    ScriptedWindow w;

    void SetUp() override { suite.SignIn(); }

    // Runs one of the suite's tools as the clinic would, on the suite's ini unless another is
    // given; answers its status and what it said. The module's connection is closed meanwhile so
    // that a tool that writes is not kept waiting by it.
    std::pair<int, QString> RunTool(const QString& name, const QStringList& arguments,
                                    const QString& ini = {}) {
        Db().Close();
        QProcess tool;
        tool.setProcessChannelMode(QProcess::MergedChannels);
        tool.start(qEnvironmentVariable("TV_BIN_DIR") + "/" + name,
                   QStringList{"--ini", ini.isEmpty() ? suite.IniPath() : ini} + arguments);
        EXPECT_TRUE(tool.waitForFinished(60000));
        suite.SignIn();
        return {tool.exitCode(), QString::fromUtf8(tool.readAll()).trimmed()};
    }

    static Rows Query(const QString& sql) { return Db().GetRows(sql); }
    static QVariant Value(const QString& sql) { return Db().GetRows(sql).Value(0, 0); }
    static int Count(const QString& table, const QString& where = {}) {
        return Value("SELECT COUNT(*) FROM " + table + (where.isEmpty() ? "" : " WHERE " + where))
            .toInt();
    }
    static double Number(const QString& sql) { return U().SqlNumber(Value(sql)); }
    static QString Table(const QString& sql) { return RowText(Db().GetRows(sql)); }
    static double Stock(const QString& code) {
        return Number("SELECT nStockActual FROM ProductosServicios WHERE sCodigo='" + code + "'");
    }
    static qint32 Product(const QString& code) {
        return Value("SELECT nIdProductoServicio FROM ProductosServicios WHERE sCodigo='" + code +
                     "'")
            .toInt();
    }
    // The next number of branch 1's series (invoices "A", credit notes "RA") in the year of the
    // working date; 1 before the series has issued anything that year.
    static qint32 NextInvoiceNumber(const QString& serie = "A") {
        const QVariant next =
            Value("SELECT nContador FROM Contadores WHERE sId='Factura' AND nIdSucursal=1 AND "
                  "sSerie='" +
                  serie + "' AND nAnio=" + QString::number(Gi.nFechaTrabajo / 10000));
        return next.isValid() ? next.toInt() : 1;
    }

    // A client of our own with one pet, so that the demo's pending items stay out of the way.
    static qint32 NewClient(const QString& name = "Cliente de prueba") {
        const qint32 id = Db().InsertRecord(
            "Clientes", "sCliente,sDomicilio,sPoblacion,sProvincia,sCodigoPostal,sDni",
            U().SqlValue(name, 0, true) + ",'Calle Mayor 1','Huesca','Huesca','22001','12345678Z'");
        Db().InsertRecord("Mascotas", "sMascota,nIdCliente", "'Pruebo'," + QString::number(id));
        return id;
    }

public:
    // A request for the client's pending lines at branch 1 by employee 2, filled as the payment
    // dialog fills it: holder and printed name, "Calle Mayor 1", DNI "12345678Z", the payments in
    // order and the discount.
    static SolicitudFactura SolicitudCobrada(qint32 client, const QString& titular,
                                             const QString& nombre, qint32 caja, qint32 usuario,
                                             qint32 dFactura, qint32 dEmision,
                                             const std::vector<std::pair<QString, double>>& cobros,
                                             double descuento) {
        SolicitudFactura s;
        s.nIdCliente = client;
        s.sTitular = titular;
        s.nIdEmpleado = 2;
        s.nIdCaja = caja;
        s.nIdSucursal = 1;
        s.nIdUsuario = usuario;
        s.dFactura = dFactura;
        s.dEmision = dEmision;
        s.cobro.sCliente = nombre;
        s.cobro.sDomicilio = "Calle Mayor 1";
        s.cobro.sDni = "12345678Z";
        for (size_t k = 0; k < cobros.size(); ++k) {
            s.cobro.sTipoCobro[k] = cobros[k].first;
            s.cobro.nImporte[k] = Money::FromDouble(cobros[k].second);
        }
        s.cobro.nDescuento = Money::FromDouble(descuento);
        s.lineas = PendingItems(client).Items();
        return s;
    }

    // A pending line of product nIdProducto (0 for none) at price and rate.
    static qint32 AddItem(qint32 nIdCliente, double units, double price, double rate,
                          qint32 nIdProducto = 0) {
        const double total = Utility::RoundHalfAway(price * (1 + rate / 100) * units, 2);
        return Db().InsertRecord(
            "FacturasItems",
            "nIdCliente,nIdMascota,nIdProductoServicio,nUnidades,nPvp,nPorcIpto,"
            "nBaseImp,nImpuestos,nTotal",
            QStringList{QString::number(nIdCliente), "1", QString::number(nIdProducto),
                        Utility::NumberText(units), Utility::NumberText(price),
                        Utility::NumberText(rate), Utility::NumberText(price * units),
                        Utility::NumberText(price * rate / 100 * units), Utility::NumberText(total)}
                .join(','));
    }
};
