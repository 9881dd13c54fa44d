#include "payment/Cobro.h"

CobroRecord Cobro;
