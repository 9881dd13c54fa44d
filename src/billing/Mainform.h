#pragma once

#include <QMainWindow>

class Facturacion;

// The module's parent window: it holds the billing window and ends the program when it is closed,
// as closing the billing window itself does.
class Mainform : public QMainWindow {
    Q_OBJECT
public:
    explicit Mainform(QWidget* parent = nullptr);

    Facturacion* Billing() const { return m_billing; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Facturacion* m_billing = nullptr;
};
