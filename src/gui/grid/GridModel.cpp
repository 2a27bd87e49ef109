#include "gui/grid/GridModel.h"

#include <algorithm>

namespace {

constexpr int kGeneral = 9;  // the alignment code "general"

// "General" alignment: numbers to the right, everything else to the left.
bool looksNumeric(std::string_view s) {
  bool digit = false;
  for (unsigned char ch : s) {
    if (ch >= '0' && ch <= '9')
      digit = true;
    else if (ch != ' ' && ch != '-' && ch != '+' && ch != '.' && ch != ',')
      return false;
  }
  return digit;
}

}  // namespace

GridModel::GridModel(QObject* parent) : QAbstractTableModel(parent) {
  store_.resizeRows(1);
  store_.setCols(2);
  viewRows_ = 1;
  viewCols_ = 2;
  header_.resize(2);
  align_.assign(2, kGeneral);
}

int GridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : viewRows_; }

int GridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : viewCols_; }

QVariant GridModel::data(const QModelIndex& index, int role) const {
  const int r = index.row(), c = index.column();
  if (!index.isValid() || r >= dataRows() || c >= cols()) return {};
  switch (role) {
    case Qt::DisplayRole:
      return cellText(r, c);
    case Qt::TextAlignmentRole:
      return int(alignmentFor(r, c));
    case Qt::DecorationRole: {
      const QPixmap pm = picture(r + 1, c);
      return pm.isNull() ? QVariant() : QVariant(pm);
    }
    default:
      return {};
  }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Vertical) return role == Qt::DisplayRole ? QVariant(section + 1) : QVariant();
  if (section < 0 || section >= cols()) return {};
  switch (role) {
    case Qt::DisplayRole:
      return header_.at(section);
    case Qt::TextAlignmentRole: {
      // A header text is text: "general" shows it on the left.
      const int code = align_[size_t(section)];
      return int(code == kGeneral ? (Qt::AlignLeft | Qt::AlignVCenter) : alignmentFromCode(code));
    }
    case Qt::DecorationRole: {
      const QPixmap pm = picture(0, section);
      return pm.isNull() ? QVariant() : QVariant(pm);
    }
    default:
      return {};
  }
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

// ---- shape -------------------------------------------------------------------

void GridModel::resizeRows(int n) {
  if (n < dataRows()) {
    endSource(n);
    // Shrinking must not leave pictures that a later growth would revive.
    std::erase_if(pictures_, [n](const auto& entry) { return int(entry.first >> 32) > n; });
  }
  store_.resizeRows(n);
  for (auto& column : keys_)
    if (!column.empty()) column.resize(size_t(n), -1);
}

void GridModel::setDataRows(int n) {
  n = std::max(0, n);
  const int old = dataRows();
  if (n == old) return;
  if (!live()) {
    resizeRows(n);
    return;
  }
  if (n > old)
    beginInsertRows(QModelIndex(), old, n - 1);
  else
    beginRemoveRows(QModelIndex(), n, old - 1);
  resizeRows(n);
  viewRows_ = n;
  if (n > old)
    endInsertRows();
  else
    endRemoveRows();
}

void GridModel::setCols(int n) {
  n = std::max(1, n);
  const int old = cols();
  if (n == old) return;
  const bool notify = live();
  if (notify) {
    if (n > old)
      beginInsertColumns(QModelIndex(), old, n - 1);
    else
      beginRemoveColumns(QModelIndex(), n, old - 1);
  }
  store_.setCols(n);
  header_.resize(n);
  align_.resize(size_t(n), kGeneral);
  keys_.resize(std::min(size_t(n), keys_.size()));
  std::erase_if(pictures_, [n](const auto& entry) { return int(entry.first & 0xffffffffu) >= n; });
  if (notify) {
    viewCols_ = n;
    if (n > old)
      endInsertColumns();
    else
      endRemoveColumns();
  }
}

int GridModel::cellCharacters(int r, int c, int cap) const {
  if (sourceCharacters_ && fromSource(r)) return std::min(cap, sourceCharacters_(r - sourceFirst_, c));
  int n = 0;
  for (const unsigned char b : cellUtf8(r, c))
    if ((b & 0xC0) != 0x80 && ++n >= cap) break;
  return n;
}

int GridModel::appendSourceRows(int count, RowSource source, RowCharacters characters) {
  // Rows still read from an earlier source keep their texts as copies.
  for (int r = sourceFirst_; r < sourceEnd_; ++r)
    if (fromSource(r)) materialize(r);
  const int first = dataRows();
  source_ = std::move(source);
  sourceCharacters_ = std::move(characters);
  sourceFirst_ = first;
  sourceEnd_ = first;
  setDataRows(first + std::max(0, count));
  sourceEnd_ = dataRows();
  return first;
}

void GridModel::materialize(int r) {
  std::vector<std::string_view> cells(static_cast<size_t>(cols()));
  for (int c = 0; c < cols(); ++c) cells[size_t(c)] = source_(r - sourceFirst_, c);
  store_.setRow(r, cells.data(), cols());  // a row of empty texts needs no record
}

void GridModel::endSource(int rows) {
  sourceEnd_ = std::min(sourceEnd_, rows);
  if (sourceEnd_ <= sourceFirst_) {
    sourceFirst_ = sourceEnd_ = 0;
    source_ = nullptr;
    sourceCharacters_ = nullptr;
  }
}

int GridModel::appendDataRow() {
  const int r = dataRows();
  if (live())
    setDataRows(r + 1);
  else
    resizeRows(r + 1);
  return r;
}

// ---- texts -------------------------------------------------------------------

void GridModel::notifyCell(int r, int c) {
  if (batching_ || r >= viewRows_ || c >= viewCols_) {
    dataDirty_ = true;
    return;
  }
  const QModelIndex i = index(r, c);
  emit dataChanged(i, i);
}

void GridModel::notifyHeader(int c) {
  if (batching_ || c >= viewCols_)
    headerDirty_ = true;
  else
    emit headerDataChanged(Qt::Horizontal, c, c);
}

void GridModel::setRowUtf8(int r, const std::string_view* cells, int count) {
  if (fromSource(r)) materialize(r);
  if (!store_.setRow(r, cells, count)) return;
  if (batching_ || r >= viewRows_ || viewCols_ != cols())
    dataDirty_ = true;
  else
    emit dataChanged(index(r, 0), index(r, cols() - 1));
}

void GridModel::setCellUtf8(int r, int c, std::string_view text) {
  if (fromSource(r)) materialize(r);
  store_.setCell(r, c, text);
  notifyCell(r, c);
}

void GridModel::setHeaderText(int c, const QString& text) {
  header_[c] = text;
  notifyHeader(c);
}

void GridModel::clearContents() {
  endSource(0);
  store_.clearTexts();
  for (auto& h : header_) h.clear();
  pictures_.clear();
  for (auto& column : keys_) std::vector<qint64>().swap(column);
  if (batching_) {
    dataDirty_ = headerDirty_ = true;
    return;
  }
  if (viewCols_ > 0) emit headerDataChanged(Qt::Horizontal, 0, viewCols_ - 1);
  if (viewRows_ > 0 && viewCols_ > 0) emit dataChanged(index(0, 0), index(viewRows_ - 1, viewCols_ - 1));
}

// ---- alignment ---------------------------------------------------------------

int GridModel::alignmentCode(int c) const { return (c >= 0 && c < cols()) ? align_[size_t(c)] : 0; }

void GridModel::setAlignmentCode(int c, int code) {
  if (c < 0 || c >= cols() || code < 0 || code > kGeneral) return;
  align_[size_t(c)] = code;
  if (batching_ || c >= viewCols_ || viewRows_ == 0) {
    dataDirty_ = headerDirty_ = true;
    return;
  }
  emit headerDataChanged(Qt::Horizontal, c, c);
  emit dataChanged(index(0, c), index(viewRows_ - 1, c));
}

Qt::Alignment GridModel::alignmentFor(int r, int c) const {
  const int code = align_[size_t(c)];
  if (code == kGeneral) return (looksNumeric(cellUtf8(r, c)) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
  return alignmentFromCode(code);
}

Qt::Alignment GridModel::alignmentFromCode(int code) {
  static const Qt::Alignment table[9] = {
      Qt::AlignLeft | Qt::AlignTop,    Qt::AlignLeft | Qt::AlignVCenter,    Qt::AlignLeft | Qt::AlignBottom,
      Qt::AlignHCenter | Qt::AlignTop, Qt::AlignHCenter | Qt::AlignVCenter, Qt::AlignHCenter | Qt::AlignBottom,
      Qt::AlignRight | Qt::AlignTop,   Qt::AlignRight | Qt::AlignVCenter,   Qt::AlignRight | Qt::AlignBottom,
  };
  return (code >= 0 && code < 9) ? table[code] : Qt::AlignLeft | Qt::AlignVCenter;
}

// ---- pictures ----------------------------------------------------------------

QPixmap GridModel::picture(int r, int c) const {
  const auto it = pictures_.find(cellKey(r, c));
  return it == pictures_.end() ? QPixmap() : it->second;
}

void GridModel::setPicture(int r, int c, const QPixmap& pm) {
  if (pm.isNull())
    pictures_.erase(cellKey(r, c));
  else
    pictures_[cellKey(r, c)] = pm;
  if (r == 0)
    notifyHeader(c);
  else
    notifyCell(r - 1, c);
}

qint64 GridModel::pictureKey(int r, int c) const {
  if (r < 1 || size_t(c) >= keys_.size()) return -1;
  const auto& column = keys_[size_t(c)];
  return size_t(r - 1) < column.size() ? column[size_t(r - 1)] : -1;
}

void GridModel::setPictureKey(int r, int c, qint64 key) {
  if (r < 1) return;
  if (key < 0) {
    if (size_t(c) < keys_.size() && size_t(r - 1) < keys_[size_t(c)].size()) keys_[size_t(c)][size_t(r - 1)] = -1;
  } else {
    if (keys_.size() <= size_t(c)) keys_.resize(size_t(c) + 1);
    auto& column = keys_[size_t(c)];
    if (column.empty()) column.assign(size_t(dataRows()), -1);
    column[size_t(r - 1)] = key;
  }
  notifyCell(r - 1, c);
}

// ---- batching ----------------------------------------------------------------

bool GridModel::flush() {
  bool reset = false;
  if (viewCols_ != cols()) {
    beginResetModel();
    viewRows_ = dataRows();
    viewCols_ = cols();
    endResetModel();
    reset = true;
  } else if (viewRows_ < dataRows()) {
    beginInsertRows(QModelIndex(), viewRows_, dataRows() - 1);
    viewRows_ = dataRows();
    endInsertRows();
  } else if (viewRows_ > dataRows()) {
    beginRemoveRows(QModelIndex(), dataRows(), viewRows_ - 1);
    viewRows_ = dataRows();
    endRemoveRows();
  }
  if (!reset) {
    if (headerDirty_ && viewCols_ > 0) emit headerDataChanged(Qt::Horizontal, 0, viewCols_ - 1);
    if (dataDirty_ && viewRows_ > 0 && viewCols_ > 0)
      emit dataChanged(index(0, 0), index(viewRows_ - 1, viewCols_ - 1));
  }
  headerDirty_ = dataDirty_ = false;
  return reset;
}
