// Takes screenshots of the program's windows on a demo folder:
//   screenshots PROGRAM_FOLDER OUTPUT_FOLDER [WIDTH HEIGHT]
// The main window gets WIDTH x HEIGHT (1366 x 768 unless given); dialogs keep
// their own sizes. The demo folder holds a generated varnokel.mdb and a
// settings.ini whose [connection] points at a demo shop database (customer 57).
// Runs under any Qt platform (offscreen included); every message box is
// answered automatically so the run never blocks, and every box shown is
// printed, so a screenshot of a failed step does not pass unnoticed.
#include "app/MainWindow.h"
#include "app/ProgramStart.h"
#include "base/IniFile.h"
#include "base/ProgramFolder.h"
#include "base/Settings.h"
#include "gui/common/MessageBoxes.h"
#include "gui/grid/FlexGrid.h"
#include "gui/orders/OrdersWindow.h"
#include "gui/price/BigPictureWindow.h"
#include "gui/price/PriceWindow.h"
#include "gui/settings/AuthorizationDialog.h"
#include "gui/settings/OptionsDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

namespace {

msg::ScopedRecorder* recorder = nullptr;

void settle() {
  for (int i = 0; i < 20; ++i) QApplication::processEvents();
}

// Every box shown since the last call goes to stderr.
void reportBoxes(const char* step) {
  for (const auto& b : recorder->boxes) std::fprintf(stderr, "screenshots: %s: box \"%s\"\n", step, qPrintable(b.text));
  recorder->boxes.clear();
}

void save(QWidget* w, const QString& file) {
  settle();
  if (!w->grab().save(file))
    std::fprintf(stderr, "screenshots: cannot write %s\n", qPrintable(file));
  else
    std::printf("%s\n", qPrintable(file));
}

template <class W = QWidget>
W* named(const QObject* in, const char* name) {
  return in->findChild<W*>(QLatin1String(name));
}

void click(const QObject* in, const char* name) {
  if (auto* b = named<QAbstractButton>(in, name)) b->click();
  settle();
}

// The rows of the grid that show a picture (thumbnail layout), the first few.
int rowWithPicture(FlexGrid* g) {
  for (int r = 1; r < g->rows(); ++r)
    if (!g->cellPictureResolved(r, 4).isNull()) return r;
  return 1;
}

// Digits typed on a grid row, as the keyboard would.
void typeQuantity(PriceWindow* price, int row, const QString& digits) {
  FlexGrid* g = named<FlexGrid>(price, "MSFlexGrid1");
  if (row >= g->rows()) return;
  g->setRow(row);
  g->setCol(2);
  for (const QChar c : digits) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_0 + c.digitValue(), Qt::NoModifier, QString(c));
    QApplication::sendEvent(g, &press);
  }
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
  main.startUp(QString());
  main.showNormal();
  main.resize(width, height);
  main.showStartupWindow();
  settle();
  PriceWindow* price = main.priceWindow();
  FlexGrid* grid = named<FlexGrid>(price, "MSFlexGrid1");
  grid->setRow(3);
  save(&main, out + "/price-plain.png");
  click(price, "Check1");  // "Изображение": the preview box
  grid->setRow(2);
  save(&main, out + "/price-plain-preview.png");
  click(price, "Check2");  // "Изображения построчно"
  save(&main, out + "/price-thumbnails.png");
  reportBoxes("price list");

  // The big picture window over the price list.
  {
    const int row = rowWithPicture(grid);
    BigPictureWindow* big = BigPictureWindow::instance(price);
    big->showPicture(grid->textMatrix(row, 0), grid->textMatrix(row, 1));
    big->show();
    save(big, out + "/big-picture.png");
    big->hide();
    reportBoxes("big picture");
  }

  // The order view with its total, in the plain layout.
  click(price, "Check2");
  click(price, "Check1");
  typeQuantity(price, 2, QStringLiteral("5"));
  typeQuantity(price, 4, QStringLiteral("12"));
  typeQuantity(price, 7, QStringLiteral("3"));
  named(price, "Label2")->setVisible(true);  // as with "Выводить суммы" switched on
  click(price, "Command1");                  // "Заказ/Прайс"
  save(&main, out + "/order-view.png");
  reportBoxes("order view");

  // The authorization window with the demo customer's code typed in.
  {
    ShowAuthorizationDialog(price, false);
    auto* avtor = main.findChild<AuthorizationDialog*>();
    named<QLineEdit>(avtor, "Text2")->setText(QStringLiteral("57"));
    save(avtor, out + "/authorization.png");
    click(avtor, "Command1");  // signs in: the orders below are the demo customer's
    reportBoxes("authorization");
  }

  // The orders window over the last month, with the details of an order.
  main.openOrdersWindow();
  settle();
  if (OrdersWindow* orders = main.ordersWindow()) {
    named<QDateEdit>(orders, "DTPicker1")->setDate(QDate::currentDate().addDays(-40));
    settle();
    auto* list = named<FlexGrid>(orders, "MSFlexGrid1");
    if (list->rows() > 1) {
      list->setRow(list->rows() > 2 ? 2 : 1);
      orders->showCurrentOrder();
    }
    save(&main, out + "/orders.png");
  }
  reportBoxes("orders");

  // The settings dialog, a window of its own over the main window.
  main.openSettings();
  settle();
  if (OptionsDialog* options = main.optionsWindow()) save(options, out + "/settings.png");
  reportBoxes("settings");

  // The order cleared for the next run.
  click(price, "Command1");
  QString error;
  if (!price->database().clearQuantities(&error)) std::fprintf(stderr, "screenshots: %s\n", qPrintable(error));
  return 0;
}
