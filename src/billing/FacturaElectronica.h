#pragma once

#include <QtGlobal>

// An issued document as a Facturae e-invoice from the invoice history (docs/facturae.md): for
// a user with the right "tvFacturae", asks for the file and writes it, signed (.xsig) with the
// certificate of the ini's [VeriFactu] section when it names one, unsigned (.xml) otherwise.
// Nothing is written when the user cancels or the document or certificate cannot be used; the
// message says why.
namespace FacturaElectronica {

void Pedir(qint32 nIdFactura);

} // namespace FacturaElectronica
