// The accountant's books written out: the register, the VAT summary and the till closings.

#include "books/LibroEscritura.h"

#include "books/LibroXlsx.h"

#include "platform/util/ArchivoSeguro.h"
#include "platform/util/Decimal.h"
#include "platform/util/TvError.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

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
const QStringList CabeceraCierres = {"Fecha",   "Caja",       "Cierre",           "Esperado",
                                     "Contado", "Diferencia", "Por forma de pago"};

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
    enum class Tipo { Texto, Importe, Tasa, Fecha };
    Tipo tipo = Tipo::Texto;
    QString texto;
    Money importe;
    double tasa = 0;
    qint32 dia = 0;

    static Celda De(const QString& text) { return {Tipo::Texto, text, {}, 0, 0}; }
    static Celda De(Money value) { return {Tipo::Importe, {}, value, 0, 0}; }
    static Celda Porcentaje(double rate) { return {Tipo::Tasa, {}, {}, rate, 0}; }
    static Celda Dia(qint32 dia) { return {Tipo::Fecha, {}, {}, 0, dia}; }

    // The workbook's number: the one place where the books take an amount out of its cents.
    double Numero() const { return tipo == Tipo::Tasa ? tasa : importe.ToDouble(); }
    QString Texto() const {
        switch (tipo) {
        case Tipo::Importe:
            return importe.Plain();
        case Tipo::Tasa:
            return Importe(tasa);
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
        const bool negativo = tipo == Tipo::Importe ? importe < Money() : tasa < 0;
        qint64 entero = tipo == Tipo::Importe ? std::abs(importe.Cents()) / 100
                                              : qint64(std::floor(std::abs(tasa)));
        qsizetype digits = 1;
        for (; entero >= 10; entero /= 10)
            ++digits;
        return digits + (digits - 1) / 3 + 3 + (negativo ? 1 : 0);
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

// The payment types of a closing in one cell: "Efectivo 158,40 / 158,40; Tarjeta 20,00 / 20,00"
// (expected / counted).
std::vector<Fila> DeLosCierres(const LibroFacturas& libro) {
    std::vector<Fila> rows;
    for (const LibroFacturas::Cierre& c : libro.cierres) {
        QStringList metodos;
        for (const LibroFacturas::Cierre::Metodo& m : c.metodos)
            metodos << m.sTipoCobro + " " + m.nEsperado.Plain() + " / " + m.nContado.Plain();
        rows.push_back({Celda::Dia(c.dHasta), Celda::De(c.sCaja),
                        Celda::De("Z" + QString::number(c.nNumero)), Celda::De(c.nEsperado),
                        Celda::De(c.nContado), Celda::De(c.nDiferencia),
                        Celda::De(metodos.join(QStringLiteral("; ")))});
    }
    return rows;
}

QStringList Textos(const Fila& fila) {
    QStringList texts;
    for (const Celda& celda : fila)
        texts << celda.Texto();
    return texts;
}

std::vector<QStringList> Textos(const std::vector<Fila>& filas) {
    std::vector<QStringList> rows;
    for (const Fila& row : filas)
        rows.push_back(Textos(row));
    return rows;
}

// A field as a spreadsheet reads it: quoted when it holds the separator, a quote or a line end.
void Campo(QString& line, const QString& text) {
    const auto special = [](QChar c) {
        return c == QLatin1Char(';') || c == QLatin1Char('"') || c == QLatin1Char('\n') ||
               c == QLatin1Char('\r');
    };
    if (std::none_of(text.cbegin(), text.cend(), special)) {
        line += text;
        return;
    }
    line += QLatin1Char('"') + QString(text).replace(QLatin1String("\""), QLatin1String("\"\"")) +
            QLatin1Char('"');
}

// Where a book goes: the register's lines as they come, then the summary, then the file is
// finished. Each form is written by one thread at a time, never by two at once.
class Destino {
public:
    virtual ~Destino() = default;
    virtual void Lineas(const std::vector<LibroFacturas::Linea>& lineas) = 0;
    virtual void Terminar(const LibroFacturas& libro) = 0;
};

// Written a piece at a time, so that a year's book never stands whole in memory as text. A line
// is made in one buffer kept from line to line, cell by cell, with no list of texts between.
class Csv : public Destino {
public:
    explicit Csv(const QString& file) : m_out(file) { Add(CabeceraLibro); }
    void Lineas(const std::vector<LibroFacturas::Linea>& lineas) override {
        for (const LibroFacturas::Linea& l : lineas)
            Add(DeLinea(l));
    }
    void Terminar(const LibroFacturas& libro) override {
        Add(Fila{});
        Add(CabeceraResumen);
        for (const Fila& row : DelResumen(libro))
            Add(row);
        Add(Fila{});
        Add(CabeceraCierres);
        for (const Fila& row : DeLosCierres(libro))
            Add(row);
        Flush();
        m_out.Terminar();
    }

private:
    void Add(const QStringList& headings) {
        Fila fila;
        for (const QString& heading : headings)
            fila.push_back(Celda::De(heading));
        Add(fila);
    }
    void Add(const Fila& fila) {
        m_line.resize(0);
        for (size_t k = 0; k < fila.size(); ++k) {
            if (k > 0)
                m_line += QLatin1Char(';');
            if (fila[k].tipo == Celda::Tipo::Texto)
                Campo(m_line, fila[k].texto);
            else
                m_line += fila[k].Texto();
        }
        m_buffer += m_line.toUtf8();
        m_buffer += "\r\n";
        if (m_buffer.size() > (1 << 20))
            Flush();
    }
    void Flush() {
        // A write that failed ends the book at once: Terminar raises with its cause.
        if (m_out.write(m_buffer) < 0)
            m_out.Terminar();
        m_buffer.clear();
    }
    ArchivoSeguro m_out;
    QString m_line;
    QByteArray m_buffer;
};

// A sheet of the workbook: every column as wide as its widest text, measured as the rows go out
// (the workbook keeps only what it has not compressed yet) and given when the sheet ends.
class Hoja {
public:
    Hoja(LibroXlsx& book, const char* name, const QStringList& headings)
        : m_sheet(book.NuevaHoja(QString::fromUtf8(name), headings)) {
        for (const QString& heading : headings)
            m_widths.push_back(heading.size());
    }
    void Write(const Fila& fila) {
        m_sheet.Fila();
        for (size_t c = 0; c < fila.size(); ++c) {
            const Celda& celda = fila[c];
            m_widths[c] = std::max(m_widths[c], celda.Ancho());
            if (celda.tipo == Celda::Tipo::Fecha)
                m_sheet.Fecha(celda.dia);
            else if (celda.tipo != Celda::Tipo::Texto)
                m_sheet.Numero(celda.Numero());
            else
                m_sheet.Texto(celda.texto);
        }
    }
    void Widths() {
        std::vector<double> widths;
        for (const qsizetype width : m_widths)
            widths.push_back(double(width) + 2);
        m_sheet.Anchos(widths);
    }

private:
    LibroXlsx::Hoja& m_sheet;
    std::vector<qsizetype> m_widths;
};

class Xlsx : public Destino {
public:
    explicit Xlsx(const QString& file)
        : m_book(file), m_lineas(m_book, "Libro registro", CabeceraLibro) {}
    void Lineas(const std::vector<LibroFacturas::Linea>& lineas) override {
        for (const LibroFacturas::Linea& l : lineas)
            m_lineas.Write(DeLinea(l));
    }
    void Terminar(const LibroFacturas& libro) override {
        m_lineas.Widths();
        Hoja resumen(m_book, "Resumen IVA", CabeceraResumen);
        for (const Fila& row : DelResumen(libro))
            resumen.Write(row);
        resumen.Widths();
        Hoja cierres(m_book, "Cierres de caja", CabeceraCierres);
        for (const Fila& row : DeLosCierres(libro))
            cierres.Write(row);
        cierres.Widths();
        m_book.Terminar();
    }

private:
    LibroXlsx m_book;
    Hoja m_lineas;
};

std::unique_ptr<Destino> Abrir(const QString& file) {
    const QString suffix = QFileInfo(file).suffix().toLower();
    if (suffix == QLatin1String("csv"))
        return std::make_unique<Csv>(file);
    if (suffix == QLatin1String("xlsx"))
        return std::make_unique<Xlsx>(file);
    throw TvError(ErrorNumber::InvalidCall,
                  "El libro se escribe en un archivo .xlsx o .csv, no en " + file);
}

// The batches of lines on their way from the reading thread to the writing one. Few are held at
// once, so reading never runs far ahead of a slower writer; an error on either side stops both.
class Cola {
public:
    void Poner(std::vector<LibroFacturas::Linea>&& lote) {
        std::unique_lock lock(m_mutex);
        m_cambio.wait(lock, [this] { return m_lotes.size() < Capacidad || m_error; });
        if (m_error)
            std::rethrow_exception(m_error);
        m_lotes.push_back(std::move(lote));
        m_cambio.notify_all();
    }
    std::optional<std::vector<LibroFacturas::Linea>> Tomar() {
        std::unique_lock lock(m_mutex);
        m_cambio.wait(lock, [this] { return !m_lotes.empty() || m_fin; });
        if (m_lotes.empty())
            return std::nullopt;
        std::vector<LibroFacturas::Linea> lote = std::move(m_lotes.front());
        m_lotes.pop_front();
        m_cambio.notify_all();
        return lote;
    }
    void Terminar() {
        const std::lock_guard lock(m_mutex);
        m_fin = true;
        m_cambio.notify_all();
    }
    void Fallo(std::exception_ptr error) {
        const std::lock_guard lock(m_mutex);
        m_error = std::move(error);
        m_fin = true;
        m_cambio.notify_all();
    }
    void Relanzar() {
        if (m_error)
            std::rethrow_exception(m_error);
    }

private:
    static constexpr size_t Capacidad = 4;
    std::mutex m_mutex;
    std::condition_variable m_cambio;
    std::deque<std::vector<LibroFacturas::Linea>> m_lotes;
    std::exception_ptr m_error;
    bool m_fin = false;
};

} // namespace

std::vector<QStringList> FilasLibro(const LibroFacturas& libro) {
    std::vector<QStringList> rows;
    rows.reserve(libro.lineas.size());
    for (const LibroFacturas::Linea& l : libro.lineas)
        rows.push_back(Textos(DeLinea(l)));
    return rows;
}

std::vector<QStringList> FilasResumen(const LibroFacturas& libro) {
    return Textos(DelResumen(libro));
}

std::vector<QStringList> FilasCierres(const LibroFacturas& libro) {
    return Textos(DeLosCierres(libro));
}

void Escribir(const LibroFacturas& libro, const QString& file) {
    const std::unique_ptr<Destino> destino = Abrir(file);
    destino->Lineas(libro.lineas);
    destino->Terminar(libro);
}

size_t EscribirPeriodo(qint32 desde, qint32 hasta, qint32 nIdSucursal, const QString& file) {
    const std::unique_ptr<Destino> destino = Abrir(file);
    Cola cola;
    size_t escritas = 0;
    // The database is read on this thread, the one its connection belongs to; the file is
    // written on the other, so a year's book costs about the longer of the two, not their sum.
    std::thread escritor([&] {
        try {
            while (std::optional<std::vector<LibroFacturas::Linea>> lote = cola.Tomar()) {
                destino->Lineas(*lote);
                escritas += lote->size();
            }
        } catch (...) {
            cola.Fallo(std::current_exception());
        }
    });
    LibroFacturas libro;
    try {
        libro = LibroFacturas::Recorrer(
            desde, hasta, nIdSucursal,
            [&](std::vector<LibroFacturas::Linea>&& lote) { cola.Poner(std::move(lote)); });
    } catch (...) {
        cola.Terminar();
        escritor.join();
        throw;
    }
    cola.Terminar();
    escritor.join();
    cola.Relanzar();
    destino->Terminar(libro);
    return escritas;
}

} // namespace LibroEscritura
