#include "invoicing/core/AmountsCheck.h"

#include "invoicing/core/IssuedDocument.h"
#include "invoicing/core/WhatIsLeft.h"
#include "platform/data/DataAccess.h"
#include "platform/report/AmountText.h"
#include "platform/util/Utility.h"

#include <cmath>

namespace {

// The figures a stored document must hold: those of its lines, unless it is the rectification
// that took its invoice's last units after others and holds what was left of the invoice.
DocumentAmounts Expected(qint32 nIdFactura, IssuedDocument::Kind kind,
                         std::vector<DocumentLine> lines, const DocumentAmounts& stored) {
    DocumentAmounts expected = IssuedDocument::FromLines(kind, std::move(lines), stored.nDescuento);
    if (kind == IssuedDocument::Kind::Rectifying && stored.FirstDifference(expected) >= 0)
        if (const std::optional<DocumentAmounts> left = WhatIsLeft::ExpectedOf(nIdFactura))
            return *left;
    return expected;
}

IssuedDocument::Kind KindOf(const QVariant& sFacturaAbonada) {
    // A credit note is the row that names the invoice it cancels.
    return sFacturaAbonada.toString().trimmed().isEmpty() ? IssuedDocument::Kind::Invoice
                                                          : IssuedDocument::Kind::Rectifying;
}

DocumentLine LineAt(const Rows& rows, int r) {
    return {U().SqlNumber(rows(1, r)), U().SqlNumber(rows(2, r)), U().SqlNumber(rows(3, r))};
}

// Column c of DocumentAmounts::Columns as the user reads it.
QString Figure(int c, const DocumentAmounts& amounts) {
    static const char* const totals[] = {"la base imponible", "los impuestos", "el total",
                                         "el descuento"};
    if (c >= 9)
        return QString::fromUtf8(totals[c - 9]);
    const QString rate = AmountText::Plain(std::fabs(amounts.slots[size_t(c / 3)].nPo)) + " %";
    switch (c % 3) {
    case 0:
        return "el " + QString::number(c / 3 + 1) + ".º tipo de IVA";
    case 1:
        return "la base imponible al " + rate;
    default:
        return "la cuota al " + rate;
    }
}

// Column c's value as the user reads it.
QString FigureValue(int c, const DocumentAmounts& amounts) {
    if (c >= 9) {
        const Money totals[] = {amounts.nBi_Total, amounts.nIm_Total, amounts.nTotal,
                                amounts.nDescuento};
        return AmountText::Euros(totals[c - 9].ToDouble());
    }
    const DocumentAmounts::Slot& slot = amounts.slots[size_t(c / 3)];
    if (c % 3 == 0)
        return AmountText::Plain(std::fabs(slot.nPo)) + " %";
    return AmountText::Euros((c % 3 == 1 ? slot.nBi : slot.nIm).ToDouble());
}

// What the breakdown, the payments and the cash-box entries of one document say against its
// header; empty when they agree.
QString Disagreement(const DocumentAmounts& stored, IssuedDocument::Kind kind,
                     const TaxableBreakdown& desglose, Money paid, Money booked) {
    for (const TaxableBreakdown::Rate& rate : desglose.tipos) {
        bool known = false;
        for (const DocumentAmounts::Slot& slot : stored.slots)
            known = known || Money::FromDouble(std::fabs(slot.nPo)) ==
                                 Money::FromDouble(std::fabs(rate.nPorcIpto));
        if (!known)
            return "el desglose tiene un tipo del " + AmountText::Plain(rate.nPorcIpto) +
                   " % que la cabecera no tiene";
    }
    if (desglose.Total() != stored.AmountDue())
        return "el desglose por tipos suma " + AmountText::Euros(desglose.Total().ToDouble()) +
               " y el importe a pagar es " + AmountText::Euros(stored.AmountDue().ToDouble());
    if (paid != booked)
        return "los cobros suman " + AmountText::Euros(paid.ToDouble()) +
               " y sus apuntes de caja " + AmountText::Euros(booked.ToDouble());
    if (kind == IssuedDocument::Kind::Rectifying && paid < std::min(Money(), stored.AmountDue()))
        return "devuelve " + AmountText::Euros((-paid).ToDouble()) + " de un importe de " +
               AmountText::Euros((-stored.AmountDue()).ToDouble());
    return {};
}

} // namespace

AmountsCheck AmountsCheck::Run() {
    constexpr int Chunk = 5000;
    AmountsCheck result;
    for (qint32 after = 0;;) {
        // Only what the check compares and names: reading the whole header (customer texts
        // among them) made the check cost as much as the rest of verify.
        const Rows headers = Db().GetRows(
            "SELECT nIdFactura,sFactura,sFacturaAbonada," + DocumentAmounts::Columns.join(',') +
            " FROM Facturas WHERE nIdFactura>" + QString::number(after) +
            " ORDER BY nIdFactura LIMIT " + QString::number(Chunk));
        if (headers.IsEmpty())
            break;
        const qint32 last = headers(0, headers.RowCount() - 1).toInt();
        const Rows lines = Db().GetRows(
            "SELECT nIdFactura,nUnidades,nPvp,nPorcIpto FROM FacturasItems WHERE nIdFactura>" +
            QString::number(after) + " AND nIdFactura<=" + QString::number(last) +
            " ORDER BY nIdFactura,nIdFacturaItem");
        // The breakdown of each document of the chunk, summed by the database: a rate's row
        // changed behind the module's back no longer adds up to what the document asks.
        const Rows breakdown = Db().GetRows(
            "SELECT nIdFactura,SUM(nBaseImponible+nCuota) FROM FacturasDesglose WHERE nIdFactura>" +
            QString::number(after) + " AND nIdFactura<=" + QString::number(last) +
            " GROUP BY nIdFactura ORDER BY nIdFactura");
        int line = 0;
        int rate = 0;
        for (int r = 0; r < headers.RowCount(); ++r) {
            const qint32 nIdFactura = headers(0, r).toInt();
            const DocumentAmounts importes = DocumentAmounts::FromStored(headers, r, 3);
            std::vector<DocumentLine> own;
            for (; line < lines.RowCount() && lines(0, line).toInt() == nIdFactura; ++line)
                own.push_back(LineAt(lines, line));
            const DocumentAmounts computed =
                Expected(nIdFactura, KindOf(headers(2, r)), std::move(own), importes);
            for (; rate < breakdown.RowCount() && breakdown(0, rate).toInt() < nIdFactura; ++rate)
                ;
            if (rate < breakdown.RowCount() && breakdown(0, rate).toInt() == nIdFactura &&
                Money::FromStored(breakdown(1, rate)) != importes.AmountDue()) {
                result.agree = false;
                result.message = QStringLiteral("document %1 (id %2): its breakdown adds up to %3, "
                                                "its amount due is %4")
                                     .arg(headers(1, r).toString().trimmed())
                                     .arg(nIdFactura)
                                     .arg(Money::FromStored(breakdown(1, rate)).Text(),
                                          importes.AmountDue().Text());
                return result;
            }
            const int c = importes.FirstDifference(computed);
            if (c >= 0) {
                result.agree = false;
                result.message =
                    QStringLiteral("document %1 (id %2): %3 is %4 in Facturas, %5 "
                                   "from its lines")
                        .arg(headers(1, r).toString().trimmed())
                        .arg(nIdFactura)
                        .arg(DocumentAmounts::Columns[c], importes.Texts()[c], computed.Texts()[c]);
                return result;
            }
            ++result.documents;
        }
        after = last;
        if (headers.RowCount() < Chunk)
            break;
    }
    result.message =
        QStringLiteral("amounts: %1 documents agree with their lines").arg(result.documents);
    return result;
}

QString AmountsCheck::BeforeCommit(const QList<qint32>& ids) {
    QStringList keys;
    for (qint32 id : ids)
        keys << QString::number(id);
    const QString in = " IN (" + keys.join(',') + ")";
    const Rows headers = Db().GetRows(
        "SELECT f.nIdFactura,f.sFactura,f.sFacturaAbonada,f." +
        DocumentAmounts::Columns.join(",f.") +
        ",(SELECT SUM(c.nImporte) FROM FacturasCobros c WHERE c.nIdFactura=f.nIdFactura),(SELECT "
        "SUM(a.nImporte) FROM ApuntesCaja a WHERE a.nIdFactura=f.nIdFactura) FROM Facturas f "
        "WHERE f.nIdFactura" +
        in + " ORDER BY f.nIdFactura");
    const Rows lines = Db().GetRows("SELECT nIdFactura,nUnidades,nPvp,nPorcIpto FROM FacturasItems "
                                    "WHERE nIdFactura" +
                                    in + " ORDER BY nIdFactura,nIdFacturaItem");
    const Rows rates = Db().GetRows("SELECT nIdFactura,nPorcIpto,nBaseImponible,nCuota FROM "
                                    "FacturasDesglose WHERE nIdFactura" +
                                    in + " ORDER BY nIdFactura,nIdFacturaDesglose");
    const int after = 3 + int(DocumentAmounts::Columns.size());
    int line = 0, rate = 0;
    for (int r = 0; r < headers.RowCount(); ++r) {
        const qint32 nIdFactura = headers(0, r).toInt();
        const IssuedDocument::Kind kind = KindOf(headers(2, r));
        const DocumentAmounts stored = DocumentAmounts::FromStored(headers, r, 3);
        std::vector<DocumentLine> own;
        for (; line < lines.RowCount() && lines(0, line).toInt() == nIdFactura; ++line)
            own.push_back(LineAt(lines, line));
        TaxableBreakdown desglose;
        for (; rate < rates.RowCount() && rates(0, rate).toInt() == nIdFactura; ++rate)
            desglose.tipos.push_back({U().SqlNumber(rates(1, rate)),
                                      Money::FromStored(rates(2, rate)),
                                      Money::FromStored(rates(3, rate))});
        const QString documento =
            "El documento " + headers(1, r).toString().trimmed() + " no cuadra: ";
        const DocumentAmounts expected = Expected(nIdFactura, kind, std::move(own), stored);
        if (const int c = stored.FirstDifference(expected); c >= 0)
            return documento + Figure(c, expected) + " es " + FigureValue(c, stored) +
                   " en la cabecera y " + FigureValue(c, expected) + " según sus líneas.";
        if (const QString why =
                Disagreement(stored, kind, desglose, Money::FromStored(headers(after, r)),
                             Money::FromStored(headers(after + 1, r)));
            !why.isEmpty())
            return documento + why + ".";
    }
    return {};
}
