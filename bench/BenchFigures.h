#pragma once

// How every benchmark measures and prints: one "<case>: <value> <unit>" line per figure, times in
// milliseconds, medians so that one slow run of a shared machine does not decide.
#include "platform/data/DataAccess.h"
#include "platform/util/TvError.h"
#include "setup/SuiteSetup.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

// The arguments or the data do not allow a run: said on standard error, and the run ends.
[[noreturn]] inline void BenchFail(const QString& message) {
    std::fprintf(stderr, "%s\n", qPrintable(message));
    std::exit(1);
}

inline void Report(const char* name, double value, const char* unit) {
    std::printf("%s: %.2f %s\n", name, value, unit);
    std::fflush(stdout);
}

inline double Ms(const std::function<void()>& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

inline double MedianMs(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i)
        times.push_back(Ms(work));
    return Median(times);
}

// The suite folder a benchmark of the generated clinic runs on, from its arguments
// [--server CONNSPEC] [N] [DIR]: N thousand clients (100 when not given) in DIR, a folder that
// keeps the generated data between runs (else one in dir). With --server the data lives in that
// PostgreSQL database ("host=...;port=...;dbname=...;user=...") and the folder's ini points at it.
// Generating it is reported; a folder kept from an earlier run is used as it is, and with --server
// it must name that database.
inline QString GeneratedClinic(int argc, char** argv, const QTemporaryDir& dir) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    DbConfig database;
    SuiteSetup::Result result = SuiteSetup::Created;
    double ms = 0;
    QString root;
    try {
        if (const qsizetype at = args.indexOf("--server"); at >= 0) {
            if (at + 1 == args.size())
                BenchFail("--server needs the connection: \"host=...;port=...;dbname=...;...\"");
            database = DbConfig::FromConnectionSpec(args[at + 1]);
            args.remove(at, 2);
        }
        const int thousands = args.isEmpty() ? 100 : std::max(1, args[0].toInt());
        root = args.size() > 1 ? args[1] : dir.path() + "/Tavelo";
        ms = Ms([&] { result = SuiteSetup::Create(root, false, thousands, database); });
    } catch (const TvError& error) {
        BenchFail(error.FullText());
    }
    if (result == SuiteSetup::Created)
        Report("generate_data", ms / 1000, "s");
    if (result == SuiteSetup::DatabaseHoldsSuite)
        BenchFail("The database " + database.ServerName() +
                  " holds a suite already: give the folder generated with it as DIR, or drop it.");
    const QString ini = root + "/Data/Tavelo.ini";
    if (database.engine == QLatin1String("postgresql") &&
        DbConfig::FromIni(ini, DbConfig::DataFolder(ini)).ConnectionSpec() !=
            database.ConnectionSpec())
        BenchFail(ini + " names another database than " + database.ServerName() + ".");
    return root;
}
