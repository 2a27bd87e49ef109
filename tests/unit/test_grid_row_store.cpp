// The grid's compact row store, checked against a plain table of strings that
// receives the same changes.
#include "gui/grid/GridRowStore.h"

#include <QtTest>

#include <functional>
#include <string>
#include <vector>

namespace {

// The store and its plain twin, changed together.
struct Twin {
  GridRowStore store;
  std::vector<std::vector<std::string>> plain;

  Twin(int rows, int cols) {
    store.setCols(cols);
    store.resizeRows(rows);
    plain.assign(size_t(rows), std::vector<std::string>(size_t(cols)));
  }
  void set(int r, int c, const std::string& text) {
    store.setCell(r, c, text);
    plain[size_t(r)][size_t(c)] = text;
  }
  bool setRow(int r, const std::vector<std::string>& cells) {
    const std::vector<std::string_view> views(cells.begin(), cells.end());
    for (size_t c = 0; c < cells.size() && c < plain[size_t(r)].size(); ++c) plain[size_t(r)][c] = cells[c];
    return store.setRow(r, views.data(), int(views.size()));
  }
  void resizeRows(int n) {
    store.resizeRows(n);
    plain.resize(size_t(n), std::vector<std::string>(size_t(store.cols())));
  }
  void setCols(int n) {
    store.setCols(n);
    for (auto& row : plain) row.resize(size_t(n));
  }
  void fill(int tag) {  // every cell a distinct text, some of them long
    for (int r = 0; r < store.rows(); ++r)
      for (int c = 0; c < store.cols(); ++c)
        set(r, c,
            std::to_string(tag) + ":" + std::to_string(r) + "," + std::to_string(c) +
                std::string(size_t((r * 7 + c * 131) % 400), 'x'));
  }
  // The first cell that differs, or an empty text.
  QString mismatch() const {
    if (store.rows() != int(plain.size()))
      return QStringLiteral("rows %1, expected %2").arg(store.rows()).arg(plain.size());
    for (int r = 0; r < store.rows(); ++r)
      for (int c = 0; c < store.cols(); ++c)
        if (store.cell(r, c) != plain[size_t(r)][size_t(c)])
          return QStringLiteral("cell %1,%2: \"%3\", expected \"%4\"")
              .arg(r)
              .arg(c)
              .arg(store.cellText(r, c).left(40), QString::fromStdString(plain[size_t(r)][size_t(c)]).left(40));
    return {};
  }
};

const std::string kLong(300, 'L');
const std::string kEdge(255, 'E');  // the first length with a long prefix
const std::string kRussian = "Чай «Весна», 100 г";

struct Case {
  const char* name;
  std::function<void(Twin&)> steps;
};

const std::vector<Case> kCases = {
    {"short and long texts across rows",
     [](Twin& t) {
       t.set(0, 0, "a");
       t.set(1, 1, kLong);
       t.set(2, 2, kEdge);
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
       t.resizeRows(2);
       t.resizeRows(5);
       t.set(4, 1, "new");
       t.setCols(1);
       t.setCols(3);
       t.set(0, 2, kLong);
     }},
    {"empty and Cyrillic texts",
     [](Twin& t) {
       t.set(0, 1, kRussian);
       t.set(1, 0, "");
       t.set(2, 2, kRussian);
       t.set(2, 2, "");
       t.set(3, 0, kRussian + kLong);
     }},
    {"whole rows at once",
     [](Twin& t) {
       QVERIFY(!t.setRow(0, {"", ""}));  // an empty row stays without a record
       QVERIFY(t.setRow(1, {kRussian, kLong, "c", "beyond the last column"}));
       QVERIFY(t.setRow(2, {"x"}));
       QVERIFY(t.setRow(1, {"", "short"}));  // an existing record changes cell by cell
     }},
    {"texts cleared, shape kept",
     [](Twin& t) {
       t.fill(4);
       t.store.clearTexts();
       for (auto& row : t.plain) std::fill(row.begin(), row.end(), std::string());
       t.set(3, 2, "after");
     }},
};

}  // namespace

class TestGridRowStore : public QObject {
  Q_OBJECT

 private slots:
  void cases_data() {
    QTest::addColumn<int>("index");
    for (size_t i = 0; i < kCases.size(); ++i) QTest::newRow(kCases[i].name) << int(i);
  }

  void cases() {
    QFETCH(int, index);
    Twin twin(5, 3);
    kCases[size_t(index)].steps(twin);
    if (QTest::currentTestFailed()) return;
    const QString mismatch = twin.mismatch();
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
  }

  void cyrillicReadsBackAsText() {
    GridRowStore store;
    store.resizeRows(1);
    store.setCell(0, 0, kRussian);
    QCOMPARE(store.cellText(0, 0), QStringLiteral("Чай «Весна», 100 г"));
  }
};

QTEST_APPLESS_MAIN(TestGridRowStore)
#include "test_grid_row_store.moc"
