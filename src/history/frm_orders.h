#pragma once
#include "shell/ChildWindow.h"

class frm_orders : public ChildWindow {
  Q_OBJECT
public:
  explicit frm_orders(frm_main* mainWindow);
};
