#pragma once

// The demo clinic: two branches, three users, staff, cash boxes, payment types, a catalogue of
// services and products at three tax rates, forty clients with their pets, a short history of
// invoices and a few pending items. Its ids are stable (docs/data-folder.md lists those that
// tests rely on), so it is written in a fixed order into an empty database.
class DemoClinic {
public:
    // Writes the clinic into the open database inside one transaction.
    static void Fill();

    // Price level k (nPvp<k>) is the list price times LevelFactor[k - 1]: 2 members, 3 shelters
    // and breeders, 4 staff, 5 out of hours.
    static constexpr double LevelFactor[5] = {1.0, 0.95, 0.80, 0.90, 1.25};

private:
    static void AddCompanyAndBranches();
    static void AddUsersAndRights();
    static void AddStaffAndCashBoxes();
    static void AddCatalogue();
    static void AddClientsAndPets();
    static void AddHistory();
    static void AddPendingItems();
};
