// The branch's counter customer and what may be sold to it.

#include "invoicing/Mostrador.h"

#include "invoicing/core/PendingItems.h"
#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"

namespace {

// A service, or a vaccine (its next dose is the pet's), is sold to a pet's owner.
bool ParaMascota(const QVariant& bProducto, const QVariant& bVacuna) {
    return U().SqlNumber(bProducto) == 0 || U().SqlNumber(bVacuna) != 0;
}

QString ServicioRechazado(const QString& sProducto) {
    return "«" + sProducto +
           "» es para una mascota: en una venta de mostrador solo se venden productos, sin "
           "mascota. Para venderlo, elija la mascota y su cliente.";
}

} // namespace

qint32 Mostrador::Cliente(qint32 nIdSucursal) {
    const QString sucursal = "bMostrador=1 AND nIdSucursal=" + QString::number(nIdSucursal);
    if (const qint32 id = Utility::ToInt32(U().SqlNumber(
            Db().GetValue("Clientes", sucursal + " ORDER BY nIdCliente", "nIdCliente"))))
        return id;
    return Db().InsertRecord("Clientes", "sCliente,nIdSucursal,bMostrador",
                             U().SqlValue(Nombre, 0, true) + "," + QString::number(nIdSucursal) +
                                 ",1");
}

bool Mostrador::EsMostrador(qint32 nIdCliente) {
    return U().SqlNumber(Db().GetValue("Clientes", "nIdCliente=" + QString::number(nIdCliente),
                                       "bMostrador")) != 0;
}

QString Mostrador::MotivoProducto(const QString& condicion) {
    const Rows producto = Db().GetRows(
        "SELECT sProductoServicio,bProducto,bVacuna FROM ProductosServicios WHERE " + condicion);
    if (producto.IsEmpty() || !ParaMascota(producto(1, 0), producto(2, 0)))
        return {};
    return ServicioRechazado(producto(0, 0).toString());
}

QString Mostrador::MotivoNoVendible(qint32 nIdCliente) {
    const Rows lineas = Db().GetRows(
        "SELECT p.sProductoServicio,p.bProducto,p.bVacuna,i.nIdMascota FROM (SELECT * FROM "
        "FacturasItems WHERE " +
        PendingItems(nIdCliente).Condition() +
        ") i LEFT JOIN ProductosServicios p ON p.nIdProductoServicio=i.nIdProductoServicio ORDER "
        "BY i.nIdFacturaItem");
    for (int r = 0; r < lineas.RowCount(); ++r) {
        if (ParaMascota(lineas(1, r), lineas(2, r)))
            return ServicioRechazado(lineas(0, r).toString());
        if (U().SqlNumber(lineas(3, r)) != 0)
            return "Una venta de mostrador no es para ninguna mascota: la línea de «" +
                   lineas(0, r).toString() + "» lleva una. Bórrela y apúntela a su cliente.";
    }
    return {};
}
