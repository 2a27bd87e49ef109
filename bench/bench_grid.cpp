// Grid figures: filling 100,000 rows, turning redraw back on, 100,000 row
// heights, and painting a page of rows with lazily fetched pictures.
// Prints: BENCH <name> <value> ms [floor <value> ms ratio <r>]
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "gui/grid/FlexGrid.h"

namespace {

constexpr int kRows = 100000;
constexpr int kCols = 8;
constexpr int kRuns = 5;

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double ms(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

// Short texts as a price list has them: code, name, unit, price, quantity...
struct Texts {
  std::vector<std::string> codes, names;
  Texts() {
    for (int i = 0; i < kRows; ++i) {
      codes.push_back(std::to_string(100000 + i));
      names.push_back("Чай " + std::to_string(i % 977));
    }
  }
};

void fill(FlexGrid& g, const Texts& t) {
  g.setRows(1);
  g.reserveRows(kRows + 1);
  for (int i = 0; i < kRows; ++i) {
    const int r = g.addRow();
    g.setTextUtf8(r, 0, t.codes[size_t(i)]);
    g.setTextUtf8(r, 1, t.names[size_t(i)]);
    g.setTextUtf8(r, 2, "шт");
    g.setTextUtf8(r, 3, "125,50");
    g.setTextUtf8(r, 4, "");
    g.setTextUtf8(r, 5, "1");
    g.setTextUtf8(r, 6, "0");
    g.setTextUtf8(r, 7, "");
  }
}

void print(const char* name, double value, double floor = -1) {
  if (floor > 0)
    std::printf("BENCH %s %.2f ms floor %.2f ms ratio %.2f\n", name, value, floor, value / floor);
  else
    std::printf("BENCH %s %.2f ms\n", name, value);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const Texts texts;

  std::vector<double> fillMs, redrawMs, heightsMs, heightsRedrawMs, floorMs;
  for (int run = 0; run < kRuns; ++run) {
    // Floor: the same strings into a bare row-major vector.
    {
      QElapsedTimer t;
      t.start();
      std::vector<std::string> cells;
      cells.reserve(size_t(kRows) * kCols);
      for (int i = 0; i < kRows; ++i) {
        cells.emplace_back(texts.codes[size_t(i)]);
        cells.emplace_back(texts.names[size_t(i)]);
        cells.emplace_back("шт");
        cells.emplace_back("125,50");
        cells.emplace_back("");
        cells.emplace_back("1");
        cells.emplace_back("0");
        cells.emplace_back("");
      }
      floorMs.push_back(ms(t));
    }
    FlexGrid g;
    g.setCols(kCols);
    g.resize(800, 600);
    g.show();
    app.processEvents();

    QElapsedTimer t;
    t.start();
    g.setRedraw(false);
    fill(g, texts);
    fillMs.push_back(ms(t));
    t.restart();
    g.setRedraw(true);
    redrawMs.push_back(ms(t));
    app.processEvents();

    t.restart();
    g.setRedraw(false);
    for (int r = 1; r <= kRows; ++r) g.setRowHeight(r, (r % 3 == 0) ? 240 : 900);
    heightsMs.push_back(ms(t));
    t.restart();
    g.setRedraw(true);
    heightsRedrawMs.push_back(ms(t));
    app.processEvents();
  }
  print("grid_fill_100k_first_run", fillMs.front(), floorMs.front());
  print("grid_fill_100k", median(fillMs), median(floorMs));
  print("grid_redraw_on_100k", median(redrawMs));
  print("grid_row_heights_100k", median(heightsMs));
  print("grid_row_heights_redraw_on_100k", median(heightsRedrawMs));
  print("grid_row_heights_total_100k", median(heightsMs) + median(heightsRedrawMs));

  // A page of 40 rows with pictures; the provider hands out ready pixmaps,
  // so the figure is the grid's own cost (batching, cache, painting).
  {
    FlexGrid g;
    g.setCols(kCols);
    g.setColWidth(-1, 1200);
    g.setRedraw(false);
    fill(g, texts);
    for (int r = 1; r <= kRows; ++r) {
      g.setCellPictureKey(r, 7, r);
      g.setRowHeight(r, 15 * 20);
    }
    g.setRedraw(true);
    QPixmap thumb(16, 16);
    thumb.fill(Qt::darkGreen);
    int calls = 0;
    size_t lastBatch = 0;
    g.setPictureProvider([&](const std::vector<qint64>& keys) {
      ++calls;
      lastBatch = keys.size();
      std::unordered_map<qint64, QPixmap> out;
      for (qint64 k : keys) out.emplace(k, thumb);
      return out;
    });
    g.resize(900, 40 * 20 + g.horizontalHeader()->sizeHint().height() + 2 * g.frameWidth() + 20);
    g.show();
    app.processEvents();
    std::vector<double> cold, warm;
    for (int run = 0; run < kRuns; ++run) {
      g.setTopRow(50000 + run * 1000);
      g.clearPictureCache();
      app.processEvents();
      QElapsedTimer t;
      t.start();
      QPixmap shot = g.viewport()->grab();
      cold.push_back(ms(t));
      t.restart();
      shot = g.viewport()->grab();
      warm.push_back(ms(t));
    }
    const int visible = g.rowAt(g.viewport()->height() - 1) - g.rowAt(0) + 1;
    std::printf("# page: %d visible rows, provider batch %zu keys, %d calls for %d cold paints\n", visible, lastBatch,
                calls, kRuns);
    print("grid_paint_page_40_lazy_pictures_cold", median(cold), median(warm));
    print("grid_paint_page_40_lazy_pictures_warm", median(warm));
  }
  return 0;
}
