// The products held in memory against the statements they stand for, the order to
// send and the clearing against the file; a rejected statement and a price file that
// is missing or foreign are told with their reason.
#include "base/ProgramFolder.h"
#include "data/Database.h"
#include "data/PriceDatabase.h"
#include "data/PriceFileCheck.h"
#include "data/RussianCollation.h"
#include "fixtures/program_env.h"
#include "fixtures/sample_data.h"
#include "support/PriceStatements.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

using Row = std::pair<qint64, qint64>;  // product rowid, image rowid (0: none)

// Rows generated files lack: names differing only by case or Ё, or ending where another
// goes on (also at eight bytes, which the sort compares at once); a text and a fractional
// category, Null names, a text quantity, LIKE's signs, orphan and double pictures.
const char* kEdgeRows = R"SQL(
INSERT INTO products(product_id,parent_id,product_ean,product_quantity,product_price,name_ruRU,name_ruRU_big,order_count,order_summ) VALUES
 ('e1', 9001, 'E1', 5, 10, 'ёлка большая', 'ЁЛКА БОЛЬШАЯ', 2, 20),
 ('e2', 9001, 'E2', 5, 10, 'Ёлка большая', 'ЁЛКА БОЛЬШАЯ', 0, 0),
 ('e3', 9001, 'E3', 5, 10, 'елка большая', 'ЕЛКА БОЛЬШАЯ', 0, 0),
 ('e4', 9001, 'E4', 5, 10, 'Елка большая', 'ЕЛКА БОЛЬШАЯ', 'много', 7.5),
 ('e5', 'x12', 'E5', 5, 12.5, 'coffee 100%_mix', 'coffee 100%_MIX', NULL, NULL),
 ('e6', NULL, 'E6', NULL, NULL, NULL, NULL, 1, 12.5),
 ('e7', 9001.5, 'E7', 150, 3, 'Чай дробный', 'ЧАЙ ДРОБНЫЙ', -1, 0),
 ('e8', 9001, 'E8', 1, 1, 'кофе молотый', 'КОФЕ МОЛОТЫЙ', 0, 0), ('e9', 9001, 'E9', 1, 1, 'Кофе', 'КОФЕ', 0, 0),
 ('e10', 9001, 'E10', 1, 1, 'кофе', 'КОФЕ', 0, 0), ('e11', 9001, 'E11', 1, 1, 'Кофе а', 'КОФЕ А', 0, 0);
INSERT INTO images(product_id,image_thumb,image_name,image_full) VALUES
 ('e1', X'00', 'e1a.jpg', NULL), ('e1', X'', 'e1b.jpg', NULL), ('nobody', X'00', 'x.jpg', NULL), (NULL, X'00', 'n.jpg', NULL);
INSERT INTO products(product_id,parent_id,name_ruRU,name_ruRU_big) VALUES
 ('ЮЮЮЮ', 9001, 'ЮЮЮЮ', 'ЮЮЮЮ'), ('ЮЮЮЮ а', 9001, 'ЮЮЮЮ а', 'ЮЮЮЮ А'),
 ('ЩЩЩЩ', 9001, 'ЩЩЩЩ', 'ЩЩЩЩ'), ('ЩЩЩЩ а', 9001, 'ЩЩЩЩ а', 'ЩЩЩЩ А'),
 ('ЪЪЪЪ', 9001, 'ЪЪЪЪ', 'ЪЪЪЪ'), ('ЪЪЪЪ а', 9001, 'ЪЪЪЪ а', 'ЪЪЪЪ А'),
 ('ЭЭЭЭ', 9001, 'ЭЭЭЭ', 'ЭЭЭЭ'), ('ЭЭЭЭ а', 9001, 'ЭЭЭЭ а', 'ЭЭЭЭ А'),
 ('ЖЖЖЖ', 9001, 'ЖЖЖЖ', 'ЖЖЖЖ'), ('ЖЖЖЖ а', 9001, 'ЖЖЖЖ а', 'ЖЖЖЖ А'),
 ('ФФФФ', 9001, 'ФФФФ', 'ФФФФ'), ('ФФФФ а', 9001, 'ФФФФ а', 'ФФФФ А');
)SQL";

// The rows of a statement, told apart by rowid: its select list is widened, nothing else changes.
std::vector<Row> statementRows(const QString& path, QString sql, bool withImages) {
  sql.replace(0, 7, withImages ? u"SELECT p.rowid, ifnull(i.rowid, 0), "_s : u"SELECT p.rowid, 0, "_s);
  std::vector<Row> rows;
  for (const QStringList& r : queryPriceDb(path, sql)) rows.emplace_back(r[0].toLongLong(), r[1].toLongLong());
  std::sort(rows.begin(), rows.end());
  return rows;
}

QString nameOf(const PriceCatalogue& cat, int product) {
  const CellValue& v = cat.product(product).name;
  return QString::fromUtf8(v.text.data(), qsizetype(v.text.size()));
}

}  // namespace

class TestCatalogue : public QObject {
  Q_OBJECT
  QTemporaryDir tmp_;
  QString path_;
  QStringList textColumn(const QString& sql) const {
    QStringList out;
    for (const QStringList& row : queryPriceDb(path_, sql)) out << row.value(0);
    return out;
  }

  // The catalogue's rows for a filter, checked to be in name order.
  std::vector<Row> catalogueRows(const ProductFilter& f) {
    PriceDatabase db;
    PriceCatalogue* cat = db.catalogue(nullptr, f.withImages);
    if (!cat) qFatal("no catalogue");
    std::vector<Row> rows;
    const std::vector<CatalogueRow> found = cat->query(f);
    for (size_t i = 0; i < found.size(); ++i) {
      const CatalogueProduct& p = cat->product(found[i].product);
      rows.emplace_back(p.rowid, found[i].image >= 0 ? cat->image(found[i].image).rowid : 0);
      if (i > 0) {
        const CatalogueProduct& before = cat->product(found[i - 1].product);
        if (!before.name.isNull && (p.name.isNull || collation::compare(nameOf(*cat, found[i - 1].product),
                                                                        nameOf(*cat, found[i].product)) > 0))
          qFatal("not in name order at row %zu", i);
      }
    }
    std::sort(rows.begin(), rows.end());
    return rows;
  }

 private slots:
  void initTestCase() {
    SetProgramFolder(tmp_.path());
    path_ = tmp_.filePath(u"varnokel.mdb"_s);
    QString error;
    QVERIFY2(makePriceDb(path_, 1500, 7, &error), qPrintable(error));
    PriceDbBuilder(path_, false).exec(QString::fromUtf8(kEdgeRows));
  }

  void rowsAreThoseOfTheStatements() {
    const std::vector<std::optional<QString>> categories{
        std::nullopt, textColumn(u"SELECT parent_id FROM products LIMIT 1"_s).value(0),
        u"9001"_s,    u" 9001"_s,
        u"9001.0"_s,  u"9001.5"_s,
        u"x12"_s,     u"nosuch"_s};
    for (const bool images : {false, true})
      for (const bool whole : {true, false})
        for (const std::optional<QString>& id : categories)
          for (const QString& like :
               {u""_s, u"ЁЛКА"_s, u"ЕЛКА"_s, u"ЧАЙ"_s, u"COFFEE"_s, u"%"_s, u"0%_M"_s, u"_"_s, u"ОЧЕНЬ РЕДКОЕ"_s}) {
            // No category and no search: the whole list, Null names included.
            const bool all = !id && like.isEmpty();
            const ProductFilter f{images, !whole, id, all ? std::nullopt : std::optional(like)};
            const QString sql = all ? stmt::list(images, whole) : stmt::filtered(images, whole, id, like);
            QVERIFY2(catalogueRows(f) == statementRows(path_, sql, images),
                     qPrintable(u"category '%1', search '%2'"_s.arg(id.value_or(u"all"_s), like)));
          }
  }

  void orderToSendAndClearingAgreeWithTheFile() {
    PriceDatabase db;
    QString error;
    for (const char* id : {"e2", "e3"})
      QVERIFY2(db.storeQuantity(QString::fromLatin1(id), 3, 30.5, &error), qPrintable(error));
    PendingOrder order;
    QVERIFY2(db.readPendingOrder(&order, &error), qPrintable(error));
    QCOMPARE(order.total, textColumn(u"SELECT sum(order_summ) FROM products"_s).value(0).toDouble());
    QStringList sent;
    for (const OrderLine& l : order.lines) sent << l.productId;
    sent.sort();
    // A text quantity counts, Null and -1 do not.
    QCOMPARE(sent, textColumn(u"SELECT product_id FROM products WHERE order_count > 0 ORDER BY product_id"_s));
    QVERIFY(sent.contains(u"e4"_s));

    QVERIFY2(db.clearQuantities(&error), qPrintable(error));
    QCOMPARE(textColumn(u"SELECT count(*) FROM products WHERE order_count IS NOT 0 OR order_summ IS NOT 0"_s),
             QStringList{u"0"_s});
    QVERIFY(db.readPendingOrder(&order, &error) && order.lines.empty() && order.total == 0);
  }

  void keptWhileTheFileIsUnchanged() {
    PriceDatabase a, b;
    PriceCatalogue* first = a.catalogue(nullptr);
    QVERIFY(first && b.catalogue(nullptr) == first);
    const std::shared_ptr<PriceCatalogue> shown = a.sharedCatalogue();
    QVERIFY(a.storeQuantity(u"e1"_s, 4, 40, nullptr));  // our own write keeps it
    QCOMPARE(b.catalogue(nullptr), first);
    QTest::qWait(20);
    PriceDbBuilder(path_, false).exec(u"UPDATE products SET product_price = 77 WHERE product_id = 'e1'"_s);
    PriceCatalogue* fresh = b.catalogue(nullptr);
    QVERIFY(fresh && fresh != first);
    QCOMPARE(fresh->product(fresh->findProduct(u"e1"_s)).price.number, 77.0);
    QCOMPARE(shown->product(shown->findProduct(u"e1"_s)).price.number, 10.0);  // a list shown from the old one keeps it
  }

  void rejectedStatement() {
    try {
      Query(*OpenPriceConnection(), "select name from nowhere");
      QFAIL("a rejected statement gave rows");
    } catch (const DbError& e) {
      QVERIFY2(e.description.contains("nowhere"), qPrintable(e.description));
    }
  }

  void missingOrForeignPriceFile_data() {
    QTest::addColumn<QByteArray>("content");  // empty: no file at all; "sqlite": a database without images
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << QByteArray() << "не найден";
    QTest::newRow("text") << QByteArray("not a database at all, just text that is long enough to fill a header page")
                          << "не является";
    QTest::newRow("foreign database") << QByteArray("sqlite") << "images";
  }
  void missingOrForeignPriceFile() {
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    const QString path = tmp_.filePath(u"other.mdb"_s);
    QFile::remove(path);
    if (content == "sqlite") PriceDbBuilder(path).exec("drop table images");
    if (content.size() > 6) QVERIFY(writeFileContent(path, content));
    QString error;
    QVERIFY(!CheckPriceDatabaseFile(path, &error));
    QVERIFY2(error.contains(reason), qPrintable(error));
  }
};

QTEST_GUILESS_MAIN(TestCatalogue)
#include "test_catalogue.moc"
