// Enveloped XAdES-EPES signatures under a signing policy: signing and checking a document.

#include "facturae/FirmaXades.h"

#include "facturae/CertificadoP12.h"
#include "platform/util/TvError.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QUuid>
#include <libxml/c14n.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <map>
#include <memory>
#include <mutex>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <optional>
#include <vector>
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

// Set while this thread checks a signature: one that does not hold is an answer there, not an
// error for the log. The callback is libxmlsec1's global, so it is set once and asks the thread.
thread_local bool checking = false;

void Report(const char* file, int line, const char* func, const char* object, const char* subject,
            int reason, const char* message) {
    if (!checking)
        xmlSecErrorsDefaultCallback(file, line, func, object, subject, reason, message);
}

// Once a process: libxml2, libxmlsec1 and its OpenSSL engine.
void InitialiseOnce() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] {
        xmlInitParser();
        ready = xmlSecInit() >= 0 && xmlSecCheckVersion() == 1 &&
                xmlSecCryptoAppInit(nullptr) >= 0 && xmlSecCryptoInit() >= 0;
        xmlSecErrorsSetCallback(Report);
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

// The signature exactly as Template and libxmlsec1 make it, checked without libxmlsec1's
// transforms: its enveloped-signature transform tests every node against a node set, which costs
// in the square of a record's nodes and was most of checking a register. libxml2 canonicalises
// what each reference covers, told which nodes are in it, as libxmlsec1 itself has it do; OpenSSL
// checks the signature value with the certificate the signature carries, as Verificar does.
namespace Propia {

const xmlChar* const Ds = BAD_CAST "http://www.w3.org/2000/09/xmldsig#";
const char* const Sha256 = "http://www.w3.org/2001/04/xmlenc#sha256";

bool Is(xmlNodePtr node, const char* name, const xmlChar* ns = Ds) {
    return node->type == XML_ELEMENT_NODE && node->ns && xmlStrEqual(node->ns->href, ns) &&
           xmlStrEqual(node->name, BAD_CAST name);
}

// The element children of node, when it holds nothing else but blanks between them.
std::optional<std::vector<xmlNodePtr>> Children(xmlNodePtr node) {
    std::vector<xmlNodePtr> children;
    for (xmlNodePtr child = node->children; child; child = child->next)
        if (child->type == XML_ELEMENT_NODE)
            children.push_back(child);
        else if (child->type != XML_TEXT_NODE || !xmlIsBlankNode(child))
            return std::nullopt;
    return children;
}

// Whether node's element children are, in order, elements of these names.
bool Shaped(xmlNodePtr node, std::initializer_list<const char*> names,
            std::vector<xmlNodePtr>& children) {
    const std::optional<std::vector<xmlNodePtr>> found = Children(node);
    if (!found || found->size() != names.size())
        return false;
    children = *found;
    size_t k = 0;
    for (const char* name : names)
        if (!Is(children[k++], name))
            return false;
    return true;
}

// An attribute's value; nothing when the element lacks it.
std::optional<QByteArray> Attribute(xmlNodePtr node, const char* name) {
    if (!xmlHasProp(node, BAD_CAST name))
        return std::nullopt;
    xmlChar* value = xmlGetProp(node, BAD_CAST name);
    const QByteArray text(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return text;
}

// A method element: its algorithm, and nothing inside.
bool Method(xmlNodePtr node, const char* algorithm) {
    const std::optional<std::vector<xmlNodePtr>> children = Children(node);
    return children && children->empty() && Attribute(node, "Algorithm") == algorithm;
}

QByteArray Base64(xmlNodePtr node) {
    xmlChar* content = xmlNodeGetContent(node);
    const QByteArray text = QByteArray(reinterpret_cast<const char*>(content)).simplified();
    xmlFree(content);
    return QByteArray::fromBase64(QByteArray(text).replace(' ', ""));
}

// The nodes a reference covers: `apex` and all below it, or (enveloped) all but those.
struct Covered {
    xmlNodePtr apex;
    bool inside;
};

int Visible(void* data, xmlNodePtr node, xmlNodePtr parent) {
    const auto* covered = static_cast<const Covered*>(data);
    // An attribute or namespace is covered with the element it is on.
    for (xmlNodePtr n =
             node->type == XML_ATTRIBUTE_NODE || node->type == XML_NAMESPACE_DECL ? parent : node;
         n; n = n->parent)
        if (n == covered->apex)
            return covered->inside;
    return !covered->inside;
}

int Append(void* context, const char* buffer, int length) {
    static_cast<QByteArray*>(context)->append(buffer, length);
    return length;
}

// Inclusive canonical XML 1.0 without comments of the nodes covered.
std::optional<QByteArray> Canonical(xmlDocPtr doc, Covered covered) {
    QByteArray out;
    xmlOutputBufferPtr buffer = xmlOutputBufferCreateIO(Append, nullptr, &out, nullptr);
    if (!buffer)
        return std::nullopt;
    const int written = xmlC14NExecute(doc, Visible, &covered, XML_C14N_1_0, nullptr, 0, buffer);
    if (xmlOutputBufferClose(buffer) < 0 || written < 0)
        return std::nullopt;
    return out;
}

// A reference's digest against what it covers.
bool Digests(xmlDocPtr doc, Covered covered, xmlNodePtr method, xmlNodePtr value) {
    const std::optional<QByteArray> canonical = Canonical(doc, covered);
    return Method(method, Sha256) && canonical &&
           QCryptographicHash::hash(*canonical, QCryptographicHash::Sha256) == Base64(value);
}

// The public key of a certificate, read once a process per certificate (as KeyOf).
Owned<EVP_PKEY, EVP_PKEY_free> PublicKey(const QByteArray& der) {
    constexpr size_t Kept = 8;
    static std::mutex mutex;
    // Never freed: OpenSSL may already be cleaned up when static objects are destroyed.
    static auto& keys = *new std::map<QByteArray, EVP_PKEY*>;
    const std::lock_guard lock(mutex);
    auto found = keys.find(der);
    if (found == keys.end()) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(der.constData());
        Owned<X509, X509_free> cert(d2i_X509(nullptr, &bytes, long(der.size())));
        EVP_PKEY* key = cert ? X509_get_pubkey(cert.get()) : nullptr;
        if (!key)
            return nullptr;
        if (keys.size() >= Kept) {
            for (auto& [text, kept] : keys)
                EVP_PKEY_free(kept);
            keys.clear();
        }
        found = keys.emplace(der, key).first;
    }
    EVP_PKEY_up_ref(found->second);
    return Owned<EVP_PKEY, EVP_PKEY_free>(found->second);
}

// Whether `signature`, of the shape this signer makes and no other, holds for doc.
bool Holds(xmlDocPtr doc, xmlNodePtr signature) {
    std::vector<xmlNodePtr> parts, info, document, transforms, transform, properties, data, cert;
    if (!Shaped(signature, {"SignedInfo", "SignatureValue", "KeyInfo", "Object"}, parts) ||
        !Shaped(parts[0], {"CanonicalizationMethod", "SignatureMethod", "Reference", "Reference"},
                info) ||
        !Method(info[0], "http://www.w3.org/TR/2001/REC-xml-c14n-20010315") ||
        !Method(info[1], "http://www.w3.org/2001/04/xmldsig-more#rsa-sha256") ||
        !Shaped(info[2], {"Transforms", "DigestMethod", "DigestValue"}, document) ||
        !Shaped(document[0], {"Transform"}, transform) ||
        !Method(transform[0], "http://www.w3.org/2000/09/xmldsig#enveloped-signature") ||
        !Shaped(info[3], {"DigestMethod", "DigestValue"}, properties) ||
        !Shaped(parts[2], {"X509Data"}, data) || !Shaped(data[0], {"X509Certificate"}, cert))
        return false;
    const std::optional<QByteArray> whole = Attribute(info[2], "URI");
    const std::optional<QByteArray> signedProperties = Attribute(info[3], "URI");
    if (whole != "" || !signedProperties || !signedProperties->startsWith('#'))
        return false;
    const xmlAttrPtr id = xmlGetID(doc, BAD_CAST signedProperties->constData() + 1);
    if (!id || !id->parent ||
        !Is(id->parent, "SignedProperties", BAD_CAST "http://uri.etsi.org/01903/v1.3.2#") ||
        !Digests(doc, {signature, false}, document[1], document[2]) ||
        !Digests(doc, {id->parent, true}, properties[0], properties[1]))
        return false;
    const std::optional<QByteArray> signedInfo = Canonical(doc, {parts[0], true});
    const Owned<EVP_PKEY, EVP_PKEY_free> key = PublicKey(Base64(cert[0]));
    if (!signedInfo || !key || EVP_PKEY_base_id(key.get()) != EVP_PKEY_RSA)
        return false;
    const QByteArray value = Base64(parts[1]);
    Owned<EVP_MD_CTX, EVP_MD_CTX_free> context(EVP_MD_CTX_new());
    return context &&
           EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
           EVP_DigestVerify(context.get(),
                            reinterpret_cast<const unsigned char*>(value.constData()),
                            size_t(value.size()),
                            reinterpret_cast<const unsigned char*>(signedInfo->constData()),
                            size_t(signedInfo->size())) == 1;
}

} // namespace Propia

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
    // Anything else, and a signature that does not hold so, is for libxmlsec1 to judge.
    if (Propia::Holds(doc.get(), signature))
        return true;
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
    checking = true;
    const bool holds = xmlSecDSigCtxVerify(context.get(), signature) >= 0 &&
                       context->status == xmlSecDSigStatusSucceeded;
    checking = false;
    return holds;
}
