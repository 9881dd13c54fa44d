// The demo clinic's self-signed certificate as a PKCS#12 file.

#include "setup/CertificadoDemo.h"

#include "platform/util/TvError.h"

#include <memory>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

namespace CertificadoDemo {
namespace {

template <typename T, void (*Free)(T*)> struct Deleter {
    void operator()(T* p) const { Free(p); }
};
template <typename T, void (*Free)(T*)> using Owned = std::unique_ptr<T, Deleter<T, Free>>;

[[noreturn]] void Refuse() {
    throw TvError(ErrorNumber::PathFileAccess,
                  "No se puede crear el certificado de prueba de la clínica de demostración.");
}

void Name(X509_NAME* name, const char* field, const QString& value) {
    const QByteArray text = value.toUtf8();
    if (!X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                                    reinterpret_cast<const unsigned char*>(text.constData()),
                                    int(text.size()), -1, 0))
        Refuse();
}

} // namespace

QByteArray Crear(const QString& titular, const QString& nif, const QString& clave) {
    constexpr long TenYears = 10L * 366 * 24 * 3600;
    Owned<EVP_PKEY, EVP_PKEY_free> key(EVP_RSA_gen(2048));
    Owned<X509, X509_free> cert(X509_new());
    if (!key || !cert || !X509_set_version(cert.get(), 2) ||
        !ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1) ||
        !X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0) ||
        !X509_gmtime_adj(X509_getm_notAfter(cert.get()), TenYears) ||
        !X509_set_pubkey(cert.get(), key.get()))
        Refuse();
    X509_NAME* name = X509_get_subject_name(cert.get());
    Name(name, "C", QStringLiteral("ES"));
    Name(name, "O", titular);
    Name(name, "CN", titular + " - " + nif);
    if (!X509_set_issuer_name(cert.get(), name) || !X509_sign(cert.get(), key.get(), EVP_sha256()))
        Refuse();
    const QByteArray password = clave.toUtf8();
    Owned<PKCS12, PKCS12_free> bundle(
        PKCS12_create(password.constData(), "demo", key.get(), cert.get(), nullptr, 0, 0, 0, 0, 0));
    if (!bundle)
        Refuse();
    unsigned char* bytes = nullptr;
    const int size = i2d_PKCS12(bundle.get(), &bytes);
    if (size <= 0)
        Refuse();
    const QByteArray file(reinterpret_cast<const char*>(bytes), size);
    OPENSSL_free(bytes);
    return file;
}

} // namespace CertificadoDemo
