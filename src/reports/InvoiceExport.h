#pragma once

#include <QString>

class QTextStream;

// Writes a stored invoice to a file without any window (tvReport --invoice): the same job the
// viewer shows, bound by the same steps, written as PDF, text, HTML or RTF by the output's
// extension.
namespace InvoiceExport {

// The session fields a report's binding reads (the data folder, its logo and reports), from the
// initialisation file; opens its database read-only when none is open.
void LoadSession(const QString& iniPath);

// "Normal", "Detallada", "Ticket" (any case) -> 1, 2, 3; 0 for any other name.
int LayoutNumber(const QString& name);

// Reads the data folder from the initialisation file, opens its database read-only when none is
// open (a data folder without one is refused, never given an empty one), binds invoice
// nIdFactura in layout and writes outPath. Prints "pages: N" on out; says what
// went wrong on err. Answers the process status: 0 written, 1 failed, 2 bad arguments.
int Run(const QString& iniPath, const QString& invoice, const QString& layout,
        const QString& outPath, QTextStream& out, QTextStream& err);

} // namespace InvoiceExport
