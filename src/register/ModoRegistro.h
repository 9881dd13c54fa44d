#pragma once

#include <QString>

// The register's mode as the data remembers it (ModosRegistro). Each workstation's ini says which
// mode it runs in; the data says which modes the clinic has run in and since when, so that a
// clinic that began to send its records in a year does not stop before the year ends, and the
// records it kept before it began are not sent as new ones (docs/register.md, "Modes").
namespace ModoRegistro {

// Compares the ini's mode with the last one the data has seen and writes a change. A change from
// the mode without sending to VERI*FACTU is logged as the end of operation without sending.
// A return to the mode without sending in the year VERI*FACTU began is refused: answers why (in
// Spanish, naming the setting), writes nothing, and every record is refused from then on
// (FirmaRegistro). Answers empty when the module may issue. Call after FirmaRegistro::Configurar.
QString Comprobar(const QString& ini);

// The last record made before the clinic last began to send: those up to it are never sent.
qint32 UltimoSinEnvio();

} // namespace ModoRegistro
