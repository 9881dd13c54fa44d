#pragma once

#include "register/RegistroFacturacion.h"
#include "register/ValidacionesAeat.h"

#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

// The register's records sent to the tax agency as they are issued (VERI*FACTU mode): the ini's
// settings, the sending state of each record (kept apart from the register, which nobody may
// change) and the sender, which submits what waits in register order.
namespace VeriFactu {

// The ini's section "VeriFactu". Other outputs that sign or send with the clinic's certificate
// read it here too.
struct Configuracion {
    bool verifactu = false;     // Modo=VERIFACTU; NOVERIFACTU (the default) sends nothing
    QString endpoint;           // Endpoint: the agency's submission address
    QString certificado;        // Certificado: the clinic's PKCS#12 file
    QString claveCertificado;   // ClaveCertificado: its password
    QString ca;                 // CA: an extra trusted authority (PEM), beside the system's
    int tiempoMaximoMs = 60000; // TiempoMaximo (seconds): the longest wait for a whole answer
    int esperaTrasFalloS = 60;  // EsperaTrasFallo (seconds): the wait after a first failure,
                                // doubled by each further one
    QString numeroInstalacion;  // [Registro] NumeroInstalacion, 1 when absent
    // EnviaEstePuesto=No: the window of this workstation shows what waits but never sends; on a
    // server whose workstation account may not change the sending state, one sender account does.
    bool enviaEstePuesto = true;
};
Configuracion LeerConfiguracion(const QString& ini);

// What one run of the sender did and what is left.
struct Resultado {
    int aceptados = 0;
    int conErrores = 0; // accepted with errors
    int rechazados = 0;
    int conflictos = 0;     // answered 3000 for a record this register never sent before
    int pendientes = 0;     // still waiting after the run
    QString error;          // why a submission failed (records stay pending); empty when none did
    int esperaSegundos = 0; // no submission before this many seconds: the agency's wait, or
                            // the one that failures add up to
    bool ocupado = false;   // another workstation was sending
    // Records kept back because they break one of the agency's rules; they stay waiting.
    std::vector<ValidacionesAeat::Retenido> retenidos;
    // "sent: A accepted, E accepted with errors, R rejected, P pending", and ", C in conflict"
    // when some are.
    QString Texto() const;
};

// The longest wait between submissions the module keeps, whatever an answer asks for or
// failures add up to.
constexpr int MaximaEsperaSegundos = 3600;

// Submits the records that wait (never sent, or rejected and marked to be corrected), at most
// RegistrosPorDocumento per submission, until none waits, the agency asks to wait or a submission
// fails. What each submission carries is written before it is posted, and an answer is believed
// only when it names every record sent with a state the agency defines. One workstation sends at
// a time: another that tries meanwhile answers `ocupado`.
Resultado Enviar(const Configuracion& configuracion);

// Hands over, at the agency's request `referencia` (RemisionRequerimiento), the records issued
// between desde and hasta (yyyymmdd, 0 for no bound) that no submission of this request has had
// answered yet: each as it was signed, at most RegistrosPorDocumento per submission, the last
// one saying FinRequerimiento. Kept apart from the records' sending state; run again after a
// wait or a failure, it goes on where it stopped. `pendientes` is what the request still lacks.
// Raises on a reference the agency could not have given.
Resultado EnviarRequerimiento(const Configuracion& configuracion, const QString& referencia,
                              qint32 desde = 0, qint32 hasta = 0);

// A record with what the agency answered for it.
struct Estado {
    RegistroFacturacion::Registro registro;
    QString sEstado; // empty: never sent
    int nCodigoError = 0;
    QString sDescripcionError;
    QString sCsv;
    QString sFechaHoraEnvio;
};

// The records waiting to be sent, those rejected (not marked to be corrected), and those in
// conflict with what the agency holds under their number.
int Pendientes();
int Rechazados();
int Conflictos();
// Every record not accepted, in register order: waiting, rejected, marked to be corrected, in
// conflict.
std::vector<Estado> NoAceptados();
// Marks rejected record nIdRegistro, its cause fixed, to be sent again as a correction. Raises
// when the record was not rejected.
void Subsanar(qint32 nIdRegistro);

// The last failed submission's time (UTC) and error, when the last submission failed.
struct Fallo {
    QDateTime momento;
    QString error;
};
std::optional<Fallo> UltimoFallo();

} // namespace VeriFactu
