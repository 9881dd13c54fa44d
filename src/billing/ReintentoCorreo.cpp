// The e-mails whose wait is over, sent again every minute by `tvCorreo` as a child process.

#include "billing/ReintentoCorreo.h"

#include <QFileInfo>
#include <unistd.h>

ReintentoCorreo::ReintentoCorreo(const QString& ini, const QString& programa, QObject* parent)
    : QObject(parent), m_ini(ini), m_programa(programa) {
    // An installation without the program has no queue to empty.
    if (!QFileInfo(programa).isExecutable())
        return;
    m_proceso.setChildProcessModifier([] { [[maybe_unused]] const int priority = ::nice(10); });
    m_proceso.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_proceso.setStandardOutputFile(QProcess::nullDevice());
    m_reloj.setInterval(IntervaloMs);
    connect(&m_reloj, &QTimer::timeout, this, [this] {
        if (m_proceso.state() == QProcess::NotRunning)
            m_proceso.start(m_programa, {"--ini", m_ini, "enviar", "--vencidos"});
    });
    m_reloj.start();
}

ReintentoCorreo::~ReintentoCorreo() {
    // A send under way finishes on its own: the process writes its own answer to the queue.
    if (m_proceso.state() != QProcess::NotRunning)
        m_proceso.waitForFinished(1000);
}
