#include "support/TestSuite.h"

#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <utility>
#include <vector>

namespace {

QStringList Columns(const QString& table) {
    return Db().GetRows("SELECT * FROM " + table + " WHERE 1=0").ColumnNames();
}

// The columns the billing module reads or writes, table by table.
const std::vector<std::pair<QString, QStringList>> Expected = {
    {"Usuarios",
     {"nIdUsuario", "sUsuario", "bClave", "sClave", "nIdSucursal", "bAccesoInterSuc",
      "bAccesoInterUsr", "nIdUsuarioGrupo", "nCajaPara_Facturas", "nCajaPara_PagosClientes",
      "nCajaPara_EntradasCaja", "nCajaPara_SalidasCaja"}},
    {"UsuariosGrupos", {"nIdUsuarioGrupo", "sUsuarioGrupo"}},
    {"Accesos", {"nIdAcceso", "sAcceso"}},
    {"AccesosGrupos", {"nIdAcceso", "nIdUsuarioGrupo", "bAcceso"}},
    {"Contadores", {"nIdContador", "sId", "nIdSucursal", "nContador"}},
    {"ConfiguracionEmpresa", {"sNombre", "sNif"}},
    {"ConfiguracionSucursales", {"nIdSucursal", "sDato", "sValor"}},
    {"Empleados", {"nIdEmpleado", "sEmpleado", "bActivo"}},
    {"Clientes",
     {"nIdCliente", "sCliente", "sDomicilio", "sPoblacion", "sProvincia", "sCodigoPostal", "sDni",
      "nPvpUtilizado", "nFacturado", "nPagado", "nSaldo"}},
    {"Mascotas",
     {"nIdMascota", "sMascota", "nIdCliente", "nIdTipoEspecie", "nIdEmpleado", "bActivo"}},
    {"TipoEspecie", {"nIdTipoEspecie", "sTipoEspecie"}},
    {"ProductosServicios",
     {"nIdProductoServicio", "sProductoServicio", "sCodigo", "nPvp", "nPvp1", "nPvp2", "nPvp3",
      "nPvp4", "nPvp5", "nPorcIpto", "bProducto", "nStockActual", "bVacuna", "nCadencia", "bActivo",
      "bLuzAguaTelefono"}},
    {"MascotasProdServ",
     {"nIdMascota", "dFactura", "nIdProductoServicio", "sConclusion", "nIdFactura"}},
    {"Vacunaciones",
     {"nIdFactura", "nIdFacturaItem", "nIdProductoServicio", "nIdMascota", "dVacunado",
      "dProximaVacuna"}},
    {"FacturasItems",
     {"nIdFacturaItem", "nIdFactura", "nIdCliente", "nIdMascota", "nIdProductoServicio",
      "sConclusion", "nUnidades", "nPvp", "nBaseImp", "nPorcIpto", "nImpuestos", "nTotal"}},
    {"Facturas", {"nIdFactura", "nIdSucursal",     "nIdCliente",
                  "sCliente",   "sDomicilio",      "sPoblacion",
                  "sProvincia", "sCodigoPostal",   "sDni",
                  "nIdUsuario", "nIdEmpleado",     "nIdCaja",
                  "sFactura",   "dFactura",        "nPo_1",
                  "nBi_1",      "nIm_1",           "nPo_2",
                  "nBi_2",      "nIm_2",           "nPo_3",
                  "nBi_3",      "nIm_3",           "nBi_Total",
                  "nIm_Total",  "nTotal",          "nDescuento",
                  "nExento",    "sFacturaAbonada", "dFacturaAbonada"}},
    {"FacturasCobros",
     {"nIdFactura", "dFactura", "nIdCliente", "nImporte", "nIdTipoCobro", "nIdTipoMovimiento",
      "sObservaciones"}},
    {"TipoCobro", {"nIdTipoCobro", "sTipoCobro", "nIdTipoMovimiento"}},
    {"ApuntesCaja",
     {"nIdCaja", "sReferencia", "sTitular", "dApunte", "nIdUsuario", "nIdTipoMovimiento",
      "nImporte", "sDocumento", "sSubcuenta", "sObservaciones"}},
    {"TipoCaja", {"nIdTipoCaja", "sTipoCaja", "bCajaExtra"}},
    {"TipoMovimiento", {"nIdTipoMovimiento", "bEntrada"}},
    {"ProvCompras", {"nIdProveedor", "nPedido", "dPedido", "nUnidades", "nPvd", "nPorcIpto"}},
    {"ProvFacturas",
     {"nIdFactura", "nBI_1", "nIm_1", "nBi_2", "nIm_2", "nBi_3", "nIm_3", "nBi_Total",
      "nIm_Total"}},
    {"ProvFacturasItems", {"nIdFactura", "nUnidades", "nPvd", "nPorcIpto"}},
    {"ProvAlbaranes",
     {"nIdAlbaran", "nBI_1", "nIm_1", "nBi_2", "nIm_2", "nBi_3", "nIm_3", "nBi_Total",
      "nIm_Total"}},
    {"ProvAlbaranesItems", {"nIdAlbaran", "nUnidades", "nPvd", "nPorcIpto"}},
    {"TvBloqueos", {"sTabla", "nIdRegistro", "sHost", "nPid", "nDesde"}},
};

TEST(Schema, EveryTableHasTheColumnsTheModuleUses) {
    TestSuite suite(false);
    for (const auto& [table, columns] : Expected) {
        const QStringList actual = Columns(table);
        for (const QString& column : columns)
            EXPECT_TRUE(actual.contains(column, Qt::CaseInsensitive))
                << qPrintable(table) << " lacks " << qPrintable(column);
    }
}

// Credit notes copy the first six columns of an invoice unchanged and negate every later
// number; payments are reversed by reading their columns by position.
TEST(Schema, ColumnPositionsThatCodeReliesOn) {
    TestSuite suite(false);
    const QStringList invoice = Columns("Facturas");
    const QStringList leading = {"nIdFactura", "nIdSucursal", "nIdCliente",
                                 "nIdUsuario", "nIdEmpleado", "nIdCaja"};
    for (int i = 0; i < leading.size(); ++i)
        EXPECT_EQ(invoice.value(i).toLower(), leading[i].toLower()) << "position " << i;
    EXPECT_FALSE(invoice.value(6).startsWith('n', Qt::CaseInsensitive));
    for (int i = 7; i < invoice.size(); ++i)
        EXPECT_FALSE(invoice[i].startsWith("nId", Qt::CaseInsensitive)) << qPrintable(invoice[i]);

    const QStringList payment = Columns("FacturasCobros");
    EXPECT_EQ(payment.value(0).toLower(), "nidfacturacobro");
    EXPECT_EQ(payment.value(4).toLower(), "nidcliente");
    EXPECT_EQ(payment.value(5).toLower(), "nimporte");
    EXPECT_EQ(payment.value(7).toLower(), "nidtipomovimiento");
}

TEST(Schema, FilteredColumnsAreIndexed) {
    TestSuite suite(false);
    const std::vector<std::pair<QString, QString>> leadingColumns = {
        {"FacturasItems", "nIdCliente"},
        {"FacturasItems", "nIdFactura"},
        {"Mascotas", "sMascota"},
        {"Mascotas", "nIdCliente"},
        {"Clientes", "sCliente"},
        {"ProductosServicios", "sProductoServicio"},
        {"ProductosServicios", "sCodigo"},
        {"Facturas", "nIdCliente"},
        {"Facturas", "sFacturaAbonada"},
        {"Facturas", "sFactura"},
        {"FacturasCobros", "nIdFactura"},
        {"FacturasCobros", "nIdCliente"},
        {"ApuntesCaja", "sDocumento"},
        {"Contadores", "sId"},
        {"ConfiguracionSucursales", "nIdSucursal"},
        {"Vacunaciones", "nIdFactura"},
        {"MascotasProdServ", "nIdFactura"},
        {"TipoCobro", "sTipoCobro"},
        {"Accesos", "sAcceso"},
        {"AccesosGrupos", "nIdAcceso"},
        {"Usuarios", "sUsuario"},
        {"ProvFacturasItems", "nIdFactura"},
        {"ProvAlbaranesItems", "nIdAlbaran"}};
    for (const auto& [table, column] : leadingColumns) {
        const Rows found = Db().GetRows(
            "SELECT il.name FROM pragma_index_list(" + Utility::Quote(table) +
            ") il JOIN pragma_index_info(il.name) ii WHERE ii.seqno=0 AND lower(ii.name)=lower(" +
            Utility::Quote(column) + ")");
        EXPECT_FALSE(found.IsEmpty()) << qPrintable(table) << "." << qPrintable(column);
    }
}

TEST(Schema, KeysAndDefaultsAssignedByTheDatabase) {
    TestSuite suite(false);
    const qint32 first = Db().InsertRecord("Clientes", "sCliente", "'Uno'");
    const qint32 second = Db().InsertRecord("Clientes", "sCliente", "'Dos'");
    EXPECT_GT(first, 0);
    EXPECT_EQ(second, first + 1);
    EXPECT_EQ(Db().GetValue("Clientes", "nIdCliente=" + QString::number(first), "nPvpUtilizado"),
              1);
    const qint32 item = Db().InsertRecord("FacturasItems", "nIdCliente,nTotal", "1,12.5");
    EXPECT_TRUE(
        Db().GetValue("FacturasItems", "nIdFacturaItem=" + QString::number(item), "nIdFactura")
            .isNull());
}

} // namespace
