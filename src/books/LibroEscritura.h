#pragma once

#include "books/LibroFacturas.h"

#include <QString>
#include <QStringList>

// The books written for the accountant's spreadsheet. Both forms hold the same tables with the
// same headings: the register ("Libro registro"), the VAT summary ("Resumen IVA") and the till
// closings ("Cierres de caja").
namespace LibroEscritura {

extern const QStringList CabeceraLibro;
extern const QStringList CabeceraResumen;
extern const QStringList CabeceraCierres;

// The tables as text: dates dd/mm/yyyy, amounts with two decimals and a decimal comma.
std::vector<QStringList> FilasLibro(const LibroFacturas& libro);
std::vector<QStringList> FilasResumen(const LibroFacturas& libro);
std::vector<QStringList> FilasCierres(const LibroFacturas& libro);

// Writes FILE.xlsx (three sheets) or FILE.csv (UTF-8, ";", the summary after the register and
// the till closings after the summary, each after a blank line), by the file's extension. Raises
// error 75 on a file that cannot be written and error 5 on another extension.
void Escribir(const LibroFacturas& libro, const QString& file);
// Reads the book of a period (as LibroFacturas::Leer) and writes it as Escribir does, the file
// written while the documents are still being read. Answers the register's lines written.
size_t EscribirPeriodo(qint32 desde, qint32 hasta, qint32 nIdSucursal, const QString& file);

} // namespace LibroEscritura
