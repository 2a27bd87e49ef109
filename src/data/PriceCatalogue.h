#pragma once
// The products of the price database held in memory in name order, so that the
// list loads, category clicks and searches answer in milliseconds on 100,000
// products. Each query gives exactly the rows of the corresponding statement
// (products, optionally outer-joined with their pictures), in Russian name order.
#include <QDateTime>
#include <QString>
#include <memory>
#include <optional>
#include <unordered_map>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

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
  std::string parent;       // parent_id as text
  std::string_view searchName;  // name_ruRU_big (UTF-8) with ASCII letters upper-cased: LIKE folds only those
  bool hasSearchName = false;
  int firstImage = 0;       // its image rows: images() from firstImage, imageCount of them
  int imageCount = 0;
};

struct CatalogueImage {
  qint64 rowid = 0;
  // Whether image_thumb holds no bytes (Null or empty); learnt when the picture is
  // first read, since reading the size would mean reading every picture row.
  std::optional<bool> empty;
  std::optional<std::string_view> name;  // image_name, read on demand
  bool nameIsNull = false;
};

// One row of a result: a product, and with pictures one of its image rows (or -1).
struct CatalogueRow {
  int product;
  int image;
};

struct ProductFilter {
  bool withImages = false;       // outer join with images
  bool orderedOnly = false;      // order_count > 0
  std::optional<QString> parent;  // parent_id = this text
  std::optional<QString> like;     // name_ruRU_big LIKE '%like%'
};

class PriceCatalogue {
public:
  // Reads products and image rows (not the pictures) from an open price database.
  // Throws DbError when a table cannot be read.
  void load(sqlite3* db, const QString& filePath);
  bool isLoaded() const { return loaded_; }
  // True when the file changed on disk since load().
  bool isStale() const;
  void reset();

  std::vector<CatalogueRow> query(const ProductFilter& filter) const;
  // Reads image_name of the given rows' images (those not yet read).
  void loadImageNames(const QString& filePath, const std::vector<CatalogueRow>& rows);
  // A read-only handle of our own on the price database file (the bulk reads do
  // not go through the shared connection); throws DbError when it cannot open.
  static sqlite3* openReadOnly(const QString& filePath);

  // A product by its index (the index rows and findProduct() give).
  const CatalogueProduct& product(int i) const { return products_.at(static_cast<size_t>(i)); }
  const CatalogueImage& image(int i) const { return images_.at(static_cast<size_t>(i)); }
  int productCount() const { return static_cast<int>(products_.size()); }
  // Index of the first product with this id, or -1.
  int findProduct(const QString& productId) const;
  // Takes the file as it now is as the loaded state (after our own writes).
  void markCurrent();
  // Keeps the quantity and sum written to the database for a product.
  void setOrder(int product, double count, double summ);
  void clearOrders();
  // Records that the picture of an image row holds no bytes.
  void markImageEmpty(qint64 imageRowid);
  // Sum of order_summ over all products, as the database's sum() would give it.
  double orderTotal() const;
  bool hasAnyOrderSum() const;

  CellValue readValue(struct sqlite3_stmt* stmt, int col);
  static bool likeMatch(QStringView text, QStringView pattern);

private:
  // Copies a text into the store; the view stays valid until reset().
  std::string_view keep(std::string_view text);
  CellValue numberValue(double v);

  std::vector<std::unique_ptr<char[]>> chunks_;
  size_t chunkUsed_ = 0;
  std::vector<CatalogueProduct> products_;  // in storage order
  std::vector<int> order_;                  // product indices in name order
  std::vector<int> rank_;                   // each product's place in that order
  std::vector<CatalogueImage> images_;
  std::unordered_map<std::string_view, int> byId_;  // views into products_' ids
  QString path_;
  QDateTime mtime_;
  qint64 size_ = -1;
  bool loaded_ = false;
};
