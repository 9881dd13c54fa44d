#pragma once

#include <QString>
#include <QStringList>
#include <ostream>

// Readable failure messages for Qt's text types.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QStringList& texts, std::ostream* out) {
    *out << '{';
    for (const QString& text : texts)
        *out << ' ' << '"' << text.toStdString() << '"';
    *out << " }";
}
