#include "data/ShopErrors.h"

QString ShopFailureKind(long number) {
  switch (number) {
    case 2002:  // no socket
    case 2003:  // connection refused or timed out
    case 2005:  // unknown host
      return QStringLiteral("Нет связи с сервером базы данных магазина");
    case 2006:  // server has gone away
    case 2013:  // lost connection during query
      return QStringLiteral("Связь с сервером базы данных магазина прервалась");
    case 1044:
    case 1045:
      return QStringLiteral("Неверное имя пользователя или пароль базы данных магазина");
    case 1049:
      return QStringLiteral("База данных магазина не найдена на сервере");
    case 1146:
      return QStringLiteral("В базе данных магазина нет нужной таблицы");
    case 1205:
      return QStringLiteral("Таблица базы данных магазина занята другим пользователем");
    case 1040:
    case 1203:
      return QStringLiteral("Сервер базы данных магазина перегружен");
    default:
      return {};
  }
}

QString DescribeShopFailure(long number, const QString& serverText) {
  const QString kind = ShopFailureKind(number);
  const QString detail = QStringLiteral("%1 (%2)").arg(serverText).arg(number);
  return kind.isEmpty() ? detail : kind + QLatin1Char('\r') + detail;
}
