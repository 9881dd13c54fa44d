#pragma once

#include <QString>
#include <ostream>

// Readable failure messages for Qt's text types.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
