// The price window on real price files: fills, category clicks, search, wheel, typed
// quantities, the total and the view switch, the preview box and the big picture window.
#include "gui/price/BigPictureWindow.h"
#include "gui/price/PriceGridFill.h"
#include "support/WindowTest.h"

namespace {

// A small price list with every case the fills distinguish.
void buildSample(const QString& path) {
  PriceDbBuilder db(path);
  db.addCategory(7, "Чай и кофе");
  db.addCategory(3, "бытовая химия");
  db.addCategory(12, "Ёлочные игрушки");
  db.addCategory(5, "Елки");
  db.addProduct("101", 7, "A-1", 99, 150, "Чай чёрный листовой 200 г");
  db.addProduct("102", 7, "A-2", 100, 12.5, "чай зелёный 100 г");
  db.addProduct("103", 7, "A-3", 250, 80, "Кофе молотый 250 г", 3, 240);
  db.addProduct("104", 3, "B-1", 5, 99.9, "Мыло д'Артаньян");
  db.addProduct("105", 12, "C-1", QVariant(), 40, "Ёлочный шар красный");
  db.addProduct("106", 5, "C-2", 0, QVariant(), "Елка искусственная 1,5 м");
  db.addProduct("107", 7, "A-4", 10, 20, "ЧАЙНИК стальной");
  db.addImage("101", PriceDbBuilder::jpeg(160, 120, Qt::red), "same.jpg");
  db.addImage("102", PriceDbBuilder::png(100, 50, Qt::blue), "same.jpg");
  db.addImage("103", QByteArray(""), "empty.jpg");
  db.addImage("104", QByteArray("not a picture"), "bad.jpg");
  db.addImage("107", PriceDbBuilder::jpeg(50, 50, Qt::green), "k1.jpg");
  db.addImage("107", PriceDbBuilder::jpeg(50, 50, Qt::yellow), "k2.jpg");
}

// Three dishes, the bucket (150) with a picture.
void buildDishes(const QString& path) {
  PriceDbBuilder db(path);
  db.addCategory(1, "Посуда");
  db.addProduct("1", 1, "A-1", 10, 150, "Ведро");
  db.addProduct("2", 1, "A-2", 10, 12.5, "Кружка");
  db.addProduct("3", 1, "A-3", 10, 99.9, "Тарелка");
  db.addImage("1", PriceDbBuilder::jpeg(40, 40, Qt::red), "1.jpg");
}
constexpr int kSample = -1, kDishes = -2;

// A fresh program folder with a price list (a sample, `generated` products, or none
// at 0) and a setting of [settings] on, every box recorded.
struct Folder {
  Folder(int generated, const char* setting) {
    if (generated == kSample) buildSample(folder.priceDb());
    if (generated == kDishes) buildDishes(folder.priceDb());
    if (generated > 0) makePriceDb(folder.priceDb(), generated, 3);
    if (setting) WriteSetting(settings::path(), "settings", setting, "1");
  }
  TestProgramFolder folder;
  msg::ScopedRecorder rec;
};
struct Program : Folder, PriceProgram {
  explicit Program(int generated = kSample, const char* setting = nullptr) : Folder(generated, setting) {}
  QStringList column(int c) const { return ::column(g, c); }
  void type(const QString& id, const QString& keys) {
    g->setRow(rowOf(id));
    for (QChar k : keys) w->typeOnGrid(k == QLatin1Char('\b') ? 8 : k.unicode());
  }
  // The quantity and sum cells shown, and stored.
  QStringList cells(const QString& id, int quantityCol = 5) const {
    return {g->textMatrix(rowOf(id), quantityCol), g->textMatrix(rowOf(id), quantityCol + 1)};
  }
  QStringList stored(const QString& id) const {
    return queryPriceDb(folder.priceDb(),
                        "select order_count, order_summ from products where product_id = '" + id + "'")
        .value(0);
  }
  QString total() const { return child<QLabel>(w, "Label2")->text(); }
  QRgb pixel(const QString& id) const { return g->cellPictureResolved(rowOf(id), 4).toImage().pixel(10, 10); }
};

// A category click or a search by click, enter, type or backspace; what it shows.
struct Search {
  bool pictures, orderView;
  QString category, how, text, ids, label;
};

void typeText(QWidget* w, const QString& text) {
  for (QChar ch : text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(w, &press);
  }
}

const QColor kRed(220, 30, 30), kBlue(30, 40, 220), kGreen(30, 200, 40);

QColor corner(const QPixmap& pm) { return pm.isNull() ? QColor() : pm.toImage().pixelColor(2, 2); }

bool near(const QColor& a, const QColor& b) {
  if (!a.isValid() || !b.isValid()) return a.isValid() == b.isValid();
  return std::abs(a.red() - b.red()) <= 40 && std::abs(a.green() - b.green()) <= 40 &&
         std::abs(a.blue() - b.blue()) <= 40;
}

// The folder "prog" inside a watched root ("../x" stays inside). Products in name order:
// 1 red JPEG; 2 no picture; 3 blue PNG "settings.ini"; 4 zero-length bytes "../x";
// 5 damaged bytes "sub/x.jpg"; 6 green JPEG "../x"; 7 NULL bytes.
struct PictureFolder : TestProgramFolder {
  PictureFolder() : TestProgramFolder(u"prog"_s) {
    PriceDbBuilder db(priceDb());
    db.addCategory(1, QStringLiteral("Деревья"));
    const QStringList names{"Алмаз", "Бук", "Вишня", "Груша", "Дуб", "Ель", "Жасмин"};
    for (int i = 1; i <= names.size(); ++i)
      db.addProduct(QString::number(i), 1, QStringLiteral("A-%1").arg(i), 5, 10.5, names[i - 1]);
    db.addImage("1", PriceDbBuilder::jpeg(100, 50, kRed), "a.jpg");
    db.addImage("3", PriceDbBuilder::png(60, 60, kBlue), "settings.ini");
    db.addImage("4", QByteArray(""), "../x");
    db.addImage("5", QByteArray("this is not a picture at all"), "sub/x.jpg");
    db.addImage("6", PriceDbBuilder::jpeg(80, 80, kGreen), "../x");
    db.addImage("7", QByteArray(), "x.jpg");
  }
};

// The caption and picture colour of the big picture window the trigger opened (then
// closed); an empty caption when none opened.
struct BigShot {
  QString caption;
  QColor corner;
};
BigShot runAndCloseBig(const std::function<void()>& trigger) {
  BigShot shot;
  bool seen = false;
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, [&] {
    for (QWidget* tw : QApplication::topLevelWidgets()) {
      if (tw->objectName() != QLatin1String("frm_bigimage") || !tw->isVisible()) continue;
      auto* big = static_cast<BigPictureWindow*>(tw);
      shot = {big->windowTitle(), corner(child<QLabel>(big, "Picture1")->pixmap())};
      seen = true;
      big->reject();
    }
  });
  probe.start(10);
  trigger();
  (void)QTest::qWaitFor([&] { return seen; }, 200);  // a window may open late
  return shot;
}

QMap<QString, QByteArray> snapshot(const QString& dir) {
  QMap<QString, QByteArray> out;
  QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    if (path.endsWith("-wal") || path.endsWith("-shm")) continue;  // the database's own log changes as it is read
    QFile f(path);
    out.insert(path, (f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("dir")) + ':' +
                         QByteArray::number(QFileInfo(path).lastModified().toMSecsSinceEpoch()));
  }
  return out;
}

}  // namespace
Q_DECLARE_METATYPE(Search)

class PriceTest : public QObject {
  Q_OBJECT

  std::unique_ptr<PictureFolder> folder;
  std::unique_ptr<msg::ScopedRecorder> recorder;
  std::unique_ptr<MainWindow> main;
  PriceWindow* w = nullptr;

  FlexGrid* grid() const { return child<FlexGrid>(w, "MSFlexGrid1"); }
  QColor preview() const { return corner(child<QLabel>(w, "Picture1")->pixmap()); }
  void key(Qt::Key k) { QTest::keyClick(grid(), k); }

  bool open(bool thumbnails) {
    folder = std::make_unique<PictureFolder>();
    WriteSetting(settings::path(), "forms", "name", "1000");  // keeps the picture column in view
    WriteSetting(settings::path(), "settings", "imagethumb", thumbnails ? "0" : "1");
    WriteSetting(settings::path(), "settings", "imagetostring", thumbnails ? "1" : "0");
    recorder = std::make_unique<msg::ScopedRecorder>();
    main = std::make_unique<MainWindow>();
    main->resize(1280, 900);
    main->show();
    main->showStartupWindow();
    w = main->priceWindow();
    return w && QTest::qWaitForWindowExposed(main.get()) && grid()->rows() == 8;
  }
  BigShot fromBox() {
    return runAndCloseBig([this] { QTest::mouseClick(child<QLabel>(w, "Picture1"), Qt::LeftButton); });
  }
  BigShot fromCell(int id, int col) {
    FlexGrid* g = grid();
    const QModelIndex idx = g->model()->index(rowOf(g, QString::number(id)) - 1, col);
    g->scrollTo(idx);
    QApplication::processEvents();
    return runAndCloseBig(
        [&] { QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier, g->visualRect(idx).center()); });
  }

 private slots:
  void cleanup() {
    QLocale::setDefault(QLocale::c());
    w = nullptr;
    main.reset();
    recorder.reset();
    folder.reset();
  }

  // The preview follows the keys: empty or NULL bytes keep the last picture, damaged bytes
  // empty it without a message; the box shows the current product's picture big.
  void previewFollowsArrowKeys() {
    QVERIFY(open(false));
    QVERIFY(near(preview(), kRed));
    const std::tuple<Qt::Key, int, QColor> steps[] = {
        {Qt::Key_Down, 2, {}},     {Qt::Key_Down, 3, kBlue},  {Qt::Key_Down, 4, kBlue}, {Qt::Key_Down, 5, {}},
        {Qt::Key_Down, 6, kGreen}, {Qt::Key_Down, 7, kGreen}, {Qt::Key_Up, 6, kGreen},  {Qt::Key_Up, 5, {}}};
    for (const auto& [k, id, colour] : steps) {
      key(k);
      QCOMPARE(grid()->textMatrix(grid()->rowSel(), 0), QString::number(id));
      QVERIFY2(near(preview(), colour), qPrintable(QString::number(id)));
    }
    key(Qt::Key_Up);
    key(Qt::Key_Up);
    const BigShot shot = fromBox();
    QCOMPARE(shot.caption, QStringLiteral("A-3"));
    QVERIFY(near(shot.corner, kBlue));
    QVERIFY2(recorder->boxes.empty(), qPrintable(recorder->texts().join('|')));
  }

  // A second grid click while the big window is open: an error message, no second window.
  void gridClickWhileOpenShowsTheError() {
    QVERIFY(open(true));
    grid()->setRow(1);
    grid()->setCol(4);
    bool reported = false;
    runAndCloseBig([&] {
      QTimer::singleShot(0, [&] {
        emit grid()->Click();
        reported = !recorder->boxes.empty();
      });
      emit grid()->Click();
    });
    QVERIFY(reported);
    QCOMPARE(recorder->boxes.size(), size_t(1));
    QVERIFY(recorder->boxes.front().text.startsWith(QStringLiteral("Произошла ошибка при запросе\r")));
  }

  // A click on a picture shows it big, on other cells not; stored picture names are no
  // file names: showing every picture touches no file in or above the program folder.
  void pictureNamesNeverTouchFiles() {
    QVERIFY(open(false));
    QDir(folder->path()).mkpath("sub");
    for (const QString& path : {folder->file("sub/x.jpg"), folder->root() + "/x"}) {
      QFile f(path);
      QVERIFY(f.open(QIODevice::WriteOnly) && f.write("keep me") == 7);
    }
    const auto before = snapshot(folder->root());
    for (int r = 1; r < grid()->rows(); ++r) {
      if (r > 1) key(Qt::Key_Down);
      QVERIFY(!fromBox().caption.isEmpty());
    }
    showPictureRows(w);
    for (int id = 1; id <= 7; ++id) QVERIFY(!fromCell(id, 4).caption.isEmpty());
    const BigShot shot = fromCell(1, 4);
    QCOMPARE(shot.caption, QStringLiteral("A-1"));
    QVERIFY(near(shot.corner, kRed));
    QCOMPARE(fromCell(1, 3).caption, QString());
    QCOMPARE(snapshot(folder->root()), before);
    QVERIFY(recorder->boxes.empty());
  }
  // Names in Russian order, the stock rule, zeros and Null empty; one row per picture, each
  // product its own picture even under one file name, a damaged picture blank.
  void plainAndPictureFills() {
    Program s;
    QCOMPARE(s.column(0), (QStringList{"106", "105", "103", "104", "102", "101", "107"}));
    QCOMPARE(s.column(3), (QStringList{"0", "", "9999", "5", "9999", "99", "10"}));
    QCOMPARE(s.column(4), (QStringList{"", "40", "80", "99.9", "12.5", "150", "20"}));
    QCOMPARE(s.column(5), (QStringList{"", "", "3", "", "", "", ""}));
    QCOMPARE(s.column(6), (QStringList{"", "", "240", "", "", "", ""}));
    showPictureRows(s.w);
    QCOMPARE(s.column(0), (QStringList{"106", "105", "103", "104", "102", "101", "107", "107"}));
    QVERIFY(qRed(s.pixel("101")) > 200 && qBlue(s.pixel("101")) < 60);
    QVERIFY(qBlue(s.pixel("102")) > 200 && qRed(s.pixel("102")) < 60);
    QVERIFY(s.g->cellPictureResolved(s.rowOf("104"), 4).isNull());
    QVERIFY(s.rec.boxes.empty());
  }
  // No price file: an empty window, no message, no file made up.
  void openingWithoutFile() {
    Program s(0);
    QCOMPARE(child<QTreeWidget>(s.w, "TreeView1")->topLevelItemCount(), 0);
    QCOMPARE(s.g->rows() > 1 ? s.g->textMatrix(1, 0) : QString(), QString());
    QVERIFY(s.rec.boxes.empty());
    QVERIFY(!QFile::exists(s.folder.priceDb()));
  }
  // A stored column width too large leaves the widths as they were; the grid repaints.
  void widthTooLarge() {
    TestProgramFolder folder;
    FlexGrid grid;
    SetPriceGridHeadersWithImage(&grid);
    const int before = grid.colWidth(2);
    WriteSetting(settings::path(), "forms", "name", "1e12");
    SetPriceGridHeadersWithImage(&grid);
    QCOMPARE(grid.colWidth(2), before);
    QVERIFY(grid.redraw());
  }
  void categoryAndSearch_data() {
    QTest::addColumn<Search>("search");
    const std::pair<const char*, Search> rows[] = {
        {"category and text", {false, false, "Чай и кофе", "click", "чай", "102 101 107", "Выведено 3"}},
        {"a quote", {false, false, "бытовая химия", "click", "д'А", "104", "Выведено 1"}},
        {"no match in category", {false, false, "бытовая химия", "click", "нет такого", "", ""}},
        {"order view", {false, true, "Чай и кофе", "click", "", "103", "Выведено 1"}},
        {"Enter, any case", {false, false, "", "enter", "ЧАЙН", "107", "Выведено 1"}},
        {"Enter, no match", {false, false, "", "enter", "xyzw", "", "Выведено 0"}},
        {"three keys: not yet", {false, false, "", "type", "чай", "106 105 103 104 102 101 107", "Выведено 7"}},
        {"the fourth key searches", {false, false, "", "type", "чайн", "102 101 107", "Выведено 3"}},
        {"Backspace", {false, false, "", "backspace", "чай", "102 101 107", "Выведено 3"}},
        {"pictures: inside the category", {true, true, "бытовая химия", "enter", "мыл", "104", "Выведено 1"}},
        {"pictures: not outside it", {true, false, "бытовая химия", "enter", "чай", "", "Выведено 0"}},
        {"pictures: whole list", {true, false, "", "enter", "чай", "102 101 107 107", "Выведено 4"}},
    };
    for (const auto& [name, search] : rows) QTest::newRow(name) << search;
  }
  void categoryAndSearch() {
    QFETCH(Search, search);
    const auto& [pictures, orderView, category, how, text, ids, label] = search;
    Program s;
    s.w->show();
    auto* box = child<QLineEdit>(s.w, "Text1");
    if (orderView) s.w->switchOrderView();
    if (pictures) showPictureRows(s.w);
    if (how == "click") box->setText(text);
    if (!category.isEmpty()) {
      auto* tree = child<QTreeWidget>(s.w, "TreeView1");
      tree->setCurrentItem(tree->findItems(category, Qt::MatchExactly).value(0));
      s.w->showSelectedCategory();
      QCOMPARE(child<QLineEdit>(s.w, "Text2")->text(), category);
    }
    if (how == "enter") {
      box->setText(text);
      QTest::keyClick(box, Qt::Key_Return);
    } else if (how == "type") {
      typeText(box, text);
    } else if (how == "backspace") {
      box->setText(text);
      QTest::keyClick(box, Qt::Key_Backspace);
      QCOMPARE(box->text(), text.chopped(1));
    }
    QCOMPARE(s.column(0), ids.split(' ', Qt::SkipEmptyParts));
    QCOMPARE(child<QLabel>(s.w, "Label1")->text(), label);
    QVERIFY(s.rec.boxes.empty());
  }
  // The wheel scrolls the grid of a price window closed and opened again.
  void wheelAfterReopening() {
    Program s(300);
    for (int round = 0; round < 2; ++round) {
      s.main.resize(1000, 700);
      QApplication::processEvents();
      FlexGrid* g = child<FlexGrid>(s.main.priceWindow(), "MSFlexGrid1");
      g->setTopRow(10);
      QWheelEvent e(QPointF(20, 20), g->viewport()->mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, 120),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
      QApplication::sendEvent(g->viewport(), &e);
      QCOMPARE(g->topRow(), 9);
      s.main.priceWindow()->close();
      QTRY_VERIFY(!s.main.priceWindow());
      s.main.openPriceWindow();
    }
  }

  // Each step: the keys typed on Ведро (150), the cells shown and what the database holds.
  // A leading zero stays in the cell only; at most six digits.
  void digitsAndBackspace() {
    Program win(kDishes, "visiblesumm");
    const std::tuple<const char*, QStringList, QStringList> steps[] = {
        {"12", {"12", "1800"}, {"12", "1800.0"}},
        {"\b\b\b", {"", ""}, {"0", "0.0"}},
        {"05", {"05", "750"}, {"5", "750.0"}},
        {"\b\b999999999", {"999999", "149999850"}, {"999999", "149999850.0"}}};
    for (const auto& [keys, cells, db] : steps) {
      win.type("1", QString::fromLatin1(keys));
      QCOMPARE(win.cells("1"), cells);
      QCOMPARE(win.stored("1"), db);
    }
    QCOMPARE(win.total(), QStringLiteral("Сумма заказа : 149999850"));
    QVERIFY(win.rec.boxes.empty());
  }

  // Real keys in the picture layout, where the quantity is one column further right;
  // after an arrow key the digits go to the new row.
  void pictureLayoutWithRealKeys() {
    Program win(kDishes, "imagetostring");
    win.w->show();
    win.g->setFocus();
    win.g->setRow(win.rowOf("1"));
    win.g->setCol(2);
    for (Qt::Key k : {Qt::Key_3, Qt::Key_0, Qt::Key_Backspace, Qt::Key_Down, Qt::Key_2}) QTest::keyClick(win.g, k);
    QCOMPARE(win.cells("1", 6), (QStringList{"3", "450"}));
    QCOMPARE(win.stored("1"), (QStringList{"3", "450.0"}));
    QCOMPARE(win.stored(win.g->textMatrix(win.g->rowSel(), 0)).value(0), QStringLiteral("2"));
    QVERIFY(win.rec.boxes.empty());
  }

  // The database gets the number, not the locale's text.
  void fractionalPriceInRussianLocale() {
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    Program win(kDishes);
    win.type("2", "3");
    win.type("3", "3");
    QCOMPARE(win.cells("2") << win.g->textMatrix(win.rowOf("2"), 4), (QStringList{"3", "37,5", "12,5"}));
    QCOMPARE(win.stored("2") + win.stored("3"), (QStringList{"3", "37.5", "3", "299.7"}));
    win.w->showOrderTotal();
    QCOMPARE(win.total(), QStringLiteral("Сумма заказа : 337.2"));
    QVERIFY(win.rec.boxes.empty());
  }

  void viewSwitch() {
    Program win(kDishes);
    win.w->show();
    win.w->switchOrderView();  // no ordered product: the header only
    QCOMPARE(win.g->rows(), 1);
    // A digit typed on the header-only grid changes no caption and stores nothing.
    win.g->setFocus();
    QTest::keyClick(win.g, Qt::Key_7);
    QCOMPARE(win.g->textMatrix(0, 5), QStringLiteral("ЗАКАЗ"));
    QCOMPARE(queryPriceDb(win.folder.priceDb(), "select count(*) from products where order_count <> 0").value(0),
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
    QVERIFY(win.rec.boxes.empty());
  }
};

QTEST_MAIN(PriceTest)
#include "test_price.moc"
