#pragma once
// What a failure of the shop database means, in Russian, for the user: one
// sentence for the kind of failure, the server's own text and number below it.
#include <QString>

// The sentence alone: "Нет связи с сервером базы данных магазина", ...; an empty
// text for a failure of no known kind.
QString ShopFailureKind(long number);
// The sentence (when known), a line break, then the server's text and number.
QString DescribeShopFailure(long number, const QString& serverText);
