// A Facturae file written to disk, signed with the certificate the ini names.

#include "facturae/FacturaeArchivo.h"

#include "facturae/FacturaeEscritura.h"
#include "facturae/FirmaXades.h"
#include "platform/util/ArchivoSeguro.h"
#include "platform/util/Utility.h"

#include <QDir>
#include <QFileInfo>

FacturaeArchivo::Certificado FacturaeArchivo::DelIni(const QString& ini) {
    const QString p12 = U().ReadIni(ini, "VeriFactu", "Certificado").trimmed();
    if (p12.isEmpty())
        return {};
    return {QDir::cleanPath(QFileInfo(ini).absoluteDir().absoluteFilePath(p12)),
            U().ReadIni(ini, "VeriFactu", "ClaveCertificado")};
}

void FacturaeArchivo::Escribir(qint32 nIdFactura, const QString& path, const Certificado& firma) {
    QByteArray xml = FacturaeEscritura::Xml(FacturaeEscritura::Leer(nIdFactura));
    if (!firma.p12.isEmpty())
        xml = FirmaXades::Firmar(xml, firma.p12, firma.clave);
    ArchivoSeguro::Escribir(path, xml);
}
