// The preview box and the big picture window on real windows (offscreen
// platform) over a price database built for each test.
#include "gui/price/BigPictureWindow.h"
#include "support/WindowTest.h"

namespace {

const QColor kRed(220, 30, 30), kBlue(30, 40, 220), kGreen(30, 200, 40);

// Colour of a picture's corner; invalid for no picture.
QColor corner(const QPixmap& pm) { return pm.isNull() ? QColor() : pm.toImage().pixelColor(2, 2); }

bool near(const QColor& a, const QColor& b) {
  if (!a.isValid() || !b.isValid()) return a.isValid() == b.isValid();
  return std::abs(a.red() - b.red()) <= 40 && std::abs(a.green() - b.green()) <= 40 &&
         std::abs(a.blue() - b.blue()) <= 40;
}

// The program folder "prog" inside a temporary root, so that names leading out
// of it ("../x") stay inside the root and can be watched. Products in name
// order, article "A-" and the id: 1 red JPEG; 2 no picture; 3 blue PNG named
// "settings.ini"; 4 zero-length bytes "../x"; 5 damaged bytes "sub/x.jpg";
// 6 green JPEG "../x"; 7 NULL bytes.
struct Folder : TestProgramFolder {
  Folder() : TestProgramFolder(u"prog"_s) {
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

// Runs the trigger; returns the caption and picture colour of the big picture
// window it opened (closing it), or an empty caption when none opened.
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

// Every file under a folder with its contents and time.
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

class TestPictures : public QObject {
  Q_OBJECT

  std::unique_ptr<Folder> folder;
  std::unique_ptr<msg::ScopedRecorder> recorder;
  std::unique_ptr<MainWindow> main;
  PriceWindow* w = nullptr;

  FlexGrid* grid() const { return child<FlexGrid>(w, "MSFlexGrid1"); }
  QColor preview() const { return corner(child<QLabel>(w, "Picture1")->pixmap()); }
  void key(Qt::Key k) { QTest::keyClick(grid(), k); }

  // The main window and the price list on the sample, with the preview box or
  // the picture layout.
  bool open(bool thumbnails) {
    folder = std::make_unique<Folder>();
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
  // A mouse click on the cell (row of the product id, col).
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
    w = nullptr;
    main.reset();
    recorder.reset();
    folder.reset();
  }

  // The preview shows the picture of the product the keys land on: empty or
  // NULL bytes keep the last one, damaged bytes empty it without a message;
  // the box shows the current product's picture big.
  void previewFollowsArrowKeys() {
    QVERIFY(open(false));
    QVERIFY(near(preview(), kRed));
    const struct {
      Qt::Key key;
      int id;
      QColor colour;
    } steps[] = {{Qt::Key_Down, 2, {}},     {Qt::Key_Down, 3, kBlue},  {Qt::Key_Down, 4, kBlue}, {Qt::Key_Down, 5, {}},
                 {Qt::Key_Down, 6, kGreen}, {Qt::Key_Down, 7, kGreen}, {Qt::Key_Up, 6, kGreen},  {Qt::Key_Up, 5, {}}};
    for (const auto& s : steps) {
      key(s.key);
      QCOMPARE(grid()->textMatrix(grid()->rowSel(), 0), QString::number(s.id));
      QVERIFY2(near(preview(), s.colour), qPrintable(QString::number(s.id)));
    }
    key(Qt::Key_Up);
    key(Qt::Key_Up);
    const BigShot shot = fromBox();
    QCOMPARE(shot.caption, QStringLiteral("A-3"));
    QVERIFY(near(shot.corner, kBlue));
    QVERIFY2(recorder->boxes.empty(), qPrintable(recorder->texts().join('|')));
  }

  // A second grid click while the big window is open: an error message, no
  // second window, no crash.
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

  // In the picture layout a click on a picture shows it big, other cells do
  // not. Stored picture names are never used as file names: showing every
  // picture reads or writes no file in or above the program folder.
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
};

QTEST_MAIN(TestPictures)
#include "test_pictures.moc"
