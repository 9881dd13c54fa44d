#pragma once

#include <QString>
#include <cstdio>

// What the command-line tools say, a line at a time and flushed at once, so that a script or a
// test reading them sees each line as soon as it is said.
inline void Print(FILE* stream, const QString& text) {
    std::fputs(qPrintable(text + QLatin1Char('\n')), stream);
    std::fflush(stream);
}
