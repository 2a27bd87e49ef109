#pragma once
#include "shell/ChildWindow.h"

class frm_price : public ChildWindow {
  Q_OBJECT
public:
  explicit frm_price(frm_main* mainWindow);
};
