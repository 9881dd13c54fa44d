// Invoices issued in one batch store exactly the rows the same requests store issued one by one,
// and a batch that cannot be issued leaves nothing.
#include "InvoicingFixture.h"
#include "invoicing/core/PendingItems.h"

#include "billing/GenerarFactura.h"
#include "invoicing/Conta.h"
#include "invoicing/EmitirFactura.h"
#include "register/RegistroFacturacion.h"

#include <QProcess>
#include <vector>

namespace {

using EmitirFacturasTest = InvoicingTest;

constexpr qint32 Fecha = 20270115;

struct Linea {
    QString codigo;
    double units, rate;
};

// One request of the batch: its client's lines (a product code; "" for a line without product),
// payments, discount, cash box, user and days of invoice and issue.
struct Pedido {
    std::vector<Linea> lineas;
    std::vector<std::pair<QString, double>> cobros;
    double descuento;
    qint32 caja, usuario, dFactura, dEmision;
};

const std::vector<Pedido> Pedidos = {
    // A discount, two payments, a vaccine (its next dose), a stocked product and a service.
    {{{"VAC01", 1, 10}, {"PIEN10", 2, 21}, {"CONS01", 1, 21}},
     {{"Efectivo", 50}, {"Tarjeta", 30.5}},
     4.5,
     1,
     1,
     Fecha,
     Fecha + 1},
    // Nothing paid; the same stocked product again, so its stock falls by both invoices.
    {{{"PIEN10", 3, 21}, {"", 1, 0}}, {}, 0, 2, 2, Fecha, Fecha},
    // A payment type that names none books under type 0; another vaccine and its cadence.
    {{{"VAC06", 1, 10}}, {{"Cheque", 10}}, 0, 1, 2, Fecha + 1, Fecha + 3},
    // A cash payment above the total.
    {{{"CONS03", 1, 21}, {"PIEN11", 1, 21}}, {{"Efectivo", 100}}, 0, 2, 1, Fecha + 1, Fecha + 1},
};

// Fresh clients with the batch's pending lines, one client per request.
std::vector<SolicitudFactura> Solicitudes() {
    std::vector<SolicitudFactura> solicitudes;
    for (const Pedido& p : Pedidos) {
        const qint32 client = Db().InsertRecord(
            "Clientes", "sCliente,sDomicilio,sPoblacion,sProvincia,sCodigoPostal,sDni",
            "'Pérez, Ana','Calle Mayor 1','Huesca','Huesca','22001','12345678Z'");
        const qint32 pet = Db().InsertRecord("Mascotas", "sMascota,nIdCliente",
                                             "'Pruebo'," + QString::number(client));
        for (const Linea& l : p.lineas) {
            const qint32 product =
                l.codigo.isEmpty()
                    ? 0
                    : Db().GetValue("ProductosServicios", "sCodigo='" + l.codigo + "'").toInt();
            const qint32 item = InvoicingTest::AddItem(client, l.units, 12.5, l.rate, product);
            Db().UpdateRecord("FacturasItems", "nIdMascota,sConclusion",
                              QString::number(pet) + ",'Bien'",
                              "nIdFacturaItem=" + QString::number(item));
        }
        solicitudes.push_back(InvoicingTest::SolicitudCobrada(client, "Pérez, Ana", "Ana Pérez",
                                                              p.caja, p.usuario, p.dFactura,
                                                              p.dEmision, p.cobros, p.descuento));
    }
    return solicitudes;
}

// Every row the invoices numbered "T..." wrote, keys replaced by their invoice's number and the
// client's position, a table per line.
QString Escrito() {
    const QString f = "(SELECT f.sFactura FROM Facturas f WHERE f.nIdFactura=x.nIdFactura)";
    const QString mine = " WHERE x.nIdFactura IN (SELECT nIdFactura FROM Facturas WHERE sFactura "
                         "LIKE 'T%')";
    const QStringList tables = {
        "SELECT nIdSucursal,sCliente,sDomicilio,sPoblacion,sProvincia,sCodigoPostal,sDni,"
        "nIdUsuario,nIdEmpleado,nIdCaja,sFactura,dFactura,nPo_1,nBi_1,nIm_1,nPo_2,nBi_2,nIm_2,"
        "nPo_3,nBi_3,nIm_3,nBi_Total,nIm_Total,nTotal,nDescuento,nExento FROM Facturas x" +
            mine + " ORDER BY sFactura",
        "SELECT " + f + ",nUnidades,nTotal FROM FacturasItems x" + mine +
            " ORDER BY nIdFacturaItem",
        "SELECT " + f +
            ",dFactura,nImporte,nIdTipoCobro,nIdTipoMovimiento,sObservaciones FROM "
            "FacturasCobros x" +
            mine + " ORDER BY 1,nIdFacturaCobro",
        "SELECT " + f +
            ",nIdCaja,sReferencia,sTitular,dApunte,nIdUsuario,nIdTipoMovimiento,"
            "nImporte,sDocumento,sSubcuenta,sObservaciones FROM ApuntesCaja x" +
            mine + " ORDER BY 1,nIdApunteCaja",
        "SELECT " + f + ",dFactura,nIdProductoServicio,sConclusion FROM MascotasProdServ x" + mine +
            " ORDER BY 1,nIdMascotaProdServ",
        "SELECT " + f + ",nIdProductoServicio,dVacunado,dProximaVacuna FROM Vacunaciones x" + mine +
            " ORDER BY 1,nIdFacturaItem",
        "SELECT " + f + ",nPorcIpto,nBaseImponible,nCuota FROM FacturasDesglose x" + mine +
            " ORDER BY 1,nPorcIpto",
        "SELECT sNumSerie,sFechaExpedicion,sTipoFactura,sCuotaTotal,sImporteTotal FROM "
        "RegistrosFacturacion x" +
            mine + " ORDER BY nIdRegistro",
        "SELECT nFacturado,nPagado,nSaldo FROM Clientes WHERE nIdCliente IN (SELECT nIdCliente "
        "FROM Facturas WHERE sFactura LIKE 'T%') ORDER BY nIdCliente",
        "SELECT sCodigo,nStockActual FROM ProductosServicios WHERE sCodigo IN "
        "('VAC01','VAC06','PIEN10','PIEN11','CONS01','CONS03') ORDER BY sCodigo"};
    QStringList text;
    for (const QString& sql : tables)
        text << RowText(Db().GetRows(sql));
    return text.join("\n--\n");
}

QStringList Numeros(size_t n) {
    QStringList numeros;
    for (size_t i = 0; i < n; ++i)
        numeros << QString("T%1/27").arg(i + 1, 4, 10, QChar('0'));
    return numeros;
}

TEST_F(EmitirFacturasTest, ABatchStoresWhatTheSameInvoicesStoreOneByOne) {
    QString oneByOne;
    {
        // Rolled back at the end of the block, so the batch starts from the same data.
        TransactionGuard outer;
        const std::vector<SolicitudFactura> solicitudes = Solicitudes();
        const QStringList numeros = Numeros(solicitudes.size());
        for (size_t i = 0; i < solicitudes.size(); ++i)
            ASSERT_TRUE(EmitirFactura(solicitudes[i], numeros[qsizetype(i)]).Hecho());
        oneByOne = Escrito();
    }
    ASSERT_FALSE(Db().InTransaction());
    ASSERT_EQ(Count("Facturas", "sFactura LIKE 'T%'"), 3) << "the demo's own";

    const std::vector<SolicitudFactura> solicitudes = Solicitudes();
    const std::vector<qint32> ids = *EmitirFacturas(solicitudes, Numeros(solicitudes.size()));
    const QString batch = Escrito();
    EXPECT_EQ(batch, oneByOne);
    // Every figure the cases are about shows up in what was compared.
    for (const char* expected : {"Cobro Cheque", "20280115", "20270215", "4.5"})
        EXPECT_TRUE(batch.contains(expected)) << expected << "\n" << batch.toStdString();

    // The ids answer the requests in order, and the register chains them so.
    ASSERT_EQ(ids.size(), solicitudes.size());
    for (size_t i = 0; i < ids.size(); ++i)
        EXPECT_EQ(
            Value("SELECT nIdCliente FROM Facturas WHERE nIdFactura=" + QString::number(ids[i]))
                .toInt(),
            solicitudes[i].nIdCliente);
    const RegistroFacturacion::Verificacion chain = RegistroFacturacion::Verificar();
    EXPECT_TRUE(chain.intact) << chain.message.toStdString();
    EXPECT_EQ(Count("FacturasItems", PendingItems(solicitudes.front().nIdCliente).Condition()), 0);
}

TEST_F(EmitirFacturasTest, ABatchThatCannotBeIssuedLeavesNothing) {
    const int invoices = Count("Facturas");
    const int payments = Count("FacturasCobros");
    std::vector<SolicitudFactura> solicitudes = Solicitudes();

    // One client twice: its pending lines are one invoice, the second would be empty.
    std::vector<SolicitudFactura> twice = {solicitudes[0], solicitudes[1], solicitudes[0]};
    EXPECT_EQ(Refusal(EmitirFacturas(twice, Numeros(3))),
              "El cliente " + QString::number(solicitudes[0].nIdCliente) +
                  " está dos veces en el mismo lote de facturas: sus ítems pendientes "
                  "forman una sola factura.");

    // A client that does not exist, the last of the batch: the others are not issued either.
    solicitudes.back().nIdCliente = 999999;
    EXPECT_EQ(Refusal(EmitirFacturas(solicitudes, Numeros(solicitudes.size()))),
              "Debe definir cliente previamente");

    // Items changed on another workstation for one of them: the message names its number.
    solicitudes = Solicitudes();
    solicitudes[1].lineas.front().nTotal += Money::FromCents(1);
    const QString message = Refusal(EmitirFacturas(solicitudes, Numeros(solicitudes.size())));
    EXPECT_TRUE(message.startsWith("Los ítems pendientes del cliente han cambiado en otro puesto "
                                   "mientras se cobraba: la factura T0002/27 no se ha emitido."))
        << message.toStdString();

    EXPECT_FALSE(Db().InTransaction());
    EXPECT_EQ(Count("Facturas"), invoices);
    EXPECT_EQ(Count("FacturasCobros"), payments);
    EXPECT_EQ(Count("FacturasItems", "nIdFactura IS NULL AND nIdCliente=" +
                                         QString::number(solicitudes[1].nIdCliente)),
              2);
}

// Another desk's document of the same client and product, committed while this desk issues its
// invoice on a server, is neither written over nor left out: the stock falls by both sales and
// the balance counts both documents.
TEST_F(EmitirFacturasTest, ADocumentOfAnotherWorkstationMeanwhileIsCountedToo) {
    if (!TestEngine::Server())
        GTEST_SKIP() << "SQLite takes one writer at a time: the documents cannot interleave";
    const qint32 client = NewClient();
    AddItem(client, 2, 10, 21, Product("PIEN10"));
    const double stock = Stock("PIEN10");
    const QString id = QString::number(client);
    // The other desk's rows, each first statement taking the row this desk comes to write; it
    // holds them half a second before committing.
    const QStringList others = {
        "UPDATE ProductosServicios SET nStockActual=nStockActual-5 WHERE sCodigo='PIEN10';",
        "UPDATE Clientes SET nPagado=nPagado WHERE nIdCliente=" + id +
            "; INSERT INTO FacturasCobros (" + Conta::ColumnasCobroCliente + ") VALUES (0," +
            QString::number(Fecha) + "," + id + ",10,1,1,'');"};
    const DbConfig server = TestEngine::ServerConfig();
    for (int k = 0; k < int(others.size()); ++k) {
        QProcess other;
        other.setProcessChannelMode(QProcess::MergedChannels);
        other.start("psql",
                    {"-h", server.host, "-p", QString::number(server.port), "-U", server.user, "-d",
                     Value("SELECT current_database()").toString(), "-v", "ON_ERROR_STOP=1"});
        ASSERT_TRUE(other.waitForStarted());
        other.write(("BEGIN;\n" + others[k] + "\nSELECT pg_sleep(0.5);\nCOMMIT;\n").toUtf8());
        other.closeWriteChannel();
        QByteArray said;
        while (!said.contains("UPDATE 1")) {
            ASSERT_TRUE(other.waitForReadyRead(10000)) << said.toStdString();
            said += other.readAll();
        }
        if (k > 0)
            AddItem(client, 2, 10, 21, Product("PIEN10"));
        SolicitudFactura s;
        s.nIdCliente = client;
        s.nIdSucursal = 1;
        s.dFactura = s.dEmision = Fecha;
        s.lineas = PendingItems(client).Items();
        ASSERT_TRUE(EmitirFactura(s, QString("T%1/27").arg(k + 1, 4, 10, QChar('0'))).Hecho());
        // This desk's wait lets events through, so the other may be seen to end during it.
        if (other.state() != QProcess::NotRunning) {
            ASSERT_TRUE(other.waitForFinished(10000));
        }
        ASSERT_EQ(other.exitCode(), 0) << (said + other.readAll()).toStdString();
    }
    EXPECT_EQ(Stock("PIEN10"), stock - 5 - 2 - 2);
    EXPECT_EQ(Table("SELECT nFacturado,nPagado,nSaldo FROM Clientes WHERE nIdCliente=" + id),
              "48.4|10|-38.4");
}

} // namespace
