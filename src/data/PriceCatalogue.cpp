#include "data/PriceCatalogue.h"

#include "base/Numbers.h"
#include "data/Database.h"
#include "data/RussianCollation.h"

#include <sqlite3.h>
#include <QFileInfo>
#include <QLocale>
#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

struct Stmt {
  sqlite3_stmt* s = nullptr;
  ~Stmt() { sqlite3_finalize(s); }
};

void prepare(sqlite3* db, const char* sql, Stmt& st) {
  if (sqlite3_prepare_v2(db, sql, -1, &st.s, nullptr) != SQLITE_OK)
    throw DbError(QString::fromUtf8(sqlite3_errmsg(db)), sqlite3_errcode(db));
}

[[noreturn]] void fail(sqlite3* db) { throw DbError(QString::fromUtf8(sqlite3_errmsg(db)), sqlite3_errcode(db)); }

std::string_view columnText(sqlite3_stmt* st, int col) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
  return p ? std::string_view(p, static_cast<size_t>(sqlite3_column_bytes(st, col))) : std::string_view();
}

// What a category id compared with parent_id (a column of whole numbers) is
// taken as: a text that reads as a number is that number, as the database
// converts it (blanks around it allowed), any other text stays a text.
struct ParentKey {
  enum Kind { Whole, Fraction, Text } kind = Text;
  qint64 whole = 0;
  double fraction = 0;
};

ParentKey parentKey(std::string_view text) {
  ParentKey key;
  std::string_view t = text;
  while (!t.empty() && (t.front() == ' ' || (t.front() >= '\t' && t.front() <= '\r'))) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || (t.back() >= '\t' && t.back() <= '\r'))) t.remove_suffix(1);
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  size_t digits = 0, fraction = 0;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
  bool whole = true;
  if (i < t.size() && t[i] == '.') {
    whole = false;
    ++i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++fraction;
  }
  if (digits + fraction == 0) return key;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    whole = false;
    size_t e = i + 1;
    if (e < t.size() && (t[e] == '+' || t[e] == '-')) ++e;
    const size_t expDigits = e;
    while (e < t.size() && t[e] >= '0' && t[e] <= '9') ++e;
    if (e == expDigits) return key;
    i = e;
  }
  if (i != t.size()) return key;
  const std::string number(t.front() == '+' ? t.substr(1) : t);
  if (whole) {
    qint64 v = 0;
    const auto res = std::from_chars(number.data(), number.data() + number.size(), v);
    if (res.ec == std::errc() && res.ptr == number.data() + number.size()) {
      key.kind = ParentKey::Whole;
      key.whole = v;
      return key;
    }
  }
  double d = 0;
  if (std::from_chars(number.data(), number.data() + number.size(), d).ec == std::errc::result_out_of_range) {
    // Too large for a number: infinite, as the database reads it; too small: zero.
    const bool tiny = number.find("e-") != std::string::npos || number.find("E-") != std::string::npos;
    d = tiny ? 0.0 : (number.front() == '-' ? -HUGE_VAL : HUGE_VAL);
  }
  if (d == std::trunc(d) && std::abs(d) < 9.2e18) {
    key.kind = ParentKey::Whole;
    key.whole = static_cast<qint64>(d);
  } else {
    key.kind = ParentKey::Fraction;
    key.fraction = d;
  }
  return key;
}

// Parent ids that are not whole numbers (fractions, texts, Null) carry one of
// these instead of a number; a whole number equal to one of them is kept as a
// fraction (compared by value all the same).
constexpr qint64 kNullParent = LLONG_MIN;
constexpr qint64 kTextParent = LLONG_MIN + 1;
constexpr qint64 kFractionParent = LLONG_MIN + 2;

bool isParentMarker(qint64 v) { return v == kNullParent || v == kTextParent || v == kFractionParent; }

void upperAscii(std::string& s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
}

// Where a text occurs in a buffer, or nullptr. Sixteen positions at a time are
// checked for two of the needle's bytes (for Cyrillic text the second byte of
// its first letter and its last byte, the bytes that tell letters apart), and
// only where both agree is the whole needle compared.
const char* findBytes(const char* from, const char* to, std::string_view needle) {
  const size_t k = needle.size();
  if (k == 0) return from;
  if (static_cast<size_t>(to - from) < k) return nullptr;
  const char* last = to - k;  // the last place the needle can start
  const char* p = from;
#ifdef __SSE2__
  if (k >= 2) {
    const size_t a = static_cast<unsigned char>(needle[0]) >= 0xC0 ? 1 : 0;
    const size_t b = k - 1;
    const __m128i first = _mm_set1_epi8(needle[a]);
    const __m128i second = _mm_set1_epi8(needle[b]);
    for (; p + 15 <= last; p += 16) {
      const __m128i x = _mm_cmpeq_epi8(first, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + a)));
      const __m128i y = _mm_cmpeq_epi8(second, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + b)));
      unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(x, y)));
      while (mask) {
        const char* at = p + __builtin_ctz(mask);
        if (std::memcmp(at, needle.data(), k) == 0) return at;
        mask &= mask - 1;
      }
    }
  }
#endif
  for (; p <= last; ++p)
    if (*p == needle[0] && std::memcmp(p, needle.data(), k) == 0) return p;
  return nullptr;
}

// The first eight bytes of an id as a number that sorts as the bytes do.
quint64 idHead(std::string_view id) {
  quint64 w = 0;
  for (size_t i = 0; i < 8; ++i) w = (w << 8) | (i < id.size() ? static_cast<unsigned char>(id[i]) : 0u);
  return w;
}

bool plainZero(const CellValue& v) { return !v.isNull && v.isNumber && v.number == 0; }

quint8 characters(const CellValue& v) {
  int n = 0;
  for (const unsigned char b : v.text)
    if ((b & 0xC0) != 0x80 && ++n == 255) break;
  return static_cast<quint8>(n);
}

constexpr size_t kChunk = 1 << 20;

// A folded name to sort by, and its product.
struct NameKey {
  const unsigned char* key;
  quint32 len;
  int index;
  quint64 word;  // eight key bytes from the depth being sorted, as a big-endian number
};

quint64 wordAt(const NameKey& k, size_t depth) {
  quint64 w = 0;
  for (size_t i = depth; i < depth + 8; ++i) w = (w << 8) | (i < k.len ? k.key[i] : 0u);
  return w;
}

// Sorts items [from, to), which agree on their first `depth` key bytes, by the
// rest of their keys: eight bytes at a time, each group that agrees on them
// then by the next eight. Names share long beginnings, which this reads once
// per group instead of once per comparison. (Names hold no zero byte, so the
// zeros that pad a shorter key sort it first.)
void sortKeys(std::vector<NameKey>& items, size_t from, size_t to, size_t depth) {
  while (to - from > 1) {
    for (size_t i = from; i < to; ++i) items[i].word = wordAt(items[i], depth);
    std::sort(items.begin() + static_cast<std::ptrdiff_t>(from), items.begin() + static_cast<std::ptrdiff_t>(to),
              [](const NameKey& x, const NameKey& y) { return x.word < y.word; });
    // Each group of one word is done when all its keys end within it, else
    // sorted by the next eight bytes: the last such group here, the others by
    // recursion.
    size_t last = to;
    for (size_t next = from; next < to;) {
      size_t end = next + 1;
      bool longer = items[next].len > depth + 8;  // some key goes on past these eight bytes
      while (end < to && items[end].word == items[next].word) longer |= items[end++].len > depth + 8;
      if (end - next > 1 && longer) {
        if (end == to)
          last = next;
        else
          sortKeys(items, next, end, depth + 8);
      }
      next = end;
    }
    if (last == to) return;
    from = last;
    depth += 8;
  }
}

}  // namespace

namespace {
std::shared_ptr<PriceCatalogue>& currentCatalogue() {
  static std::shared_ptr<PriceCatalogue> current;
  return current;
}
}  // namespace

std::shared_ptr<PriceCatalogue> PriceCatalogue::shared(const QString& filePath) {
  // One file at a time: the program works on the price file of its folder.
  std::shared_ptr<PriceCatalogue>& current = currentCatalogue();
  if (!current || current->path_ != filePath) {
    current = std::make_shared<PriceCatalogue>();
    current->path_ = filePath;
  }
  return current;
}

void PriceCatalogue::setShared(std::shared_ptr<PriceCatalogue> catalogue) { currentCatalogue() = std::move(catalogue); }

std::string_view PriceCatalogue::keep(std::string_view text) {
  if (text.empty()) return {};
  if (chunks_.empty() || chunkUsed_ + text.size() > chunkSize_) {
    // Blocks are filled before they are read: no need to clear them first.
    chunkSize_ = std::max(kChunk, text.size());
    chunks_.push_back(std::make_unique_for_overwrite<char[]>(chunkSize_));
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
  char buf[64];
  if (v == std::trunc(v) && std::abs(v) < 1e15) {
    const auto res = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(v));
    c.text = keep(std::string_view(buf, static_cast<size_t>(res.ptr - buf)));
    return c;
  }
  // The shortest text that reads back as the same number is the usual case
  // (12.5, 99.9); longer ones are cut to 15 significant digits as the locale's
  // own conversion does.
  const auto res = std::to_chars(buf, buf + sizeof buf, v);
  std::string out(buf, res.ptr);
  if (out.size() > 16 || out.find_first_of("eE") != std::string::npos) {
    c.text = keep(num::locale(v).toStdString());
    return c;
  }
  const size_t dot = out.find('.');
  if (dot != std::string::npos && decimalPoint_ != ".") out.replace(dot, 1, decimalPoint_);
  c.text = keep(out);
  return c;
}

CellValue PriceCatalogue::readValue(sqlite3_stmt* stmt, int col) {
  CellValue v;
  switch (sqlite3_column_type(stmt, col)) {
    case SQLITE_NULL:
      return v;
    case SQLITE_INTEGER: {
      const sqlite3_int64 n = sqlite3_column_int64(stmt, col);
      char buf[24];
      const auto res = std::to_chars(buf, buf + sizeof buf, n);
      v.text = keep(std::string_view(buf, static_cast<size_t>(res.ptr - buf)));
      v.number = static_cast<double>(n);
      v.isNumber = true;
      break;
    }
    case SQLITE_FLOAT:
      return numberValue(sqlite3_column_double(stmt, col));
    default:
      v.text = keep(columnText(stmt, col));
      break;
  }
  v.isNull = false;
  return v;
}

void PriceCatalogue::reset() {
  products_ = {};
  characters_ = {};
  order_ = {};
  rank_ = {};
  parentNumber_ = {};
  parentText_ = {};
  parentFraction_ = {};
  searchText_ = {};
  searchAt_ = {};
  searchNull_ = {};
  orderRows_ = {};
  {
    const std::lock_guard<std::mutex> lock(categoryMutex_);
    categoryRanks_ = {};
    categoriesIndexed_ = false;
  }
  chunks_.clear();
  chunkUsed_ = 0;
  chunkSize_ = 0;
  idOrder_ = {};
  images_ = {};
  imageByRowid_ = {};
  loaded_ = false;
  imagesLoaded_ = false;
}

namespace {
// Texts read in storage order and needed only while the catalogue is built.
struct Scratch {
  std::string bytes;
  std::vector<std::pair<quint32, quint32>> at;  // offset, length per product
  void add(std::string_view s) {
    at.emplace_back(static_cast<quint32>(bytes.size()), static_cast<quint32>(s.size()));
    bytes.append(s);
  }
  std::string_view get(size_t i) const { return std::string_view(bytes).substr(at[i].first, at[i].second); }
};
}  // namespace

void PriceCatalogue::load(sqlite3* db, const QString& filePath) {
  reset();
  path_ = filePath;
  decimalPoint_ = QLocale().decimalPoint().toStdString();
  // The row count first, so that nothing is moved while the rows are read; the
  // unique index on product_id keeps this from reading the table itself.
  size_t count = 0;
  {
    Stmt st;
    prepare(db, "SELECT count(*) FROM products", st);
    if (sqlite3_step(st.s) != SQLITE_ROW) fail(db);
    count = static_cast<size_t>(std::max<sqlite3_int64>(0, sqlite3_column_int64(st.s, 0)));
  }
  products_.reserve(count);
  chunks_.reserve(count / 8000 + 8);
  parentNumber_.reserve(count);
  parentText_.reserve(count);
  searchNull_.reserve(count);
  searchAt_.reserve(count + 1);
  searchText_.reserve(count * 64);

  // No memory map: the products pages lie among the picture pages, and mapping
  // them would pull most of the file into the process.
  Scratch keys;  // the names folded for the order, needed only to sort them
  keys.at.reserve(count);
  keys.bytes.reserve(count * 64);
  {
    Stmt st;
    prepare(db,
            "SELECT rowid, product_id, product_ean, name_ruRU, product_quantity, product_price, order_count, "
            "order_summ, parent_id, name_ruRU_big FROM products",
            st);
    int rc;
    std::string folded;
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

      // The category: a whole number, a fraction, a text or Null.
      qint64 parent = kTextParent;
      double parentFraction = 0;
      std::string_view parentAsText;
      switch (sqlite3_column_type(st.s, 8)) {
        case SQLITE_NULL:
          parent = kNullParent;
          break;
        case SQLITE_INTEGER:
          parent = sqlite3_column_int64(st.s, 8);
          break;
        case SQLITE_FLOAT: {
          const double d = sqlite3_column_double(st.s, 8);
          if (d == std::trunc(d) && std::abs(d) < 9.2e18)
            parent = static_cast<qint64>(d);
          else
            parent = kFractionParent, parentFraction = d;
          break;
        }
        default:
          parentAsText = keep(columnText(st.s, 8));
          break;
      }
      if (parent != kTextParent && parent != kNullParent && parent != kFractionParent && isParentMarker(parent)) {
        parentFraction = static_cast<double>(parent);
        parent = kFractionParent;
      }
      if (parent == kFractionParent) {
        if (parentFraction_.size() < products_.size()) parentFraction_.resize(std::max(count, products_.size()));
        parentFraction_[products_.size() - 1] = parentFraction;
      }
      parentNumber_.push_back(parent);
      parentText_.push_back(parentAsText);

      // The searched name: ASCII letters upper-cased, as LIKE folds only those.
      searchNull_.push_back(sqlite3_column_type(st.s, 9) == SQLITE_NULL);
      searchAt_.push_back(static_cast<quint32>(searchText_.size()));
      const size_t at = searchText_.size();
      searchText_.append(columnText(st.s, 9));
      for (size_t k = at; k < searchText_.size(); ++k)
        if (searchText_[k] >= 'a' && searchText_[k] <= 'z') searchText_[k] = static_cast<char>(searchText_[k] - 32);
      searchText_.push_back('\0');

      folded.assign(p.name.text);
      collation::foldUtf8InPlace(folded.data(), folded.size());
      keys.add(folded);
    }
    if (rc != SQLITE_DONE) fail(db);
  }
  const size_t n = products_.size();
  searchAt_.push_back(static_cast<quint32>(searchText_.size()));

  // Name order; Null names first as in SQL, ties in storage order.
  std::vector<NameKey> items;
  items.reserve(n);
  std::vector<int> sorted;
  sorted.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    if (products_[i].name.isNull) {
      sorted.push_back(static_cast<int>(i));
      continue;
    }
    const std::string_view k = keys.get(i);
    items.push_back(
        {reinterpret_cast<const unsigned char*>(k.data()), static_cast<quint32>(k.size()), static_cast<int>(i), 0});
  }
  sortKeys(items, 0, items.size(), 0);
  // Names that fold to the same key: by the order of their own letters, then
  // in storage order.
  for (size_t from = 0; from < items.size();) {
    size_t to = from + 1;
    while (to < items.size() && items[to].len == items[from].len &&
           std::memcmp(items[to].key, items[from].key, items[from].len) == 0)
      ++to;
    const auto runBegin = items.begin() + static_cast<std::ptrdiff_t>(from);
    const auto runEnd = items.begin() + static_cast<std::ptrdiff_t>(to);
    const std::string_view firstName = products_[static_cast<size_t>(items[from].index)].name.text;
    if (to - from > 1 && std::all_of(runBegin, runEnd, [&](const NameKey& k) {
          return products_[static_cast<size_t>(k.index)].name.text == firstName;
        })) {
      // The same name over and over (the usual tie): storage order alone.
      std::sort(runBegin, runEnd, [](const NameKey& x, const NameKey& y) { return x.index < y.index; });
    } else if (to - from > 1) {
      std::sort(runBegin, runEnd, [&](const NameKey& x, const NameKey& y) {
        const std::string_view a = products_[static_cast<size_t>(x.index)].name.text;
        const std::string_view b = products_[static_cast<size_t>(y.index)].name.text;
        if (a != b) {
          const int c = collation::compare(QString::fromUtf8(a.data(), static_cast<qsizetype>(a.size())),
                                           QString::fromUtf8(b.data(), static_cast<qsizetype>(b.size())));
          if (c != 0) return c < 0;
        }
        return x.index < y.index;
      });
    }
    from = to;
  }
  for (const NameKey& k : items) sorted.push_back(k.index);
  items = {};
  keys = {};
  order_ = std::move(sorted);
  rank_.resize(n);
  for (size_t r = 0; r < n; ++r) rank_[static_cast<size_t>(order_[r])] = static_cast<int>(r);

  characters_.resize(n);
  for (size_t i = 0; i < n; ++i) countCharacters(i);
  buildIdIndex();
  for (size_t i = 0; i < n; ++i)
    if (!plainZero(products_[i].orderCount) || !plainZero(products_[i].orderSumm))
      orderRows_.push_back(static_cast<int>(i));
  rememberFileState();
  loaded_ = true;
}

void PriceCatalogue::loadImages(sqlite3* db) {
  images_.clear();
  imageByRowid_.clear();
  for (CatalogueProduct& p : products_) p.firstImage = p.imageCount = 0;
  Stmt st;
  // Only the ids: with an index on product_id this reads the index alone, not
  // the picture rows (each of which fills a page of its own), and gives them in
  // the order of the ids, so that they meet the products in one pass.
  prepare(db, "SELECT rowid, product_id FROM images ORDER BY product_id", st);
  std::vector<std::pair<int, qint64>> links;  // product index, image rowid
  links.reserve(products_.size());
  size_t from = 0;  // ids come in ascending order: the search goes on from the last one
  std::string last;
  int rc;
  while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
    if (sqlite3_column_type(st.s, 1) == SQLITE_NULL) continue;
    const std::string_view id = columnText(st.s, 1);
    if (id < std::string_view(last)) from = 0;  // not in byte order (numbers among texts): search it all
    last.assign(id);
    from = idLowerBound(id, idHead(id), from);
    if (from == idOrder_.size() || products_[static_cast<size_t>(idOrder_[from].index)].id.text != id) continue;
    links.emplace_back(idOrder_[from].index, sqlite3_column_int64(st.s, 0));
  }
  if (rc != SQLITE_DONE) fail(db);
  // Each product's pictures side by side, in storage order as the join returns them.
  std::sort(links.begin(), links.end());
  images_.resize(links.size());
  imageByRowid_.resize(links.size());
  for (size_t k = 0; k < links.size(); ++k) {
    const auto& [p, rowid] = links[k];
    images_[k].rowid = rowid;
    imageByRowid_[k] = {rowid, static_cast<int>(k)};
    CatalogueProduct& product = products_[static_cast<size_t>(p)];
    if (product.imageCount == 0) product.firstImage = static_cast<int>(k);
    ++product.imageCount;
  }
  std::sort(imageByRowid_.begin(), imageByRowid_.end());
  imagesLoaded_ = true;
}

void PriceCatalogue::rememberFileState() {
  const QFileInfo fi(path_);
  mtime_ = fi.lastModified();
  ctime_ = fi.metadataChangeTime();
  size_ = fi.size();
}

bool PriceCatalogue::isStale() const {
  if (!loaded_) return true;
  const QFileInfo fi(path_);
  return !fi.exists() || fi.lastModified() != mtime_ || fi.metadataChangeTime() != ctime_ || fi.size() != size_;
}

void PriceCatalogue::markCurrent() { rememberFileState(); }

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

bool PriceCatalogue::ordered(const CatalogueProduct& p) const {
  // order_count > 0 as the database compares: Null never, a number by value,
  // any text (which sorts after every number) always.
  const CellValue& c = p.orderCount;
  if (c.isNull) return false;
  return c.isNumber ? c.number > 0 : true;
}

bool PriceCatalogue::textMatches(size_t i, std::string_view needle, bool plain, const QString& pattern) const {
  if (searchNull_[i]) return false;
  const std::string_view text(searchText_.data() + searchAt_[i], searchAt_[i + 1] - searchAt_[i] - 1);
  if (plain) return needle.empty() || text.find(needle) != std::string_view::npos;
  return likeMatch(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), pattern);
}

std::vector<CatalogueRow> PriceCatalogue::query(const ProductFilter& f) const {
  // The category as the database compares it with parent_id: a whole number
  // with the whole numbers (one comparison of integers per product), any
  // number with the fractions by value, a text with the texts.
  std::string parentText;
  ParentKey parent;
  if (f.parent) {
    parentText = f.parent->toStdString();
    parent = parentKey(parentText);
  }
  const qint64 wanted = parent.kind == ParentKey::Whole ? parent.whole : kTextParent;
  const bool wantedIsMarker = parent.kind == ParentKey::Whole && isParentMarker(wanted);
  auto parentMatches = [&](size_t i) {
    const qint64 have = parentNumber_[i];
    if (parent.kind == ParentKey::Whole && have == wanted && !wantedIsMarker) return true;
    if (have == kFractionParent && parent.kind != ParentKey::Text)
      return parentFraction_[i] ==
             (parent.kind == ParentKey::Whole ? static_cast<double>(parent.whole) : parent.fraction);
    return have == kTextParent && parent.kind == ParentKey::Text && parentText_[i] == parentText;
  };
  std::string needle;
  bool plain = true;
  QString pattern;
  if (f.like) {
    needle = f.like->toStdString();
    upperAscii(needle);
    plain = needle.find_first_of(std::string_view("%_\0", 3)) == std::string::npos;
    pattern = QLatin1Char('%') + QString::fromStdString(needle) + QLatin1Char('%');
  }
  auto accepts = [&](size_t i) {
    if (f.orderedOnly && !ordered(products_[i])) return false;
    if (f.parent && !parentMatches(i)) return false;
    return !f.like || textMatches(i, needle, plain, pattern);
  };

  // The matching products (storage order), then their places in name order.
  std::vector<int> ranks;
  const size_t n = products_.size();
  auto found = [&](size_t i) { ranks.push_back(rank_[i]); };
  if (f.orderedOnly) {
    for (const int i : orderRows_)  // the few products with a quantity
      if (accepts(static_cast<size_t>(i))) found(static_cast<size_t>(i));
  } else if (f.like && plain && !needle.empty()) {
    // One pass over all the names.
    const char* base = searchText_.data();
    const char* end = base + searchText_.size();
    const char* from = base;
    while (from < end) {
      const char* hit = findBytes(from, end, needle);
      if (!hit) break;
      const auto at = static_cast<quint32>(hit - base);
      const size_t i =
          static_cast<size_t>(std::upper_bound(searchAt_.begin(), searchAt_.end(), at) - searchAt_.begin()) - 1;
      if (!searchNull_[i] && (!f.parent || parentMatches(i))) found(i);
      from = base + searchAt_[i + 1];
    }
  } else if (f.parent && parent.kind == ParentKey::Whole && !wantedIsMarker && parentFraction_.empty()) {
    // A category given by its number: its products, already in name order.
    for (const int r : categoryRanks(wanted))
      if (!f.like || textMatches(static_cast<size_t>(order_[static_cast<size_t>(r)]), needle, plain, pattern))
        ranks.push_back(r);
  } else if (f.parent || f.like) {
    for (size_t i = 0; i < n; ++i)
      if (accepts(i)) found(i);
  } else {
    ranks.resize(n);
    for (size_t r = 0; r < n; ++r) ranks[r] = static_cast<int>(r);
  }
  std::sort(ranks.begin(), ranks.end());

  std::vector<CatalogueRow> out;
  out.reserve(ranks.size());
  for (const int r : ranks) {
    const int i = order_[static_cast<size_t>(r)];
    const CatalogueProduct& p = products_[static_cast<size_t>(i)];
    if (f.withImages && p.imageCount > 0) {
      for (int k = 0; k < p.imageCount; ++k) out.push_back({i, p.firstImage + k});
    } else {
      out.push_back({i, -1});
    }
  }
  return out;
}

const std::vector<int>& PriceCatalogue::categoryRanks(qint64 parent) const {
  static const std::vector<int> none;
  const std::lock_guard<std::mutex> lock(categoryMutex_);
  if (!categoriesIndexed_) {
    // One pass in name order puts each category's products in that order.
    for (size_t r = 0; r < order_.size(); ++r) {
      const qint64 p = parentNumber_[static_cast<size_t>(order_[r])];
      if (!isParentMarker(p)) categoryRanks_[p].push_back(static_cast<int>(r));
    }
    categoriesIndexed_ = true;
  }
  const auto it = categoryRanks_.find(parent);
  return it == categoryRanks_.end() ? none : it->second;
}

sqlite3* PriceCatalogue::openReadOnly(const QString& filePath) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(filePath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    const QString why = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_close(db);
    throw DbError(why, 3044);
  }
  return db;
}

void PriceCatalogue::buildIdIndex() {
  idOrder_.clear();
  idOrder_.reserve(products_.size());
  for (size_t i = 0; i < products_.size(); ++i)
    if (!products_[i].id.isNull) idOrder_.push_back({idHead(products_[i].id.text), static_cast<int>(i)});
  std::sort(idOrder_.begin(), idOrder_.end(), [&](const IdEntry& x, const IdEntry& y) {
    if (x.head != y.head) return x.head < y.head;
    const int c =
        products_[static_cast<size_t>(x.index)].id.text.compare(products_[static_cast<size_t>(y.index)].id.text);
    return c != 0 ? c < 0 : x.index < y.index;
  });
}

// Position of the first entry whose id is not below `id`, from `from` on. The
// ids asked for one after another mostly lie close together: the search gallops
// forward from `from` before it halves.
size_t PriceCatalogue::idLowerBound(std::string_view id, quint64 head, size_t from) const {
  const size_t n = idOrder_.size();
  auto below = [&](size_t k) {
    const IdEntry& e = idOrder_[k];
    if (e.head != head) return e.head < head;
    return products_[static_cast<size_t>(e.index)].id.text < id;
  };
  if (from >= n || !below(from)) return from;
  size_t lo = from, step = 1, hi = from + 1;  // below(lo) holds
  while (hi < n && below(hi)) {
    lo = hi;
    step *= 2;
    hi = from + step;
  }
  hi = std::min(hi, n);
  while (hi - lo > 1) {  // below(lo), !below(hi) (or hi == n)
    const size_t mid = lo + (hi - lo) / 2;
    if (below(mid))
      lo = mid;
    else
      hi = mid;
  }
  return hi;
}

int PriceCatalogue::lookupId(std::string_view id) const {
  const size_t at = idLowerBound(id, idHead(id), 0);
  if (at == idOrder_.size() || products_[static_cast<size_t>(idOrder_[at].index)].id.text != id) return -1;
  return idOrder_[at].index;
}

int PriceCatalogue::findProduct(const QString& productId) const {
  const std::string id = productId.toStdString();
  return lookupId(id);
}

int PriceCatalogue::findImage(qint64 imageRowid) const {
  const auto it =
      std::lower_bound(imageByRowid_.begin(), imageByRowid_.end(), std::pair<qint64, int>(imageRowid, INT_MIN));
  return it != imageByRowid_.end() && it->first == imageRowid ? it->second : -1;
}

void PriceCatalogue::readImageNames(const std::vector<int>& images) {
  if (images.empty()) return;
  sqlite3* db = nullptr;
  try {
    db = openReadOnly(path_);
  } catch (const DbError&) {
    return;  // the names stay unknown and are asked for again
  }
  const std::unique_ptr<sqlite3, int (*)(sqlite3*)> closer(db, &sqlite3_close);
  Stmt st;
  if (sqlite3_prepare_v2(db, "SELECT image_name FROM images WHERE rowid = ?", -1, &st.s, nullptr) != SQLITE_OK) return;
  for (const int i : images) {
    CatalogueImage& img = images_[static_cast<size_t>(i)];
    if (img.name) continue;
    sqlite3_bind_int64(st.s, 1, img.rowid);
    if (sqlite3_step(st.s) == SQLITE_ROW) {
      const CellValue v = readValue(st.s, 0);
      img.name = v.text;
      img.nameIsNull = v.isNull;
    } else {
      img.name = std::string_view();
      img.nameIsNull = true;
    }
    sqlite3_reset(st.s);
  }
}

std::string_view PriceCatalogue::imageName(int image, const std::vector<int>& alsoRead) {
  if (image < 0 || static_cast<size_t>(image) >= images_.size()) return {};
  if (!images_[static_cast<size_t>(image)].name) {
    std::vector<int> wanted{image};
    for (const int i : alsoRead)
      if (i >= 0 && static_cast<size_t>(i) < images_.size() && !images_[static_cast<size_t>(i)].name)
        wanted.push_back(i);
    readImageNames(wanted);
  }
  const CatalogueImage& img = images_[static_cast<size_t>(image)];
  return img.name && !img.nameIsNull ? *img.name : std::string_view();
}

void PriceCatalogue::setImageName(qint64 imageRowid, std::string_view name, bool isNull) {
  const int i = findImage(imageRowid);
  if (i < 0) return;
  CatalogueImage& img = images_[static_cast<size_t>(i)];
  if (img.name) return;
  img.name = keep(name);
  img.nameIsNull = isNull;
}

void PriceCatalogue::markImageEmpty(qint64 imageRowid) {
  const int i = findImage(imageRowid);
  if (i >= 0) images_[static_cast<size_t>(i)].empty = true;
}

void PriceCatalogue::countCharacters(size_t i) {
  const CatalogueProduct& p = products_[i];
  ShownCharacters& c = characters_[i];
  c.id = characters(p.id);
  c.ean = characters(p.ean);
  c.name = characters(p.name);
  c.quantity = characters(p.quantity);
  c.price = characters(p.price);
  c.count = characters(p.orderCount);
  c.summ = characters(p.orderSumm);
  const CellValue& q = p.quantity;
  const bool large =
      !q.isNull && !q.text.empty() &&
      (q.isNumber ? q.number
                  : num::leadingValue(QString::fromUtf8(q.text.data(), static_cast<qsizetype>(q.text.size())))) >= 100;
  c.stock = large ? 4 : c.quantity;
  c.countList = plainZero(p.orderCount) ? 0 : c.count;
  c.summList = plainZero(p.orderSumm) ? 0 : c.summ;
}

void PriceCatalogue::updateOrderRow(int product) {
  const CatalogueProduct& p = products_[static_cast<size_t>(product)];
  const bool active = !plainZero(p.orderCount) || !plainZero(p.orderSumm);
  const auto it = std::lower_bound(orderRows_.begin(), orderRows_.end(), product);
  const bool listed = it != orderRows_.end() && *it == product;
  if (active && !listed)
    orderRows_.insert(it, product);
  else if (!active && listed)
    orderRows_.erase(it);
}

void PriceCatalogue::setOrder(int product, double count, double summ) {
  CatalogueProduct& p = products_.at(static_cast<size_t>(product));
  p.orderCount = numberValue(count);
  p.orderSumm = numberValue(summ);
  updateOrderRow(product);
  countCharacters(static_cast<size_t>(product));
}

void PriceCatalogue::clearOrders() {
  CellValue zero;
  zero.text = "0";
  zero.isNull = false;
  zero.isNumber = true;
  for (const int i : orderRows_) {
    products_[static_cast<size_t>(i)].orderCount = zero;
    products_[static_cast<size_t>(i)].orderSumm = zero;
    countCharacters(static_cast<size_t>(i));
  }
  orderRows_.clear();
}

std::vector<qint64> PriceCatalogue::orderRowids() const {
  std::vector<qint64> out;
  out.reserve(orderRows_.size());
  for (const int i : orderRows_) out.push_back(products_[static_cast<size_t>(i)].rowid);
  return out;
}

std::vector<int> PriceCatalogue::orderedProducts() const {
  std::vector<int> ranks;
  for (const int i : orderRows_)
    if (ordered(products_[static_cast<size_t>(i)])) ranks.push_back(rank_[static_cast<size_t>(i)]);
  std::sort(ranks.begin(), ranks.end());
  std::vector<int> out;
  out.reserve(ranks.size());
  for (const int r : ranks) out.push_back(order_[static_cast<size_t>(r)]);
  return out;
}

double PriceCatalogue::orderTotal() const {
  // Only rows that are not a plain 0 can add anything; they are summed in
  // storage order, as a scan of the table sums them.
  double total = 0;
  for (const int i : orderRows_) {
    const CellValue& s = products_[static_cast<size_t>(i)].orderSumm;
    if (s.isNull) continue;
    const double v = s.isNumber
                         ? s.number
                         : num::leadingValue(QString::fromUtf8(s.text.data(), static_cast<qsizetype>(s.text.size())));
    if (std::isfinite(v)) total += v;  // a stored sum that is no number never enters the total
  }
  return total;
}
