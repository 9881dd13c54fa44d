#pragma once

#include "QtPrinting.h"

#include "invoicing/core/IssuedDocument.h"
#include "platform/data/DataAccess.h"
#include "platform/report/PageModel.h"
#include "platform/report/PreviewControl.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "platform/util/Utility.h"
#include "reports/Informes.h"
#include "reports/InvoiceExport.h"
#include "reports/Viewer.h"
#include "session/G.h"
#include "session/Gi.h"
#include "session/SessionTest.h"
#include "support/RunProgram.h"
#include "support/TestSuite.h"

#include <QFile>
#include <QStringList>
#include <QTextStream>
#include <gtest/gtest.h>

struct Printed {
    QString text;
    PageModel document;
};

// Prints the invoice as the billing window does and keeps what the viewer showed.
inline Printed PrintInvoice(ScriptedUi& ui, qint32 id, int layout,
                            Informes::Impresion impresion = Informes::Impresion::Original) {
    Printed shown;
    ui.ModalActions.push_back([&](QWidget& window) {
        auto& viewer = static_cast<Viewer&>(window);
        shown.text = viewer.sUltimoXmlEmitido;
        shown.document = viewer.vp().Document();
    });
    Informes::Factura(id, layout, impresion);
    return shown;
}

// A demo suite signed in as "admin" (user 1, branch 1) with invoices of our own: `lines` lines
// at 21, 10 and 4 % in turn, client "María O'Neill" of 44600 Alcañiz (Teruel), numbered "0042/26",
// "0043/26", ... and dated 5 March 2026.
class ReportsFixture : public ::testing::Test {
protected:
    struct Invoice {
        qint32 id = 0;
        QString number;
        QStringList descriptions;
        QVector<double> rates, totals; // per line
        double base = 0, tax = 0, total = 0, discount = 0;
        double Due() const { return total - discount; }
    };
    struct Options {
        double sign = 1; // -1: a credit note of "0041/26", issued on 12 March 2026
        int payments = 2;
        double discount = 0;
        bool longDescription = false; // the first line's description is 90 characters long
        QString series = {};          // before the number and before the one it rectifies
    };
    static constexpr const char* LongDescription =
        "Vacuna polivalente canina con refuerzo antirrábico, desparasitación interna y revisión";

    ReportsFixture() {
        Gi = SessionRecord();
        Gi.sPathRoot = suite.Root();
        Gi.sPathIni = suite.IniPath();
        Gi.sPathData = suite.DataDir();
        Gi.DeriveFolders();
        G::Load_Gi_User("admin");
        Gi.sUsuario = "admin";
        Gi.nFechaTrabajo = 20260305;
    }

    ScriptedUi& ui() { return suite.Ui(); }

    static QString Money(double value) { return Utility::instance().SqlValue(value, 2, false); }

    struct Exported {
        int status = 0;
        QString said; // what the export printed, or its errors when it failed
    };
    // The invoice exported unattended to path, as tvReport --invoice does, with the suite's
    // settings file unless told another.
    Exported Export(const QString& id, const QString& layout, const QString& path,
                    const QString& ini = {}) {
        QString out, errors;
        QTextStream outStream(&out), errStream(&errors);
        const int status = InvoiceExport::Run(ini.isEmpty() ? suite.IniPath() : ini, id, layout,
                                              path, outStream, errStream);
        return {status, status == 0 ? out : errors};
    }

    Invoice AddInvoice(int lines) { return AddInvoice(lines, Options{}); }
    Invoice AddInvoice(int lines, const Options& options) {
        DataAccess& db = DataAccess::instance();
        const auto sql = [](const QVariant& value, int decimals = 2) {
            return Utility::instance().SqlValue(value, decimals, true);
        };
        const double rates[] = {21, 10, 4};
        double slotBase[3] = {}, slotTax[3] = {};
        const double sign = options.sign;
        Invoice invoice;
        invoice.number = options.series + QString("%1/26").arg(m_nextNumber++, 4, 10, QChar('0'));
        invoice.discount = sign * options.discount;
        QStringList items;
        for (int i = 0; i < lines; ++i) {
            const double rate = rates[i % 3], price = 10 + i * 1.25, units = 1 + i % 2;
            const QString name =
                i == 0 && options.longDescription
                    ? QString(LongDescription)
                    : QString("Artículo %1 al %2").arg(i + 1, 2, 10, QChar('0')).arg(rate);
            const qint32 product =
                db.InsertRecord("ProductosServicios", "sProductoServicio,sCodigo,nPvp,nPorcIpto",
                                sql(name) + "," + sql(QString("C%1").arg(i + 1)) + "," +
                                    sql(price) + "," + sql(rate));
            const double base = Utility::RoundHalfAway(sign * price * units, 2);
            const double tax = Utility::RoundHalfAway(base * rate / 100, 2);
            slotBase[i % 3] += base;
            slotTax[i % 3] += tax;
            invoice.descriptions << name;
            invoice.rates << rate;
            invoice.totals << base + tax;
            items << QString::number(product) + "," + sql(sign * units, 0) + "," +
                         sql(sign * price) + "," + sql(base) + "," + sql(rate) + "," + sql(tax) +
                         "," + sql(base + tax);
            invoice.base += base;
            invoice.tax += tax;
        }
        invoice.total = Utility::RoundHalfAway(invoice.base + invoice.tax, 2);
        QStringList breakdown;
        for (int k = 0; k < 3; ++k)
            breakdown << sql(k < lines ? sign * rates[k] : 0) << sql(slotBase[k])
                      << sql(slotTax[k]);
        invoice.id = db.InsertRecord(
            "Facturas",
            "nIdSucursal,nIdCliente,nIdUsuario,sFactura,sCliente,sDomicilio,sPoblacion,sProvincia,"
            "sCodigoPostal,sDni,dFactura,nPo_1,nBi_1,nIm_1,nPo_2,nBi_2,nIm_2,nPo_3,nBi_3,nIm_3,"
            "nBi_Total,nIm_Total,nTotal,nDescuento,sFacturaAbonada,dFacturaAbonada",
            "1,1,1," + sql(invoice.number) + "," + sql("María O'Neill") +
                ",'C/ Mayor 5','Alcañiz','Teruel','44600','12345678Z',20260305," +
                breakdown.join(',') + "," + sql(invoice.base) + "," + sql(invoice.tax) + "," +
                sql(invoice.total) + "," + sql(invoice.discount) +
                (sign < 0 ? "," + sql(options.series + "0041/26") + ",20260312" : ",'',NULL"));
        for (const QString& item : items)
            db.InsertRecord("FacturasItems",
                            "nIdFactura,nIdCliente,nIdProductoServicio,nUnidades,nPvp,nBaseImp,"
                            "nPorcIpto,nImpuestos,nTotal",
                            QString::number(invoice.id) + ",1," + item);
        const int payments = options.payments;
        const double share = payments ? Utility::RoundHalfAway(invoice.Due() / payments, 2) : 0;
        for (int k = 0; k < payments; ++k)
            db.InsertRecord("FacturasCobros", "nIdFactura,nIdCliente,nImporte,nIdTipoCobro",
                            QString::number(invoice.id) + ",1," +
                                sql(k + 1 < payments ? share : invoice.Due() - share * k) + "," +
                                QString::number(k % 4 + 1));
        IssuedDocument::WriteMissingBreakdowns();
        return invoice;
    }

    static QString ReadAll(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // "Page size: W x H pts" of the PDF's first page, as pdfinfo reports it.
    static QString PdfPageSize(const QString& path) {
        for (const QString& line : RunProgram("pdfinfo", {path}).split('\n'))
            if (line.startsWith("Page size:"))
                return line.mid(10).trimmed();
        return {};
    }

    TestSuite suite;

private:
    int m_nextNumber = 42;
};
