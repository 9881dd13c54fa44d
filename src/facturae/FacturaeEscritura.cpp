// An issued invoice or rectifying invoice as a Facturae 3.2.2 document.

#include "facturae/FacturaeEscritura.h"

#include "invoicing/core/LinePricing.h"

#include "platform/data/DataAccess.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"

#include <QDate>
#include <QRegularExpression>
#include <QXmlStreamWriter>
#include <cmath>
#include <map>

namespace {

const QString Namespace =
    QStringLiteral("http://www.facturae.gob.es/formato/Versiones/Facturaev3_2_2.xml");
const QString Iva = QStringLiteral("01");

[[noreturn]] void Refuse(const QString& why) {
    throw TvError(ErrorNumber::InvalidCall, why);
}

// A figure the format reads as a double: beyond 15 significant digits a reader would not get the
// same cents back.
QString Amount(Money amount) {
    if (std::llabs(amount.Cents()) >= 1'000'000'000'000'000LL)
        Refuse("El importe " + amount.Text() +
               " es demasiado grande para una factura electrónica.");
    return amount.Text();
}

// A unit price or rate: up to eight decimals, as many as fit in 15 significant digits, trailing
// zeros dropped down to two.
QString Decimal(double value) {
    if (!std::isfinite(value) || std::fabs(value) >= 1e13)
        Refuse("El precio " + Utility::NumberText(value) +
               " es demasiado grande para una factura electrónica.");
    const int whole = std::fabs(value) < 1 ? 1 : int(std::floor(std::log10(std::fabs(value)))) + 1;
    QString text = QString::number(value, 'f', std::clamp(15 - whole, 2, 8));
    while (text.endsWith('0') && text.indexOf('.') < text.size() - 3)
        text.chop(1);
    return text == "-0.00" ? QStringLiteral("0.00") : text;
}

QString Date(qint32 yyyymmdd) {
    return QDate(yyyymmdd / 10000, yyyymmdd / 100 % 100, yyyymmdd % 100).toString(Qt::ISODate);
}

// "A0037/26" is series "A", number "0037/26"; a number without a series is all number.
std::pair<QString, QString> SeriesAndNumber(const QString& sFactura) {
    const qsizetype digit = sFactura.indexOf(QRegularExpression("[0-9]"));
    if (digit <= 0)
        return {QString(), sFactura};
    return {sFactura.left(digit).trimmed(), sFactura.mid(digit)};
}

QString PaymentMeans(const QString& sTipoCobro) {
    const QString name = sTipoCobro.toLower();
    const std::pair<const char*, const char*> means[] = {
        {"efectivo", "01"},  {"contado", "01"},  {"tarjeta", "19"}, {"transfer", "04"},
        {"domicil", "02"},   {"recibo", "03"},   {"cheque", "11"},  {"talón", "11"},
        {"reembolso", "18"}, {"compensa", "14"}, {"giro", "15"},
    };
    for (const auto& [word, code] : means)
        if (name.contains(QString::fromUtf8(word)))
            return code;
    // Bizum and any other the clinic adds: "special" means.
    return QStringLiteral("13");
}

// A party as the format names it: its NIF, whether a company or a person, its name and address.
struct Party {
    QString who; // "El cliente" / "La clínica", for messages
    QString nif, name, tradeName, address, town, province, postCode;
};

QString Required(const QString& value, const Party& party, const QString& what) {
    const QString text = value.simplified();
    if (text.isEmpty())
        Refuse(party.who + " no tiene " + what +
               ": una factura electrónica necesita la dirección completa de las dos partes.");
    return text;
}

QString Bounded(const QString& value, int most, const Party& party, const QString& what) {
    if (value.size() > most)
        Refuse(QString("%1: %2 tiene más de %3 caracteres, que es lo que admite una factura "
                       "electrónica (\"%4\").")
                   .arg(party.who, what)
                   .arg(most)
                   .arg(value));
    return value;
}

void WriteParty(QXmlStreamWriter& x, const QString& element, const Party& p) {
    QString nif = p.nif.toUpper();
    nif.remove(QRegularExpression("[\\s.\\-]"));
    if (nif.isEmpty())
        Refuse(p.who + " no tiene NIF: una factura electrónica se emite solo entre partes "
                       "identificadas por su NIF.");
    if (nif.size() < 3 || nif.size() > 30)
        Refuse(p.who + " tiene un NIF que no es válido (\"" + p.nif + "\").");
    const QString name = p.name.simplified();
    if (name.isEmpty())
        Refuse(p.who + " no tiene nombre.");
    // Companies' NIFs start with the letter of their legal form; people's are a DNI or a NIE.
    const bool company = QStringLiteral("ABCDEFGHJNPQRSUVW").contains(nif.front());
    const QString address = Bounded(Required(p.address, p, "domicilio"), 80, p, "el domicilio");
    const QString town = Bounded(Required(p.town, p, "población"), 50, p, "la población");
    const QString province = Bounded(Required(p.province, p, "provincia"), 20, p, "la provincia");
    const QString postCode = Required(p.postCode, p, "código postal");
    if (!QRegularExpression("^[0-9]{5}$").match(postCode).hasMatch())
        Refuse(p.who + " tiene un código postal que no es de cinco cifras (\"" + postCode + "\").");

    x.writeStartElement(element);
    x.writeStartElement("TaxIdentification");
    x.writeTextElement("PersonTypeCode", company ? "J" : "F");
    x.writeTextElement("ResidenceTypeCode", "R");
    x.writeTextElement("TaxIdentificationNumber", nif);
    x.writeEndElement();
    if (company) {
        x.writeStartElement("LegalEntity");
        x.writeTextElement("CorporateName", Bounded(name, 80, p, "el nombre"));
        if (!p.tradeName.simplified().isEmpty())
            x.writeTextElement("TradeName", p.tradeName.simplified().left(40));
    } else {
        // "Name Surname Surname": the last two words are the surnames, the rest the name.
        QStringList words = name.split(' ');
        if (words.size() < 2)
            Refuse(p.who + " es una persona y su nombre no lleva apellidos (\"" + name + "\").");
        const QString second = words.size() > 2 ? words.takeLast() : QString();
        const QString first = words.takeLast();
        x.writeStartElement("Individual");
        x.writeTextElement("Name", Bounded(words.join(' '), 40, p, "el nombre"));
        x.writeTextElement("FirstSurname", Bounded(first, 40, p, "el primer apellido"));
        if (!second.isEmpty())
            x.writeTextElement("SecondSurname", Bounded(second, 40, p, "el segundo apellido"));
    }
    x.writeStartElement("AddressInSpain");
    x.writeTextElement("Address", address);
    x.writeTextElement("PostCode", postCode);
    x.writeTextElement("Town", town);
    x.writeTextElement("Province", province);
    x.writeTextElement("CountryCode", "ESP");
    x.writeEndElement();
    x.writeEndElement();
    x.writeEndElement();
}

void WriteTotal(QXmlStreamWriter& x, const QString& element, Money amount) {
    x.writeStartElement(element);
    x.writeTextElement("TotalAmount", Amount(amount));
    x.writeEndElement();
}

void WriteTax(QXmlStreamWriter& x, double rate, Money base, Money tax) {
    x.writeStartElement("Tax");
    x.writeTextElement("TaxTypeCode", Iva);
    x.writeTextElement("TaxRate", Decimal(rate));
    WriteTotal(x, "TaxableBase", base);
    WriteTotal(x, "TaxAmount", tax);
    x.writeEndElement();
}

// A line as the file states it: quantity, unit price before tax and its amount to the cent.
struct Item {
    const IssuedDocument::Line* line;
    double quantity, price;
    Money gross;
};

// The lines' amounts, each rounded to the cent, with each rate's rounding remainder put on its
// largest line, so that the lines of a rate add up to the rate's stored base.
std::vector<Item> Items(const IssuedDocument& d) {
    std::vector<Item> items;
    std::map<double, Money> sums;
    for (const IssuedDocument::Line& line : d.lineas) {
        // A credit note stores its invoice's lines with units and price turned: it states the
        // units given back at the price they were sold.
        const bool turned = d.kind == IssuedDocument::Kind::Rectifying;
        const double quantity = line.nUnidades;
        const double price = turned ? -line.nPvp : line.nPvp;
        items.push_back({&line, quantity, price, LinePricing{quantity, price, 0, 0}.Base()});
        sums[std::fabs(line.nPorcIpto)] += items.back().gross;
    }
    // A credit note's slots carry their rates turned; an empty slot reads as rate 0, so each
    // rate is settled once, by its first slot.
    for (const DocumentAmounts::Slot& slot : d.importes.slots) {
        const auto sum = sums.find(std::fabs(slot.nPo));
        if (sum == sums.end())
            continue;
        const Money remainder = slot.nBi - sum->second;
        sums.erase(sum);
        if (remainder == Money())
            continue;
        Item* largest = nullptr;
        for (Item& item : items)
            if (std::fabs(item.line->nPorcIpto) == std::fabs(slot.nPo) &&
                (!largest || std::llabs(item.gross.Cents()) > std::llabs(largest->gross.Cents())))
                largest = &item;
        largest->gross += remainder;
    }
    return items;
}

void WriteInvoiceHeader(QXmlStreamWriter& x, const FacturaeEscritura::Documento& doc) {
    const IssuedDocument& d = doc.d;
    const Party none{"La factura", {}, {}, {}, {}, {}, {}, {}};
    const auto [series, number] = SeriesAndNumber(d.sFactura);
    x.writeStartElement("InvoiceHeader");
    x.writeTextElement("InvoiceNumber", Bounded(number, 20, none, "el número"));
    if (!series.isEmpty())
        x.writeTextElement("InvoiceSeriesCode", Bounded(series, 20, none, "la serie"));
    x.writeTextElement("InvoiceDocumentType", "FC");
    const bool rectifying = d.kind == IssuedDocument::Kind::Rectifying;
    x.writeTextElement("InvoiceClass", rectifying ? "OR" : "OO");
    if (rectifying) {
        const auto [rSeries, rNumber] = SeriesAndNumber(d.sFacturaAbonada);
        const auto [code, description] = FacturaeEscritura::Motivo(doc.sMotivo);
        const qint32 rectified = d.RectifiedDate() ? d.RectifiedDate() : d.IssueDate();
        const QDate day(rectified / 10000, rectified / 100 % 100, rectified % 100);
        const QDate quarter(day.year(), (day.month() - 1) / 3 * 3 + 1, 1);
        x.writeStartElement("Corrective");
        x.writeTextElement("InvoiceNumber", Bounded(rNumber, 20, none, "el número rectificado"));
        if (!rSeries.isEmpty())
            x.writeTextElement("InvoiceSeriesCode",
                               Bounded(rSeries, 20, none, "la serie rectificada"));
        x.writeTextElement("ReasonCode", code);
        x.writeTextElement("ReasonDescription", description);
        x.writeStartElement("TaxPeriod");
        x.writeTextElement("StartDate", quarter.toString(Qt::ISODate));
        x.writeTextElement("EndDate", quarter.addMonths(3).addDays(-1).toString(Qt::ISODate));
        x.writeEndElement();
        x.writeTextElement("CorrectionMethod", "02");
        x.writeTextElement("CorrectionMethodDescription", "Rectificación por diferencias");
        // The agency's code of the reason, and the user's own words when there are any.
        QString why = doc.sMotivo;
        if (!doc.sTextoMotivo.trimmed().isEmpty())
            why += ": " + doc.sTextoMotivo.trimmed();
        x.writeTextElement("AdditionalReasonDescription", why);
        if (d.RectifiedDate())
            x.writeTextElement("InvoiceIssueDate", Date(d.RectifiedDate()));
        x.writeEndElement();
    }
    x.writeEndElement();
}

void WriteTotals(QXmlStreamWriter& x, const IssuedDocument& d, const std::vector<Item>& items) {
    // The discount is taken off before tax: what the lines add up to less the breakdown's base.
    Money gross;
    for (const Item& item : items)
        gross += item.gross;
    const Money beforeTaxes = d.desglose.Base();
    const Money discount = gross - beforeTaxes;
    x.writeStartElement("InvoiceTotals");
    x.writeTextElement("TotalGrossAmount", Amount(gross));
    if (discount != Money()) {
        x.writeStartElement("GeneralDiscounts");
        x.writeStartElement("Discount");
        x.writeTextElement("DiscountReason", "Descuento");
        x.writeTextElement("DiscountAmount", Amount(discount));
        x.writeEndElement();
        x.writeEndElement();
        x.writeTextElement("TotalGeneralDiscounts", Amount(discount));
    }
    x.writeTextElement("TotalGrossAmountBeforeTaxes", Amount(beforeTaxes));
    x.writeTextElement("TotalTaxOutputs", Amount(d.desglose.Cuota()));
    x.writeTextElement("TotalTaxesWithheld", "0.00");
    x.writeTextElement("InvoiceTotal", Amount(d.AmountDue()));
    x.writeTextElement("TotalOutstandingAmount", Amount(d.AmountDue()));
    x.writeTextElement("TotalExecutableAmount", Amount(d.AmountDue()));
    x.writeEndElement();
}

void WriteItems(QXmlStreamWriter& x, const std::vector<Item>& items) {
    x.writeStartElement("Items");
    for (const Item& item : items) {
        const IssuedDocument::Line& line = *item.line;
        QString description = line.sProductoServicio.simplified();
        if (description.isEmpty())
            description = line.sCodigo.simplified();
        x.writeStartElement("InvoiceLine");
        x.writeTextElement("ItemDescription", description.isEmpty()
                                                  ? QStringLiteral("Producto o servicio")
                                                  : description.left(2500));
        x.writeTextElement("Quantity", Decimal(item.quantity));
        x.writeTextElement("UnitOfMeasure", "01");
        x.writeTextElement("UnitPriceWithoutTax", Decimal(item.price));
        x.writeTextElement("TotalCost", Amount(item.gross));
        x.writeTextElement("GrossAmount", Amount(item.gross));
        x.writeStartElement("TaxesOutputs");
        WriteTax(x, line.nPorcIpto, item.gross,
                 item.gross.Percent(line.nPorcIpto, Money::Rounding::HalfAwayFromZero));
        x.writeEndElement();
        if (!line.sCodigo.simplified().isEmpty() && line.sCodigo.simplified().size() <= 20)
            x.writeTextElement("ArticleCode", line.sCodigo.simplified());
        x.writeEndElement();
    }
    x.writeEndElement();
}

// The payments booked at the desk, as far as they cover the amount due (change given back
// is no payment of the invoice).
void WritePayments(QXmlStreamWriter& x, const IssuedDocument& d) {
    Money left = d.AmountDue();
    std::vector<std::pair<const IssuedDocument::Payment*, Money>> installments;
    for (const IssuedDocument::Payment& payment : d.cobros) {
        const bool sameSign = (payment.nImporte > Money()) == (left > Money());
        if (payment.nImporte == Money() || left == Money() || !sameSign)
            continue;
        const Money paid = std::llabs(payment.nImporte.Cents()) > std::llabs(left.Cents())
                               ? left
                               : payment.nImporte;
        installments.emplace_back(&payment, paid);
        left = left - paid;
    }
    if (!installments.empty()) {
        x.writeStartElement("PaymentDetails");
        for (const auto& [payment, paid] : installments) {
            x.writeStartElement("Installment");
            x.writeTextElement("InstallmentDueDate", Date(d.IssueDate()));
            x.writeTextElement("InstallmentAmount", Amount(paid));
            x.writeTextElement("PaymentMeans", PaymentMeans(payment->sTipoCobro));
            x.writeEndElement();
        }
        x.writeEndElement();
    }
}

void WriteInvoice(QXmlStreamWriter& x, const FacturaeEscritura::Documento& doc,
                  const std::vector<Item>& items) {
    const IssuedDocument& d = doc.d;
    x.writeStartElement("Invoice");
    WriteInvoiceHeader(x, doc);

    x.writeStartElement("InvoiceIssueData");
    x.writeTextElement("IssueDate", Date(d.IssueDate()));
    x.writeTextElement("InvoiceCurrencyCode", "EUR");
    x.writeTextElement("TaxCurrencyCode", "EUR");
    x.writeTextElement("LanguageName", "es");
    x.writeEndElement();

    x.writeStartElement("TaxesOutputs");
    for (const TaxableBreakdown::Rate& rate : d.desglose.tipos)
        WriteTax(x, rate.nPorcIpto, rate.nBaseImponible, rate.nCuota);
    x.writeEndElement();

    WriteTotals(x, d, items);
    WriteItems(x, items);
    WritePayments(x, d);
    x.writeEndElement();
}

} // namespace

std::pair<QString, QString> FacturaeEscritura::Motivo(const QString& sMotivo) {
    // R1 a wrong figure or rate, R2 and R3 tax charged and never paid (insolvency, bad debt),
    // R4 goods returned or a service cancelled: the taxable base changes.
    if (sMotivo == "R1")
        return {"80", "Cálculo de cuotas repercutidas"};
    if (sMotivo == "R2" || sMotivo == "R3")
        return {"85", "Base imponible modificada cuotas repercutidas no satisfechas. Auto de "
                      "declaración de concurso"};
    return {"16", "Base imponible"};
}

QString FacturaeEscritura::NoSimplificadas(const QString& sFactura) {
    return "La factura " + sFactura +
           " es simplificada: no se emite como factura electrónica (Facturae), que debe nombrar "
           "al cliente por su NIF.";
}

FacturaeEscritura::Documento FacturaeEscritura::Leer(qint32 nIdFactura) {
    std::optional<IssuedDocument> d = IssuedDocument::Load(nIdFactura);
    if (!d)
        throw TvError(ErrorNumber::InvalidCall, "No hay ninguna factura con el número interno " +
                                                    QString::number(nIdFactura) + ".");
    // A Facturae names its buyer; a simplified invoice has none to name.
    if (d->Simplified())
        throw TvError(ErrorNumber::InvalidCall, NoSimplificadas(d->sFactura));
    // A cancelled document was issued in error: handing it over would bill what is undone.
    if (Utility::instance().SqlNumber(
            Db().GetValue("FacturasAnuladas", "nIdFactura=" + QString::number(nIdFactura))) != 0)
        throw TvError(ErrorNumber::InvalidCall,
                      "La factura " + d->sFactura +
                          " está anulada: no se emite como factura electrónica (Facturae).");
    Documento doc{*d, {}, QStringLiteral("R4"), {}};
    doc.sProvinciaEmisor = Db().GetRows("SELECT sProvincia FROM ConfiguracionEmpresa ORDER BY "
                                        "nIdConfiguracionEmpresa LIMIT 1")
                               .Value(0, 0)
                               .toString();
    const Rows reason = Db().GetRows("SELECT sMotivo,sTextoMotivo FROM FacturasRectificativas "
                                     "WHERE nIdFactura=" +
                                     QString::number(nIdFactura));
    if (!reason.IsEmpty()) {
        doc.sMotivo = reason.Value(0, 0).toString().trimmed();
        doc.sTextoMotivo = reason.Value(1, 0).toString();
    }
    return doc;
}

QByteArray FacturaeEscritura::Xml(const Documento& doc) {
    const IssuedDocument& d = doc.d;
    const IssuedDocument::Issuer& e = d.emisor;
    const IssuedDocument::Customer& c = d.cliente;
    const Party seller{"La clínica",         e.sNif,         e.sNombre,
                       e.sNombreSucursal,    e.sDomicilio,   e.sPoblacion,
                       doc.sProvinciaEmisor, e.sCodigoPostal};
    const Party buyer{"El cliente de la factura " + d.sFactura,
                      c.sDni,
                      c.sCliente,
                      {},
                      c.sDomicilio,
                      c.sPoblacion,
                      c.sProvincia,
                      c.sCodigoPostal};
    const std::vector<Item> items = Items(d);

    QByteArray out;
    QXmlStreamWriter x(&out);
    x.setAutoFormatting(true);
    x.writeStartDocument();
    x.writeNamespace(Namespace, "fe");
    x.writeNamespace("http://www.w3.org/2000/09/xmldsig#", "ds");
    x.writeStartElement(Namespace, "Facturae");

    x.writeStartElement("FileHeader");
    x.writeTextElement("SchemaVersion", "3.2.2");
    x.writeTextElement("Modality", "I");
    x.writeTextElement("InvoiceIssuerType", "EM");
    x.writeStartElement("Batch");
    QString nif = e.sNif.toUpper();
    nif.remove(QRegularExpression("[\\s.\\-]"));
    x.writeTextElement("BatchIdentifier", (nif + d.sFactura).left(70));
    x.writeTextElement("InvoicesCount", "1");
    WriteTotal(x, "TotalInvoicesAmount", d.AmountDue());
    WriteTotal(x, "TotalOutstandingAmount", d.AmountDue());
    WriteTotal(x, "TotalExecutableAmount", d.AmountDue());
    x.writeTextElement("InvoiceCurrencyCode", "EUR");
    x.writeEndElement();
    x.writeEndElement();

    x.writeStartElement("Parties");
    WriteParty(x, "SellerParty", seller);
    WriteParty(x, "BuyerParty", buyer);
    x.writeEndElement();

    x.writeStartElement("Invoices");
    WriteInvoice(x, doc, items);
    x.writeEndElement();

    x.writeEndElement();
    x.writeEndDocument();
    return out;
}
