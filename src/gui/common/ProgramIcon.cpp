#include "gui/common/ProgramIcon.h"

#include <QMdiSubWindow>
#include <QWidget>

QIcon ProgramIcon() { return QIcon(QStringLiteral(":/varnokel/varnokel.png")); }

void SetProgramIcon(QWidget* window) {
  const QIcon icon = ProgramIcon();
  window->setWindowIcon(icon);
  if (auto* frame = qobject_cast<QMdiSubWindow*>(window->parentWidget())) frame->setWindowIcon(icon);
}
