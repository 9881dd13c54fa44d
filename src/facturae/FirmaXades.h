#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// An enveloped XAdES-EPES signature under a signing policy (Facturae's 3.1 by default,
// docs/facturae.md; the register's records another, docs/register.md): the whole document and the
// signed properties (signing time, the signing certificate's digest, issuer and serial number, the
// policy's identifier and digest, the signer's role) signed with
// RSA-SHA256 by the key of a PKCS#12 file, the certificate carried in the signature's KeyInfo.
// libxmlsec1 (OpenSSL) does the canonicalisation, digests and signature; OpenSSL opens the file.
class FirmaXades {
public:
    static const QString Politica;       // the Facturae policy's identifier
    static const QString HuellaPolitica; // its SHA-1 digest, base64, as the policy publishes it

    // What the signed properties say of the policy and of what is signed.
    struct Perfil {
        QString politica;            // the policy's identifier
        QString descripcionPolitica; // its name
        QString huellaPolitica;      // its SHA-1 digest, base64, as the policy publishes it
        QString documento;           // what the signed document is, as DataObjectFormat says
    };
    static const Perfil Facturae;

    // xml signed by the certificate in the PKCS#12 file p12, opened with clave, at time `ahora`.
    // A file that cannot be read or is no certificate, a wrong password, a certificate not yet or
    // no longer valid at `ahora`, or a key that is not RSA: a TvError that says which.
    // The signature goes last inside the root element, or, when `cierre` names a closing tag
    // ("</sf:Evento>"), last inside the element that tag closes (its last occurrence).
    static QByteArray Firmar(const QByteArray& xml, const QString& p12, const QString& clave,
                             const QDateTime& ahora = QDateTime::currentDateTime(),
                             const Perfil& perfil = Facturae, const QByteArray& cierre = "</");

    // Whether the signature in signedXml holds for the document, checked with the certificate it
    // carries (whose trust is the reader's to judge). Several threads may check at once.
    static bool Verificar(const QByteArray& signedXml);
};
