#pragma once

#include "invoicing/core/DocumentAmounts.h"
#include "invoicing/core/Money.h"

#include <QList>
#include <QString>
#include <map>
#include <vector>

// A pending item as the desk saw it when the invoice was asked for: which item, for which pet,
// and what it came to. An invoice holds exactly the lines its request names, or is not issued.
struct PendingLine {
    qint32 nIdFacturaItem = 0;
    qint32 nIdMascota = 0;
    Money nTotal;

    bool operator==(const PendingLine&) const = default;
};

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
    // The items one by one, in the order they were added: what the desk sees and a request
    // names. Of several clients, each client's apart.
    std::vector<PendingLine> Items() const;
    std::map<qint32, std::vector<PendingLine>> ItemsByClient() const;
    // What the lines come to: the stored total of the items they name.
    static Money Total(const std::vector<PendingLine>& lines);
    // The items as the invoice reads them, and its amounts: the lines priced again and rounded
    // per line as the invoice stores them, less the discount.
    std::vector<DocumentLine> Lines() const;
    DocumentAmounts InvoiceAmounts(Money discount) const;

private:
    QString m_condition;
};
