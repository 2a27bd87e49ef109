#include "gui/grid/GridRowStore.h"

#include <algorithm>
#include <cstring>

namespace {

// Reclaim dead records once they exceed this and half of the arena.
constexpr size_t kCompactAbove = size_t(1) << 20;

inline size_t readLength(const char*& p) {
  const unsigned char first = static_cast<unsigned char>(*p++);
  if (first < 255) return first;
  quint32 n;
  std::memcpy(&n, p, 4);
  p += 4;
  return n;
}

inline void appendLength(std::string& out, size_t n) {
  if (n < 255) {
    out.push_back(char(n));
    return;
  }
  const quint32 v = quint32(n);
  out.push_back(char(255));
  out.append(reinterpret_cast<const char*>(&v), 4);
}

}  // namespace

size_t GridRowStore::recordSize(quint64 offset) const {
  const char* start = arena_.data() + offset;
  const char* p = start;
  for (int i = 0; i < cols_; ++i) p += readLength(p);
  return size_t(p - start);
}

void GridRowStore::resizeRows(int n) {
  n = std::max(0, n);
  if (n < rows()) {
    for (size_t r = size_t(n); r < rowAt_.size(); ++r)
      if (rowAt_[r] != kNoRecord) garbage_ += recordSize(rowAt_[r]);
    rowAt_.resize(size_t(n));
    if (n == 0) {
      arena_.clear();
      garbage_ = 0;
    }
    return;
  }
  rowAt_.resize(size_t(n), kNoRecord);
}

void GridRowStore::setCols(int n) {
  n = std::max(1, n);
  if (n == cols_) return;
  std::string fresh;
  fresh.reserve(arena_.size() - garbage_ + rowAt_.size() * size_t(std::max(0, n - cols_)));
  const int keep = std::min(cols_, n);
  for (quint64& off : rowAt_) {
    if (off == kNoRecord) continue;
    const quint64 at = fresh.size();
    const char* p = arena_.data() + off;
    for (int c = 0; c < keep; ++c) {
      const size_t len = readLength(p);
      appendLength(fresh, len);
      fresh.append(p, len);
      p += len;
    }
    fresh.append(size_t(n - keep), char(0));
    off = at;
  }
  arena_.swap(fresh);
  garbage_ = 0;
  cols_ = n;
}

void GridRowStore::reserve(int rows) {
  if (rows <= 0) return;
  rowAt_.reserve(size_t(rows));
  arena_.reserve(arena_.size() + size_t(rows) * size_t(cols_) * 24);  // address space only until used
}

std::string_view GridRowStore::cell(int r, int c) const {
  const quint64 off = rowAt_[size_t(r)];
  if (off == kNoRecord) return {};
  const char* p = arena_.data() + off;
  for (int i = 0; i < c; ++i) p += readLength(p);
  const size_t n = readLength(p);
  return std::string_view(p, n);
}

QString GridRowStore::cellText(int r, int c) const {
  const std::string_view s = cell(r, c);
  return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

void GridRowStore::setCell(int r, int c, std::string_view text) {
  quint64& off = rowAt_[size_t(r)];
  if (off == kNoRecord) {
    if (text.empty()) return;
    off = arena_.size();
    arena_.append(size_t(c), char(0));
    appendLength(arena_, text.size());
    arena_.append(text.data(), text.size());
    arena_.append(size_t(cols_ - c - 1), char(0));
    return;
  }
  // Locate the cell inside the record.
  const char* base = arena_.data();
  const char* p = base + off;
  for (int i = 0; i < c; ++i) p += readLength(p);
  const size_t cellStart = size_t(p - base);
  const size_t oldLen = readLength(p);
  const size_t textStart = size_t(p - base);
  const size_t cellEnd = textStart + oldLen;
  if (oldLen == text.size()) {  // same length, same prefix size: in place
    std::memcpy(arena_.data() + textStart, text.data(), text.size());
    return;
  }
  const char* q = base + cellEnd;
  for (int i = c + 1; i < cols_; ++i) q += readLength(q);
  const size_t recordEnd = size_t(q - base);
  if (recordEnd == arena_.size()) {
    // The last record (the usual case while filling): rewrite its tail.
    // The cells after this one are saved aside (on the stack when short).
    const size_t restLen = recordEnd - cellEnd;
    char small[256];
    std::string large;
    const char* rest = small;
    if (restLen <= sizeof small) {
      std::memcpy(small, arena_.data() + cellEnd, restLen);
    } else {
      large.assign(arena_, cellEnd, restLen);
      rest = large.data();
    }
    arena_.resize(cellStart);
    appendLength(arena_, text.size());
    arena_.append(text.data(), text.size());
    arena_.append(rest, restLen);
    return;
  }
  // Move the record to the end with the new text.
  std::string record;
  record.reserve(recordEnd - size_t(off) + text.size() + 5);
  record.append(arena_, size_t(off), cellStart - size_t(off));
  appendLength(record, text.size());
  record.append(text.data(), text.size());
  record.append(arena_, cellEnd, recordEnd - cellEnd);
  garbage_ += recordEnd - size_t(off);
  off = arena_.size();
  arena_.append(record);
  if (garbage_ > kCompactAbove && garbage_ * 2 > arena_.size()) compact();
}

bool GridRowStore::setRow(int r, const std::string_view* cells, int count) {
  count = std::min(count, cols_);
  if (rowAt_[size_t(r)] != kNoRecord) {
    for (int c = 0; c < count; ++c) setCell(r, c, cells[c]);
    return count > 0;
  }
  if (std::all_of(cells, cells + count, [](std::string_view t) { return t.empty(); })) return false;
  rowAt_[size_t(r)] = arena_.size();
  for (int c = 0; c < cols_; ++c) {
    const std::string_view t = c < count ? cells[c] : std::string_view();
    appendLength(arena_, t.size());
    arena_.append(t.data(), t.size());
  }
  return true;
}

void GridRowStore::clearTexts() {
  arena_.clear();
  garbage_ = 0;
  std::fill(rowAt_.begin(), rowAt_.end(), kNoRecord);
}

void GridRowStore::compact() {
  std::string fresh;
  fresh.reserve(arena_.size() - garbage_ + 64);
  for (quint64& off : rowAt_) {
    if (off == kNoRecord) continue;
    const size_t n = recordSize(off);
    const quint64 at = fresh.size();
    fresh.append(arena_, size_t(off), n);
    off = at;
  }
  arena_.swap(fresh);
  garbage_ = 0;
}
