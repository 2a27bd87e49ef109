#include "options/frmOptions.h"

frmOptions::frmOptions(frm_main* mainWindow) : ChildWindow(mainWindow, QString()) { setObjectName(QStringLiteral("frmOptions")); }
