#pragma once

#include "reports/ReportJob.h"

#include <QList>
#include <QString>
#include <optional>

class Frm;
class QWidget;

// The invoice print: one stored invoice in one of the three layouts of "Factura.xml".
namespace Informes {

// Layouts: 1 "Normal" (receipts printer), 2 "Detallada" (listings printer, A4), 3 "Ticket"
// (till printer).
constexpr int Normal = 1;
constexpr int Detallada = 2;
constexpr int Ticket = 3;

// The three layout buttons of a window that chooses one ("FormatoNormal_BT", "FormatoDetallado_BT",
// "FormatoTicket_BT", pressed with Alt+N, Alt+D, Alt+T); answers them in that order.
QList<QWidget*> AddLayoutButtons(Frm& frame);
// The layout a layout button stands for; 0 for any other name.
quint8 LayoutOfButton(const QString& sName);

// The statement whose rows feed the layouts: one row per line of the invoice, ordered by tax
// rate, each repeating the invoice's header and tax breakdown.
QString FacturaSql(qint32 nIdFactura);

// The job that prints invoice nIdFactura in layout nFormato: its lines, its payments (four
// slots) and, for the till, the branch's own data. The payments are read whatever the layout;
// a layout other than 1 to 3 gives no job.
std::optional<ReportJob> FacturaJob(qint32 nIdFactura, int nFormato);

// What would stop an issued invoice or credit note from printing, said for the front desk; empty
// when nothing does. The definition "Factura.xml" that printing will use (the one in "Custom"
// first) must hold the three layouts, and their data sources may only read with what a report
// may use. Without any definition there is nothing to check (printing says so itself).
QString ComprobarFactura();

// The print that follows the issue is the original; any later one, from the history, is a copy
// and says so on every page.
enum class Impresion { Original, Copia };

// Shows the invoice in the viewer and returns when the viewer is closed. An invoice that does
// not exist is said and nothing is shown. Errors are reported as "Informes::Factura" and end
// the program.
void Factura(qint32 nIdFactura, int nFormato, Impresion impresion = Impresion::Original);

} // namespace Informes
