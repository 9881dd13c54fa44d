#pragma once

#include <QString>

// Creates a suite folder on disk: <root>/Data/Tavelo.ini, <root>/Data/Tavelo.db with the schema,
// the folders start-up derives, the logo and the report definitions.
namespace SuiteSetup {

// False (and nothing changed) when root already holds a suite. Raises TvError when the folder
// cannot be written. Leaves DataAccess open on the new database.
bool Create(const QString& root, bool demo);

// Fills the open database with the demo clinic (see docs/data-folder.md).
void FillDemo();

// Adds `thousands` x 1000 clients with pets, products and invoice items in proportion, for
// benchmarks of realistic size.
void FillScale(int thousands);

} // namespace SuiteSetup
