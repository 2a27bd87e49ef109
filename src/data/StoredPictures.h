#pragma once
// Product pictures as stored in the price database: bytes only, never decoded
// here and never written to a file.
#include <QByteArray>
#include <QString>

// The first images row of a product.
struct StoredPicture {
  bool found = false;  // the product has a row in images
  QByteArray bytes;    // image_thumb; empty for an empty or NULL value
};
// Reads it on a connection of its own; false with the reason in *error.
bool ReadStoredPicture(const QString& productId, StoredPicture* picture, QString* error);

// The thumbnail of an image row with its picture file name, which is stored
// after the picture and so costs nothing more to read with it (read by
// PriceDatabase::readThumbnails on its kept connection).
struct StoredThumbnail {
  QByteArray bytes;  // empty when the picture holds no bytes
  QByteArray name;   // image_name, UTF-8
  bool nameIsNull = true;
};
