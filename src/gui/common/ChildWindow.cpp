#include "gui/common/ChildWindow.h"

#include <QCloseEvent>

ChildWindow::ChildWindow(const QString& caption, QWidget* parent) : QWidget(parent) {
  setWindowTitle(caption);
  setAttribute(Qt::WA_DeleteOnClose);
}

void ChildWindow::unload() { emit barButtonRemovalRequested(windowTitle()); }

void ChildWindow::closeEvent(QCloseEvent* event) {
  if (!unloaded_) {
    unloaded_ = true;
    unload();
  }
  QWidget::closeEvent(event);
}

void ChildWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  layoutControls();
}
