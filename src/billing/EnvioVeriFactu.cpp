// The register's sending behind the billing window: `tvRegistro send` as a child, and its panel.

#include "billing/EnvioVeriFactu.h"

#include "platform/ui/widgets/Frm.h"
#include "platform/util/TvError.h"

#include <unistd.h>

namespace {

constexpr int Rojo = 0x0000C0; // the frame's colours are BGR
constexpr int AvisoTicks = 400;

// The database is read from timers: a failure there (a server gone for a moment) is said in the
// panel rather than raised into the event loop; the next minute tries again.
template <typename Work> void Seguro(Frm& frame, Work work) {
    try {
        work();
    } catch (const TvError& e) {
        frame.Sb_PanelText_Set(1, "VERI*FACTU: " + e.Description(), true, Rojo, 0, AvisoTicks);
    }
}

} // namespace

EnvioVeriFactu::EnvioVeriFactu(Frm& frame, const QString& ini, const QString& programa,
                               QObject* parent)
    : QObject(parent), m_frame(frame), m_ini(ini), m_programa(programa) {
    const VeriFactu::Configuracion configuracion = VeriFactu::LeerConfiguracion(ini);
    m_activo = configuracion.verifactu;
    m_envia = configuracion.enviaEstePuesto;
    if (!m_activo)
        return;
    connect(&m_proceso, &QProcess::finished, this,
            [this] { Seguro(m_frame, [this] { Mostrar(); }); });
    // A program that cannot start (missing, not executable) is a failure like the network's.
    connect(&m_proceso, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            m_frame.Sb_PanelText_Set(1, "VERI*FACTU: no se puede ejecutar " + m_programa, true,
                                     Rojo, 0, AvisoTicks);
    });
    // Below the front desk's own work: on a busy workstation an invoice gets the processor first.
    // A sender that cannot lower itself runs all the same.
    m_proceso.setChildProcessModifier([] { [[maybe_unused]] const int priority = ::nice(10); });
    m_reloj.setInterval(IntervaloMs);
    connect(&m_reloj, &QTimer::timeout, this, [this] {
        // A workstation that does not send learns from the data what the sender has done.
        if (!m_envia)
            Seguro(m_frame, [this] { Mostrar(); });
        else if (m_pendientes > 0)
            Enviar();
    });
    m_reloj.start();
    // What waits from an earlier session goes as soon as the window is up.
    QTimer::singleShot(0, this, [this] {
        Seguro(m_frame, [this] { Mostrar(); });
        if (m_pendientes > 0)
            Enviar();
    });
}

EnvioVeriFactu::~EnvioVeriFactu() {
    // A submission under way finishes on its own: its answer is written by the process itself.
    if (Enviando())
        m_proceso.waitForFinished(1000);
}

void EnvioVeriFactu::Documento() {
    if (!m_activo)
        return;
    // Counted here rather than read: the window reads the register's counts only when a
    // submission ends, never while an invoice is being issued.
    ++m_pendientes;
    Pintar();
    Enviar();
}

void EnvioVeriFactu::Enviar() {
    if (!m_envia || Enviando())
        return;
    m_proceso.start(m_programa, {"--ini", m_ini, "send"});
}

void EnvioVeriFactu::Pintar() {
    QString text;
    if (m_pendientes > 0)
        text = QStringLiteral("VERI*FACTU: %1 pendientes").arg(m_pendientes);
    auto add = [&](int count, const char* what) {
        if (count > 0)
            text += (text.isEmpty() ? QStringLiteral("VERI*FACTU: ") : QStringLiteral(", ")) +
                    QString::number(count) + QLatin1String(what);
    };
    add(m_rechazados, " rechazados por la AEAT");
    add(m_conflictos, " en conflicto con la AEAT");
    const bool alarm = m_rechazados + m_conflictos > 0;
    m_frame.Sb_PanelText_Set(2, text, alarm, alarm ? Rojo : -1);
}

void EnvioVeriFactu::Mostrar() {
    m_pendientes = VeriFactu::Pendientes();
    m_rechazados = VeriFactu::Rechazados();
    m_conflictos = VeriFactu::Conflictos();
    Pintar();
    const std::optional<VeriFactu::Fallo> fallo = VeriFactu::UltimoFallo();
    if (!fallo || fallo->error == m_falloMostrado)
        return;
    m_falloMostrado = fallo->error;
    m_frame.Sb_PanelText_Set(1, "VERI*FACTU: " + fallo->error, true, Rojo, 0, AvisoTicks);
}
