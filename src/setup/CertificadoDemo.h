#pragma once

#include <QByteArray>
#include <QString>

// The demo clinic's certificate: a self-signed RSA key and certificate in its own name, valid for
// ten years from today, as a PKCS#12 file opened with `clave`. It lets the demo sign its register
// as a clinic's own certificate would; no authority trusts it.
namespace CertificadoDemo {

inline const QString Archivo = QStringLiteral("Certificado-demo.p12");
inline const QString Clave = QStringLiteral("demo");

QByteArray Crear(const QString& titular, const QString& nif, const QString& clave);

} // namespace CertificadoDemo
