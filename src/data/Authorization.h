#pragma once
// The authorization check: an organisation code is the customer's user_id in
// the shop database.
#include <QString>

struct AuthorizationCheck {
  bool ok = false;     // the shop answered
  bool found = false;  // the code names a customer
  QString id;          // user_id in invariant number notation
  QString name;        // f_name
  QString refusal;     // the code is not a whole number: the reason; the shop was not asked
  QString errorText;   // when the shop did not answer
  long errorNumber = 0;
};

AuthorizationCheck CheckOrganisationCode(const QString& code);
