#include "gui/common/ShopTask.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// Work threads still running, and whether the application can still take their
// wake-up calls. Never destroyed: a thread may end after the program's statics.
struct Running {
  std::mutex m;
  std::condition_variable done;
  int count = 0;
  bool appAlive = true;
};
Running& running() {
  static Running* r = new Running;
  return *r;
}

// At the program's end, left-behind work gets a short while to close its
// connections before the application goes away.
void registerEndOfProgram() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  qAddPostRoutine([] {
    WaitForShopTasks(3000);
    std::lock_guard<std::mutex> lock(running().m);
    running().appAlive = false;
  });
}

// What the waiting window and the work's thread share.
struct Shared {
  std::mutex m;
  bool finished = false;
  QPointer<QEventLoop> loop;  // the window's side only
};

class BusyDialog : public QDialog {
 public:
  BusyDialog(const QString& text, std::function<void()> onCancel)
      : QDialog(QApplication::activeWindow()), onCancel_(std::move(onCancel)) {
    setObjectName(QLatin1String(shoptask::kDialogName));
    setWindowTitle(QStringLiteral("Подождите"));
    setWindowModality(Qt::ApplicationModal);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* layout = new QVBoxLayout(this);
    label_ = new QLabel(text, this);
    auto* bar = new QProgressBar(this);
    bar->setRange(0, 0);  // busy, no end known
    button_ = new QPushButton(QStringLiteral("Отмена"), this);
    button_->setObjectName(QLatin1String(shoptask::kCancelName));
    layout->addWidget(label_);
    layout->addWidget(bar);
    layout->addWidget(button_, 0, Qt::AlignHCenter);
    connect(button_, &QPushButton::clicked, this, [this] { onCancel_(); });
  }
  // The cancel was taken, but the work must reach its end first.
  void showCancelling() {
    label_->setText(QStringLiteral("Отмена… Дождитесь, пока сервер подтвердит, что записано в магазин."));
    button_->setEnabled(false);
  }
  // Escape and the window's close button cancel, as the button does.
  void reject() override {
    if (button_->isEnabled()) onCancel_();
  }

 private:
  std::function<void()> onCancel_;
  QLabel* label_;
  QPushButton* button_;
};

// Keeps the user's input away from every window but the busy dialog while shop
// work runs: keys, clicks, the wheel and closing a window.
class InputBlocker : public QObject {
 public:
  // `allowed` may be empty now and name the dialog later.
  explicit InputBlocker(const QPointer<QDialog>* allowed) : allowed_(allowed) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
      case QEvent::InputMethod:
      case QEvent::ContextMenu:
        break;
      case QEvent::Close:
        if (!event->spontaneous()) return false;
        break;
      default:
        return false;
    }
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w) return false;  // the platform windows pass their input on to widgets, seen here
    const QDialog* allowed = allowed_->data();
    if (allowed && (w == allowed || allowed->isAncestorOf(w))) return false;
    event->accept();
    return true;
  }

 private:
  const QPointer<QDialog>* allowed_;
};

}  // namespace

bool shoptask::run(const QString& busyText, const std::shared_ptr<TaskControl>& control, std::function<void()> work) {
  registerEndOfProgram();
  auto shared = std::make_shared<Shared>();
  {
    std::lock_guard<std::mutex> lock(running().m);
    ++running().count;
  }
  std::thread([shared, work = std::move(work)] {
    try {
      work();
    } catch (...) {
    }
    {
      std::lock_guard<std::mutex> lock(shared->m);
      shared->finished = true;
    }
    std::lock_guard<std::mutex> lock(running().m);
    if (running().appAlive && QCoreApplication::instance())
      QMetaObject::invokeMethod(
          QCoreApplication::instance(),
          [shared] {
            if (shared->loop) shared->loop->quit();
          },
          Qt::QueuedConnection);
    --running().count;
    running().done.notify_all();
  }).detach();

  QEventLoop loop;
  bool abandoned = false;
  // The waiting window is made only for work that lasts long enough to show it.
  QPointer<QDialog> dialog;
  InputBlocker blocker(&dialog);
  qApp->installEventFilter(&blocker);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QTimer showLater;
  showLater.setSingleShot(true);
  QObject::connect(&showLater, &QTimer::timeout, [&] {
    dialog = new BusyDialog(busyText, [&] {
      if (control->cancel()) {
        abandoned = true;
        loop.quit();
      } else if (auto* d = static_cast<BusyDialog*>(dialog.data())) {
        d->showCancelling();
      }
    });
    dialog->show();
  });
  showLater.start(300);

  shared->loop = &loop;
  bool finished = false;
  {
    std::lock_guard<std::mutex> lock(shared->m);
    finished = shared->finished;
  }
  if (!finished) loop.exec(QEventLoop::AllEvents);

  shared->loop = nullptr;
  showLater.stop();
  QApplication::restoreOverrideCursor();
  qApp->removeEventFilter(&blocker);
  delete dialog.data();
  return !abandoned;
}

bool WaitForShopTasks(int ms) {
  std::unique_lock<std::mutex> lock(running().m);
  return running().done.wait_for(lock, std::chrono::milliseconds(ms), [] { return running().count == 0; });
}
