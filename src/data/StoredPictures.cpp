#include "data/StoredPictures.h"

#include "data/Database.h"

bool ReadStoredPicture(const QString& productId, StoredPicture* picture, QString* error) {
  *picture = {};
  try {
    // A connection of its own: the preview also runs while a list load holds one.
    ConnectionPtr conn = OpenPriceConnection();
    RecordsetPtr rs =
        Query(*conn, QStringLiteral("Select image_thumb,image_name from images where product_id=?"), {productId});
    if (rs->recordCount() != 0) {
      rs->moveFirst();
      picture->found = true;
      const QVariant thumb = rs->value(0);
      if (!thumb.isNull()) picture->bytes = thumb.toByteArray();
    }
    return true;
  } catch (const DbError& e) {
    if (error) *error = e.description;
    return false;
  }
}
