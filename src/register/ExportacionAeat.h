#pragma once

#include "register/RegistroFacturacion.h"
#include "register/ValidacionesAeat.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>
#include <utility>

// The register in the tax agency's own format: RegFactuSistemaFacturacion documents holding a
// RegistroAlta per record, as its published schema (SuministroLR.xsd) describes them. Every
// record is written from its row in RegistrosFacturacion (the fingerprinted texts, unchanged) and
// from its document's stored header, breakdown and reason.
namespace ExportacionAeat {

// Every record names the invoicing system that made it as the build declares it
// (SistemaInformatico::DelBuild); the installation number comes from the ini (section
// "Registro", key "NumeroInstalacion").
// A document holds at most this many records: the agency's limit per submission.
inline constexpr int RegistrosPorDocumento = 1000;

// Record r alone, a RegistroAlta or RegistroAnulacion as the document's root: what is signed when
// the records are kept rather than sent.
QByteArray Registro(const RegistroFacturacion::Registro& r, const QString& numeroInstalacion);
// The same with the record before r of its issuer (none: the first) and the issuer's name already
// known, as a reader of the whole register knows them.
QByteArray Registro(const RegistroFacturacion::Registro& r, const QString& numeroInstalacion,
                    const RegistroFacturacion::Registro* anterior, const QString& emisor);

// Each record (with its issuer's record just before it) as Registro writes it, their documents
// read in a few queries for all: for a reader that goes through many records. Empty for a record
// whose document does not exist (Registro raises for it).
std::vector<QByteArray>
Registros(const std::vector<std::pair<const RegistroFacturacion::Registro*,
                                      const RegistroFacturacion::Registro*>>& registros,
          const QString& numeroInstalacion, const QString& emisor);

// The company that issues the records: its legal name (at most 120 characters) and NIF.
std::pair<QString, QString> Obligado();

// Writes the records whose issue date lies between desde and hasta (yyyymmdd, 0 for no bound),
// in register order: into `file` itself when they fit in one document, otherwise into FILE-1.xml,
// FILE-2.xml, ... beside it. Answers the files written. Raises on a file that cannot be written.
QStringList Exportar(const QString& file, const QString& numeroInstalacion, qint32 desde = 0,
                     qint32 hasta = 0);

// The SOAP message that submits `registros` (at most RegistrosPorDocumento, in register order) to
// the agency: a RegFactuSistemaFacturacion in the envelope's body. `subsanacion` holds the records
// (nIdRegistro) sent again after the agency rejected them. `incidencia`: the records were made
// longer ago than the agency takes as the moment of sending (ValidacionesAeat::Demorado), and
// the header says so; it is outside every record, so nothing fingerprinted changes.
QByteArray Envio(const std::vector<RegistroFacturacion::Registro>& registros,
                 const QSet<qint32>& subsanacion, const QString& numeroInstalacion,
                 bool incidencia = false);

// What the agency reads of alta r, as Envio writes it, for the agency's validations
// (ValidacionesAeat::Comprobar); `subsanacion`: sent again as a correction.
ValidacionesAeat::Datos Datos(const RegistroFacturacion::Registro& r, bool subsanacion = false);
// The same for several records at once (none a correction), their documents read in a few
// statements for them all.
std::vector<ValidacionesAeat::Datos> Datos(const std::vector<RegistroFacturacion::Registro>& rs);
// The reads Datos makes for the new records of those documents, for DataAccess::ReadAhead.
QStringList DatosReads(const QList<qint32>& facturas);

// The SOAP message that hands `registros` over (at most RegistrosPorDocumento, in register order)
// at the agency's request `referencia`: each record as it was signed when it was signed, and
// FinRequerimiento "S" when this submission ends the request.
QByteArray Requerimiento(const std::vector<RegistroFacturacion::Registro>& registros,
                         const QString& referencia, bool fin, const QString& numeroInstalacion);

} // namespace ExportacionAeat
