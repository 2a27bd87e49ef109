#include "price/frm_price.h"

frm_price::frm_price(frm_main* mainWindow) : ChildWindow(mainWindow, QString()) { setObjectName(QStringLiteral("frm_price")); }
