#pragma once

#include <QDate>
#include <QString>
#include <vector>

struct DocumentLine;
struct SolicitudFactura;

// Adds a clinic's worth of data in proportion to `thousands`: 1000 clients per thousand with
// 1.5 pets each, 20 products per thousand clients and 10 sale lines per client, of which 9 are
// invoiced (three invoices of three lines, each paid in full, in part or not at all) and 1 is
// pending. The clinic's own data (clients, pets, products, pending lines) goes in as multi-row
// INSERTs; the invoices are issued as the billing window issues them, through EmitirFacturas, a
// batch of clients at a time, numbered in branch 1's series for the year before the demo's
// history (two years before today's), so that every series' numbers still follow their dates.
// All in one transaction; the same seed always gives the same rows.
class ScaleGenerator {
public:
    explicit ScaleGenerator(int thousands);
    void Run();

private:
    struct Product {
        qint32 id;
        double price[5];
        double rate;
    };

    struct Client {
        qint32 id = 0;
        QString name, street, dni;
        int level = 1;
        std::vector<qint32> pets;
    };

    // Clients whose invoices of a round are issued in one call: enough that a call's statements
    // cost little per invoice, and that on a server, where each update of a row in the open
    // transaction leaves a version behind for the next to walk past, a product's stock row is
    // updated a few hundred times rather than a thousand.
    static constexpr int ClientsPerBatch = 2000;
    static constexpr int InvoicesPerClient = 3;
    static constexpr int LinesPerInvoice = 3;

    // What the invoices of the clients' sales share: their payment types' names, and their dates
    // spread over the year before the demo's (2025), so that every series follows its dates.
    struct Sales {
        QString paymentType[2];
        QDate yearStart{2024, 1, 1};
        qint64 invoiceCount = 0;
        qint64 serial = 0; // invoices dated so far
    };

    void AddProducts();
    void AddClients();
    // Clients chunkStart.. with their pets, keyed after clientId and petId, which move on.
    std::vector<Client> AddChunk(int chunkStart, int chunkSize, const QDate& yearStart,
                                 qint32& clientId, qint32& petId);
    // One line per client (pending), or an invoice's lines each, issued together.
    void SellRound(const std::vector<Client>& chunk, bool pending, Sales& sales);
    SolicitudFactura Request(const Client& client, const std::vector<DocumentLine>& lines,
                             Sales& sales);
    quint32 Random();
    static qint32 MaxKey(const QString& table, const QString& key);

    int m_clients;
    std::vector<Product> m_products;
    quint64 m_seed = 20250101;
};
