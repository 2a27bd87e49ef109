#pragma once
class frm_price;
// "Отправить заказ": writes the ordered products into the shop database as one
// order with its number and items, then offers to clear the quantities.
void SendOrder(frm_price* window);
