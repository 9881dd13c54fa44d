#pragma once

#include <QString>
#include <QStringList>
#include <cstdio>
#include <map>

// What the command-line tools say, a line at a time and flushed at once, so that a script or a
// test reading them sees each line as soon as it is said.
inline void Print(FILE* stream, const QString& text) {
    std::fputs(qPrintable(text + QLatin1Char('\n')), stream);
    std::fflush(stream);
}

// Reads "--name value" pairs into the strings each name points to; answers what is wrong with
// them for the usage message, or nothing.
inline QString ReadOptions(const QStringList& args, const std::map<QString, QString*>& options) {
    if (args.size() % 2 != 0)
        return QStringLiteral("falta el valor de una opción");
    for (qsizetype k = 0; k < args.size(); k += 2) {
        const auto option = options.find(args[k]);
        if (option == options.end())
            return QStringLiteral("opción desconocida ") + args[k];
        *option->second = args[k + 1];
    }
    return {};
}
