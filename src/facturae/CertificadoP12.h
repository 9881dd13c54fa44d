#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <openssl/types.h>
#include <openssl/x509.h>
#include <vector>

// A PKCS#12 file (.p12, .pfx) opened with its password: the one way the module opens a
// certificate, for the signer and for the submissions' TLS alike, so that both say the same.
// What can go wrong is told apart, each with a message of its own (a TvError 75): a file missing
// or not readable, one that is no PKCS#12 at all, one that is but is damaged (cut short, changed),
// a wrong password, a cipher this OpenSSL no longer reads, a file without a key and certificate.
// Whether the key suits a use (RSA for the XAdES signature, validity dates) is the user's to say.
namespace CertificadoP12 {

struct LiberarClave {
    void operator()(EVP_PKEY* p) const;
};
struct LiberarCertificado {
    void operator()(X509* p) const { X509_free(p); }
};
using Clave = std::unique_ptr<EVP_PKEY, LiberarClave>;
using Certificado = std::unique_ptr<X509, LiberarCertificado>;

struct Contenido {
    Clave clave;
    Certificado certificado;
    std::vector<Certificado> cadena; // the authorities that came with it, if any
};

Contenido Abrir(const QString& p12, const QString& clave);

// The same for Qt's TLS, which reads keys and certificates as text: the key as PEM (EC or
// RSA, as ec says), the holder's certificate and then its chain, each as DER.
struct ParaTls {
    QByteArray clavePem;
    bool ec = false;
    QList<QByteArray> certificadosDer;
};
ParaTls AbrirParaTls(const QString& p12, const QString& clave);

} // namespace CertificadoP12
