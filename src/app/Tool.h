#pragma once

#include "platform/util/ArchivoSeguro.h"

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

// An existing output is replaced only when the command line says so (--force): takes the option
// out of args and sets the rule for every file the program writes.
inline bool TakeForce(QStringList& args) {
    const bool force = args.removeAll(QStringLiteral("--force")) > 0;
    ArchivoSeguro::PermitirSustituir(force);
    return force;
}
