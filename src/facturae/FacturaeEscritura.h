#pragma once

#include "invoicing/core/IssuedDocument.h"

#include <QByteArray>
#include <QString>

// An issued invoice or rectifying invoice as a Facturae 3.2.2 file (docs/facturae.md): one
// document per file, issued by the clinic itself, its figures those of the read model (the
// breakdown per rate after the discount, the amount due, the payments). A document the format
// cannot carry (no NIF or address for either party, a name or amount out of the format's bounds)
// is refused with a TvError whose description says what to correct.
class FacturaeEscritura {
public:
    // What the read model leaves to the writer: the clinic's province (the address in Spain needs
    // one, and branches keep none of their own) and a rectifying invoice's reason.
    struct Documento {
        IssuedDocument d;
        QString sProvinciaEmisor;
        QString sMotivo = QStringLiteral("R4");
        QString sTextoMotivo;
    };

    // Document nIdFactura with what the file needs besides; a TvError when there is none.
    static Documento Leer(qint32 nIdFactura);
    // Why simplified invoice sFactura (or its rectification) is not written as a Facturae.
    static QString NoSimplificadas(const QString& sFactura);
    // The unsigned file, UTF-8.
    static QByteArray Xml(const Documento& documento);

    // The format's reason code and description for a rectifying reason R1 to R4.
    static std::pair<QString, QString> Motivo(const QString& sMotivo);
};
