#include "books/LibroEscritura.h"

#include "platform/util/Decimal.h"
#include "platform/util/TvError.h"

#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cmath>
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

QString Fecha(qint32 dia) {
    const QString text = QStringLiteral("%1").arg(dia, 8, 10, QLatin1Char('0'));
    return text.mid(6, 2) + "/" + text.mid(4, 2) + "/" + text.left(4);
}

QString Importe(double value) {
    return Decimal::Fixed(value, 2).replace(QLatin1Char('.'), QLatin1Char(','));
}

QString Concepto(const LibroFacturas::Resumen& r) {
    return (r.rectificacion ? "Rectificaciones al " : "Régimen general al ") +
           Decimal::Shortest(r.nPorcIpto) + " %";
}

// A cell as both forms write it: the CSV its text, the workbook a number, a date or a text. The
// text of a number or a date is made only when asked for: the workbook never needs it.
struct Celda {
    enum class Tipo { Texto, Importe, Fecha };
    Tipo tipo = Tipo::Texto;
    QString texto;
    double numero = 0;
    qint32 dia = 0;

    static Celda De(const QString& text) { return {Tipo::Texto, text}; }
    static Celda De(Money value) { return {Tipo::Importe, {}, value.ToDouble()}; }
    static Celda Porcentaje(double rate) { return {Tipo::Importe, {}, rate}; }
    static Celda Dia(qint32 dia) { return {Tipo::Fecha, {}, 0, dia}; }

    QString Texto() const {
        switch (tipo) {
        case Tipo::Importe:
            return Importe(numero);
        case Tipo::Fecha:
            return Fecha(dia);
        case Tipo::Texto:
            break;
        }
        return texto;
    }
    // The characters the workbook shows: amounts with their thousands separators.
    qsizetype Ancho() const {
        if (tipo == Tipo::Fecha)
            return 10;
        if (tipo == Tipo::Texto)
            return texto.size();
        qsizetype digits = 1;
        for (double whole = std::floor(std::abs(numero)); whole >= 10; whole /= 10)
            ++digits;
        return digits + (digits - 1) / 3 + 3 + (numero < 0 ? 1 : 0);
    }
};
using Fila = std::vector<Celda>;

Fila DeLinea(const LibroFacturas::Linea& l) {
    return {Celda::De(QString::number(l.nEjercicio)),
            Celda::De(l.sPeriodo),
            Celda::De(l.sTipo),
            Celda::Dia(l.dExpedicion),
            Celda::Dia(l.dOperacion),
            Celda::De(l.sSerie),
            Celda::De(l.sNumero),
            Celda::De(l.sNif),
            Celda::De(l.sNombre),
            Celda::De(l.nBase),
            Celda::Porcentaje(l.nPorcIpto),
            Celda::De(l.nCuota),
            Celda::De(l.nTotal),
            Celda::De(l.sRectificada)};
}

std::vector<Fila> DelResumen(const LibroFacturas& libro) {
    std::vector<Fila> rows;
    for (const LibroFacturas::Resumen& r : libro.resumen)
        rows.push_back({Celda::De(Concepto(r)), Celda::Porcentaje(r.nPorcIpto),
                        Celda::De(r.sCasillas), Celda::De(r.nBase), Celda::De(r.nCuota)});
    rows.push_back({Celda::De(QStringLiteral("Total")), Celda::De(QString()),
                    Celda::De(QStringLiteral("27")), Celda::De(libro.BaseTotal()),
                    Celda::De(libro.CuotaTotal())});
    return rows;
}

QStringList Textos(const Fila& fila) {
    QStringList texts;
    for (const Celda& celda : fila)
        texts << celda.Texto();
    return texts;
}

// A field as a spreadsheet reads it: quoted when it holds the separator, a quote or a line end.
void Campo(QString& line, const QString& text) {
    if (!text.contains(QLatin1Char(';')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'))) {
        line += text;
        return;
    }
    line += QLatin1Char('"') + QString(text).replace(QLatin1String("\""), QLatin1String("\"\"")) +
            QLatin1Char('"');
}

// Written a piece at a time, so that a year's book never stands whole in memory as text.
class Csv {
public:
    explicit Csv(const QString& file) : m_out(file), m_file(file) {
        if (!m_out.open(QIODevice::WriteOnly))
            Fail();
    }
    void Add(const QStringList& fields) {
        QString line;
        for (qsizetype k = 0; k < fields.size(); ++k) {
            if (k > 0)
                line += QLatin1Char(';');
            Campo(line, fields[k]);
        }
        m_buffer += line.toUtf8() + "\r\n";
        if (m_buffer.size() > (1 << 20))
            Flush();
    }
    void Commit() {
        Flush();
        if (!m_out.commit())
            Fail();
    }

private:
    void Flush() {
        if (m_out.write(m_buffer) < 0)
            Fail();
        m_buffer.clear();
    }
    [[noreturn]] void Fail() {
        throw TvError(ErrorNumber::PathFileAccess,
                      "No se puede escribir " + m_file + ": " + m_out.errorString());
    }
    QSaveFile m_out;
    QString m_file;
    QByteArray m_buffer;
};

void EscribirCsv(const LibroFacturas& libro, const QString& file) {
    Csv csv(file);
    csv.Add(CabeceraLibro);
    for (const LibroFacturas::Linea& l : libro.lineas)
        csv.Add(Textos(DeLinea(l)));
    csv.Add({});
    csv.Add(CabeceraResumen);
    for (const Fila& row : DelResumen(libro))
        csv.Add(Textos(row));
    csv.Commit();
}

// A sheet of the workbook: headings in bold and frozen, amounts as numbers with two decimals,
// dates as dates, every column as wide as its widest text. The rows come one at a time (the
// workbook keeps only the current one), after a first pass that measures them.
class Hoja {
public:
    Hoja(lxw_workbook* book, const char* name, const QStringList& headings)
        : m_sheet(workbook_add_worksheet(book, name)), m_bold(workbook_add_format(book)),
          m_number(workbook_add_format(book)), m_date(workbook_add_format(book)),
          m_widths(size_t(headings.size()), 0), m_headings(headings) {
        format_set_bold(m_bold);
        format_set_num_format(m_number, "#,##0.00");
        format_set_num_format(m_date, "dd/mm/yyyy");
        for (int c = 0; c < headings.size(); ++c)
            m_widths[size_t(c)] = headings[c].size();
    }
    void Measure(const Fila& fila) {
        for (size_t c = 0; c < fila.size(); ++c)
            m_widths[c] = std::max(m_widths[c], fila[c].Ancho());
    }
    void Start() {
        for (size_t c = 0; c < m_widths.size(); ++c)
            worksheet_set_column(m_sheet, lxw_col_t(c), lxw_col_t(c), double(m_widths[c]) + 2,
                                 nullptr);
        worksheet_freeze_panes(m_sheet, 1, 0);
        // Printed across, as wide as the page, the headings on every page.
        worksheet_set_landscape(m_sheet);
        worksheet_fit_to_pages(m_sheet, 1, 0);
        worksheet_repeat_rows(m_sheet, 0, 0);
        for (int c = 0; c < m_headings.size(); ++c)
            worksheet_write_string(m_sheet, 0, lxw_col_t(c), m_headings[c].toUtf8().constData(),
                                   m_bold);
    }
    void Write(const Fila& fila) {
        ++m_row;
        for (size_t c = 0; c < fila.size(); ++c) {
            const Celda& celda = fila[c];
            const auto col = lxw_col_t(c);
            if (celda.tipo == Celda::Tipo::Fecha) {
                lxw_datetime day = {
                    celda.dia / 10000, celda.dia / 100 % 100, celda.dia % 100, 0, 0, 0};
                worksheet_write_datetime(m_sheet, m_row, col, &day, m_date);
            } else if (celda.tipo == Celda::Tipo::Importe) {
                worksheet_write_number(m_sheet, m_row, col, celda.numero, m_number);
            } else if (!celda.texto.isEmpty()) {
                worksheet_write_string(m_sheet, m_row, col, celda.texto.toUtf8().constData(),
                                       nullptr);
            }
        }
    }

private:
    lxw_worksheet* m_sheet;
    lxw_format *m_bold, *m_number, *m_date;
    std::vector<qsizetype> m_widths;
    QStringList m_headings;
    lxw_row_t m_row = 0;
};

void EscribirXlsx(const LibroFacturas& libro, const QString& file) {
    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    lxw_workbook* book = workbook_new_opt(QFile::encodeName(file).constData(), &options);
    if (!book)
        throw TvError(ErrorNumber::PathFileAccess, "No se puede escribir " + file);
    Hoja lineas(book, "Libro registro", CabeceraLibro);
    for (const LibroFacturas::Linea& l : libro.lineas)
        lineas.Measure(DeLinea(l));
    lineas.Start();
    for (const LibroFacturas::Linea& l : libro.lineas)
        lineas.Write(DeLinea(l));
    Hoja resumen(book, "Resumen IVA", CabeceraResumen);
    const std::vector<Fila> rows = DelResumen(libro);
    for (const Fila& row : rows)
        resumen.Measure(row);
    resumen.Start();
    for (const Fila& row : rows)
        resumen.Write(row);
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
        rows.push_back(Textos(DeLinea(l)));
    return rows;
}

std::vector<QStringList> FilasResumen(const LibroFacturas& libro) {
    std::vector<QStringList> rows;
    for (const Fila& row : DelResumen(libro))
        rows.push_back(Textos(row));
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
