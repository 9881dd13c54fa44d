#pragma once

#include <QString>

// The pieces of the module's command line: "login:password|date|ini|n3|n4|n5|n6", or, without
// any "|", the path of the initialisation file alone. Start-up reads each piece where it needs
// it; a piece that cannot be read raises TvError 13 naming it, never a 0 in its place.
namespace StartupLine {

// Piece 2, or the whole line when it has no "|"; empty for the default file.
QString IniPath(const QString& line);
// Piece 0 up to its first ":", and everything after it (a password may hold ":").
QString Login(const QString& line);
QString Password(const QString& line);
// Piece 1 as yyyymmdd, a date of the years 1 to 9999; today when empty.
qint32 WorkingDate(const QString& line);
// Piece 3 to 6 as a whole number; 0 when empty.
qint32 Number(const QString& line, int piece);

} // namespace StartupLine
