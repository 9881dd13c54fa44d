#pragma once

#include <QString>

class DataAccess;

// The suite's session component: opens the database that the initialisation file names, and
// nothing else. Refuses, with a message a front-desk user can act on, a data folder that does not
// exist, a database file that is missing (an empty database must never be created in its place)
// and a database that cannot be read (locked by another program, damaged).
namespace SuiteSession {

// Raises TvError when the initialisation file names no data folder, or one that does not exist.
void CheckDataFolder(const QString& iniPath, const QString& dataPath);

// Leaves db connected on the suite's database, or raises TvError and leaves it closed.
// readOnly opens it for a program that only reads, which also works in a data folder that cannot
// be written; a program that writes is told when the folder or the database cannot be written.
void Open(const QString& iniPath, const QString& dataPath, DataAccess& db, bool readOnly = false);

} // namespace SuiteSession
