#pragma once

#include "mail/Mensaje.h"

#include <QByteArray>
#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The viewer's e-mail of an invoice when the suite's mail module is not installed: To (the
// client's address), Cc, subject and body filled as the branch words them, the shown invoice's
// PDF attached. Sending queues the message and tries it at once (docs/email.md); a wrong address
// is said and the dialog stays open with nothing queued. When the customer asks for it, the
// invoice's Facturae, signed with the clinic's certificate, goes with it.
class CorreoFactura : public QDialog {
    Q_OBJECT
public:
    CorreoFactura(qint32 nIdFactura, QByteArray pdf, QWidget* parent = nullptr);

    void cmdEnviar_Click();

    // Invoice nIdFactura as a signed Facturae attachment ("Factura A0001-26.xsig"), signed with
    // the certificate the ini names. Throws TvError saying why when there is none or the
    // document cannot be an e-invoice (a simplified invoice).
    static Mensaje::Adjunto AdjuntoFacturae(qint32 nIdFactura, const QString& ini);

    QLineEdit* txtPara = nullptr;
    QLineEdit* txtCc = nullptr;
    QLineEdit* txtAsunto = nullptr;
    QPlainTextEdit* txtCuerpo = nullptr;
    QLabel* lblAdjunto = nullptr;
    QCheckBox* chkFacturae = nullptr;
    QPushButton* cmdEnviar = nullptr;
    QPushButton* cmdCancelar = nullptr;

private:
    qint32 m_nIdFactura;
    qint32 m_nIdSucursal = 0;
    QByteArray m_pdf;
    QString m_nombre;
};
