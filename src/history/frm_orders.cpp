#include "history/frm_orders.h"

frm_orders::frm_orders(frm_main* mainWindow) : ChildWindow(mainWindow, QString()) { setObjectName(QStringLiteral("frm_orders")); }
