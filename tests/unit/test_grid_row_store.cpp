// The grid's compact row store, checked against a plain table of strings that
// receives the same changes.
#include "gui/grid/GridRowStore.h"

#include <QtTest>

#include <functional>

namespace {

// The store and its plain twin, changed together.
struct Twin {
  GridRowStore store;
  std::vector<std::vector<std::string>> plain{5, std::vector<std::string>(3)};
  Twin() {
    store.setCols(3);
    store.resizeRows(5);
  }
  void set(int r, int c, const std::string& text) {
    store.setCell(r, c, text);
    plain[size_t(r)][size_t(c)] = text;
  }
  bool setRow(int r, const std::vector<std::string>& cells) {
    const std::vector<std::string_view> views(cells.begin(), cells.end());
    for (size_t c = 0; c < cells.size() && c < 3; ++c) plain[size_t(r)][c] = cells[c];
    return store.setRow(r, views.data(), int(views.size()));
  }
  void shape(int rows, int cols) {
    store.resizeRows(rows);
    store.setCols(cols);
    plain.resize(size_t(rows));
    for (auto& row : plain) row.resize(size_t(cols));
  }
  void fill(int tag) {  // every cell a distinct text, some of them long
    for (int r = 0; r < store.rows(); ++r)
      for (int c = 0; c < store.cols(); ++c)
        set(r, c, std::to_string(tag) + ":" + std::to_string(r) + std::string(size_t((r * 7 + c * 131) % 400), 'x'));
  }
  QString mismatch() const {
    if (store.rows() != int(plain.size())) return QStringLiteral("rows %1").arg(store.rows());
    for (int r = 0; r < store.rows(); ++r)
      for (int c = 0; c < store.cols(); ++c)
        if (store.cell(r, c) != plain[size_t(r)][size_t(c)])
          return QStringLiteral("cell %1,%2: \"%3\"").arg(r).arg(c).arg(store.cellText(r, c).left(40));
    return {};
  }
};

const std::string kLong(300, 'L');

const std::vector<std::pair<const char*, std::function<void(Twin&)>>> kCases = {
    {"short and long texts across rows",
     [](Twin& t) {
       t.set(0, 0, "a");
       t.set(1, 1, kLong);
       t.set(2, 2, std::string(255, 'E'));  // the first length with a long prefix
       t.set(3, 0, std::string(254, 's'));
       t.set(1, 1, "b");                    // long prefix becomes short, not the last record
       t.set(3, 0, kLong);                  // short prefix becomes long, the last record
       t.set(2, 2, std::string(255, 'F'));  // same length: in place
     }},
    {"middle row rewritten, then compacted",
     [](Twin& t) {
       t.fill(1);
       t.set(2, 1, "middle");
       t.set(2, 0, kLong);
       t.store.compact();
     }},
    {"many rewrites of middle rows reclaim the dead records",
     [](Twin& t) {
       t.fill(2);
       for (int i = 0; i < 3000; ++i) t.set(1 + i % 2, 1, std::string(size_t(1000 + i % 3), char('a' + i % 26)));
     }},
    {"shrink then grow leaves empty cells",
     [](Twin& t) {
       t.fill(3);
       t.shape(2, 3);
       t.shape(5, 1);
       t.set(4, 0, "new");
       t.shape(5, 3);
       t.set(0, 2, kLong);
     }},
    {"whole rows at once",
     [](Twin& t) {
       QVERIFY(!t.setRow(0, {"", ""}));  // an empty row stays without a record
       QVERIFY(t.setRow(1, {"Чай «Весна»", kLong, "c", "beyond the last column"}));
       QVERIFY(t.setRow(2, {"x"}));
       QVERIFY(t.setRow(1, {"", "short"}));  // an existing record changes cell by cell
     }},
};

}  // namespace

class TestGridRowStore : public QObject {
  Q_OBJECT

 private slots:
  void cases() {
    for (const auto& [name, change] : kCases) {
      Twin twin;
      change(twin);
      if (QTest::currentTestFailed()) return;
      const QString mismatch = twin.mismatch();
      QVERIFY2(mismatch.isEmpty(), qPrintable(QLatin1String(name) + QStringLiteral(": ") + mismatch));
    }
  }
};

QTEST_APPLESS_MAIN(TestGridRowStore)
#include "test_grid_row_store.moc"
