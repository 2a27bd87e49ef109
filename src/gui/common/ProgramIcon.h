#pragma once
// The program's own icon, for the window bar, the title bars and the child
// windows' system menu.
#include <QIcon>

class QWidget;

QIcon ProgramIcon();
// Gives a window (and the MDI frame around it, if any) the program's icon.
void SetProgramIcon(QWidget* window);
