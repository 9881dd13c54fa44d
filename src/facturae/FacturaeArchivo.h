#pragma once

#include <QString>

// A Facturae file on disk (docs/facturae.md), for the tool and the billing window alike.
class FacturaeArchivo {
public:
    // The clinic's certificate as the ini's [VeriFactu] section names it (keys Certificado and
    // ClaveCertificado); a relative path is taken from the ini's folder. Empty p12 when the
    // section names none.
    struct Certificado {
        QString p12, clave;
    };
    static Certificado DelIni(const QString& ini);

    // Writes document nIdFactura to `path`: signed with the certificate when p12 is given,
    // unsigned otherwise. On any refusal (a TvError saying why) nothing is written and a file
    // already at `path` stays as it was.
    static void Escribir(qint32 nIdFactura, const QString& path, const Certificado& firma = {});
};
