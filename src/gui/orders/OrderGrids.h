#pragma once
// Header layouts of the orders window's three grids: the orders list, the items
// of one order and its status history. Each resets its grid to the header row.
class FlexGrid;

// "СТАТУС", "№", "ДАТА", "КОНТРАГЕНТ", "СУММА".
void SetOrdersGridHeaders(FlexGrid* grid);
// "АРТИКУЛ", "НАИМЕНОВАНИЕ", "ЦЕНА", "ЗАКАЗ".
void SetOrderItemsGridHeaders(FlexGrid* grid);
// "Статус заказа", "КОММЕНТАРИЙ", "ДАТА".
void SetOrderHistoryGridHeaders(FlexGrid* grid);

// Column of the orders grid that holds the order id, and the one with the sum.
constexpr int kOrderIdColumn = 1;
constexpr int kOrderSumColumn = 4;
