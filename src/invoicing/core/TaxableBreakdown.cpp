// The discount spread over the rates before tax: base and tax per rate as printed and registered.

#include "invoicing/core/TaxableBreakdown.h"

#include "platform/data/DataAccess.h"
#include "platform/util/Decimal.h"
#include "platform/util/Utility.h"

#include <cmath>
#include <numeric>

namespace {

// Splits `total` cents in proportion to `weights` (largest remainder): the parts add up to it
// exactly, each within a cent of its exact share. With no weight at all the last part takes it.
std::vector<qint64> Apportion(qint64 total, const std::vector<qint64>& weights) {
    std::vector<qint64> parts(weights.size(), 0);
    const qint64 sum = std::accumulate(weights.begin(), weights.end(), qint64(0));
    if (parts.empty())
        return parts;
    if (sum == 0) {
        parts.back() = total;
        return parts;
    }
    std::vector<double> remainders(weights.size());
    qint64 given = 0;
    for (size_t k = 0; k < weights.size(); ++k) {
        const double exact = double(total) * double(weights[k]) / double(sum);
        parts[k] = qint64(std::floor(exact));
        remainders[k] = exact - double(parts[k]);
        given += parts[k];
    }
    for (qint64 left = total - given; left > 0; --left) {
        size_t largest = 0;
        for (size_t k = 1; k < remainders.size(); ++k)
            if (remainders[k] > remainders[largest])
                largest = k;
        ++parts[largest];
        remainders[largest] = -1;
    }
    return parts;
}

} // namespace

Money TaxableBreakdown::Base() const {
    Money sum;
    for (const Rate& rate : tipos)
        sum += rate.nBaseImponible;
    return sum;
}

Money TaxableBreakdown::Cuota() const {
    Money sum;
    for (const Rate& rate : tipos)
        sum += rate.nCuota;
    return sum;
}

TaxableBreakdown TaxableBreakdown::Negated() const {
    TaxableBreakdown b = *this;
    for (Rate& rate : b.tipos)
        rate = {rate.nPorcIpto, -rate.nBaseImponible, -rate.nCuota};
    return b;
}

TaxableBreakdown TaxableBreakdown::Of(const DocumentAmounts& amounts) {
    if (amounts.nTotal < Money())
        return Of(amounts.Negated()).Negated();
    std::vector<const DocumentAmounts::Slot*> used;
    std::vector<qint64> weights;
    for (const DocumentAmounts::Slot& slot : amounts.slots)
        if (slot.nPo != 0 || slot.nBi != Money() || slot.nIm != Money()) {
            used.push_back(&slot);
            weights.push_back((slot.nBi + slot.nIm).Cents());
        }
    // The rates' totals first add up to the document's total exactly (each slot was rounded on
    // its own), then the discount comes off each in the same proportion.
    const std::vector<qint64> totals = Apportion(amounts.nTotal.Cents(), weights);
    const std::vector<qint64> discounts = Apportion(amounts.nDescuento.Cents(), weights);
    TaxableBreakdown b;
    for (size_t k = 0; k < used.size(); ++k) {
        const DocumentAmounts::Slot& slot = *used[k];
        const qint64 due = totals[k] - discounts[k];
        // The base keeps its own share of what is left of the rate's total, so that with no
        // discount it is the stored base and with all of it discounted it is 0.
        const qint64 gross = weights[k];
        const qint64 base =
            gross == 0 ? slot.nBi.Cents()
                       : std::llround(double(slot.nBi.Cents()) * double(due) / double(gross));
        b.tipos.push_back({slot.nPo, Money::FromCents(base), Money::FromCents(due - base)});
    }
    return b;
}

TaxableBreakdown TaxableBreakdown::Read(qint32 nIdFactura) {
    const Rows rows =
        Db().GetRows("SELECT nPorcIpto,nBaseImponible,nCuota FROM FacturasDesglose WHERE "
                     "nIdFactura=" +
                     QString::number(nIdFactura) + " ORDER BY nIdFacturaDesglose");
    TaxableBreakdown b;
    for (int r = 0; r < rows.RowCount(); ++r)
        b.tipos.push_back({U().SqlNumber(rows(0, r)), Money::FromStored(rows(1, r)),
                           Money::FromStored(rows(2, r))});
    return b;
}

TaxableBreakdown TaxableBreakdown::ReadOr(qint32 nIdFactura, const DocumentAmounts& amounts) {
    TaxableBreakdown b = Read(nIdFactura);
    return b.tipos.empty() ? Of(amounts) : b;
}

const QString TaxableBreakdown::Columns =
    QStringLiteral("nIdFactura,nPorcIpto,nBaseImponible,nCuota");

QList<QVariantList> TaxableBreakdown::Values(qint32 nIdFactura) const {
    QList<QVariantList> rows;
    for (const Rate& rate : tipos)
        rows << QVariantList{nIdFactura, Decimal::Fixed(rate.nPorcIpto, 2),
                             rate.nBaseImponible.Text(), rate.nCuota.Text()};
    return rows;
}

void TaxableBreakdown::Write(qint32 nIdFactura) const {
    Db().InsertRows("FacturasDesglose", Columns, Values(nIdFactura));
}
