#pragma once
// Database access: the price database (SQLite file varnokel.mdb in the program
// folder) and the shop database (MariaDB/MySQL). Every user action opens its own
// connections through these operations and closes them before it returns.
// Failures travel as DbError inside this layer; its public operations return them.
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <memory>
#include <stdexcept>
#include <vector>

// A failure of a statement or connection, carried to the handler of the user action.
struct DbError : std::runtime_error {
  DbError(const QString& description, long number)
      : std::runtime_error(description.toStdString()), description(description), number(number) {}
  QString description;
  long number;
};

// One open connection with its own Qt connection name; closed when destroyed.
class Connection {
 public:
  Connection(const QString& driver, bool isShop);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  QSqlDatabase db() const;
  bool isOpen() const;
  bool isShop() const { return shop_; }
  void close();
  // Runs a statement that returns no rows; throws DbError on failure.
  // Values are bound to the "?" placeholders in order.
  void execute(const QString& sql, const QVariantList& values = {});
  // Number of rows changed by the last execute().
  long long affectedRows() const { return affected_; }

 private:
  QString name_;
  bool shop_;
  long long affected_ = 0;
};

// A fetched result set: all rows in memory, walked with a cursor.
class Recordset {
 public:
  int fieldCount() const { return static_cast<int>(fields_.size()); }
  QString fieldName(int i) const { return fields_.at(i); }
  long recordCount() const { return static_cast<long>(rows_.size()); }
  bool eof() const { return pos_ >= rows_.size(); }
  bool bof() const { return rows_.empty(); }
  void moveNext() {
    if (pos_ < rows_.size()) ++pos_;
  }
  void moveFirst() { pos_ = 0; }
  // Field i of the current record; throws DbError past the end.
  QVariant value(int i) const;
  const std::vector<QVariant>& row(size_t n) const { return rows_.at(n); }

  static std::unique_ptr<Recordset> fetch(QSqlQuery& query);

 private:
  std::vector<QString> fields_;
  std::vector<std::vector<QVariant>> rows_;
  size_t pos_ = 0;
};

using ConnectionPtr = std::unique_ptr<Connection>;
using RecordsetPtr = std::unique_ptr<Recordset>;

// The failure number of a shop connection that is not attempted because no shop
// server is set up (nothing is sent anywhere).
inline constexpr long kNoShopServer = -2;
// Opens the shop database; throws DbError when it cannot.
ConnectionPtr OpenShopConnection();
// Opens the price database; throws DbError with a Russian description when the
// file is missing or is not a database.
ConnectionPtr OpenPriceConnection();
// Runs a SELECT with its "?" values bound in order and fetches every row;
// throws DbError with the database's reason when the statement is rejected.
RecordsetPtr Query(Connection& conn, const QString& sql, const QVariantList& values = {});

// Closes the kept price database connection (see PriceStore), so that the file
// stands on its own, as when the program ends or the file is to be replaced.
void ReleasePriceDatabase();
// The price database file in the program folder.
QString PriceDatabasePath();
// The stamp the program wrote into the price file it last took in (settings.ini).
quint32 RecordedPriceFileStamp();
