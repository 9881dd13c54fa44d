#pragma once

#include "invoicing/core/DocumentAmounts.h"
#include "invoicing/core/TaxableBreakdown.h"

#include <optional>
#include <vector>

// What is left of an invoice once its rectifications are taken off, rate by rate, in the
// invoice's sign. The rectification that takes an invoice's last units after others stores this,
// turned, rather than figures of its own lines: rounded one by one, the parts of a tax of 6,31
// may come to 6,30, and together the rectifications must give back exactly what was charged.
struct WhatIsLeft {
    DocumentAmounts importes;
    TaxableBreakdown desglose;

    // Invoice nIdFactura's stored figures and breakdown less those of its rectifications with an
    // id below `before` (0: all of them). The slots hold `rates` (those of the last
    // rectification's lines) and any other rate that still has an amount left.
    static WhatIsLeft Of(qint32 nIdFactura, qint32 before, std::vector<double> rates);

    // The figures that rectification nIdAbono must store when it took its invoice's last units
    // after others (Of, turned); nothing for any other document, whose figures are its lines'.
    static std::optional<DocumentAmounts> ExpectedOf(qint32 nIdAbono);
};
