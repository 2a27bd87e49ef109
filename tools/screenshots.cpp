// Takes screenshots of the program's windows on a demo folder:
//   screenshots PROGRAM_FOLDER OUTPUT_FOLDER [WIDTH HEIGHT]
// The main window gets WIDTH x HEIGHT (1366 x 768 unless given); dialogs keep
// their own sizes. The demo folder holds a generated varnokel.mdb and a
// settings.ini whose [connection] points at a demo shop database (customer 57).
// Runs under any Qt platform (offscreen included); every message box is
// answered automatically so the run never blocks, and every box shown is
// printed, so a screenshot of a failed step does not pass unnoticed.
#include "gui/orders/OrdersWindow.h"
#include "gui/settings/OptionsDialog.h"
#include "gui/price/BigPictureWindow.h"
#include "gui/grid/FlexGrid.h"
#include "gui/price/PriceWindow.h"
#include "app/ProgramStart.h"
#include "base/ProgramFolder.h"
#include "gui/settings/AuthorizationDialog.h"
#include "app/MainWindow.h"
#include "base/IniFile.h"
#include "gui/common/MessageBoxes.h"
#include "base/Settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

namespace {

// A window's control by its objectName.
template <class T>
T* child(const QObject* window, const char* name) {
  return window->findChild<T*>(QLatin1String(name));
}


msg::ScopedRecorder* recorder = nullptr;

void settle() {
  for (int i = 0; i < 20; ++i) QApplication::processEvents();
}

// Every box shown since the last call goes to stderr.
void reportBoxes(const char* step) {
  for (const auto& b : recorder->boxes)
    std::fprintf(stderr, "screenshots: %s: box \"%s\"\n", step, qPrintable(b.text));
  recorder->boxes.clear();
}

void save(QWidget* w, const QString& file) {
  settle();
  if (!w->grab().save(file)) std::fprintf(stderr, "screenshots: cannot write %s\n", qPrintable(file));
  else std::printf("%s\n", qPrintable(file));
}

// The rows of the grid that show a picture (thumbnail layout), the first few.
int rowWithPicture(FlexGrid* g) {
  for (int r = 1; r < g->rows(); ++r)
    if (!g->cellPictureResolved(r, 4).isNull()) return r;
  return 1;
}

void typeQuantity(PriceWindow* price, int row, const QString& digits) {
  FlexGrid* g = child<FlexGrid>(price, "MSFlexGrid1");
  if (row >= g->rows()) return;
  g->setRow(row);
  g->setCol(2);
  // A row not ordered yet shows "0": cleared first, as a user would.
  if (!g->textMatrix(row, price->thumbnailsOn() ? 6 : 5).isEmpty()) price->typeOnGrid(8);
  for (const QChar c : digits) price->typeOnGrid(c.unicode());
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ApplyProgramFont();  // as the program itself starts
  if (argc < 3) {
    std::fprintf(stderr, "usage: screenshots PROGRAM_FOLDER OUTPUT_FOLDER [WIDTH HEIGHT]\n");
    return 2;
  }
  SetProgramFolder(QString::fromLocal8Bit(argv[1]));
  QDir::setCurrent(ProgramFolder());
  const QString out = QString::fromLocal8Bit(argv[2]);
  QDir().mkpath(out);
  const int width = argc > 4 ? atoi(argv[3]) : 1366;
  const int height = argc > 4 ? atoi(argv[4]) : 768;
  msg::ScopedRecorder boxes;
  recorder = &boxes;
  boxes.defaultAnswer = msg::Answer::No;

  MainWindow main;
  main.MDIForm_Load(QString());
  main.showNormal();
  main.resize(width, height);
  main.ShowStartupWindow();
  settle();
  PriceWindow* price = main.priceWindow();
  child<FlexGrid>(price, "MSFlexGrid1")->setRow(3);
  save(&main, out + "/price-plain.png");
  child<QCheckBox>(price, "Check1")->setChecked(true);
  price->togglePreview();
  child<FlexGrid>(price, "MSFlexGrid1")->setRow(2);
  save(&main, out + "/price-plain-preview.png");
  child<QCheckBox>(price, "Check2")->setChecked(true);
  price->toggleThumbnails();
  save(&main, out + "/price-thumbnails.png");
  reportBoxes("price list");

  // The big picture window over the price list.
  {
    FlexGrid* g = child<FlexGrid>(price, "MSFlexGrid1");
    const int row = rowWithPicture(g);
    BigPictureWindow* big = BigPictureWindow::instance(price);
    big->GetBig(g->textMatrix(row, 0), g->textMatrix(row, 1));
    big->show();
    save(big, out + "/big-picture.png");
    big->hide();
    reportBoxes("big picture");
  }

  // The order view with its total, in the plain layout.
  child<QCheckBox>(price, "Check2")->setChecked(false);
  price->toggleThumbnails();
  child<QCheckBox>(price, "Check1")->setChecked(false);
  price->togglePreview();
  typeQuantity(price, 2, QStringLiteral("5"));
  typeQuantity(price, 4, QStringLiteral("12"));
  typeQuantity(price, 7, QStringLiteral("3"));
  child<QLabel>(price, "Label2")->setVisible(true);  // as with "Выводить суммы" switched on
  price->switchOrderView();
  save(&main, out + "/order-view.png");
  reportBoxes("order view");

  // The authorization window with the demo customer's code typed in.
  {
    auto* avtor = new AuthorizationDialog(&main);
    avtor->setAttribute(Qt::WA_DeleteOnClose);
    avtor->findChild<QLineEdit*>(QStringLiteral("Text2"))->setText(QStringLiteral("57"));
    avtor->show();
    save(avtor, out + "/authorization.png");
    avtor->Command1_Click();  // signs in: the orders below are the demo customer's
    settle();
    reportBoxes("authorization");
  }

  // The orders window over the last month, with the details of an order.
  main.Orders_Click();
  settle();
  if (OrdersWindow* orders = main.ordersWindow()) {
    child<QDateEdit>(orders, "DTPicker1")->setDate(QDate::currentDate().addDays(-40));
    settle();
    if (child<FlexGrid>(orders, "MSFlexGrid1")->rows() > 1) {
      child<FlexGrid>(orders, "MSFlexGrid1")->setRow(child<FlexGrid>(orders, "MSFlexGrid1")->rows() > 2 ? 2 : 1);
      orders->MSFlexGrid1_EnterCell();
    }
    save(&main, out + "/orders.png");
  }
  reportBoxes("orders");

  // The settings dialog, a window of its own.
  main.settings_Click();
  settle();
  if (OptionsDialog* options = main.optionsWindow()) save(options, out + "/settings.png");
  reportBoxes("settings");

  // The price list back in front, with the order cleared for the next run.
  price->switchOrderView();
  price->database().clearQuantities(nullptr);
  return 0;
}
