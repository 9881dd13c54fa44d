// The accountant's books: the register of issued invoices and the VAT summary, written by
// tvLibros as the accountant's spreadsheet opens them.
#include "invoicing/InvoicingFixture.h"
#include "support/RunProgram.h"

#include "billing/LibrosContables.h"
#include "books/LibroEscritura.h"
#include "books/LibroFacturas.h"
#include "books/LibroXlsx.h"
#include "caja/CierreCaja.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "register/RegistroFacturacion.h"
#include "setup/HistoryWriter.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QXmlStreamReader>
#include <map>
#include <set>
#include <zlib.h>

namespace {

QString ReadAll(const QString& file) {
    QFile in(file);
    return in.open(QIODevice::ReadOnly) ? QString::fromUtf8(in.readAll()) : QString();
}

// The tables as the CSV writes them, one line a row, fields joined by ";".
QString Text(const std::vector<QStringList>& rows) {
    QStringList lines;
    for (const QStringList& row : rows)
        lines << row.join(';');
    return lines.join('\n');
}

quint32 Le(const QByteArray& bytes, qsizetype at, int size) {
    quint32 value = 0;
    for (int k = size - 1; k >= 0; --k)
        value = value << 8 | quint8(bytes[at + k]);
    return value;
}

// The parts of a workbook by name, each inflated and checked against its CRC.
std::map<QString, QByteArray> Parts(const QString& file) {
    const QByteArray zip = [&] {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }();
    std::map<QString, QByteArray> parts;
    for (qsizetype at = 0; at + 30 <= zip.size() && Le(zip, at, 4) == 0x04034b50;) {
        const quint32 zipped = Le(zip, at + 18, 4), size = Le(zip, at + 22, 4);
        const qsizetype name = Le(zip, at + 26, 2), data = at + 30 + name + Le(zip, at + 28, 2);
        QByteArray part(size, Qt::Uninitialized);
        z_stream z{};
        inflateInit2(&z, -MAX_WBITS);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zip.constData() + data));
        z.avail_in = zipped;
        z.next_out = reinterpret_cast<Bytef*>(part.data());
        z.avail_out = size;
        EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
        inflateEnd(&z);
        EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef*>(part.constData()), size),
                  Le(zip, at + 14, 4));
        parts[QString::fromUtf8(zip.mid(at + 30, name))] = part;
        at = data + zipped;
    }
    return parts;
}

// A sheet's cells as the CSV writes them: amounts (style 3) with two decimals and a comma,
// dates (style 2) dd/mm/yyyy from the workbook's day numbers, texts as they are.
std::vector<QStringList> Cells(const QByteArray& sheet, qsizetype columns) {
    std::vector<QStringList> rows;
    QXmlStreamReader xml(sheet);
    QString style;
    int column = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"row") {
            rows.emplace_back(columns);
        } else if (xml.name() == u"c") {
            style = xml.attributes().value("s").toString();
            column = xml.attributes().value("r").at(0).unicode() - 'A';
        } else if (xml.name() == u"v" || xml.name() == u"t") {
            const QString text = xml.readElementText();
            rows.back()[column] =
                style == "3"   ? QString::number(text.toDouble(), 'f', 2).replace('.', ',')
                : style == "2" ? QDate(1899, 12, 30).addDays(text.toInt()).toString("dd/MM/yyyy")
                               : text;
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return rows;
}

class BooksTest : public InvoicingTest {
protected:
    // Runs tvLibros on the suite; answers its status and what it said.
    std::pair<int, QString> Tool(const QStringList& arguments) {
        return RunTool("tvLibros", arguments);
    }

    // An invoice of one line per (units, price, rate) for the client, issued on `day` in branch 1
    // as the front desk would, with its register record.
    static qint32 Invoice(qint32 nIdCliente, qint32 day,
                          const std::vector<std::array<double, 3>>& lines, double discount = 0) {
        for (const auto& [units, price, rate] : lines)
            AddItem(nIdCliente, units, price, rate);
        HistoryWriter::Sale sale;
        sale.nIdCliente = nIdCliente;
        sale.dFactura = day;
        sale.nDescuento = Money::FromDouble(discount);
        const qint32 id = HistoryWriter().Invoice(sale);
        RegistroFacturacion::RegistrarPendientes();
        return id;
    }
    static qint32 CreditNote(qint32 nIdFactura, qint32 day, const QString& reason) {
        const qint32 id = HistoryWriter().CreditNote(nIdFactura, day, 1);
        if (!reason.isEmpty())
            Db().InsertRecord("FacturasRectificativas", "nIdFactura,sMotivo",
                              QString::number(id) + ",'" + reason + "'");
        RegistroFacturacion::RegistrarPendientes();
        return id;
    }
};

// The demo's year, written by the tool as a CSV and compared whole: every document by rate, the
// credit note as an R4 (it was issued without a reason) naming the invoice it rectifies, the
// discount of A0004/25 and A0009/25 taken off their bases, the R5 naming the simplified invoice it
// rectifies, the simplified invoices the F3 replaced and the cancelled invoice left out, the
// foreign customer by the number of his document, the summary with every usual rate.
TEST_F(BooksTest, DemoYearIsWrittenWhole) {
    const QString csv = suite.Root() + "/libro.csv";
    const auto [status, said] =
        Tool({"--desde", "01-01-2025", "--hasta", "31-12-2025", "--out", csv});
    ASSERT_EQ(status, 0) << said.toStdString();
    EXPECT_EQ(said, "libro escrito en " + csv + ": 31 líneas");
    EXPECT_EQ(ReadAll(csv),
              "Ejercicio;Periodo;Tipo de factura;Fecha de expedición;Fecha de "
              "operación;Serie;Número;NIF del destinatario;Nombre del destinatario;Base "
              "imponible;Tipo de IVA;Cuota de IVA repercutida;Total de la factura;Factura "
              "rectificada\r\n"
              "2025;1T;F1;08/01/2025;08/01/2025;A;0001/25;18888888T;Ana García "
              "López;30,00;10,00;3,00;63,25;\r\n"
              "2025;1T;F1;08/01/2025;08/01/2025;A;0001/25;18888888T;Ana García "
              "López;25,00;21,00;5,25;63,25;\r\n"
              "2025;1T;F1;09/01/2025;09/01/2025;A;0002/25;26543209J;Javier Martínez "
              "Ruiz;28,00;10,00;2,80;61,05;\r\n"
              "2025;1T;F1;09/01/2025;09/01/2025;A;0002/25;26543209J;Javier Martínez "
              "Ruiz;25,00;21,00;5,25;61,05;\r\n"
              "2025;1T;F1;12/01/2025;12/01/2025;A;0003/25;34197530A;Lucía Fernández "
              "Gil;12,50;10,00;1,25;37,95;\r\n"
              "2025;1T;F1;12/01/2025;12/01/2025;A;0003/25;34197530A;Lucía Fernández "
              "Gil;20,00;21,00;4,20;37,95;\r\n"
              "2025;1T;F1;14/01/2025;14/01/2025;A;0004/25;41851851Q;Pablo Navarro "
              "Ortega;35,12;21,00;7,38;42,50;\r\n"
              "2025;1T;F1;15/01/2025;15/01/2025;A;0005/25;49506172Y;Seán "
              "O'Brien;25,00;10,00;2,50;57,75;\r\n"
              "2025;1T;F1;15/01/2025;15/01/2025;A;0005/25;49506172Y;Seán "
              "O'Brien;25,00;21,00;5,25;57,75;\r\n"
              "2025;1T;F1;16/01/2025;16/01/2025;A;0006/25;G50123454;Protectora Huellas "
              "Zaragoza;20,80;21,00;4,37;25,17;\r\n"
              "2025;1T;F1;20/01/2025;20/01/2025;A;0007/25;64814814D;Carmen Romero "
              "Vidal;140,00;21,00;29,40;169,40;\r\n"
              "2025;1T;F1;21/01/2025;21/01/2025;B;0001/25;72469135E;Miguel Torres "
              "Molina;14,20;10,00;1,42;70,07;\r\n"
              "2025;1T;F1;21/01/2025;21/01/2025;B;0001/25;72469135E;Miguel Torres "
              "Molina;45,00;21,00;9,45;70,07;\r\n"
              "2025;1T;F1;22/01/2025;22/01/2025;A;0008/25;80123456N;Isabel Jiménez "
              "Castro;64,50;4,00;2,58;96,12;\r\n"
              "2025;1T;F1;22/01/2025;22/01/2025;A;0008/25;80123456N;Isabel Jiménez "
              "Castro;9,90;10,00;0,99;96,12;\r\n"
              "2025;1T;F1;22/01/2025;22/01/2025;A;0008/25;80123456N;Isabel Jiménez "
              "Castro;15,00;21,00;3,15;96,12;\r\n"
              "2025;1T;F1;26/01/2025;26/01/2025;A;0009/25;87777777W;David Moreno "
              "Serrano;35,52;21,00;7,46;42,98;\r\n"
              "2025;1T;F1;28/01/2025;28/01/2025;B;0002/25;95432098S;Laura Álvarez "
              "Domínguez;145,00;21,00;30,45;175,45;\r\n"
              "2025;1T;F1;02/02/2025;02/02/2025;A;0010/25;13086420H;Sergio Muñoz "
              "Blanco;180,00;21,00;37,80;217,80;\r\n"
              "2025;1T;F1;10/02/2025;10/02/2025;A;0011/25;18888888T;Ana García "
              "López;31,00;10,00;3,10;34,10;\r\n"
              "2025;1T;F1;12/02/2025;12/02/2025;B;0003/25;20740741P;Marta Iglesias "
              "Rubio;90,00;21,00;18,90;108,90;\r\n"
              "2025;1T;R4;16/02/2025;16/02/2025;RA;0001/25;13086420H;Sergio Muñoz "
              "Blanco;-180,00;21,00;-37,80;-217,80;A0010/25\r\n"
              "2025;1T;F1;18/02/2025;18/02/2025;A;0012/25;28395062K;Alberto Ramos "
              "Herrero;14,20;10,00;1,42;112,42;\r\n"
              "2025;1T;F1;18/02/2025;18/02/2025;A;0012/25;28395062K;Alberto Ramos "
              "Herrero;80,00;21,00;16,80;112,42;\r\n"
              "2025;1T;F2;20/02/2025;20/02/2025;TA;0002/25;;Tomás Ibarra "
              "Sanz;9,00;10,00;0,90;19,58;\r\n"
              "2025;1T;F2;20/02/2025;20/02/2025;TA;0002/25;;Tomás Ibarra "
              "Sanz;8,00;21,00;1,68;19,58;\r\n"
              "2025;1T;F1;24/02/2025;24/02/2025;A;0013/25;19FR12345;Pierre "
              "Dubois;14,20;10,00;1,42;70,07;\r\n"
              "2025;1T;F1;24/02/2025;24/02/2025;A;0013/25;19FR12345;Pierre "
              "Dubois;45,00;21,00;9,45;70,07;\r\n"
              "2025;1T;F3;25/02/2025;25/02/2025;A;0014/25;25476318T;Rosario Gil "
              "Ferrer;39,00;21,00;8,19;47,19;\r\n"
              "2025;1T;R5;26/02/2025;26/02/2025;RA;0002/25;;Tomás Ibarra "
              "Sanz;-9,00;10,00;-0,90;-19,58;TA0002/25\r\n"
              "2025;1T;R5;26/02/2025;26/02/2025;RA;0002/25;;Tomás Ibarra "
              "Sanz;-8,00;21,00;-1,68;-19,58;TA0002/25\r\n"
              "\r\n"
              "Concepto;Tipo de IVA;Casillas;Base imponible;Cuota\r\n"
              "Régimen general al 0 %;0,00;150, 151, 152;0,00;0,00\r\n"
              "Régimen general al 4 %;4,00;01, 02, 03;64,50;2,58\r\n"
              "Régimen general al 5 %;5,00;153, 154, 155;0,00;0,00\r\n"
              "Régimen general al 10 %;10,00;04, 05, 06;188,00;18,80\r\n"
              "Régimen general al 21 %;21,00;07, 08, 09;973,44;204,43\r\n"
              "Rectificaciones al 10 %;10,00;14, 15;-9,00;-0,90\r\n"
              "Rectificaciones al 21 %;21,00;14, 15;-188,00;-39,48\r\n"
              "Total;;27;1028,94;185,43\r\n"
              "\r\n"
              "Fecha;Caja;Cierre;Esperado;Contado;Diferencia;Por forma de pago\r\n");
}

// A folder's ids need not follow the dates (documents numbered before dates had to follow
// numbers): the tool, which writes while it reads, still writes the book in date order.
TEST_F(BooksTest, DocumentsOutOfIdOrderAreWrittenByDate) {
    const qint32 client =
        Db().InsertRecord("Clientes", "sCliente,sDni", "'Rosa Vidal','12345678Z'");
    Invoice(client, 20270210, {{1, 10, 21}});
    const qint32 later = Invoice(client, 20270211, {{1, 20, 21}});
    Db().UpdateRecord("Facturas", "dFactura", "20270205", "nIdFactura=" + QString::number(later));
    const QString csv = suite.Root() + "/febrero.csv";
    const auto [status, said] =
        Tool({"--desde", "01-02-2027", "--hasta", "28-02-2027", "--out", csv});
    ASSERT_EQ(status, 0) << said.toStdString();
    QStringList bases;
    for (const QString& line : ReadAll(csv).split("\r\n"))
        if (line.contains("Rosa Vidal"))
            bases << line.section(';', 3, 3) + " " + line.section(';', 9, 9);
    EXPECT_EQ(bases.join(" | "), "05/02/2027 20,00 | 10/02/2027 10,00");
}

// Documents either side of the end of March, a customer without NIF whose name holds the
// separator, a discount over two rates (3.00 of 29.70: 2.44 off the 24.20 at 21 %, 0.56 off the
// 5.50 at 10 %, each base and tax in proportion), an unusual rate and rectifying invoices with and
// without a reason, read for each quarter and for both: every document is in exactly one quarter,
// by its own issue date (a credit note's, not its invoice's).
TEST_F(BooksTest, QuartersSplitAtTheirBoundaryWithRectifyingInvoicesApart) {
    const qint32 client = Db().InsertRecord("Clientes", "sCliente,sDni",
                                            "'Perrera; Municipal de Huesca','G50123454'");
    const qint32 march = Invoice(client, 20270331, {{2, 10, 21}, {1, 5, 10}}, 3);
    const qint32 april = Invoice(client, 20270401, {{1, 100, 2}});
    CreditNote(march, 20270401, "R1");
    CreditNote(april, 20270402, "");

    const LibroFacturas first = LibroFacturas::Leer(20270101, 20270331);
    const LibroFacturas second = LibroFacturas::Leer(20270401, 20270630);
    EXPECT_EQ(Text(LibroEscritura::FilasLibro(first)),
              "2027;1T;F1;31/03/2027;31/03/2027;A;0001/27;G50123454;Perrera; Municipal de "
              "Huesca;4,49;10,00;0,45;26,70;\n"
              "2027;1T;F1;31/03/2027;31/03/2027;A;0001/27;G50123454;Perrera; Municipal de "
              "Huesca;17,98;21,00;3,78;26,70;");
    EXPECT_EQ(Text(LibroEscritura::FilasLibro(second)),
              "2027;2T;F1;01/04/2027;01/04/2027;A;0002/27;G50123454;Perrera; Municipal de "
              "Huesca;100,00;2,00;2,00;102,00;\n"
              "2027;2T;R1;01/04/2027;01/04/2027;RA;0001/27;G50123454;Perrera; Municipal de "
              "Huesca;-4,49;10,00;-0,45;-26,70;A0001/27\n"
              "2027;2T;R1;01/04/2027;01/04/2027;RA;0001/27;G50123454;Perrera; Municipal de "
              "Huesca;-17,98;21,00;-3,78;-26,70;A0001/27\n"
              "2027;2T;R4;02/04/2027;02/04/2027;RA;0002/27;G50123454;Perrera; Municipal de "
              "Huesca;-100,00;2,00;-2,00;-102,00;A0002/27");
    EXPECT_EQ(Text(LibroEscritura::FilasResumen(second)),
              "Régimen general al 0 %;0,00;150, 151, 152;0,00;0,00\n"
              "Régimen general al 4 %;4,00;01, 02, 03;0,00;0,00\n"
              "Régimen general al 5 %;5,00;153, 154, 155;0,00;0,00\n"
              "Régimen general al 10 %;10,00;04, 05, 06;0,00;0,00\n"
              "Régimen general al 21 %;21,00;07, 08, 09;0,00;0,00\n"
              "Régimen general al 2 %;2,00;;100,00;2,00\n"
              "Rectificaciones al 2 %;2,00;14, 15;-100,00;-2,00\n"
              "Rectificaciones al 10 %;10,00;14, 15;-4,49;-0,45\n"
              "Rectificaciones al 21 %;21,00;14, 15;-17,98;-3,78\n"
              "Total;;27;-22,47;-4,23");

    // The whole half is the two quarters together.
    const LibroFacturas half = LibroFacturas::Leer(20270101, 20270630);
    EXPECT_EQ(half.lineas.size(), first.lineas.size() + second.lineas.size());
    EXPECT_EQ(half.BaseTotal(), first.BaseTotal() + second.BaseTotal());
    EXPECT_EQ(half.CuotaTotal(), first.CuotaTotal() + second.CuotaTotal());

    // The CSV quotes the name that holds the separator.
    const QString csv = suite.Root() + "/t1.csv";
    LibroEscritura::Escribir(first, csv);
    EXPECT_TRUE(ReadAll(csv).contains(";G50123454;\"Perrera; Municipal de Huesca\";4,49;"))
        << ReadAll(csv).toStdString();
}

// The summary's totals are the sums over the register's lines, over the documents (each once:
// base + tax is its amount due) and over the register of issued invoices, for the demo and for a
// history with discounts and credit notes over two branches.
TEST_F(BooksTest, SummaryTotalsAreTheSumsOverDocumentsAndTheRegister) {
    const qint32 client = NewClient();
    for (int k = 0; k < 12; ++k) {
        const qint32 id = Invoice(client, 20270105 + k,
                                  {{double(k % 3 + 1), 9.99 + k, k % 2 ? 21. : 10.}, {1, 3.33, 4}},
                                  k % 4 == 0 ? 1.11 * k : 0);
        if (k % 5 == 0)
            CreditNote(id, 20270120 + k, k % 2 ? "R2" : "");
    }
    for (const auto& [desde, hasta] : {std::pair{20250101, 20251231}, {20270101, 20270331}}) {
        const LibroFacturas libro = LibroFacturas::Leer(desde, hasta);
        Money base, cuota, due;
        std::set<qint32> documents;
        for (const LibroFacturas::Linea& l : libro.lineas) {
            base += l.nBase;
            cuota += l.nCuota;
            if (documents.insert(l.nIdFactura).second)
                due += l.nTotal;
        }
        EXPECT_EQ(libro.BaseTotal(), base);
        EXPECT_EQ(libro.CuotaTotal(), cuota);
        EXPECT_EQ(base + cuota, due);

        QStringList ids;
        for (qint32 id : documents)
            ids << QString::number(id);
        const Rows registered = Query(
            "SELECT sCuotaTotal,sImporteTotal FROM RegistrosFacturacion WHERE nIdFactura IN (" +
            ids.join(',') + ")");
        ASSERT_EQ(registered.RowCount(), int(documents.size()));
        Money registeredCuota, registeredDue;
        for (int r = 0; r < registered.RowCount(); ++r) {
            registeredCuota += Money::FromStored(registered(0, r));
            registeredDue += Money::FromStored(registered(1, r));
        }
        EXPECT_EQ(cuota, registeredCuota);
        EXPECT_EQ(due, registeredDue);
    }
}

// A period without documents gives the headings and a summary of zeros, not an error; the
// branch filter leaves the other branch's documents out.
TEST_F(BooksTest, EmptyPeriodGivesHeadingsAndZeros) {
    const QString csv = suite.Root() + "/vacio.csv";
    const auto [status, said] =
        Tool({"--desde", "01-04-2026", "--hasta", "30-06-2026", "--out", csv});
    ASSERT_EQ(status, 0) << said.toStdString();
    EXPECT_EQ(ReadAll(csv),
              "Ejercicio;Periodo;Tipo de factura;Fecha de expedición;Fecha de operación;Serie;"
              "Número;NIF del destinatario;Nombre del destinatario;Base imponible;Tipo de IVA;"
              "Cuota de IVA repercutida;Total de la factura;Factura rectificada\r\n"
              "\r\n"
              "Concepto;Tipo de IVA;Casillas;Base imponible;Cuota\r\n"
              "Régimen general al 0 %;0,00;150, 151, 152;0,00;0,00\r\n"
              "Régimen general al 4 %;4,00;01, 02, 03;0,00;0,00\r\n"
              "Régimen general al 5 %;5,00;153, 154, 155;0,00;0,00\r\n"
              "Régimen general al 10 %;10,00;04, 05, 06;0,00;0,00\r\n"
              "Régimen general al 21 %;21,00;07, 08, 09;0,00;0,00\r\n"
              "Total;;27;0,00;0,00\r\n"
              "\r\n"
              "Fecha;Caja;Cierre;Esperado;Contado;Diferencia;Por forma de pago\r\n");

    std::set<QString> numbers;
    for (const LibroFacturas::Linea& l : LibroFacturas::Leer(20250101, 20251231, 2).lineas)
        numbers.insert(l.sNumero);
    EXPECT_EQ(numbers, (std::set<QString>{"0001/25", "0002/25", "0003/25"}));
}

// The till closings of the period, one row per Z with its payment types; the period and the
// branch choose them by the day they were made.
TEST_F(BooksTest, ClosingsOfThePeriodFollowTheSummary) {
    const auto close = [](qint32 box, const QDateTime& when, double shortBy) {
        CierreCaja::Recuento count;
        for (const CierreCaja::Metodo& m : CierreCaja::EstadoCaja(box).metodos)
            count.contado.push_back(
                {m.sTipoCobro,
                 m.esperado - Money::FromDouble(m.sTipoCobro == "Efectivo" ? shortBy : 0)});
        count.sNota = "Recuento de prueba";
        CierreCaja::Cerrar(box, 1, count, when);
    };
    // A closing takes every entry no closing has taken yet, so each box is closed once here.
    close(1, QDateTime(QDate(2026, 1, 31), QTime(21, 0)), 1.5);
    close(2, QDateTime(QDate(2026, 2, 28), QTime(21, 5)), 0);
    const auto rows = [](qint32 from, qint32 to, qint32 branch) {
        QStringList texts;
        for (const QStringList& row :
             LibroEscritura::FilasCierres(LibroFacturas::Leer(from, to, branch)))
            texts << row.join('|');
        return texts.join('\n').toStdString();
    };
    EXPECT_EQ(rows(20260101, 20260331, 0),
              "31/01/2026|Caja general|Z1|1083,07|1081,57|-1,50|Efectivo 514,01 / 512,51; Tarjeta "
              "368,44 / 368,44; Transferencia 175,45 / 175,45; Bizum 25,17 / 25,17\n"
              "28/02/2026|Caja tarjetas|Z1|118,80|118,80|0,00|Efectivo 0,00 / 0,00; Tarjeta "
              "118,80 / 118,80; Transferencia 0,00 / 0,00; Bizum 0,00 / 0,00");
    EXPECT_EQ(rows(20260201, 20260228, 1),
              "28/02/2026|Caja tarjetas|Z1|118,80|118,80|0,00|Efectivo 0,00 / 0,00; Tarjeta "
              "118,80 / 118,80; Transferencia 0,00 / 0,00; Bizum 0,00 / 0,00");
    EXPECT_EQ(rows(20260101, 20260331, 2), ""); // both were made at branch 1
}

// Wrong arguments are refused with a message and write nothing; a file that cannot be written is
// an error that names it.
TEST_F(BooksTest, WrongArgumentsAreRefused) {
    const QString out = suite.Root() + "/libro.csv";
    const struct {
        QStringList arguments;
        int status;
        QString said;
    } cases[] = {
        {{"--desde", "1-1-2026", "--hasta", "31-03-2026", "--out", out},
         2,
         "las fechas se escriben dd-mm-aaaa"},
        {{"--desde", "31-03-2026", "--hasta", "01-01-2026", "--out", out},
         2,
         "la fecha --desde es posterior a --hasta"},
        {{"--desde", "01-01-2026", "--hasta", "31-03-2026", "--out", suite.Root() + "/libro.ods"},
         2,
         "el archivo de salida es .xlsx o .csv"},
        {{"--desde", "01-01-2026", "--hasta", "31-03-2026", "--sucursal", "x", "--out", out},
         2,
         "la sucursal es un número"},
        {{"--desde", "01-01-2026", "--hasta", "31-03-2026"}, 2, "faltan opciones"},
        {{"--desde", "01-01-2026", "--hasta", "31-03-2026", "--out",
          suite.Root() + "/no/existe/libro.xlsx"},
         1,
         "No se ha podido escribir el archivo " + suite.Root() +
             "/no/existe/libro.xlsx: la carpeta no existe. No se ha escrito nada."},
    };
    for (const auto& c : cases) {
        const auto [status, said] = Tool(c.arguments);
        EXPECT_EQ(status, c.status) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(said.contains(c.said)) << said.toStdString();
    }
    EXPECT_FALSE(QFile::exists(out));
}

// The workbook as a spreadsheet reads it, through LibreOffice where this machine has it
// (scripts/deps --office installs it): both sheets with the CSV's cells, amounts read as numbers
// and dates as dates (LibreOffice writes them back in its own form: 63.25, 01/08/2026).
TEST_F(BooksTest, WorkbookReadsInASpreadsheetAsTheCsv) {
    const QString soffice = QStandardPaths::findExecutable("soffice");
    if (soffice.isEmpty())
        GTEST_SKIP() << "LibreOffice (soffice) is not installed; scripts/deps --office installs it";
    const QString xlsx = suite.Root() + "/libro.xlsx";
    const auto [status, said] =
        Tool({"--desde", "01-01-2025", "--hasta", "31-12-2025", "--out", xlsx});
    ASSERT_EQ(status, 0) << said.toStdString();
    QTemporaryDir profile;
    RunProgram(soffice,
               {"-env:UserInstallation=" + QUrl::fromLocalFile(profile.path()).toString(),
                "--headless", "--convert-to",
                "csv:Text - txt - csv (StarCalc):59,34,76,1,,0,false,true,false,false,false,-1",
                "--outdir", suite.Root(), xlsx},
               180000);

    const LibroFacturas libro = LibroFacturas::Leer(20250101, 20251231);
    // What LibreOffice writes of a cell the CSV holds: numbers in their shortest form with a
    // point, dates month first.
    auto asRead = [](std::vector<QStringList> rows, std::vector<int> numbers,
                     std::vector<int> dates) {
        for (QStringList& row : rows) {
            for (int c : numbers)
                row[c] = QString::number(QString(row[c]).replace(',', '.').toDouble(), 'g', 15);
            for (int c : dates)
                row[c] = row[c].mid(3, 3) + row[c].left(3) + row[c].mid(6);
        }
        return rows;
    };
    const QString book = LibroEscritura::CabeceraLibro.join(';') + '\n' +
                         Text(asRead(LibroEscritura::FilasLibro(libro), {9, 10, 11, 12}, {3, 4}));
    QStringList summaryRows{LibroEscritura::CabeceraResumen.join(';')};
    for (QStringList row : asRead(LibroEscritura::FilasResumen(libro), {3, 4}, {})) {
        // The total's rate is an empty cell, the others a number.
        if (!row[1].isEmpty())
            row[1] = QString::number(row[1].replace(',', '.').toDouble());
        summaryRows << row.join(';');
    }
    EXPECT_EQ(ReadAll(suite.Root() + "/libro-Libro registro.csv").trimmed(), book);
    EXPECT_EQ(ReadAll(suite.Root() + "/libro-Resumen IVA.csv").trimmed(), summaryRows.join('\n'));
}

// The workbook read back part by part holds the CSV's cells, sheet by sheet, and the texts XML
// treats apart come back as they were.
TEST_F(BooksTest, WorkbookHoldsTheCsvCells) {
    const QString xlsx = suite.Root() + "/libro.xlsx";
    const auto [status, said] =
        Tool({"--desde", "01-01-2025", "--hasta", "31-12-2025", "--out", xlsx});
    ASSERT_EQ(status, 0) << said.toStdString();
    const LibroFacturas libro = LibroFacturas::Leer(20250101, 20251231);
    std::map<QString, QByteArray> parts = Parts(xlsx);
    const struct {
        const char* part;
        QStringList headings;
        std::vector<QStringList> rows;
    } sheets[] = {
        {"xl/worksheets/sheet1.xml", LibroEscritura::CabeceraLibro,
         LibroEscritura::FilasLibro(libro)},
        {"xl/worksheets/sheet2.xml", LibroEscritura::CabeceraResumen,
         LibroEscritura::FilasResumen(libro)},
        {"xl/worksheets/sheet3.xml", LibroEscritura::CabeceraCierres, {}},
    };
    for (auto sheet : sheets) {
        sheet.rows.insert(sheet.rows.begin(), sheet.headings);
        EXPECT_EQ(Text(Cells(parts[sheet.part], sheet.headings.size())), Text(sheet.rows))
            << sheet.part;
    }

    const QStringList texts = {"Perro & Gato <3>", " espacio delante", "Ñandú \"Ruiz\"", "€ 😀 fin",
                               "a\tb\r\nc"};
    {
        LibroXlsx book(suite.Root() + "/textos.xlsx");
        LibroXlsx::Hoja& hoja = book.NuevaHoja("Textos & más", {"Texto"});
        for (const QString& text : texts) {
            hoja.Fila();
            hoja.Texto(text);
        }
        hoja.Anchos({10});
        book.Terminar();
    }
    parts = Parts(suite.Root() + "/textos.xlsx");
    EXPECT_TRUE(parts["xl/workbook.xml"].contains("name=\"Textos &amp; más\""));
    QStringList back;
    for (const QStringList& row : Cells(parts["xl/worksheets/sheet1.xml"], 1))
        back << row;
    EXPECT_EQ(back, QStringList{"Texto"} + texts);
}

// From the billing window: the period asked, by default the last complete quarter; a wrong date or
// a user without the right writes nothing.
TEST_F(BooksTest, BillingWindowAsksThePeriodAndTheFile) {
    const std::pair<const char*, std::pair<qint32, qint32>> quarters[] = {
        {"2026-12-06", {20260701, 20260930}},
        {"2026-01-01", {20251001, 20251231}},
        {"2026-04-01", {20260101, 20260331}},
        {"2026-03-31", {20251001, 20251231}},
    };
    for (const auto& [today, quarter] : quarters)
        EXPECT_EQ(LibroFacturas::UltimoTrimestre(QDate::fromString(today, Qt::ISODate)), quarter)
            << today;

    // The period answered and the book written: WindowTest, through the window's F9.
    ScriptedUi& ui = suite.Ui();
    const QString csv = suite.Root() + "/ventana.csv";
    ui.Inputs = {"1-1-2026", "31-03-2026"};
    ui.Files = {csv};
    LibrosContables::Pedir();
    EXPECT_EQ(ui.Shown.last(),
              "[Aviso] Las fechas se escriben dd-mm-aaaa, por ejemplo 31-03-2026.");

    suite.SignIn("recepcion", "");
    ui.Inputs = {"01-01-2026", "31-03-2026"};
    LibrosContables::Pedir();
    EXPECT_EQ(ui.Shown.last(), "[Aviso] No tiene permiso para realizar esta operación.");
    EXPECT_EQ(ui.Inputs.size(), 2u);
    EXPECT_FALSE(QFile::exists(csv));
}

} // namespace
