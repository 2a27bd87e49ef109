#include "support/PriceStatements.h"

using namespace Qt::StringLiterals;

namespace stmt {
namespace {

QString select(bool withImages) {
  return withImages ? u"SELECT p.product_id,p.product_ean,p.name_ruRU,product_quantity,i.image_thumb,"
                      "p.product_price,p.order_count,p.order_summ,i.image_name FROM products as p "
                      "LEFT OUTER JOIN images as i ON p.product_id = i.product_id "_s
                    : u"SELECT p.product_id,p.product_ean,p.name_ruRU,product_quantity,p.product_price,"
                      "p.order_count,p.order_summ FROM products as p "_s;
}
const QString kByName = u" ORDER BY p.name_ruRU"_s;

}  // namespace

QString list(bool withImages, bool wholePrice) {
  return select(withImages) + (wholePrice ? QString() : u" where order_count > 0"_s) + kByName;
}

QString filtered(bool withImages, bool wholePrice, const std::optional<QString>& parent, const QString& upperText) {
  QString where = u" WHERE p.name_ruRU_big LIKE '%"_s + upperText + u"%' "_s;
  if (parent) where += u" AND p.parent_id ='"_s + *parent + u'\'';
  if (!wholePrice) where += u" AND p.order_count >0"_s;
  return select(withImages) + where + kByName;
}

}  // namespace stmt
