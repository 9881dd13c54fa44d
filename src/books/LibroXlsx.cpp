// The books' workbook: the zip and its XML parts, the rows compressed as they come.

#include "books/LibroXlsx.h"

#include <QDate>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

const char* const Prologo = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
const char* const Main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const char* const Relaciones =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const char* const Paquete = "http://schemas.openxmlformats.org/package/2006/relationships";
const char* const Tipos = "application/vnd.openxmlformats-officedocument.spreadsheetml.";

// Each sheet's rows are compressed a quarter of a megabyte at a time, at zlib's fastest level: a
// year's register is several hundred megabytes of XML and a tenth of that compressed, where a
// better level would take seconds more for a file a few megabytes smaller.
constexpr qsizetype Tramo = 1 << 18;

// A text as XML holds it: the markup characters and a carriage return as entities, the control
// characters XML cannot hold as the workbook's own escape (_x0001_), which spreadsheets read
// back. Most of the books' texts are plain ASCII, copied as they are; the rest goes through UTF-8.
void Escapar(QByteArray& xml, QStringView text) {
    for (qsizetype k = 0; k < text.size(); ++k) {
        const char16_t c = text[k].unicode();
        if (c >= 0x80) {
            qsizetype end = k + 1;
            while (end < text.size() && text[end].unicode() >= 0x80)
                ++end;
            xml += text.mid(k, end - k).toUtf8();
            k = end - 1;
        } else if (c == '&') {
            xml += "&amp;";
        } else if (c == '<') {
            xml += "&lt;";
        } else if (c == '>') {
            xml += "&gt;";
        } else if (c == '"') {
            xml += "&quot;";
        } else if (c == '\r') {
            xml += "&#13;"; // a bare one would be read back as a line end alone

        } else if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            xml += "_x00" + QByteArray::number(int(c), 16).rightJustified(2, '0').toUpper() + '_';
        } else {
            xml += char(c);
        }
    }
}

QByteArray Escapado(const QString& text) {
    QByteArray xml;
    Escapar(xml, text);
    return xml;
}

// "A", "B", ... "Z", "AA": a column's letters.
QByteArray Letras(int col) {
    QByteArray letters;
    for (int n = col + 1; n > 0; n = (n - 1) / 26)
        letters.prepend(char('A' + (n - 1) % 26));
    return letters;
}

// The whole of `data` compressed as raw deflate (a zip entry's data), ended by `flush`: Z_FINISH
// for the last piece of an entry, Z_SYNC_FLUSH for a piece other compressed data follows.
QByteArray Deflate(const QByteArray& data, int flush) {
    z_stream zip{};
    deflateInit2(&zip, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&zip, uLong(data.size()))) + 16, Qt::Uninitialized);
    zip.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    zip.avail_in = uInt(data.size());
    zip.next_out = reinterpret_cast<Bytef*>(out.data());
    zip.avail_out = uInt(out.size());
    deflate(&zip, flush);
    out.resize(qsizetype(zip.total_out));
    deflateEnd(&zip);
    return out;
}

void Poner16(QByteArray& out, quint32 value) {
    out += char(value & 0xff);
    out += char((value >> 8) & 0xff);
}

void Poner32(QByteArray& out, quint32 value) {
    Poner16(out, value & 0xffff);
    Poner16(out, value >> 16);
}

// A day as the workbook counts them: days since 30 December 1899.
qint64 Serie(qint32 dia) {
    static const qint64 origen = QDate(1899, 12, 30).toJulianDay();
    return QDate(dia / 10000, dia / 100 % 100, dia % 100).toJulianDay() - origen;
}

} // namespace

LibroXlsx::Hoja::Hoja(ArchivoSeguro& out, const QString& carpeta, const QStringList& cabeceras)
    : m_out(out), m_scratch(carpeta + "/.libro-XXXXXX"), m_columnas(int(cabeceras.size())) {
    errno = 0;
    if (!m_scratch.open())
        m_out.Fallar(errno != 0 ? errno : EIO);
    deflateInit2(&m_zip, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    m_xml.reserve(Tramo + 4096);
    m_crc = crc32(0, nullptr, 0);
    Fila();
    for (const QString& heading : cabeceras) {
        Referencia();
        m_xml += "\" s=\"1\" t=\"inlineStr\"><is><t>";
        Escapar(m_xml, heading);
        m_xml += "</t></is></c>";
    }
}

LibroXlsx::Hoja::~Hoja() {
    deflateEnd(&m_zip);
}

void LibroXlsx::Hoja::Fila() {
    if (m_row > 0)
        m_xml += "</row>";
    if (m_xml.size() >= Tramo)
        Comprimir(Z_NO_FLUSH);
    ++m_row;
    m_col = 0;
    m_xml += "<row r=\"";
    char digits[16];
    m_xml.append(digits, std::to_chars(digits, digits + sizeof digits, m_row).ptr - digits);
    m_xml += "\">";
}

// Opens the next cell: `<c r="B7`, its attributes to follow.
void LibroXlsx::Hoja::Referencia() {
    static const QByteArray letters[] = {"A", "B", "C", "D", "E", "F", "G", "H", "I",
                                         "J", "K", "L", "M", "N", "O", "P", "Q", "R",
                                         "S", "T", "U", "V", "W", "X", "Y", "Z"};
    m_xml += "<c r=\"";
    m_xml += m_col < 26 ? letters[m_col] : Letras(m_col);
    char digits[16];
    m_xml.append(digits, std::to_chars(digits, digits + sizeof digits, m_row).ptr - digits);
    ++m_col;
}

void LibroXlsx::Hoja::Texto(const QString& text) {
    if (text.isEmpty()) {
        ++m_col;
        return;
    }
    Referencia();
    // Spaces at either end are kept only when the text says so.
    const bool spaces = text.front().isSpace() || text.back().isSpace();
    m_xml +=
        spaces ? "\" t=\"inlineStr\"><is><t xml:space=\"preserve\">" : "\" t=\"inlineStr\"><is><t>";
    Escapar(m_xml, text);
    m_xml += "</t></is></c>";
}

void LibroXlsx::Hoja::Numero(double value) {
    Referencia();
    m_xml += "\" s=\"3\"><v>";
    // The shortest text that reads back as the same number.
    char digits[32];
    m_xml.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr - digits);
    m_xml += "</v></c>";
}

void LibroXlsx::Hoja::Fecha(qint32 dia) {
    Referencia();
    // A book's lines come by date: the day before is mostly the day now.
    if (dia != m_dia) {
        m_dia = dia;
        m_serie = QByteArray::number(Serie(dia));
    }
    m_xml += "\" s=\"2\"><v>";
    m_xml += m_serie;
    m_xml += "</v></c>";
}

void LibroXlsx::Hoja::Comprimir(int flush) {
    m_crc = crc32(m_crc, reinterpret_cast<const Bytef*>(m_xml.constData()), uInt(m_xml.size()));
    m_size += quint64(m_xml.size());
    m_zip.next_in = reinterpret_cast<Bytef*>(m_xml.data());
    m_zip.avail_in = uInt(m_xml.size());
    m_zipped.resize(Tramo);
    for (;;) {
        m_zip.next_out = reinterpret_cast<Bytef*>(m_zipped.data());
        m_zip.avail_out = uInt(m_zipped.size());
        const int status = deflate(&m_zip, flush);
        const qint64 made = m_zipped.size() - qint64(m_zip.avail_out);
        errno = 0;
        if (made > 0 && m_scratch.write(m_zipped.constData(), made) != made)
            m_out.Fallar(errno != 0 ? errno : EIO);
        if (flush == Z_FINISH ? status == Z_STREAM_END : m_zip.avail_out != 0)
            break;
    }
    m_xml.resize(0);
}

void LibroXlsx::Hoja::Anchos(const std::vector<double>& anchos) {
    if (m_row > 0)
        m_xml += "</row>";
    m_xml += "</sheetData><pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" "
             "header=\"0.3\" footer=\"0.3\"/><pageSetup fitToHeight=\"0\" "
             "orientation=\"landscape\"/></worksheet>";
    Comprimir(Z_FINISH);

    QByteArray head = QByteArray(Prologo) + "<worksheet xmlns=\"" + Main + "\" xmlns:r=\"" +
                      Relaciones +
                      "\"><sheetPr><pageSetUpPr fitToPage=\"1\"/></sheetPr><dimension ref=\"A1:" +
                      Letras(m_columnas - 1) + QByteArray::number(m_row) +
                      "\"/><sheetViews><sheetView workbookViewId=\"0\"><pane ySplit=\"1\" "
                      "topLeftCell=\"A2\" activePane=\"bottomLeft\" state=\"frozen\"/><selection "
                      "pane=\"bottomLeft\"/></sheetView></sheetViews><sheetFormatPr "
                      "defaultRowHeight=\"15\"/><cols>";
    for (size_t c = 0; c < anchos.size(); ++c) {
        // As the spreadsheet stores a width: whole pixels of its 7-pixel digit plus 5 of margin,
        // in 256ths of a character.
        const double pixels = std::floor(anchos[c] * 7 + 0.5) + 5;
        const double width = std::floor(pixels / 7 * 256) / 256;
        const QByteArray col = QByteArray::number(qulonglong(c + 1));
        head += "<col min=\"" + col + "\" max=\"" + col + "\" width=\"" +
                QByteArray::number(width, 'g', 15) + "\" customWidth=\"1\"/>";
    }
    head += "</cols><sheetData>";
    m_crc =
        crc32_combine(crc32(0, reinterpret_cast<const Bytef*>(head.constData()), uInt(head.size())),
                      m_crc, z_off_t(m_size));
    m_size += quint64(head.size());
    m_cabeza = Deflate(head, Z_SYNC_FLUSH);
}

LibroXlsx::LibroXlsx(const QString& file) : m_out(file) {
    const qsizetype slash = m_out.Temporal().lastIndexOf('/');
    m_carpeta = slash > 0 ? m_out.Temporal().left(slash) : QStringLiteral(".");
}

LibroXlsx::Hoja& LibroXlsx::NuevaHoja(const QString& nombre, const QStringList& cabeceras) {
    m_nombres << nombre;
    m_hojas.push_back(std::make_unique<Hoja>(m_out, m_carpeta, cabeceras));
    return *m_hojas.back();
}

void LibroXlsx::Escribir(const QByteArray& bytes) {
    // A write that failed ends the workbook at once: Terminar raises with its cause.
    if (m_out.write(bytes) < 0)
        m_out.Terminar();
    m_offset += quint64(bytes.size());
}

void LibroXlsx::Cabecera(const Entrada& e) {
    // Fixed times, as the parts have no date of their own: 1 January 1980, the zip's first day.
    QByteArray header;
    Poner32(header, 0x04034b50);
    Poner16(header, 20);
    Poner16(header, 0);
    Poner16(header, 8);
    Poner16(header, 0);
    Poner16(header, 0x21);
    Poner32(header, e.crc);
    Poner32(header, e.zipped);
    Poner32(header, e.size);
    Poner16(header, quint32(e.name.size()));
    Poner16(header, 0);
    Escribir(header + e.name);
}

void LibroXlsx::Parte(const char* name, const QByteArray& xml) {
    Entrada e;
    e.name = name;
    e.offset = quint32(m_offset);
    e.crc = quint32(crc32(0, reinterpret_cast<const Bytef*>(xml.constData()), uInt(xml.size())));
    const QByteArray zipped = Deflate(xml, Z_FINISH);
    e.zipped = quint32(zipped.size());
    e.size = quint32(xml.size());
    Cabecera(e);
    Escribir(zipped);
    m_entradas.push_back(e);
}

void LibroXlsx::Terminar() {
    PartesDelLibro();
    CopiarHojas();
    Directorio();
    m_hojas.clear();
    m_out.Terminar();
}

void LibroXlsx::PartesDelLibro() {
    const qsizetype sheets = m_nombres.size();
    QByteArray types = QByteArray(Prologo) +
                       "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                       "content-types\"><Default Extension=\"rels\" "
                       "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                       "<Default Extension=\"xml\" ContentType=\"application/xml\"/><Override "
                       "PartName=\"/xl/workbook.xml\" ContentType=\"" +
                       Tipos + "sheet.main+xml\"/><Override PartName=\"/xl/styles.xml\" " +
                       "ContentType=\"" + Tipos + "styles+xml\"/>";
    QByteArray sheetList, names,
        rels = QByteArray(Prologo) + "<Relationships xmlns=\"" + Paquete + "\">";
    // The print titles go by sheet name, as the spreadsheet lists its names.
    std::vector<qsizetype> byName(size_t(sheets), 0);
    for (qsizetype s = 0; s < sheets; ++s) {
        const QByteArray n = QByteArray::number(s + 1);
        types += "<Override PartName=\"/xl/worksheets/sheet" + n + ".xml\" ContentType=\"" + Tipos +
                 "worksheet+xml\"/>";
        rels += "<Relationship Id=\"rId" + n + "\" Type=\"" + Relaciones +
                "/worksheet\" Target=\"worksheets/sheet" + n + ".xml\"/>";
        sheetList += "<sheet name=\"" + Escapado(m_nombres[s]) + "\" sheetId=\"" + n +
                     "\" r:id=\"rId" + n + "\"/>";
        byName[size_t(s)] = s;
    }
    std::sort(byName.begin(), byName.end(),
              [&](qsizetype a, qsizetype b) { return m_nombres[a] < m_nombres[b]; });
    for (const qsizetype s : byName)
        names += "<definedName name=\"_xlnm.Print_Titles\" localSheetId=\"" +
                 QByteArray::number(s) + "\">'" +
                 Escapado(QString(m_nombres[s]).replace('\'', "''")) + "'!$1:$1</definedName>";
    types += "</Types>";
    rels += "<Relationship Id=\"rId" + QByteArray::number(sheets + 1) + "\" Type=\"" + Relaciones +
            "/styles\" Target=\"styles.xml\"/></Relationships>";

    Parte("[Content_Types].xml", types);
    Parte("_rels/.rels", QByteArray(Prologo) + "<Relationships xmlns=\"" + Paquete +
                             "\"><Relationship Id=\"rId1\" Type=\"" + Relaciones +
                             "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>");
    Parte("xl/workbook.xml", QByteArray(Prologo) + "<workbook xmlns=\"" + Main + "\" xmlns:r=\"" +
                                 Relaciones + "\"><bookViews><workbookView/></bookViews><sheets>" +
                                 sheetList + "</sheets><definedNames>" + names +
                                 "</definedNames></workbook>");
    Parte("xl/_rels/workbook.xml.rels", rels);
    // The cells' styles by their place in cellXfs: 1 the headings, 2 dates, 3 amounts.
    Parte("xl/styles.xml",
          QByteArray(Prologo) + "<styleSheet xmlns=\"" + Main +
              "\"><numFmts count=\"2\"><numFmt numFmtId=\"164\" formatCode=\"dd/mm/yyyy\"/>"
              "<numFmt numFmtId=\"165\" formatCode=\"#,##0.00\"/></numFmts><fonts count=\"2\">"
              "<font><sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/></font><font><b/>"
              "<sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/></font></fonts><fills "
              "count=\"2\"><fill><patternFill patternType=\"none\"/></fill><fill><patternFill "
              "patternType=\"gray125\"/></fill></fills><borders count=\"1\"><border><left/>"
              "<right/><top/><bottom/><diagonal/></border></borders><cellStyleXfs count=\"1\">"
              "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
              "<cellXfs count=\"4\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" "
              "xfId=\"0\"/><xf numFmtId=\"0\" fontId=\"1\" fillId=\"0\" borderId=\"0\" "
              "xfId=\"0\" applyFont=\"1\"/><xf numFmtId=\"164\" fontId=\"0\" fillId=\"0\" "
              "borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/><xf numFmtId=\"165\" "
              "fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>"
              "</cellXfs><cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" "
              "builtinId=\"0\"/></cellStyles></styleSheet>");
}

void LibroXlsx::CopiarHojas() {
    const qsizetype sheets = m_nombres.size();
    for (qsizetype s = 0; s < sheets; ++s) {
        Hoja& hoja = *m_hojas[size_t(s)];
        Entrada e;
        e.name = "xl/worksheets/sheet" + QByteArray::number(s + 1) + ".xml";
        e.offset = quint32(m_offset);
        const quint64 zipped = quint64(hoja.m_cabeza.size()) + quint64(hoja.m_scratch.size());
        // The zip's plain form counts sizes in 32 bits: beyond is a book no spreadsheet opens.
        if (hoja.m_size > std::numeric_limits<quint32>::max() ||
            m_offset + zipped > std::numeric_limits<quint32>::max())
            m_out.Fallar(EFBIG);
        e.crc = quint32(hoja.m_crc);
        e.zipped = quint32(zipped);
        e.size = quint32(hoja.m_size);
        Cabecera(e);
        Escribir(hoja.m_cabeza);
        hoja.m_scratch.seek(0);
        while (!hoja.m_scratch.atEnd()) {
            const QByteArray piece = hoja.m_scratch.read(1 << 20);
            if (piece.isEmpty())
                m_out.Fallar(EIO);
            Escribir(piece);
        }
        m_entradas.push_back(e);
    }
}

void LibroXlsx::Directorio() {
    const quint64 directory = m_offset;
    QByteArray central;
    for (const Entrada& e : m_entradas) {
        Poner32(central, 0x02014b50);
        Poner16(central, 20);
        Poner16(central, 20);
        Poner16(central, 0);
        Poner16(central, 8);
        Poner16(central, 0);
        Poner16(central, 0x21);
        Poner32(central, e.crc);
        Poner32(central, e.zipped);
        Poner32(central, e.size);
        Poner16(central, quint32(e.name.size()));
        for (int k = 0; k < 4; ++k)
            Poner16(central, 0); // extra, comment, disk, internal attributes
        Poner32(central, 0);
        Poner32(central, e.offset);
        central += e.name;
    }
    const auto size = quint32(central.size());
    Poner32(central, 0x06054b50);
    Poner32(central, 0);
    Poner16(central, quint32(m_entradas.size()));
    Poner16(central, quint32(m_entradas.size()));
    Poner32(central, size);
    Poner32(central, quint32(directory));
    Poner16(central, 0);
    Escribir(central);
}
