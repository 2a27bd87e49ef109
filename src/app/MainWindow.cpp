#include "app/MainWindow.h"

#include "base/ResultCode.h"
#include "base/Settings.h"
#include "data/Database.h"
#include "gui/common/MessageBoxes.h"
#include "gui/common/ProgramIcon.h"
#include "gui/orders/OrdersWindow.h"
#include "gui/price/PriceWindow.h"
#include "gui/settings/OptionsDialog.h"
#include "update/UpdateFailure.h"
#include "update/Updates.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QShortcut>
#include <QToolBar>

namespace {
const QString kPriceCaption = QStringLiteral("Прайс-лист");
const QString kOrdersCaption = QStringLiteral("Заказы");
const QString kSettingsCaption = QStringLiteral("Настройки");
}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("frm_main"));
  setWindowTitle(msg::applicationTitle());
  QApplication::setWindowIcon(ProgramIcon());
  setWindowIcon(ProgramIcon());
  mdi_ = new QMdiArea(this);
  mdi_->setObjectName(QStringLiteral("MDIClient"));
  setCentralWidget(mdi_);

  auto addMenu = [this](const char* name, const QString& caption, void (MainWindow::*slot)()) {
    QAction* a = menuBar()->addAction(caption);
    a->setObjectName(QLatin1String(name));
    connect(a, &QAction::triggered, this, slot);
  };
  // Each command has a mnemonic letter (Alt+letter); F10 or Alt alone puts the
  // keyboard on the menu, where the arrows and Enter choose a command.
  addMenu("getprice", QStringLiteral("По&лучить прайс-лист"), &MainWindow::downloadPriceList);
  addMenu("Pricelist", QStringLiteral("&Прайс-лист"), &MainWindow::openPriceWindow);
  addMenu("Orders", QStringLiteral("&Заказы"), &MainWindow::openOrdersWindow);
  addMenu("settings", QStringLiteral("&Настройки"), &MainWindow::openSettings);
  addMenu("updatepo", QStringLiteral("&Обновление ПО"), &MainWindow::downloadProgramUpdate);
  auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
  connect(f10, &QShortcut::activated, this, [this] {
    menuBar()->setActiveAction(menuBar()->actions().value(0));
    menuBar()->setFocus(Qt::MenuBarFocusReason);
  });

  toolbar_ = addToolBar(QStringLiteral("Окна"));
  toolbar_->setObjectName(QStringLiteral("Toolbar1"));
  toolbar_->setMovable(false);
  connect(toolbar_, &QToolBar::actionTriggered, this, &MainWindow::activateBarWindow);
  msg::setParentWindow(this);
}

MainWindow::~MainWindow() { msg::setParentWindow(nullptr); }

bool MainWindow::startUp(const QString& commandLine) {
  settings::createDefault();
  showMaximized();
  switch (ParseResultCode(commandLine)) {
    case 40:
      msg::information(QStringLiteral("Прайс-лист обновлен"));
      break;
    case 41:
      msg::information(WithUpdateFailureReason(QStringLiteral("Прайс-лист не обновлен")));
      break;
    case 30:
      if (CompleteProgramUpdate()) return false;
      break;
    case 31:
      msg::information(WithUpdateFailureReason(QStringLiteral("Не удалось проверить обновление ПО")));
      break;
    case 50:
      msg::information(QStringLiteral("Обновление ПО прошло успешно"));
      break;
    case 51:
      msg::information(WithUpdateFailureReason(QStringLiteral("ПО не обновлено")));
      break;
    default:
      break;
  }
  return true;
}

void MainWindow::showStartupWindow() { showChild<PriceWindow>(priceSlot_, kPriceCaption); }

PriceWindow* MainWindow::priceWindow() const { return static_cast<PriceWindow*>(priceSlot_.data()); }
OrdersWindow* MainWindow::ordersWindow() const { return static_cast<OrdersWindow*>(ordersSlot_.data()); }
OptionsDialog* MainWindow::optionsWindow() const { return static_cast<OptionsDialog*>(optionsSlot_.data()); }

template <class W>
W* MainWindow::showChild(QPointer<QWidget>& slot, const QString& caption) {
  if (slot) {
    bringForward(slot);
    return static_cast<W*>(slot.data());
  }
  W* w = new W();
  w->setWindowTitle(caption);
  connect(w, &ChildWindow::barButtonRemovalRequested, this, &MainWindow::removeBarButton);
  slot = w;
  place(w);
  w->loadContents();
  return w;
}

void MainWindow::place(ChildWindow* w) {
  if (w->isMdiChild()) {
    QMdiSubWindow* sub = mdi_->addSubWindow(w);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowTitle(w->windowTitle());
    SetProgramIcon(w);
    sub->show();
  } else {
    // A dialog of the main window: centred over it and kept in front of it.
    w->setParent(this, Qt::Dialog);
    SetProgramIcon(w);
    const QPoint centre = frameGeometry().center();
    w->move(centre.x() - w->width() / 2, centre.y() - w->height() / 2);
    w->show();
  }
}

void MainWindow::bringForward(QWidget* w) {
  QWidget* frame = w;
  if (auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget())) frame = sub;
  frame->show();
  if (frame->isMinimized()) frame->showMaximized();
  if (auto* sub = qobject_cast<QMdiSubWindow*>(frame)) mdi_->setActiveSubWindow(sub);
  frame->raise();
  frame->activateWindow();
  w->setFocus();
}

void MainWindow::ensureBarButton(const QString& caption) {
  if (!barButton(caption)) toolbar_->addAction(caption);
}

void MainWindow::openPriceWindow() {
  showChild<PriceWindow>(priceSlot_, kPriceCaption);
  ensureBarButton(kPriceCaption);
}

void MainWindow::openOrdersWindow() {
  showChild<OrdersWindow>(ordersSlot_, kOrdersCaption);
  ensureBarButton(kOrdersCaption);
}

void MainWindow::openSettings() {
  showChild<OptionsDialog>(optionsSlot_, kSettingsCaption);
  ensureBarButton(kSettingsCaption);
}

void MainWindow::ComeForward() {
  if (isMinimized()) setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
  show();
  raise();
  activateWindow();
}

void MainWindow::downloadPriceList() { RunPriceDownload(); }
void MainWindow::downloadProgramUpdate() { RunProgramDownload(); }

void MainWindow::activateBarWindow(QAction* button) {
  const QString c = button->text();
  QWidget* w = nullptr;
  if (c == kPriceCaption)
    w = priceSlot_;
  else if (c == kOrdersCaption)
    w = ordersSlot_;
  else if (c == kSettingsCaption)
    w = optionsSlot_;
  else
    return;
  if (w) bringForward(w);
}

QStringList MainWindow::barCaptions() const {
  QStringList out;
  for (QAction* a : toolbar_->actions()) out << a->text();
  return out;
}

QAction* MainWindow::barButton(const QString& caption) const {
  for (QAction* a : toolbar_->actions())
    if (a->text() == caption) return a;
  return nullptr;
}

void MainWindow::removeBarButton(const QString& caption) {
  if (QAction* a = barButton(caption)) {
    toolbar_->removeAction(a);
    a->deleteLater();
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (optionsSlot_) optionsSlot_->close();
  mdi_->closeAllSubWindows();
  ReleasePriceDatabase();
  QMainWindow::closeEvent(event);
}
