#pragma once

#include "caja/CierreCaja.h"
#include "reports/ReportJob.h"

#include <QDateTime>
#include <QString>

// The till's printed reports, laid out by the report component from "Caja.xml" like an invoice:
// the X report (what a box should hold now; nothing is closed) and the Z report (a stored
// closing). Layout "Caja" is A4, "CajaTicket" the till printer's roll.
namespace InformeCaja {

// The X report of the open period `estado`, made at `ahora` for branch nIdSucursal's header.
ReportJob InformeX(const CierreCaja::Estado& estado, qint32 nIdSucursal, const QDateTime& ahora,
                   bool ticket);
// The Z report of a closing, with its own branch's header.
ReportJob InformeZ(const CierreCaja::Cierre& cierre, bool ticket);

// A data folder made before the till's reports existed gets their definition from the program
// the first time one is printed, written whole into its reports folder.
void DefinicionEnCarpeta();

// Whether a file is written on the till's roll: a text file goes to the ticket printer.
bool EsTicket(const QString& path);

// Binds the job and writes it whole to path, PDF or text by the extension (as invoices are
// exported); answers the number of pages. Raises TvError when it cannot.
int Escribir(ReportJob job, const QString& path);

} // namespace InformeCaja
