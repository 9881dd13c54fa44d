#include "invoicing/core/AmountsCheck.h"

#include "invoicing/core/IssuedDocument.h"
#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"

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
        int line = 0;
        for (int r = 0; r < headers.RowCount(); ++r) {
            const qint32 nIdFactura = headers(0, r).toInt();
            const DocumentAmounts importes = DocumentAmounts::FromStored(headers, r, 3);
            // A credit note is the row that names the invoice it cancels.
            const auto kind = headers(2, r).toString().trimmed().isEmpty()
                                  ? IssuedDocument::Kind::Invoice
                                  : IssuedDocument::Kind::Rectifying;
            std::vector<DocumentLine> own;
            for (; line < lines.RowCount() && lines(0, line).toInt() == nIdFactura; ++line)
                own.push_back({U().SqlNumber(lines(1, line)), U().SqlNumber(lines(2, line)),
                               U().SqlNumber(lines(3, line))});
            const DocumentAmounts computed =
                IssuedDocument::FromLines(kind, own, importes.nDescuento);
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
