// The condition that finds a client's pending items, and their two totals.

#include "invoicing/core/PendingItems.h"

#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"

#include <QStringList>

namespace {

// The client of each row at column 0, then its item, pet and stored total.
std::map<qint32, std::vector<PendingLine>> ReadItems(const QString& condition) {
    const Rows rows = Db().GetRows("SELECT nIdCliente,nIdFacturaItem,nIdMascota,nTotal FROM "
                                   "FacturasItems WHERE " +
                                   condition + " ORDER BY nIdFacturaItem");
    std::map<qint32, std::vector<PendingLine>> items;
    for (int r = 0; r < rows.RowCount(); ++r)
        items[Utility::ToInt32(U().SqlNumber(rows(0, r)))].push_back(
            {Utility::ToInt32(U().SqlNumber(rows(1, r))),
             Utility::ToInt32(U().SqlNumber(rows(2, r))), Money::FromStored(rows(3, r))});
    return items;
}

} // namespace

PendingItems::PendingItems(qint32 nIdCliente)
    : m_condition(Unbilled() + " AND nIdCliente=" + QString::number(nIdCliente)) {}

PendingItems::PendingItems(const QList<qint32>& clientes) {
    QStringList ids;
    for (qint32 nIdCliente : clientes)
        ids << QString::number(nIdCliente);
    m_condition = Unbilled() + " AND nIdCliente IN (" + ids.join(',') + ")";
}

// An item is pending while it points at no invoice; older folders leave the column NULL.
QString PendingItems::Unbilled(const QString& table) {
    const QString column = table.isEmpty() ? "nIdFactura" : table + ".nIdFactura";
    return "(" + column + "=0 OR ISNULL(" + column + "))";
}

Money PendingItems::StoredTotal() const {
    return Money::FromDouble(Db().SumField("FacturasItems", "nTotal", m_condition));
}

std::vector<PendingLine> PendingItems::Items() const {
    std::vector<PendingLine> items;
    for (const auto& client : ReadItems(m_condition))
        items.insert(items.end(), client.second.begin(), client.second.end());
    return items;
}

std::map<qint32, std::vector<PendingLine>> PendingItems::ItemsByClient() const {
    return ReadItems(m_condition);
}

Money PendingItems::Total(const std::vector<PendingLine>& lines) {
    Money total;
    for (const PendingLine& line : lines)
        total += line.nTotal;
    return total;
}

std::vector<DocumentLine> PendingItems::Lines() const {
    return DocumentLine::Read(m_condition);
}

DocumentAmounts PendingItems::InvoiceAmounts(Money discount) const {
    return DocumentAmounts::Of(Lines(), discount);
}
