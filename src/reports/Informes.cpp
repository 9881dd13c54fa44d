// The invoice print job: a stored invoice bound to one of the layouts of Factura.xml.

#include "reports/Informes.h"

#include "invoicing/core/IssuedDocument.h"
#include "platform/data/DataAccess.h"
#include "platform/data/Recordset.h"
#include "platform/data/SqlDialect.h"
#include "platform/report/ReportComponent.h"
#include "platform/ui/widgets/Frm.h"
#include "platform/util/TvError.h"
#include "reports/ReportBinding.h"
#include "reports/Viewer.h"
#include "session/G.h"
#include "session/Gi.h"

#include <QKeySequence>
#include <QPushButton>
#include <QStringList>
#include <array>

namespace {

constexpr int PaymentSlots = 4;

struct Payments {
    std::array<QString, PaymentSlots> type;
    std::array<Money, PaymentSlots> amount{};
    Money paid;
};

// Up to four payments fill the slots in the order they were booked; an invoice with more leaves
// every slot empty and the paid total 0, as the suite's other modules expect.
Payments ReadPayments(qint32 nIdFactura) {
    Payments payments;
    const std::optional<IssuedDocument> document = IssuedDocument::Load(nIdFactura);
    if (!document || document->cobros.size() > size_t(PaymentSlots))
        return payments;
    for (size_t k = 0; k < document->cobros.size(); ++k) {
        payments.type[k] = document->cobros[k].sTipoCobro;
        payments.amount[k] = document->cobros[k].nImporte;
        payments.paid += payments.amount[k];
    }
    return payments;
}

QString Amount(Money value) {
    return value.Text();
}

QStringList DetalladaValues(const Payments& payments) {
    QStringList values;
    for (const QString& type : payments.type)
        values << type;
    for (Money amount : payments.amount)
        values << (amount == Money() ? QString() : Amount(amount));
    values << Amount(payments.paid);
    return values;
}

QStringList TicketValues(const Payments& payments) {
    QStringList values;
    for (const char* setting :
         {"sNombreSucursal", "sDomicilio", "sPoblacion", "sCodigoPostal", "sTelefono1"})
        values << GetBranchSetting(setting);
    values << GetCompanySetting("sNif").toString() << Amount(payments.paid);
    return values;
}

ReportJob LabelledJob(int nPrinter, const QString& report, const QString& sql,
                      const QString& labels, const QStringList& values) {
    return ReportJob{nPrinter, "Factura.xml", report, sql, labels, values.join('|'), values};
}

} // namespace

namespace {

const struct {
    const char* name;
    const char* caption;
    Qt::Key key;
} LayoutButtons[] = {{"FormatoNormal_BT", "&Normal", Qt::Key_N},
                     {"FormatoDetallado_BT", "&Detallada", Qt::Key_D},
                     {"FormatoTicket_BT", "&Ticket", Qt::Key_T}};

} // namespace

QList<QWidget*> Informes::AddLayoutButtons(Frm& frame) {
    QList<QWidget*> buttons;
    for (const auto& button : LayoutButtons) {
        buttons << frame.AddButton(button.name, DataAccess::instance().Translate(button.caption));
        frame.SetShortcut(button.name, QKeySequence(Qt::AltModifier | button.key));
    }
    return buttons;
}

quint8 Informes::LayoutOfButton(const QString& sName) {
    for (quint8 layout = 0; layout < 3; ++layout)
        if (sName == QLatin1String(LayoutButtons[layout].name))
            return layout + 1;
    return 0;
}

QString Informes::FacturaSql(qint32 nIdFactura) {
    return QString("SELECT ") + " sCliente AS [sCliente]," + " sDni AS [sDni]," +
           " sDomicilio AS [sDomicilio]," + " dFactura AS [dFactura]," +
           " sFactura AS [sFactura]," + " sCodigo AS [sCodigo]," +
           " sProductoServicio AS [sProductoServicio]," + " nUnidades AS [nUnidades]," +
           " FacturasItems.nPvp AS [nPvp]," + " FacturasItems.nBaseImp AS [nBaseImp]," +
           " FacturasItems.nPorcIpto AS [nPorcIpto]," +
           " FacturasItems.nImpuestos AS [nImpuestos]," + " FacturasItems.nTotal AS [nTotal]," +
           " nDescuento AS [nDescuento]," + " nPo_1 AS [Po_1], nPo_2 AS [Po_2], nPo_3 AS [Po_3]," +
           " nBI_1 AS [BI_1], nBI_2 AS [BI_2], nBI_3 AS [BI_3], nBI_Total AS [BI_Total]," +
           " nIm_1 AS [Im_1], nIm_2 AS [Im_2], nIm_3 AS [Im_3], nIm_Total AS [Im_Total]" +
           " FROM ((FacturasItems" +
           " LEFT JOIN Facturas ON FacturasItems.nIdFactura=Facturas.nIdFactura)" +
           " LEFT JOIN ProductosServicios ON "
           "FacturasItems.nIdProductoServicio=ProductosServicios.nIdProductoServicio)" +
           " WHERE Facturas.nIdFactura = " + QString::number(nIdFactura) +
           " ORDER BY FacturasItems.nPorcIpto ";
}

std::optional<ReportJob> Informes::FacturaJob(qint32 nIdFactura, int nFormato) {
    const QString sql = FacturaSql(nIdFactura);
    const Payments payments = ReadPayments(nIdFactura);
    ReportJob job;
    switch (nFormato) {
    case Normal:
        job = ReportJob{2, "Factura.xml", "Normal", sql, {}, {}, {}};
        break;
    case Detallada:
        job = LabelledJob(1, "Detallada", sql,
                          "sTipoCobro_1|sTipoCobro_2|sTipoCobro_3|sTipoCobro_4|nTipoCobro_1|"
                          "nTipoCobro_2|nTipoCobro_3|nTipoCobro_4|Pagado",
                          DetalladaValues(payments));
        break;
    case Ticket:
        job = LabelledJob(3, "Ticket", sql,
                          QString("ClinicaNombre|ClinicaDomicilio|ClinicaPoblacion|"
                                  "ClinicaCodigoPostal|ClinicaTelefono|ClinicaNif") +
                              "|Pagado",
                          TicketValues(payments));
        break;
    default:
        return std::nullopt;
    }
    job.nIdFactura = nIdFactura;
    return job;
}

void Informes::Factura(qint32 nIdFactura, int nFormato, Impresion impresion) {
    Trap("Informes::Factura", [&] {
        if (DataAccess::instance()
                .GetValue("Facturas", "nIdFactura=" + QString::number(nIdFactura))
                .toInt() == 0) {
            ShowMessage(MessageKind::Error, "No existe la factura con número interno " +
                                                QString::number(nIdFactura) + ".");
            return;
        }
        std::optional<ReportJob> job = FacturaJob(nIdFactura, nFormato);
        if (!job)
            return;
        job->bCopia = impresion == Impresion::Copia;
        Viewer viewer;
        viewer.ShowXml(*job);
    });
}

QString Informes::ComprobarFactura() {
    const QString file = ReportBinding::FindReportFile(Gi.sPathReports, "Factura.xml");
    if (file.isEmpty())
        return {};
    const DataAccess& db = DataAccess::instance();
    for (const char* layout : {"Normal", "Detallada", "Ticket"}) {
        ReportComponent vsr;
        try {
            vsr.Load(file, layout);
        } catch (const TvError& e) {
            return QString("El informe %1 no se puede usar para imprimir facturas: %2")
                .arg(file, e.Description());
        }
        for (const QString& source : {vsr.RecordSource(), vsr.Report().HeaderSource()}) {
            if (source.trimmed().isEmpty())
                continue;
            const QString sql = db.PrepareSql(source);
            const QString refused = SqlDialect::IsQuery(sql)
                                        ? SqlDialect::RefusedInReport(sql)
                                        : QString("nada más que una sola sentencia SELECT");
            if (!refused.isEmpty())
                return QString("El informe %1 no se puede usar para imprimir facturas: la "
                               "consulta de \"%2\" no puede usar %3.")
                    .arg(file, QString::fromLatin1(layout), refused);
        }
    }
    return {};
}
