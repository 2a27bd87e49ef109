#include "data/Authorization.h"

#include "base/Numbers.h"
#include "base/OrganisationCode.h"
#include "data/Database.h"

AuthorizationCheck CheckOrganisationCode(const QString& code) {
  AuthorizationCheck out;
  qlonglong userId = 0;
  if (!ParseOrganisationCode(code, &userId)) {
    out.refusal = OrganisationCodeRefusal(code);
    return out;
  }
  try {
    ConnectionPtr shop = OpenShopConnection();
    // "057" and "+57" name user 57, as the number they spell.
    RecordsetPtr rs =
        Query(*shop, QStringLiteral("select user_id , f_name from uop5b_jshopping_users where user_id = ?"), {userId});
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
