#pragma once

#include "register/RegistroFacturacion.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// The register's records signed as they are made, when the clinic keeps them rather than sends
// them (Modo=NOVERIFACTU or no [VeriFactu] section): each RegistroAlta or RegistroAnulacion,
// exactly as the agency's schema writes it alone, with an enveloped XAdES signature by the
// clinic's certificate, kept in RegistrosFirmados beside its row (docs/register.md).
namespace FirmaRegistro {

// Reads the ini of this process's records. In the mode without sending every record is signed
// from then on, and a certificate that cannot sign is said here (in Spanish, naming the setting)
// and again, as a TvError, by every record that would be made; in VERI*FACTU mode nothing is
// signed; an empty ini leaves records unsigned (a program that makes a folder without a clinic).
// Answers the problem, empty when records can be made.
// `modo` SinEnvio signs whatever the ini's mode: the last event of the mode without sending,
// logged when the clinic begins to send.
enum class Modo { DelIni, SinEnvio };
QString Configurar(const QString& ini, Modo modo = Modo::DelIni);

// Refuses every record from now on for `problema` (a mode the clinic may not return to), when
// the records are signed.
void Impedir(const QString& problema);

// What Configurar said of the certificate: empty when records can be made.
QString Problema();

// Signs record r, just written in the caller's transaction, and stores the signed XML in the same
// transaction. Nothing when no ini was read (Configurar) or the records are sent.
void Firmar(const RegistroFacturacion::Registro& r);

// Whether this process signs its records (and so keeps the event log): an ini read, the mode
// without sending, a certificate that signs.
bool Firmando();

// The installation's number (the ini's [Registro] NumeroInstalacion, 1 when absent).
QString NumeroInstalacion();

// xml signed as the records are, the signature last inside the element `cierre` closes.
QByteArray FirmarXml(const QByteArray& xml, const QByteArray& cierre);

// The signed XML of record nIdRegistro; empty when it has none.
QByteArray Firmado(qint32 nIdRegistro);

// Every signed record into folder `dir`, one file each, named by its record; answers how many.
int Exportar(const QString& dir);

// Checks every stored signature against its record: the signed XML says what the register's row
// says, and the signature holds. Answers the first fault ("record 37 (0037/26): ..."), empty when
// all hold; `checked` receives how many were checked.
QString Verificar(int* checked = nullptr);

} // namespace FirmaRegistro
