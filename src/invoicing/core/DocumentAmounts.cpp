// A document's lines read and worked out into its breakdown by tax rate and its totals.

#include "invoicing/core/DocumentAmounts.h"

#include "platform/data/DataAccess.h"
#include "platform/util/Decimal.h"
#include "platform/util/Utility.h"

#include <algorithm>

namespace {

// Units, price and rate from position `at` of row r.
DocumentLine LineAt(const Rows& rows, int r, int at) {
    return {U().SqlNumber(rows(at, r)), U().SqlNumber(rows(at + 1, r)),
            U().SqlNumber(rows(at + 2, r))};
}

} // namespace

double DocumentLine::Units(double units) {
    return Utility::RoundHalfAway(units, 4);
}

std::vector<DocumentLine> DocumentLine::Read(const QString& condition) {
    const Rows rows = Db().GetRows("SELECT nUnidades,nPvp,nPorcIpto FROM FacturasItems WHERE " +
                                   condition + " ORDER BY nPorcIpto,nIdFacturaItem");
    std::vector<DocumentLine> lines;
    lines.reserve(size_t(rows.RowCount()));
    for (int r = 0; r < rows.RowCount(); ++r)
        lines.push_back(LineAt(rows, r, 0));
    return lines;
}

QString DocumentLine::ByClientQuery(const QString& condition) {
    return "SELECT nIdCliente,nUnidades,nPvp,nPorcIpto FROM FacturasItems WHERE " + condition +
           " ORDER BY nPorcIpto,nIdFacturaItem";
}

std::map<qint32, std::vector<DocumentLine>> DocumentLine::ByClient(const Rows& rows) {
    std::map<qint32, std::vector<DocumentLine>> lines;
    for (int r = 0; r < rows.RowCount(); ++r)
        lines[Utility::ToInt32(U().SqlNumber(rows(0, r)))].push_back(LineAt(rows, r, 1));
    return lines;
}

TaxBreakdown TaxBreakdown::Of(const std::vector<DocumentLine>& lines) {
    std::vector<double> distinct;
    for (const DocumentLine& line : lines)
        distinct.push_back(line.nPorcIpto);
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());

    TaxBreakdown b;
    b.rates = int(distinct.size());
    for (size_t k = 0; k < b.slots.size() && k < distinct.size(); ++k) {
        Slot& slot = b.slots[k];
        slot.nPo = distinct[k];
        // Rate by rate, lines in their own order: the order the stored sums were added in.
        for (const DocumentLine& line : lines) {
            if (line.nPorcIpto != slot.nPo)
                continue;
            const LinePricing pricing = line.Pricing();
            const double base = pricing.ExactBase();
            const double tax = pricing.ExactTax();
            slot.nBi += base;
            slot.nIm += tax;
            b.nBi_Total += base;
            b.nIm_Total += tax;
        }
    }
    return b;
}

DocumentAmounts DocumentAmounts::Of(const TaxBreakdown& breakdown, Money discount) {
    DocumentAmounts a;
    for (size_t k = 0; k < a.slots.size(); ++k) {
        const TaxBreakdown::Slot& from = breakdown.slots[k];
        a.slots[k] = {from.nPo, Money::FromDouble(from.nBi), Money::FromDouble(from.nIm)};
    }
    a.nBi_Total = Money::FromDouble(breakdown.nBi_Total);
    a.nIm_Total = Money::FromDouble(breakdown.nIm_Total);
    a.nTotal = Money::FromDouble(breakdown.nTotal());
    a.nDescuento = discount;
    a.rates = breakdown.rates;
    return a;
}

DocumentAmounts DocumentAmounts::Of(const std::vector<DocumentLine>& lines, Money discount) {
    return Of(TaxBreakdown::Of(lines), discount);
}

DocumentAmounts DocumentAmounts::FromStored(const Rows& rows, int r, int at) {
    return FromStored(RowsCursor(rows, r), at);
}

DocumentAmounts DocumentAmounts::FromStored(const RowCursor& row, int at) {
    // As Money::FromStored reads each, without a QVariant for every figure.
    const auto money = [&](int c) { return Money::FromDouble(row.Number(at + c)); };
    DocumentAmounts a;
    for (int k = 0; k < 3; ++k)
        a.slots[size_t(k)] = {row.Number(at + 3 * k), money(3 * k + 1), money(3 * k + 2)};
    a.nBi_Total = money(9);
    a.nIm_Total = money(10);
    a.nTotal = money(11);
    a.nDescuento = money(12);
    return a;
}

DocumentAmounts DocumentAmounts::Negated() const {
    DocumentAmounts a = *this;
    for (Slot& slot : a.slots)
        slot = {slot.nPo == 0 ? 0.0 : -slot.nPo, -slot.nBi, -slot.nIm};
    a.nBi_Total = -nBi_Total;
    a.nIm_Total = -nIm_Total;
    a.nTotal = -nTotal;
    a.nDescuento = -nDescuento;
    return a;
}

const QStringList DocumentAmounts::Columns = {
    "nPo_1", "nBi_1", "nIm_1",     "nPo_2",     "nBi_2",  "nIm_2",     "nPo_3",
    "nBi_3", "nIm_3", "nBi_Total", "nIm_Total", "nTotal", "nDescuento"};

QStringList DocumentAmounts::Texts() const {
    QStringList texts;
    for (const Slot& slot : slots)
        texts << Decimal::Fixed(slot.nPo, 2) << slot.nBi.Text() << slot.nIm.Text();
    texts << nBi_Total.Text() << nIm_Total.Text() << nTotal.Text() << nDescuento.Text();
    return texts;
}

int DocumentAmounts::FirstDifference(const DocumentAmounts& other) const {
    for (size_t k = 0; k < slots.size(); ++k) {
        const Slot& a = slots[k];
        const Slot& b = other.slots[k];
        const int at = int(k) * 3;
        if (Money::FromDouble(a.nPo) != Money::FromDouble(b.nPo))
            return at;
        if (a.nBi != b.nBi)
            return at + 1;
        if (a.nIm != b.nIm)
            return at + 2;
    }
    const Money mine[] = {nBi_Total, nIm_Total, nTotal, nDescuento};
    const Money theirs[] = {other.nBi_Total, other.nIm_Total, other.nTotal, other.nDescuento};
    for (int c = 0; c < 4; ++c)
        if (mine[c] != theirs[c])
            return 9 + c;
    return -1;
}
