#pragma once
// The organisation code: the customer's user_id in the shop, kept in settings.ini
// and typed into the authorization window. It counts only as a whole number:
// blanks around it, leading zeros and a sign are allowed ("057" and "+57" are 57);
// anything else ("abc", "", "57abc", "5.7") is refused before the shop is asked.
#include <QString>

// The number a code spells; false when the code is not a whole number (or is too
// long to be anybody's code).
bool ParseOrganisationCode(const QString& text, qlonglong* value);
// "Код организации не является числом: «…»" for a refused code.
QString OrganisationCodeRefusal(const QString& text);
