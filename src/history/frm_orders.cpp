#include "history/frm_orders.h"

#include "history/OrderGrids.h"
#include "price/FlexGrid.h"
#include "price/GridFill.h"
#include "shell/Twips.h"
#include "shell/conn_rs_comm.h"
#include "shell/frm_main.h"
#include "shell/ini.h"
#include "shell/messages.h"
#include "shell/numbers.h"
#include "shell/public_var.h"

#include <QDate>
#include <QDateEdit>
#include <QLabel>
#include <QLocale>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRegularExpression>

namespace {

const QString kCaption = QStringLiteral("Заказы");

// The five columns of the orders grid, read from the customer's orders.
const QString kOrdersSelect = QStringLiteral(
    "SELECT d.order_status , d.order_id , d.order_date,d.user_id , d.order_total "
    "FROM uop5b_jshopping_orders as d where d.user_id= ?");

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

// The sum in a "СУММА" cell: written in the locale's notation, read back in it
// (or with a period); a cell that holds no number stops the total.
double sumCell(const QString& text) {
  const QString t = text.trimmed();
  bool ok = false;
  QLocale().toDouble(t, &ok);
  if (!ok) QLocale::c().toDouble(t, &ok);
  if (!ok) throw DbError(QStringLiteral("Сумма заказа не является числом: ") + quoted(text), 13);
  return num::cellValue(t);
}

// Ends a failed shop action: keeps the reason, closes what is open, tells the user.
void reportFailure(const QString& description) {
  LastErrorText = description;
  CloseRecordset(ShopRecordset);
  CloseConnection(ShopConnection);
  msg::requestError(description);
}

}  // namespace

frm_orders::frm_orders(frm_main* mainWindow) : ChildWindow(mainWindow, kCaption) {
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
    picker->setDate(QDate::currentDate());
  }
  resize(twips::toPxX(12900), twips::toPxY(6705));

  connect(Command2, &QPushButton::clicked, this, &frm_orders::RefreshOrders);
  connect(Command3, &QPushButton::clicked, this, &frm_orders::Command3_Click);
  connect(DTPicker1, &QDateEdit::dateChanged, this, &frm_orders::DTPicker1_Change);
  connect(DTPicker2, &QDateEdit::dateChanged, this, &frm_orders::DTPicker2_Change);
  connect(MSFlexGrid1, &FlexGrid::EnterCell, this, &frm_orders::MSFlexGrid1_EnterCell);
  connect(MSFlexGrid1, &FlexGrid::Click, this, &frm_orders::MSFlexGrid1_Click);
}

void frm_orders::Form_Load() {
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) sub->showMaximized();
  else showMaximized();
  const QDate today = QDate::currentDate();
  setDates(today, today);
  RefreshOrders();
}

void frm_orders::setDates(const QDate& start, const QDate& end) {
  settingDates_ = true;
  DTPicker1->setDate(start);
  DTPicker2->setDate(end);
  settingDates_ = false;
}

bool frm_orders::organisationNumber(qlonglong* id) {
  if (wholeNumber(OrganisationId, id)) return true;
  // A code that names no customer lists nobody's orders.
  fillingOrders_ = true;
  SetOrdersGridHeaders(MSFlexGrid1);
  SetOrderItemsGridHeaders(MSFlexGrid3);
  SetOrderHistoryGridHeaders(MSFlexGrid2);
  fillingOrders_ = false;
  shownOrder_.clear();
  Label3->clear();
  reportFailure(QStringLiteral("Код организации не является числом: ") + quoted(OrganisationId));
  return false;
}

void frm_orders::RefreshOrders() {
  ++RefreshCount;
  SetSettingsPath();
  OrganisationId = ReadSetting(SettingsPath, QStringLiteral("authentication"), QStringLiteral("id"), QStringLiteral("?"));
  OrganisationName =
      ReadSetting(SettingsPath, QStringLiteral("authentication"), QStringLiteral("login"), QStringLiteral("?"));
  if (OrganisationName == QLatin1String("?") || OrganisationId == QLatin1String("?")) {
    if (msg::question(QStringLiteral("Необходимо пройти авторизацию.Открыть окно авторизации?")) && mainWindow())
      mainWindow()->ShowAuthorization(true);
    return;
  }
  qlonglong id = 0;
  if (!organisationNumber(&id)) return;
  // The dates come from the pickers, never from typed text.
  const QString start = DTPicker1->date().toString(QStringLiteral("yyyy-MM-dd"));
  const QString end = DTPicker2->date().toString(QStringLiteral("yyyy-MM-dd"));
  loadOrders(kOrdersSelect + QStringLiteral(" AND  DATE(d.order_date) BETWEEN ? AND ?"), {id, start, end});
}

void frm_orders::Command3_Click() {
  OrganisationId = ReadSetting(SettingsPath, QStringLiteral("authentication"), QStringLiteral("id"), QStringLiteral("?"));
  qlonglong id = 0;
  if (!organisationNumber(&id)) return;
  // Every open order, whatever its date: the pickers do not narrow this view.
  loadOrders(kOrdersSelect + QStringLiteral(" AND d.order_status < 7 "), {id});
}

void frm_orders::loadOrders(const QString& sql, const QVariantList& values) {
  try {
    CurrentSql = sql;
    ShopConnection = OpenShopConnection();
    ShopRecordset = OpenShopRecordset(ShopConnection.get(), CurrentSql, 0, values);
    Recordset& rs = Require(ShopRecordset);
    fillingOrders_ = true;
    SetOrdersGridHeaders(MSFlexGrid1);
    SetOrderItemsGridHeaders(MSFlexGrid3);
    SetOrderHistoryGridHeaders(MSFlexGrid2);
    shownOrder_.clear();
    FillGrid(rs, MSFlexGrid1, false);
    fillingOrders_ = false;
    double total = 0;
    for (int r = 1; r < MSFlexGrid1->rows(); ++r) total += sumCell(MSFlexGrid1->textMatrix(r, kOrderSumColumn));
    Label3->setText(QStringLiteral("Сумма заказов : ") + num::invariant(total));
    CloseRecordset(ShopRecordset);
    CloseConnection(ShopConnection);
  } catch (const DbError& e) {
    fillingOrders_ = false;
    reportFailure(e.description);
  } catch (const std::exception& e) {
    fillingOrders_ = false;
    reportFailure(QString::fromLocal8Bit(e.what()));
  }
}

void frm_orders::DTPicker1_Change() {
  if (settingDates_) return;
  if (DTPicker1->date() > DTPicker2->date()) {
    settingDates_ = true;
    DTPicker1->setDate(DTPicker2->date());
    settingDates_ = false;
  }
  RefreshOrders();
}

void frm_orders::DTPicker2_Change() {
  if (settingDates_) return;
  if (DTPicker2->date() < DTPicker1->date()) {
    settingDates_ = true;
    DTPicker2->setDate(DTPicker1->date());
    settingDates_ = false;
  }
  RefreshOrders();
}

void frm_orders::MSFlexGrid1_EnterCell() {
  if (fillingOrders_) return;
  const QString orderText = MSFlexGrid1->textMatrix(MSFlexGrid1->rowSel(), kOrderIdColumn);
  shownOrder_ = orderText;
  try {
    qlonglong orderId = 0;
    if (!wholeNumber(orderText, &orderId))
      throw DbError(QStringLiteral("Номер заказа не является числом: ") + quoted(orderText), 13);
    CurrentSql = QStringLiteral(
        "select product_ean,product_name,product_item_price,product_quantity from uop5b_jshopping_order_item "
        "where order_id= ?");
    ShopConnection = OpenShopConnection();
    ShopRecordset = OpenShopRecordset(ShopConnection.get(), CurrentSql, 0, {orderId});
    Recordset& items = Require(ShopRecordset);
    SetOrderItemsGridHeaders(MSFlexGrid3);
    FillGrid(items, MSFlexGrid3, false);
    CloseRecordset(ShopRecordset);

    CurrentSql = QStringLiteral(
        "select order_status_id,comments,DATE_FORMAT(status_date_added,'%d-%m-%Y %H:%i:%s') "
        "from uop5b_jshopping_order_history where order_id= ? Order by status_date_added");
    ShopRecordset = OpenShopRecordset(ShopConnection.get(), CurrentSql, 0, {orderId});
    Recordset& history = Require(ShopRecordset);
    SetOrderHistoryGridHeaders(MSFlexGrid2);
    FillGrid(history, MSFlexGrid2, false);
    CloseRecordset(ShopRecordset);
    CloseConnection(ShopConnection);
  } catch (const DbError& e) {
    reportFailure(e.description);
  } catch (const std::exception& e) {
    reportFailure(QString::fromLocal8Bit(e.what()));
  }
}

void frm_orders::MSFlexGrid1_Click() {
  // After a refill the current cell already sits on the first row, so a click
  // there enters no cell; the user still expects to see that order.
  if (fillingOrders_ || MSFlexGrid1->rows() < 2) return;
  if (MSFlexGrid1->textMatrix(MSFlexGrid1->rowSel(), kOrderIdColumn) != shownOrder_) MSFlexGrid1_EnterCell();
}

void frm_orders::Form_Resize() {
  const int w = twips::outerWidth(this);
  const int h = twips::outerHeight(this);
  if (w < 9000 || h < 5000) return;
  const int ordersHeight = h - 3180;
  MSFlexGrid1->resize(MSFlexGrid1->width(), twips::toPxY(ordersHeight));
  MSFlexGrid3->resize(twips::toPxX(w - 7965), twips::toPxY(h - 1860));
  MSFlexGrid2->move(MSFlexGrid2->x(), twips::toPxY(ordersHeight + 1185));
}

void frm_orders::Form_Unload() {
  // Only the first button with the window's caption goes; the others stay.
  if (mainWindow()) mainWindow()->RemoveBarButton(kCaption);
}
