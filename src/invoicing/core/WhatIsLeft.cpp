// What is left of an invoice, rate by rate, once its rectifications are taken off.

#include "invoicing/core/WhatIsLeft.h"

#include "invoicing/core/IssuedDocument.h"
#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace {

using Sql::Id;

// A rate as both signs of it are stored: a credit note's slots carry their rates turned.
qint64 RateKey(double nPorcIpto) {
    return Money::FromDouble(std::fabs(nPorcIpto)).Cents();
}

struct Left {
    double nPo = 0;
    Money nBi, nIm, nBase, nCuota;
};

void Take(std::map<qint64, Left>& left, const DocumentAmounts& amounts) {
    for (const DocumentAmounts::Slot& slot : amounts.slots) {
        if (slot.nPo == 0 && slot.nBi == Money() && slot.nIm == Money())
            continue;
        Left& rate = left[RateKey(slot.nPo)];
        rate.nPo = std::fabs(slot.nPo);
        rate.nBi += slot.nBi;
        rate.nIm += slot.nIm;
    }
}

void Take(std::map<qint64, Left>& left, const TaxableBreakdown& breakdown) {
    for (const TaxableBreakdown::Rate& tipo : breakdown.tipos) {
        Left& rate = left[RateKey(tipo.nPorcIpto)];
        rate.nPo = std::fabs(tipo.nPorcIpto);
        rate.nBase += tipo.nBaseImponible;
        rate.nCuota += tipo.nCuota;
    }
}

} // namespace

WhatIsLeft WhatIsLeft::Of(qint32 nIdFactura, qint32 before, std::vector<double> rates) {
    const IssuedDocument invoice = *IssuedDocument::LoadHeader(nIdFactura);
    std::map<qint64, Left> left;
    Take(left, invoice.importes);
    Take(left, TaxableBreakdown::ReadOr(nIdFactura, invoice.importes));
    WhatIsLeft w;
    w.importes = invoice.importes;
    const Rows rectifications =
        Db().GetRows("SELECT f.nIdFactura FROM Facturas f JOIN Abonos a ON "
                     "a.nIdFactura=f.nIdFactura WHERE a.nIdFacturaAbonada=" +
                     Id(nIdFactura) + (before > 0 ? " AND f.nIdFactura<" + Id(before) : QString()) +
                     " ORDER BY f.nIdFactura");
    for (int r = 0; r < rectifications.RowCount(); ++r) {
        const qint32 id = Utility::ToInt32(U().SqlNumber(rectifications(0, r)));
        const DocumentAmounts taken = IssuedDocument::LoadHeader(id)->importes;
        Take(left, taken);
        Take(left, TaxableBreakdown::ReadOr(id, taken));
        w.importes.nBi_Total += taken.nBi_Total;
        w.importes.nIm_Total += taken.nIm_Total;
        w.importes.nTotal += taken.nTotal;
        w.importes.nDescuento += taken.nDescuento;
    }

    for (double& rate : rates)
        rate = std::fabs(rate);
    for (const auto& [key, rate] : left)
        if (rate.nBi != Money() || rate.nIm != Money() || rate.nBase != Money() ||
            rate.nCuota != Money())
            rates.push_back(rate.nPo);
    std::sort(rates.begin(), rates.end());
    rates.erase(std::unique(rates.begin(), rates.end(),
                            [](double a, double b) { return RateKey(a) == RateKey(b); }),
                rates.end());
    w.importes.slots = {};
    w.importes.rates = int(rates.size());
    for (size_t k = 0; k < rates.size(); ++k) {
        const Left& rate = left[RateKey(rates[k])];
        if (k < w.importes.slots.size())
            w.importes.slots[k] = {rates[k], rate.nBi, rate.nIm};
        w.desglose.tipos.push_back({rates[k], rate.nBase, rate.nCuota});
    }
    return w;
}

std::optional<DocumentAmounts> WhatIsLeft::ExpectedOf(qint32 nIdAbono) {
    const Rows rectified = Db().GetRows(
        "SELECT a.nIdFacturaAbonada,(SELECT COUNT(*) FROM Abonos o WHERE "
        "o.nIdFacturaAbonada=a.nIdFacturaAbonada),(SELECT MAX(o.nIdFactura) FROM Abonos o WHERE "
        "o.nIdFacturaAbonada=a.nIdFacturaAbonada),(SELECT SUM(i.nUnidades) FROM FacturasItems i "
        "WHERE i.nIdFactura=a.nIdFacturaAbonada),(SELECT SUM(x.nUnidades) FROM AbonosItems x JOIN "
        "Abonos o ON o.nIdFactura=x.nIdFactura WHERE o.nIdFacturaAbonada=a.nIdFacturaAbonada) FROM "
        "Abonos a WHERE a.nIdFactura=" +
        Id(nIdAbono));
    // The last of several, after which no unit of the invoice is left.
    if (rectified.IsEmpty() || U().SqlNumber(rectified(1, 0)) < 2 ||
        Utility::ToInt32(U().SqlNumber(rectified(2, 0))) != nIdAbono ||
        DocumentLine::Units(U().SqlNumber(rectified(3, 0)) - U().SqlNumber(rectified(4, 0))) != 0)
        return std::nullopt;
    std::vector<double> rates;
    for (const DocumentLine& line : DocumentLine::Read("nIdFactura=" + Id(nIdAbono)))
        rates.push_back(line.nPorcIpto);
    return Of(Utility::ToInt32(U().SqlNumber(rectified(0, 0))), nIdAbono, rates).importes.Negated();
}
