// Every stored document's figures checked against each other to the cent.

#include "invoicing/core/AmountsCheck.h"

#include "invoicing/core/IssuedDocument.h"
#include "invoicing/core/WhatIsLeft.h"
#include "platform/data/DataAccess.h"
#include "platform/report/AmountText.h"
#include "platform/util/Decimal.h"
#include "platform/util/Utility.h"

#include <cmath>
#include <utility>

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

IssuedDocument::Kind KindOf(const QString& sFacturaAbonada) {
    // A credit note is the row that names the invoice it cancels.
    return sFacturaAbonada.trimmed().isEmpty() ? IssuedDocument::Kind::Invoice
                                               : IssuedDocument::Kind::Rectifying;
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
        return totals[c - 9].Euros();
    }
    const DocumentAmounts::Slot& slot = amounts.slots[size_t(c / 3)];
    if (c % 3 == 0)
        return AmountText::Plain(std::fabs(slot.nPo)) + " %";
    return (c % 3 == 1 ? slot.nBi : slot.nIm).Euros();
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
        return "el desglose por tipos suma " + f.one.Euros() + " y el importe a pagar es " +
               f.other.Euros();
    case Fault::Kind::Payments:
        return "los cobros suman " + f.one.Euros() + " y sus apuntes de caja " + f.other.Euros();
    case Fault::Kind::GivesBack:
        return "devuelve " + (-f.one).Euros() + " de un importe de " + (-f.other).Euros();
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

// A document's header as the check reads it (HeaderColumns).
struct Header {
    qint32 nIdFactura = 0;
    QString sFactura;
    IssuedDocument::Kind kind = IssuedDocument::Kind::Invoice;
    DocumentAmounts stored;
};

// The header columns CheckDocuments reads.
QString HeaderColumns() {
    return "nIdFactura,sFactura,sFacturaAbonada," + DocumentAmounts::Columns.join(',');
}

// The header read from position `at` of row, in the order of HeaderColumns.
Header HeaderFrom(const RowCursor& row, int at) {
    return {row.Int(at), row.Text(at + 1).trimmed(), KindOf(row.Text(at + 2)),
            DocumentAmounts::FromStored(row, at + 3)};
}

std::vector<Header> HeadersOf(const QString& sql) {
    std::vector<Header> headers;
    Db().ForEachRow(sql, [&](const RowCursor& row) { headers.push_back(HeaderFrom(row, 0)); });
    return headers;
}

// A row of one of a document's parts, beside the id of its document.
template <class Part> struct Owned {
    qint32 nIdFactura;
    Part part;
};

// The parts of a run of documents, each ordered by nIdFactura as the documents are; the payments
// and cash-box entries as one sum per document.
struct Parts {
    std::vector<Owned<DocumentLine>> lines;
    std::vector<Owned<TaxableBreakdown::Rate>> rates;
    std::vector<Owned<Money>> paid, booked;
};

Money MoneyAt(const RowCursor& row, int c) {
    return Money::FromDouble(row.Number(c));
}

DocumentLine LineAt(const RowCursor& row, int at) {
    return {row.Number(at), row.Number(at + 1), row.Number(at + 2)};
}

TaxableBreakdown::Rate RateAt(const RowCursor& row, int at) {
    return {row.Number(at), MoneyAt(row, at + 1), MoneyAt(row, at + 2)};
}

// The rows of sql (nIdFactura first and ordered by it), each part read from its row by `read`.
// Copied out of the engine's row as they pass: a chunk's parts are many times its documents.
template <class Part, class Read>
void PartsOf(const QString& sql, std::vector<Owned<Part>>& parts, Read&& read) {
    Db().ForEachRow(sql, [&](const RowCursor& row) { parts.push_back({row.Int(0), read(row)}); });
}

// The parts of the documents `where` takes (a condition on nIdFactura), one query per table:
// over a whole register, four plain scans are cheaper than one ordered union.
Parts PartsWhere(const QString& where) {
    Parts parts;
    PartsOf("SELECT nIdFactura,nUnidades,nPvp,nPorcIpto FROM FacturasItems WHERE " + where +
                " ORDER BY nIdFactura,nIdFacturaItem",
            parts.lines, [](const RowCursor& row) { return LineAt(row, 1); });
    PartsOf("SELECT nIdFactura,nPorcIpto,nBaseImponible,nCuota FROM FacturasDesglose WHERE " +
                where + " ORDER BY nIdFactura,nIdFacturaDesglose",
            parts.rates, [](const RowCursor& row) { return RateAt(row, 1); });
    const auto sum = [](const RowCursor& row) { return MoneyAt(row, 1); };
    PartsOf("SELECT nIdFactura,SUM(nImporte) FROM FacturasCobros WHERE " + where +
                " GROUP BY nIdFactura ORDER BY nIdFactura",
            parts.paid, sum);
    PartsOf("SELECT nIdFactura,SUM(nImporte) FROM ApuntesCaja WHERE " + where +
                " GROUP BY nIdFactura ORDER BY nIdFactura",
            parts.booked, sum);
    return parts;
}

// The documents of `in` (a condition on nIdFactura) and their parts in one statement, for the
// check before a commit, which asks once for every document issued. Each row says first what it
// holds (0 a header with the sums of its payments and cash-box entries, 1 a line, 2 a breakdown
// rate) and its document, and last its place among the document's rows; a part's three figures
// stand where the header's first three do, and what a kind does not fill is NULL.
QString WrittenSql(const QString& in) {
    // The header's amounts and its two sums.
    const int figures = int(DocumentAmounts::Columns.size()) + 2;
    const QString unused = QStringLiteral(",NULL").repeated(figures - 3);
    const auto parts = [&](int kind, const char* table, const char* figures, const char* key) {
        return QStringLiteral(" UNION ALL SELECT %1,nIdFactura,NULL,NULL,%2")
                   .arg(QString::number(kind), QLatin1String(figures)) +
               unused + "," + key + " FROM " + table + " WHERE " + in;
    };
    return "SELECT 0,f.nIdFactura,f.sFactura,f.sFacturaAbonada,f." +
           DocumentAmounts::Columns.join(",f.") +
           ",(SELECT SUM(c.nImporte) FROM FacturasCobros c WHERE c.nIdFactura=f.nIdFactura),"
           "(SELECT SUM(a.nImporte) FROM ApuntesCaja a WHERE a.nIdFactura=f.nIdFactura),0 "
           "FROM Facturas f WHERE f." +
           in + parts(1, "FacturasItems", "nUnidades,nPvp,nPorcIpto", "nIdFacturaItem") +
           parts(2, "FacturasDesglose", "nPorcIpto,nBaseImponible,nCuota", "nIdFacturaDesglose") +
           " ORDER BY 2,1," + QString::number(4 + figures + 1);
}

// What WrittenSql answers, as the headers and parts CheckDocuments takes.
std::pair<std::vector<Header>, Parts> Written(const QString& sql) {
    constexpr int FirstFigure = 4;
    const int paid = FirstFigure + int(DocumentAmounts::Columns.size()), booked = paid + 1;
    std::pair<std::vector<Header>, Parts> written;
    std::vector<Header>& headers = written.first;
    Parts& parts = written.second;
    Db().ForEachRow(sql, [&](const RowCursor& row) {
        const qint32 id = row.Int(1);
        switch (row.Int(0)) {
        case 0:
            headers.push_back(HeaderFrom(row, 1));
            parts.paid.push_back({id, MoneyAt(row, paid)});
            parts.booked.push_back({id, MoneyAt(row, booked)});
            break;
        case 1:
            parts.lines.push_back({id, LineAt(row, FirstFigure)});
            break;
        default:
            parts.rates.push_back({id, RateAt(row, FirstFigure)});
        }
    });
    return written;
}

// Advances `at` over the parts of documents before id, then hands `take` each of id's own.
template <class Part, class Take>
void OwnParts(const std::vector<Owned<Part>>& parts, size_t& at, qint32 id, Take&& take) {
    for (; at < parts.size() && parts[at].nIdFactura < id; ++at)
        ;
    for (; at < parts.size() && parts[at].nIdFactura == id; ++at)
        take(parts[at].part);
}

// The sum of document id among `sums` (one per document); 0 when it has none.
Money SumOf(const std::vector<Owned<Money>>& sums, size_t& at, qint32 id) {
    Money sum;
    OwnParts(sums, at, id, [&](Money part) { sum = part; });
    return sum;
}

// The documents of `headers` (ordered by nIdFactura) checked in turn against their `parts`.
// `say` names the first fault; answers it, or empty when they all agree. A document with no
// breakdown rows (issued before the table existed) is held against the breakdown spread from its
// figures, as everything that prints or registers it reads it, when `spreadMissing`.
template <class Say>
QString CheckDocuments(const std::vector<Header>& headers, const Parts& parts, bool spreadMissing,
                       Say&& say) {
    size_t line = 0, rate = 0, payment = 0, entry = 0;
    for (const Header& header : headers) {
        const qint32 id = header.nIdFactura;
        std::vector<DocumentLine> own;
        OwnParts(parts.lines, line, id, [&](const DocumentLine& part) { own.push_back(part); });
        TaxableBreakdown desglose;
        OwnParts(parts.rates, rate, id,
                 [&](const TaxableBreakdown::Rate& part) { desglose.tipos.push_back(part); });
        if (spreadMissing && desglose.tipos.empty())
            desglose = TaxableBreakdown::Of(header.stored);
        const Money cobrado = SumOf(parts.paid, payment, id);
        const Money apuntado = SumOf(parts.booked, entry, id);
        const Fault fault =
            FirstFault(id, header.kind, header.stored, std::move(own), desglose, cobrado, apuntado);
        if (fault.kind != Fault::Kind::None)
            return say(header, fault);
    }
    return {};
}

} // namespace

AmountsCheck AmountsCheck::Run() {
    constexpr int Chunk = 5000;
    AmountsCheck result;
    const auto say = [](const Header& header, const Fault& fault) {
        return QStringLiteral("document %1 (id %2): ")
                   .arg(header.sFactura, QString::number(header.nIdFactura)) +
               ForVerify(fault, header.stored);
    };
    for (qint32 after = 0;;) {
        // Only what the check compares and names: reading the whole header (customer texts
        // among them) made the check cost as much as the rest of verify.
        const std::vector<Header> headers = HeadersOf(
            "SELECT " + HeaderColumns() + " FROM Facturas WHERE nIdFactura>" +
            QString::number(after) + " ORDER BY nIdFactura LIMIT " + QString::number(Chunk));
        if (headers.empty())
            break;
        const qint32 last = headers.back().nIdFactura;
        const QString fault =
            CheckDocuments(headers,
                           PartsWhere("nIdFactura>" + QString::number(after) +
                                      " AND nIdFactura<=" + QString::number(last)),
                           true, say);
        if (!fault.isEmpty()) {
            result.agree = false;
            result.message = fault;
            return result;
        }
        result.documents += int(headers.size());
        after = last;
        if (headers.size() < size_t(Chunk))
            break;
    }
    result.message =
        QStringLiteral("amounts: %1 documents agree with their lines").arg(result.documents);
    return result;
}

QString AmountsCheck::BeforeCommitRead(const QList<qint32>& ids) {
    QStringList keys;
    for (qint32 id : ids)
        keys << QString::number(id);
    return WrittenSql("nIdFactura IN (" + keys.join(',') + ")");
}

QString AmountsCheck::BeforeCommit(const QList<qint32>& ids) {
    if (ids.isEmpty())
        return {};
    const auto [headers, parts] = Written(BeforeCommitRead(ids));
    return CheckDocuments(headers, parts, false, [](const Header& header, const Fault& fault) {
        return "El documento " + header.sFactura +
               " no cuadra: " + ForTheUser(fault, header.stored) + ".";
    });
}
