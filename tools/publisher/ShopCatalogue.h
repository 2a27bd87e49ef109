// The web shop's catalogue as the price list needs it: published categories,
// published products with their first published category, and each product's
// picture names, main picture first.
#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include <vector>

struct ShopCategory {
  qint64 id = 0;
  QString name;
};

struct ShopProduct {
  qint64 id = 0;
  qint64 categoryId = 0;
  QVariant ean;
  QVariant quantity;  // whole numbers as integers, fractions as doubles
  QVariant price;
  QVariant name;
  qsizetype firstPicture = 0;  // index into ShopCatalogue::pictures
  int pictureCount = 0;
};

struct ShopCatalogue {
  QList<ShopCategory> categories;
  std::vector<ShopProduct> products;
  std::vector<QString> pictures;  // picture file names, each product's side by side
  int withoutCategory = 0;        // published products left out: no published category
};

struct ShopConnectionSettings {
  QString host;
  int port = 3306;
  QString database;
  QString user;
  QString password;
  QString tablePrefix;  // checked by the caller: letters, digits and _ only
};

class ShopCatalogueReader {
 public:
  explicit ShopCatalogueReader(ShopConnectionSettings settings);

  // Connects, reads the catalogue and disconnects. False with a Russian message
  // when the server cannot be reached or a statement fails.
  bool read(ShopCatalogue* catalogue, QString* error) const;

 private:
  ShopConnectionSettings m_settings;
};
