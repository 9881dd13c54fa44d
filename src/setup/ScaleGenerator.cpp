#include "setup/ScaleGenerator.h"

#include "invoicing/core/DocumentAmounts.h"
#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"
#include "setup/DemoClinic.h"

#include <QDate>
#include <QStringList>
#include <cmath>
#include <iterator>

namespace {

QString Amount(double value) {
    return U().SqlValue(value, 2, true);
}
QString Number(double value) {
    return U().SqlValue(value, 0, true);
}
QString Id(qint64 id) {
    return QString::number(id);
}

// Collects rows of one table and writes them as one INSERT every few hundred rows, which is
// what makes a million rows take seconds instead of minutes.
class Batch {
public:
    Batch(const QString& table, const QString& columns)
        : m_head("INSERT INTO " + table + " (" + columns + ") VALUES ") {}
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    void Add(const QStringList& values) {
        m_sql += (m_rows == 0 ? m_head : QStringLiteral(",")) + "(" + values.join(',') + ")";
        if (++m_rows == RowsPerStatement)
            Flush();
    }
    void Flush() {
        if (m_rows == 0)
            return;
        Db().Execute(m_sql);
        m_sql.clear();
        m_rows = 0;
    }

private:
    static constexpr int RowsPerStatement = 500;
    QString m_head;
    QString m_sql;
    int m_rows = 0;
};

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
};
const Family Families[] = {{"Pienso", 21, true},
                           {"Snack", 21, true},
                           {"Juguete", 21, true},
                           {"Champú", 21, true},
                           {"Servicio de peluquería", 21, false},
                           {"Antiparasitario", 10, true},
                           {"Suplemento", 10, true},
                           {"Colirio", 10, true},
                           {"Dieta veterinaria", 4, true}};
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
    Db().Transaction(0);
    try {
        AddProducts();
        AddClients();
        Db().Transaction(1);
    } catch (...) {
        Db().Transaction(2);
        throw;
    }
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
    Batch rows("ProductosServicios",
               "nIdProductoServicio,sProductoServicio,sCodigo,sFamilia,nPvp,nPvp1,nPvp2,nPvp3,"
               "nPvp4,nPvp5,nPvd,nPorcIpto,bProducto,nStockActual,nStockMinimo");
    const qint32 first = MaxKey("ProductosServicios", "nIdProductoServicio") + 1;
    const int count = m_clients / 50;
    for (int i = 0; i < count; ++i) {
        const Family& family = Families[Random() % std::size(Families)];
        const QString code = QString("G%1").arg(i + 1, 5, 10, QLatin1Char('0'));
        const double price = 1 + (Random() % 6000) / 100.0;
        Product product{first + i, {}, family.rate};
        QStringList values{
            Id(product.id),
            Utility::Quote(QString("%1 %2 %3")
                               .arg(family.name, Variants[Random() % std::size(Variants)], code)),
            Utility::Quote(code), Utility::Quote(family.name), Number(price)};
        for (int level = 0; level < 5; ++level) {
            product.price[level] =
                Utility::RoundHalfAway(price * DemoClinic::LevelFactor[level], 2);
            values << Number(product.price[level]);
        }
        values << Number(Utility::RoundHalfAway(price * 0.55, 2)) << Number(family.rate)
               << Id(family.stocked) << Id(family.stocked ? 500 : 0) << Id(family.stocked ? 20 : 0);
        rows.Add(values);
        m_products.push_back(product);
    }
    rows.Flush();
}

void ScaleGenerator::AddClients() {
    Batch clients("Clientes", "nIdCliente,sCliente,sDomicilio,sPoblacion,sProvincia,sCodigoPostal,"
                              "sDni,sTelefono,dAlta,nIdSucursal,nPvpUtilizado,nFacturado,nPagado,"
                              "nSaldo");
    Batch pets("Mascotas", "nIdMascota,sMascota,nIdCliente,nIdTipoEspecie,nIdEmpleado,sSexo,"
                           "dNacimiento");
    Batch items("FacturasItems", "nIdFacturaItem,nIdFactura,nIdCliente,nIdMascota,"
                                 "nIdProductoServicio,sConclusion,nUnidades,nPvp,nBaseImp,"
                                 "nPorcIpto,nImpuestos,nTotal");
    Batch invoices("Facturas",
                   "nIdFactura,nIdSucursal,nIdCliente,nIdUsuario,nIdEmpleado,nIdCaja,sFactura,"
                   "sCliente,sDomicilio,sPoblacion,sProvincia,sCodigoPostal,sDni,dFactura,nPo_1,"
                   "nBi_1,nIm_1,nPo_2,nBi_2,nIm_2,nPo_3,nBi_3,nIm_3,nBi_Total,nIm_Total,nTotal,"
                   "nDescuento,nExento,sFacturaAbonada,dFacturaAbonada");
    Batch payments("FacturasCobros", "nIdFacturaCobro,nIdFactura,sObservaciones,dFactura,"
                                     "nIdCliente,nImporte,nIdTipoCobro,nIdTipoMovimiento");
    Batch entries("ApuntesCaja", "nIdApunteCaja,nIdCaja,sReferencia,sTitular,dApunte,nIdUsuario,"
                                 "nIdTipoMovimiento,nImporte,sDocumento,sSubcuenta,"
                                 "sObservaciones");

    qint32 clientId = MaxKey("Clientes", "nIdCliente");
    qint32 petId = MaxKey("Mascotas", "nIdMascota");
    qint32 itemId = MaxKey("FacturasItems", "nIdFacturaItem");
    qint32 invoiceId = MaxKey("Facturas", "nIdFactura");
    qint32 paymentId = MaxKey("FacturasCobros", "nIdFacturaCobro");
    qint32 entryId = MaxKey("ApuntesCaja", "nIdApunteCaja");
    const QString counterWhere = "sId='Factura' AND nIdSucursal=1";
    qint32 counter =
        Utility::ToInt32(U().SqlNumber(Db().GetValue("Contadores", counterWhere, "nContador")));
    const qint32 paymentMovement = Utility::ToInt32(
        U().SqlNumber(Db().GetValue("TipoCobro", "nIdTipoCobro=1", "nIdTipoMovimiento")));

    const QDate yearStart(2025, 1, 1);
    const qint64 invoiceCount = qint64(m_clients) * 3;
    qint64 serial = 0;
    const int nameCombinations =
        int(std::size(FirstNames) * std::size(Surnames) * std::size(Surnames));

    for (int i = 0; i < m_clients; ++i) {
        ++clientId;
        const int nf = int(std::size(FirstNames)), ns = int(std::size(Surnames));
        QString name =
            QString("%1 %2, %3")
                .arg(Surnames[(i / nf) % ns], Surnames[(i / (nf * ns)) % ns], FirstNames[i % nf]);
        if (i >= nameCombinations)
            name += QString(" (%1)").arg(i / nameCombinations + 1);
        const QString street =
            QString("%1, %2").arg(Streets[Random() % std::size(Streets)]).arg(1 + Random() % 200);
        const QString postcode = Postcodes[Random() % std::size(Postcodes)];
        const int dniNumber = 20000000 + int(Random() % 70000000);
        const QString dni =
            QString::number(dniNumber) + QLatin1Char("TRWAGMYFPDXBNJZSQVHLCKE"[dniNumber % 23]);
        const int level = i % 50 == 13 ? 3 : (i % 10 == 7 ? 2 : 1);
        const QString customer[6] = {Utility::Quote(name),       Utility::Quote(street),
                                     Utility::Quote("Zaragoza"), Utility::Quote("Zaragoza"),
                                     Utility::Quote(postcode),   Utility::Quote(dni)};

        std::vector<qint32> ownPets;
        for (int p = 0; p < (i % 2 == 0 ? 2 : 1); ++p) {
            ownPets.push_back(++petId);
            pets.Add({Id(petId), Utility::Quote(PetNames[Random() % std::size(PetNames)]),
                      Id(clientId), Id(1 + Random() % 3), Id(1 + Random() % 3),
                      Utility::Quote(Random() % 2 ? "H" : "M"),
                      Id(DateNumber(yearStart.addDays(-int(Random() % 5000))))});
        }

        double invoiced = 0, paid = 0;
        for (int invoice = 0; invoice < 4; ++invoice) {
            // The fourth group is the client's one pending line.
            const bool pending = invoice == 3;
            const int lines = pending ? 1 : 3;
            const qint32 nIdFactura = pending ? 0 : ++invoiceId;
            std::vector<DocumentLine> invoiceLines;
            for (int l = 0; l < lines; ++l) {
                const Product& product = m_products[Random() % m_products.size()];
                const int units = Random() % 8 == 0 ? 2 + int(Random() % 2) : 1;
                const double price = product.price[level - 1];
                const double unitTax = price / 100 * product.rate;
                const double total = Utility::RoundHalfAway((price + unitTax) * units, 2);
                items.Add({Id(++itemId), pending ? QStringLiteral("NULL") : Id(nIdFactura),
                           Id(clientId), Id(ownPets[Random() % ownPets.size()]), Id(product.id),
                           QStringLiteral("''"), Id(units), Number(price), Number(price * units),
                           Number(product.rate), Number(units * (price * product.rate / 100)),
                           Amount(total)});
                invoiceLines.push_back({double(units), price, product.rate});
            }
            if (pending)
                continue;

            const int date = DateNumber(yearStart.addDays(int(serial++ * 364 / invoiceCount)));
            const QString sFactura =
                QString::number(counter++).rightJustified(4, QLatin1Char('0')) + "/25";
            const bool card = Random() % 3 == 0;
            const qint32 box = card ? 2 : 1;
            const qint32 user = 1 + Random() % 2;
            QStringList values{
                Id(nIdFactura),          "1", Id(clientId), Id(user), Id(1 + Random() % 3), Id(box),
                Utility::Quote(sFactura)};
            for (const QString& text : customer)
                values << text;
            values << Id(date);
            const DocumentAmounts amounts = DocumentAmounts::Of(invoiceLines, {});
            const double nTotal = amounts.nTotal.ToDouble();
            values << amounts.Texts() << Amount(0) << QStringLiteral("''") << "0";
            invoices.Add(values);
            invoiced += nTotal;

            const quint32 share = Random() % 100;
            const double amount = share < 90   ? nTotal
                                  : share < 97 ? Utility::RoundHalfAway(nTotal / 2, 2)
                                               : 0;
            if (amount == 0)
                continue;
            paid += amount;
            const qint32 type = card ? 2 : 1;
            payments.Add({Id(++paymentId), Id(nIdFactura), QStringLiteral("''"), Id(date),
                          Id(clientId), Amount(amount), Id(type), Id(paymentMovement)});
            entries.Add({Id(++entryId), Id(box),
                         Utility::Quote(card ? "Cobro Tarjeta" : "Cobro Efectivo"),
                         Utility::Quote(QString(name).remove(QLatin1Char(','))), Id(date), Id(user),
                         Id(paymentMovement), Amount(amount), Utility::Quote("Fra." + sFactura),
                         QStringLiteral("''"), Utility::Quote("Pago Fra.")});
        }
        clients.Add({Id(clientId), customer[0], customer[1], customer[2], customer[3], customer[4],
                     customer[5], Utility::Quote(QString("976 %1").arg(100000 + i % 900000)),
                     Id(DateNumber(yearStart.addDays(-int(Random() % 3000)))), "1", Id(level),
                     Amount(invoiced), Amount(paid), Amount(paid - invoiced)});
    }
    for (Batch* batch : {&clients, &pets, &items, &invoices, &payments, &entries})
        batch->Flush();
    Db().UpdateRecord("Contadores", "nContador", Id(counter), counterWhere);
}
