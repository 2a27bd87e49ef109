// Tables of the price database (varnokel.mdb). The program itself never creates
// them; the demo data generator and the test fixtures do, from this one text.
#pragma once

inline constexpr const char* kPriceSchemaSql = R"SQL(
CREATE TABLE categories (
  category_id INTEGER PRIMARY KEY,
  name_ruRU TEXT
);
CREATE TABLE products (
  product_id TEXT UNIQUE,
  parent_id INTEGER,
  product_ean TEXT,
  product_quantity INTEGER,
  product_price REAL,
  name_ruRU TEXT,
  name_ruRU_big TEXT,
  order_count INTEGER DEFAULT 0,
  order_summ REAL DEFAULT 0
);
CREATE INDEX products_parent ON products(parent_id);
CREATE TABLE images (
  image_id INTEGER PRIMARY KEY,
  product_id TEXT,
  image_thumb BLOB,
  image_name TEXT,
  image_full BLOB
);
CREATE INDEX images_product ON images(product_id);
)SQL";
