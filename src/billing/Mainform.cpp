// The module's parent window, which ends the program when it is closed.

#include "billing/Mainform.h"

#include "billing/Facturacion.h"
#include "session/G.h"
#include "session/Gi.h"

#include <QCloseEvent>

Mainform::Mainform(QWidget* parent) : QMainWindow(parent) {
    setObjectName("Mainform");
    setWindowTitle(Gi.sNombre.isEmpty() ? QString("Facturación") : "Facturación - " + Gi.sNombre);
    m_billing = new Facturacion(this);
    setCentralWidget(m_billing);
    // Room for the product names and the totals at a glance, within the usual desktop screen.
    resize(1100, 680);
}

void Mainform::closeEvent(QCloseEvent* event) {
    event->accept();
    QuitSuite(false, false);
}
