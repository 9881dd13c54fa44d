// The register's mode as the data remembers it, and the changes of mode it allows.

#include "register/ModoRegistro.h"

#include "platform/data/DataAccess.h"
#include "platform/util/TvError.h"
#include "register/EventosSif.h"
#include "register/FirmaRegistro.h"
#include "register/VeriFactu.h"

#include <QDate>
#include <QDateTime>
#include <QTimeZone>

namespace ModoRegistro {

QString Comprobar(const QString& ini) {
    const bool verifactu = VeriFactu::LeerConfiguracion(ini).verifactu;
    const QString modo = verifactu ? QStringLiteral("VERIFACTU") : QStringLiteral("NOVERIFACTU");
    QString cambio;
    {
        TransactionGuard guard;
        const Rows last = Db().LockedRows(
            "SELECT sModo,sDesde FROM ModosRegistro ORDER BY nIdModoRegistro DESC LIMIT 1" +
                Db().LockRowsClause(),
            QStringLiteral("el modo del registro"));
        if (!last.IsEmpty() && last(0, 0).toString() == modo)
            return {};
        if (!last.IsEmpty() && !verifactu) {
            QDateTime since = QDateTime::fromString(last(1, 0).toString(), Qt::ISODate);
            since.setTimeZone(QTimeZone::utc());
            const QDate began = since.toLocalTime().date();
            if (began.year() >= QDate::currentDate().year()) {
                const QString problema =
                    "Esta clínica remite sus registros de facturación a la AEAT (VERI*FACTU) desde "
                    "el " +
                    began.toString("dd-MM-yyyy") +
                    " y no puede dejar de hacerlo antes de que acabe el año: vuelva a poner "
                    "Modo=VERIFACTU en la sección [VeriFactu] del ini. Hasta entonces no se "
                    "pueden emitir facturas.";
                FirmaRegistro::Impedir(problema);
                return problema;
            }
        }
        // The first mode the data sees covers what came before it; a later change starts after
        // the last record made.
        const qint64 ultimo =
            last.IsEmpty() ? 0
                           : Db().GetRows("SELECT MAX(nIdRegistro) FROM RegistrosFacturacion")
                                 .Value(0, 0)
                                 .toLongLong();
        Db().InsertRecord("ModosRegistro", "sModo,sDesde,nUltimoRegistroAnterior",
                          "'" + modo + "','" +
                              QDateTime::currentDateTimeUtc().toString(Qt::ISODate) + "'," +
                              QString::number(ultimo));
        guard.Commit();
        if (!last.IsEmpty() && verifactu)
            cambio = last(0, 0).toString();
    }
    if (!cambio.isEmpty()) {
        // The last event of the mode that ends, signed as its events were; a certificate that
        // no longer signs cannot log it, and the change stands all the same.
        FirmaRegistro::Configurar(ini, FirmaRegistro::Modo::SinEnvio);
        try {
            EventosSif::Registrar(EventosSif::Fin, {},
                                  QStringLiteral("Paso a VERI*FACTU: los registros se remiten a "
                                                 "la AEAT desde ahora"));
        } catch (const TvError&) {
        }
        FirmaRegistro::Configurar(ini);
    }
    return {};
}

qint32 UltimoSinEnvio() {
    return Db()
        .GetRows("SELECT MAX(nUltimoRegistroAnterior) FROM ModosRegistro WHERE "
                 "sModo='VERIFACTU'")
        .Value(0, 0)
        .toInt();
}

} // namespace ModoRegistro
