#pragma once

#include <QString>

// Creates a suite folder on disk: <root>/Data/Tavelo.ini, <root>/Data/Tavelo.db with the schema,
// the folders start-up derives, the logo and the report definitions.
namespace SuiteSetup {

// False (and nothing changed) when root already holds a suite. Raises TvError when the folder
// cannot be written. Leaves DataAccess open on the new database. The data folder is built beside
// its final place and renamed into it last, so a failure never leaves a data folder behind that
// looks complete. scaleThousands > 0 adds FillScale's rows before that rename.
bool Create(const QString& root, bool demo, int scaleThousands = 0);

// Fills the open database with the demo clinic (see docs/data-folder.md), its history recorded
// in the invoice register.
void FillDemo();

// Runs the schema on the open database: every statement is CREATE ... IF NOT EXISTS, so a data
// folder made by an older version gains the tables and indexes it lacks, and nothing else changes.
void UpdateSchema();

// Adds `thousands` x 1000 clients with pets, products and invoice items in proportion, for
// benchmarks of realistic size. Writes the demo clinic first when the database has none, since
// the generated sales need its users, cash boxes and payment types. The generated invoices are
// recorded in the invoice register.
void FillScale(int thousands);

} // namespace SuiteSetup
