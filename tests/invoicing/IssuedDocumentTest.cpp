// The read model of an issued document: a demo invoice and the credit note that cancels it, read
// by id and compared whole.
#include "InvoicingFixture.h"

#include "invoicing/core/IssuedDocument.h"

namespace {

// Every field of the document, a line per part.
QString Describe(const IssuedDocument& d) {
    const auto& e = d.emisor;
    const auto& c = d.cliente;
    QStringList text{
        QStringList{e.sNombre, e.sNif, e.sNombreSucursal, e.sDomicilio, e.sPoblacion,
                    e.sCodigoPostal, e.sTelefono}
            .join('|'),
        QStringList{d.sFactura, d.kind == IssuedDocument::Kind::Invoice ? "F" : "R",
                    QString::number(d.IssueDate()), d.sFacturaAbonada,
                    QString::number(d.RectifiedDate()), QString::number(d.nIdSucursal),
                    QString::number(d.nIdCliente)}
            .join('|'),
        QStringList{c.sCliente, c.sDomicilio, c.sPoblacion, c.sProvincia, c.sCodigoPostal, c.sDni}
            .join('|')};
    for (const auto& l : d.lineas)
        text << QStringList{l.sCodigo,
                            l.sProductoServicio,
                            l.sConclusion,
                            U().SqlValue(l.nUnidades, 0, false),
                            U().SqlValue(l.nPvp, 0, false),
                            U().SqlValue(l.nPorcIpto, 0, false),
                            l.nBaseImp.Text(),
                            l.nImpuestos.Text(),
                            l.nTotal.Text()}
                    .join('|');
    text << d.importes.Texts().join('|') + " due " + d.AmountDue().Text();
    for (const auto& p : d.cobros)
        text << p.sTipoCobro + " " + p.nImporte.Text();
    text << "paid " + d.Paid().Text();
    return text.join('\n');
}

using IssuedDocumentTest = InvoicingTest;

TEST_F(IssuedDocumentTest, ADemoInvoiceAndItsCreditNoteReadWhole) {
    const qint32 abono =
        Value("SELECT nIdFactura FROM Facturas WHERE sFacturaAbonada<>'' ORDER BY nIdFactura")
            .toInt();
    const std::optional<IssuedDocument> note = IssuedDocument::Load(abono);
    ASSERT_TRUE(note);
    const qint32 factura =
        Value("SELECT nIdFactura FROM Facturas WHERE sFactura='" + note->sFacturaAbonada + "'")
            .toInt();
    const std::optional<IssuedDocument> invoice = IssuedDocument::Load(factura);
    ASSERT_TRUE(invoice);
    const QString issuer = "Clínica Veterinaria Tavelo S.L.|B12345674|Tavelo Centro|Calle Alfonso "
                           "I, 12|Zaragoza|50003|976 123 456\n";
    const QString customer = "Sergio Muñoz Blanco|Calle Conde de Aranda, 40|Zaragoza|Zaragoza|"
                             "50003|13086420H\n";
    EXPECT_EQ(Describe(*invoice),
              issuer + "A0010/25|F|20250202||0|1|12\n" + customer +
                  "CIR02|Esterilización perra||1|180|21|180.00|37.80|217.80\n"
                  "21.00|180.00|37.80|0.00|0.00|0.00|0.00|0.00|0.00|180.00|37.80|217.80|0.00 due "
                  "217.80\n"
                  "Tarjeta 217.80\n"
                  "paid 217.80");
    // Dated the day it was issued, naming the invoice and its date; its payment is the
    // invoice's turned, stored under no type and named by the type it is returned by.
    EXPECT_EQ(Describe(*note),
              issuer + "RA0001/25|R|20250216|A0010/25|20250202|1|12\n" + customer +
                  "CIR02|Esterilización perra||-1|-180|21|-180.00|-37.80|-217.80\n"
                  "-21.00|-180.00|-37.80|0.00|0.00|0.00|0.00|0.00|0.00|-180.00|-37.80|-217.80|0.00 "
                  "due -217.80\n"
                  "Tarjeta -217.80\n"
                  "paid -217.80");
    EXPECT_EQ(note->FromLines().Texts(), note->importes.Texts());

    // The amount due is the total less the discount.
    const std::optional<IssuedDocument> discounted = IssuedDocument::Load(
        Value("SELECT nIdFactura FROM Facturas WHERE nDescuento>0 ORDER BY nIdFactura").toInt());
    ASSERT_TRUE(discounted);
    EXPECT_EQ(Describe(*discounted),
              issuer + "A0009/25|F|20250126||0|1|10\n"
                       "David Moreno Serrano|Calle Mayor, 18|Utebo|Zaragoza|50180|87777777W\n"
                       "PEL01|Baño y corte de pelo||1|30|21|30.00|6.30|36.30\n"
                       "PEL02|Corte de uñas||1|8|21|8.00|1.68|9.68\n"
                       "21.00|38.00|7.98|0.00|0.00|0.00|0.00|0.00|0.00|38.00|7.98|45.98|3.00 due "
                       "42.98\n"
                       "Efectivo 42.98\n"
                       "paid 42.98");
    EXPECT_FALSE(IssuedDocument::Load(999999));
}

} // namespace
