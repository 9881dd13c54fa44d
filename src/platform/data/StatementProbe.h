#pragma once

#include <QString>
#include <QVariantList>

// Every statement an engine runs passes here first. Two switches, read from the environment
// once per process, serve tests and benchmarks:
//  - TV_SQL_TRACE=<file> appends each statement to the file, bound values written in place, as
//    "<length in UTF-8 bytes>\n<statement>\n", flushed at once, so that a run can be replayed;
//  - TV_FAULT_KILL_AT=<k> kills the process (SIGKILL, no clean-up of any kind) just before its
//    k-th statement, counted from 1, so that a test can see what a crash at that point leaves.
namespace StatementProbe {

void Before(const QString& sql, const QVariantList& values = {});
// Statements run by this process so far.
qint64 Count();

// The statement with each "?" replaced by its value as an SQL literal.
QString Inline(const QString& sql, const QVariantList& values);

} // namespace StatementProbe
