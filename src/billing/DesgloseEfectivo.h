#pragma once

#include "invoicing/core/Money.h"

#include <QDialog>
#include <QList>

class QLabel;
class QSpinBox;

// "Desglose del efectivo": the drawer counted note by note and coin by coin, from 500 € down to
// 1 cent; the sum is shown as the counts are typed and becomes the cash counted in "Caja".
class DesgloseEfectivo : public QDialog {
    Q_OBJECT
public:
    explicit DesgloseEfectivo(QWidget* parent = nullptr);

    // The sum of every denomination times its count, in cents: no rounding on the way.
    Money Total() const;

private:
    // What denomination k's count comes to.
    Money Importe(int k) const;
    void Sumar();

    QList<QSpinBox*> m_cantidades;
    QList<QLabel*> m_importes;
    QLabel* lblTotal = nullptr;
};
