// The invoicing system as its producer declares it, fixed by the build.

#include "register/SistemaInformatico.h"

#include "invoicing/core/NifCheck.h"
#include "register/SistemaInformaticoBuild.h"

const SistemaInformatico& SistemaInformatico::DelBuild() {
    static const SistemaInformatico sistema{
        QStringLiteral(TV_PRODUCTOR_NOMBRE),    QStringLiteral(TV_PRODUCTOR_NIF),
        QStringLiteral(TV_PRODUCTOR_DIRECCION), QStringLiteral(TV_SISTEMA_NOMBRE),
        QStringLiteral(TV_SISTEMA_ID),          QStringLiteral(TV_SISTEMA_VERSION),
        QStringLiteral(TV_DECLARACION_LUGAR),   QStringLiteral(TV_DECLARACION_FECHA)};
    return sistema;
}

QString SistemaInformatico::MotivoNoEnvio() const {
    const NifResult nif = CheckNif(productorNif);
    if (nif.Valid() && nif.normalized == productorNif)
        return {};
    return "No se envían registros: el NIF del productor del sistema informático, \"" +
           productorNif +
           "\", no es válido: " + (nif.Valid() ? "debe escribirse " + nif.normalized : nif.reason) +
           ". Quien distribuye el programa debe compilarlo con el suyo (TV_PRODUCTOR_NIF).";
}

std::vector<SistemaInformatico::Apartado> SistemaInformatico::Apartados() const {
    return {
        {"Nombre del sistema informático", nombre},
        {"Código identificador", id},
        {"Versión", version},
        {"Componentes",
         "Programa " + nombre +
             " para escritorio (Linux, Qt 6) con sus herramientas tvRegistro, tvLibros, "
             "tvFacturae y tvSetup; base de datos SQLite en el propio equipo o servidor "
             "PostgreSQL para varios puestos. Funciona en un ordenador personal con conexión a "
             "internet para la remisión de los registros a la Agencia Tributaria."},
        {"Uso exclusivo como VERI*FACTU",
         soloVerifactu
             ? "Sí: solo puede funcionar remitiendo cada registro a la Agencia Tributaria."
             : "No: puede funcionar remitiendo los registros a la Agencia Tributaria "
               "(VERI*FACTU) o conservándolos sin remitirlos."},
        {"Uso por varios obligados tributarios",
         variosObligados ? "Sí."
                         : "No: cada instalación factura para un solo obligado tributario."},
        {"Tipos de firma",
         "XAdES Enveloped con el certificado del obligado tributario (facturas electrónicas "
         "Facturae y registros conservados sin remitir); en VERI*FACTU la remisión se autentica "
         "con ese certificado."},
        {"Productor", productorNombre},
        {"NIF del productor", productorNif},
        {"Dirección de contacto", productorDireccion},
    };
}

QString SistemaInformatico::Declaracion() const {
    return productorNombre + ", con NIF " + productorNif +
           ", como productor del sistema informático " + nombre + " (" + id + "), versión " +
           version +
           ", declara bajo su responsabilidad que este sistema cumple lo dispuesto en el artículo "
           "29.2.j) de la Ley 58/2003, de 17 de diciembre, General Tributaria, en el Reglamento "
           "aprobado por el Real Decreto 1007/2023, de 5 de diciembre, y en la Orden "
           "HAC/1177/2024, de 17 de octubre, que lo desarrolla.\n\nEn " +
           lugar + ", a " + fecha + ".";
}
