#pragma once
// The products of the price database held in memory in name order, so that the
// list loads, category clicks and searches answer in milliseconds on 100,000
// products and more. Each query gives exactly the rows of the corresponding
// statement (products, optionally outer-joined with their pictures), in Russian
// name order. One catalogue serves the whole process: it is kept while the file
// stays as it was read (plus our own writes), so a window opened again finds it
// ready.
#include <QDateTime>
#include <QString>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// One stored value as the grid needs it: its text by the default conversion and,
// for numbers, its numeric value.
struct CellValue {
  std::string_view text;  // UTF-8, kept by the catalogue's text store; empty for Null
  double number = 0;
  bool isNull = true;
  bool isNumber = false;
};

struct CatalogueProduct {
  qint64 rowid = 0;
  CellValue id, ean, name, quantity, price, orderCount, orderSumm;
  int firstImage = 0;  // its image rows: image(firstImage) on, imageCount of them
  int imageCount = 0;
};

// The number of characters (up to 255) of a product's texts as the lists show
// them, kept apart from the products so that a pass over many rows stays small.
struct ShownCharacters {
  quint8 id, ean, name, quantity, price, count, summ;  // as stored
  quint8 stock, countList, summList;  // by the price list's rules: 9999 for 100 and more, 0 shown empty
};

struct CatalogueImage {
  qint64 rowid = 0;
  // Whether image_thumb holds no bytes (Null or empty); learnt when the picture is
  // first read, since reading the size would mean reading every picture row.
  std::optional<bool> empty;
  // image_name, read only for the rows being shown: it is stored after the
  // picture, so reading it means reading the picture's pages.
  std::optional<std::string_view> name;
  bool nameIsNull = false;
};

// One row of a result: a product, and with pictures one of its image rows (or -1).
struct CatalogueRow {
  int product;
  int image;
};

struct ProductFilter {
  bool withImages = false;        // outer join with images
  bool orderedOnly = false;       // order_count > 0
  std::optional<QString> parent;  // parent_id = this text
  std::optional<QString> like;    // name_ruRU_big LIKE '%like%'
};

class PriceCatalogue {
 public:
  // The catalogue of the process for a price database file (one file at a
  // time); empty until one is read. A catalogue read again replaces it, while
  // lists still shown from the old one keep that alive.
  static std::shared_ptr<PriceCatalogue> shared(const QString& filePath);
  static void setShared(std::shared_ptr<PriceCatalogue> catalogue);

  // Reads the products from an open price database; throws DbError when the
  // table cannot be read.
  void load(sqlite3* db, const QString& filePath);
  bool isLoaded() const { return loaded_; }
  // Reads which image rows (not the pictures) belong to which product, for the
  // lists with pictures: until then every product counts as one without.
  // Throws DbError when the table cannot be read.
  void loadImages(sqlite3* db);
  bool imagesLoaded() const { return imagesLoaded_; }
  // True when the file changed on disk since load() or markCurrent().
  bool isStale() const;
  void reset();

  std::vector<CatalogueRow> query(const ProductFilter& filter) const;
  // A read-only handle of our own on the price database file (the bulk reads do
  // not go through the shared connection); throws DbError when it cannot open.
  static sqlite3* openReadOnly(const QString& filePath);

  const CatalogueProduct& product(int i) const { return products_.at(static_cast<size_t>(i)); }
  const CatalogueImage& image(int i) const { return images_.at(static_cast<size_t>(i)); }
  int productCount() const { return static_cast<int>(products_.size()); }
  const ShownCharacters& shownCharacters(int i) const { return characters_[static_cast<size_t>(i)]; }
  // Index of the first product with this id, or -1.
  int findProduct(const QString& productId) const;
  // Index of the image row with this rowid, or -1.
  int findImage(qint64 imageRowid) const;

  // The picture file name of an image row: read now, together with those of
  // `alsoRead` (image indices, those not read yet), when it is not known yet.
  // Empty when it cannot be read.
  std::string_view imageName(int image, const std::vector<int>& alsoRead = {});
  // Keeps the name of an image row read elsewhere (with its picture).
  void setImageName(qint64 imageRowid, std::string_view name, bool isNull);
  // Records that the picture of an image row holds no bytes.
  void markImageEmpty(qint64 imageRowid);

  // Takes the file as it now is as the loaded state (after our own writes).
  void markCurrent();
  // Keeps the quantity and sum written to the database for a product.
  void setOrder(int product, double count, double summ);
  // Keeps the quantities cleared: every product now holds 0 and 0.
  void clearOrders();
  // The rowids of the products whose quantity or sum is not a plain 0 (the rows
  // a clearing statement changes), in storage order.
  std::vector<qint64> orderRowids() const;
  // Products with order_count > 0, in name order.
  std::vector<int> orderedProducts() const;
  // Sum of order_summ over all products, as the database sums it; a sum that
  // is not a finite number is left out.
  double orderTotal() const;

  static bool likeMatch(QStringView text, QStringView pattern);

 private:
  CellValue readValue(sqlite3_stmt* stmt, int col);
  // Copies a text into the store; the view stays valid until reset().
  std::string_view keep(std::string_view text);
  CellValue numberValue(double v);
  void buildIdIndex();
  int lookupId(std::string_view id) const;
  size_t idLowerBound(std::string_view id, quint64 head, size_t from) const;
  void readImageNames(const std::vector<int>& images);
  void updateOrderRow(int product);
  void countCharacters(size_t product);
  bool ordered(const CatalogueProduct& p) const;
  bool textMatches(size_t product, std::string_view needle, bool plain, const QString& pattern) const;
  void rememberFileState();

  std::vector<std::unique_ptr<char[]>> chunks_;
  size_t chunkUsed_ = 0;
  size_t chunkSize_ = 0;
  std::string decimalPoint_ = ".";

  std::vector<CatalogueProduct> products_;   // in storage order
  std::vector<ShownCharacters> characters_;  // by product
  std::vector<int> order_;                   // product indices in name order (by rank)
  std::vector<int> rank_;                    // each product's place in that order
  // By product: parent_id as a whole number, or a marker with the text kept in
  // parentText_ or the fraction in parentFraction_ (only when there is one);
  // name_ruRU_big (ASCII letters upper-cased, as LIKE folds only those) one
  // after another in searchText_, each followed by a zero byte.
  std::vector<qint64> parentNumber_;
  // By whole category number: the places in name order of its products, made
  // when a category is first asked for.
  const std::vector<int>& categoryRanks(qint64 parent) const;
  mutable std::mutex categoryMutex_;
  mutable std::unordered_map<qint64, std::vector<int>> categoryRanks_;
  mutable bool categoriesIndexed_ = false;
  std::vector<std::string_view> parentText_;
  std::vector<double> parentFraction_;
  std::string searchText_;
  std::vector<quint32> searchAt_;  // start of each product's text; one more entry at the end
  std::vector<bool> searchNull_;   // name_ruRU_big is Null
  // Products whose quantity or sum is not a plain 0, in storage order.
  std::vector<int> orderRows_;

  std::vector<CatalogueImage> images_;
  std::vector<std::pair<qint64, int>> imageByRowid_;  // sorted by rowid
  // Products with an id, in the byte order of their ids (then storage order),
  // each with its id's first eight bytes for quick comparisons.
  struct IdEntry {
    quint64 head;
    int index;
  };
  std::vector<IdEntry> idOrder_;
  QString path_;
  QDateTime mtime_, ctime_;
  qint64 size_ = -1;
  bool loaded_ = false;
  bool imagesLoaded_ = false;
};
