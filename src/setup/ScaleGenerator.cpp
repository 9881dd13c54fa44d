// A clinic's worth of data in proportion to a size, for measuring the module at scale.

#include "setup/ScaleGenerator.h"

#include "invoicing/EmitirFactura.h"
#include "invoicing/Numeracion.h"
#include "invoicing/core/DocumentAmounts.h"
#include "invoicing/core/PendingItems.h"
#include "platform/data/BulkInsert.h"
#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"
#include "setup/DemoClinic.h"

#include <QDate>
#include <QStringList>
#include <algorithm>
#include <iterator>
#include <map>

namespace {

using Sql::Id;

const char* const FirstNames[] = {
    "Ana",    "Antonio", "María",   "José",   "Carmen", "Manuel",   "Laura",    "David",
    "Isabel", "Javier",  "Pilar",   "Daniel", "Lucía",  "Carlos",   "Marta",    "Pablo",
    "Elena",  "Sergio",  "Sara",    "Jorge",  "Paula",  "Alberto",  "Cristina", "Raúl",
    "Rosa",   "Miguel",  "Irene",   "Rubén",  "Nuria",  "Diego",    "Silvia",   "Adrián",
    "Teresa", "Álvaro",  "Beatriz", "Iván",   "Alicia", "Óscar",    "Eva",      "Hugo",
    "Julia",  "Marcos",  "Natalia", "Víctor", "Clara",  "Fernando", "Raquel",   "Gonzalo",
    "Andrea", "Ignacio"};
const char* const Surnames[] = {
    "García",  "Rodríguez", "González", "Fernández", "López",   "Martínez",  "Sánchez",
    "Pérez",   "Gómez",     "Martín",   "Jiménez",   "Ruiz",    "Hernández", "Díaz",
    "Moreno",  "Muñoz",     "Álvarez",  "Romero",    "Alonso",  "Gutiérrez", "Navarro",
    "Torres",  "Domínguez", "Vázquez",  "Ramos",     "Gil",     "Ramírez",   "Serrano",
    "Blanco",  "Molina",    "Morales",  "Suárez",    "Ortega",  "Delgado",   "Castro",
    "Ortiz",   "Rubio",     "Marín",    "Sanz",      "Núñez",   "Iglesias",  "Medina",
    "Garrido", "Cortés",    "Castillo", "Santos",    "Lozano",  "Guerrero",  "Cano",
    "Prieto",  "Méndez",    "Cruz",     "Calvo",     "Gallego", "Vidal",     "León",
    "Márquez", "Herrera",   "Peña",     "Flores"};
const char* const Streets[] = {"Calle Mayor",         "Avenida Madrid",  "Calle Delicias",
                               "Paseo Sagasta",       "Avenida Goya",    "Calle Don Jaime I",
                               "Calle San Pablo",     "Avenida Navarra", "Calle Miguel Servet",
                               "Avenida de Valencia", "Calle Alfonso I", "Calle Predicadores"};
const char* const Postcodes[] = {"50001", "50002", "50003", "50004", "50005", "50006",
                                 "50007", "50008", "50009", "50010", "50011", "50012",
                                 "50013", "50014", "50015", "50016", "50017", "50018"};
// Pet names the demo does not use, so that a demo name keeps naming only the demo's pets.
const char* const PetNames[] = {
    "Akira",  "Balú",  "Blanca", "Bobby", "Boira", "Cachi", "Dama", "Dolly", "Enzo",  "Fígaro",
    "Flecha", "Gofio", "Hera",   "Indi",  "Jazz",  "Kenzo", "Lasi", "Mora",  "Neska", "Odín",
    "Perla",  "Quira", "Runa",   "Sasha", "Tobi",  "Urko",  "Vega", "Wally", "Yako",  "Zarpa"};

struct Family {
    const char* name;
    double rate;
    bool stocked;
    // Days to a vaccine's next dose; 0 for what is not a vaccine.
    int cadence;
};
const Family Families[] = {{"Pienso", 21, true, 0},
                           {"Snack", 21, true, 0},
                           {"Juguete", 21, true, 0},
                           {"Champú", 21, true, 0},
                           {"Servicio de peluquería", 21, false, 0},
                           {"Antiparasitario", 10, true, 0},
                           {"Suplemento", 10, true, 0},
                           {"Colirio", 10, true, 0},
                           {"Dieta veterinaria", 4, true, 0},
                           {"Vacuna", 10, true, 365}};
const char* const Variants[] = {"perro adulto",   "perro cachorro", "gato adulto",   "gato senior",
                                "razas mini",     "razas grandes",  "piel sensible", "light",
                                "hipoalergénico", "natural"};

int DateNumber(const QDate& date) {
    return date.year() * 10000 + date.month() * 100 + date.day();
}

} // namespace

ScaleGenerator::ScaleGenerator(int thousands) : m_clients(thousands * 1000) {}

void ScaleGenerator::Run() {
    if (m_clients <= 0)
        return;
    TransactionGuard transaction;
    // A server tells the workstations of every change to a client's pending items, row by row,
    // a tenth of the time of each statement that writes them; the clients generated here are
    // new, so no window can be showing any of them. Being inside the transaction, the trigger
    // comes back whatever happens.
    const bool server = Db().IsServerDb();
    if (server)
        Db().Execute("ALTER TABLE FacturasItems DISABLE TRIGGER tv_avisar_items");
    AddProducts();
    AddClients();
    if (server)
        Db().Execute("ALTER TABLE FacturasItems ENABLE TRIGGER tv_avisar_items");
    transaction.Commit();
}

// A 64-bit linear congruential generator: the same rows on every machine and library.
quint32 ScaleGenerator::Random() {
    m_seed = m_seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return quint32(m_seed >> 33);
}

qint32 ScaleGenerator::MaxKey(const QString& table, const QString& key) {
    return Utility::ToInt32(
        U().SqlNumber(Db().GetRows("SELECT MAX(" + key + ") FROM " + table).Value(0, 0)));
}

void ScaleGenerator::AddProducts() {
    BulkInsert rows("ProductosServicios",
                    "nIdProductoServicio,sProductoServicio,sCodigo,sFamilia,nPvp,nPvp1,nPvp2,"
                    "nPvp3,nPvp4,nPvp5,nPvd,nPorcIpto,bProducto,nStockActual,nStockMinimo,"
                    "bVacuna,nCadencia");
    const qint32 first = MaxKey("ProductosServicios", "nIdProductoServicio") + 1;
    const int count = m_clients / 50;
    for (int i = 0; i < count; ++i) {
        const Family& family = Families[Random() % std::size(Families)];
        const QString code = QString("G%1").arg(i + 1, 5, 10, QLatin1Char('0'));
        const double price = 1 + (Random() % 6000) / 100.0;
        Product product{first + i, {}, family.rate};
        QVariantList values{
            product.id,
            QString("%1 %2 %3").arg(family.name, Variants[Random() % std::size(Variants)], code),
            code, QString::fromUtf8(family.name), price};
        for (int level = 0; level < 5; ++level) {
            product.price[level] =
                Utility::RoundHalfAway(price * DemoClinic::LevelFactor[level], 2);
            values << product.price[level];
        }
        // Enough stock for the year's sales, which take some 550 units of each product.
        values << Utility::RoundHalfAway(price * 0.55, 2) << family.rate << int(family.stocked)
               << (family.stocked ? 1000 : 0) << (family.stocked ? 20 : 0)
               << int(family.cadence > 0) << family.cadence;
        rows.Add(std::move(values));
        m_products.push_back(product);
    }
    rows.Flush();
}

void ScaleGenerator::AddClients() {
    qint32 clientId = MaxKey("Clientes", "nIdCliente");
    qint32 petId = MaxKey("Mascotas", "nIdMascota");
    Sales sales;
    for (int type = 0; type < 2; ++type)
        sales.paymentType[type] =
            Db().GetValue("TipoCobro", "nIdTipoCobro=" + Id(type + 1), "sTipoCobro").toString();
    sales.invoiceCount = qint64(m_clients) * InvoicesPerClient;

    for (int chunkStart = 0; chunkStart < m_clients; chunkStart += ClientsPerBatch) {
        const int chunkSize = std::min(ClientsPerBatch, m_clients - chunkStart);
        const std::vector<Client> chunk =
            AddChunk(chunkStart, chunkSize, sales.yearStart, clientId, petId);
        // Each round's lines are pending until the round's invoices are issued together; the
        // last round's single line stays pending.
        for (int round = 0; round <= InvoicesPerClient; ++round)
            SellRound(chunk, round == InvoicesPerClient, sales);
        // A server plans the issuing queries from its statistics, which know nothing of the rows
        // this transaction added: as if the tables were still the demo's, it scans them whole.
        // They are taken again each time the data has doubled (the transaction's own rows
        // count), which costs a fraction of a second each time; SQLite plans by its indexes.
        const int chunks = chunkStart / ClientsPerBatch + 1;
        if (Db().IsServerDb() && (chunks & (chunks - 1)) == 0)
            Db().Execute("ANALYZE");
    }
}

std::vector<ScaleGenerator::Client> ScaleGenerator::AddChunk(int chunkStart, int chunkSize,
                                                             const QDate& yearStart,
                                                             qint32& clientId, qint32& petId) {
    const int nameCombinations =
        int(std::size(FirstNames) * std::size(Surnames) * std::size(Surnames));
    BulkInsert clients("Clientes", "nIdCliente,sCliente,sDomicilio,sPoblacion,sProvincia,"
                                   "sCodigoPostal,sDni,sTelefono,dAlta,nIdSucursal,nPvpUtilizado");
    BulkInsert pets("Mascotas", "nIdMascota,sMascota,nIdCliente,nIdTipoEspecie,"
                                "nIdEmpleado,sSexo,dNacimiento");
    std::vector<Client> chunk;
    for (int i = chunkStart; i < chunkStart + chunkSize; ++i) {
        Client client;
        client.id = ++clientId;
        const int nf = int(std::size(FirstNames)), ns = int(std::size(Surnames));
        client.name =
            QString("%1 %2, %3")
                .arg(Surnames[(i / nf) % ns], Surnames[(i / (nf * ns)) % ns], FirstNames[i % nf]);
        if (i >= nameCombinations)
            client.name += QString(" (%1)").arg(i / nameCombinations + 1);
        client.street =
            QString("%1, %2").arg(Streets[Random() % std::size(Streets)]).arg(1 + Random() % 200);
        const QString postcode = Postcodes[Random() % std::size(Postcodes)];
        const int dniNumber = 20000000 + int(Random() % 70000000);
        client.dni =
            QString::number(dniNumber) + QLatin1Char("TRWAGMYFPDXBNJZSQVHLCKE"[dniNumber % 23]);
        client.level = i % 50 == 13 ? 3 : (i % 10 == 7 ? 2 : 1);
        clients.Add({client.id, client.name, client.street, QStringLiteral("Zaragoza"),
                     QStringLiteral("Zaragoza"), postcode, client.dni,
                     QString("976 %1").arg(100000 + i % 900000),
                     DateNumber(yearStart.addDays(-int(Random() % 3000))), 1, client.level});
        for (int p = 0; p < (i % 2 == 0 ? 2 : 1); ++p) {
            client.pets.push_back(++petId);
            pets.Add({petId, QString::fromUtf8(PetNames[Random() % std::size(PetNames)]), client.id,
                      int(1 + Random() % 3), int(1 + Random() % 3),
                      QString(Random() % 2 ? "H" : "M"),
                      DateNumber(yearStart.addDays(-int(Random() % 5000)))});
        }
        chunk.push_back(client);
    }
    clients.Flush();
    pets.Flush();
    return chunk;
}

void ScaleGenerator::SellRound(const std::vector<Client>& chunk, bool pending, Sales& sales) {
    BulkInsert items("FacturasItems",
                     "nIdCliente,nIdMascota,nIdProductoServicio,sConclusion,nUnidades,"
                     "nPvp,nBaseImp,nPorcIpto,nImpuestos,nTotal");
    std::vector<SolicitudFactura> requests;
    for (const Client& client : chunk) {
        std::vector<DocumentLine> lines;
        for (int l = 0; l < (pending ? 1 : LinesPerInvoice); ++l) {
            const Product& product = m_products[Random() % m_products.size()];
            const int units = Random() % 8 == 0 ? 2 + int(Random() % 2) : 1;
            const DocumentLine line{double(units), product.price[client.level - 1], product.rate};
            const LinePricing pricing = line.Pricing();
            items.Add({client.id, client.pets[Random() % client.pets.size()], product.id,
                       QString(""), units, line.nPvp, pricing.ExactBase(), line.nPorcIpto,
                       pricing.ExactTax(), pricing.Total().Text()});
            lines.push_back(line);
        }
        if (pending)
            continue;
        requests.push_back(Request(client, lines, sales));
    }
    items.Flush();
    if (requests.empty())
        return;
    // The rows just written, with the keys the database gave them, are each invoice's lines.
    QList<qint32> clients;
    for (const SolicitudFactura& s : requests)
        clients << s.nIdCliente;
    std::map<qint32, std::vector<PendingLine>> written = PendingItems(clients).ItemsByClient();
    for (SolicitudFactura& s : requests)
        s.lineas = std::move(written[s.nIdCliente]);
    // Read, so that a refusal, which only a fault of the generator can bring, is raised.
    *EmitirFacturas(requests,
                    Numeracion::Siguientes(1, requests.front().dFactura, qint32(requests.size())));
}

SolicitudFactura ScaleGenerator::Request(const Client& client,
                                         const std::vector<DocumentLine>& lines, Sales& sales) {
    const bool card = Random() % 3 == 0;
    SolicitudFactura s;
    s.nIdCliente = client.id;
    s.sTitular = client.name;
    s.nIdEmpleado = 1 + Random() % 3;
    s.nIdCaja = card ? 2 : 1;
    s.nIdSucursal = 1;
    s.nIdUsuario = qint32(1 + Random() % 2);
    s.dFactura =
        DateNumber(sales.yearStart.addDays(int(sales.serial++ * 364 / sales.invoiceCount)));
    s.dEmision = s.dFactura;
    s.cobro.sCliente = client.name;
    s.cobro.sDomicilio = client.street;
    s.cobro.sDni = client.dni;
    // 90 % paid in full, 7 % half, 3 % not at all.
    const Money nTotal = DocumentAmounts::Of(lines, {}).nTotal;
    const quint32 share = Random() % 100;
    s.cobro.sTipoCobro[0] = sales.paymentType[card ? 1 : 0];
    s.cobro.nImporte[0] = share < 90   ? nTotal
                          : share < 97 ? nTotal.Times(0.5, Money::Rounding::HalfAwayFromZero)
                                       : Money();
    return s;
}
