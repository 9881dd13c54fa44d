#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QTimer>

// Sends again, behind the billing window, the e-mails whose wait is over: every minute
// `tvCorreo enviar --vencidos` runs as a child process, so the window never waits for a mail
// server; the queue's claim of each message decides which workstation sends it.
class ReintentoCorreo : public QObject {
public:
    ReintentoCorreo(const QString& ini, const QString& programa, QObject* parent = nullptr);
    ~ReintentoCorreo() override;

    static constexpr int IntervaloMs = 60000;

private:
    QString m_ini, m_programa;
    QTimer m_reloj;
    QProcess m_proceso;
};
