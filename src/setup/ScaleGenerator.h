#pragma once

#include <QString>
#include <vector>

// Adds a clinic's worth of data in proportion to `thousands`: 1000 clients per thousand with
// 1.5 pets each, 20 products per thousand clients and 10 sale lines per client, of which 9 are
// invoiced (three invoices of three lines, each paid in full, in part or not at all, with its
// cash-box entries) and 1 is pending. The generated history is dated 2025 and issued in branch 1,
// so it never repeats an invoice number of the demo's 2026 history. Rows go in as multi-row
// INSERTs with their keys given, in one transaction; the same seed always gives the same rows.
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

    void AddProducts();
    void AddClients();
    quint32 Random();
    static qint32 MaxKey(const QString& table, const QString& key);

    int m_clients;
    std::vector<Product> m_products;
    quint64 m_seed = 20250101;
};
