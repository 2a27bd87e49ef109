#include "data/Authorization.h"

#include "base/Numbers.h"
#include "data/Database.h"

AuthorizationCheck CheckOrganisationCode(const QString& code) {
  AuthorizationCheck out;
  try {
    ConnectionPtr shop = OpenShopConnection();
    // The code is compared as text, so "57'" or "57abc" finds nobody.
    RecordsetPtr rs = Query(*shop,
                            QStringLiteral("select user_id , f_name from uop5b_jshopping_users where CAST(user_id AS CHAR) = ?"),
                            {code.trimmed()});
    out.ok = true;
    if (rs->eof() || rs->bof()) return out;
    out.found = true;
    out.id = num::invariant(rs->value(0).toDouble());
    out.name = rs->value(1).toString();
  } catch (const DbError& e) {
    out.errorText = e.description;
    out.errorNumber = e.number;
  }
  return out;
}
