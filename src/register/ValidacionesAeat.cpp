// The tax agency's validations of a record beyond its schema, each with the agency's code.

#include "register/ValidacionesAeat.h"

#include "register/ExportacionAeat.h"
#include "register/RegistroFacturacion.h"

#include <QDate>
#include <algorithm>

namespace ValidacionesAeat {
namespace {

Money Importe(const QString& text) {
    return Money::FromStored(text);
}

bool Rectificativa(const Datos& d) {
    return d.sTipoFactura.startsWith(QLatin1Char('R'));
}

// Simplified invoices and their rectifications name nobody; every other kind names its customer.
bool SinDestinatario(const Datos& d) {
    return d.sTipoFactura == QLatin1String("F2") || d.sTipoFactura == QLatin1String("R5");
}

// The first character of `text` outside the printable ASCII range, which is all the agency takes
// in an invoice's number.
QString NoAscii(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() < 32 || c.unicode() > 126)
            return c.unicode() < 32 ? QStringLiteral("un carácter de control")
                                    : "«" + QString(c) + "»";
    return {};
}

QString Suma(const Datos& d, bool bases) {
    Money total;
    for (const Datos::Linea& l : d.desglose)
        total += (bases ? l.base : Money()) + l.cuota + l.recargo;
    return total.Text();
}

struct Regla {
    int codigo;
    const char* descripcion;
    // Empty when the record keeps the rule; otherwise what breaks it.
    QString (*incumplida)(const Datos&, const QDateTime& ahora);
};

// What the record says, whenever it is checked.
const std::vector<Regla> Contenido{
    {1104, "El valor del campo NumSerieFactura es incorrecto.",
     [](const Datos& d, const QDateTime&) {
         const qsizetype n = d.sNumSerie.size();
         return n >= 1 && n <= 60
                    ? QString()
                    : QStringLiteral(
                          "el número «%1» tiene %2 caracteres, y la AEAT admite de 1 a 60")
                          .arg(d.sNumSerie)
                          .arg(n);
     }},
    {1130, "El campo NumSerieFactura contiene caracteres no permitidos.",
     [](const Datos& d, const QDateTime&) {
         const QString c = NoAscii(d.sNumSerie);
         return c.isEmpty() ? QString()
                            : "el número «" + d.sNumSerie + "» lleva " + c +
                                  ", y la AEAT solo admite letras sin acentos, cifras y signos";
     }},
    {1287, "El valor del campo NumSerieFactura contiene carácteres no validos (<, >, \", ', =).",
     [](const Datos& d, const QDateTime&) {
         for (const QChar c : QStringLiteral("<>\"'="))
             if (d.sNumSerie.contains(c))
                 return "el número «" + d.sNumSerie + "» lleva «" + QString(c) + "»";
         return QString();
     }},
    {1100, "Valor o tipo incorrecto del campo: NombreRazonEmisor",
     [](const Datos& d, const QDateTime&) {
         return d.sNombreEmisor.trimmed().isEmpty()
                    ? QStringLiteral("el nombre de la empresa (ConfiguracionEmpresa) está vacío")
                    : QString();
     }},
    {1190, "Si TipoFactura es F2 o R5 el bloque Destinatarios no puede estar cumplimentado.",
     [](const Datos& d, const QDateTime&) {
         return !SinDestinatario(d) || d.destinatarios.isEmpty()
                    ? QString()
                    : "una factura " + d.sTipoFactura + " no puede nombrar al cliente";
     }},
    {1150,
     "Cuando TipoFactura sea F2 y no este informado NumRegistroAcuerdoFacturacion o "
     "FacturaSinIdentifDestinatarioArt61d no sea S el sumatorio de BaseImponibleOimporteNoSujeto "
     "y CuotaRepercutida de todas las líneas de detalle no podrá ser superior a 3.000.",
     [](const Datos& d, const QDateTime&) {
         const Money total = Importe(Suma(d, true));
         return d.sTipoFactura != QLatin1String("F2") || total <= d.limiteSimplificada
                    ? QString()
                    : "el importe de la factura simplificada es " + total.Euros() +
                          ", por encima de su límite de " + d.limiteSimplificada.Euros();
     }},
    {1114, "Si la factura es de tipo rectificativa, el campo TipoRectificativa debe tener valor.",
     [](const Datos& d, const QDateTime&) {
         return !Rectificativa(d) || !d.sTipoRectificativa.isEmpty()
                    ? QString()
                    : "la rectificativa " + d.sTipoFactura +
                          " no dice si es por diferencias o por "
                          "sustitución";
     }},
    {1115,
     "Si la factura no es de tipo rectificativa, el campo TipoRectificativa no debe tener valor.",
     [](const Datos& d, const QDateTime&) {
         return Rectificativa(d) || d.sTipoRectificativa.isEmpty()
                    ? QString()
                    : "una factura " + d.sTipoFactura + " no es rectificativa";
     }},
    {1117,
     "Si la factura no es de tipo rectificativa, el bloque FacturasRectificadas no podrá venir "
     "informado.",
     [](const Datos& d, const QDateTime&) {
         return Rectificativa(d) || d.rectificadas.isEmpty()
                    ? QString()
                    : "una factura " + d.sTipoFactura + " no rectifica ninguna otra";
     }},
    {1901, "Una factura rectificativa debe identificar en FacturasRectificadas la que rectifica.",
     [](const Datos& d, const QDateTime&) {
         return !Rectificativa(d) || (!d.rectificadas.isEmpty() && !d.rectificadas.contains(""))
                    ? QString()
                    : QStringLiteral("la rectificativa no dice qué factura rectifica");
     }},
    {1118,
     "Si la factura es de tipo rectificativa por sustitución el bloque ImporteRectificacion es "
     "obligatorio.",
     [](const Datos& d, const QDateTime&) {
         return d.sTipoRectificativa != QLatin1String("S") || d.importeRectificacion
                    ? QString()
                    : QStringLiteral("la rectificativa por sustitución no lleva el importe "
                                     "rectificado");
     }},
    {1119,
     "Si la factura no es de tipo rectificativa por sustitución el bloque ImporteRectificacion no "
     "debe tener valor.",
     [](const Datos& d, const QDateTime&) {
         return d.sTipoRectificativa == QLatin1String("S") || !d.importeRectificacion
                    ? QString()
                    : QStringLiteral("solo una rectificativa por sustitución lleva el importe "
                                     "rectificado");
     }},
    {1116, "Debe informarse el campo FacturasSustituidas sólo si la factura es de tipo F3.",
     [](const Datos& d, const QDateTime&) {
         return d.sTipoFactura == QLatin1String("F3") || d.sustituidas.isEmpty()
                    ? QString()
                    : "una factura " + d.sTipoFactura + " no sustituye facturas simplificadas";
     }},
    {1902,
     "Una factura F3 debe identificar en FacturasSustituidas las simplificadas que sustituye.",
     [](const Datos& d, const QDateTime&) {
         return d.sTipoFactura != QLatin1String("F3") ||
                        (!d.sustituidas.isEmpty() && !d.sustituidas.contains(""))
                    ? QString()
                    : QStringLiteral("la factura F3 no dice qué facturas simplificadas sustituye");
     }},
    {1216,
     "El campo CuotaTotal tiene un valor incorrecto para el valor de los campos CuotaRepercutida y "
     "CuotaRecargoEquivalencia suministrados.",
     [](const Datos& d, const QDateTime&) {
         const QString suma = Suma(d, false);
         return Importe(d.sCuotaTotal).Text() == suma && !d.sCuotaTotal.isEmpty()
                    ? QString()
                    : "la cuota total es " + Importe(d.sCuotaTotal).Euros() +
                          " y las cuotas de su desglose suman " + Importe(suma).Euros();
     }},
    {1210,
     "El campo ImporteTotal tiene un valor incorrecto para el valor de los campos "
     "BaseImponibleOimporteNoSujeto, CuotaRepercutida y CuotaRecargoEquivalencia suministrados.",
     [](const Datos& d, const QDateTime&) {
         const QString suma = Suma(d, true);
         return Importe(d.sImporteTotal).Text() == suma && !d.sImporteTotal.isEmpty()
                    ? QString()
                    : "el importe total es " + Importe(d.sImporteTotal).Euros() +
                          " y las bases y cuotas de su desglose suman " + Importe(suma).Euros();
     }},
    {1161,
     "El valor del campo RechazoPrevio no es válido, no podrá incluirse el campo RechazoPrevio con "
     "valor S si no se ha informado del campo Subsanacion o tiene el valor N.",
     [](const Datos& d, const QDateTime&) {
         return d.sRechazoPrevio != QLatin1String("S") || d.subsanacion
                    ? QString()
                    : QStringLiteral("el registro dice que la AEAT lo rechazó, pero no va como "
                                     "subsanación");
     }},
    {1153,
     "Valor del campo RechazoPrevio no válido, solo podrá incluirse el campo RechazoPrevio con "
     "valor X si se ha informado el campo Subsanacion y tiene el valor S.",
     [](const Datos& d, const QDateTime&) {
         return d.sRechazoPrevio != QLatin1String("X") || d.subsanacion
                    ? QString()
                    : QStringLiteral("el registro dice no estar en la AEAT, pero no va como "
                                     "subsanación");
     }},
};

// Checked before a record is sent, not when its document is issued: when it says it was made
// and issued (a record dated ahead of the clock goes once its moment has come), and whom it names
// (a credit note of an invoice issued before customer ids were checked names nobody, and the
// money still goes back).
const std::vector<Regla> AlEnviar{
    {1189,
     "Si TipoFactura es F1 o F3 o R1 o R2 o R3 o R4 el bloque Destinatarios tiene que estar "
     "cumplimentado.",
     [](const Datos& d, const QDateTime&) {
         return SinDestinatario(d) || !d.destinatarios.isEmpty()
                    ? QString()
                    : "una factura " + d.sTipoFactura +
                          " debe nombrar al cliente con su NIF o su documento extranjero";
     }},
    {1112, "El campo FechaExpedicionFactura es superior a la fecha actual.",
     [](const Datos& d, const QDateTime& ahora) {
         const QDate dia = QDate::fromString(d.sFechaExpedicion, QStringLiteral("dd-MM-yyyy"));
         return !dia.isValid() || dia <= ahora.date()
                    ? QString()
                    : "la fecha de expedición " + d.sFechaExpedicion + " es posterior a hoy";
     }},
    {2004,
     "El valor del campo FechaHoraHusoGenRegistro debe ser la fecha actual del sistema de la "
     "AEAT.",
     [](const Datos& d, const QDateTime& ahora) {
         const QDateTime hecho = QDateTime::fromString(d.sFechaHoraHuso, Qt::ISODate);
         return !hecho.isValid() || hecho <= ahora
                    ? QString()
                    : "el registro dice haberse hecho el " + d.sFechaHoraHuso +
                          ", después de ahora (¿está bien la hora del equipo?)";
     }},
};

} // namespace

Incumplimiento Comprobar(const Datos& d, const QDateTime& ahora, bool alEmitir) {
    for (const std::vector<Regla>* tabla : {&Contenido, &AlEnviar}) {
        if (alEmitir && tabla == &AlEnviar)
            break;
        for (const Regla& regla : *tabla)
            if (QString detalle = regla.incumplida(d, ahora); !detalle.isEmpty())
                return {regla.codigo, QString::fromUtf8(regla.descripcion), detalle};
    }
    return {};
}

QString Incumplimiento::Mensaje(const QString& sNumSerie) const {
    // The agency's text ends a sentence of its own; here it stands inside brackets.
    QString texto = descripcion;
    if (texto.endsWith(QLatin1Char('.')))
        texto.chop(1);
    return "El registro de la factura " + sNumSerie +
           " no cumple las validaciones de la AEAT: " + detalle + " (código " +
           QString::number(codigo) + ": " + texto + ")";
}

bool Demorado(const QString& sFechaHoraHuso, const QDateTime& envio) {
    const QDateTime hecho = QDateTime::fromString(sFechaHoraHuso, Qt::ISODate);
    return hecho.isValid() && hecho.secsTo(envio) > MargenEnvioSegundos;
}

bool Preparar(std::vector<RegistroFacturacion::Registro>& registros,
              const QSet<qint32>& subsanacion, std::vector<Retenido>& retenidos, qsizetype maximo,
              const QDateTime& ahora) {
    std::vector<RegistroFacturacion::Registro> enviables;
    for (RegistroFacturacion::Registro& r : registros) {
        const Incumplimiento x =
            r.EsAnulacion()
                ? Incumplimiento{}
                : Comprobar(ExportacionAeat::Datos(r, subsanacion.contains(r.nIdRegistro)), ahora);
        if (x.codigo != 0)
            retenidos.push_back({std::move(r), x});
        else
            enviables.push_back(std::move(r));
    }
    const bool tarde = !enviables.empty() && Demorado(enviables.front().sFechaHoraHuso, ahora);
    qsizetype n = 0;
    while (n < qsizetype(enviables.size()) && n < maximo &&
           Demorado(enviables[size_t(n)].sFechaHoraHuso, ahora) == tarde)
        ++n;
    enviables.resize(size_t(n));
    registros = std::move(enviables);
    return tarde;
}

QString AntesDeEmitir(const std::vector<RegistroFacturacion::Registro>& registros,
                      const QHash<qint32, Money>& limites) {
    const QDateTime ahora = QDateTime::currentDateTime();
    std::vector<Datos> datos = ExportacionAeat::Datos(registros);
    for (size_t k = 0; k < datos.size(); ++k) {
        Datos& d = datos[k];
        if (const auto limite = limites.constFind(d.nIdSucursal); limite != limites.constEnd())
            d.limiteSimplificada = std::min(*limite, Datos::TopeSimplificada);
        if (const Incumplimiento x = Comprobar(d, ahora, true); x.codigo != 0)
            return x.Mensaje(registros[k].sNumSerie);
    }
    return {};
}

} // namespace ValidacionesAeat
