#pragma once

#include <QString>

// The registry of the suite's running programs: one file per process in the user's runtime
// folder, named after the process id and holding the program name, the id and the process's
// start time. Closing programs goes only through it, so that nothing outside the suite (and no
// process that merely inherited a recycled id) is ever signalled.
namespace RunningPrograms {

QString Folder();

// pid 0 stands for this process, whose entry is removed when it exits normally.
void Register(const QString& programName, qint64 pid);

// Sends SIGTERM to every registered, still-running process other than this one whose program
// name matches pattern (wildcards * and ?, case-insensitive); drops entries of finished ones.
void Close(const QString& pattern);

} // namespace RunningPrograms
