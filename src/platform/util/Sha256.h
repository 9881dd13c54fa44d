#pragma once

#include <QByteArrayView>
#include <QString>
#include <array>

// SHA-256 digests in upper-case hexadecimal, as the register's fingerprints and the schema's
// trigger that checks them write them.
namespace Sha256 {

// The digest of bytes, answered without a string of its own; raises TvError should the
// cryptographic library fail.
std::array<char, 64> Hex(QByteArrayView bytes);
// The same as a string.
QString HexText(QByteArrayView bytes);

} // namespace Sha256
