#pragma once
// The main window started as the program starts it, with its price window open.
#include "app/MainWindow.h"
#include "gui/grid/FlexGrid.h"
#include "gui/price/PriceWindow.h"
#include "support/Widgets.h"

struct PriceProgram {
  PriceProgram() {
    main.startUp(QString());
    main.showStartupWindow();
    w = main.priceWindow();
    g = child<FlexGrid>(w, "MSFlexGrid1");
  }
  // The grid row of a product, or -1.
  int rowOf(const QString& id) const {
    for (int r = 1; r < g->rows(); ++r)
      if (g->textMatrix(r, 0) == id) return r;
    return -1;
  }
  MainWindow main;
  PriceWindow* w = nullptr;
  FlexGrid* g = nullptr;
};
