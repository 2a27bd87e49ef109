#pragma once
// The main window: an MDI frame with the menu and the window bar.
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

class QAction;
class QMdiArea;
class QToolBar;
class ChildWindow;
class PriceWindow;
class OrdersWindow;
class OptionsDialog;

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  // Start-up steps; returns false when the program is ending (an update handed over).
  bool startUp(const QString& commandLine);
  // Opens the start-up window (the price list) without a window-bar button.
  void showStartupWindow();
  // Brings the window forward (a second start on the same folder asked for it).
  void ComeForward();

  void openPriceWindow();
  void openOrdersWindow();
  void openSettings();
  void downloadPriceList();
  void downloadProgramUpdate();
  void activateBarWindow(QAction* button);

  // Window bar: button captions in order, and removal of the first with a caption.
  QStringList barCaptions() const;
  void removeBarButton(const QString& caption);
  QAction* barButton(const QString& caption) const;

  PriceWindow* priceWindow() const;
  OrdersWindow* ordersWindow() const;
  OptionsDialog* optionsWindow() const;
  QMdiArea* mdiArea() const { return mdi_; }
  QToolBar* toolbar() const { return toolbar_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  template <class W>
  W* showChild(QPointer<QWidget>& slot, const QString& caption);
  void ensureBarButton(const QString& caption);
  void bringForward(QWidget* w);
  void place(ChildWindow* w);

  QMdiArea* mdi_;
  QToolBar* toolbar_;
  QPointer<QWidget> priceSlot_;
  QPointer<QWidget> ordersSlot_;
  QPointer<QWidget> optionsSlot_;
};
