// Typing quantities into the product grid, the order total and the view switch.
#include "fixtures/program_env.h"
#include "fixtures/sample_data.h"
#include "gui/grid/FlexGrid.h"
#include "gui/price/PriceWindow.h"
#include "data/Database.h"
#include "app/MainWindow.h"
#include "base/IniFile.h"
#include "gui/common/MessageBoxes.h"
#include "base/Settings.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include "support/Widgets.h"

#include <QtTest>
#include <sqlite3.h>

namespace {

void buildSample(const QString& path) {
  PriceDbBuilder db(path);
  db.addCategory(1, "Посуда");
  db.addProduct("1", 1, "A-1", 10, 150, "Ведро");
  db.addProduct("2", 1, "A-2", 10, 12.5, "Кружка");
  db.addProduct("3", 1, "A-3", 10, 99.9, "Тарелка");
  db.addImage("1", PriceDbBuilder::jpeg(40, 40, Qt::red), "1.jpg");
}

// The stored quantity and sum of a product, as text.
QStringList stored(const QString& path, const QString& id) {
  const auto rows = queryPriceDb(path, "select order_count, order_summ from products where product_id = '" + id + "'");
  return rows.isEmpty() ? QStringList() : rows.first();
}

int rowOf(FlexGrid* g, const QString& id) {
  for (int r = 1; r < g->rows(); ++r)
    if (g->textMatrix(r, 0) == id) return r;
  return -1;
}

struct Window {
  Window() {
    main.MDIForm_Load(QString());
    main.ShowStartupWindow();
    w = main.priceWindow();
    g = child<FlexGrid>(w, "MSFlexGrid1");
  }
  void type(const QString& id, const QString& keys) {
    g->setRow(rowOf(g, id));
    for (QChar k : keys) w->typeOnGrid(k == QLatin1Char('\b') ? 8 : k.unicode());
  }
  MainWindow main;
  PriceWindow* w;
  FlexGrid* g;
};

}  // namespace

class OrderEntryTest : public QObject {
  Q_OBJECT

private slots:
  // Every test: the sample price list in a fresh program folder, boxes recorded.
  void init() {
    QLocale::setDefault(QLocale::c());
    folder_ = std::make_unique<TestProgramFolder>();
    buildSample(folder_->priceDb());
    rec_ = std::make_unique<msg::ScopedRecorder>();
  }
  void cleanup() {
    rec_.reset();
    folder_.reset();
    QLocale::setDefault(QLocale::c());
  }
  void digitsAndBackspace();
  void thumbnailLayoutColumnsAndRealKeys();
  void fractionalPriceInRussianLocale();
  void lettersGoToTheSearchBox();
  void viewSwitch();
  void totalFollowsTheStoredSums();

private:
  std::unique_ptr<TestProgramFolder> folder_;
  std::unique_ptr<msg::ScopedRecorder> rec_;
};

void OrderEntryTest::digitsAndBackspace() {
  WriteSetting(settings::path(), "settings", "visiblesumm", "1");
  Window win;
  const int r = rowOf(win.g, "1");
  win.type("1", "12");
  QCOMPARE(win.g->textMatrix(r, 5), QStringLiteral("12"));
  QCOMPARE(win.g->textMatrix(r, 6), QStringLiteral("1800"));
  QCOMPARE(stored(folder_->priceDb(), "1"), (QStringList{"12", "1800.0"}));
  QCOMPARE(child<QLabel>(win.w, "Label2")->text(), QStringLiteral("Сумма заказа : 1800"));
  win.type("1", "\b");
  QCOMPARE(win.g->textMatrix(r, 5), QStringLiteral("1"));
  QCOMPARE(win.g->textMatrix(r, 6), QStringLiteral("150"));
  QCOMPARE(stored(folder_->priceDb(), "1"), (QStringList{"1", "150.0"}));
  win.type("1", "\b");
  QCOMPARE(win.g->textMatrix(r, 5), QString());
  QCOMPARE(win.g->textMatrix(r, 6), QString());
  QCOMPARE(stored(folder_->priceDb(), "1"), (QStringList{"0", "0.0"}));
  QCOMPARE(child<QLabel>(win.w, "Label2")->text(), QString());
  win.type("1", "\b");  // an empty cell: nothing changes
  QCOMPARE(win.g->textMatrix(r, 5), QString());
  // A leading zero stays in the cell; the database keeps the number.
  win.type("1", "05");
  QCOMPARE(win.g->textMatrix(r, 5), QStringLiteral("05"));
  QCOMPARE(win.g->textMatrix(r, 6), QStringLiteral("750"));
  QCOMPARE(stored(folder_->priceDb(), "1"), (QStringList{"5", "750.0"}));
  // At most six digits.
  win.type("1", "\b\b999999999");
  QCOMPARE(win.g->textMatrix(r, 5), QStringLiteral("999999"));
  QCOMPARE(stored(folder_->priceDb(), "1"), (QStringList{"999999", "149999850.0"}));
  // The header row takes no quantities.
  win.g->setRow(1);
  win.g->setRowSel(0);
  win.w->typeOnGrid('7');
  QCOMPARE(win.g->textMatrix(0, 5), QStringLiteral("ЗАКАЗ"));
  QVERIFY(rec_->boxes.empty());
}

void OrderEntryTest::thumbnailLayoutColumnsAndRealKeys() {
  WriteSetting(settings::path(), "settings", "imagetostring", "1");
  Window win;
  QCOMPARE(win.g->cols(), 8);
  win.w->show();
  const int r = rowOf(win.g, "1");
  win.g->setFocus();
  win.g->setRow(r);
  win.g->setCol(2);
  QTest::keyClick(win.g, Qt::Key_3);
  QTest::keyClick(win.g, Qt::Key_0);
  QCOMPARE(win.g->textMatrix(r, 6), QStringLiteral("30"));
  QCOMPARE(win.g->textMatrix(r, 7), QStringLiteral("4500"));
  QTest::keyClick(win.g, Qt::Key_Backspace);
  QCOMPARE(win.g->textMatrix(r, 6), QStringLiteral("3"));
  QCOMPARE(stored(folder_->priceDb(), "1"), (QStringList{"3", "450.0"}));
  // Arrow keys move the row; the next digits go to the new row.
  QTest::keyClick(win.g, Qt::Key_Down);
  const int next = win.g->rowSel();
  QVERIFY(next != r);
  QTest::keyClick(win.g, Qt::Key_2);
  QCOMPARE(win.g->textMatrix(next, 6), QStringLiteral("2"));
}

void OrderEntryTest::fractionalPriceInRussianLocale() {
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  Window win;
  const int r = rowOf(win.g, "2");
  QCOMPARE(win.g->textMatrix(r, 4), QStringLiteral("12,5"));  // the cell in the locale's notation
  win.type("2", "3");
  QCOMPARE(win.g->textMatrix(r, 6), QStringLiteral("37,5"));
  // The database gets the number, not the locale's text.
  QCOMPARE(stored(folder_->priceDb(), "2"), (QStringList{"3", "37.5"}));
  win.type("3", "3");
  QCOMPARE(stored(folder_->priceDb(), "3"), (QStringList{"3", "299.7"}));
  win.w->showOrderTotal();
  QCOMPARE(child<QLabel>(win.w, "Label2")->text(), QStringLiteral("Сумма заказа : 337.2"));
}

void OrderEntryTest::lettersGoToTheSearchBox() {
  Window win;
  win.w->show();
  QApplication::setActiveWindow(&win.main);
  QVERIFY(QTest::qWaitForWindowActive(&win.main));
  win.g->setFocus();
  win.type("1", "к");
  QCOMPARE(child<QLineEdit>(win.w, "Text1")->text(), QStringLiteral("к"));
  QCOMPARE(child<QLineEdit>(win.w, "Text1")->cursorPosition(), 1);
  QVERIFY(child<QLineEdit>(win.w, "Text1")->hasFocus());
  QCOMPARE(win.g->textMatrix(rowOf(win.g, "1"), 5), QString());
  // In the order view the box is disabled: the letter lands there, the focus stays.
  win.type("1", "1");
  win.w->switchOrderView();
  QVERIFY(!child<QLineEdit>(win.w, "Text1")->isEnabled());
  win.g->setFocus();
  win.type("1", "м");
  QCOMPARE(child<QLineEdit>(win.w, "Text1")->text(), QStringLiteral("м"));
  QVERIFY(win.g->hasFocus());
}

void OrderEntryTest::viewSwitch() {
  Window win;
  PriceWindow* w = win.w;
  QVERIFY(!child<QPushButton>(w, "Command4")->isEnabled());
  // No ordered product: header only, labels empty, sending enabled.
  w->switchOrderView();
  QVERIFY(!win.w->showsWholePrice());
  QCOMPARE(win.g->rows(), 1);
  QCOMPARE(child<QLabel>(w, "Label1")->text(), QString());
  QCOMPARE(child<QLabel>(w, "Label2")->text(), QString());
  QVERIFY(child<QPushButton>(w, "Command4")->isEnabled());
  w->switchOrderView();
  QVERIFY(win.w->showsWholePrice());
  QCOMPARE(win.g->rows(), 4);
  QCOMPARE(child<QLabel>(w, "Label1")->text(), QStringLiteral("Выведено 3"));
  win.type("3", "2");
  win.type("1", "1");
  w->switchOrderView();
  QCOMPARE(win.g->rows(), 3);
  QCOMPARE(win.g->textMatrix(1, 2), QStringLiteral("Ведро"));
  QCOMPARE(win.g->textMatrix(2, 2), QStringLiteral("Тарелка"));
  QCOMPARE(child<QLabel>(w, "Label1")->text(), QStringLiteral("Выведено 2"));
  QCOMPARE(child<QLabel>(w, "Label2")->text(), QStringLiteral("Сумма заказа : 349.8"));
  QVERIFY(!child<QLineEdit>(w, "Text1")->isEnabled());
  // A quantity removed in the order view keeps its row until the next load.
  win.type("1", "\b");
  QCOMPARE(win.g->rows(), 3);
  w->switchOrderView();
  QCOMPARE(child<QLabel>(w, "Label2")->text(), QString());  // emptied even with quantities
  QVERIFY(child<QLineEdit>(w, "Text1")->isEnabled());
  QVERIFY(!child<QPushButton>(w, "Command4")->isEnabled());
  QCOMPARE(win.g->textMatrix(rowOf(win.g, "3"), 5), QStringLiteral("2"));
  QVERIFY(rec_->boxes.empty());
}

void OrderEntryTest::totalFollowsTheStoredSums() {
  {
    Window win;
    win.type("1", "2");
    win.type("2", "4");
    win.w->showOrderTotal();
    QCOMPARE(child<QLabel>(win.w, "Label2")->text(), QStringLiteral("Сумма заказа : 350"));
    // A store that fails (the file is locked by another writer) keeps the stored
    // state: the total is still the sum of what the database holds.
    sqlite3* locker = nullptr;
    sqlite3_open(folder_->priceDb().toUtf8().constData(), &locker);
    QCOMPARE(sqlite3_exec(locker, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    win.type("3", "5");
    sqlite3_exec(locker, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(locker);
    win.w->showOrderTotal();
    QCOMPARE(child<QLabel>(win.w, "Label2")->text(), QStringLiteral("Сумма заказа : 350"));
    QCOMPARE(stored(folder_->priceDb(), "3"), (QStringList{"0", "0.0"}));
    win.main.close();
  }
  // Quantities survive closing and restarting the program.
  Window again;
  QCOMPARE(again.g->textMatrix(rowOf(again.g, "1"), 5), QStringLiteral("2"));
  QCOMPARE(again.g->textMatrix(rowOf(again.g, "2"), 6), QStringLiteral("50"));
  again.w->showOrderTotal();
  QCOMPARE(child<QLabel>(again.w, "Label2")->text(), QStringLiteral("Сумма заказа : 350"));
  QCOMPARE(queryPriceDb(folder_->priceDb(), "select sum(order_summ) from products").first().first().toDouble(), 350.0);
}

QTEST_MAIN(OrderEntryTest)
#include "test_order_entry.moc"
