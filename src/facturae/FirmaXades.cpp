#include "facturae/FirmaXades.h"

#include "facturae/CertificadoP12.h"
#include "platform/util/TvError.h"

#include <QFileInfo>
#include <QUuid>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <map>
#include <memory>
#include <mutex>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <xmlsec/crypto.h>
#include <xmlsec/errors.h>
#include <xmlsec/openssl/evp.h>
#include <xmlsec/openssl/x509.h>
#include <xmlsec/xmldsig.h>
#include <xmlsec/xmlsec.h>
#include <xmlsec/xmltree.h>

const QString FirmaXades::Politica =
    QStringLiteral("http://www.facturae.es/politica_de_firma_formato_facturae/"
                   "politica_de_firma_formato_facturae_v3_1.pdf");
const QString FirmaXades::HuellaPolitica = QStringLiteral("Ohixl6upD6av8N7pEvDABhEL6hM=");
const FirmaXades::Perfil FirmaXades::Facturae{
    FirmaXades::Politica, QStringLiteral("Política de firma de Facturae v3.1"),
    FirmaXades::HuellaPolitica, QStringLiteral("Factura electrónica")};

namespace {

[[noreturn]] void Refuse(const QString& why) {
    throw TvError(ErrorNumber::PathFileAccess, why);
}

template <typename T, void (*Free)(T*)> struct Deleter {
    void operator()(T* p) const { Free(p); }
};
template <typename T, void (*Free)(T*)> using Owned = std::unique_ptr<T, Deleter<T, Free>>;

// Once a process: libxml2, libxmlsec1 and its OpenSSL engine.
void InitialiseOnce() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] {
        xmlInitParser();
        ready = xmlSecInit() >= 0 && xmlSecCheckVersion() == 1 &&
                xmlSecCryptoAppInit(nullptr) >= 0 && xmlSecCryptoInit() >= 0;
    });
    if (!ready)
        Refuse("No se puede iniciar la biblioteca de firma (libxmlsec1 con OpenSSL).");
}

QString Day(const ASN1_TIME* time) {
    tm when{};
    ASN1_TIME_to_tm(time, &when);
    return QString::asprintf("%02d/%02d/%04d", when.tm_mday, when.tm_mon + 1, when.tm_year + 1900);
}

struct Certificado {
    Owned<EVP_PKEY, EVP_PKEY_free> key;
    Owned<X509, X509_free> cert;
};

Certificado Abrir(const QString& p12, const QString& clave, const QDateTime& ahora) {
    CertificadoP12::Contenido opened = CertificadoP12::Abrir(p12, clave);
    Certificado c{Owned<EVP_PKEY, EVP_PKEY_free>(opened.clave.release()),
                  Owned<X509, X509_free>(opened.certificado.release())};
    if (EVP_PKEY_base_id(c.key.get()) != EVP_PKEY_RSA)
        Refuse("La clave del certificado " + p12 +
               " no es RSA; la firma de la factura "
               "electrónica necesita una clave RSA.");
    time_t now = ahora.toSecsSinceEpoch();
    if (X509_cmp_time(X509_get0_notAfter(c.cert.get()), &now) < 0)
        Refuse("El certificado " + p12 + " caducó el " + Day(X509_get0_notAfter(c.cert.get())) +
               ": renuévelo para firmar facturas.");
    if (X509_cmp_time(X509_get0_notBefore(c.cert.get()), &now) > 0)
        Refuse("El certificado " + p12 + " no es válido hasta el " +
               Day(X509_get0_notBefore(c.cert.get())) + ".");
    return c;
}

// The file last opened, kept for the next signature: opening a PKCS#12 derives its keys from the
// password, which costs more than the signature itself, and the register signs every record.
// A changed file, path or password opens it again; the validity is checked at every signature.
Certificado AbrirGuardado(const QString& p12, const QString& clave, const QDateTime& ahora) {
    static std::mutex mutex;
    static QString path, password;
    static QDateTime modified;
    // Never freed: OpenSSL may already be cleaned up when static objects are destroyed.
    static Certificado& kept = *new Certificado;
    const std::lock_guard lock(mutex);
    const QDateTime changed = QFileInfo(p12).lastModified();
    if (!kept.key || p12 != path || clave != password || changed != modified) {
        kept = Abrir(p12, clave, ahora);
        path = p12;
        password = clave;
        modified = changed;
    } else {
        time_t now = ahora.toSecsSinceEpoch();
        if (X509_cmp_time(X509_get0_notAfter(kept.cert.get()), &now) < 0 ||
            X509_cmp_time(X509_get0_notBefore(kept.cert.get()), &now) > 0)
            return Abrir(p12, clave, ahora); // says which date it is outside
    }
    EVP_PKEY_up_ref(kept.key.get());
    return {Owned<EVP_PKEY, EVP_PKEY_free>(kept.key.get()),
            Owned<X509, X509_free>(X509_dup(kept.cert.get()))};
}

// The private key and its certificate handed to libxmlsec1's key; each piece is owned by the
// key once adopted, and freed here when it could not be.
bool Adopt(xmlSecKeyPtr key, Certificado& c) {
    xmlSecKeyDataPtr value = xmlSecOpenSSLEvpKeyAdopt(c.key.get());
    if (!value)
        return false;
    c.key.release();
    if (xmlSecKeySetValue(key, value) < 0) {
        xmlSecKeyDataDestroy(value);
        return false;
    }
    xmlSecKeyDataPtr x509 = xmlSecKeyEnsureData(key, xmlSecOpenSSLKeyDataX509Id);
    if (!x509)
        return false;
    // The key's own certificate, and once more among those KeyInfo carries.
    for (auto adopt : {xmlSecOpenSSLKeyDataX509AdoptKeyCert, xmlSecOpenSSLKeyDataX509AdoptCert}) {
        X509* copy = X509_dup(c.cert.get());
        if (!copy || adopt(x509, copy) < 0) {
            X509_free(copy);
            return false;
        }
    }
    return true;
}

QString IssuerName(X509* cert) {
    Owned<BIO, BIO_free_all> out(BIO_new(BIO_s_mem()));
    X509_NAME_print_ex(out.get(), X509_get_issuer_name(cert), 0, XN_FLAG_RFC2253);
    char* data = nullptr;
    const long size = BIO_get_mem_data(out.get(), &data);
    return QString::fromUtf8(data, size);
}

QString SerialNumber(X509* cert) {
    Owned<BIGNUM, BN_free> number(ASN1_INTEGER_to_BN(X509_get0_serialNumber(cert), nullptr));
    char* text = BN_bn2dec(number.get());
    const QString serial = QString::fromLatin1(text);
    OPENSSL_free(text);
    return serial;
}

QByteArray CertDigest(X509* cert) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    X509_digest(cert, EVP_sha256(), digest, &size);
    return QByteArray(reinterpret_cast<const char*>(digest), int(size)).toBase64();
}

// The signature as libxmlsec1 fills it in: the references' digests, the signature value and
// the certificate are left empty; the signed properties are complete.
QString Template(const Certificado& c, const QDateTime& ahora, const FirmaXades::Perfil& perfil) {
    const QString id = "Signature-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QString sha256 = "http://www.w3.org/2001/04/xmlenc#sha256";
    const QDateTime local = ahora.toOffsetFromUtc(ahora.offsetFromUtc());
    return QString(R"(<ds:Signature xmlns:ds="http://www.w3.org/2000/09/xmldsig#" Id="%1">
<ds:SignedInfo>
<ds:CanonicalizationMethod Algorithm="http://www.w3.org/TR/2001/REC-xml-c14n-20010315"/>
<ds:SignatureMethod Algorithm="http://www.w3.org/2001/04/xmldsig-more#rsa-sha256"/>
<ds:Reference Id="%1-Documento" URI="">
<ds:Transforms><ds:Transform Algorithm="http://www.w3.org/2000/09/xmldsig#enveloped-signature"/></ds:Transforms>
<ds:DigestMethod Algorithm="%2"/><ds:DigestValue/>
</ds:Reference>
<ds:Reference URI="#%1-SignedProperties" Type="http://uri.etsi.org/01903#SignedProperties">
<ds:DigestMethod Algorithm="%2"/><ds:DigestValue/>
</ds:Reference>
</ds:SignedInfo>
<ds:SignatureValue/>
<ds:KeyInfo><ds:X509Data><ds:X509Certificate/></ds:X509Data></ds:KeyInfo>
<ds:Object>
<xades:QualifyingProperties xmlns:xades="http://uri.etsi.org/01903/v1.3.2#" Target="#%1">
<xades:SignedProperties Id="%1-SignedProperties">
<xades:SignedSignatureProperties>
<xades:SigningTime>%3</xades:SigningTime>
<xades:SigningCertificate><xades:Cert>
<xades:CertDigest><ds:DigestMethod Algorithm="%2"/><ds:DigestValue>%4</ds:DigestValue></xades:CertDigest>
<xades:IssuerSerial><ds:X509IssuerName>%5</ds:X509IssuerName><ds:X509SerialNumber>%6</ds:X509SerialNumber></xades:IssuerSerial>
</xades:Cert></xades:SigningCertificate>
<xades:SignaturePolicyIdentifier><xades:SignaturePolicyId>
<xades:SigPolicyId><xades:Identifier>%7</xades:Identifier><xades:Description>%9</xades:Description></xades:SigPolicyId>
<xades:SigPolicyHash><ds:DigestMethod Algorithm="http://www.w3.org/2000/09/xmldsig#sha1"/><ds:DigestValue>%8</ds:DigestValue></xades:SigPolicyHash>
</xades:SignaturePolicyId></xades:SignaturePolicyIdentifier>
<xades:SignerRole><xades:ClaimedRoles><xades:ClaimedRole>emisor</xades:ClaimedRole></xades:ClaimedRoles></xades:SignerRole>
</xades:SignedSignatureProperties>
<xades:SignedDataObjectProperties>
<xades:DataObjectFormat ObjectReference="#%1-Documento"><xades:Description>%10</xades:Description><xades:MimeType>text/xml</xades:MimeType><xades:Encoding>UTF-8</xades:Encoding></xades:DataObjectFormat>
</xades:SignedDataObjectProperties>
</xades:SignedProperties>
</xades:QualifyingProperties>
</ds:Object>
</ds:Signature>
)")
        .arg(id, sha256, local.toString(Qt::ISODate), QString::fromLatin1(CertDigest(c.cert.get())),
             IssuerName(c.cert.get()).toHtmlEscaped(), SerialNumber(c.cert.get()), perfil.politica,
             perfil.huellaPolitica, perfil.descripcionPolitica.toHtmlEscaped(),
             perfil.documento.toHtmlEscaped());
}

// The public key of the certificate a signature carries, read once a process per certificate:
// decoding a key through OpenSSL's providers costs more than checking the signature, and every
// record of a register is signed by one of the clinic's few certificates. Nothing when the
// signature carries no certificate that reads.
Owned<xmlSecKey, xmlSecKeyDestroy> KeyOf(xmlNodePtr signature) {
    constexpr size_t Kept = 8;
    xmlNodePtr node = xmlSecFindNode(signature, xmlSecNodeX509Certificate, xmlSecDSigNs);
    xmlChar* content = node ? xmlNodeGetContent(node) : nullptr;
    if (!content)
        return nullptr;
    const QByteArray der = QByteArray::fromBase64(reinterpret_cast<const char*>(content));
    xmlFree(content);
    static std::mutex mutex;
    // Never freed: OpenSSL may already be cleaned up when static objects are destroyed.
    static auto& keys = *new std::map<QByteArray, xmlSecKeyPtr>;
    const std::lock_guard lock(mutex);
    auto found = keys.find(der);
    if (found == keys.end()) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(der.constData());
        Owned<X509, X509_free> cert(d2i_X509(nullptr, &bytes, long(der.size())));
        Owned<EVP_PKEY, EVP_PKEY_free> publicKey(cert ? X509_get_pubkey(cert.get()) : nullptr);
        Owned<xmlSecKey, xmlSecKeyDestroy> key(xmlSecKeyCreate());
        xmlSecKeyDataPtr value =
            publicKey && key ? xmlSecOpenSSLEvpKeyAdopt(publicKey.get()) : nullptr;
        if (!value)
            return nullptr;
        publicKey.release();
        if (xmlSecKeySetValue(key.get(), value) < 0) {
            xmlSecKeyDataDestroy(value);
            return nullptr;
        }
        if (keys.size() >= Kept) {
            for (auto& [text, kept] : keys)
                xmlSecKeyDestroy(kept);
            keys.clear();
        }
        found = keys.emplace(der, key.release()).first;
    }
    return Owned<xmlSecKey, xmlSecKeyDestroy>(xmlSecKeyDuplicate(found->second));
}

} // namespace

QByteArray FirmaXades::Firmar(const QByteArray& xml, const QString& p12, const QString& clave,
                              const QDateTime& ahora, const Perfil& perfil,
                              const QByteArray& cierre) {
    InitialiseOnce();
    Certificado c = AbrirGuardado(p12, clave, ahora);

    // The signature goes where the format expects it.
    const qsizetype end = xml.lastIndexOf(cierre);
    if (end < 0)
        Refuse("El documento que se iba a firmar no es XML.");
    const QByteArray unsigned_ = xml.left(end) + Template(c, ahora, perfil).toUtf8() + xml.mid(end);

    Owned<xmlDoc, xmlFreeDoc> doc(xmlReadMemory(unsigned_.constData(), int(unsigned_.size()),
                                                nullptr, "UTF-8", XML_PARSE_NONET));
    if (!doc)
        Refuse("El documento que se iba a firmar no es XML.");
    const xmlChar* ids[] = {BAD_CAST "Id", nullptr};
    xmlSecAddIDs(doc.get(), xmlDocGetRootElement(doc.get()), ids);
    xmlNodePtr signature =
        xmlSecFindNode(xmlDocGetRootElement(doc.get()), xmlSecNodeSignature, xmlSecDSigNs);

    Owned<xmlSecDSigCtx, xmlSecDSigCtxDestroy> context(xmlSecDSigCtxCreate(nullptr));
    Owned<xmlSecKey, xmlSecKeyDestroy> key(xmlSecKeyCreate());
    if (!context || !key || !Adopt(key.get(), c))
        Refuse("No se puede preparar la clave del certificado " + p12 + " para firmar.");
    context->signKey = key.release(); // the context destroys it
    if (!signature || xmlSecDSigCtxSign(context.get(), signature) < 0)
        Refuse("No se ha podido firmar el documento (" + perfil.documento.toLower() +
               ") con el certificado " + p12 + ".");

    xmlChar* text = nullptr;
    int size = 0;
    xmlDocDumpMemoryEnc(doc.get(), &text, &size, "UTF-8");
    const QByteArray signedXml(reinterpret_cast<const char*>(text), size);
    xmlFree(text);
    return signedXml;
}

bool FirmaXades::Verificar(const QByteArray& signedXml) {
    InitialiseOnce();
    Owned<xmlDoc, xmlFreeDoc> doc(xmlReadMemory(signedXml.constData(), int(signedXml.size()),
                                                nullptr, "UTF-8", XML_PARSE_NONET));
    if (!doc)
        return false;
    const xmlChar* ids[] = {BAD_CAST "Id", nullptr};
    xmlSecAddIDs(doc.get(), xmlDocGetRootElement(doc.get()), ids);
    xmlNodePtr signature =
        xmlSecFindNode(xmlDocGetRootElement(doc.get()), xmlSecNodeSignature, xmlSecDSigNs);
    if (!signature)
        return false;
    Owned<xmlSecKey, xmlSecKeyDestroy> key = KeyOf(signature);
    // A signature without a certificate that reads is left to a keys manager, one a process:
    // making one loads the system's trusted authorities, which takes far longer than checking a
    // record, and nothing is added to it.
    static xmlSecKeysMngrPtr manager = nullptr;
    static std::once_flag once;
    if (!key)
        std::call_once(once, [] {
            manager = xmlSecKeysMngrCreate();
            if (manager && xmlSecCryptoAppDefaultKeysMngrInit(manager) < 0) {
                xmlSecKeysMngrDestroy(manager);
                manager = nullptr;
            }
        });
    if (!key && !manager)
        return false;
    Owned<xmlSecDSigCtx, xmlSecDSigCtxDestroy> context(
        xmlSecDSigCtxCreate(key ? nullptr : manager));
    if (!context)
        return false;
    context->keyInfoReadCtx.flags |= XMLSEC_KEYINFO_FLAGS_X509DATA_DONT_VERIFY_CERTS;
    context->signKey = key.release(); // the context destroys it
    // A signature that does not hold is an answer here, not an error for the log.
    xmlSecErrorsSetCallback(
        [](const char*, int, const char*, const char*, const char*, int, const char*) {});
    const bool holds = xmlSecDSigCtxVerify(context.get(), signature) >= 0 &&
                       context->status == xmlSecDSigStatusSucceeded;
    xmlSecErrorsSetCallback(xmlSecErrorsDefaultCallback);
    return holds;
}
