// The preview box, the big picture window and the window fitting, on real
// windows (offscreen platform) over a price database built for each test.
#include "support/Widgets.h"

#include <QtTest>

#include <QApplication>
#include <QCheckBox>
#include <QDirIterator>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>

#include "app/MainWindow.h"
#include "base/IniFile.h"
#include "base/ProgramFolder.h"
#include "base/Settings.h"
#include "fixtures/sample_data.h"
#include "gui/common/MessageBoxes.h"
#include "gui/common/Twips.h"
#include "gui/grid/FlexGrid.h"
#include "gui/price/BigPictureWindow.h"
#include "gui/price/PriceWindow.h"

namespace {

const QColor kRed(220, 30, 30), kBlue(30, 40, 220), kGreen(30, 200, 40);

// Colour of a picture's corner; invalid for no picture.
QColor corner(const QPixmap& pm) { return pm.isNull() ? QColor() : pm.toImage().pixelColor(2, 2); }

bool near(const QColor& a, const QColor& b) {
  if (!a.isValid() || !b.isValid()) return a.isValid() == b.isValid();
  return std::abs(a.red() - b.red()) <= 40 && std::abs(a.green() - b.green()) <= 40 &&
         std::abs(a.blue() - b.blue()) <= 40;
}

// A temporary root holding the program folder "prog", so that names leading out of
// it ("../x") stay inside the root and can be watched.
// Products in name order; the article is "A-" and the id.
//  1 red JPEG 100x50 "a.jpg"; 2 no images row; 3 blue PNG "settings.ini"; 4 zero-length bytes "../x";
//  5 damaged bytes "sub/x.jpg"; 6 green JPEG "../x"; 7 NULL bytes "x.jpg"
struct Folder {
  QTemporaryDir root;
  QString prog = root.filePath(QStringLiteral("prog"));
  Folder() {
    QDir().mkpath(prog);
    SetProgramFolder(prog);
    QDir::setCurrent(prog);
    settings::createDefault();
    PriceDbBuilder db(QDir(prog).filePath("varnokel.mdb"));
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
  // Windows removes no folder that is a current one.
  ~Folder() { QDir::setCurrent(QDir::tempPath()); }
};

// What the big picture window showed while it was open; seen is false when none opened.
struct BigShot {
  bool seen = false, modal = false;
  QString caption;
  QSize client, picture;
  QRect box;
  QColor corner, background;
};

// Runs the trigger while a timer records and closes the visible big picture window.
BigShot runAndCloseBig(const std::function<void()>& trigger) {
  BigShot shot;
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, [&] {
    for (QWidget* tw : QApplication::topLevelWidgets()) {
      if (tw->objectName() != QLatin1String("frm_bigimage") || !tw->isVisible()) continue;
      auto* dlg = static_cast<BigPictureWindow*>(tw);
      const QLabel* l = child<QLabel>(dlg, "Picture1");
      shot = {true,
              QApplication::activeModalWidget() == dlg,
              dlg->windowTitle(),
              dlg->size(),
              l->pixmap().size(),
              l->geometry(),
              corner(l->pixmap()),
              l->autoFillBackground() ? l->palette().color(QPalette::Window) : QColor()};
      dlg->reject();
    }
  });
  probe.start(10);
  trigger();
  (void)QTest::qWaitFor([&] { return shot.seen; }, 200);  // a window may open late
  return shot;
}

// Every file under a folder: relative path -> contents and time.
QMap<QString, QByteArray> snapshot(const QString& dir) {
  QMap<QString, QByteArray> out;
  QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    if (path.endsWith("-wal") || path.endsWith("-shm"))  // the database's own log changes as it is read
      continue;
    QFile f(path);
    out.insert(QDir(dir).relativeFilePath(path),
               (f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("dir")) + ':' +
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
  QPixmap preview() const { return child<QLabel>(w, "Picture1")->pixmap(); }

  // Opens the main window and the price list on the sample database.
  bool open(bool preview, bool thumbnails) {
    folder = std::make_unique<Folder>();
    WriteSetting(settings::path(), "forms", "name", "1000");  // keeps the picture column in view
    WriteSetting(settings::path(), "settings", "imagethumb", preview ? "1" : "0");
    WriteSetting(settings::path(), "settings", "imagetostring", thumbnails ? "1" : "0");
    recorder = std::make_unique<msg::ScopedRecorder>();
    main = std::make_unique<MainWindow>();
    main->resize(1280, 900);
    main->show();
    main->showStartupWindow();
    w = main->priceWindow();
    return w && QTest::qWaitForWindowExposed(main.get()) && grid()->rows() == 8;
  }

  void key(Qt::Key k) { QTest::keyClick(grid(), k); }
  BigShot fromBox() {
    return runAndCloseBig([this] { QTest::mouseClick(child<QLabel>(w, "Picture1"), Qt::LeftButton); });
  }

  // Clicks the cell (row of the product id, col) with the mouse, recording the big window.
  BigShot fromCell(const QString& id, int col) {
    FlexGrid* g = grid();
    int row = 1;
    while (row < g->rows() - 1 && g->textMatrix(row, 0) != id) ++row;
    const QModelIndex idx = g->model()->index(row - 1, col);
    g->scrollTo(idx);
    QApplication::processEvents();
    return runAndCloseBig(
        [&] { QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier, g->visualRect(idx).center()); });
  }

  static QSize drawingSize() { return twips::toPx(120, 120, 5055, 3855).size() - QSize(4, 4); }

 private slots:
  void cleanup() {
    w = nullptr;
    main.reset();
    recorder.reset();
    folder.reset();
  }

  void previewFollowsArrowKeys() {
    QVERIFY(open(true, false));
    QVERIFY(near(corner(preview()), kRed));  // the first row's picture after the load
    QCOMPARE(preview().size(), child<QLabel>(w, "Picture1")->contentsRect().size());  // stretched over the box
    // Each move: the key, the product it lands on and the box's colour (invalid: empty).
    const struct {
      Qt::Key key;
      int id;
      QColor colour;
    } steps[] = {{Qt::Key_Down, 2, {}},     {Qt::Key_Down, 3, kBlue},
                 {Qt::Key_Down, 4, kBlue},                              // zero-length bytes keep it
                 {Qt::Key_Down, 5, {}},                                 // damaged bytes empty it, silently
                 {Qt::Key_Down, 6, kGreen}, {Qt::Key_Down, 7, kGreen},  // NULL bytes keep it
                 {Qt::Key_Up, 6, kGreen},   {Qt::Key_Up, 5, {}}};
    for (const auto& s : steps) {
      key(s.key);
      QCOMPARE(grid()->textMatrix(grid()->rowSel(), 0), QString::number(s.id));
      QVERIFY2(near(corner(preview()), s.colour), qPrintable(QString::number(s.id)));
    }
    QVERIFY2(recorder->boxes.empty(), qPrintable(recorder->texts().join('|')));
    child<QCheckBox>(w, "Check2")->setChecked(true);  // thumbnails on: moves no longer change the preview
    w->toggleThumbnails();
    const QImage before = preview().toImage();
    for (Qt::Key k : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Up}) key(k);
    QCOMPARE(preview().toImage(), before);
  }

  void previewOff() {
    QVERIFY(open(false, false));
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    QVERIFY(preview().isNull());  // preview unchecked: nothing happens
    child<QCheckBox>(w, "Check1")->setChecked(true);
    w->togglePreview();
    key(Qt::Key_Down);
    key(Qt::Key_Up);  // Вишня
    QVERIFY(near(corner(preview()), kBlue));
  }

  void bigWindowFromTheBox() {
    QVERIFY(open(true, false));
    const BigShot shot = fromBox();
    QVERIFY(shot.seen && shot.modal);
    QCOMPARE(shot.caption, QStringLiteral("A-1"));
    // Painted at the box's drawing size; box and window fitted to it, light cyan behind.
    QCOMPARE(shot.picture, drawingSize());
    QCOMPARE(shot.box, QRect(QPoint(0, 0), drawingSize()));
    QCOMPARE(shot.client, drawingSize());
    QCOMPARE(shot.background, QColor(128, 255, 255));
    QVERIFY(near(shot.corner, kRed));
    key(Qt::Key_Down);  // Бук: no picture, the caption only, fitted to the empty box
    const BigShot none = fromBox();
    QCOMPARE(none.caption, QStringLiteral("A-2"));
    QVERIFY(none.picture.isEmpty());
    QCOMPARE(none.client, twips::toPx(0, 0, 5055, 3855).size());
    QVERIFY(recorder->boxes.empty());
  }

  void bigWindowFromTheGrid_data() {
    QTest::addColumn<bool>("thumbnails");
    QTest::addColumn<int>("col");
    QTest::addColumn<bool>("opens");
    QTest::newRow("picture column") << true << 4 << true;
    QTest::newRow("another column") << true << 3 << false;
    QTest::newRow("column 4 without thumbnails") << false << 4 << false;
  }

  void bigWindowFromTheGrid() {
    QFETCH(bool, thumbnails);
    QFETCH(int, col);
    QFETCH(bool, opens);
    QVERIFY(open(!thumbnails, thumbnails));
    const BigShot shot = fromCell("1", col);
    QCOMPARE(grid()->colSel(), col);
    QCOMPARE(shot.caption, opens ? QStringLiteral("A-1") : QString());
    QCOMPARE(shot.picture, opens ? drawingSize() : QSize());
    QVERIFY2(recorder->boxes.empty(), qPrintable(recorder->texts().join('|')));
  }

  void gridClickWhileOpenShowsTheError() {
    QVERIFY(open(false, true));
    grid()->setRow(1);
    grid()->setCol(4);
    bool reported = false;
    runAndCloseBig([&] {
      QTimer::singleShot(0, [&] {  // a second grid click inside the open window's loop
        emit grid()->Click();
        reported = !recorder->boxes.empty();
      });
      emit grid()->Click();
    });
    QVERIFY(reported);
    QCOMPARE(recorder->boxes.size(), size_t(1));
    const msg::Box& box = recorder->boxes.front();
    QVERIFY(box.text.startsWith(QStringLiteral("Произошла ошибка при запросе\r")));
    QCOMPARE(box.title, QStringLiteral("Предупреждение"));
    QCOMPARE(box.icon, msg::Icon::Critical);
  }

  void pictureNamesNeverTouchFiles() {
    QVERIFY(open(true, false));
    // Files the stored names point at: in the folder, in a sub-folder and above it.
    QDir(folder->prog).mkpath("sub");
    for (const QString& path : {QDir(folder->prog).filePath("sub/x.jpg"), folder->root.filePath("x")}) {
      QFile f(path);
      QVERIFY(f.open(QIODevice::WriteOnly) && f.write("keep me") == 7);
    }
    const auto before = snapshot(folder->root.path());
    for (int r = 1; r < grid()->rows(); ++r) {
      if (r > 1) key(Qt::Key_Down);
      QVERIFY(fromBox().seen);
    }
    child<QCheckBox>(w, "Check2")->setChecked(true);  // and in the picture layout, from the grid
    w->toggleThumbnails();
    for (int id = 1; id <= 7; ++id) QVERIFY(fromCell(QString::number(id), 4).seen);
    QCOMPARE(snapshot(folder->root.path()), before);
    QVERIFY(recorder->boxes.empty());
  }
};

QTEST_MAIN(TestPictures)
#include "test_pictures.moc"
