#pragma once
#include "shell/ChildWindow.h"

class frmOptions : public ChildWindow {
  Q_OBJECT
public:
  explicit frmOptions(frm_main* mainWindow);
};
