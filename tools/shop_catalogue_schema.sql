-- The web shop's catalogue tables that the price publisher reads, laid out as the
-- shop keeps them: most columns NOT NULL without a default, names per language in
-- columns such as `name_ru-RU`, zero dates. The shop's own software relaxes
-- sql_mode for its sessions; this script does the same so that it also runs on a
-- strict server. Re-runnable: the tables are dropped and created again.

SET NAMES utf8mb4;
SET SESSION sql_mode = 'NO_ENGINE_SUBSTITUTION';

DROP TABLE IF EXISTS uop5b_jshopping_products_images;
DROP TABLE IF EXISTS uop5b_jshopping_products_to_categories;
DROP TABLE IF EXISTS uop5b_jshopping_products;
DROP TABLE IF EXISTS uop5b_jshopping_categories;

CREATE TABLE uop5b_jshopping_categories (
  category_id INT NOT NULL AUTO_INCREMENT,
  category_image VARCHAR(255) NOT NULL,
  category_parent_id INT NOT NULL,
  category_publish TINYINT UNSIGNED NOT NULL,
  category_template VARCHAR(64) NOT NULL,
  ordering INT NOT NULL,
  category_add_date DATETIME NOT NULL,
  products_page INT NOT NULL,
  products_row INT NOT NULL,
  access INT NOT NULL,
  `name_en-GB` VARCHAR(255) NOT NULL,
  `alias_en-GB` VARCHAR(255) NOT NULL,
  `name_ru-RU` VARCHAR(255) NOT NULL,
  `alias_ru-RU` VARCHAR(255) NOT NULL,
  `short_description_ru-RU` TEXT NOT NULL,
  `description_ru-RU` TEXT NOT NULL,
  PRIMARY KEY (category_id),
  KEY sort_add_date (category_add_date)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

CREATE TABLE uop5b_jshopping_products (
  product_id INT NOT NULL AUTO_INCREMENT,
  parent_id INT NOT NULL,
  product_ean VARCHAR(32) NOT NULL,
  manufacturer_code VARCHAR(32) NOT NULL,
  product_quantity DECIMAL(12,2) NOT NULL,
  unlimited TINYINT NOT NULL,
  product_availability VARCHAR(1) NOT NULL,
  product_date_added DATETIME NOT NULL,
  date_modify DATETIME NOT NULL,
  product_publish TINYINT NOT NULL,
  product_tax_id TINYINT NOT NULL,
  currency_id INT NOT NULL,
  product_template VARCHAR(64) NOT NULL,
  product_url VARCHAR(128) NOT NULL,
  product_old_price DECIMAL(18,6) NOT NULL,
  product_buy_price DECIMAL(18,6) NOT NULL,
  product_price DECIMAL(18,6) NOT NULL,
  min_price DECIMAL(18,6) NOT NULL,
  different_prices TINYINT NOT NULL,
  product_weight DECIMAL(14,4) NOT NULL,
  image VARCHAR(255) NOT NULL,
  product_manufacturer_id INT NOT NULL,
  product_is_add_price TINYINT NOT NULL,
  add_price_unit_id INT NOT NULL,
  average_rating FLOAT(4,2) NOT NULL,
  reviews_count INT NOT NULL,
  delivery_times_id INT NOT NULL,
  hits INT NOT NULL,
  weight_volume_units DECIMAL(14,4) NOT NULL,
  basic_price_unit_id INT NOT NULL,
  label_id INT NOT NULL,
  vendor_id INT NOT NULL,
  access INT NOT NULL,
  `name_en-GB` VARCHAR(255) NOT NULL,
  `alias_en-GB` VARCHAR(255) NOT NULL,
  `name_ru-RU` VARCHAR(255) NOT NULL,
  `alias_ru-RU` VARCHAR(255) NOT NULL,
  `short_description_ru-RU` TEXT NOT NULL,
  `description_ru-RU` TEXT NOT NULL,
  PRIMARY KEY (product_id),
  KEY product_manufacturer_id (product_manufacturer_id),
  KEY parent_id (parent_id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

CREATE TABLE uop5b_jshopping_products_to_categories (
  product_id INT NOT NULL,
  category_id INT NOT NULL,
  product_ordering INT NOT NULL,
  PRIMARY KEY (product_id, category_id),
  KEY category_id (category_id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

CREATE TABLE uop5b_jshopping_products_images (
  image_id INT NOT NULL AUTO_INCREMENT,
  product_id INT NOT NULL,
  image_name VARCHAR(255) NOT NULL,
  name VARCHAR(255) NOT NULL,
  ordering TINYINT NOT NULL,
  PRIMARY KEY (image_id),
  KEY product_id (product_id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;
