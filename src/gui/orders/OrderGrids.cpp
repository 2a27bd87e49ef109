#include "gui/orders/OrderGrids.h"

#include "gui/price/PriceGridFill.h"

void SetOrdersGridHeaders(FlexGrid* grid) {
  SetGridHeader(grid, {{QStringLiteral("СТАТУС"), 1500},
                       {QStringLiteral("№"), 500},
                       {QStringLiteral("ДАТА"), 2000},
                       {QStringLiteral("КОНТРАГЕНТ"), 3000},
                       {QStringLiteral("СУММА"), 1000}});
}

void SetOrderItemsGridHeaders(FlexGrid* grid) {
  SetGridHeader(grid, {{QStringLiteral("АРТИКУЛ"), 1000},
                       {QStringLiteral("НАИМЕНОВАНИЕ"), 6000},
                       {QStringLiteral("ЦЕНА"), 1000},
                       {QStringLiteral("ЗАКАЗ"), 1000}});
}

void SetOrderHistoryGridHeaders(FlexGrid* grid) {
  SetGridHeader(
      grid,
      {{QStringLiteral("Статус заказа"), 1000}, {QStringLiteral("КОММЕНТАРИЙ"), 6000}, {QStringLiteral("ДАТА"), 1500}});
}
