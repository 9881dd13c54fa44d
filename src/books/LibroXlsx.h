#pragma once

#include "platform/util/ArchivoSeguro.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>
#include <memory>
#include <vector>
#include <zlib.h>

// A workbook written as it goes: a zip of a few XML parts, the sheets' rows compressed while they
// arrive, so neither the rows nor their XML ever stand whole in memory, and the file is written
// through ArchivoSeguro once complete. Made for the books, whose register holds hundreds of
// thousands of rows of plain cells: texts inline, amounts and rates as numbers with two decimals
// (#,##0.00), dates as dates (dd/mm/yyyy), headings in bold and frozen, printed landscape as wide
// as the page with the headings on every page.
class LibroXlsx {
public:
    // One sheet. Its rows are compressed into a scratch file beside the target (a year's sheet
    // is hundreds of megabytes of XML, a tenth of that compressed); the column widths, which the
    // sheet's XML names before its rows, are given at the end and compressed apart.
    class Hoja {
    public:
        Hoja(ArchivoSeguro& out, const QString& carpeta, const QStringList& cabeceras);
        ~Hoja();
        Hoja(const Hoja&) = delete;
        Hoja& operator=(const Hoja&) = delete;
        // Begins the next row; its cells follow from the first column on.
        void Fila();
        // An empty text leaves its cell empty.
        void Texto(const QString& text);
        void Numero(double value);
        void Fecha(qint32 dia); // yyyymmdd
        // Widths in characters, one per column; the sheet is finished.
        void Anchos(const std::vector<double>& anchos);

    private:
        friend class LibroXlsx;
        void Referencia();
        void Comprimir(int flush);
        ArchivoSeguro& m_out;
        QTemporaryFile m_scratch;
        z_stream m_zip{};
        QByteArray m_xml, m_zipped;
        QByteArray m_cabeza; // the sheet's XML before its rows, once the widths are known
        uLong m_crc = 0;
        quint64 m_size = 0;
        quint32 m_row = 0;
        int m_col = 0;
        int m_columnas = 0;
        qint32 m_dia = 0;
        QByteArray m_serie; // m_dia as the workbook counts days
    };

    // Checks the target at once (ArchivoSeguro); raises as it does.
    explicit LibroXlsx(const QString& file);
    // The sheets in order; the first is the one shown when the workbook opens.
    Hoja& NuevaHoja(const QString& nombre, const QStringList& cabeceras);
    // Writes the workbook and puts it in place; every sheet has had its widths.
    void Terminar();

private:
    struct Entrada {
        QByteArray name;
        quint32 crc = 0, zipped = 0, size = 0, offset = 0;
    };
    void Parte(const char* name, const QByteArray& xml);
    // What Terminar writes in turn: the parts that name the sheets and their styles, the sheets
    // as they were compressed, and the zip's directory of every entry.
    void PartesDelLibro();
    void CopiarHojas();
    void Directorio();
    void Cabecera(const Entrada& e);
    void Escribir(const QByteArray& bytes);
    ArchivoSeguro m_out;
    QString m_carpeta;
    QStringList m_nombres;
    std::vector<std::unique_ptr<Hoja>> m_hojas;
    std::vector<Entrada> m_entradas;
    quint64 m_offset = 0;
};
