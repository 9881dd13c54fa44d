#pragma once

#include "invoicing/core/Cobro.h"

#include <QString>

// What the client and pet selector answers about the pair it shows.
enum class DatoPareja { IdMascota, Mascota, Especie, IdCliente, Cliente, IdEmpleado };

// What issuing an invoice or a credit note needs of the billing window: the selected pet and
// client, employee and cash box, the print layout, the payment dialog, printing and the grid.
// The window implements it; tests and benchmarks implement it without a screen.
class BillingWindow {
public:
    virtual ~BillingWindow() = default;

    // The selector's answer (IdEmpleado: the pet's employee); "0" when no pair is selected.
    virtual QString Dato(DatoPareja dato) const = 0;
    // The id of the employee chosen in the window; 0 when none.
    virtual double EmpleadoElegido() const = 0;
    // The id of the cash box chosen in the window; raises when none is chosen.
    virtual qint32 CajaElegida() const = 0;
    // The print layout: 1 Normal, 2 Detallada, 3 Ticket, 0 none.
    virtual quint8& FormatoFactura() = 0;
    // Shows the payment dialog modally and answers what it took; sets the layout (0 when
    // cancelled, and then the answer is empty).
    virtual CobroRecord MostrarCobro() = 0;
    // Prints an issued invoice or credit note in the layout.
    virtual void Imprimir(qint32 nIdFactura, quint8 nFormato) = 0;
    // What would stop Imprimir once a document is issued, for the front desk; empty when nothing
    // does. Asked before anything is issued.
    virtual QString ImpresionImpedida() const { return {}; }
    // Reads the pending items again.
    virtual void RefrescarGrid() = 0;
};
