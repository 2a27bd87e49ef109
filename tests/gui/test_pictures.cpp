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

#include "fixtures/sample_data.h"
#include "gui/price/BigPictureWindow.h"
#include "gui/price/PictureWindowFit.h"
#include "gui/grid/FlexGrid.h"
#include "gui/price/PriceWindow.h"
#include "base/ProgramFolder.h"
#include "gui/common/Twips.h"
#include "app/MainWindow.h"
#include "base/IniFile.h"
#include "gui/common/MessageBoxes.h"
#include "base/Settings.h"

namespace {

const QColor kRed(220, 30, 30), kBlue(30, 40, 220), kGreen(30, 200, 40);

// Colour of a picture's corner; invalid for no picture.
QColor corner(const QPixmap& pm) { return pm.isNull() ? QColor() : pm.toImage().pixelColor(2, 2); }

bool near(const QColor& a, const QColor& b)
{
    if (!a.isValid() || !b.isValid())
        return a.isValid() == b.isValid();
    return std::abs(a.red() - b.red()) <= 40 && std::abs(a.green() - b.green()) <= 40 && std::abs(a.blue() - b.blue()) <= 40;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

// A temporary root holding the program folder "prog", so that names leading out of
// it ("../x") stay inside the root and can be watched.
struct Folder {
    QTemporaryDir root;
    QString prog = root.filePath(QStringLiteral("prog"));
    Folder()
    {
        QDir().mkpath(prog);
        SetProgramFolder(prog);
        QDir::setCurrent(prog);
        settings::createDefault();
    }
};

// Products in name order; the article is "A-" and the id.
//  1 red JPEG 100x50 "a.jpg"; 2 no images row; 3 blue PNG "settings.ini"; 4 zero-length bytes "../x";
//  5 damaged bytes "sub/x.jpg"; 6 green JPEG "../x"; 7 NULL bytes "x.jpg"
void buildPriceDb(const QString& path)
{
    PriceDbBuilder db(path);
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

// What the big picture window showed while it was open; seen is false when none opened.
struct BigShot {
    bool seen = false, modal = false;
    QString caption;
    QSize client, picture;
    QRect box;
    QColor corner, background;
};

// Runs the trigger while a timer records and closes the visible big picture window.
BigShot runAndCloseBig(const std::function<void()>& trigger)
{
    BigShot shot;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        for (QWidget* tw : QApplication::topLevelWidgets()) {
            if (tw->objectName() != QLatin1String("frm_bigimage") || !tw->isVisible())
                continue;
            auto* dlg = static_cast<BigPictureWindow*>(tw);
            shot = {true, QApplication::activeModalWidget() == dlg, dlg->windowTitle(), dlg->size(),
                    child<QLabel>(dlg, "Picture1")->pixmap().size(), child<QLabel>(dlg, "Picture1")->geometry(), corner(child<QLabel>(dlg, "Picture1")->pixmap()),
                    child<QLabel>(dlg, "Picture1")->autoFillBackground() ? child<QLabel>(dlg, "Picture1")->palette().color(QPalette::Window) : QColor()};
            dlg->reject();
        }
    });
    probe.start(10);
    trigger();
    (void)QTest::qWaitFor([&] { return shot.seen; }, 200);   // a window may open late
    return shot;
}

// Every file under a folder: relative path -> size, contents digest and time.
QMap<QString, QByteArray> snapshot(const QString& dir)
{
    QMap<QString, QByteArray> out;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith("-wal") || path.endsWith("-shm"))   // the database's own log changes as it is read
            continue;
        QFile f(path);
        const QFileInfo fi(path);
        out.insert(QDir(dir).relativeFilePath(path),
                   fi.isDir() || !f.open(QIODevice::ReadOnly)
                       ? QByteArray("dir")
                       : QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1).toHex() + ':'
                             + QByteArray::number(fi.lastModified().toMSecsSinceEpoch()));
    }
    return out;
}

} // namespace

class TestPictures : public QObject {
    Q_OBJECT

    std::unique_ptr<Folder> folder;
    std::unique_ptr<msg::ScopedRecorder> recorder;
    std::unique_ptr<MainWindow> main;
    PriceWindow* w = nullptr;

    // Opens the main window and the price list on the sample database.
    void open(bool preview, bool thumbnails)
    {
        folder = std::make_unique<Folder>();
        buildPriceDb(QDir(folder->prog).filePath("varnokel.mdb"));
        WriteSetting(settings::path(), "forms", "name", "1000");   // keeps the picture column in view
        WriteSetting(settings::path(), "settings", "imagethumb", preview ? "1" : "0");
        WriteSetting(settings::path(), "settings", "imagetostring", thumbnails ? "1" : "0");
        recorder = std::make_unique<msg::ScopedRecorder>();
        main = std::make_unique<MainWindow>();
        main->resize(1280, 900);
        main->show();
        main->ShowStartupWindow();
        w = main->priceWindow();
        QVERIFY(w && QTest::qWaitForWindowExposed(main.get()));
        QCOMPARE(child<FlexGrid>(w, "MSFlexGrid1")->rows(), 8);
    }

    void key(Qt::Key k) { QTest::keyClick(child<FlexGrid>(w, "MSFlexGrid1"), k); }
    BigShot fromBox() { return runAndCloseBig([this] { QTest::mouseClick(child<QLabel>(w, "Picture1"), Qt::LeftButton); }); }

    // Clicks the cell (row of the product id, col) with the mouse, recording the big window.
    BigShot fromCell(const QString& id, int col)
    {
        FlexGrid* g = child<FlexGrid>(w, "MSFlexGrid1");
        int row = 1;
        while (row < g->rows() - 1 && g->textMatrix(row, 0) != id)
            ++row;
        const QModelIndex idx = g->model()->index(row - 1, col);
        g->scrollTo(idx);
        QApplication::processEvents();
        const BigShot shot = runAndCloseBig(
            [&] { QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier, g->visualRect(idx).center()); });
        if (g->rowSel() != row || g->colSel() != col)
            qWarning("cell %d,%d not clicked", row, col);
        return shot;
    }

    static QSize drawingSize() { return twips::toPx(120, 120, 5055, 3855).size() - QSize(4, 4); }

#define OPEN(preview, thumbnails)       \
    do {                                \
        open(preview, thumbnails);      \
        if (QTest::currentTestFailed()) \
            return;                     \
    } while (false)

private slots:
    void cleanup()
    {
        w = nullptr;
        main.reset();
        recorder.reset();
        folder.reset();
    }

    void previewFollowsArrowKeys()
    {
        OPEN(true, false);
        QVERIFY(near(corner(child<QLabel>(w, "Picture1")->pixmap()), kRed));   // the first row's picture after the load
        QCOMPARE(child<QLabel>(w, "Picture1")->pixmap().size(), child<QLabel>(w, "Picture1")->contentsRect().size());   // stretched over the box
        // Each move: the key, the product it lands on and the box's colour (invalid: empty).
        const struct { Qt::Key key; int id; QColor colour; } steps[] = {
            {Qt::Key_Down, 2, {}},      {Qt::Key_Up, 1, kRed},      {Qt::Key_Down, 2, {}},
            {Qt::Key_Down, 3, kBlue},   {Qt::Key_Down, 4, kBlue},   // zero-length bytes keep the picture
            {Qt::Key_Down, 5, {}},                                  // damaged bytes empty it, silently
            {Qt::Key_Down, 6, kGreen},  {Qt::Key_Down, 7, kGreen},  // NULL bytes keep it
            {Qt::Key_Up, 6, kGreen},    {Qt::Key_Up, 5, {}}};
        for (const auto& s : steps) {
            key(s.key);
            QCOMPARE(child<FlexGrid>(w, "MSFlexGrid1")->textMatrix(child<FlexGrid>(w, "MSFlexGrid1")->rowSel(), 0), QString::number(s.id));
            QVERIFY2(near(corner(child<QLabel>(w, "Picture1")->pixmap()), s.colour), qPrintable(QString::number(s.id)));
        }
        QVERIFY2(recorder->boxes.empty(), qPrintable(recorder->texts().join('|')));
    }

    void previewOffOrWithThumbnails()
    {
        OPEN(false, false);
        key(Qt::Key_Down);
        key(Qt::Key_Down);
        QVERIFY(child<QLabel>(w, "Picture1")->pixmap().isNull());   // preview unchecked: nothing happens
        child<QCheckBox>(w, "Check1")->setChecked(true);
        w->togglePreview();
        key(Qt::Key_Down);
        key(Qt::Key_Up);   // Вишня
        QVERIFY(near(corner(child<QLabel>(w, "Picture1")->pixmap()), kBlue));
        child<QCheckBox>(w, "Check2")->setChecked(true);   // thumbnails on: moves no longer change the preview
        w->toggleThumbnails();
        const QImage before = child<QLabel>(w, "Picture1")->pixmap().toImage();
        for (Qt::Key k : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Up})
            key(k);
        QCOMPARE(child<QLabel>(w, "Picture1")->pixmap().toImage(), before);
    }

    void bigWindowFromTheBox()
    {
        OPEN(true, false);
        const BigShot shot = fromBox();
        QVERIFY(shot.seen && shot.modal);
        QCOMPARE(shot.caption, QStringLiteral("A-1"));
        // Painted at the box's drawing size; box and window fitted to it, light cyan behind.
        QCOMPARE(shot.picture, drawingSize());
        QCOMPARE(shot.box, QRect(QPoint(0, 0), drawingSize()));
        QCOMPARE(shot.client, drawingSize());
        QCOMPARE(shot.background, QColor(128, 255, 255));
        QVERIFY(near(shot.corner, kRed));
        key(Qt::Key_Down);   // Бук: no picture, the caption only, fitted to the empty box
        const BigShot none = fromBox();
        QCOMPARE(none.caption, QStringLiteral("A-2"));
        QVERIFY(none.picture.isEmpty());
        QCOMPARE(none.client, twips::toPx(0, 0, 5055, 3855).size());
        key(Qt::Key_Down);   // Вишня: the same window, new caption and picture
        const BigShot again = fromBox();
        QCOMPARE(again.caption, QStringLiteral("A-3"));
        QVERIFY(near(again.corner, kBlue));
        QCOMPARE(again.client, drawingSize());
        int windows = 0;
        for (QWidget* tw : QApplication::topLevelWidgets())
            windows += tw->objectName() == QLatin1String("frm_bigimage");
        QCOMPARE(windows, 1);
        QVERIFY(recorder->boxes.empty());
    }

    void bigWindowFromTheGrid_data()
    {
        QTest::addColumn<bool>("thumbnails");
        QTest::addColumn<QString>("id");
        QTest::addColumn<int>("col");
        QTest::addColumn<QString>("caption");   // empty: no window
        QTest::addColumn<bool>("picture");
        QTest::newRow("picture column") << true << "1" << 4 << "A-1" << true;
        QTest::newRow("another column") << true << "1" << 3 << "" << false;
        QTest::newRow("product without a picture") << true << "2" << 4 << "A-2" << false;
        QTest::newRow("column 4 without thumbnails") << false << "1" << 4 << "" << false;
    }

    void bigWindowFromTheGrid()
    {
        QFETCH(bool, thumbnails);
        QFETCH(QString, id);
        QFETCH(int, col);
        QFETCH(QString, caption);
        QFETCH(bool, picture);
        OPEN(!thumbnails, thumbnails);
        const BigShot shot = fromCell(id, col);
        QCOMPARE(child<FlexGrid>(w, "MSFlexGrid1")->colSel(), col);
        QCOMPARE(shot.seen, !caption.isEmpty());
        QCOMPARE(shot.caption, caption);
        QCOMPARE(!shot.picture.isEmpty(), picture);
        if (picture)
            QCOMPARE(shot.client, drawingSize());
        QVERIFY2(recorder->boxes.empty(), qPrintable(recorder->texts().join('|')));
    }

    void gridClickWhileOpenShowsTheError()
    {
        OPEN(false, true);
        child<FlexGrid>(w, "MSFlexGrid1")->setRow(1);
        child<FlexGrid>(w, "MSFlexGrid1")->setCol(4);
        bool reported = false;
        runAndCloseBig([&] {
            QTimer::singleShot(0, [&] {   // a second grid click inside the open window's loop
                emit child<FlexGrid>(w, "MSFlexGrid1")->Click();
                reported = !recorder->boxes.empty();
            });
            emit child<FlexGrid>(w, "MSFlexGrid1")->Click();
        });
        QVERIFY(reported);
        QCOMPARE(recorder->boxes.size(), size_t(1));
        const msg::Box& box = recorder->boxes.front();
        QVERIFY(box.text.startsWith(QStringLiteral("Произошла ошибка при запросе\r")));
        QCOMPARE(box.title, QStringLiteral("Предупреждение"));
        QCOMPARE(box.icon, msg::Icon::Critical);
    }

    void pictureNamesNeverTouchFiles()
    {
        OPEN(true, false);
        // Files the stored names point at: in the folder, in a sub-folder and above it.
        QDir(folder->prog).mkpath("sub");
        writeFile(QDir(folder->prog).filePath("sub/x.jpg"), "keep me");
        writeFile(folder->root.filePath("x"), "keep me too");
        const auto before = snapshot(folder->root.path());
        QVERIFY(before.contains("prog/settings.ini") && before.contains("x") && before.contains("prog/sub/x.jpg"));
        for (int r = 1; r < child<FlexGrid>(w, "MSFlexGrid1")->rows(); ++r) {
            if (r > 1)
                key(Qt::Key_Down);
            QVERIFY(fromBox().seen);
        }
        child<QCheckBox>(w, "Check2")->setChecked(true);   // and in the picture layout, from the grid
        w->toggleThumbnails();
        for (int id = 1; id <= 7; ++id)
            QVERIFY(fromCell(QString::number(id), 4).seen);
        QCOMPARE(snapshot(folder->root.path()), before);
        QVERIFY(recorder->boxes.empty());
    }
};

QTEST_MAIN(TestPictures)
#include "test_pictures.moc"
