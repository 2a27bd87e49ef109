#include "shell/frm_main.h"

#include "history/frm_orders.h"
#include "options/frmOptions.h"
#include "price/frm_price.h"
#include "shell/conn_rs_comm.h"
#include "shell/frm_avtor.h"
#include "shell/ini.h"
#include "shell/messages.h"
#include "shell/public_var.h"
#include "shell/ResultCode.h"
#include "update/UpdateFailure.h"
#include "update/Updates.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QToolBar>

namespace {
const QString kPriceCaption = QStringLiteral("Прайс-лист");
const QString kOrdersCaption = QStringLiteral("Заказы");
const QString kSettingsCaption = QStringLiteral("Настройки");
}  // namespace

frm_main::frm_main(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("frm_main"));
  setWindowTitle(msg::applicationTitle());
  mdi_ = new QMdiArea(this);
  mdi_->setObjectName(QStringLiteral("MDIClient"));
  setCentralWidget(mdi_);

  auto addMenu = [this](const char* name, const QString& caption, void (frm_main::*slot)()) {
    QAction* a = menuBar()->addAction(caption);
    a->setObjectName(QLatin1String(name));
    connect(a, &QAction::triggered, this, slot);
  };
  addMenu("getprice", QStringLiteral("Получить прайс-лист"), &frm_main::getprice_Click);
  addMenu("Pricelist", kPriceCaption, &frm_main::Pricelist_Click);
  addMenu("Orders", kOrdersCaption, &frm_main::Orders_Click);
  addMenu("settings", kSettingsCaption, &frm_main::settings_Click);
  addMenu("updatepo", QStringLiteral("Обновление ПО"), &frm_main::updatepo_Click);

  toolbar_ = addToolBar(QStringLiteral("Окна"));
  toolbar_->setObjectName(QStringLiteral("Toolbar1"));
  toolbar_->setMovable(false);
  connect(toolbar_, &QToolBar::actionTriggered, this, &frm_main::Toolbar1_ButtonClick);
  msg::setParentWindow(this);
}

frm_main::~frm_main() { msg::setParentWindow(nullptr); }

bool frm_main::MDIForm_Load(const QString& commandLine) {
  SetSettingsPath();
  CreateDefaultSettings();
  showMaximized();
  switch (ParseResultCode(commandLine)) {
    case 40: msg::information(QStringLiteral("Прайс-лист обновлен")); break;
    case 41: msg::information(WithUpdateFailureReason(QStringLiteral("Прайс-лист не обновлен"))); break;
    case 30:
      if (CompleteProgramUpdate()) return false;
      break;
    case 31: msg::information(WithUpdateFailureReason(QStringLiteral("Не удалось проверить обновление ПО"))); break;
    case 50: msg::information(QStringLiteral("Обновление ПО прошло успешно")); break;
    case 51: msg::information(WithUpdateFailureReason(QStringLiteral("ПО не обновлено"))); break;
    default: break;
  }
  return true;
}

void frm_main::ShowStartupWindow() { showChild<frm_price>(priceSlot_, kPriceCaption); }

frm_price* frm_main::priceWindow() const { return static_cast<frm_price*>(priceSlot_.data()); }
frm_orders* frm_main::ordersWindow() const { return static_cast<frm_orders*>(ordersSlot_.data()); }
frmOptions* frm_main::optionsWindow() const { return static_cast<frmOptions*>(optionsSlot_.data()); }

template <class W>
W* frm_main::showChild(QPointer<QWidget>& slot, const QString& caption) {
  if (slot) {
    bringForward(slot);
    return static_cast<W*>(slot.data());
  }
  W* w = new W(this);
  w->setWindowTitle(caption);
  slot = w;
  place(w);
  w->Form_Load();
  return w;
}

void frm_main::place(ChildWindow* w) {
  if (w->isMdiChild()) {
    QMdiSubWindow* sub = mdi_->addSubWindow(w);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowTitle(w->windowTitle());
    sub->show();
  } else {
    w->setParent(this, Qt::Window);
    w->show();
  }
}

void frm_main::bringForward(QWidget* w) {
  QWidget* frame = w;
  if (auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget())) frame = sub;
  frame->show();
  if (frame->isMinimized()) frame->showMaximized();
  if (auto* sub = qobject_cast<QMdiSubWindow*>(frame)) mdi_->setActiveSubWindow(sub);
  frame->raise();
  frame->activateWindow();
  w->setFocus();
}

void frm_main::ensureBarButton(const QString& caption) {
  const auto actions = toolbar_->actions();
  for (LoopCounter = 1; LoopCounter <= actions.size(); ++LoopCounter)
    if (actions.at(LoopCounter - 1)->text() == caption) return;
  toolbar_->addAction(caption);
}

void frm_main::Pricelist_Click() {
  showChild<frm_price>(priceSlot_, kPriceCaption);
  ensureBarButton(kPriceCaption);
}

void frm_main::Orders_Click() {
  showChild<frm_orders>(ordersSlot_, kOrdersCaption);
  ensureBarButton(kOrdersCaption);
}

void frm_main::settings_Click() {
  showChild<frmOptions>(optionsSlot_, kSettingsCaption);
  ensureBarButton(kSettingsCaption);
}

void frm_main::getprice_Click() { RunPriceDownload(); }
void frm_main::updatepo_Click() { RunProgramDownload(); }

void frm_main::Toolbar1_ButtonClick(QAction* button) {
  const QString c = button->text();
  QWidget* w = nullptr;
  if (c == kPriceCaption) w = priceSlot_;
  else if (c == kOrdersCaption) w = ordersSlot_;
  else if (c == kSettingsCaption) w = optionsSlot_;
  else return;
  if (w) bringForward(w);
}

QStringList frm_main::BarCaptions() const {
  QStringList out;
  for (QAction* a : toolbar_->actions()) out << a->text();
  return out;
}

QAction* frm_main::BarButton(const QString& caption) const {
  for (QAction* a : toolbar_->actions())
    if (a->text() == caption) return a;
  return nullptr;
}

void frm_main::RemoveBarButton(const QString& caption) {
  const auto actions = toolbar_->actions();
  for (LoopCounter = 1; LoopCounter <= actions.size(); ++LoopCounter) {
    QAction* a = actions.at(LoopCounter - 1);
    if (a->text() == caption) {
      toolbar_->removeAction(a);
      a->deleteLater();
      return;
    }
  }
}

void frm_main::ShowAuthorization(bool modal) {
  auto* w = new frm_avtor(this);
  w->setAttribute(Qt::WA_DeleteOnClose);
  if (modal) w->exec();
  else w->show();
}

void frm_main::closeEvent(QCloseEvent* event) {
  if (optionsSlot_) optionsSlot_->close();
  mdi_->closeAllSubWindows();
  ClosePriceDatabaseLog();
  QMainWindow::closeEvent(event);
}
