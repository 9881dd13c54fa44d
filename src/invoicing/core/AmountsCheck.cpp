#include "invoicing/core/AmountsCheck.h"

#include "invoicing/core/IssuedDocument.h"
#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"

AmountsCheck AmountsCheck::Run() {
    constexpr int Chunk = 5000;
    AmountsCheck result;
    for (qint32 after = 0;;) {
        const Rows headers = Db().GetRows(
            "SELECT " + IssuedDocument::HeaderColumns + " FROM Facturas WHERE nIdFactura>" +
            QString::number(after) + " ORDER BY nIdFactura LIMIT " + QString::number(Chunk));
        if (headers.IsEmpty())
            break;
        const qint32 last = headers(0, headers.RowCount() - 1).toInt();
        const Rows lines = Db().GetRows(
            "SELECT nIdFactura,nUnidades,nPvp,nPorcIpto FROM FacturasItems WHERE nIdFactura>" +
            QString::number(after) + " AND nIdFactura<=" + QString::number(last) +
            " ORDER BY nIdFactura,nIdFacturaItem");
        int line = 0;
        for (int r = 0; r < headers.RowCount(); ++r) {
            const IssuedDocument stored = IssuedDocument::FromHeader(headers, r, 0);
            std::vector<DocumentLine> own;
            for (; line < lines.RowCount() && lines(0, line).toInt() == stored.nIdFactura; ++line)
                own.push_back({U().SqlNumber(lines(1, line)), U().SqlNumber(lines(2, line)),
                               U().SqlNumber(lines(3, line))});
            const DocumentAmounts computed =
                IssuedDocument::FromLines(stored.kind, own, stored.importes.nDescuento);
            const int c = stored.importes.FirstDifference(computed);
            if (c >= 0) {
                result.agree = false;
                result.message = QStringLiteral("document %1 (id %2): %3 is %4 in Facturas, %5 "
                                                "from its lines")
                                     .arg(stored.sFactura)
                                     .arg(stored.nIdFactura)
                                     .arg(DocumentAmounts::Columns[c], stored.importes.Texts()[c],
                                          computed.Texts()[c]);
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
