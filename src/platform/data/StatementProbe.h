#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>

// Every statement an engine runs passes here first, which serves tests and benchmarks:
//  - TV_FAULT_KILL_AT=<k> in the environment kills the process (SIGKILL, no clean-up of any kind)
//    just before its k-th statement, counted from 1, so that a test can see what a crash at that
//    point leaves in the database;
//  - between StartRecording and StopRecording every statement is kept, bound values written in
//    place, so that a benchmark can replay exactly what the module ran.
namespace StatementProbe {

void Before(const QString& sql, const QVariantList& values = {});
// The statement with each "?" replaced by its value as an SQL literal, as it is recorded (and
// as an error names a statement whose values were bound).
QString Inlined(const QString& sql, const QVariantList& values);
// Statements run by this process so far.
qint64 Count();
// Called by an engine for each request it sends to its database: a row of a bulk insert is a
// statement of its own for the probe, but many of them travel in one request, while a savepoint
// or a bound query's preparation is a request the probe never sees as a statement.
void Sent(int requests = 1);
// The last `statements` statements travel in one request, as a server's engine sends writes it
// kept (DbEngine::ExecuteLater) with the request after them.
void Together(int statements);
// Requests sent to the database by this process so far.
qint64 RoundTrips();

void StartRecording();
// The statements run since StartRecording, in order, those sent in one request joined by ";";
// recording stops.
QStringList StopRecording();

} // namespace StatementProbe
