// Price list figures on a 100,000-product price database, as a user feels them:
// from the event to the grid ready to paint. Each figure is printed beside the
// bare SQLite time of the statement that answers the same request.
//   bench_price PROGRAM_FOLDER   (the folder holds varnokel.mdb)
#include "gui/grid/FlexGrid.h"
#include "support/PriceStatements.h"
#include "gui/price/PriceWindow.h"
#include "base/ProgramFolder.h"
#include "data/Database.h"
#include "app/MainWindow.h"
#include "base/IniFile.h"
#include "gui/common/MessageBoxes.h"
#include "base/Settings.h"
#include "PeakMemory.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <sqlite3.h>
#include <vector>

namespace {

// A window's control by its objectName.
template <class T>
T* child(const QObject* window, const char* name) {
  return window->findChild<T*>(QLatin1String(name));
}


double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double timeMs(const std::function<void()>& f, int runs = 5) {
  std::vector<double> t;
  for (int i = 0; i < runs; ++i) {
    QElapsedTimer e;
    e.start();
    f();
    t.push_back(e.nsecsElapsed() / 1e6);
  }
  return median(t);
}

void print(const char* name, double value, const char* unit, double floor = -1) {
  if (floor > 0)
    std::printf("BENCH %s %.2f %s floor %.2f %s ratio %.2f\n", name, value, unit, floor, unit, value / floor);
  else
    std::printf("BENCH %s %.2f %s\n", name, value, unit);
  std::fflush(stdout);
}

// The bare statement: prepared, stepped to the end, every column read.
double bareMs(const QString& path, const QString& sql, int runs = 5) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
  const double ms = timeMs([&] {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW)
      for (int c = 0; c < sqlite3_column_count(st); ++c) {
        if (sqlite3_column_type(st, c) == SQLITE_BLOB) sqlite3_column_blob(st, c);
        else sqlite3_column_text(st, c);
      }
    sqlite3_finalize(st);
  }, runs);
  sqlite3_close(db);
  return ms;
}

double bareExecMs(const QString& path, const char* sql, int runs = 5) {
  sqlite3* db = nullptr;
  sqlite3_open(path.toUtf8().constData(), &db);
  const double ms = timeMs([&] { sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }, runs);
  sqlite3_close(db);
  return ms;
}

void settle(FlexGrid* g) {
  QApplication::processEvents();
  g->viewport()->repaint();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_price PROGRAM_FOLDER\n");
    return 2;
  }
  SetProgramFolder(QString::fromLocal8Bit(argv[1]));
  QDir::setCurrent(ProgramFolder());
  const QString db = PriceDatabasePath();
  msg::ScopedRecorder rec;
  MainWindow main;
  main.MDIForm_Load(QString());
  main.resize(1366, 768);
  WriteSetting(settings::path(), "settings", "imagetostring", "0");
  QElapsedTimer first;
  first.start();
  main.ShowStartupWindow();
  PriceWindow* w = main.priceWindow();
  FlexGrid* g = child<FlexGrid>(w, "MSFlexGrid1");
  settle(g);
  const double firstOpen = first.nsecsElapsed() / 1e6;

  struct Figures {
    double open = 0, reload = 0, category = 0, search3 = 0, search6 = 0, search3cat = 0, search6cat = 0;
  } plain, thumbs;
  const int nodeIndex = child<QTreeWidget>(w, "TreeView1")->topLevelItemCount() / 2;
  // The tree is rebuilt by every load: look the node up again each time.
  auto nodeNow = [&] { return child<QTreeWidget>(w, "TreeView1")->topLevelItem(nodeIndex); };
  QTreeWidgetItem* node = nodeNow();
  const QString catId = node->data(0, Qt::UserRole).toString().remove("cat");
  auto searchMs = [&](const QString& text, bool inCategory) {
    node = nodeNow();
    if (inCategory) {
      child<QTreeWidget>(w, "TreeView1")->setCurrentItem(node);
      child<QLineEdit>(w, "Text2")->setText(node->text(0));
    } else {
      child<QLineEdit>(w, "Text2")->clear();
    }
    return timeMs([&] {
      child<QLineEdit>(w, "Text1")->setText(text);
      w->searchKeyPressed(13);
      settle(g);
    });
  };
  for (bool withThumbs : {false, true}) {
    Figures& f = withThumbs ? thumbs : plain;
    child<QLineEdit>(w, "Text1")->clear();
    // Opening the window: a new window reads the price database afresh.
    WriteSetting(settings::path(), "settings", "imagetostring", withThumbs ? "1" : "0");
    {
      std::vector<double> runs;
      for (int i = 0; i < 5; ++i) {
        w->close();  // the old window goes first, outside the measured time
        QApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QElapsedTimer e;
        e.start();
        main.Pricelist_Click();
        w = main.priceWindow();
        g = child<FlexGrid>(w, "MSFlexGrid1");
        settle(g);
        runs.push_back(e.nsecsElapsed() / 1e6);
      }
      f.open = median(runs);
    }
    f.reload = timeMs([&] {
      child<QLineEdit>(w, "Text2")->clear();
      w->loadPriceList();
      settle(g);
    });
    node = nodeNow();
    child<QTreeWidget>(w, "TreeView1")->setCurrentItem(node);
    f.category = timeMs([&] {
      w->showSelectedCategory();
      settle(g);
    });
    child<QLineEdit>(w, "Text1")->clear();
    f.search3 = searchMs(QStringLiteral("чай"), false);
    f.search6 = searchMs(QStringLiteral("батаре"), false);
    f.search3cat = searchMs(QStringLiteral("ная"), true);
    f.search6cat = searchMs(QStringLiteral("кругла"), true);
  }
  // Scrolling a page of thumbnail rows (each page decodes new pictures).
  child<QCheckBox>(w, "Check2")->setChecked(true);
  child<QLineEdit>(w, "Text2")->clear();
  child<QLineEdit>(w, "Text1")->clear();
  w->loadPriceList();
  settle(g);
  g->setTopRow(1);
  settle(g);
  int top = 1;
  const double scroll = timeMs([&] {
    top += std::max(1, g->viewport()->height() / std::max(1, g->rowViewportPosition(1) >= 0 ? g->verticalHeader()->sectionSize(0) : 100));
    g->setTopRow(top);
    settle(g);
  }, 9);
  // A digit typed into a quantity cell: stored and the total shown.
  child<QCheckBox>(w, "Check2")->setChecked(false);
  w->loadPriceList();
  settle(g);
  g->setRow(5);
  g->setCol(2);
  int digit = 0;
  const double keyPress = timeMs([&] {
    w->typeOnGrid(digit++ % 2 ? 8 : '1');
  }, 21);
  const double storeOnly = timeMs([&] {
    w->database().storeQuantity(g->textMatrix(5, 0), 1, 150.0, nullptr);
  }, 21);
  const double totalOnly = timeMs([&] { w->showOrderTotal(); }, 21);
  const long peak = PeakMemoryMb();

  // Floors: the bare statements for the same requests.
  const QString whole = stmt::list(false, true);
  const QString wholeThumbs = stmt::list(true, true);
  const double floorPlain = bareMs(db, whole);
  const double floorCategory = bareMs(db, stmt::category(false, true, catId, QString()));
  const double floorCategoryThumbs = bareMs(db, stmt::category(true, true, catId, QString()));
  const double floorLike3 = bareMs(db, stmt::search(false, "p.name_ruRU_big", "ЧАЙ", "all"));
  const double floorLike6 = bareMs(db, stmt::search(false, "p.name_ruRU_big", "БАТАРЕ", "all"));
  const double floorLike3cat = bareMs(db, stmt::search(false, "p.name_ruRU_big", "НАЯ", catId));
  const double floorLike6cat = bareMs(db, stmt::search(false, "p.name_ruRU_big", "КРУГЛА", catId));
  const double floorLike3t = bareMs(db, stmt::search(true, "p.name_ruRU_big", "ЧАЙ", "all"), 3);
  const double floorLike6t = bareMs(db, stmt::search(true, "p.name_ruRU_big", "БАТАРЕ", "all"), 3);
  const double floorLike3catt = bareMs(db, stmt::search(true, "p.name_ruRU_big", "НАЯ", catId), 3);
  const double floorLike6catt = bareMs(db, stmt::search(true, "p.name_ruRU_big", "КРУГЛА", catId), 3);
  const double floorKey = bareExecMs(db, "update products set order_count=1 ,order_summ = 150 where product_id = '1'", 9) +
                          bareMs(db, "select sum(order_summ) from products", 9);
  const double floorPage = bareMs(db, "SELECT image_thumb FROM images WHERE rowid IN (SELECT rowid FROM images LIMIT 40 OFFSET 5000)", 9);
  const double floorThumbs = bareMs(db, wholeThumbs, 1);

  print("price_first_open_plain", firstOpen, "ms", floorPlain);
  print("price_open_plain", plain.open, "ms", floorPlain);
  print("price_open_thumbnails", thumbs.open, "ms", floorThumbs);
  print("price_reload_plain", plain.reload, "ms", floorPlain);
  print("price_reload_thumbnails", thumbs.reload, "ms", floorThumbs);
  print("price_category_plain", plain.category, "ms", floorCategory);
  print("price_category_thumbnails", thumbs.category, "ms", floorCategoryThumbs);
  print("search_3_all_plain", plain.search3, "ms", floorLike3);
  print("search_6_all_plain", plain.search6, "ms", floorLike6);
  print("search_3_category_plain", plain.search3cat, "ms", floorLike3cat);
  print("search_6_category_plain", plain.search6cat, "ms", floorLike6cat);
  print("search_3_all_thumbnails", thumbs.search3, "ms", floorLike3t);
  print("search_6_all_thumbnails", thumbs.search6, "ms", floorLike6t);
  print("search_3_category_thumbnails", thumbs.search3cat, "ms", floorLike3catt);
  print("search_6_category_thumbnails", thumbs.search6cat, "ms", floorLike6catt);
  print("scroll_page_thumbnails", scroll, "ms", floorPage);
  print("quantity_key_press", keyPress, "ms", floorKey);
  print("quantity_store_only", storeOnly, "ms");
  print("order_total_only", totalOnly, "ms");
  if (peak >= 0) print("peak_memory", static_cast<double>(peak), "MB");
  return 0;
}
