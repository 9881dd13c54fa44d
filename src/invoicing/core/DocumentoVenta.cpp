// Which document a sale gets (complete or simplified invoice) from the customer's id and amount.

#include "invoicing/core/DocumentoVenta.h"

#include "invoicing/core/NifCheck.h"
#include "platform/util/TypedNumber.h"

#include <optional>

namespace {

using Campo = DocumentoVenta::Campo;

DocumentoVenta Rechazo(Campo campo, const QString& motivo) {
    DocumentoVenta d;
    d.motivo = motivo;
    d.campo = campo;
    return d;
}

// Countries are written as ISO 3166 writes them: two letters.
bool CodigoPais(const QString& pais) {
    return pais.size() == 2 && pais.at(0).isLetter() && pais.at(1).isLetter() &&
           pais.at(0).unicode() < 128 && pais.at(1).unicode() < 128;
}

DocumentoVenta Extranjero(const IdCliente& id) {
    const QString pais = id.sPais.trimmed().toUpper();
    const QString tipo = id.sTipoId.trimmed();
    const QString numero = id.sDni.trimmed().toUpper();
    if (tipo.size() != 2 || tipo < QLatin1String("02") || tipo > QLatin1String("06"))
        return Rechazo(Campo::TipoId,
                       QStringLiteral("El tipo del documento extranjero debe ser de 02 a 06 (es "
                                      "«%1»).")
                           .arg(tipo));
    if (!CodigoPais(pais))
        return Rechazo(Campo::Pais,
                       QStringLiteral("El país del documento extranjero debe ser su código de dos "
                                      "letras (FR, DE, PT...), no «%1».")
                           .arg(pais));
    // The agency identifies a Spanish customer by the NIF, never by a foreign document.
    if (pais == QLatin1String("ES"))
        return Rechazo(Campo::Pais,
                       QStringLiteral("Un cliente español se identifica con su NIF en el campo "
                                      "D.N.I., no como documento extranjero."));
    if (numero.isEmpty() || numero.size() > 20)
        return Rechazo(Campo::Id,
                       QStringLiteral("Escriba en el campo D.N.I. el número del documento "
                                      "extranjero (hasta 20 caracteres)."));
    DocumentoVenta d;
    d.sTipoFactura = QStringLiteral("F1");
    d.sDni = numero;
    d.sPais = pais;
    d.sTipoId = tipo;
    return d;
}

// A text longer than the documents take is refused before anything reads it, so that the
// message never quotes a page of pasted text.
std::optional<DocumentoVenta> Excesivo(const IdCliente& id) {
    const struct {
        const QString& texto;
        int maximo;
        Campo campo;
        const char* nombre;
    } campos[] = {{id.sNombre, MaxNombreCliente, Campo::Nombre, "El nombre"},
                  {id.sDomicilio, MaxDomicilioCliente, Campo::Domicilio, "El domicilio"},
                  {id.sDni, MaxIdCliente, Campo::Id, "El D.N.I./NIF"}};
    for (const auto& c : campos)
        if (const qsizetype largo = c.texto.trimmed().size(); largo > c.maximo)
            return Rechazo(c.campo, QStringLiteral("%1 del cliente tiene %2 caracteres; en la "
                                                   "factura caben %3. Acórtelo.")
                                        .arg(QLatin1String(c.nombre))
                                        .arg(largo)
                                        .arg(c.maximo));
    return std::nullopt;
}

} // namespace

Money LimiteSimplificada(const QString& ajuste) {
    if (ajuste.trimmed().isEmpty())
        return LimiteSimplificadaGeneral;
    const TypedNumber::Reading leido =
        TypedNumber::Read(ajuste.trimmed(), TypedNumber::Kind::Amount, QStringLiteral("límite"));
    if (!leido.Ok() || leido.value <= 0)
        return LimiteSimplificadaGeneral;
    return Money::FromDouble(leido.value);
}

DocumentoVenta ElegirDocumento(const IdCliente& id, Money importe, Money limite) {
    if (std::optional<DocumentoVenta> rechazo = Excesivo(id))
        return *rechazo;
    DocumentoVenta d;
    if (id.Extranjero()) {
        d = Extranjero(id);
    } else if (!id.sDni.trimmed().isEmpty()) {
        const NifResult nif = CheckNif(id.sDni);
        if (!nif.Valid())
            return Rechazo(Campo::Id,
                           QStringLiteral("El D.N.I./NIF «%1» del cliente no es válido: %2. "
                                          "Corríjalo o déjelo vacío para una factura "
                                          "simplificada.")
                               .arg(id.sDni.trimmed(), nif.reason));
        d.sTipoFactura = QStringLiteral("F1");
        d.sDni = nif.normalized;
    } else {
        if (importe > limite)
            return Rechazo(Campo::Id,
                           QStringLiteral("El importe (%1) supera el límite de la factura "
                                          "simplificada (%2): escriba el NIF del cliente en el "
                                          "campo D.N.I. para emitir una factura completa.")
                               .arg(importe.Euros(), limite.Euros()));
        d.sTipoFactura = QStringLiteral("F2");
        return d;
    }
    if (d.Emitible() && id.sNombre.trimmed().isEmpty())
        return Rechazo(Campo::Nombre,
                       QStringLiteral("Escriba el nombre del cliente: la factura completa debe "
                                      "decir a quién se emite."));
    return d;
}

DocumentoVenta ElegirDocumentoMostrador(const IdCliente& id, Money importe, Money limite) {
    const QString porNombre =
        QStringLiteral("Una venta de mostrador no lleva NIF: para una factura a nombre del "
                       "cliente, elija su ficha en Cliente (o créela) y facture allí.");
    if (!id.sDni.trimmed().isEmpty() || id.Extranjero())
        return Rechazo(Campo::Id, porNombre);
    DocumentoVenta d = ElegirDocumento({}, importe, limite);
    if (!d.Emitible())
        d.motivo += QLatin1Char(' ') + porNombre;
    return d;
}

QString NombreDocumento(const QString& sTipoFactura) {
    if (sTipoFactura == QLatin1String("F2"))
        return QStringLiteral("Factura simplificada (F2)");
    if (sTipoFactura == QLatin1String("R5"))
        return QStringLiteral("Factura rectificativa simplificada (R5)");
    return QStringLiteral("Factura completa (F1)");
}
