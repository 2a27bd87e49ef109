// A purchaser's day: real key and mouse events delivered to the real windows, on
// generated demo data and a private shop server.
#include "app/ProgramStart.h"
#include "fixtures/mariadb_server.h"
#include "gui/grid/ColumnFit.h"
#include "gui/orders/OrdersWindow.h"
#include "gui/settings/AuthorizationDialog.h"
#include "support/WindowTest.h"

namespace {

// Keys as the keyboard sends them: to the active window, which hands them on.
void key(Qt::Key k, const QString& text = {}, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QTest::sendKeyEvent(QTest::Click, QGuiApplication::focusWindow(), k, text, mods);
  QApplication::processEvents();
}
void type(const QString& s) {
  for (QChar c : s) key(Qt::Key(c.toUpper().unicode()), QString(c));
}
void enter() { key(Qt::Key_Return, "\r"); }
void clickOn(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center()); }

// When the next real message box comes up: keeps its text and owner, answers it with Enter.
struct BoxWatch {
  QString text;
  QWidget* owner = nullptr;
  void arm() {
    QTimer::singleShot(20, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return arm();
      text = box->text();
      owner = box->parentWidget();
      QTest::sendKeyEvent(QTest::Click, box->windowHandle(), Qt::Key_Return, QStringLiteral("\r"), Qt::NoModifier);
    });
  }
};

// Cells of a grid whose text is cut; long texts (names) may be.
QStringList cutCells(const FlexGrid* g) {
  QStringList cut;
  for (int r = 0; r < g->rows(); ++r)
    for (int c = 0; c < g->cols(); ++c)
      if (g->textMatrix(r, c).size() <= columnfit::kLongestFittedText && columnfit::TextCut(*g, r, c))
        cut << QStringLiteral("%1 [%2,%3] %4").arg(g->objectName()).arg(r).arg(c).arg(g->textMatrix(r, c));
  return cut;
}

}  // namespace

class DailyUseTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() {
    ApplyProgramFont();
    QString error;
    QVERIFY2(server_.start(&error), qPrintable(error));
    QVERIFY2(makePriceDb(demo_.filePath("varnokel.mdb"), 3000, 1, &error), qPrintable(error));
  }
  void init() {
    folder_ = std::make_unique<TestProgramFolder>();
    QVERIFY(QFile::copy(demo_.filePath("varnokel.mdb"), folder_->priceDb()));
    folder_->useShop(server_);
    main_ = std::make_unique<MainWindow>();
    main_->startUp(QString());
    main_->showNormal();
    main_->setGeometry(0, 0, 1366, 768);
    main_->showStartupWindow();
    QVERIFY(QTest::qWaitForWindowActive(main_.get()));
  }
  void cleanup() { main_.reset(), folder_.reset(); }
  // Two "Да" to the sign-in question give one sign-in window; a wrong code typed
  // there is told in a box of that window, and the keyboard goes back to the code.
  void signInKeepsTheKeyboard() {
    focusGridRow(2);
    {
      msg::ScopedRecorder yes;
      yes.defaultAnswer = msg::Answer::Yes;
      price()->sendOrder();
      price()->sendOrder();
    }
    const auto windows = main_->findChildren<AuthorizationDialog*>();
    QCOMPARE(windows.size(), 1);
    QVERIFY(QTest::qWaitForWindowActive(windows.first()));
    auto* code = child<QLineEdit>(windows.first(), "Text2");
    QTRY_COMPARE(QApplication::focusWidget(), code);
    BoxWatch box;
    box.arm();
    type("5700");
    enter();
    QCOMPARE(box.text, QStringLiteral("Неправильно указан код организации"));
    QCOMPARE(box.owner, windows.first());
    QTRY_COMPARE(QApplication::focusWidget(), code);
    QCOMPARE(ordered(), QStringLiteral("0"));
  }
  // Control keys typed on the grid never land in the search box, nor store anything.
  void gridControlKeysLeaveTheSearchAlone() {
    auto* search = child<QLineEdit>(price(), "Text1");
    const std::tuple<Qt::Key, const char*, Qt::KeyboardModifiers> controls[] = {
        {Qt::Key_Return, "\r", {}},
        {Qt::Key_Escape, "\x1b", {}},
        {Qt::Key_Tab, "\t", {}},
        {Qt::Key_V, "\x16", Qt::ControlModifier},
        {Qt::Key_V, "v", Qt::ControlModifier}};
    for (const auto& [k, text, mods] : controls) {
      focusGridRow(3);
      key(k, QString::fromLatin1(text), mods);
      QCOMPARE(search->text(), QString());
    }
    key(Qt::Key(0x0411), QStringLiteral("б"));  // a letter does reach it
    QCOMPARE(search->text(), QStringLiteral("б"));
    QCOMPARE(ordered(), QStringLiteral("0"));
  }
  // A category reached by keys shows its name and its products; the other layout
  // keeps it, and a search then stays inside it.
  void categoryByKeysKeptAcrossLayouts() {
    auto* tree = child<QTreeWidget>(price(), "TreeView1");
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(tree->topLevelItem(2)).center());
    key(Qt::Key_Down);
    QCOMPARE(tree->indexOfTopLevelItem(tree->currentItem()), 3);
    const QString category = tree->currentItem()->text(0);
    const QString inCategory = "select count(*) from products where parent_id = " +
                               tree->currentItem()->data(0, Qt::UserRole).toString().mid(3);
    QCOMPARE(child<QLineEdit>(price(), "Text2")->text(), category);
    QCOMPARE(QString::number(priceGrid()->rows() - 1), priceDbValue(inCategory));
    const QString like = priceGrid()->textMatrix(1, 2).left(5);
    clickOn(child<QWidget>(price(), "Check2"));  // "Изображения построчно": the list is loaded again
    QCOMPARE(child<QLineEdit>(price(), "Text2")->text(), category);
    auto* search = child<QLineEdit>(price(), "Text1");
    search->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), search);
    type(like);
    enter();
    QVERIFY(priceGrid()->rows() > 1);
    QCOMPARE(QString::number(priceGrid()->rows() - 1),
             priceDbValue(inCategory + " and name_ruRU_big like '%" + like.toUpper() + "%'"));
  }
  // A date typed into a picker reloads the list once, when it is finished.
  void typedDateCountsOnce_data() {
    QTest::addColumn<Qt::Key>("finish");
    QTest::newRow("31, Enter") << Qt::Key_Return;
    QTest::newRow("31, Tab away") << Qt::Key_Tab;
  }
  void typedDateCountsOnce() {
    QFETCH(Qt::Key, finish);
    msg::ScopedRecorder rec;  // not signed in: every reload asks the sign-in question
    main_->openOrdersWindow();
    auto* from = child<QDateEdit>(main_->ordersWindow(), "DTPicker1");
    auto* to = child<QDateEdit>(main_->ordersWindow(), "DTPicker2");
    from->setDate(QDate(2026, 12, 6));
    to->setDate(QDate(2026, 12, 6));
    to->setFocus(Qt::TabFocusReason);  // as the Tab key puts the caret on the day
    QTRY_COMPARE(QApplication::focusWidget(), to);
    rec.clear();
    type("31");
    QCOMPARE(rec.boxes.size(), size_t(0));
    key(finish, finish == Qt::Key_Tab ? "\t" : "\r");
    QCOMPARE(rec.boxes.size(), size_t(1));
    QCOMPARE((QList<QDate>{from->date(), to->date()}), (QList<QDate>{QDate(2026, 12, 6), QDate(2026, 12, 31)}));
  }
  // The longest sum (the most a row can order of the dearest product) shows
  // whole at 1366 x 768, in either layout.
  void noNumberCut() {
    FlexGrid* g = priceGrid();
    int dearest = 1;
    for (int r = 2; r < g->rows(); ++r)
      if (g->textMatrix(r, 4).toDouble() > g->textMatrix(dearest, 4).toDouble()) dearest = r;
    focusGridRow(dearest);
    type("999999");
    QVERIFY(!g->textMatrix(dearest, 6).isEmpty());
    QCOMPARE(cutCells(g), QStringList());
    clickOn(child<QWidget>(price(), "Check2"));
    QCOMPARE(cutCells(g), QStringList());
  }
  // A wrong shop password is told in Russian, the server's own text and number below.
  void wrongShopPasswordInRussian() {
    settings::write({"connection", "shop_password"}, "not-the-password");
    folder_->signIn("57", "ООО Ромашка");
    msg::ScopedRecorder rec;
    main_->openOrdersWindow();
    QCOMPARE(rec.boxes.size(), size_t(1));
    const QString text = rec.boxes.front().text;
    QVERIFY2(
        text.startsWith("Произошла ошибка при запросе\rНеверное имя пользователя или пароль базы данных магазина\r"),
        qPrintable(text));
    QVERIFY2(text.contains("Access denied") && text.contains(QRegularExpression("\\d{4}\\)?$")), qPrintable(text));
  }

 private:
  PriceWindow* price() const { return main_->priceWindow(); }
  FlexGrid* priceGrid() const { return child<FlexGrid>(price(), "MSFlexGrid1"); }
  QString priceDbValue(const QString& sql) const { return ::priceDbValue(folder_->priceDb(), sql); }
  QString ordered() const { return priceDbValue("select count(*) from products where order_count <> 0"); }
  void focusGridRow(int row) {
    priceGrid()->setFocus();
    priceGrid()->setRow(row);
    QTRY_COMPARE(QApplication::focusWidget(), priceGrid());
  }

  MariaDbServer server_;
  QTemporaryDir demo_;
  std::unique_ptr<TestProgramFolder> folder_;
  std::unique_ptr<MainWindow> main_;
};

QTEST_MAIN(DailyUseTest)
#include "test_daily_use.moc"
