// A purchaser's day with keyboard and mouse: real key and mouse events delivered
// to the real windows, found by their names, on generated demo data and a private
// shop server.
#include "app/MainWindow.h"
#include "app/ProgramStart.h"
#include "base/Settings.h"
#include "fixtures/mariadb_server.h"
#include "fixtures/program_env.h"
#include "fixtures/sample_data.h"
#include "gui/common/MessageBoxes.h"
#include "gui/common/ProgramIcon.h"
#include "gui/grid/ColumnFit.h"
#include "gui/grid/FlexGrid.h"
#include "gui/orders/OrdersWindow.h"
#include "gui/price/PriceWindow.h"
#include "gui/settings/AuthorizationDialog.h"
#include "gui/settings/OptionsDialog.h"
#include "support/Widgets.h"

#include <QtTest>
#include <QtWidgets>

namespace {

// Keys as the keyboard sends them: to the active window, which hands them to its
// focus widget (or to a shortcut).
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

bool sameIcon(const QIcon& a) { return !a.isNull() && a.pixmap(32).toImage() == ProgramIcon().pixmap(32).toImage(); }

// Labels, buttons and check boxes whose caption does not show whole: too narrow,
// or partly covered by another control.
QStringList cutCaptions(const QWidget* window) {
  QStringList cut;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!w->isVisibleTo(window)) continue;
    QString text;
    int need = 0, room = w->width();
    if (auto* l = qobject_cast<QLabel*>(w); l && !l->wordWrap()) {
      text = l->text();
      need = l->fontMetrics().horizontalAdvance(text);
      room = l->contentsRect().width();
    } else if (auto* c = qobject_cast<QCheckBox*>(w)) {
      text = c->text();
      need = c->sizeHint().width();
    } else if (auto* b = qobject_cast<QPushButton*>(w)) {
      text = b->text().remove(QLatin1Char('&'));
      need = b->fontMetrics().horizontalAdvance(text) + 2 * b->style()->pixelMetric(QStyle::PM_ButtonMargin);
    }
    if (text.isEmpty()) continue;
    if (need > room) cut << text;
    // The text's line, centred in the control, must not lie under another control.
    const int line = w->fontMetrics().height();
    const QRect shown(w->x(), w->y() + (w->height() - line) / 2, std::min(need, w->width()), line);
    for (QWidget* other : w->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (other != w && other->isVisibleTo(window) && other->geometry().intersects(shown))
        cut << text + " / " + other->objectName();
  }
  return cut;
}

// Cells and headers of a grid whose text is cut; long texts (names) may be.
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
  void initTestCase();
  void init();
  void cleanup() { main_.reset(), folder_.reset(); }
  void signInKeepsTheKeyboard();
  void gridControlKeysLeaveTheSearchAlone();
  void treeKeysShowTheCategory_data();
  void treeKeysShowTheCategory();
  void layoutToggleKeepsTheCategory();
  void typedDateCountsOnce_data();
  void typedDateCountsOnce();
  void nothingCutAt1366x768();
  void settingsCentredInFront();
  void programIconEverywhere();
  void menuByKeyboard();
  void shopFailuresInRussian_data();
  void shopFailuresInRussian();

 private:
  PriceWindow* price() const { return main_->priceWindow(); }
  FlexGrid* priceGrid() const { return child<FlexGrid>(price(), "MSFlexGrid1"); }
  QString priceDbValue(const QString& sql) const { return queryPriceDb(folder_->priceDb(), sql).value(0).value(0); }
  QString ordered() const { return priceDbValue("select count(*) from products where order_count <> 0"); }
  void focusGridRow(int row) {
    priceGrid()->setFocus();
    priceGrid()->setRow(row);
    QTRY_COMPARE(QApplication::focusWidget(), priceGrid());
  }
  // A click on a category of the tree; its id in the price file.
  QString clickCategory(int index) {
    auto* tree = child<QTreeWidget>(price(), "TreeView1");
    QTreeWidgetItem* item = tree->topLevelItem(index);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
    return item->data(0, Qt::UserRole).toString().mid(3);
  }

  MariaDbServer server_;
  QTemporaryDir demo_;
  std::unique_ptr<TestProgramFolder> folder_;
  std::unique_ptr<MainWindow> main_;
};

void DailyUseTest::initTestCase() {
  ApplyProgramFont();
  QString error;
  QVERIFY2(server_.start(&error), qPrintable(error));
  QVERIFY2(makePriceDb(demo_.filePath("varnokel.mdb"), 3000, 1, &error), qPrintable(error));
}

void DailyUseTest::init() {
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

void DailyUseTest::signInKeepsTheKeyboard() {
  focusGridRow(2);
  {
    // Two "Да" to the sign-in question give one sign-in window.
    msg::ScopedRecorder yes;
    yes.defaultAnswer = msg::Answer::Yes;
    price()->sendOrder();
    price()->sendOrder();
  }
  const auto windows = main_->findChildren<AuthorizationDialog*>();
  QCOMPARE(windows.size(), 1);
  AuthorizationDialog* signIn = windows.first();
  QVERIFY(QTest::qWaitForWindowActive(signIn));
  auto* code = child<QLineEdit>(signIn, "Text2");
  QTRY_COMPARE(QApplication::focusWidget(), code);
  BoxWatch box;
  box.arm();
  type("5700");
  enter();
  QCOMPARE(box.text, QStringLiteral("Неправильно указан код организации"));
  QCOMPARE(box.owner, signIn);
  QTRY_COMPARE(QApplication::focusWidget(), code);
  type("57");
  QCOMPARE(code->text(), QStringLiteral("57"));
  QCOMPARE(ordered(), QStringLiteral("0"));
  enter();
  QTRY_VERIFY(main_->findChildren<AuthorizationDialog*>().isEmpty());
  QCOMPARE(settings::text(settings::OrganisationId), QStringLiteral("57"));
}

void DailyUseTest::gridControlKeysLeaveTheSearchAlone() {
  auto* search = child<QLineEdit>(price(), "Text1");
  const struct {
    Qt::Key key;
    const char* text;
    Qt::KeyboardModifiers mods;
  } controls[] = {{Qt::Key_Return, "\r", {}},
                  {Qt::Key_Escape, "\x1b", {}},
                  {Qt::Key_Tab, "\t", {}},
                  {Qt::Key_V, "\x16", Qt::ControlModifier},
                  {Qt::Key_V, "v", Qt::ControlModifier}};
  for (const auto& c : controls) {
    focusGridRow(3);
    key(c.key, QString::fromLatin1(c.text), c.mods);
    QCOMPARE(search->text(), QString());
  }
  focusGridRow(3);
  type(QStringLiteral("бат"));  // the first letter moves the keyboard to the search box
  QCOMPARE(search->text(), QStringLiteral("бат"));
  enter();  // searches for the whole text
  const QString expected = priceDbValue("select count(*) from products where name_ruRU_big like '%БАТ%'");
  QVERIFY(expected.toInt() > 0);
  QCOMPARE(child<QLabel>(price(), "Label1")->text(), QStringLiteral("Выведено ") + expected);
  QCOMPARE(ordered(), QStringLiteral("0"));
}

void DailyUseTest::treeKeysShowTheCategory_data() {
  QTest::addColumn<Qt::Key>("k");
  QTest::addColumn<int>("expected");  // -1: the last category, -2: somewhere further down
  QTest::newRow("Down") << Qt::Key_Down << 2;
  QTest::newRow("Up") << Qt::Key_Up << 0;
  QTest::newRow("End") << Qt::Key_End << -1;
  QTest::newRow("Home") << Qt::Key_Home << 0;
  QTest::newRow("PageDown") << Qt::Key_PageDown << -2;
}

void DailyUseTest::treeKeysShowTheCategory() {
  QFETCH(Qt::Key, k);
  QFETCH(int, expected);
  auto* tree = child<QTreeWidget>(price(), "TreeView1");
  clickCategory(1);
  key(k);
  const int at = tree->indexOfTopLevelItem(tree->currentItem());
  if (expected == -2)
    QVERIFY(at > 1);
  else
    QCOMPARE(at, expected == -1 ? tree->topLevelItemCount() - 1 : expected);
  QTreeWidgetItem* now = tree->currentItem();
  QCOMPARE(child<QLineEdit>(price(), "Text2")->text(), now->text(0));
  const QString id = now->data(0, Qt::UserRole).toString().mid(3);
  QCOMPARE(QString::number(priceGrid()->rows() - 1),
           priceDbValue("select count(*) from products where parent_id = " + id));
}

void DailyUseTest::layoutToggleKeepsTheCategory() {
  const QString id = clickCategory(3), category = child<QLineEdit>(price(), "Text2")->text();
  const QString like =
      priceDbValue("select name_ruRU from products where parent_id = " + id + " order by product_id limit 1").left(5);
  clickOn(child<QWidget>(price(), "Check2"));  // "Изображения построчно": the list is loaded again
  QCOMPARE(child<QLineEdit>(price(), "Text2")->text(), category);
  QCOMPARE(child<QTreeWidget>(price(), "TreeView1")->currentItem()->text(0), category);
  auto* search = child<QLineEdit>(price(), "Text1");
  search->setFocus();
  QTRY_COMPARE(QApplication::focusWidget(), search);
  type(like);
  enter();
  QVERIFY(priceGrid()->rows() > 1);
  QCOMPARE(QString::number(priceGrid()->rows() - 1),
           priceDbValue("select count(*) from products where parent_id = " + id + " and name_ruRU_big like '%" +
                        like.toUpper() + "%'"));
}

void DailyUseTest::typedDateCountsOnce_data() {
  QTest::addColumn<QString>("digits");
  QTest::addColumn<Qt::Key>("finish");
  QTest::addColumn<QDate>("expected");
  QTest::newRow("31, Enter") << "31" << Qt::Key_Return << QDate(2026, 12, 31);
  QTest::newRow("31, Tab away") << "31" << Qt::Key_Tab << QDate(2026, 12, 31);
  QTest::newRow("before the start: pulled up") << "02" << Qt::Key_Return << QDate(2026, 12, 6);
}

void DailyUseTest::typedDateCountsOnce() {
  QFETCH(QString, digits);
  QFETCH(Qt::Key, finish);
  QFETCH(QDate, expected);
  msg::ScopedRecorder rec;  // not signed in: every reload asks the sign-in question
  main_->openOrdersWindow();
  auto* from = child<QDateEdit>(main_->ordersWindow(), "DTPicker1");
  auto* to = child<QDateEdit>(main_->ordersWindow(), "DTPicker2");
  from->setDate(QDate(2026, 12, 6));
  to->setDate(QDate(2026, 12, 6));
  to->setFocus(Qt::TabFocusReason);  // as the Tab key puts the caret on the day
  QTRY_COMPARE(QApplication::focusWidget(), to);
  rec.clear();
  type(digits);
  QCOMPARE(rec.boxes.size(), size_t(0));
  key(finish, finish == Qt::Key_Tab ? "\t" : "\r");
  QCOMPARE(rec.boxes.size(), size_t(1));
  QCOMPARE(to->date(), expected);
  QCOMPARE(from->date(), QDate(2026, 12, 6));
}

void DailyUseTest::nothingCutAt1366x768() {
  // The longest sum: the most a row can order of the dearest product.
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
  QCOMPARE(cutCaptions(price()), QStringList());

  // A header border dragged stays where the user left it for the session, in
  // either layout; [forms] is not touched. A name cut so shows whole in a tooltip.
  QHeaderView* header = g->horizontalHeader();
  const int before = header->sectionSize(2);
  const QPoint border(header->sectionViewportPosition(2) + before - 1, header->height() / 2);
  QTest::mousePress(header->viewport(), Qt::LeftButton, {}, border);
  QTest::mouseMove(header->viewport(), border - QPoint(250, 0));
  QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, border - QPoint(250, 0));
  QCOMPARE(header->sectionSize(2), before - 250);
  clickOn(child<QWidget>(price(), "Check2"));
  QCOMPARE(header->sectionSize(2), before - 250);
  QCOMPARE(settings::text(settings::NameWidth), QStringLiteral("6000"));
  int longName = 1;
  while (longName < g->rows() - 1 && !columnfit::TextCut(*g, longName, 2)) ++longName;
  QVERIFY(columnfit::TextCut(*g, longName, 2));
  g->scrollTo(g->model()->index(longName - 1, 2));
  const QPoint inCell = g->visualRect(g->model()->index(longName - 1, 2)).center();
  QHelpEvent tip(QEvent::ToolTip, inCell, g->viewport()->mapToGlobal(inCell));
  QApplication::sendEvent(g->viewport(), &tip);
  QTRY_COMPARE(QToolTip::text(), g->textMatrix(longName, 2));

  // The orders window with the demo customer's orders and an order's details.
  folder_->signIn("57", "ООО Ромашка");
  main_->openOrdersWindow();
  OrdersWindow* orders = main_->ordersWindow();
  child<QDateEdit>(orders, "DTPicker1")->setDate(QDate(2026, 1, 1));
  child<QDateEdit>(orders, "DTPicker2")->setDate(QDate::currentDate().addDays(365));
  auto* list = child<FlexGrid>(orders, "MSFlexGrid1");
  QVERIFY(list->rows() > 2);
  list->setRow(1);
  orders->showCurrentOrder();
  for (const char* grid : {"MSFlexGrid1", "MSFlexGrid2", "MSFlexGrid3"}) {
    QVERIFY(child<FlexGrid>(orders, grid)->rows() > 1);
    QCOMPARE(cutCells(child<FlexGrid>(orders, grid)), QStringList());
  }
  QCOMPARE(cutCaptions(orders), QStringList());
  main_->openSettings();
  QCOMPARE(cutCaptions(main_->optionsWindow()), QStringList());
  AuthorizationDialog signIn;
  QCOMPARE(cutCaptions(&signIn), QStringList());
}

void DailyUseTest::settingsCentredInFront() {
  main_->setGeometry(100, 80, 1200, 700);
  main_->openSettings();
  OptionsDialog* options = main_->optionsWindow();
  QVERIFY(QTest::qWaitForWindowExposed(options));
  QCOMPARE(options->windowType(), Qt::Dialog);  // a dialog of the main window: in front of it
  const QPoint offset = options->frameGeometry().center() - main_->frameGeometry().center();
  QVERIFY2(offset.manhattanLength() < 40, qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
  clickOn(main_->mdiArea());  // a click on the main window leaves it open in front
  QVERIFY(options->isVisible());
  QCOMPARE(options->windowHandle()->transientParent(), main_->windowHandle());
}

void DailyUseTest::programIconEverywhere() {
  msg::ScopedRecorder rec;
  main_->openOrdersWindow();
  main_->openSettings();
  ShowAuthorizationDialog(price(), false);
  QVERIFY(sameIcon(QApplication::windowIcon()) && sameIcon(main_->windowIcon()));
  for (const char* name : {"frmOptions", "frm_avtor", "frm_price", "frm_orders"})
    QVERIFY2(sameIcon(child<QWidget>(main_.get(), name)->windowIcon()), name);
  for (const char* name : {"frm_price", "frm_orders"}) {  // and the frames around the two inner windows
    auto* frame = qobject_cast<QMdiSubWindow*>(child<QWidget>(main_.get(), name)->parentWidget());
    QVERIFY2(frame && sameIcon(frame->windowIcon()), name);
  }
}

void DailyUseTest::menuByKeyboard() {
  msg::ScopedRecorder rec;
  key(Qt::Key_F10);
  QMenuBar* bar = main_->menuBar();
  QCOMPARE(QApplication::focusWidget(), bar);
  QCOMPARE(bar->activeAction()->objectName(), QStringLiteral("getprice"));
  key(Qt::Key_Right);
  key(Qt::Key_Right);
  enter();
  QVERIFY(main_->ordersWindow());
  QVERIFY(!main_->optionsWindow());
  QVERIFY(QTest::qWaitForWindowActive(main_.get()));
  key(Qt::Key(0x041D), QStringLiteral("н"), Qt::AltModifier);  // Alt+Н: "Настройки"
  QVERIFY(main_->optionsWindow());
}

void DailyUseTest::shopFailuresInRussian_data() {
  QTest::addColumn<bool>("refused");
  QTest::addColumn<QString>("window");
  QTest::addColumn<QString>("sentence");
  QTest::addColumn<QString>("server");
  const QString down = "Нет связи с сервером базы данных магазина",
                denied = "Неверное имя пользователя или пароль базы данных магазина";
  for (const char* window : {"sign-in", "orders"}) {
    QTest::addRow("%s, refused", window) << true << window << down << "Can't connect";
    QTest::addRow("%s, wrong password", window) << false << window << denied << "Access denied";
  }
}

void DailyUseTest::shopFailuresInRussian() {
  QFETCH(bool, refused);
  QFETCH(QString, window);
  QFETCH(QString, sentence);
  QFETCH(QString, server);
  if (refused)
    folder_->useShop(server_.host(), closedPort());
  else
    settings::write({"connection", "shop_password"}, "not-the-password");
  msg::ScopedRecorder rec;
  if (window == "sign-in") {
    ShowAuthorizationDialog(price(), false);
    QVERIFY(QTest::qWaitForWindowActive(main_->findChild<AuthorizationDialog*>()));
    type("57");
    enter();
  } else {
    folder_->signIn("57", "ООО Ромашка");
    main_->openOrdersWindow();
  }
  QCOMPARE(rec.boxes.size(), size_t(1));
  const msg::Box& box = rec.boxes.front();
  QCOMPARE(box.title, QStringLiteral("Предупреждение"));
  QCOMPARE(box.icon, msg::Icon::Critical);
  QVERIFY2(box.text.startsWith("Произошла ошибка при запросе\r" + sentence + "\r"), qPrintable(box.text));
  // The server's text and number below: "(2003)" after it, or " 2003" as the last line.
  QVERIFY2(box.text.contains(server) && box.text.contains(QRegularExpression("\\d{4}\\)?$")), qPrintable(box.text));
}

QTEST_MAIN(DailyUseTest)
#include "test_daily_use.moc"
