#pragma once

#include "invoicing/core/Money.h"
#include "register/RegistroFacturacion.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <vector>

// The tax agency's own validations of a RegistroAlta, beyond its schema: one table of the rules
// that can touch the records this module makes, each with the agency's error code and text. A
// document that breaks one is not issued, and a queued record that breaks one is not sent: the
// agency would only reject it.
namespace ValidacionesAeat {

// What the agency reads of one record, as the module writes it (ExportacionAeat::Datos).
struct Datos {
    qint32 nIdSucursal = 0; // the issuing branch, whose limit of a simplified invoice applies
    QString sNumSerie;
    QString sFechaExpedicion; // dd-mm-yyyy
    QString sNombreEmisor;
    QString sTipoFactura;
    QString sTipoRectificativa; // I or S for a rectifying invoice, else empty
    bool importeRectificacion = false;
    QStringList rectificadas;  // the numbers of FacturasRectificadas
    QStringList sustituidas;   // the numbers of FacturasSustituidas
    QStringList destinatarios; // the NombreRazon of each IDDestinatario
    struct Linea {
        Money base, cuota, recargo;
    };
    std::vector<Linea> desglose;
    QString sCuotaTotal, sImporteTotal;
    QString sFechaHoraHuso;
    bool subsanacion = false;
    QString sRechazoPrevio; // empty, S or X
    // The most a simplified invoice may amount to: the agency's ceiling, or the branch's own
    // limit when it is lower (checked when the document is issued).
    Money limiteSimplificada = TopeSimplificada;

    static constexpr Money TopeSimplificada = Money::FromCents(300000);
};

// The rule a record breaks, with what in it breaks the rule: "el importe total es 3.500,00 €,
// por encima de 3.000,00 €".
struct Incumplimiento {
    int codigo = 0;
    QString descripcion; // the agency's text
    QString detalle;     // the figure, in the user's words
    // "Factura A0001/26: <detalle> (AEAT 1150: <descripcion>)"
    QString Mensaje(const QString& sNumSerie) const;
};

// The first rule that record `d` breaks at moment `ahora`, or an empty code (the table is in
// ValidacionesAeat.cpp, in the order the rules are checked). `alEmitir` leaves out the rules only
// the sender keeps: those of time (the suite's working date may run ahead of the calendar, and a
// record dated ahead of the clock goes once its moment has come) and the recipient of a complete
// or rectifying invoice.
Incumplimiento Comprobar(const Datos& d, const QDateTime& ahora = QDateTime::currentDateTime(),
                         bool alEmitir = false);

// A record made more than this long before it is sent is sent as made during an incident
// (RemisionVoluntaria / Incidencia S in the submission's header): the agency takes a record's time
// stamp as the moment it was sent otherwise.
inline constexpr int MargenEnvioSegundos = 240;
bool Demorado(const QString& sFechaHoraHuso, const QDateTime& envio);

// The records documents are about to get (RegistroFacturacion::Provisionales, then handed to
// Registrar), checked inside the transaction that issues them, with each branch's limit of a
// simplified invoice (`limites`, by nIdSucursal; a branch without one has the agency's ceiling):
// the first rule one breaks, for the user, naming the document and the figure; empty when they
// all keep them.
QString AntesDeEmitir(const std::vector<RegistroFacturacion::Registro>& registros,
                      const QHash<qint32, Money>& limites = {});

// A queued record the sender keeps back: the rule it breaks.
struct Retenido {
    RegistroFacturacion::Registro registro;
    Incumplimiento regla;
};

// Before a submission: takes out of `registros` (waiting, in register order; `subsanacion` those
// sent again as corrections) every alta that breaks a rule, into `retenidos`, and keeps the first
// run of those left whose time stamps are all late (Demorado) or all not, at most `maximo`: one
// submission's header says whether its records are late. Answers whether they are.
bool Preparar(std::vector<RegistroFacturacion::Registro>& registros,
              const QSet<qint32>& subsanacion, std::vector<Retenido>& retenidos, qsizetype maximo,
              const QDateTime& ahora = QDateTime::currentDateTime());

} // namespace ValidacionesAeat
