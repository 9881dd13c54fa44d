// The schema: the columns, positions, indexes, keys and defaults the module relies on.

#include "support/TestEngine.h"
#include "support/TestSuite.h"

#include "platform/data/DataAccess.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "register/RegistroFacturacion.h"
#include "setup/SuiteSetup.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <QTemporaryDir>
#include <utility>

namespace {

QStringList Columns(const QString& table) {
    return Db().GetRows("SELECT * FROM " + table + " WHERE 1=0").ColumnNames();
}

// The columns the billing module reads or writes, table by table.
const std::pair<const char*, const char*> Expected[] = {
    {"Usuarios", "nIdUsuario sUsuario bClave sClave nIdSucursal bAccesoInterSuc bAccesoInterUsr "
                 "nIdUsuarioGrupo nCajaPara_Facturas nCajaPara_PagosClientes "
                 "nCajaPara_EntradasCaja nCajaPara_SalidasCaja"},
    {"UsuariosGrupos", "nIdUsuarioGrupo sUsuarioGrupo"},
    {"Accesos", "nIdAcceso sAcceso"},
    {"AccesosGrupos", "nIdAcceso nIdUsuarioGrupo bAcceso"},
    {"Contadores", "nIdContador sId nIdSucursal nContador"},
    {"ConfiguracionEmpresa", "sNombre sNif"},
    {"ConfiguracionSucursales", "nIdSucursal sDato sValor"},
    {"Empleados", "nIdEmpleado sEmpleado bActivo"},
    {"Clientes", "nIdCliente sCliente sDomicilio sPoblacion sProvincia sCodigoPostal sDni "
                 "nPvpUtilizado nFacturado nPagado nSaldo"},
    {"Mascotas", "nIdMascota sMascota nIdCliente nIdTipoEspecie nIdEmpleado bActivo"},
    {"TipoEspecie", "nIdTipoEspecie sTipoEspecie"},
    {"ProductosServicios", "nIdProductoServicio sProductoServicio sCodigo nPvp nPvp1 nPvp2 nPvp3 "
                           "nPvp4 nPvp5 nPorcIpto bProducto nStockActual bVacuna nCadencia "
                           "bActivo bLuzAguaTelefono"},
    {"MascotasProdServ", "nIdMascota dFactura nIdProductoServicio sConclusion nIdFactura"},
    {"Vacunaciones",
     "nIdFactura nIdFacturaItem nIdProductoServicio nIdMascota dVacunado dProximaVacuna"},
    {"FacturasItems", "nIdFacturaItem nIdFactura nIdCliente nIdMascota nIdProductoServicio "
                      "sConclusion nUnidades nPvp nBaseImp nPorcIpto nImpuestos nTotal"},
    {"Facturas", "nIdFactura nIdSucursal nIdCliente sCliente sDomicilio sPoblacion sProvincia "
                 "sCodigoPostal sDni nIdUsuario nIdEmpleado nIdCaja sFactura dFactura nPo_1 "
                 "nBi_1 nIm_1 nPo_2 nBi_2 nIm_2 nPo_3 nBi_3 nIm_3 nBi_Total nIm_Total nTotal "
                 "nDescuento nExento sFacturaAbonada dFacturaAbonada"},
    {"FacturasCobros", "nIdFactura dFactura nIdCliente nImporte nIdTipoCobro nIdTipoMovimiento "
                       "sObservaciones"},
    {"TipoCobro", "nIdTipoCobro sTipoCobro nIdTipoMovimiento"},
    {"ApuntesCaja", "nIdCaja sReferencia sTitular dApunte nIdUsuario nIdTipoMovimiento nImporte "
                    "sDocumento sSubcuenta sObservaciones"},
    {"TipoCaja", "nIdTipoCaja sTipoCaja bCajaExtra"},
    {"TipoMovimiento", "nIdTipoMovimiento bEntrada"},
    {"ProvCompras", "nIdProveedor nPedido dPedido nUnidades nPvd nPorcIpto"},
    {"ProvFacturas", "nIdFactura nBI_1 nIm_1 nBi_2 nIm_2 nBi_3 nIm_3 nBi_Total nIm_Total"},
    {"ProvFacturasItems", "nIdFactura nUnidades nPvd nPorcIpto"},
    {"ProvAlbaranes", "nIdAlbaran nBI_1 nIm_1 nBi_2 nIm_2 nBi_3 nIm_3 nBi_Total nIm_Total"},
    {"ProvAlbaranesItems", "nIdAlbaran nUnidades nPvd nPorcIpto"},
    {"TvBloqueos", "sTabla nIdRegistro sHost nPid nDesde"},
};

TEST(Schema, EveryTableHasTheColumnsTheModuleUses) {
    TestSuite suite(false);
    for (const auto& [table, columns] : Expected) {
        const QStringList actual = Columns(table);
        for (const QString& column : QString(columns).split(' '))
            EXPECT_TRUE(actual.contains(column, Qt::CaseInsensitive))
                << table << " lacks " << qPrintable(column);
    }
}

// Credit notes copy the first six columns of an invoice unchanged and negate every later
// number; payments are reversed by reading their columns by position.
TEST(Schema, ColumnPositionsThatCodeReliesOn) {
    TestSuite suite(false);
    const QStringList invoice = Columns("Facturas");
    EXPECT_EQ(invoice.mid(0, 6).join(' ').toLower().toStdString(),
              "nidfactura nidsucursal nidcliente nidusuario nidempleado nidcaja");
    EXPECT_FALSE(invoice.value(6).startsWith('n', Qt::CaseInsensitive));
    for (int i = 7; i < invoice.size(); ++i)
        EXPECT_FALSE(invoice[i].startsWith("nId", Qt::CaseInsensitive)) << qPrintable(invoice[i]);

    const QStringList payment = Columns("FacturasCobros");
    const QStringList byPosition = {payment.value(0), payment.value(4), payment.value(5),
                                    payment.value(7)};
    EXPECT_EQ(byPosition.join(' ').toLower().toStdString(),
              "nidfacturacobro nidcliente nimporte nidtipomovimiento");
}

TEST(Schema, FilteredColumnsAreIndexed) {
    TestSuite suite(false);
    const QString leadingColumns =
        "FacturasItems.nIdCliente FacturasItems.nIdFactura Mascotas.sMascota Mascotas.nIdCliente "
        "Clientes.sCliente ProductosServicios.sProductoServicio ProductosServicios.sCodigo "
        "Facturas.nIdCliente Facturas.sFacturaAbonada Facturas.sFactura FacturasCobros.nIdFactura "
        "FacturasCobros.nIdCliente ApuntesCaja.sDocumento Contadores.sId "
        "ConfiguracionSucursales.nIdSucursal Vacunaciones.nIdFactura MascotasProdServ.nIdFactura "
        "TipoCobro.sTipoCobro Accesos.sAcceso AccesosGrupos.nIdAcceso Usuarios.sUsuario "
        "ProvFacturasItems.nIdFactura ProvAlbaranesItems.nIdAlbaran";
    for (const QString& leading : leadingColumns.split(' ')) {
        const QString table = Utility::Quote(leading.section('.', 0, 0));
        const QString column = Utility::Quote(leading.section('.', 1));
        const QString sqlite = "SELECT il.name FROM pragma_index_list(" + table +
                               ") il JOIN pragma_index_info(il.name) ii WHERE ii.seqno=0 AND "
                               "lower(ii.name)=lower(" +
                               column + ")";
        const QString server =
            "SELECT i.relname FROM pg_index x JOIN pg_class t ON "
            "t.oid=x.indrelid JOIN pg_class i ON i.oid=x.indexrelid WHERE "
            "t.relname=lower(" +
            table + ") AND pg_get_indexdef(x.indexrelid, 1, 'true'::boolean)=lower(" + column + ")";
        EXPECT_FALSE(Db().GetRows(TestEngine::Server() ? server : sqlite).IsEmpty())
            << qPrintable(leading);
    }
}

TEST(Schema, KeysAndDefaultsAssignedByTheDatabase) {
    TestSuite suite(false);
    const qint32 first = Db().InsertRecord("Clientes", "sCliente", "'Uno'");
    EXPECT_GT(first, 0);
    EXPECT_EQ(Db().InsertRecord("Clientes", "sCliente", "'Dos'"), first + 1);
    EXPECT_EQ(Db().GetValue("Clientes", "nIdCliente=" + QString::number(first), "nPvpUtilizado"),
              1);
    const qint32 item = Db().InsertRecord("FacturasItems", "nIdCliente,nTotal", "1,12.5");
    EXPECT_TRUE(
        Db().GetValue("FacturasItems", "nIdFacturaItem=" + QString::number(item), "nIdFactura")
            .isNull());
}

// Every table of the open database as "table(column default, ...) [index(columns) ...]", names
// in lower case, so that the two engines' catalogs can be compared. The search indexes of names
// are each engine's own (a full-text table and its own tables on SQLite, a trigram index on the
// server) and are left out.
QStringList Catalog(bool server) {
    QStringList tables;
    const Rows names = Db().GetRows(
        server ? "SELECT table_name FROM information_schema.tables WHERE "
                 "table_schema=current_schema() ORDER BY table_name"
               : "SELECT lower(name) FROM sqlite_master WHERE type='table' AND name "
                 "NOT LIKE 'sqlite_%' AND name NOT LIKE '%Busqueda%' ORDER BY lower(name)");
    for (int t = 0; t < names.RowCount(); ++t) {
        const QString table = names(0, t).toString().toLower();
        QStringList columns;
        const Rows cols = Db().GetRows(
            server ? "SELECT column_name, column_default FROM information_schema.columns WHERE "
                     "table_schema=current_schema() AND table_name=" +
                         Utility::Quote(table) + " ORDER BY ordinal_position"
                   : "SELECT lower(name), dflt_value FROM pragma_table_info(" +
                         Utility::Quote(table) + ") ORDER BY cid");
        for (int c = 0; c < cols.RowCount(); ++c) {
            QString def = cols(1, c).toString();
            def.remove("::text").remove("::double precision");
            columns << cols(0, c).toString().toLower() + " " + def;
        }
        QStringList indexes;
        const Rows ix = Db().GetRows(
            server ? "SELECT i.relname, string_agg(a.attname, ',' ORDER BY k.n) FROM pg_index x "
                     "JOIN pg_class t ON t.oid=x.indrelid JOIN pg_class i ON i.oid=x.indexrelid "
                     "CROSS JOIN LATERAL unnest(x.indkey) WITH ORDINALITY AS k(attnum, n) JOIN "
                     "pg_attribute a ON a.attrelid=t.oid AND a.attnum=k.attnum WHERE "
                     "t.relname=" +
                         Utility::Quote(table) +
                         " AND NOT x.indisprimary AND i.relname NOT LIKE '%\\_trgm' GROUP BY "
                         "i.relname "
                         "ORDER BY i.relname"
                   : "SELECT lower(il.name), group_concat(lower(ii.name), ',') FROM "
                     "pragma_index_list(" +
                         Utility::Quote(table) +
                         ") il JOIN pragma_index_info(il.name) ii WHERE il.origin='c' GROUP BY "
                         "il.name ORDER BY lower(il.name)");
        for (int i = 0; i < ix.RowCount(); ++i)
            indexes << ix(0, i).toString().toLower() + "(" + ix(1, i).toString() + ")";
        tables << table + "(" + columns.join(", ") + ") " + indexes.join(" ");
    }
    return tables;
}

} // namespace

TEST(Schema, TheServerHasTheSameTablesColumnsDefaultsAndIndexes) {
    if (!TestEngine::Server())
        GTEST_SKIP() << "compares the server's schema with the file's: runs on the server";
    QStringList onServer;
    {
        TestSuite suite(false);
        onServer = Catalog(true);
    }
    QTemporaryDir dir;
    ASSERT_EQ(SuiteSetup::Create(dir.path() + "/Tavelo", false), SuiteSetup::Created);
    const QStringList inFile = Catalog(false);
    Db().Close();
    ASSERT_FALSE(inFile.isEmpty());
    EXPECT_EQ(onServer, inFile);
}

// A workstation's account may read and write the suite's rows, not change its tables: starting
// the module on a complete schema must not need more.
TEST(Schema, AWorkstationAccountWithoutOwnerRightsStartsOnACompleteSchema) {
    if (!TestEngine::Server())
        GTEST_SKIP() << "accounts and their rights are the server's";
    TestSuite suite(false);
    DbConfig workstation = TestEngine::ServerConfig();
    workstation.name = Db().GetRows("SELECT current_database()").Value(0, 0).toString();
    workstation.user = "tv_puesto_prueba";
    Db().ExecuteScript("DROP ROLE IF EXISTS tv_puesto_prueba;\n"
                       "CREATE ROLE tv_puesto_prueba LOGIN;\n"
                       "GRANT USAGE ON SCHEMA public TO tv_puesto_prueba;\n"
                       "GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO "
                       "tv_puesto_prueba;\n"
                       "GRANT USAGE, SELECT ON ALL SEQUENCES IN SCHEMA public TO "
                       "tv_puesto_prueba;\n"
                       "REVOKE UPDATE, DELETE ON RegistrosFacturacion FROM tv_puesto_prueba;\n");
    const DbConfig owner = TestEngine::ServerConfig();
    Db().Open(workstation);
    EXPECT_NO_THROW(SuiteSetup::UpdateSchema());
    EXPECT_NO_THROW(Db().InsertRecord("Clientes", "sCliente", "'Ana'"));
    RegistroFacturacion::Registro first;
    first.nIdRegistro =
        Db().GetRows("SELECT COALESCE(MAX(nIdRegistro),0)+1 FROM RegistrosFacturacion")
            .Value(0, 0)
            .toInt();
    first.sNumSerie = "0001/26";
    first.sHuellaAnterior =
        Db().GetRows("SELECT sHuella FROM RegistrosFacturacion WHERE sIdEmisor='' ORDER BY "
                     "nIdRegistro DESC LIMIT 1")
            .Value(0, 0)
            .toString();
    first.sHuella = RegistroFacturacion::Huella(first);
    EXPECT_NO_THROW(Db().InsertRecord("RegistrosFacturacion",
                                      "nIdRegistro,sNumSerie,sHuellaAnterior,sHuella",
                                      QString("%1,'0001/26','%2','%3'")
                                          .arg(first.nIdRegistro)
                                          .arg(first.sHuellaAnterior, first.sHuella)));
    for (const char* sql :
         {"UPDATE RegistrosFacturacion SET sHuella=''", "DELETE FROM RegistrosFacturacion"}) {
        try {
            Db().Execute(sql);
            ADD_FAILURE() << "not refused: " << sql;
        } catch (const TvError& e) {
            EXPECT_TRUE(e.Description().contains("permission denied"))
                << qPrintable(e.Description());
        }
    }
    Db().Close();

    // A missing piece is created when the owner starts the module.
    workstation.user = owner.user;
    Db().Open(workstation);
    Db().ExecuteScript("DROP TRIGGER tv_avisar_items ON FacturasItems;\n"
                       "REVOKE ALL ON SCHEMA public FROM tv_puesto_prueba;\n"
                       "REVOKE ALL ON ALL TABLES IN SCHEMA public FROM tv_puesto_prueba;\n"
                       "REVOKE ALL ON ALL SEQUENCES IN SCHEMA public FROM tv_puesto_prueba;\n"
                       "DROP ROLE tv_puesto_prueba;\n");
    SuiteSetup::UpdateSchema();
    EXPECT_EQ(Db().GetRows("SELECT count(*) FROM pg_trigger WHERE tgname = 'tv_avisar_items'")
                  .Value(0, 0)
                  .toInt(),
              1);
}
