#include "support/PriceStatements.h"

namespace stmt {

const QString kThumbSelect = QStringLiteral(
    "SELECT p.product_id,p.product_ean,p.name_ruRU,product_quantity,i.image_thumb,p.product_price,p.order_count,"
    "p.order_summ,i.image_name FROM products as p ");
const QString kPlainSelect = QStringLiteral(
    "SELECT p.product_id,p.product_ean,p.name_ruRU,product_quantity,p.product_price,p.order_count,p.order_summ "
    "FROM products as p ");
const QString kImagesJoin = QStringLiteral(" LEFT OUTER JOIN images as i ON p.product_id = i.product_id ");

QString list(bool withImages, bool wholePrice) {
  if (withImages)
    return kThumbSelect + kImagesJoin +
           (wholePrice ? QStringLiteral(" ORDER BY p.name_ruRU")
                       : QStringLiteral(" where order_count > 0 ORDER BY p.name_ruRU "));
  return kPlainSelect + (wholePrice ? QStringLiteral(" ORDER BY p.name_ruRU")
                                    : QStringLiteral(" where order_count > 0 ORDER BY p.name_ruRU "));
}

QString category(bool withImages, bool wholePrice, const QString& id, const QString& search) {
  const QString like = QStringLiteral(" p.name_ruRU_big LIKE '%") + search + QStringLiteral("%' ");
  if (withImages && wholePrice)
    return kThumbSelect + kImagesJoin + QStringLiteral(" where p.parent_id ='") + id + QStringLiteral("' AND") + like +
           QStringLiteral("ORDER BY p.name_ruRU ");
  if (!withImages && wholePrice)
    return kPlainSelect + QStringLiteral(" where p.parent_id = '") + id + QStringLiteral("' AND") + like +
           QStringLiteral("ORDER BY p.name_ruRU ");
  if (withImages)
    return kThumbSelect + kImagesJoin + QStringLiteral(" where p.parent_id ='") + id +
           QStringLiteral("' AND p.order_count >0 AND") + like + QStringLiteral("ORDER BY name_ruRU ");
  return kPlainSelect + QStringLiteral(" where p.parent_id ='") + id + QStringLiteral("' AND p.order_count >0 AND") +
         like + QStringLiteral("ORDER BY name_ruRU ");
}

QString search(bool withImages, const QString& column, const QString& upperText, const QString& category) {
  QString s =
      withImages ? kThumbSelect + kImagesJoin + QStringLiteral(" WHERE ") : kPlainSelect + QStringLiteral(" WHERE ");
  s += column + QStringLiteral(" LIKE '%") + upperText + QStringLiteral("%' ");
  if (category == QLatin1String("all"))
    s += QStringLiteral(" ORDER BY name_ruRU ");
  else
    s += QStringLiteral(" AND parent_id='") + category + QStringLiteral("' ORDER BY name_ruRU ");
  return s;
}

}  // namespace stmt
