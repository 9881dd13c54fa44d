#pragma once

#include <QString>

// The system's event log, kept beside the signed records when the clinic does not send them
// (docs/register.md): each event a RegistroEvento as the agency's EventosSIF schema writes it,
// chained to the one before by its fingerprint and signed as the records are, in EventosSIF,
// which nobody may change. Nothing is logged while FirmaRegistro does not sign.
namespace EventosSif {

// The agency's event types this module logs.
inline constexpr const char* Inicio = "01";               // start of operation in this mode
inline constexpr const char* Fin = "02";                  // its orderly end
inline constexpr const char* ControlRegistros = "03";     // a check of the invoice records
inline constexpr const char* AnomaliaRegistros = "04";    // what that check found wrong
inline constexpr const char* ControlEventos = "05";       // a check of the events
inline constexpr const char* AnomaliaEventos = "06";      // what it found wrong
inline constexpr const char* Restauracion = "07";         // a backup put back
inline constexpr const char* ExportacionRegistros = "08"; // records handed over
inline constexpr const char* ExportacionEventos = "09";   // events handed over
inline constexpr const char* Resumen = "10";              // the periodic summary

// Logs an event of type `tipo` with its own data (the DatosPropiosEvento's content, XML in the
// schema's namespace with prefix sf, empty for none) and a free text of at most 100 characters.
// A summary of the events since the last one comes first when six hours have passed. In a
// transaction of its own, or the caller's.
void Registrar(const char* tipo, const QString& datos = {}, const QString& otros = {});

// Logs the summary if six hours have passed since the last one: called as records are made, so
// that a day of issuing without other events still has its summaries.
void AlDia();

// The module starts: logs 01, saying so when the last start had no end (the program was killed
// or the computer stopped), then a check of the records and of the events, once a day. The
// workstation's data folder `carpeta` keeps the last event it saw (EventosSIF.ultimo): a
// database without that event was restored from an older copy, and 07 comes first.
void Arrancar(const QString& carpeta = {});
// The module's orderly end: logs 02 and keeps the last event in `carpeta`.
void Terminar(const QString& carpeta = {});
// A backup put back by the tool that restores it: logs 07 with the text `otros` and keeps the new
// last event in `carpeta`, so that the next start does not take the same restore for another.
void RegistrarRestauracion(const QString& carpeta, const QString& otros);

// Checks the chain, each fingerprint and each signature; answers the first fault ("event 12
// (01, 2026-12-08T09:00:00+01:00): ..."), empty when all hold; `checked` receives how many.
QString Verificar(int* checked = nullptr);

// Every event logged between desde and hasta (yyyymmdd, 0 for no bound) into folder `dir`, one
// file each in chain order, exactly as signed; answers how many. Logs the export.
int Exportar(const QString& dir, qint32 desde = 0, qint32 hasta = 0);

// The DatosPropiosEvento of a check of `records` invoice records (03) or of `events` events (05).
QString ControlDeRegistros(int records);
QString ControlDeEventos(int events);
// Of an anomaly found by such a check (04, 06): type 01 (integrity of fingerprints), 02 (of
// signatures), 03 (chain), the text that says which.
QString Anomalia(bool eventos, const char* tipo, const QString& texto);
// Of an export of the records issued between desde and hasta (yyyymmdd, 0 for no bound).
QString ExportacionDeRegistros(qint32 desde, qint32 hasta);

} // namespace EventosSif
