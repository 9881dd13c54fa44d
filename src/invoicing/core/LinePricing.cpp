// The base, tax and total of one sale line.
#include "invoicing/core/LinePricing.h"

namespace {

// A figure less a discount percent; without one it is the figure itself, to the last bit, as
// every line stored so far was priced.
double Discounted(double figure, double discount) {
    return discount == 0 ? figure : figure * (100 - discount) / 100;
}

} // namespace

double LinePricing::ExactBase() const {
    return Discounted(unitPrice * quantity, discount);
}

double LinePricing::ExactTax() const {
    return Discounted(unitPrice / 100 * rate * quantity, discount);
}

Money LinePricing::Base() const {
    return Money::FromDouble(ExactBase());
}

Money LinePricing::Tax() const {
    return Money::FromDouble(ExactTax());
}

Money LinePricing::Total() const {
    return Money::FromDouble(ExactBase() + ExactTax());
}
