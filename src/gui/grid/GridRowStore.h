#pragma once
// The cell texts of a grid, stored compactly: the cells of a row are one record
// of length-prefixed UTF-8 strings (a length below 255 is one byte, a longer one
// is the byte 255 and four bytes), all records live in one byte arena and each
// row holds the offset of its record. A row without a record has empty cells.
// There is no object per cell, so a hundred thousand rows cost little more than
// their texts.
//
// Changing a cell of the last record rewrites the arena's tail in place; changing
// any other row moves its record to the end. The dead records left behind are
// reclaimed once they are more than half of a large arena.
//
// Rows and columns count from 0. Cell access does no range checks: callers check.

#include <QString>
#include <QtGlobal>

#include <string>
#include <string_view>
#include <vector>

class GridRowStore {
 public:
  int rows() const { return int(rowAt_.size()); }
  int cols() const { return cols_; }

  // New rows are empty; dropped rows' texts are gone for good.
  void resizeRows(int n);
  // Every row gets exactly n cells (at least 1): new cells are empty.
  void setCols(int n);
  // Room for n rows of short texts, so that a long fill does not reallocate.
  void reserve(int rows);

  // Whether row r holds texts of its own (a record).
  bool hasRecord(int r) const { return rowAt_[size_t(r)] != kNoRecord; }
  // The view stays valid until the next change of the texts.
  std::string_view cell(int r, int c) const;
  QString cellText(int r, int c) const;
  void setCell(int r, int c, std::string_view text);
  // The first `count` cells of row r at once (the fast path for a fresh row).
  // Returns false when nothing changed (an empty row stays without a record).
  bool setRow(int r, const std::string_view* cells, int count);
  // Every cell empty; rows and columns kept.
  void clearTexts();

  // Rewrites the arena without its dead records.
  void compact();

 private:
  static constexpr quint64 kNoRecord = ~quint64(0);
  size_t recordSize(quint64 offset) const;

  int cols_ = 1;
  std::string arena_;
  std::vector<quint64> rowAt_;  // per row: record offset or kNoRecord
  size_t garbage_ = 0;          // bytes of dead records in arena_
};
