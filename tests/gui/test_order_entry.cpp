// Typing quantities into the product grid, the order total and the view switch.
#include "base/IniFile.h"
#include "base/Settings.h"
#include "fixtures/program_env.h"
#include "fixtures/sample_data.h"
#include "gui/common/MessageBoxes.h"
#include "support/PriceProgram.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

struct Window : PriceProgram {
  void type(const QString& id, const QString& keys) {
    g->setRow(rowOf(id));
    for (QChar k : keys) w->typeOnGrid(k == QLatin1Char('\b') ? 8 : k.unicode());
  }
  QString label(const char* name) const { return child<QLabel>(w, name)->text(); }
};

}  // namespace

class OrderEntryTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TestProgramFolder> folder_;
  std::unique_ptr<msg::ScopedRecorder> rec_;
  // The stored quantity and sum of a product, as text.
  QStringList stored(const QString& id) const {
    return queryPriceDb(folder_->priceDb(),
                        "select order_count, order_summ from products where product_id = '" + id + "'")
        .value(0);
  }

 private slots:
  // Every test: a small price list in a fresh program folder, boxes recorded.
  void init() {
    QLocale::setDefault(QLocale::c());
    folder_ = std::make_unique<TestProgramFolder>();
    PriceDbBuilder db(folder_->priceDb());
    db.addCategory(1, "Посуда");
    db.addProduct("1", 1, "A-1", 10, 150, "Ведро");
    db.addProduct("2", 1, "A-2", 10, 12.5, "Кружка");
    db.addProduct("3", 1, "A-3", 10, 99.9, "Тарелка");
    db.addImage("1", PriceDbBuilder::jpeg(40, 40, Qt::red), "1.jpg");
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
  void viewSwitch();
  void quantitiesSurviveARestart();
};

// Each step: the keys typed on Ведро (150), the cells shown, what the database holds and
// the total's label ("-": not looked at). A leading zero stays in the cell only; at most
// six digits; backspace on an empty cell changes nothing.
void OrderEntryTest::digitsAndBackspace() {
  WriteSetting(settings::path(), "settings", "visiblesumm", "1");
  Window win;
  const int r = win.rowOf("1");
  const struct {
    const char* keys;
    QString count, sum;
    QStringList db;
    QString label;
  } steps[] = {{"12", "12", "1800", {"12", "1800.0"}, "Сумма заказа : 1800"},
               {"\b", "1", "150", {"1", "150.0"}, "-"},
               {"\b", "", "", {"0", "0.0"}, ""},
               {"\b", "", "", {"0", "0.0"}, "-"},
               {"05", "05", "750", {"5", "750.0"}, "-"},
               {"\b\b999999999", "999999", "149999850", {"999999", "149999850.0"}, "-"}};
  for (const auto& s : steps) {
    win.type("1", QString::fromLatin1(s.keys));
    QCOMPARE((QStringList{win.g->textMatrix(r, 5), win.g->textMatrix(r, 6)}), (QStringList{s.count, s.sum}));
    QCOMPARE(stored("1"), s.db);
    if (s.label != u"-") QCOMPARE(win.label("Label2"), s.label);
  }
  QVERIFY(rec_->boxes.empty());
}

void OrderEntryTest::thumbnailLayoutColumnsAndRealKeys() {
  WriteSetting(settings::path(), "settings", "imagetostring", "1");
  Window win;
  QCOMPARE(win.g->cols(), 8);
  win.w->show();
  const int r = win.rowOf("1");
  win.g->setFocus();
  win.g->setRow(r);
  win.g->setCol(2);
  QTest::keyClick(win.g, Qt::Key_3);
  QTest::keyClick(win.g, Qt::Key_0);
  QCOMPARE(win.g->textMatrix(r, 6), QStringLiteral("30"));
  QCOMPARE(win.g->textMatrix(r, 7), QStringLiteral("4500"));
  QTest::keyClick(win.g, Qt::Key_Backspace);
  QCOMPARE(win.g->textMatrix(r, 6), QStringLiteral("3"));
  QCOMPARE(stored("1"), (QStringList{"3", "450.0"}));
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
  const int r = win.rowOf("2");
  QCOMPARE(win.g->textMatrix(r, 4), QStringLiteral("12,5"));  // the cell in the locale's notation
  win.type("2", "3");
  QCOMPARE(win.g->textMatrix(r, 6), QStringLiteral("37,5"));
  // The database gets the number, not the locale's text.
  QCOMPARE(stored("2"), (QStringList{"3", "37.5"}));
  win.type("3", "3");
  QCOMPARE(stored("3"), (QStringList{"3", "299.7"}));
  win.w->showOrderTotal();
  QCOMPARE(win.label("Label2"), QStringLiteral("Сумма заказа : 337.2"));
}

void OrderEntryTest::viewSwitch() {
  Window win;
  win.w->show();
  QApplication::setActiveWindow(&win.main);
  QVERIFY(QTest::qWaitForWindowActive(&win.main));
  // Rows, the two labels, whether the search box and sending are enabled.
  const auto state = [&win] {
    return QStringList{QString::number(win.g->rows()), win.label("Label1"), win.label("Label2"),
                       QString::number(child<QLineEdit>(win.w, "Text1")->isEnabled()),
                       QString::number(child<QPushButton>(win.w, "Command4")->isEnabled())};
  };
  QCOMPARE(state(), (QStringList{"4", "Выведено 3", "", "1", "0"}));
  win.w->switchOrderView();  // no ordered product: header only
  QCOMPARE(state(), (QStringList{"1", "", "", "0", "1"}));
  // A digit typed on the header-only grid changes no caption and stores nothing.
  win.g->setFocus();
  QTest::keyClick(win.g, Qt::Key_7);
  QCOMPARE(win.g->textMatrix(0, 5), QStringLiteral("ЗАКАЗ"));
  QVERIFY2(rec_->boxes.empty(), qPrintable(rec_->texts().join('|')));
  QCOMPARE(queryPriceDb(folder_->priceDb(), "select count(*) from products where order_count <> 0").value(0),
           QStringList{"0"});
  win.w->switchOrderView();
  win.type("3", "2");
  win.type("1", "1");
  win.w->switchOrderView();
  QCOMPARE(state(), (QStringList{"3", "Выведено 2", "Сумма заказа : 349.8", "0", "1"}));
  QCOMPARE((QStringList{win.g->textMatrix(1, 2), win.g->textMatrix(2, 2)}), (QStringList{"Ведро", "Тарелка"}));
  // The search box is disabled here: a letter lands in it, the keyboard stays on the grid.
  win.g->setFocus();
  win.type("1", "м");
  QCOMPARE(child<QLineEdit>(win.w, "Text1")->text(), QStringLiteral("м"));
  QVERIFY(win.g->hasFocus());
  win.type("1", "\b");  // a quantity removed in the order view keeps its row until the next load
  QCOMPARE(win.g->rows(), 3);
  win.w->switchOrderView();  // the total is emptied even with quantities
  QCOMPARE(state(), (QStringList{"4", "Выведено 3", "", "1", "0"}));
  QCOMPARE(win.g->textMatrix(win.rowOf("3"), 5), QStringLiteral("2"));
  QVERIFY(rec_->boxes.empty());
}

void OrderEntryTest::quantitiesSurviveARestart() {
  {
    Window win;
    win.type("1", "2");
    win.type("2", "4");
    win.main.close();
  }
  Window again;
  QCOMPARE(again.g->textMatrix(again.rowOf("1"), 5), QStringLiteral("2"));
  QCOMPARE(again.g->textMatrix(again.rowOf("2"), 6), QStringLiteral("50"));
  again.w->showOrderTotal();
  QCOMPARE(again.label("Label2"), QStringLiteral("Сумма заказа : 350"));
}

QTEST_MAIN(OrderEntryTest)
#include "test_order_entry.moc"
