// The demo clinic's rows: branches, users, staff, catalogue, clients, pets and history.

#include "setup/DemoClinic.h"

#include "invoicing/Mostrador.h"
#include "invoicing/core/PendingItems.h"
#include "platform/data/DataAccess.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "setup/HistoryWriter.h"

#include <QVariantList>
#include <iterator>
#include <vector>

namespace {

// Inserts one row and checks that it received the key the demo documents.
qint32 Insert(const QString& table, const QString& columns, const QVariantList& values,
              qint32 expectedKey = 0) {
    QStringList literals;
    for (const QVariant& value : values)
        literals << Utility::instance().SqlValue(value, 0, true);
    const qint32 key = Db().InsertRecord(table, columns, literals.join(','));
    if (expectedKey != 0 && key != expectedKey)
        throw TvError(ErrorNumber::Database, QString("%1 recibió la clave %2 en lugar de %3: la "
                                                     "base de datos no estaba vacía")
                                                 .arg(table)
                                                 .arg(key)
                                                 .arg(expectedKey));
    return key;
}

struct Product {
    const char* code;
    const char* name;
    const char* family;
    double price;
    double rate;
    bool stocked;
    int stock;
    int cadence; // days to the next dose; vaccines only
    bool active;
    bool utility;
};

// Prices are before tax.
const Product Catalogue[] = {
    {"CONS01", "Consulta general", "Consultas", 25.00, 21, false, 0, 0, true, false},
    {"CONS02", "Consulta de urgencia", "Consultas", 45.00, 21, false, 0, 0, true, false},
    {"CONS03", "Revisión", "Consultas", 15.00, 21, false, 0, 0, true, false},
    {"CONS04", "Certificado de salud", "Consultas", 20.00, 21, false, 0, 0, true, false},
    {"CIR01", "Castración gato", "Cirugía", 90.00, 21, false, 0, 0, true, false},
    {"CIR02", "Esterilización perra", "Cirugía", 180.00, 21, false, 0, 0, true, false},
    {"CIR03", "Limpieza dental", "Cirugía", 85.00, 21, false, 0, 0, true, false},
    {"ANA01", "Análisis de sangre completo", "Diagnóstico", 55.00, 21, false, 0, 0, true, false},
    {"RAD01", "Radiografía", "Diagnóstico", 40.00, 21, false, 0, 0, true, false},
    {"ECO01", "Ecografía abdominal", "Diagnóstico", 50.00, 21, false, 0, 0, true, false},
    {"HOS01", "Hospitalización (día)", "Hospitalización", 40.00, 21, false, 0, 0, true, false},
    {"PEL01", "Baño y corte de pelo", "Peluquería", 30.00, 21, false, 0, 0, true, false},
    {"PEL02", "Corte de uñas", "Peluquería", 8.00, 21, false, 0, 0, true, false},
    {"IDE01", "Identificación con microchip", "Consultas", 35.00, 21, false, 0, 0, true, false},
    {"VAC01", "Vacuna antirrábica", "Vacunas", 25.00, 10, true, 40, 365, true, false},
    {"VAC02", "Vacuna polivalente perro", "Vacunas", 30.00, 10, true, 40, 365, true, false},
    {"VAC03", "Vacuna trivalente gato", "Vacunas", 28.00, 10, true, 30, 365, true, false},
    {"VAC04", "Vacuna leishmaniosis", "Vacunas", 45.00, 10, true, 20, 365, true, false},
    {"VAC05", "Vacuna mixomatosis conejo", "Vacunas", 20.00, 10, true, 15, 180, true, false},
    {"VAC06", "Primovacunación cachorro (dosis)", "Vacunas", 22.00, 10, true, 25, 30, true, false},
    {"MED01", "Antiparasitario interno (comprimido)", "Farmacia", 4.50, 10, true, 200, 0, true,
     false},
    {"MED02", "Pipeta antiparasitaria perro", "Farmacia", 12.50, 10, true, 60, 0, true, false},
    {"MED03", "Pipeta antiparasitaria gato", "Farmacia", 10.80, 10, true, 50, 0, true, false},
    {"MED04", "Antibiótico oral (caja)", "Farmacia", 14.20, 10, true, 30, 0, true, false},
    {"MED05", "Antiinflamatorio (caja)", "Farmacia", 9.90, 10, true, 35, 0, true, false},
    {"DIE01", "Dieta renal gato 2 kg", "Dietas veterinarias", 24.00, 4, true, 12, 0, true, false},
    {"DIE02", "Dieta gastrointestinal perro 4 kg", "Dietas veterinarias", 38.50, 4, true, 10, 0,
     true, false},
    {"DIE03", "Lata dieta hepática", "Dietas veterinarias", 2.75, 4, true, 96, 0, true, false},
    {"DIE04", "Dieta hipoalergénica 7 kg", "Dietas veterinarias", 62.00, 4, true, 6, 0, true,
     false},
    {"PIEN10", "Pienso adulto 3 kg", "Alimentación", 10.00, 21, true, 25, 0, true, false},
    {"PIEN11", "Pienso cachorro 3 kg", "Alimentación", 14.00, 21, true, 20, 0, true, false},
    {"PIEN12", "Pienso gato esterilizado 1,5 kg", "Alimentación", 12.00, 21, true, 18, 0, true,
     false},
    {"ACC01", "Collar antiparasitario", "Accesorios", 10.12, 21, true, 24, 0, true, false},
    {"ACC02", "Champú dermatológico", "Accesorios", 9.00, 21, true, 15, 0, true, false},
    {"ACC03", "Juguete mordedor", "Accesorios", 6.00, 21, true, 30, 0, true, false},
    {"ACC04", "Transportín mediano", "Accesorios", 35.00, 21, true, 5, 0, true, false},
    {"ACC05", "Arena aglomerante 10 l", "Accesorios", 8.00, 21, true, 40, 0, true, false},
    {"ACC06", "Correa extensible", "Accesorios", 18.00, 21, true, 8, 0, true, false},
    {"ACC07", "Comedero de acero (descatalogado)", "Accesorios", 7.00, 21, true, 3, 0, false,
     false},
    {"LUZ01", "Suministro eléctrico", "Gastos", 60.00, 21, false, 0, 0, true, true},
    // Sold by weight from the sack: the price is per kilo and a sale takes the kilos weighed.
    {"GRA01", "Pienso a granel (kg)", "Alimentación", 3.20, 21, true, 80, 0, true, false},
};

struct Client {
    const char* name;
    const char* street;
    const char* city;
    const char* province;
    const char* postcode;
    int level;
    const char* nif; // companies; people get a DNI made from their number; "": none given
};

const Client Clients[] = {
    {"Ana García López", "Calle Coso, 45, 3º B", "Zaragoza", "Zaragoza", "50003", 1, nullptr},
    {"Javier Martínez Ruiz", "Paseo Independencia, 8, 2º", "Zaragoza", "Zaragoza", "50004", 1,
     nullptr},
    {"Lucía Fernández Gil", "Calle Delicias, 112", "Zaragoza", "Zaragoza", "50017", 1, nullptr},
    {"Pablo Navarro Ortega", "Avenida Madrid, 210, 5º A", "Zaragoza", "Zaragoza", "50010", 1,
     nullptr},
    {"Seán O'Brien", "Calle San Miguel, 3", "Zaragoza", "Zaragoza", "50001", 1, nullptr},
    {"Protectora Huellas Zaragoza", "Camino de Cogullada, 20", "Zaragoza", "Zaragoza", "50014", 3,
     "G50123454"},
    {"Carmen Romero Vidal", "Calle Predicadores, 70", "Zaragoza", "Zaragoza", "50003", 1, nullptr},
    {"Miguel Torres Molina", "Avenida de Cataluña, 95", "Zaragoza", "Zaragoza", "50014", 1,
     nullptr},
    {"Isabel Jiménez Castro", "Calle Zumalacárregui, 12", "Zaragoza", "Zaragoza", "50006", 1,
     nullptr},
    {"David Moreno Serrano", "Calle Mayor, 18", "Utebo", "Zaragoza", "50180", 1, nullptr},
    {"Laura Álvarez Domínguez", "Avenida de Ranillas, 5", "Zaragoza", "Zaragoza", "50015", 1,
     nullptr},
    {"Sergio Muñoz Blanco", "Calle Conde de Aranda, 40", "Zaragoza", "Zaragoza", "50003", 1,
     nullptr},
    {"Marta Iglesias Rubio", "Calle Valle de Broto, 7", "Zaragoza", "Zaragoza", "50015", 1,
     nullptr},
    {"Alberto Ramos Herrero", "Calle Miguel Servet, 150", "Zaragoza", "Zaragoza", "50013", 1,
     nullptr},
    {"Elena Gómez Marín", "Plaza San Francisco, 2", "Zaragoza", "Zaragoza", "50009", 1, nullptr},
    {"Raúl Castillo Ortiz", "Calle Cádiz, 9", "Zaragoza", "Zaragoza", "50004", 1, nullptr},
    {"Nuria Delgado Prieto", "Avenida Goya, 33", "Zaragoza", "Zaragoza", "50005", 1, nullptr},
    {"Jorge Vázquez Cano", "Calle Alfonso I, 30", "Zaragoza", "Zaragoza", "50003", 1, nullptr},
    {"Beatriz Lorenzo Santos", "Calle Oviedo, 140", "Zaragoza", "Zaragoza", "50007", 1, nullptr},
    {"Daniel Cruz Medina", "Calle Mayor, 4", "Cuarte de Huerva", "Zaragoza", "50410", 1, nullptr},
    {"Cristina Garrido Peña", "Avenida Valencia, 21", "Zaragoza", "Zaragoza", "50005", 2, nullptr},
    {"Fernando Calvo Gallego", "Calle Duquesa Villahermosa, 60", "Zaragoza", "Zaragoza", "50009", 1,
     nullptr},
    {"Silvia Méndez León", "Calle San Vicente de Paúl, 14", "Zaragoza", "Zaragoza", "50001", 1,
     nullptr},
    {"Óscar Herrera Vega", "Avenida Navarra, 80", "Zaragoza", "Zaragoza", "50011", 1, nullptr},
    {"Patricia Cabrera Campos", "Calle Coso, 102", "Zaragoza", "Zaragoza", "50001", 1, nullptr},
    {"Rubén Fuentes Pastor", "Calle Porches del Audiorama, 3", "Zaragoza", "Zaragoza", "50015", 1,
     nullptr},
    {"Rosa Aguilar Nieto", "Calle Alcalde Caballero, 11", "Zaragoza", "Zaragoza", "50014", 1,
     nullptr},
    {"Antonio Sáez Crespo", "Calle Coso, 8", "Huesca", "Huesca", "22002", 1, nullptr},
    {"Pilar Soler Márquez", "Avenida San José, 150", "Zaragoza", "Zaragoza", "50008", 2, nullptr},
    {"Manuel Esteban Lozano", "Calle Bilbao, 6", "Zaragoza", "Zaragoza", "50004", 1, nullptr},
    {"Irene Bravo Reyes", "Calle Tomás Bretón, 48", "Zaragoza", "Zaragoza", "50005", 1, nullptr},
    {"Víctor Pascual Arias", "Calle Mariano Barbasán, 17", "Zaragoza", "Zaragoza", "50006", 1,
     nullptr},
    {"Sara Montero Carrasco", "Avenida Alcalde Sainz de Varanda, 1", "Zaragoza", "Zaragoza",
     "50009", 1, nullptr},
    {"Iván Ibáñez Rojas", "Calle Sobrarbe, 25", "Zaragoza", "Zaragoza", "50015", 1, nullptr},
    {"Alicia Durán Mora", "Calle Don Jaime I, 38", "Zaragoza", "Zaragoza", "50001", 1, nullptr},
    {"Criadero Los Almendros S.C.", "Carretera de Logroño, km 12", "Utebo", "Zaragoza", "50180", 2,
     "J50234566"},
    {"Hugo Benítez Ferrer", "Calle Franco y López, 22", "Zaragoza", "Zaragoza", "50005", 1,
     nullptr},
    {"Teresa Vicente Sanz", "Avenida de las Torres, 64", "Zaragoza", "Zaragoza", "50008", 1,
     nullptr},
    {"Adrián Hidalgo Cortés", "Calle Lasierra Purroy, 2", "Zaragoza", "Zaragoza", "50007", 1,
     nullptr},
    {"Mercedes Lara Parra", "Calle Gran Vía, 15", "Zaragoza", "Zaragoza", "50006", 1, nullptr},
    // Customers who gave no NIF at the desk: they get simplified invoices.
    {"Rosario Gil Ferrer", "Calle Predicadores, 40", "Zaragoza", "Zaragoza", "50003", 1, ""},
    {"Tomás Ibarra Sanz", "", "Zaragoza", "Zaragoza", "", 1, ""},
    // A tourist identified by the passport shown at the desk (see the history below).
    {"Pierre Dubois", "12 rue de la République", "Lyon", "Rhône", "69002", 1, ""},
};

enum Species { Perro = 1, Gato, Conejo, Huron, Ave, Roedor, Reptil };
const char* const SpeciesNames[] = {"Perro", "Gato", "Conejo", "Hurón", "Ave", "Roedor", "Reptil"};

struct Pet {
    int client;
    const char* name;
    Species species;
    int employee;
    const char* breed;
    const char* sex;
    int born;
    bool active;
};

// Pets 1 to 17 are named in docs/data-folder.md; the rest give every other client one pet and a
// few a second one.
const Pet NamedPets[] = {
    {1, "Toby", Perro, 1, "Beagle", "M", 20190412, true},
    {2, "Luna", Gato, 2, "Europeo común", "H", 20200805, true},
    {3, "Luna", Perro, 1, "Border collie", "H", 20180221, true},
    {4, "Nala", Gato, 3, "Siamés", "H", 20210310, true},
    {5, "Max", Perro, 2, "Labrador retriever", "M", 20170715, true},
    {6, "Canela", Perro, 1, "Mestizo", "H", 20220101, true},
    {6, "Bigotes", Gato, 2, "Europeo común", "M", 20230301, true},
    {6, "Trufa", Conejo, 3, "Belier", "H", 20230615, true},
    {7, "Coco", Perro, 1, "Caniche", "M", 20160920, true},
    {7, "Golfo", Perro, 1, "Mestizo", "M", 20050101, false},
    {8, "Kira", Perro, 2, "Pastor alemán", "H", 20190130, true},
    {9, "Mimi", Gato, 2, "Persa", "H", 20150511, true},
    {10, "Rocky", Perro, 1, "Bulldog francés", "M", 20200228, true},
    {11, "Simba", Gato, 3, "Maine coon", "M", 20210707, true},
    {12, "Lola", Perro, 1, "Yorkshire terrier", "H", 20180918, true},
    {13, "Pipo", Huron, 3, "", "M", 20220404, true},
    {14, "Bruno", Perro, 2, "Bóxer", "M", 20170101, true},
};

const char* const OtherPetNames[] = {
    "Chispa", "Thor",   "Nieve",  "Zeus",   "Duna",    "Oliver", "Milo", "Frida", "Gala",
    "Bimba",  "Tango",  "Sultán", "Copito", "Lupo",    "Bolt",   "Maya", "Noa",   "Cleo",
    "Ringo",  "Pancho", "Sol",    "Greta",  "Chester", "Rufo",   "Nube", "Tara"};

const Pet SecondPets[] = {
    {20, "Kiwi", Ave, 3, "Agapornis", "M", 20230505, true},
    {25, "Pelusa", Roedor, 3, "Cobaya", "H", 20240110, true},
    {30, "Draco", Reptil, 2, "Pogona", "M", 20210808, true},
    {41, "Lur", Perro, 1, "Mestizo", "M", 20200303, true},
    {42, "Misi", Gato, 3, "Europeo común", "H", 20190909, true},
    {43, "Filou", Perro, 2, "Teckel", "M", 20210606, true},
};

QString Dni(int number) {
    static const char letters[] = "TRWAGMYFPDXBNJZSQVHLCKE";
    return QString::number(number) + QLatin1Char(letters[number % 23]);
}

// Phone numbers and DNIs are made up from the client's number so that they stay the same on
// every run.
int DniNumber(int client) {
    return 10000000 + (client * 7654321 + 1234567) % 89999999;
}

struct Line {
    const char* code;
    double units;
};

struct PastSale {
    int client;
    int pet;
    int branch, user, employee, box;
    int date;
    std::vector<Line> lines;
    double discount;
    // Amount 0: the rest of the total.
    std::vector<std::pair<const char*, double>> payments;
};

// Dates are month and day (mmdd) of 2025, the demo's year (HistoryDate below): what a new clinic
// issues starts its series at 1 (A0001/26 made in 2026).
// Invoice keys follow this order (1 to 14, 16 to 20, then 23); the rectifying invoice of invoice
// 12, issued on 16 February, is key 15; the complete invoice replacing 17 and 19 is key 21 and the
// rectification of 18 key 22, both issued between the sales of 24 and 27 February.
const PastSale History[] = {
    {1, 1, 1, 1, 1, 1, 108, {{"CONS01", 1}, {"VAC02", 1}}, 0, {{"Efectivo", 0}}},
    {2, 2, 1, 2, 2, 2, 109, {{"CONS01", 1}, {"VAC03", 1}}, 0, {{"Tarjeta", 0}}},
    {3, 3, 1, 2, 1, 1, 112, {{"PIEN10", 2}, {"MED02", 1}}, 0, {{"Efectivo", 0}}},
    {4, 4, 1, 1, 3, 1, 114, {{"CONS01", 1}, {"ACC01", 1}}, 0, {{"Efectivo", 30.00}}},
    {5, 5, 1, 1, 2, 2, 115, {{"CONS01", 1}, {"VAC01", 1}}, 0, {{"Tarjeta", 0}}},
    {6, 6, 1, 2, 1, 1, 116, {{"PIEN10", 1}, {"ACC05", 2}}, 0, {{"Bizum", 0}}},
    {7, 9, 1, 1, 1, 1, 120, {{"CIR03", 1}, {"ANA01", 1}}, 0, {{"Efectivo", 50.00}, {"Tarjeta", 0}}},
    {8, 11, 2, 3, 2, 1, 121, {{"CONS02", 1}, {"MED04", 1}}, 0, {{"Tarjeta", 0}}},
    {9,
     12,
     1,
     2,
     2,
     1,
     122,
     {{"CONS03", 1}, {"MED05", 1}, {"DIE01", 2}, {"DIE03", 6}},
     0,
     {{"Efectivo", 0}}},
    {10, 13, 1, 1, 1, 1, 126, {{"PEL01", 1}, {"PEL02", 1}}, 3.00, {{"Efectivo", 0}}},
    {11, 14, 2, 3, 3, 1, 128, {{"CIR01", 1}, {"ANA01", 1}}, 0, {{"Transferencia", 0}}},
    {12, 15, 1, 1, 1, 2, 202, {{"CIR02", 1}}, 0, {{"Tarjeta", 0}}},
    {1, 1, 1, 1, 1, 1, 210, {{"VAC06", 1}, {"MED01", 2}}, 0, {{"Efectivo", 0}}},
    {13, 16, 2, 3, 3, 1, 212, {{"RAD01", 1}, {"ECO01", 1}}, 0, {{"Tarjeta", 0}}},
    {14, 17, 1, 2, 2, 1, 218, {{"HOS01", 2}, {"MED04", 1}}, 0, {{"Efectivo", 0}}},
    // Simplified invoices 17 to 19 (TA) to customers without a NIF; 2,5 kg of loose food.
    {41, 47, 1, 2, 1, 1, 219, {{"GRA01", 2.5}, {"ACC03", 1}}, 0, {{"Efectivo", 0}}},
    {42, 48, 1, 2, 3, 1, 220, {{"PEL02", 1}, {"MED01", 2}}, 0, {{"Tarjeta", 0}}},
    {41, 47, 1, 2, 1, 1, 223, {{"CONS01", 1}}, 0, {{"Efectivo", 0}}},
    // A complete invoice to a foreign customer identified by a passport.
    {43, 49, 1, 1, 2, 1, 224, {{"CONS02", 1}, {"MED04", 1}}, 0, {{"Tarjeta", 0}}},
    // Issued to the wrong client and cancelled the same day.
    {15, 18, 1, 2, 3, 1, 227, {{"PEL01", 1}}, 0, {{"Efectivo", 0}}},
};
const int HistoryYear = 2025;
const int CreditedInvoice = 12;
const int CreditNoteDate = 216;
const int ForeignClient = 43;
const int CreditNoteBefore = 14;  // index in History of the first sale after the credit note
const int CorrectionsBefore = 19; // and of the first after the replacement and the R5
// The documents Rosario Gil (client 41) and the tourist (client 43) showed at the desk.
const QString ReplacingDni = QStringLiteral("25476318T");
const QString ForeignPassport = QStringLiteral("19FR12345");

// mmdd of the demo's year, yyyymmdd. A year of its own, before any a clinic issues in with this
// module, so that its series never share a year with what the desk issues now: A0001 of this
// year is the desk's first invoice, whatever year the demo is made in.
int HistoryDate(int mmdd) {
    return HistoryYear * 10000 + mmdd;
}

} // namespace

void DemoClinic::Fill() {
    if (Utility::instance().SqlNumber(Db().GetValue("ConfiguracionEmpresa", {})) != 0)
        throw TvError(ErrorNumber::Database, "La base de datos ya contiene una clínica");
    TransactionGuard guard;
    AddCompanyAndBranches();
    AddUsersAndRights();
    AddStaffAndCashBoxes();
    AddCatalogue();
    AddClientsAndPets();
    AddHistory();
    AddPendingItems();
    guard.Commit();
}

void DemoClinic::AddCompanyAndBranches() {
    Insert("ConfiguracionEmpresa",
           "sNombre,sNif,sDomicilio,sPoblacion,sProvincia,sCodigoPostal,sTelefono,sEmail",
           {"Clínica Veterinaria Tavelo S.L.", "B12345674", "Calle Alfonso I, 12", "Zaragoza",
            "Zaragoza", "50003", "976 123 456", "info@tavelo.example"},
           1);
    struct Branch {
        const char* name;
        const char* street;
        const char* postcode;
        const char* phone;
        const char* mailbox;
        int firstInvoice;
        const char* series; // invoices, rectifying invoices, simplified invoices
        const char* credits;
        const char* simplified;
    };
    // Every branch numbers in series of its own, as tvSetup gives a new clinic. The counter
    // without a series (branch 2 from 5001, so that the two never print the same number) is
    // what a branch falls back to when its series setting is removed.
    const Branch branches[] = {
        {"Tavelo Centro", "Calle Alfonso I, 12", "50003", "976 123 456", "centro", 1, "A", "RA",
         "TA"},
        {"Tavelo Norte", "Avenida de Cataluña, 210", "50014", "976 654 321", "norte", 5001, "B",
         "RB", "TB"},
    };
    for (int b = 0; b < 2; ++b) {
        const Branch& branch = branches[b];
        const int id = b + 1;
        Insert("Sucursales", "sSucursal", {branch.name}, id);
        const QStringList names = {"sNombreSucursal", "sDomicilio",          "sPoblacion",
                                   "sCodigoPostal",   "sTelefono1",          "sMonedaPorDefecto",
                                   "sEmailSvr",       "sEmailUsr",           "sEmailPwd",
                                   "SerieFacturas",   "SerieRectificativas", "SerieSimplificadas"};
        const QStringList values = {branch.name,
                                    branch.street,
                                    "Zaragoza",
                                    branch.postcode,
                                    branch.phone,
                                    "Euro",
                                    "smtp.tavelo.example",
                                    QString(branch.mailbox) + "@tavelo.example",
                                    QString(branch.mailbox) + "2026",
                                    branch.series,
                                    branch.credits,
                                    branch.simplified};
        for (int i = 0; i < names.size(); ++i)
            Insert("ConfiguracionSucursales", "nIdSucursal,sDato,sValor",
                   {id, names[i], values[i]});
        Insert("Contadores", "sId,nIdSucursal,nContador", {"Factura", id, branch.firstInvoice});
    }
}

void DemoClinic::AddUsersAndRights() {
    const char* const groups[] = {"Master", "Recepción", "Veterinarios"};
    for (int g = 0; g < 3; ++g)
        Insert("UsuariosGrupos", "sUsuarioGrupo", {groups[g]}, g + 1);
    const QString columns = "sUsuario,sNombreCompleto,bClave,sClave,nIdSucursal,bAccesoInterSuc,"
                            "bAccesoInterUsr,nIdUsuarioGrupo,nCajaPara_Facturas,"
                            "nCajaPara_PagosClientes,nCajaPara_EntradasCaja,nCajaPara_SalidasCaja";
    Insert("Usuarios", columns,
           {"admin", "Administrador", true, "admin", 1, true, true, 1, 1, 1, 1, 2}, 1);
    Insert("Usuarios", columns,
           {"recepcion", "Recepción Centro", false, "", 1, false, false, 2, 1, 1, 1, 2}, 2);
    Insert("Usuarios", columns,
           {"norte", "Consulta Norte", true, "norte", 2, false, true, 3, 1, 1, 1, 2}, 3);

    struct Right {
        const char* operation;
        const char* description;
        bool allowed[3]; // Master, Recepción, Veterinarios
    };
    const Right rights[] = {
        {"tvEstadisticas", "Estadísticas", {true, false, true}},
        {"tvClientesMascotas", "Clientes y mascotas", {true, true, true}},
        {"tvFax", "Envío de faxes", {true, true, false}},
        {"tvLibros", "Libros contables", {true, false, false}},
        {"tvFacturae", "Factura electrónica", {true, false, false}},
        {"tvAnularFactura", "Anular facturas emitidas por error", {true, false, false}},
        // Reception closes the boxes it works with; only a manager closes anyone's.
        {"tvCierreCaja", "Cierre de caja", {true, true, false}},
        {"tvCierreCajaTodas", "Cierre de cualquier caja", {true, false, false}},
    };
    for (const Right& right : rights) {
        const qint32 id =
            Insert("Accesos", "sAcceso,sDescripcion", {right.operation, right.description});
        for (int g = 0; g < 3; ++g)
            Insert("AccesosGrupos", "nIdAcceso,nIdUsuarioGrupo,bAcceso",
                   {id, g + 1, right.allowed[g]});
    }
}

void DemoClinic::AddStaffAndCashBoxes() {
    struct Employee {
        const char* name;
        const char* category;
        int branch;
        bool active;
    };
    const Employee staff[] = {
        {"Dra. Marta Sánchez", "Veterinaria", 1, true},
        {"Dr. Luis Moreno", "Veterinario", 2, true},
        {"Elena Castro (ATV)", "Auxiliar técnico veterinario", 1, true},
        {"Dr. Jaime Ortega", "Veterinario", 1, false},
    };
    int id = 0;
    for (const Employee& e : staff)
        Insert("Empleados", "sEmpleado,sCategoria,nIdSucursal,bActivo",
               {e.name, e.category, e.branch, e.active}, ++id);

    Insert("TipoCaja", "sTipoCaja,bCajaExtra", {"Caja general", false}, 1);
    Insert("TipoCaja", "sTipoCaja,bCajaExtra", {"Caja tarjetas", false}, 2);
    Insert("TipoCaja", "sTipoCaja,bCajaExtra", {"Caja extra", true}, 3);
    Insert("TipoMovimiento", "sTipoMovimiento,bEntrada", {"Cobro", true}, 1);
    Insert("TipoMovimiento", "sTipoMovimiento,bEntrada", {"Pago", false}, 2);
    id = 0;
    for (const char* type : {"Efectivo", "Tarjeta", "Transferencia", "Bizum"})
        Insert("TipoCobro", "sTipoCobro,nIdTipoMovimiento", {type, 1}, ++id);

    Insert("Proveedores", "sProveedor,sNif,sTelefono",
           {"Distribuciones Veterinarias del Ebro S.A.", "A50111222", "976 300 100"});
    Insert("Proveedores", "sProveedor,sNif,sTelefono",
           {"Piensos Moncayo S.L.", "B50333444", "976 300 200"});
}

void DemoClinic::AddCatalogue() {
    int id = 0;
    for (const Product& p : Catalogue) {
        QVariantList values{p.name, p.code, p.family, p.price};
        for (double factor : DemoClinic::LevelFactor)
            values << Utility::RoundHalfAway(p.price * factor, 2);
        values << Utility::RoundHalfAway(p.price * 0.55, 2) << p.rate << p.stocked << p.stock
               << (p.stocked ? 5 : 0) << (p.cadence > 0) << p.cadence << p.active << p.utility;
        Insert("ProductosServicios",
               "sProductoServicio,sCodigo,sFamilia,nPvp,nPvp1,nPvp2,nPvp3,nPvp4,nPvp5,nPvd,"
               "nPorcIpto,bProducto,nStockActual,nStockMinimo,bVacuna,nCadencia,bActivo,"
               "bLuzAguaTelefono",
               values, ++id);
    }
}

void DemoClinic::AddClientsAndPets() {
    int id = 0;
    for (const char* species : SpeciesNames)
        Insert("TipoEspecie", "sTipoEspecie", {species}, ++id);

    id = 0;
    for (const Client& c : Clients) {
        ++id;
        const QString phone = QString("976 %1 %2")
                                  .arg(300 + id * 17 % 600, 3, 10, QLatin1Char('0'))
                                  .arg(id * 389 % 1000, 3, 10, QLatin1Char('0'));
        const QString mobile = QString("6%1 %2 %3")
                                   .arg(10 + id * 7 % 90, 2)
                                   .arg(id * 613 % 1000, 3, 10, QLatin1Char('0'))
                                   .arg(id * 271 % 1000, 3, 10, QLatin1Char('0'));
        Insert("Clientes",
               "sCliente,sDomicilio,sPoblacion,sProvincia,sCodigoPostal,sDni,sTelefono,sMovil,"
               "dAlta,nIdSucursal,nPvpUtilizado",
               {c.name, c.street, c.city, c.province, c.postcode,
                c.nif ? QString(c.nif) : Dni(DniNumber(id)), phone, mobile,
                20200000 + (id % 6) * 10000 + (id % 12 + 1) * 100 + id % 28 + 1,
                id % 5 == 3 ? 2 : 1, c.level},
               id);
    }

    const QString columns =
        "nIdCliente,sMascota,nIdTipoEspecie,nIdEmpleado,sRaza,sSexo,dNacimiento,bActivo";
    id = 0;
    auto addPet = [&](const Pet& p) {
        Insert("Mascotas", columns,
               {p.client, p.name, int(p.species), p.employee, p.breed, p.sex, p.born, p.active},
               ++id);
    };
    for (const Pet& p : NamedPets)
        addPet(p);
    const int firstOther = 15;
    for (int c = firstOther; c < firstOther + int(std::size(OtherPetNames)); ++c) {
        const bool dog = c % 2 == 0;
        addPet({c, OtherPetNames[c - firstOther], dog ? Perro : Gato, c % 3 + 1,
                dog ? "Mestizo" : "Europeo común", c % 4 < 2 ? "H" : "M",
                20100101 + (c % 14) * 10000 + (c % 12) * 100 + c % 27, true});
    }
    for (const Pet& p : SecondPets)
        addPet(p);

    // Each branch's counter customer, after the clients so that theirs keep their ids.
    for (int branch = 1; branch <= 2; ++branch)
        Insert("Clientes", "sCliente,nIdSucursal,bMostrador", {Mostrador::Nombre, branch, 1},
               int(std::size(Clients)) + branch);
}

void DemoClinic::AddHistory() {
    HistoryWriter writer;
    std::vector<qint32> invoices;
    for (const PastSale& s : History) {
        if (int(invoices.size()) == CreditNoteBefore)
            writer.CreditNote(CreditedInvoice, HistoryDate(CreditNoteDate), 1);
        if (int(invoices.size()) == CorrectionsBefore) {
            writer.Replace({invoices[15], invoices[17]}, ReplacingDni, HistoryDate(225), 2);
            writer.CreditNote(invoices[16], HistoryDate(226), 2);
        }
        for (const Line& line : s.lines)
            writer.AddPendingItem(s.client, s.pet, line.code, line.units);
        // What the front desk types as "paid in full": the total shown, less the discount and
        // the other payments.
        const Money discount = Money::FromDouble(s.discount);
        const Money due = PendingItems(s.client).StoredTotal() - discount;
        HistoryWriter::Sale sale;
        sale.nIdCliente = s.client;
        sale.nIdSucursal = s.branch;
        sale.nIdUsuario = s.user;
        sale.nIdEmpleado = s.employee;
        sale.nIdCaja = s.box;
        sale.dFactura = HistoryDate(s.date);
        if (s.client == ForeignClient) {
            sale.sDocumento = ForeignPassport;
            sale.sPais = QStringLiteral("FR");
            sale.sTipoId = QStringLiteral("03");
        }
        sale.nDescuento = discount;
        Money paid;
        for (const auto& [type, amount] : s.payments)
            paid += Money::FromDouble(amount);
        for (const auto& [type, amount] : s.payments)
            sale.payments.push_back(
                {QString::fromUtf8(type), amount == 0 ? due - paid : Money::FromDouble(amount)});
        invoices.push_back(writer.Invoice(sale));
    }
    writer.Cancel(invoices.back(), HistoryDate(227), 1,
                  QStringLiteral("Emitida al cliente equivocado: el servicio era de otra mascota"));
}

void DemoClinic::AddPendingItems() {
    HistoryWriter writer;
    writer.AddPendingItem(1, 1, "CONS03", 1, "Revisión de la vacuna");
    writer.AddPendingItem(1, 1, "PIEN10", 1);
    writer.AddPendingItem(2, 2, "MED03", 1);
    writer.AddPendingItem(2, 2, "ACC02", 1);
}
