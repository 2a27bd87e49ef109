#pragma once
// Product pictures as stored in the price database: bytes only, never decoded
// here and never written to a file.
#include <QByteArray>
#include <QString>
#include <unordered_map>
#include <vector>

// The first images row of a product.
struct StoredPicture {
  bool found = false;  // the product has a row in images
  QByteArray bytes;    // image_thumb; empty for an empty or NULL value
};
// Reads it on a connection of its own; false with the reason in *error.
bool ReadStoredPicture(const QString& productId, StoredPicture* picture, QString* error);

// The thumbnails of image rows (by rowid) in one statement; rows whose picture
// holds no bytes come back with an empty value. A file that cannot be read gives
// an empty map.
std::unordered_map<qint64, QByteArray> ReadThumbnailBytes(const QString& dbPath, const std::vector<qint64>& imageRowids);
