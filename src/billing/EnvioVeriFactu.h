#pragma once

#include "register/VeriFactu.h"

#include <QObject>
#include <QProcess>
#include <QTimer>

class Frm;

// Sends the register's records to the tax agency behind the billing window: `tvRegistro send`
// runs as a child process, so neither the window nor an invoice ever waits for the network or
// for the sender's reading, and the sending lock decides which workstation sends. It runs after
// each document and every minute while records wait (as last counted: the counts are read when
// the window opens and when a submission ends); the window's second status panel says how many wait
// and, in red, how many were rejected; a failed submission is said once in the first panel. Does
// nothing unless the ini's section "VeriFactu" says Modo=VERIFACTU; with EnviaEstePuesto=No it
// never sends and reads, every minute, what the clinic's sender account has done.
class EnvioVeriFactu : public QObject {
public:
    EnvioVeriFactu(Frm& frame, const QString& ini, const QString& programa,
                   QObject* parent = nullptr);
    ~EnvioVeriFactu() override;

    bool Activo() const { return m_activo; }
    // A document was issued: its record is sent now.
    void Documento();
    // The counts and the last failure read again from the database, and shown.
    void Mostrar();
    // Whether a sending process is running.
    bool Enviando() const { return m_proceso.state() != QProcess::NotRunning; }

    static constexpr int IntervaloMs = 60000;

private:
    void Enviar();
    void Pintar();

    Frm& m_frame;
    QString m_ini, m_programa;
    bool m_activo = false;
    bool m_envia = true;
    QProcess m_proceso;
    QTimer m_reloj;
    QString m_falloMostrado;
    int m_pendientes = 0, m_rechazados = 0, m_conflictos = 0;
};
