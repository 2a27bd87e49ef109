#pragma once
// The orders window: the signed-in customer's orders for a range of dates with
// their total, and the items and status history of the order the user moves onto.
#include "gui/common/ChildWindow.h"

class FlexGrid;
struct ShopQuery;
class QDateEdit;
class QLabel;
class QPushButton;

class OrdersWindow : public ChildWindow {
  Q_OBJECT
 public:
  explicit OrdersWindow(QWidget* parent = nullptr);

  void loadContents() override;
  // Reloads the orders of the picked date range ("Обновить", the date pickers, Load).
  void refreshOrders();
  // "Все не закрытые заказы": every order of the customer whose status is below 7.
  void showOpenOrders();
  // The date pickers' change events.
  void fromDateChanged();
  void toDateChanged();
  // The user moved onto a cell of the orders grid: shows that order's items and history.
  void showCurrentOrder();
  // A click on the orders grid: shows the clicked order when the click did not move
  // the current cell (the first row right after a refill).
  void showClickedOrder();

 protected:
  void layoutControls() override;

 private:
  // Controls, named as the window's designer named them.
  QPushButton* Command2;
  QPushButton* Command3;
  QPushButton* Command1;
  QLabel* Label2;
  QDateEdit* DTPicker1;
  QLabel* Label1;
  QDateEdit* DTPicker2;
  QLabel* Label3;
  FlexGrid* MSFlexGrid1;
  FlexGrid* MSFlexGrid2;
  FlexGrid* MSFlexGrid3;

  // Shows an orders list with its total; reports a failure in the error box.
  void showOrders(const ShopQuery& orders);
  // The stored organisation code as a number; false (with the reason shown and
  // the grids emptied) when it is not a whole number.
  bool organisationNumber(qlonglong* id);
  void setDates(const QDate& start, const QDate& end);

  bool settingDates_ = false;   // the pickers are being set by the window itself
  bool fillingOrders_ = false;  // the orders grid is being refilled by the window itself
  QString shownOrder_;          // the order whose details were last asked for
};
