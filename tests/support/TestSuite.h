#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>

class ScriptedUi;
class Ui;
namespace TestEngine {
class ServerDatabase;
}

// A suite folder in a temporary directory, made by the setup tool (optionally with the demo
// data), with DataAccess opened on its database and ScriptedUi installed as the ui seam. The
// database is the folder's SQLite file, or a database of its own on the test server when the run
// is on PostgreSQL (TestEngine). Everything is undone when it goes out of scope.
//
// The demo clinic's ids are stable (docs/data-folder.md has the full list):
//  - company "Clínica Veterinaria Tavelo S.L." (NIF B12345674); branches 1 "Tavelo Centro",
//    2 "Tavelo Norte", numbering in series A / RA / TA and B / RB / TB;
//  - groups 1 "Master", 2 "Recepción", 3 "Veterinarios"; users 1 "admin"/"admin" (group 1,
//    branch 1), 2 "recepcion" without password (group 2, branch 1), 3 "norte"/"norte" (group 3,
//    branch 2); "tvEstadisticas", "tvLibros" and "tvFacturae" allowed for Master, refused for
//    Recepción;
//  - employees 1 "Dra. Marta Sánchez", 2 "Dr. Luis Moreno", 3 "Elena Castro (ATV)", 4 inactive;
//  - cash boxes 1 "Caja general", 2 "Caja tarjetas", 3 "Caja extra" (extra); movement types
//    1 "Cobro" (in), 2 "Pago" (out); payment types 1 "Efectivo", 2 "Tarjeta", 3 "Transferencia",
//    4 "Bizum";
//  - client 1 "Ana García López" with pet 1 "Toby" (Perro, employee 1) and pending items
//    CONS03 and PIEN10; client 2 with pet 2 "Luna" and pending items MED03 and ACC02; client 3
//    with pet 3 "Luna" (the only other "Luna"); client 4 owes 12.50 (nSaldo -12.5); client 5
//    "Seán O'Brien" with pet 5 "Max"; client 6 buys at price level 3; client 12 has the
//    credited invoice's item CIR02 pending again;
//  - product "PIEN10" "Pienso adulto 3 kg": 10.00 at 21 %, level 3 price 8.00;
//  - invoices 1 to 14 and 16, credit note 15 cancelling invoice 12, then simplified invoices,
//    a foreign customer's invoice, an F3, an R5 and a cancelled invoice (17 to 23), all dated in
//    2025, so that the series of the tests' own year start at 1.
class TestSuite {
public:
    explicit TestSuite(bool demo = true);
    ~TestSuite();

    QString Root() const;    // <tmp>/Tavelo
    QString DataDir() const; // <tmp>/Tavelo/Data
    QString IniPath() const; // <tmp>/Tavelo/Data/Tavelo.ini
    // Takes the demo's [VeriFactu] section (its own certificate) out of the ini, for a test that
    // starts from a clinic whose ini names none or writes a section of its own.
    void DropVeriFactuSection() const;
    QString DbPath() const; // <tmp>/Tavelo/Data/Tavelo.db (SQLite runs only)
    ScriptedUi& Ui() const { return *m_ui; }

    // Starts the session as the suite's menu would (G::Init with
    // "login:password|<today>|<ini>|0|0|0|0"), so that Gi is filled and the database open.
    void SignIn(const QString& login = "admin", const QString& password = "admin");

    // Keeps the database as it is now and puts it back later, for tests whose processes change
    // it on purpose (a crash at every statement, a register tampered with). Both close the
    // database first; Restore leaves it closed.
    void Snapshot();
    void Restore();

private:
    std::unique_ptr<TestEngine::ServerDatabase> m_server;
    QTemporaryDir m_dir;
    ScriptedUi* m_ui = nullptr;
    std::unique_ptr<::Ui> m_previousUi;
};
