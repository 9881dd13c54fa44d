#pragma once

#include <QString>

// A walk-in customer buying a bag of food is served without a client record: each branch has one
// client row (Clientes.bMostrador) that its counter sales are issued to, always as simplified
// invoices, products only and no pet. Nobody owes or is owed what is booked to it, so no balance
// is kept for it and the lists where a real client is picked leave it out; its documents are
// registered, booked in the till and listed in the books like any other sale.
namespace Mostrador {

inline const QString Nombre = QStringLiteral("Venta de mostrador");

// The branch's counter customer, created the first time it is asked for (a folder older than
// counter sales has none).
qint32 Cliente(qint32 nIdSucursal);

// Whether the client is a branch's counter customer.
bool EsMostrador(qint32 nIdCliente);

// Why the product named by `condicion` (over ProductosServicios) cannot be sold over the
// counter, or empty: a service or a vaccine is sold for a pet, to its owner.
QString MotivoProducto(const QString& condicion);

// Why a counter customer's pending lines cannot be a counter sale, or empty: a line of a service
// or a vaccine, or one for a pet. The caller knows the client is one (the flag is read once per
// invoice, EsMostrador).
QString MotivoNoVendible(qint32 nIdCliente);

} // namespace Mostrador
