#include "shell/ChildWindow.h"

#include "shell/frm_main.h"

#include <QCloseEvent>

ChildWindow::ChildWindow(frm_main* mainWindow, const QString& caption, QWidget* parent)
    : QWidget(parent), main_(mainWindow) {
  setWindowTitle(caption);
  setAttribute(Qt::WA_DeleteOnClose);
}

void ChildWindow::Form_Unload() {
  if (main_) main_->RemoveBarButton(windowTitle());
}

void ChildWindow::closeEvent(QCloseEvent* event) {
  if (!unloaded_) {
    unloaded_ = true;
    Form_Unload();
  }
  QWidget::closeEvent(event);
}

void ChildWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Form_Resize();
}
