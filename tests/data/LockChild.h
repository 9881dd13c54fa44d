#pragma once

#include "platform/data/DataAccess.h"

#include <QStringList>

// The database a lock test's child opens: a SQLite file, or a server named by a connection spec.
DbConfig TargetConfig(const QString& target);

// The child side of the lock tests, selected by the first argument (<db> as above):
//   --lock-count <db> <rounds>: rounds times, wait for the lock on Contadores 1, read nContador,
//     let time pass, write it back plus one, release;
//   --lock-hold <db>: take the lock on Contadores 1, print "locked" and wait to be killed.
int RunLockChild(const QStringList& arguments);
