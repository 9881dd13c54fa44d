// The payment dialog's record that invoice issuing reads.

#include "payment/Cobro.h"

CobroRecord Cobro;
