#pragma once
// The main window: an MDI frame with the menu and the window bar.
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

class QAction;
class QMdiArea;
class QToolBar;
class ChildWindow;
class frm_price;
class frm_orders;
class frmOptions;

class frm_main : public QMainWindow {
  Q_OBJECT
public:
  explicit frm_main(QWidget* parent = nullptr);
  ~frm_main() override;

  // Start-up steps; returns false when the program is ending (an update handed over).
  bool MDIForm_Load(const QString& commandLine);
  // Opens the start-up window (the price list) without a window-bar button.
  void ShowStartupWindow();

  void Pricelist_Click();
  void Orders_Click();
  void settings_Click();
  void getprice_Click();
  void updatepo_Click();
  void Toolbar1_ButtonClick(QAction* button);

  // Window bar: button captions in order, and removal of the first with a caption.
  QStringList BarCaptions() const;
  void RemoveBarButton(const QString& caption);
  QAction* BarButton(const QString& caption) const;

  frm_price* priceWindow() const;
  frm_orders* ordersWindow() const;
  frmOptions* optionsWindow() const;
  QMdiArea* mdiArea() const { return mdi_; }
  QToolBar* toolbar() const { return toolbar_; }

  // Opens the authorization window (modal or not); returns when it is shown or, for
  // a modal one, when it has closed.
  void ShowAuthorization(bool modal);

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  template <class W> W* showChild(QPointer<QWidget>& slot, const QString& caption);
  void ensureBarButton(const QString& caption);
  void bringForward(QWidget* w);
  void place(ChildWindow* w);

  QMdiArea* mdi_;
  QToolBar* toolbar_;
  QPointer<QWidget> priceSlot_;
  QPointer<QWidget> ordersSlot_;
  QPointer<QWidget> optionsSlot_;
};
