#pragma once

#include <QMap>
#include <QString>

// A clinic's database in one file, and put back from it (docs/operations.md). The file holds a
// first line "TVCOPIA 1", a manifest (one line of JSON) and the data: the SQLite database as the
// backup API copied it, or the server's dump in pg_dump's custom format.
namespace CopiaSeguridad {

// What a backup says of itself.
struct Manifiesto {
    QString creada;              // when it was taken, ISO 8601 with the offset
    QString motor;               // "sqlite" or "postgresql"
    QMap<QString, qint64> filas; // rows per table
    QString huella;              // the register's last fingerprint (empty: no record yet)
    qint64 ultimaFactura = 0;    // the highest nIdFactura
    qint64 ultimoRegistro = 0;   // the highest nIdRegistro
    qint64 bytes = 0;            // the data's size
    QString sha256;              // of the data, upper-case hex
};

// Writes into folder `carpeta` one backup of the clinic whose initialisation file is `ini`, reads
// it back and checks it before answering its path. Desks may keep issuing meanwhile: the copy is
// one consistent snapshot. Raises TvError (in Spanish) and leaves no file on any failure.
QString Crear(const QString& carpeta, const QString& ini);

// Reads the backup `archivo` back: its checksum, its row counts and its register's chain. A
// server's backup is read back in a scratch database of the server of the clinic `ini`, which
// needs the right to create one. Answers its manifest; raises TvError saying what fails.
Manifiesto Comprobar(const QString& archivo, const QString& ini = {});

// Puts the backup `archivo` back into the clinic of `ini` once Comprobar accepts it. A database
// holding documents the backup has not is refused unless `forzar` (they would be lost). The
// restore is logged in the event log. Answers what was restored, for the user.
QString Restaurar(const QString& archivo, const QString& ini, bool forzar);

} // namespace CopiaSeguridad
