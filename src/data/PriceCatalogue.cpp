#include "data/PriceCatalogue.h"

#include "data/RussianCollation.h"
#include "data/Database.h"
#include "base/Numbers.h"

#include <QFileInfo>
#include <QLocale>
#include <cmath>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <charconv>
#include <functional>
#include <numeric>
#include <sqlite3.h>
#include <unordered_map>

namespace {


struct Stmt {
  sqlite3_stmt* s = nullptr;
  ~Stmt() { sqlite3_finalize(s); }
};

void prepare(sqlite3* db, const char* sql, Stmt& st) {
  if (sqlite3_prepare_v2(db, sql, -1, &st.s, nullptr) != SQLITE_OK)
    throw DbError(QString::fromUtf8(sqlite3_errmsg(db)), sqlite3_errcode(db));
}

// The locale notation of a number, without building a QString per value.
std::string numberText(double v) {
  if (v == static_cast<double>(static_cast<long long>(v)) && std::abs(v) < 1e15)
    return std::to_string(static_cast<long long>(v));
  char buf[64];
  // The shortest text that reads back as the same number is the usual case
  // (12.5, 99.9); longer ones are cut to 15 significant digits as the locale's
  // own conversion does.
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  std::string out(buf, res.ptr);
  if (out.size() > 16 || out.find_first_of("eE") != std::string::npos) return num::locale(v).toStdString();
  static thread_local QString cachedPoint;
  static thread_local std::string point;
  const QString p = QLocale().decimalPoint();
  if (p != cachedPoint) {
    cachedPoint = p;
    point = p.toStdString();
  }
  const size_t dot = out.find('.');
  if (dot != std::string::npos && point != ".") out.replace(dot, 1, point);
  return out;
}

}  // namespace

namespace {
constexpr size_t kChunk = 1 << 20;
}

std::string_view PriceCatalogue::keep(std::string_view text) {
  if (text.empty()) return {};
  if (text.size() > kChunk / 4) {  // a long text gets a block of its own
    chunks_.insert(chunks_.begin(), std::make_unique<char[]>(text.size()));
    std::memcpy(chunks_.front().get(), text.data(), text.size());
    return {chunks_.front().get(), text.size()};
  }
  if (chunks_.empty() || chunkUsed_ + text.size() > kChunk) {
    chunks_.push_back(std::make_unique<char[]>(kChunk));
    chunkUsed_ = 0;
  }
  char* at = chunks_.back().get() + chunkUsed_;
  std::memcpy(at, text.data(), text.size());
  chunkUsed_ += text.size();
  return {at, text.size()};
}

CellValue PriceCatalogue::numberValue(double v) {
  CellValue c;
  c.number = v;
  c.isNumber = true;
  c.isNull = false;
  c.text = keep(numberText(v));
  return c;
}

CellValue PriceCatalogue::readValue(sqlite3_stmt* stmt, int col) {
  CellValue v;
  switch (sqlite3_column_type(stmt, col)) {
    case SQLITE_NULL: return v;
    case SQLITE_INTEGER: {
      const sqlite3_int64 n = sqlite3_column_int64(stmt, col);
      char buf[24];
      const auto res = std::to_chars(buf, buf + sizeof buf, n);
      v.text = keep(std::string_view(buf, static_cast<size_t>(res.ptr - buf)));
      v.number = static_cast<double>(n);
      v.isNumber = true;
      break;
    }
    case SQLITE_FLOAT: return numberValue(sqlite3_column_double(stmt, col));
    default: {
      const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, col));
      v.text = keep(std::string_view(p ? p : "", static_cast<size_t>(sqlite3_column_bytes(stmt, col))));
      break;
    }
  }
  v.isNull = false;
  return v;
}

void PriceCatalogue::reset() {
  products_.clear();
  order_.clear();
  rank_.clear();
  chunks_.clear();
  chunkUsed_ = 0;
  byId_.clear();
  images_.clear();
  loaded_ = false;
}

void PriceCatalogue::load(sqlite3* db, const QString& filePath) {
  reset();
  // No memory map: the products pages lie among the picture pages, and mapping
  // them would pull most of the file into the process.
  std::vector<std::string_view> keys;  // folded copies of the names, in the text store
  {
    Stmt st;
    prepare(db,
            "SELECT rowid, product_id, product_ean, name_ruRU, product_quantity, product_price, order_count, "
            "order_summ, parent_id, name_ruRU_big FROM products",
            st);
    products_.reserve(100000);
    keys.reserve(100000);
    int rc;
    while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
      CatalogueProduct& p = products_.emplace_back();
      p.rowid = sqlite3_column_int64(st.s, 0);
      p.id = readValue(st.s, 1);
      p.ean = readValue(st.s, 2);
      p.name = readValue(st.s, 3);
      p.quantity = readValue(st.s, 4);
      p.price = readValue(st.s, 5);
      p.orderCount = readValue(st.s, 6);
      p.orderSumm = readValue(st.s, 7);
      p.parent = std::string(readValue(st.s, 8).text);
      if (sqlite3_column_type(st.s, 9) != SQLITE_NULL) {
        const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st.s, 9));
        std::string big(t, static_cast<size_t>(sqlite3_column_bytes(st.s, 9)));
        for (char& c : big)
          if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        p.searchName = keep(big);
        p.hasSearchName = true;
      }
      const std::string_view key = keep(p.name.text);
      collation::foldUtf8InPlace(const_cast<char*>(key.data()), key.size());  // our own copy
      keys.push_back(key);
    }
    if (rc != SQLITE_DONE) throw DbError(QString::fromUtf8(sqlite3_errmsg(db)), sqlite3_errcode(db));
  }
  // Name order; Null names first as in SQL, ties in storage order. The first
  // sixteen key bytes, as two big-endian words, settle most comparisons without
  // touching the keys themselves.
  struct Item {
    quint64 w0, w1;
    int index;
  };
  auto word = [](std::string_view k, size_t at) {
    quint64 w = 0;
    for (size_t i = 0; i < 8; ++i) w = (w << 8) | (at + i < k.size() ? static_cast<unsigned char>(k[at + i]) : 0u);
    return w;
  };
  std::vector<Item> items(products_.size());
  for (size_t i = 0; i < products_.size(); ++i) items[i] = {word(keys[i], 0), word(keys[i], 8), static_cast<int>(i)};
  std::sort(items.begin(), items.end(), [&](const Item& x, const Item& y) {
    const auto& pa = products_[static_cast<size_t>(x.index)];
    const auto& pb = products_[static_cast<size_t>(y.index)];
    if (pa.name.isNull != pb.name.isNull) return pa.name.isNull;
    if (x.w0 != y.w0) return x.w0 < y.w0;
    if (x.w1 != y.w1) return x.w1 < y.w1;
    const std::string_view ka = keys[static_cast<size_t>(x.index)];
    const std::string_view kb = keys[static_cast<size_t>(y.index)];
    const int k = ka.compare(kb);
    if (k != 0) return k < 0;
    if (pa.name.text != pb.name.text) {
      const int c = collation::compare(QString::fromUtf8(pa.name.text.data(), static_cast<qsizetype>(pa.name.text.size())),
                                       QString::fromUtf8(pb.name.text.data(), static_cast<qsizetype>(pb.name.text.size())));
      if (c != 0) return c < 0;
    }
    return x.index < y.index;
  });
  order_.resize(items.size());
  rank_.resize(items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    order_[i] = items[i].index;
    rank_[static_cast<size_t>(items[i].index)] = static_cast<int>(i);
  }
  keys = {};
  byId_.reserve(products_.size());
  for (size_t i = 0; i < products_.size(); ++i)
    if (!products_[i].id.isNull) byId_.emplace(products_[i].id.text, static_cast<int>(i));
  {
    Stmt st;
    // Only the ids: with an index on product_id this reads the index alone, not
    // the picture rows (each of which fills a page of its own).
    prepare(db, "SELECT rowid, product_id FROM images", st);
    std::vector<std::pair<int, qint64>> links;  // product index, image rowid
    links.reserve(products_.size());
    int rc;
    while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
      const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st.s, 1));
      if (!t) continue;  // Null
      auto it = byId_.find(std::string_view(t, static_cast<size_t>(sqlite3_column_bytes(st.s, 1))));
      if (it == byId_.end()) continue;
      links.emplace_back(it->second, sqlite3_column_int64(st.s, 0));
    }
    if (rc != SQLITE_DONE) throw DbError(QString::fromUtf8(sqlite3_errmsg(db)), sqlite3_errcode(db));
    // Each product's pictures side by side, in storage order as the join returns them.
    std::sort(links.begin(), links.end());
    images_.resize(links.size());
    for (size_t k = 0; k < links.size(); ++k) {
      const auto& [p, rowid] = links[k];
      images_[k].rowid = rowid;
      CatalogueProduct& product = products_[static_cast<size_t>(p)];
      if (product.imageCount == 0) product.firstImage = static_cast<int>(k);
      ++product.imageCount;
    }
  }
  path_ = filePath;
  const QFileInfo fi(filePath);
  mtime_ = fi.lastModified();
  size_ = fi.size();
  loaded_ = true;
}

bool PriceCatalogue::isStale() const {
  if (!loaded_) return true;
  const QFileInfo fi(path_);
  return !fi.exists() || fi.lastModified() != mtime_ || fi.size() != size_;
}

bool PriceCatalogue::likeMatch(QStringView text, QStringView pattern) {
  // SQL LIKE: % any run, _ any one character; text and pattern already folded.
  qsizetype t = 0, p = 0, starP = -1, starT = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == QLatin1Char('_') || pattern[p] == text[t])) {
      ++t;
      ++p;
    } else if (p < pattern.size() && pattern[p] == QLatin1Char('%')) {
      starP = p++;
      starT = t;
    } else if (starP >= 0) {
      p = starP + 1;
      t = ++starT;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == QLatin1Char('%')) ++p;
  return p == pattern.size();
}

std::vector<CatalogueRow> PriceCatalogue::query(const ProductFilter& f) const {
  std::vector<CatalogueRow> out;
  std::optional<std::string> parent;
  if (f.parent) parent = f.parent->toStdString();
  std::string needle;
  bool plainNeedle = false;
  QString pattern;
  if (f.like) {
    needle = f.like->toStdString();
    for (char& c : needle)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    plainNeedle = needle.find_first_of("%_") == std::string::npos;
    pattern = QLatin1Char('%') + QString::fromStdString(needle) + QLatin1Char('%');
  }
  const std::boyer_moore_horspool_searcher searcher(needle.begin(), needle.end());
  auto matches = [&](const CatalogueProduct& p) {
    if (f.orderedOnly && !(p.orderCount.isNumber && p.orderCount.number > 0) &&
        !(!p.orderCount.isNumber && !p.orderCount.isNull &&
          num::leadingValue(QString::fromUtf8(p.orderCount.text.data(), static_cast<qsizetype>(p.orderCount.text.size()))) > 0))
      return false;
    if (parent && p.parent != *parent) return false;
    if (f.like) {
      if (!p.hasSearchName) return false;
      if (plainNeedle)
        return needle.empty() || std::search(p.searchName.begin(), p.searchName.end(), searcher) != p.searchName.end();
      return likeMatch(QString::fromUtf8(p.searchName.data(), static_cast<qsizetype>(p.searchName.size())), pattern);
    }
    return true;
  };
  std::vector<int> hits;
  if (f.like || parent) {
    // A narrow filter: scan the products as they lie in memory, then put the
    // few hits in name order.
    for (size_t i = 0; i < products_.size(); ++i)
      if (matches(products_[i])) hits.push_back(rank_[i]);
    std::sort(hits.begin(), hits.end());
    for (int& h : hits) h = order_[static_cast<size_t>(h)];
  } else {
    for (const int i : order_)
      if (matches(products_[static_cast<size_t>(i)])) hits.push_back(i);
  }
  out.reserve(hits.size());
  for (const int i : hits) {
    const CatalogueProduct& p = products_[static_cast<size_t>(i)];
    if (f.withImages && p.imageCount > 0) {
      for (int k = 0; k < p.imageCount; ++k) out.push_back({i, p.firstImage + k});
    } else {
      out.push_back({i, -1});
    }
  }
  return out;
}

sqlite3* PriceCatalogue::openReadOnly(const QString& filePath) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(filePath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
    const QString why = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_close(db);
    throw DbError(why, 3044);
  }
  return db;
}

void PriceCatalogue::loadImageNames(const QString& filePath, const std::vector<CatalogueRow>& rows) {
  sqlite3* db = openReadOnly(filePath);
  const std::unique_ptr<sqlite3, int (*)(sqlite3*)> closer(db, &sqlite3_close);
  Stmt st;
  prepare(db, "SELECT image_name FROM images WHERE rowid = ?", st);
  for (const CatalogueRow& r : rows) {
    if (r.image < 0) continue;
    CatalogueImage& img = images_[static_cast<size_t>(r.image)];
    if (img.name) continue;
    sqlite3_bind_int64(st.s, 1, img.rowid);
    if (sqlite3_step(st.s) == SQLITE_ROW) {
      const CellValue v = readValue(st.s, 0);
      img.name = v.text;  // kept by the store
      img.nameIsNull = v.isNull;
    } else {
      img.name = std::string_view();
      img.nameIsNull = true;
    }
    sqlite3_reset(st.s);
  }
}

int PriceCatalogue::findProduct(const QString& productId) const {
  const std::string id = productId.toStdString();
  const auto it = byId_.find(std::string_view(id));
  return it == byId_.end() ? -1 : it->second;
}

void PriceCatalogue::markCurrent() {
  const QFileInfo fi(path_);
  mtime_ = fi.lastModified();
  size_ = fi.size();
}

void PriceCatalogue::setOrder(int product, double count, double summ) {
  CatalogueProduct& p = products_.at(static_cast<size_t>(product));
  p.orderCount = numberValue(count);
  p.orderSumm = numberValue(summ);
}

void PriceCatalogue::markImageEmpty(qint64 imageRowid) {
  for (auto& img : images_)
    if (img.rowid == imageRowid) img.empty = true;
}

void PriceCatalogue::clearOrders() {
  CellValue zero;
  zero.text = "0";
  zero.isNull = false;
  zero.isNumber = true;
  for (auto& p : products_) {
    p.orderCount = zero;
    p.orderSumm = zero;
  }
}

double PriceCatalogue::orderTotal() const {
  double total = 0;
  for (const auto& p : products_) {
    if (p.orderSumm.isNull) continue;
    const double v = p.orderSumm.isNumber ? p.orderSumm.number : num::leadingValue(QString::fromUtf8(p.orderSumm.text.data(), static_cast<qsizetype>(p.orderSumm.text.size())));
    if (std::isfinite(v)) total += v;  // a stored sum that is no number never enters the total
  }
  return total;
}

bool PriceCatalogue::hasAnyOrderSum() const {
  return std::any_of(products_.begin(), products_.end(), [](const auto& p) { return !p.orderSumm.isNull; });
}
