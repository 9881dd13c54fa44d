#pragma once

#include "invoicing/core/Money.h"

#include <QString>

// Which document a sale gets, decided from the customer's id as the payment dialog took it and
// from the amount due: a complete invoice (F1) names an identified recipient; a customer without
// an id gets a simplified invoice (F2) up to the branch's limit; a wrong id is never issued.
struct IdCliente {
    QString sNombre;
    // A Spanish NIF (DNI, NIE, CIF), or the number of the foreign document.
    QString sDni;
    // A foreign document: its country (two letters, ISO 3166) and type, "02" (VAT number) to
    // "06" (other supporting document). Both empty for a Spanish NIF or no id at all.
    QString sPais;
    QString sTipoId;
    // Printed under the name; bounded with it so that every accepted text prints.
    QString sDomicilio;

    bool Extranjero() const { return !sTipoId.trimmed().isEmpty() || !sPais.trimmed().isEmpty(); }
};

struct DocumentoVenta {
    // "F1" or "F2"; empty when the sale may not be issued (motivo says why).
    QString sTipoFactura;
    // The id as the register and the printed invoice carry it: a NIF upper case, without blanks,
    // dots or hyphens; empty for an F2.
    QString sDni;
    QString sPais;
    QString sTipoId;
    // In Spanish, naming the field to correct, and that field.
    QString motivo;
    enum class Campo { Ninguno, Nombre, Id, Pais, TipoId, Domicilio } campo = Campo::Ninguno;

    bool Emitible() const { return !sTipoFactura.isEmpty(); }
    bool Simplificada() const { return sTipoFactura == QLatin1String("F2"); }
};

// The longest texts a customer's data may have: the name as the agency's records take it, the id
// as a foreign document's number (a Spanish NIF, typed with its dots and hyphen, is shorter), the
// address as the narrowest layout's client box wraps it without pushing the lines off the page.
inline constexpr int MaxNombreCliente = 120;
inline constexpr int MaxIdCliente = 20;
inline constexpr int MaxDomicilioCliente = 150;

// The general limit of a simplified invoice, VAT included.
inline constexpr Money LimiteSimplificadaGeneral = Money::FromCents(40000);

// The branch's setting "LimiteSimplificada" read as an amount ("400", "3000,00"); an empty or
// unreadable setting, or one that is not positive, is the general limit.
Money LimiteSimplificada(const QString& ajuste);

// The document for a customer identified as `id` (or not) on a sale whose amount due is
// `importe`, with the branch's limit.
DocumentoVenta ElegirDocumento(const IdCliente& id, Money importe, Money limite);

// The document of a counter sale (a walk-in customer served without a client record): always a
// simplified invoice, so an id typed for it is refused, and above the limit the refusal of any
// sale without an id, followed by how to invoice that customer by name.
DocumentoVenta ElegirDocumentoMostrador(const IdCliente& id, Money importe, Money limite);

// "Factura completa (F1)", "Factura simplificada (F2)": what the payment dialog shows.
QString NombreDocumento(const QString& sTipoFactura);
