#include "gui/orders/OrdersWindow.h"

#include "base/Numbers.h"
#include "base/OrganisationCode.h"
#include "base/Settings.h"
#include "data/OrderHistory.h"
#include "gui/common/MessageBoxes.h"
#include "gui/common/ShopTask.h"
#include "gui/common/Twips.h"
#include "gui/grid/FlexGrid.h"
#include "gui/orders/OrderGrids.h"
#include "gui/price/PriceGridFill.h"
#include "gui/settings/AuthorizationDialog.h"

#include <QDate>
#include <QDateEdit>
#include <QLabel>
#include <QLocale>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRegularExpression>

namespace {

const QString kCaption = QStringLiteral("Заказы");
const QString kLoading = QStringLiteral("Загрузка заказов из магазина…");

template <class W>
W* named(W* w, const char* name) {
  w->setObjectName(QLatin1String(name));
  return w;
}

// A whole number written in plain digits (blanks around it allowed); anything else
// (the "?" of a missing setting, a name typed by hand, an empty cell) is refused.
bool wholeNumber(const QString& text, qlonglong* value) {
  static const QRegularExpression digits(QStringLiteral("^\\s*-?\\d{1,18}\\s*$"));
  if (!digits.match(text).hasMatch()) return false;
  bool ok = false;
  *value = text.trimmed().toLongLong(&ok);
  return ok;
}

QString quoted(const QString& text) { return QStringLiteral("«") + text + QStringLiteral("»"); }

// A "СУММА" cell is written in the locale's notation and read back in it (or
// with a period); a cell that holds no number stops the total.
bool isNumber(const QString& text) {
  const QString t = text.trimmed();
  bool ok = false;
  QLocale().toDouble(t, &ok);
  if (!ok) QLocale::c().toDouble(t, &ok);
  return ok;
}

}  // namespace

OrdersWindow::OrdersWindow(QWidget* parent) : ChildWindow(kCaption, parent) {
  setObjectName(QStringLiteral("frm_orders"));
  Command2 = named(new QPushButton(QStringLiteral("Обновить"), this), "Command2");
  Command3 = named(new QPushButton(QStringLiteral("Все не закрытые заказы"), this), "Command3");
  Command1 = named(new QPushButton(QStringLiteral("Добавить комментарий"), this), "Command1");
  Label2 = named(new QLabel(QStringLiteral("с"), this), "Label2");
  DTPicker1 = named(new QDateEdit(this), "DTPicker1");
  Label1 = named(new QLabel(QStringLiteral("по"), this), "Label1");
  DTPicker2 = named(new QDateEdit(this), "DTPicker2");
  Label3 = named(new QLabel(this), "Label3");
  MSFlexGrid1 = named(new FlexGrid(this), "MSFlexGrid1");
  MSFlexGrid2 = named(new FlexGrid(this), "MSFlexGrid2");
  MSFlexGrid3 = named(new FlexGrid(this), "MSFlexGrid3");

  twips::place(Command2, 120, 120, 2055, 375);
  twips::place(Command3, 2280, 120, 2895, 375);
  twips::place(Command1, 5280, 120, 2655, 375);
  twips::place(Label2, 120, 720, 255, 255);
  twips::place(DTPicker1, 480, 600, 1935, 375);
  twips::place(Label1, 2520, 720, 375, 255);
  twips::place(DTPicker2, 3000, 600, 1935, 375);
  twips::place(Label3, 5040, 600, 2415, 375);
  twips::place(MSFlexGrid1, 120, 1080, 7335, 4095);
  twips::place(MSFlexGrid2, 120, 5280, 7335, 1215);
  twips::place(MSFlexGrid3, 7560, 1080, 5175, 5415);
  Command1->setVisible(false);  // commenting an order is not offered
  for (QDateEdit* picker : {DTPicker1, DTPicker2}) {
    picker->setCalendarPopup(true);
    // A typed date counts when it is complete (Enter, or the keyboard leaves the
    // picker), not digit by digit: "31" is never taken for 3 on the way.
    picker->setKeyboardTracking(false);
    picker->setDate(QDate::currentDate());
  }
  resize(twips::toPxX(12900), twips::toPxY(6705));

  connect(Command2, &QPushButton::clicked, this, &OrdersWindow::refreshOrders);
  connect(Command3, &QPushButton::clicked, this, &OrdersWindow::showOpenOrders);
  connect(DTPicker1, &QDateEdit::dateChanged, this, &OrdersWindow::fromDateChanged);
  connect(DTPicker2, &QDateEdit::dateChanged, this, &OrdersWindow::toDateChanged);
  connect(MSFlexGrid1, &FlexGrid::EnterCell, this, &OrdersWindow::showCurrentOrder);
  connect(MSFlexGrid1, &FlexGrid::Click, this, &OrdersWindow::showClickedOrder);
}

void OrdersWindow::loadContents() {
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
    sub->showMaximized();
  else
    showMaximized();
  const QDate today = QDate::currentDate();
  setDates(today, today);
  refreshOrders();
}

void OrdersWindow::setDates(const QDate& start, const QDate& end) {
  settingDates_ = true;
  DTPicker1->setDate(start);
  DTPicker2->setDate(end);
  settingDates_ = false;
}

bool OrdersWindow::organisationNumber(qlonglong* id) {
  const QString code = settings::text(settings::OrganisationId);
  if (ParseOrganisationCode(code, id)) return true;
  // A code that names no customer lists nobody's orders.
  fillingOrders_ = true;
  SetOrdersGridHeaders(MSFlexGrid1);
  SetOrderItemsGridHeaders(MSFlexGrid3);
  SetOrderHistoryGridHeaders(MSFlexGrid2);
  fillingOrders_ = false;
  shownOrder_.clear();
  Label3->clear();
  msg::requestError(OrganisationCodeRefusal(code));
  return false;
}

void OrdersWindow::refreshOrders() {
  if (!settings::hasOrganisation()) {
    if (msg::question(QStringLiteral("Необходимо пройти авторизацию.Открыть окно авторизации?")))
      ShowAuthorizationDialog(this, true);
    return;
  }
  qlonglong id = 0;
  if (!organisationNumber(&id)) return;
  // The dates come from the pickers, never from typed text.
  const QDate from = DTPicker1->date(), to = DTPicker2->date();
  const auto orders =
      RunShopTask<ShopQuery>(kLoading, [id, from, to](TaskControl&) { return ReadOrders(id, from, to); });
  if (orders) showOrders(*orders);
}

void OrdersWindow::showOpenOrders() {
  qlonglong id = 0;
  if (!organisationNumber(&id)) return;
  // Every open order, whatever its date: the pickers do not narrow this view.
  const auto orders = RunShopTask<ShopQuery>(kLoading, [id](TaskControl&) { return ReadOpenOrders(id); });
  if (orders) showOrders(*orders);
}

void OrdersWindow::showOrders(const ShopQuery& orders) {
  if (!orders.ok()) {
    msg::shopRequestError(orders.errorNumber, orders.errorText);
    return;
  }
  fillingOrders_ = true;
  SetOrdersGridHeaders(MSFlexGrid1);
  SetOrderItemsGridHeaders(MSFlexGrid3);
  SetOrderHistoryGridHeaders(MSFlexGrid2);
  shownOrder_.clear();
  FillGrid(*orders.rows, MSFlexGrid1, false);
  fillingOrders_ = false;
  double total = 0;
  for (int r = 1; r < MSFlexGrid1->rows(); ++r) {
    const QString cell = MSFlexGrid1->textMatrix(r, kOrderSumColumn);
    if (!isNumber(cell)) {
      msg::requestError(QStringLiteral("Сумма заказа не является числом: ") + quoted(cell));
      return;
    }
    total += num::cellValue(cell.trimmed());
  }
  Label3->setText(QStringLiteral("Сумма заказов : ") + num::invariant(total));
}

void OrdersWindow::fromDateChanged() {
  if (settingDates_) return;
  if (DTPicker1->date() > DTPicker2->date()) {
    settingDates_ = true;
    DTPicker1->setDate(DTPicker2->date());
    settingDates_ = false;
  }
  refreshOrders();
}

void OrdersWindow::toDateChanged() {
  if (settingDates_) return;
  if (DTPicker2->date() < DTPicker1->date()) {
    settingDates_ = true;
    DTPicker2->setDate(DTPicker1->date());
    settingDates_ = false;
  }
  refreshOrders();
}

void OrdersWindow::showCurrentOrder() {
  if (fillingOrders_) return;
  const QString orderText = MSFlexGrid1->textMatrix(MSFlexGrid1->rowSel(), kOrderIdColumn);
  shownOrder_ = orderText;
  qlonglong orderId = 0;
  if (!wholeNumber(orderText, &orderId)) {
    msg::requestError(QStringLiteral("Номер заказа не является числом: ") + quoted(orderText));
    return;
  }
  const auto details =
      RunShopTask<OrderDetails>(kLoading, [orderId](TaskControl&) { return ReadOrderDetails(orderId); });
  if (!details) return;
  if (details->items) {
    SetOrderItemsGridHeaders(MSFlexGrid3);
    FillGrid(*details->items, MSFlexGrid3, false);
  }
  if (!details->ok()) {
    msg::shopRequestError(details->errorNumber, details->errorText);
    return;
  }
  SetOrderHistoryGridHeaders(MSFlexGrid2);
  FillGrid(*details->history, MSFlexGrid2, false);
}

void OrdersWindow::showClickedOrder() {
  // After a refill the current cell already sits on the first row, so a click
  // there enters no cell; the user still expects to see that order.
  if (fillingOrders_ || MSFlexGrid1->rows() < 2) return;
  if (MSFlexGrid1->textMatrix(MSFlexGrid1->rowSel(), kOrderIdColumn) != shownOrder_) showCurrentOrder();
}

void OrdersWindow::layoutControls() {
  const int w = twips::outerWidth(this);
  const int h = twips::outerHeight(this);
  if (w < 9000 || h < 5000) return;
  const int ordersHeight = h - 3180;
  MSFlexGrid1->resize(MSFlexGrid1->width(), twips::toPxY(ordersHeight));
  MSFlexGrid3->resize(twips::toPxX(w - 7965), twips::toPxY(h - 1860));
  MSFlexGrid2->move(MSFlexGrid2->x(), twips::toPxY(ordersHeight + 1185));
}
