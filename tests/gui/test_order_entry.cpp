// Typing quantities into the product grid, the order total and the view switch.
#include "support/WindowTest.h"

namespace {

struct Window : PriceProgram {
  void type(const QString& id, const QString& keys) {
    g->setRow(rowOf(id));
    for (QChar k : keys) w->typeOnGrid(k == QLatin1Char('\b') ? 8 : k.unicode());
  }
  QStringList cells(const QString& id, int quantityCol = 5) const {
    return {g->textMatrix(rowOf(id), quantityCol), g->textMatrix(rowOf(id), quantityCol + 1)};
  }
  QString total() const { return child<QLabel>(w, "Label2")->text(); }
};

}  // namespace

class OrderEntryTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TestProgramFolder> folder_;
  std::unique_ptr<msg::ScopedRecorder> rec_;
  QStringList stored(const QString& id) const {
    return queryPriceDb(folder_->priceDb(),
                        "select order_count, order_summ from products where product_id = '" + id + "'")
        .value(0);
  }

 private slots:
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
    QVERIFY2(rec_->boxes.empty(), qPrintable(rec_->texts().join('|')));
    rec_.reset();
    folder_.reset();
    QLocale::setDefault(QLocale::c());
  }

  // Each step: the keys typed on Ведро (150), the cells shown and what the database holds.
  // A leading zero stays in the cell only; at most six digits.
  void digitsAndBackspace() {
    WriteSetting(settings::path(), "settings", "visiblesumm", "1");
    Window win;
    const std::tuple<const char*, QStringList, QStringList> steps[] = {
        {"12", {"12", "1800"}, {"12", "1800.0"}},
        {"\b\b\b", {"", ""}, {"0", "0.0"}},
        {"05", {"05", "750"}, {"5", "750.0"}},
        {"\b\b999999999", {"999999", "149999850"}, {"999999", "149999850.0"}}};
    for (const auto& [keys, cells, db] : steps) {
      win.type("1", QString::fromLatin1(keys));
      QCOMPARE(win.cells("1"), cells);
      QCOMPARE(stored("1"), db);
    }
    QCOMPARE(win.total(), QStringLiteral("Сумма заказа : 149999850"));
  }

  // Real keys in the picture layout, where the quantity is one column further right;
  // after an arrow key the digits go to the new row.
  void pictureLayoutWithRealKeys() {
    WriteSetting(settings::path(), "settings", "imagetostring", "1");
    Window win;
    win.w->show();
    win.g->setFocus();
    win.g->setRow(win.rowOf("1"));
    win.g->setCol(2);
    for (Qt::Key k : {Qt::Key_3, Qt::Key_0, Qt::Key_Backspace, Qt::Key_Down, Qt::Key_2}) QTest::keyClick(win.g, k);
    QCOMPARE(win.cells("1", 6), (QStringList{"3", "450"}));
    QCOMPARE(stored("1"), (QStringList{"3", "450.0"}));
    QCOMPARE(stored(win.g->textMatrix(win.g->rowSel(), 0)).value(0), QStringLiteral("2"));
  }

  // The database gets the number, not the locale's text.
  void fractionalPriceInRussianLocale() {
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    Window win;
    win.type("2", "3");
    win.type("3", "3");
    QCOMPARE(win.cells("2") << win.g->textMatrix(win.rowOf("2"), 4), (QStringList{"3", "37,5", "12,5"}));
    QCOMPARE(stored("2") + stored("3"), (QStringList{"3", "37.5", "3", "299.7"}));
    win.w->showOrderTotal();
    QCOMPARE(win.total(), QStringLiteral("Сумма заказа : 337.2"));
  }

  void viewSwitch() {
    Window win;
    win.w->show();
    win.w->switchOrderView();  // no ordered product: the header only
    QCOMPARE(win.g->rows(), 1);
    // A digit typed on the header-only grid changes no caption and stores nothing.
    win.g->setFocus();
    QTest::keyClick(win.g, Qt::Key_7);
    QCOMPARE(win.g->textMatrix(0, 5), QStringLiteral("ЗАКАЗ"));
    QCOMPARE(queryPriceDb(folder_->priceDb(), "select count(*) from products where order_count <> 0").value(0),
             QStringList{"0"});
    win.w->switchOrderView();
    win.type("3", "2");
    win.type("1", "1");
    win.w->switchOrderView();
    QCOMPARE((QStringList{win.g->textMatrix(1, 2), win.g->textMatrix(2, 2), win.total()}),
             (QStringList{"Ведро", "Тарелка", "Сумма заказа : 349.8"}));
    win.type("1", "\b");  // a quantity removed in the order view keeps its row until the next load
    QCOMPARE(win.g->rows(), 3);
    win.w->switchOrderView();
    QCOMPARE((QStringList{QString::number(win.g->rows()), win.cells("3").value(0), win.total()}),
             (QStringList{"4", "2", ""}));
  }
};

QTEST_MAIN(OrderEntryTest)
#include "test_order_entry.moc"
