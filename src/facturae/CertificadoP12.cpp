// A PKCS#12 certificate opened with its password, each way it can fail told apart.

#include "facturae/CertificadoP12.h"

#include "platform/util/TvError.h"

#include <QFile>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>

namespace CertificadoP12 {

namespace {

[[noreturn]] void Rechazar(const QString& why) {
    throw TvError(ErrorNumber::PathFileAccess, why);
}

struct LiberarP12 {
    void operator()(PKCS12* p) const { PKCS12_free(p); }
};

bool MacValida(PKCS12* bundle, const QByteArray& password) {
    if (!PKCS12_mac_present(bundle))
        return true;
    // A file made without a password may carry its MAC under "no password" rather than "".
    return PKCS12_verify_mac(bundle, password.constData(), int(password.size())) ||
           (password.isEmpty() && PKCS12_verify_mac(bundle, nullptr, 0));
}

QByteArray Der(X509* certificado) {
    unsigned char* der = nullptr;
    const int size = i2d_X509(certificado, &der);
    QByteArray bytes(reinterpret_cast<const char*>(der), size > 0 ? size : 0);
    OPENSSL_free(der);
    return bytes;
}

} // namespace

void LiberarClave::operator()(EVP_PKEY* p) const {
    EVP_PKEY_free(p);
}

Contenido Abrir(const QString& p12, const QString& clave) {
    QFile file(p12);
    if (!file.exists())
        Rechazar("No se encuentra el certificado " + p12 + ".");
    if (!file.open(QIODevice::ReadOnly))
        Rechazar("No se puede abrir el certificado " + p12 + ": no tiene permiso para leerlo.");
    const QByteArray bytes = file.readAll();
    const unsigned char* at = reinterpret_cast<const unsigned char*>(bytes.constData());
    const std::unique_ptr<PKCS12, LiberarP12> bundle(d2i_PKCS12(nullptr, &at, bytes.size()));
    if (!bundle) {
        // Every PKCS#12 file starts as a DER sequence (byte 0x30); one that does and still does
        // not read was one, cut short or changed on its way.
        if (bytes.startsWith('\x30'))
            Rechazar("El certificado " + p12 +
                     " está dañado o incompleto: cópielo de nuevo desde el original.");
        Rechazar("El archivo " + p12 + " no es un certificado PKCS#12 (.p12 o .pfx).");
    }
    const QByteArray password = clave.toUtf8();
    if (!MacValida(bundle.get(), password))
        Rechazar("La contraseña del certificado " + p12 + " no es correcta.");
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    STACK_OF(X509)* ca = nullptr;
    if (!PKCS12_parse(bundle.get(), password.constData(), &key, &cert, &ca))
        Rechazar("No se puede leer el certificado " + p12 +
                 " (quizá use un cifrado antiguo que OpenSSL ya no admite).");
    Contenido c{Clave(key), Certificado(cert), {}};
    while (ca && sk_X509_num(ca) > 0)
        c.cadena.emplace_back(sk_X509_shift(ca));
    sk_X509_free(ca);
    if (!c.clave || !c.certificado)
        Rechazar("El archivo " + p12 + " no contiene un certificado con su clave privada.");
    return c;
}

ParaTls AbrirParaTls(const QString& p12, const QString& clave) {
    const Contenido c = Abrir(p12, clave);
    ParaTls tls;
    const std::unique_ptr<BIO, decltype(&BIO_free)> pem(BIO_new(BIO_s_mem()), BIO_free);
    PEM_write_bio_PrivateKey(pem.get(), c.clave.get(), nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    const long size = BIO_get_mem_data(pem.get(), &data);
    tls.clavePem = QByteArray(data, int(size));
    tls.ec = EVP_PKEY_base_id(c.clave.get()) == EVP_PKEY_EC;
    tls.certificadosDer << Der(c.certificado.get());
    for (const Certificado& authority : c.cadena)
        tls.certificadosDer << Der(authority.get());
    return tls;
}

} // namespace CertificadoP12
