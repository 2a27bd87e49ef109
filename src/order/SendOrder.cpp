#include "order/SendOrder.h"

void SendOrder(frm_price*) {}
