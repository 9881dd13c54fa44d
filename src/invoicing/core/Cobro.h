#pragma once

#include "invoicing/core/Money.h"

#include <QString>
#include <array>

// What the payment dialog hands to invoice issuing: the customer texts printed on the invoice,
// up to four payments (a payment type's name and its amount) and the discount. The dialog fills
// one when the user accepts it and its caller passes it on in the invoice's request.
struct CobroRecord {
    static constexpr int Slots = 4;

    QString sCliente;
    QString sDomicilio;
    QString sDni;
    // A foreign customer's document: its country and type (02 to 06); empty for a Spanish NIF.
    QString sPais;
    QString sTipoId;
    std::array<QString, Slots> sTipoCobro;
    std::array<Money, Slots> nImporte{};
    Money nDescuento;
};
