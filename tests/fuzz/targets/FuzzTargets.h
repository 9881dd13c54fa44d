#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The fuzz targets: each takes any bytes and must neither crash, hang nor trip a sanitizer.
// libFuzzer drives them (the programs fuzz_<name> of a clang sanitizer build, scripts/fuzz), and
// the normal tests replay every saved input through them (tests/fuzz/ReplayTest.cpp), so an input
// that once crashed stays a regression case.
namespace FuzzTargets {

// report_file, expression, sql, ini, startup_line, values.
QStringList Names();

// Runs target name on data. Errors the input may rightly cause (TvError, an expression that
// does not parse) are the target's expected answers; anything else ends the process.
void Run(const QString& name, const QByteArray& data);

// The folders, relative to the source tree, whose files are inputs of target name: its corpus
// tests/fuzz/corpus/<name>, and for the report definition reader the demo's own definitions.
QStringList InputFolders(const QString& name);

} // namespace FuzzTargets
