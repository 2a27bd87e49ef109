#pragma once
// What the window tests share: windows, the message recorder, the program folder.
#include "app/MainWindow.h"
#include "base/IniFile.h"
#include "base/Settings.h"
#include "fixtures/program_env.h"
#include "fixtures/sample_data.h"
#include "gui/common/MessageBoxes.h"
#include "gui/grid/FlexGrid.h"
#include "gui/price/PriceWindow.h"

#include <QtTest>
#include <QtWidgets>

using namespace Qt::StringLiterals;

// A window's control by its objectName, as a user's eye finds it by place.
template <class T>
T* child(const QObject* window, const char* name) {
  T* w = window ? window->findChild<T*>(QLatin1String(name)) : nullptr;
  if (!w) qFatal("no control %s", name);
  return w;
}

// The first grid row whose cell in the column holds the text, or -1.
inline int rowOf(const FlexGrid* g, const QString& text, int col = 0) {
  for (int r = 1; r < g->rows(); ++r)
    if (g->textMatrix(r, col) == text) return r;
  return -1;
}

// The texts of a grid column below its header.
inline QStringList column(const FlexGrid* g, int col) {
  QStringList out;
  for (int r = 1; r < g->rows(); ++r) out << g->textMatrix(r, col);
  return out;
}

// "Изображения построчно" ticked: one grid row per picture.
inline void showPictureRows(PriceWindow* w) {
  child<QCheckBox>(w, "Check2")->setChecked(true);
  w->toggleThumbnails();
}

// The main window started as the program starts it, with its price window open.
struct PriceProgram {
  PriceProgram() {
    main.startUp(QString());
    main.showStartupWindow();
    w = main.priceWindow();
    g = child<FlexGrid>(w, "MSFlexGrid1");
  }
  int rowOf(const QString& id) const { return ::rowOf(g, id); }
  MainWindow main;
  PriceWindow* w = nullptr;
  FlexGrid* g = nullptr;
};
