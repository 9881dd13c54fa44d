#pragma once

#include "invoicing/core/DocumentAmounts.h"
#include "invoicing/core/Money.h"

#include <QList>
#include <QString>
#include <vector>

// The items of FacturasItems that no invoice holds yet, of one client or of several: what the
// billing grid lists, the payment dialog charges and the next invoice of each client takes.
class PendingItems {
public:
    explicit PendingItems(qint32 nIdCliente);
    explicit PendingItems(const QList<qint32>& clientes);

    // The condition over FacturasItems, for a WHERE of the caller's.
    const QString& Condition() const { return m_condition; }
    // The items of no invoice, of any client; with `table` ("FacturasItems", an alias) their
    // columns are named through it, for a query that joins other tables.
    static QString Unbilled(const QString& table = {});

    // The sum of the items' stored totals, as the grid shows them: what the payment is taken for
    // and what the invoice must still add up to when it is written.
    Money StoredTotal() const;
    // The items as the invoice reads them, and its amounts: the lines priced again and rounded
    // per line as the invoice stores them, less the discount.
    std::vector<DocumentLine> Lines() const;
    DocumentAmounts InvoiceAmounts(Money discount) const;

private:
    QString m_condition;
};
