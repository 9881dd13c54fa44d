#include "books/LibroEscritura.h"

#include "platform/util/Decimal.h"
#include "platform/util/TvError.h"

#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <xlsxwriter.h>

namespace LibroEscritura {

const QStringList CabeceraLibro = {"Ejercicio",
                                   "Periodo",
                                   "Tipo de factura",
                                   "Fecha de expedición",
                                   "Fecha de operación",
                                   "Serie",
                                   "Número",
                                   "NIF del destinatario",
                                   "Nombre del destinatario",
                                   "Base imponible",
                                   "Tipo de IVA",
                                   "Cuota de IVA repercutida",
                                   "Total de la factura",
                                   "Factura rectificada"};
const QStringList CabeceraResumen = {"Concepto", "Tipo de IVA", "Casillas", "Base imponible",
                                     "Cuota"};

namespace {

// Which columns of each table hold amounts, and which dates; the rest is text.
constexpr int LibroFechas[] = {3, 4};
constexpr int LibroImportes[] = {9, 10, 11, 12};
constexpr int ResumenImportes[] = {1, 3, 4};

QString Fecha(qint32 dia) {
    const QString text = QStringLiteral("%1").arg(dia, 8, 10, QLatin1Char('0'));
    return text.mid(6, 2) + "/" + text.mid(4, 2) + "/" + text.left(4);
}

QString Importe(double value) {
    return Decimal::Fixed(value, 2).replace(QLatin1Char('.'), QLatin1Char(','));
}

QString Importe(Money value) {
    return value.Text().replace(QLatin1Char('.'), QLatin1Char(','));
}

QString Concepto(const LibroFacturas::Resumen& r) {
    return (r.rectificacion ? "Rectificaciones al " : "Régimen general al ") +
           Decimal::Shortest(r.nPorcIpto) + " %";
}

// A field as a spreadsheet reads it: quoted when it holds the separator, a quote or a line end.
QString Campo(const QString& text) {
    if (!text.contains(QLatin1Char(';')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    return '"' + QString(text).replace(QLatin1String("\""), QLatin1String("\"\"")) + '"';
}

void EscribirCsv(const LibroFacturas& libro, const QString& file) {
    QString text;
    auto add = [&text](const QStringList& fields) {
        QStringList quoted;
        for (const QString& field : fields)
            quoted << Campo(field);
        text += quoted.join(QLatin1Char(';')) + "\r\n";
    };
    add(CabeceraLibro);
    for (const QStringList& row : FilasLibro(libro))
        add(row);
    text += "\r\n";
    add(CabeceraResumen);
    for (const QStringList& row : FilasResumen(libro))
        add(row);
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(text.toUtf8()) < 0 || !out.commit())
        throw TvError(ErrorNumber::PathFileAccess,
                      "No se puede escribir " + file + ": " + out.errorString());
}

// A sheet of the workbook: headings in bold and frozen, amounts as numbers with two decimals,
// dates as dates, every column as wide as its widest text.
void Hoja(lxw_workbook* book, const char* name, const QStringList& headings,
          const std::vector<QStringList>& rows, const int* fechas, size_t nFechas,
          const int* importes, size_t nImportes) {
    lxw_worksheet* sheet = workbook_add_worksheet(book, name);
    lxw_format* bold = workbook_add_format(book);
    format_set_bold(bold);
    lxw_format* number = workbook_add_format(book);
    format_set_num_format(number, "#,##0.00");
    lxw_format* date = workbook_add_format(book);
    format_set_num_format(date, "dd/mm/yyyy");
    std::vector<qsizetype> widths(size_t(headings.size()), 0);
    for (int c = 0; c < headings.size(); ++c) {
        worksheet_write_string(sheet, 0, lxw_col_t(c), headings[c].toUtf8().constData(), bold);
        widths[size_t(c)] = headings[c].size();
    }
    auto isIn = [](const int* columns, size_t n, int c) {
        return std::find(columns, columns + n, c) != columns + n;
    };
    for (size_t r = 0; r < rows.size(); ++r) {
        const auto row = lxw_row_t(r + 1);
        for (int c = 0; c < rows[r].size(); ++c) {
            const QString& text = rows[r][c];
            const auto col = lxw_col_t(c);
            widths[size_t(c)] = std::max(widths[size_t(c)], text.size());
            if (text.isEmpty())
                continue;
            if (isIn(fechas, nFechas, c)) {
                lxw_datetime day = {
                    text.mid(6, 4).toInt(), text.mid(3, 2).toInt(), text.left(2).toInt(), 0, 0, 0};
                worksheet_write_datetime(sheet, row, col, &day, date);
            } else if (isIn(importes, nImportes, c)) {
                worksheet_write_number(sheet, row, col, QString(text).replace(',', '.').toDouble(),
                                       number);
            } else {
                worksheet_write_string(sheet, row, col, text.toUtf8().constData(), nullptr);
            }
        }
    }
    for (size_t c = 0; c < widths.size(); ++c)
        worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c), double(widths[c]) + 2, nullptr);
    worksheet_freeze_panes(sheet, 1, 0);
}

void EscribirXlsx(const LibroFacturas& libro, const QString& file) {
    lxw_workbook* book = workbook_new(QFile::encodeName(file).constData());
    if (!book)
        throw TvError(ErrorNumber::PathFileAccess, "No se puede escribir " + file);
    Hoja(book, "Libro registro", CabeceraLibro, FilasLibro(libro), LibroFechas,
         std::size(LibroFechas), LibroImportes, std::size(LibroImportes));
    Hoja(book, "Resumen IVA", CabeceraResumen, FilasResumen(libro), nullptr, 0, ResumenImportes,
         std::size(ResumenImportes));
    const lxw_error error = workbook_close(book);
    if (error != LXW_NO_ERROR)
        throw TvError(ErrorNumber::PathFileAccess,
                      "No se puede escribir " + file + ": " + lxw_strerror(error));
}

} // namespace

std::vector<QStringList> FilasLibro(const LibroFacturas& libro) {
    std::vector<QStringList> rows;
    rows.reserve(libro.lineas.size());
    for (const LibroFacturas::Linea& l : libro.lineas)
        rows.push_back({QString::number(l.nEjercicio), l.sPeriodo, l.sTipo, Fecha(l.dExpedicion),
                        Fecha(l.dOperacion), l.sSerie, l.sNumero, l.sNif, l.sNombre,
                        Importe(l.nBase), Importe(l.nPorcIpto), Importe(l.nCuota),
                        Importe(l.nTotal), l.sRectificada});
    return rows;
}

std::vector<QStringList> FilasResumen(const LibroFacturas& libro) {
    std::vector<QStringList> rows;
    for (const LibroFacturas::Resumen& r : libro.resumen)
        rows.push_back(
            {Concepto(r), Importe(r.nPorcIpto), r.sCasillas, Importe(r.nBase), Importe(r.nCuota)});
    rows.push_back(
        {"Total", QString(), "27", Importe(libro.BaseTotal()), Importe(libro.CuotaTotal())});
    return rows;
}

void Escribir(const LibroFacturas& libro, const QString& file) {
    const QString suffix = QFileInfo(file).suffix().toLower();
    if (suffix == QLatin1String("csv"))
        EscribirCsv(libro, file);
    else if (suffix == QLatin1String("xlsx"))
        EscribirXlsx(libro, file);
    else
        throw TvError(ErrorNumber::InvalidCall,
                      "El libro se escribe en un archivo .xlsx o .csv, no en " + file);
}

} // namespace LibroEscritura
