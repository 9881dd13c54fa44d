#pragma once

#include <QString>
#include <array>

// What the payment dialog hands to invoice issuing: the customer texts printed on the invoice,
// up to four payments (a payment type's name and its amount) and the discount. Process-wide,
// written by FacturaInfo when the user accepts it, read when the invoice is written.
struct CobroRecord {
    static constexpr int Slots = 4;

    QString sCliente;
    QString sDomicilio;
    QString sDni;
    // A foreign customer's document: its country and type (02 to 06); empty for a Spanish NIF.
    QString sPais;
    QString sTipoId;
    std::array<QString, Slots> sTipoCobro;
    std::array<double, Slots> nImporte{};
    double nDescuento = 0;
};

extern CobroRecord Cobro;
