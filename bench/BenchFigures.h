#pragma once

// How every benchmark measures and prints: one "<case>: <value> <unit>" line per figure, times in
// milliseconds, medians so that one slow run of a shared machine does not decide.
#include "setup/SuiteSetup.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

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

// The suite folder a benchmark of the generated clinic runs on: argv[1] thousands of clients
// (100 when not given), argv[2] a folder that keeps the generated data between runs (else one in
// dir). Generating it is reported.
inline QString GeneratedClinic(int argc, char** argv, const QTemporaryDir& dir) {
    const int thousands = argc > 1 ? std::max(1, QString(argv[1]).toInt()) : 100;
    const QString root = argc > 2 ? QString(argv[2]) : dir.path() + "/Tavelo";
    if (!QFileInfo::exists(root + "/Data/Tavelo.ini"))
        Report("generate_data", Ms([&] { SuiteSetup::Create(root, false, thousands); }) / 1000,
               "s");
    return root;
}
