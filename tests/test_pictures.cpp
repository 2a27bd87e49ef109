// The preview box, the big picture window and the window fitting, on real
// windows (offscreen platform) over a price database built for each test.
#include <QtTest>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDirIterator>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>

#include "fixtures/sample_data.h"
#include "order/PicturePreview.h"
#include "order/frm_bigimage.h"
#include "order/images.h"
#include "price/FlexGrid.h"
#include "price/frm_price.h"
#include "shell/ProgramFolder.h"
#include "shell/Twips.h"
#include "shell/frm_main.h"
#include "shell/ini.h"
#include "shell/messages.h"
#include "shell/public_var.h"

namespace {

const QColor kRed(220, 30, 30);
const QColor kBlue(30, 40, 220);
const QColor kGreen(30, 200, 40);

bool near(const QColor& a, const QColor& b, int tolerance = 40)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

QString describe(const QColor& c) { return QStringLiteral("%1,%2,%3").arg(c.red()).arg(c.green()).arg(c.blue()); }

// A temporary root holding the program folder "prog", so that names leading out of
// the program folder ("../x") stay inside the root and can be watched.
struct Folder {
    QTemporaryDir root;
    QString prog;
    Folder()
    {
        prog = root.filePath(QStringLiteral("prog"));
        QDir().mkpath(prog);
        SetProgramFolder(prog);
        QDir::setCurrent(prog);
        SetSettingsPath();
        CreateDefaultSettings();
    }
    QString file(const QString& name) const { return QDir(prog).filePath(name); }
};

// Products in name order; the article (column 1) is "A-" and the id.
//  1 Алмаз  red JPEG 100x50      named a.jpg
//  2 Бук    no images row
//  3 Вишня  blue PNG 60x60       named settings.ini
//  4 Груша  zero-length bytes    named ../x
//  5 Дуб    damaged bytes        named sub/x.jpg
//  6 Ель    green JPEG 80x80     named ../x
//  7 Жасмин NULL bytes           named x.jpg
void buildPriceDb(const QString& path)
{
    PriceDbBuilder db(path);
    db.addCategory(1, QStringLiteral("Деревья"));
    const QStringList names{QStringLiteral("Алмаз"), QStringLiteral("Бук"), QStringLiteral("Вишня"), QStringLiteral("Груша"),
                            QStringLiteral("Дуб"), QStringLiteral("Ель"), QStringLiteral("Жасмин")};
    for (int i = 0; i < names.size(); ++i) {
        const QString id = QString::number(i + 1);
        db.addProduct(id, 1, QStringLiteral("A-") + id, 5, 10.5, names[i]);
    }
    db.addImage(QStringLiteral("1"), PriceDbBuilder::jpeg(100, 50, kRed), QStringLiteral("a.jpg"));
    db.addImage(QStringLiteral("3"), PriceDbBuilder::png(60, 60, kBlue), QStringLiteral("settings.ini"));
    db.addImage(QStringLiteral("4"), QByteArray(""), QStringLiteral("../x"));
    db.addImage(QStringLiteral("5"), QByteArray("this is not a picture at all"), QStringLiteral("sub/x.jpg"));
    db.addImage(QStringLiteral("6"), PriceDbBuilder::jpeg(80, 80, kGreen), QStringLiteral("../x"));
    db.addImage(QStringLiteral("7"), QByteArray(), QStringLiteral("x.jpg"));
}

int rowOf(FlexGrid* g, const QString& id)
{
    for (int r = 1; r < g->rows(); ++r)
        if (g->textMatrix(r, 0) == id)
            return r;
    return -1;
}

QColor cornerColour(const QLabel* box)
{
    const QPixmap pm = box->pixmap();
    if (pm.isNull())
        return QColor();
    return pm.toImage().pixelColor(2, 2);
}

// What the big picture window showed while it was open.
struct BigShot {
    bool seen = false;
    bool modal = false;
    QString caption;
    QSize client;
    QRect box;
    QSize picture;
    QColor background;
    bool backgroundFilled = false;
    QFrame::Shape shape = QFrame::NoFrame;
    QColor pictureCorner;
};

// Runs the trigger; while it runs, a timer finds the visible big picture window,
// records it and closes it. Returns what was seen (seen is false when no window
// opened).
BigShot runAndCloseBig(const std::function<void()>& trigger)
{
    auto shot = std::make_shared<BigShot>();
    auto done = std::make_shared<bool>(false);
    auto attempts = std::make_shared<int>(0);
    auto probe = std::make_shared<std::function<void()>>();
    *probe = [shot, done, attempts, probe] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() != QLatin1String("frm_bigimage") || !w->isVisible())
                continue;
            auto* dlg = static_cast<frm_bigimage*>(w);
            shot->seen = true;
            shot->modal = QApplication::activeModalWidget() == dlg;
            shot->caption = dlg->windowTitle();
            shot->client = dlg->size();
            shot->box = dlg->Picture1->geometry();
            shot->picture = dlg->Picture1->pixmap().size();
            shot->background = dlg->Picture1->palette().color(QPalette::Window);
            shot->backgroundFilled = dlg->Picture1->autoFillBackground();
            shot->shape = dlg->Picture1->frameShape();
            if (!dlg->Picture1->pixmap().isNull())
                shot->pictureCorner = dlg->Picture1->pixmap().toImage().pixelColor(2, 2);
            dlg->reject();
            *done = true;
            return;
        }
        if (++*attempts < 20)
            QTimer::singleShot(10, *probe);
        else
            *done = true;
    };
    QTimer::singleShot(0, *probe);
    trigger();
    if (!QTest::qWaitFor([&] { return *done; }, 5000))
        qWarning("the big picture window probe did not finish");
    *probe = nullptr;  // breaks the self-reference
    return *shot;
}

// Recursive listing of a folder: relative path -> size and contents digest.
QMap<QString, QByteArray> snapshot(const QString& dir)
{
    QMap<QString, QByteArray> out;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        // The database's own log and shared-memory index change as it is read.
        if (path.endsWith("-wal") || path.endsWith("-shm"))
            continue;
        const QFileInfo fi(path);
        QByteArray sig = fi.isDir() ? QByteArray("dir") : QByteArray::number(fi.size());
        if (fi.isFile()) {
            QFile f(path);
            if (f.open(QIODevice::ReadOnly))
                sig += ':' + QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1).toHex();
            sig += ':' + QByteArray::number(fi.lastModified().toMSecsSinceEpoch());
        }
        out.insert(QDir(dir).relativeFilePath(path), sig);
    }
    return out;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestPictures : public QObject {
    Q_OBJECT

    std::unique_ptr<Folder> folder;
    std::unique_ptr<msg::ScopedRecorder> recorder;
    std::unique_ptr<frm_main> main;
    frm_price* w = nullptr;

    // Opens the main window and the price list on the sample database.
    void open(bool preview, bool thumbnails)
    {
        folder = std::make_unique<Folder>();
        buildPriceDb(folder->file(QStringLiteral("varnokel.mdb")));
        // A narrow name column keeps the picture column in view.
        WriteSetting(SettingsPath, QStringLiteral("forms"), QStringLiteral("name"), QStringLiteral("1000"));
        if (preview)
            WriteSetting(SettingsPath, QStringLiteral("settings"), QStringLiteral("imagethumb"), QStringLiteral("1"));
        if (thumbnails)
            WriteSetting(SettingsPath, QStringLiteral("settings"), QStringLiteral("imagetostring"), QStringLiteral("1"));
        recorder = std::make_unique<msg::ScopedRecorder>();
        main = std::make_unique<frm_main>();
        main->resize(1280, 900);
        main->show();
        main->ShowStartupWindow();
        w = main->priceWindow();
        QVERIFY(w);
        QVERIFY(QTest::qWaitForWindowExposed(main.get()));
        QCOMPARE(w->MSFlexGrid1->rows(), 8);
        QCOMPARE(w->Check1->isChecked(), preview);
        QCOMPARE(w->Check2->isChecked(), thumbnails);
    }

    void down() { QTest::keyClick(w->MSFlexGrid1, Qt::Key_Down); }

    // Clicks a cell of the grid with the mouse.
    void clickCell(int row, int col)
    {
        FlexGrid* g = w->MSFlexGrid1;
        const QModelIndex idx = g->model()->index(row - 1, col);
        g->scrollTo(idx);
        QApplication::processEvents();
        const QRect r = g->visualRect(idx);
        QVERIFY2(g->viewport()->rect().contains(r.center()), "cell not in view");
        QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
    }

    QSize laidOutDrawingSize() const
    {
        const QRect box = twips::toPx(120, 120, 5055, 3855);
        return QSize(box.width() - 4, box.height() - 4);
    }

#define OPEN(preview, thumbnails)          \
    do {                                   \
        open(preview, thumbnails);         \
        if (QTest::currentTestFailed())    \
            return;                        \
    } while (false)

private slots:
    void cleanup()
    {
        w = nullptr;
        main.reset();
        recorder.reset();
        folder.reset();
    }

    // ---- preview -----------------------------------------------------------

    void previewFollowsArrowKeys()
    {
        OPEN(true, false);
        FlexGrid* g = w->MSFlexGrid1;
        QVERIFY(w->Picture1->isVisible());
        QCOMPARE(g->textMatrix(1, 0), QStringLiteral("1"));
        QCOMPARE(g->rowSel(), 1);
        QVERIFY(!w->Picture1->pixmap().isNull());  // the first row's picture after the load

        down();  // Бук: no images row
        QCOMPARE(g->rowSel(), 2);
        QVERIFY(w->Picture1->pixmap().isNull());

        QTest::keyClick(g, Qt::Key_Up);  // Алмаз: red
        QCOMPARE(g->rowSel(), 1);
        QVERIFY2(near(cornerColour(w->Picture1), kRed), qPrintable(describe(cornerColour(w->Picture1))));

        down();  // Бук again: the box is emptied
        QVERIFY(w->Picture1->pixmap().isNull());

        down();  // Вишня: blue
        QCOMPARE(g->textMatrix(g->rowSel(), 0), QStringLiteral("3"));
        QVERIFY2(near(cornerColour(w->Picture1), kBlue), qPrintable(describe(cornerColour(w->Picture1))));

        down();  // Груша: zero-length bytes keep the previous picture
        QCOMPARE(g->textMatrix(g->rowSel(), 0), QStringLiteral("4"));
        QVERIFY(near(cornerColour(w->Picture1), kBlue));

        down();  // Дуб: damaged bytes empty the box, silently
        QCOMPARE(g->textMatrix(g->rowSel(), 0), QStringLiteral("5"));
        QVERIFY(w->Picture1->pixmap().isNull());

        down();  // Ель: green
        QVERIFY(near(cornerColour(w->Picture1), kGreen));

        down();  // Жасмин: NULL bytes keep the previous picture
        QCOMPARE(g->textMatrix(g->rowSel(), 0), QStringLiteral("7"));
        QVERIFY(near(cornerColour(w->Picture1), kGreen));

        QTest::keyClick(g, Qt::Key_Up);
        QTest::keyClick(g, Qt::Key_Up);  // back to Дуб
        QVERIFY(w->Picture1->pixmap().isNull());
        QVERIFY2(recorder->boxes.empty(), qPrintable(recorder->texts().join(QLatin1Char('|'))));
    }

    void previewIsStretchedOverTheBox()
    {
        OPEN(true, false);
        down();
        QTest::keyClick(w->MSFlexGrid1, Qt::Key_Up);  // onto Алмаз, 100 x 50
        QLabel* box = w->Picture1;
        const QSize area = box->contentsRect().size();
        QCOMPARE(box->pixmap().size(), area);
        // 100 x 50 fills the whole box: the background colour in all four corners
        // and the shape in the middle, distorted to the box's proportions.
        const QImage shown = box->grab().toImage();
        const QRect c = box->contentsRect();
        for (const QPoint& p : {c.topLeft() + QPoint(2, 2), c.topRight() + QPoint(-2, 2), c.bottomLeft() + QPoint(2, -2),
                                c.bottomRight() + QPoint(-2, -2)})
            QVERIFY2(near(shown.pixelColor(p), kRed), qPrintable(describe(shown.pixelColor(p))));
        QVERIFY(!near(shown.pixelColor(c.center()), kRed));
        QVERIFY(!near(shown.pixelColor(c.center().x(), c.top() + c.height() * 3 / 10), kRed));
    }

    void previewOffWithoutCheckOrWithThumbnails()
    {
        OPEN(false, false);
        QVERIFY(w->Picture1->pixmap().isNull());
        down();
        down();
        QVERIFY(w->Picture1->pixmap().isNull());  // "Изображение" unchecked: nothing happens

        // Preview on, then thumbnails on: moving no longer changes the preview.
        w->Check1->setChecked(true);
        w->Check1_Click();
        QVERIFY(w->Picture1->isVisible());
        down();  // onto Груша: keeps nothing
        QTest::keyClick(w->MSFlexGrid1, Qt::Key_Up);  // Вишня
        QVERIFY(near(cornerColour(w->Picture1), kBlue));
        w->Check2->setChecked(true);
        w->Check2_Click();
        QVERIFY(w->thumbnailsOn());
        const QImage before = w->Picture1->pixmap().toImage();
        for (int i = 0; i < 4; ++i)
            down();
        QTest::keyClick(w->MSFlexGrid1, Qt::Key_Up);
        QCOMPARE(w->Picture1->pixmap().toImage(), before);
    }

    // ---- big picture window ---------------------------------------------------

    void bigWindowFromThePreviewBox()
    {
        OPEN(true, false);
        QCOMPARE(w->MSFlexGrid1->rowSel(), 1);
        TwipsPerPixelX = TwipsPerPixelY = 0;
        const BigShot shot = runAndCloseBig([this] { QTest::mouseClick(w->Picture1, Qt::LeftButton); });
        QVERIFY(shot.seen);
        QVERIFY(shot.modal);
        QCOMPARE(shot.caption, QStringLiteral("A-1"));
        // Painted at the box's laid-out drawing size, then the box sized to it at the
        // corner, borderless, light cyan behind, and the window fitted around it.
        QCOMPARE(shot.picture, laidOutDrawingSize());
        QCOMPARE(shot.box, QRect(QPoint(0, 0), laidOutDrawingSize()));
        QCOMPARE(shot.client, laidOutDrawingSize());
        QCOMPARE(shot.shape, QFrame::NoFrame);
        QVERIFY(shot.backgroundFilled);
        QCOMPARE(shot.background, QColor(128, 255, 255));
        QVERIFY(near(shot.pictureCorner, kRed));
        QCOMPARE(TwipsPerPixelX, twips::perPixelX());
        QCOMPARE(TwipsPerPixelY, twips::perPixelY());

        // Another row, opened again: same single window, new caption and picture.
        down();
        down();
        const BigShot again = runAndCloseBig([this] { QTest::mouseClick(w->Picture1, Qt::LeftButton); });
        QVERIFY(again.seen);
        QCOMPARE(again.caption, QStringLiteral("A-3"));
        QVERIFY(near(again.pictureCorner, kBlue));
        QCOMPARE(again.client, laidOutDrawingSize());
        int windows = 0;
        for (QWidget* tw : QApplication::topLevelWidgets())
            if (tw->objectName() == QLatin1String("frm_bigimage"))
                ++windows;
        QCOMPARE(windows, 1);
        QVERIFY(recorder->boxes.empty());
    }

    void bigWindowWithoutPictureOrWithDamagedBytes()
    {
        OPEN(true, false);
        down();  // Бук: no picture
        const BigShot none = runAndCloseBig([this] { QTest::mouseClick(w->Picture1, Qt::LeftButton); });
        QVERIFY(none.seen);
        QCOMPARE(none.caption, QStringLiteral("A-2"));
        QVERIFY(none.picture.isEmpty());
        // Still fitted, to its empty box as laid out.
        const QSize laidOut = twips::toPx(0, 0, 5055, 3855).size();
        QCOMPARE(none.box, QRect(QPoint(0, 0), laidOut));
        QCOMPARE(none.client, laidOut);

        down();
        down();
        down();  // Дуб: damaged bytes, the window opens as laid out, not refitted
        const BigShot damaged = runAndCloseBig([this] { QTest::mouseClick(w->Picture1, Qt::LeftButton); });
        QVERIFY(damaged.seen);
        QCOMPARE(damaged.caption, QStringLiteral("A-5"));
        QVERIFY(damaged.picture.isEmpty());
        QCOMPARE(damaged.box, twips::toPx(120, 120, 5055, 3855));
        QCOMPARE(damaged.client, twips::toPx(0, 0, 5325, 4155).size());
        QVERIFY(recorder->boxes.empty());
    }

    void bigWindowFromThePictureColumnOnly()
    {
        OPEN(false, true);
        FlexGrid* g = w->MSFlexGrid1;
        const int almaz = rowOf(g, QStringLiteral("1"));
        QVERIFY(almaz > 0);

        const BigShot other = runAndCloseBig([&] { clickCell(almaz, 3); });
        QCOMPARE(g->colSel(), 3);
        QVERIFY(!other.seen);

        const BigShot picture = runAndCloseBig([&] { clickCell(almaz, 4); });
        QCOMPARE(g->colSel(), 4);
        QVERIFY(picture.seen);
        QVERIFY(picture.modal);
        QCOMPARE(picture.caption, QStringLiteral("A-1"));
        QCOMPARE(picture.client, laidOutDrawingSize());

        // A product without a picture: the caption only.
        const int buk = rowOf(g, QStringLiteral("2"));
        const BigShot empty = runAndCloseBig([&] { clickCell(buk, 4); });
        QVERIFY(empty.seen);
        QCOMPARE(empty.caption, QStringLiteral("A-2"));
        QVERIFY(empty.picture.isEmpty());
        QVERIFY2(recorder->boxes.empty(), qPrintable(recorder->texts().join(QLatin1Char('|'))));
    }

    void bigWindowNotFromTheGridWithoutThumbnails()
    {
        OPEN(true, false);
        // The plain layout's column 4 is the price: no window.
        const BigShot shot = runAndCloseBig([&] { clickCell(1, 4); });
        QCOMPARE(w->MSFlexGrid1->colSel(), 4);
        QVERIFY(!shot.seen);
    }

    void failingGridClickShowsTheError()
    {
        OPEN(false, true);
        FlexGrid* g = w->MSFlexGrid1;
        // A click while the window is already open cannot open it again.
        const int almaz = rowOf(g, QStringLiteral("1"));
        g->setRow(almaz);
        g->setCol(4);
        bool seen = false;
        bool reported = false;
        QTimer::singleShot(0, [&] {
            for (QWidget* tw : QApplication::topLevelWidgets()) {
                if (tw->objectName() != QLatin1String("frm_bigimage") || !tw->isVisible())
                    continue;
                seen = true;
                OpenBigPictureFromGrid(w);  // a second grid click inside the open window's loop
                reported = !recorder->boxes.empty();
                static_cast<QDialog*>(tw)->reject();
            }
        });
        OpenBigPictureFromGrid(w);
        QVERIFY(seen);
        QVERIFY(reported);
        QCOMPARE(recorder->boxes.size(), size_t(1));
        const msg::Box& box = recorder->boxes.front();
        QVERIFY(box.text.startsWith(QStringLiteral("Произошла ошибка при запросе\r")));
        QCOMPARE(box.title, QStringLiteral("Предупреждение"));
        QCOMPARE(box.icon, msg::Icon::Critical);
        QVERIFY(!box.yesNo);

        // An empty list in the picture layout: no product row to open.
        recorder->clear();
        g->setRows(1);
        g->setColSel(4);
        const BigShot none = runAndCloseBig([&] { OpenBigPictureFromGrid(w); });
        QVERIFY(!none.seen);
        QCOMPARE(recorder->boxes.size(), size_t(1));
        QVERIFY(recorder->boxes.front().text.startsWith(QStringLiteral("Произошла ошибка при запросе\r")));
    }

    void pictureNamesNeverTouchFiles()
    {
        OPEN(true, false);
        // Files the stored names point at: in the folder, in a sub-folder and above it.
        QDir(folder->prog).mkpath(QStringLiteral("sub"));
        QFile sub(folder->file(QStringLiteral("sub/x.jpg")));
        QVERIFY(sub.open(QIODevice::WriteOnly));
        sub.write("keep me");
        sub.close();
        QFile up(folder->root.filePath(QStringLiteral("x")));
        QVERIFY(up.open(QIODevice::WriteOnly));
        up.write("keep me too");
        up.close();
        const QByteArray settingsBefore = readAll(SettingsPath);
        QVERIFY(!settingsBefore.isEmpty());
        const auto before = snapshot(folder->root.path());
        QVERIFY(before.contains(QStringLiteral("prog/settings.ini")));
        QVERIFY(before.contains(QStringLiteral("x")));

        FlexGrid* g = w->MSFlexGrid1;
        for (int r = 1; r < g->rows(); ++r) {
            if (r > 1)
                down();
            QCOMPARE(g->rowSel(), r);
            const BigShot shot = runAndCloseBig([this] { QTest::mouseClick(w->Picture1, Qt::LeftButton); });
            QVERIFY(shot.seen);
        }
        // And in the picture layout, from the grid.
        w->Check2->setChecked(true);
        w->Check2_Click();
        for (int r = 1; r < g->rows(); ++r) {
            const BigShot shot = runAndCloseBig([&] { clickCell(r, 4); });
            QVERIFY(shot.seen);
        }

        QCOMPARE(readAll(SettingsPath), settingsBefore);
        QCOMPARE(snapshot(folder->root.path()), before);
        QVERIFY(recorder->boxes.empty());
    }

    // ---- fitting a window ------------------------------------------------------

    void fitArithmetic()
    {
        QCOMPARE(FittedWindowTwips(4995, 3795, 15, 15, 4, 4, 18, 0), QSize(5115, 4185));
        // A menu bar adds its height.
        QCOMPARE(FittedWindowTwips(4995, 3795, 15, 15, 4, 4, 18, 20), QSize(5115, 4485));
        // Other screens and frames.
        QCOMPARE(FittedWindowTwips(1000, 1000, 12, 12, 3, 5, 20, 0), QSize(1072, 1360));
        QCOMPARE(FittedWindowTwips(0, 0, 15, 15, 0, 0, 0, 0), QSize(0, 0));
    }

    void fitLiveWindow()
    {
        QWidget window;
        auto* box = new QLabel(&window);
        box->setGeometry(30, 40, 200, 100);
        box->setFrameShape(QFrame::Box);
        QPixmap pm(150, 90);
        pm.fill(Qt::red);
        box->setPixmap(pm);
        const FrameMetrics m = WindowFrameMetrics(&window);
        QVERIFY(m.frameWidth >= 0 && m.captionHeight >= 0);
        QCOMPARE(m.menuHeight, 0);
        const QSize outer = FitFormToPicture(box, &window);
        QCOMPARE(box->geometry(), QRect(0, 0, 150, 90));
        QCOMPARE(box->frameShape(), QFrame::NoFrame);
        QCOMPARE(window.size(), QSize(150, 90));
        QCOMPARE(outer, FittedWindowTwips(150 * TwipsPerPixelX, 90 * TwipsPerPixelY, TwipsPerPixelX, TwipsPerPixelY,
                                          m.frameWidth, m.frameHeight, m.captionHeight, 0));
    }
};

QTEST_MAIN(TestPictures)
#include "test_pictures.moc"
