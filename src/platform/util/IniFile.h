#pragma once

#include <QString>

// The suite's initialisation file, read as its other programs read it: sections and keys in any
// case, the value after the first "=", blanks around it trimmed and surrounding double quotes
// dropped. Kept apart from Utility so that the data layer can find its database without the rest
// of the utility component.
namespace IniFile {

// A missing file, section or key answers def; a key present with an empty value answers "".
QString Read(const QString& file, const QString& section, const QString& key,
             const QString& def = {});

} // namespace IniFile
