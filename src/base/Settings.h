#pragma once
// The program's settings in settings.ini: every section, key and default in one
// place. Values are read with the default "?" and, where a number is meant,
// interpreted by their leading-number value.
#include "base/IniFile.h"

#include <QString>

namespace settings {

struct Key {
  const char* section;
  const char* name;
};

// [authentication]: the customer's organisation code and name.
inline constexpr Key OrganisationId{"authentication", "id"};
inline constexpr Key OrganisationName{"authentication", "login"};
// [settings]: the display switches.
inline constexpr Key ImageToString{"settings", "imagetostring"};
inline constexpr Key ImageThumb{"settings", "imagethumb"};
inline constexpr Key VisibleSumm{"settings", "visiblesumm"};
// [forms]: the price grid's column widths in twips.
inline constexpr Key NameWidth{"forms", "name"};
inline constexpr Key RemainderWidth{"forms", "remainder"};
inline constexpr Key PriceWidth{"forms", "price"};
inline constexpr Key OrderWidth{"forms", "order"};
inline constexpr Key SummWidth{"forms", "summ"};
// [pricefile]: the price file the program last took in, so that it knows it
// again after typing changed it: its stamp (written into the file's header by
// the first stored quantity), its size and modification time as first seen
// (milliseconds since 1970, UTC), and the date it was delivered.
inline constexpr Key PriceFileStamp{"pricefile", "stamp"};
inline constexpr Key PriceFileSize{"pricefile", "size"};
inline constexpr Key PriceFileTime{"pricefile", "time"};
inline constexpr Key PriceFileDate{"pricefile", "date"};

// The value a missing key reads as.
inline const QString kUnset = QStringLiteral("?");

// Full path of settings.ini in the program folder.
QString path();
// Writes the default content when no settings file exists yet.
void createDefault();

// The settings file read once, for several keys read together.
class Snapshot {
 public:
  Snapshot();
  QString text(Key key) const;
  double number(Key key) const;

 private:
  IniSnapshot file_;
};

// The stored text of a key, or "?" when it is missing.
QString text(Key key);
// The leading-number value of a key ("?" counts as 0).
double number(Key key);
// True when a switch is on (its value is 1).
bool isOn(Key key);
// Stores a key; false with a description in *error when the file cannot be written.
bool write(Key key, const QString& value, QString* error = nullptr);

// True when both the organisation code and name are stored.
bool hasOrganisation();

// Where the shop database lives: keys shop_* of [connection], else the values
// the build was configured with. No host: no shop is set up, nothing is sent.
struct ShopServer {
  QString host, database, user, password;
  int port = 3306;
  bool configured() const { return !host.isEmpty(); }
};
ShopServer shopServer();
// Where the price list and the program are downloaded from: keys ftp_* of
// [connection] in the given settings file, else the build's values.
struct DistributionAccount {
  QString host, user, password, pricePath, programPath;
  bool configured() const { return !host.isEmpty(); }
};
DistributionAccount distributionAccount(const QString& settingsFile);
// What the user is told when no server is set up, and where to set it.
QString noShopServerText();
QString noDistributionServerText();

}  // namespace settings
