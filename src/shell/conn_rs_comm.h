#pragma once
// Database access: the price database (SQLite file varnokel.mdb in the program
// folder) and the shop database (MariaDB/MySQL). Every user action opens its own
// connections through these operations and closes them before it returns.
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
  void moveNext() { if (pos_ < rows_.size()) ++pos_; }
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

using ConnectionSlot = std::unique_ptr<Connection>;
using RecordsetSlot = std::unique_ptr<Recordset>;
using CommandSlot = Connection*;  // the connection a command runs on; empty between uses

// Shared slots.
extern ConnectionSlot ShopConnection;
extern RecordsetSlot ShopRecordset;
extern CommandSlot ShopCommand;
extern ConnectionSlot PriceConnection;
extern RecordsetSlot PriceRecordset;
extern CommandSlot PriceCommand;
// False from the start of every connection attempt until that attempt succeeds.
extern bool ConnectionReady;
extern QString ConnectionErrorText;

// Opens the shop database; throws DbError when it cannot.
ConnectionSlot OpenShopConnection();
// Opens the price database; reports a failure in a message box and returns nullptr.
ConnectionSlot OpenPriceConnection();
// The result set of a SELECT, or nullptr (empty statement, no ready connection,
// statement rejected). cursorType is kept for the callers' sake: all rows are fetched.
RecordsetSlot OpenShopRecordset(Connection* conn, const QString& sql, int cursorType,
                                const QVariantList& values = {});
RecordsetSlot OpenPriceRecordset(Connection* conn, const QString& sql, const QVariantList& values = {});
// The recordset a caller goes on with; a missing one (statement rejected) throws
// DbError with the reason the database gave.
Recordset& Require(const RecordsetSlot& rs);
void CloseRecordset(RecordsetSlot& rs);
void CloseConnection(ConnectionSlot& conn);
void ReleaseCommand(CommandSlot& cmd);

// Where the shop database lives: [connection] keys of settings.ini with defaults.
struct ShopSettings {
  QString host, database, user, password;
  int port = 3306;
};
ShopSettings ReadShopSettings();
// Folds the price database's write-ahead log back into the file and leaves the
// file on its own, as when the program ends or the file is to be replaced.
void ClosePriceDatabaseLog();
// The price database file in the program folder.
QString PriceDatabasePath();
