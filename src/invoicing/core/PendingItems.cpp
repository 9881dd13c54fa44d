// The condition that finds a client's pending items, and their two totals.

#include "invoicing/core/PendingItems.h"

#include "platform/data/DataAccess.h"

#include <QStringList>

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

std::vector<DocumentLine> PendingItems::Lines() const {
    return DocumentLine::Read(m_condition);
}

DocumentAmounts PendingItems::InvoiceAmounts(Money discount) const {
    return DocumentAmounts::Of(Lines(), discount);
}
