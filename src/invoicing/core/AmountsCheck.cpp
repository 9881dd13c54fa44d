// Every stored document's figures checked against each other to the cent.

#include "invoicing/core/AmountsCheck.h"

#include "invoicing/core/IssuedDocument.h"
#include "invoicing/core/WhatIsLeft.h"
#include "platform/data/DataAccess.h"
#include "platform/report/AmountText.h"
#include "platform/util/Decimal.h"
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

// The first figure in which a stored document disagrees with its own parts.
struct Fault {
    enum class Kind { None, Header, UnknownRate, Breakdown, Payments, GivesBack } kind = Kind::None;
    int column = -1;          // Header: the column of DocumentAmounts::Columns
    DocumentAmounts expected; // Header: what its lines add up to
    double rate = 0;          // UnknownRate: the breakdown's rate
    // Breakdown: its sum and the amount due; Payments: paid and booked; GivesBack: paid and the
    // amount due.
    Money one, other;
};

// The one rule both checks follow: the header against its lines (or what was left of the invoice),
// the breakdown against the header's rates and amount due, the payments against their cash-box
// entries and, for a rectification, what it gives back against its amount. An invoice paid on
// account has payments below its total, so payments are held against their entries only.
Fault FirstFault(qint32 nIdFactura, IssuedDocument::Kind kind, const DocumentAmounts& stored,
                 std::vector<DocumentLine> lines, const TaxableBreakdown& desglose, Money paid,
                 Money booked) {
    Fault f;
    f.expected = Expected(nIdFactura, kind, std::move(lines), stored);
    if (f.column = stored.FirstDifference(f.expected); f.column >= 0) {
        f.kind = Fault::Kind::Header;
        return f;
    }
    for (const TaxableBreakdown::Rate& rate : desglose.tipos) {
        bool known = false;
        for (const DocumentAmounts::Slot& slot : stored.slots)
            known = known || Money::FromDouble(std::fabs(slot.nPo)) ==
                                 Money::FromDouble(std::fabs(rate.nPorcIpto));
        if (!known) {
            f.kind = Fault::Kind::UnknownRate;
            f.rate = rate.nPorcIpto;
            return f;
        }
    }
    if (desglose.Total() != stored.AmountDue())
        f = {Fault::Kind::Breakdown, -1, {}, 0, desglose.Total(), stored.AmountDue()};
    else if (paid != booked)
        f = {Fault::Kind::Payments, -1, {}, 0, paid, booked};
    else if (kind == IssuedDocument::Kind::Rectifying &&
             paid < std::min(Money(), stored.AmountDue()))
        f = {Fault::Kind::GivesBack, -1, {}, 0, paid, stored.AmountDue()};
    return f;
}

// The fault as the user reads it, after "El documento X no cuadra: ".
QString ForTheUser(const Fault& f, const DocumentAmounts& stored) {
    switch (f.kind) {
    case Fault::Kind::Header:
        return Figure(f.column, f.expected) + " es " + FigureValue(f.column, stored) +
               " en la cabecera y " + FigureValue(f.column, f.expected) + " según sus líneas";
    case Fault::Kind::UnknownRate:
        return "el desglose tiene un tipo del " + AmountText::Plain(f.rate) +
               " % que la cabecera no tiene";
    case Fault::Kind::Breakdown:
        return "el desglose por tipos suma " + AmountText::Euros(f.one.ToDouble()) +
               " y el importe a pagar es " + AmountText::Euros(f.other.ToDouble());
    case Fault::Kind::Payments:
        return "los cobros suman " + AmountText::Euros(f.one.ToDouble()) +
               " y sus apuntes de caja " + AmountText::Euros(f.other.ToDouble());
    case Fault::Kind::GivesBack:
        return "devuelve " + AmountText::Euros((-f.one).ToDouble()) + " de un importe de " +
               AmountText::Euros((-f.other).ToDouble());
    case Fault::Kind::None:
        break;
    }
    return {};
}

// The fault as verify names it, after "document X (id N): ".
QString ForVerify(const Fault& f, const DocumentAmounts& stored) {
    switch (f.kind) {
    case Fault::Kind::Header:
        return QStringLiteral("%1 is %2 in Facturas, %3 from its lines")
            .arg(DocumentAmounts::Columns[f.column], stored.Texts()[f.column],
                 f.expected.Texts()[f.column]);
    case Fault::Kind::UnknownRate:
        return QStringLiteral("its breakdown has a rate of %1 that its header has not")
            .arg(Decimal::Fixed(f.rate, 2));
    case Fault::Kind::Breakdown:
        return QStringLiteral("its breakdown adds up to %1, its amount due is %2")
            .arg(f.one.Text(), f.other.Text());
    case Fault::Kind::Payments:
        return QStringLiteral("its payments add up to %1, their cash-box entries to %2")
            .arg(f.one.Text(), f.other.Text());
    case Fault::Kind::GivesBack:
        return QStringLiteral("it gives back %1 of an amount due of %2")
            .arg((-f.one).Text(), (-f.other).Text());
    case Fault::Kind::None:
        break;
    }
    return {};
}

// Advances `at` over the rows of `rows` (ordered by their first column, a document's id) that
// come before document id, then hands `take` each row of id's own.
template <class Take> void OwnRows(const Rows& rows, int& at, qint32 id, Take&& take) {
    for (; at < rows.RowCount() && rows(0, at).toInt() < id; ++at)
        ;
    for (; at < rows.RowCount() && rows(0, at).toInt() == id; ++at)
        take(at);
}

// The sum of document id in `sums` (nIdFactura and a SUM, ordered by nIdFactura); 0 when it has
// no row there.
Money SumOf(const Rows& sums, int& at, qint32 id) {
    Money sum;
    OwnRows(sums, at, id, [&](int r) { sum = Money::FromStored(sums(1, r)); });
    return sum;
}

// The documents of `headers` (nIdFactura,sFactura,sFacturaAbonada and DocumentAmounts::Columns,
// ordered by nIdFactura) checked in turn, their parts read with `where` (a condition on
// nIdFactura that takes them all): one query per table, never one per document. `say` names the
// first fault; answers it, or empty when they all agree. A document with no breakdown rows
// (issued before the table existed) is held against the breakdown spread from its figures, as
// everything that prints or registers it reads it, when `spreadMissing`.
template <class Say>
QString CheckDocuments(const Rows& headers, const QString& where, bool spreadMissing, Say&& say) {
    const Rows lines = Db().GetRows("SELECT nIdFactura,nUnidades,nPvp,nPorcIpto FROM FacturasItems "
                                    "WHERE " +
                                    where + " ORDER BY nIdFactura,nIdFacturaItem");
    const Rows rates = Db().GetRows("SELECT nIdFactura,nPorcIpto,nBaseImponible,nCuota FROM "
                                    "FacturasDesglose WHERE " +
                                    where + " ORDER BY nIdFactura,nIdFacturaDesglose");
    const Rows paid = Db().GetRows("SELECT nIdFactura,SUM(nImporte) FROM FacturasCobros WHERE " +
                                   where + " GROUP BY nIdFactura ORDER BY nIdFactura");
    const Rows booked = Db().GetRows("SELECT nIdFactura,SUM(nImporte) FROM ApuntesCaja WHERE " +
                                     where + " GROUP BY nIdFactura ORDER BY nIdFactura");
    int line = 0, rate = 0, payment = 0, entry = 0;
    for (int r = 0; r < headers.RowCount(); ++r) {
        const qint32 nIdFactura = headers(0, r).toInt();
        const DocumentAmounts stored = DocumentAmounts::FromStored(headers, r, 3);
        std::vector<DocumentLine> own;
        OwnRows(lines, line, nIdFactura, [&](int at) { own.push_back(LineAt(lines, at)); });
        TaxableBreakdown desglose;
        OwnRows(rates, rate, nIdFactura, [&](int at) {
            desglose.tipos.push_back({U().SqlNumber(rates(1, at)), Money::FromStored(rates(2, at)),
                                      Money::FromStored(rates(3, at))});
        });
        if (spreadMissing && desglose.tipos.empty())
            desglose = TaxableBreakdown::Of(stored);
        const Money cobrado = SumOf(paid, payment, nIdFactura);
        const Money apuntado = SumOf(booked, entry, nIdFactura);
        const Fault fault = FirstFault(nIdFactura, KindOf(headers(2, r)), stored, std::move(own),
                                       desglose, cobrado, apuntado);
        if (fault.kind != Fault::Kind::None)
            return say(headers, r, fault, stored);
    }
    return {};
}

// The header columns CheckDocuments reads.
QString HeaderColumns() {
    return "nIdFactura,sFactura,sFacturaAbonada," + DocumentAmounts::Columns.join(',');
}

} // namespace

AmountsCheck AmountsCheck::Run() {
    constexpr int Chunk = 5000;
    AmountsCheck result;
    const auto say = [](const Rows& headers, int r, const Fault& fault,
                        const DocumentAmounts& stored) {
        return QStringLiteral("document %1 (id %2): ")
                   .arg(headers(1, r).toString().trimmed(), headers(0, r).toString()) +
               ForVerify(fault, stored);
    };
    for (qint32 after = 0;;) {
        // Only what the check compares and names: reading the whole header (customer texts
        // among them) made the check cost as much as the rest of verify.
        const Rows headers = Db().GetRows(
            "SELECT " + HeaderColumns() + " FROM Facturas WHERE nIdFactura>" +
            QString::number(after) + " ORDER BY nIdFactura LIMIT " + QString::number(Chunk));
        if (headers.IsEmpty())
            break;
        const qint32 last = headers(0, headers.RowCount() - 1).toInt();
        const QString fault = CheckDocuments(headers,
                                             "nIdFactura>" + QString::number(after) +
                                                 " AND nIdFactura<=" + QString::number(last),
                                             true, say);
        if (!fault.isEmpty()) {
            result.agree = false;
            result.message = fault;
            return result;
        }
        result.documents += headers.RowCount();
        after = last;
        if (headers.RowCount() < Chunk)
            break;
    }
    result.message =
        QStringLiteral("amounts: %1 documents agree with their lines").arg(result.documents);
    return result;
}

QString AmountsCheck::BeforeCommit(const QList<qint32>& ids) {
    if (ids.isEmpty())
        return {};
    QStringList keys;
    for (qint32 id : ids)
        keys << QString::number(id);
    const QString in = "nIdFactura IN (" + keys.join(',') + ")";
    const Rows headers = Db().GetRows("SELECT " + HeaderColumns() + " FROM Facturas WHERE " + in +
                                      " ORDER BY nIdFactura");
    return CheckDocuments(
        headers, in, false,
        [](const Rows& headers, int r, const Fault& fault, const DocumentAmounts& stored) {
            return "El documento " + headers(1, r).toString().trimmed() +
                   " no cuadra: " + ForTheUser(fault, stored) + ".";
        });
}
