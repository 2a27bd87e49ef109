#include "gui/common/SendMessages.h"

#include "base/Numbers.h"
#include "data/ShopErrors.h"
#include "gui/common/MessageBoxes.h"
#include "gui/common/ShopTask.h"

namespace {

const QString kQuantitiesKept = QStringLiteral("Количества в прайс-листе сохранены.");

// "связь с сервером базы данных магазина прервалась": the kind of failure as
// the middle of a sentence.
QString failureReason(long number) {
  QString kind = ShopFailureKind(number);
  if (kind.isEmpty()) return QStringLiteral("сервер базы данных магазина не принял заказ");
  kind[0] = kind[0].toLower();
  return kind;
}

QString serverLine(const SendOutcome& o) {
  if (o.errorText.isEmpty()) return {};
  return QStringLiteral("\r%1 (%2)").arg(o.errorText).arg(o.errorNumber);
}

QString orderTitle(const UnfinishedOrder& o) {
  return QStringLiteral("Заказ от %1 на сумму %2").arg(o.time, num::locale(o.total.toDouble()));
}

}  // namespace

QString SendFailureText(const SendOutcome& o) {
  const QString reason = o.cancelled ? QStringLiteral("отправка отменена") : failureReason(o.errorNumber);
  if (!o.refusal.isEmpty()) return QStringLiteral("Заказ не отправлен: %1.\r%2").arg(o.refusal, kQuantitiesKept);
  if (o.earlierUnchecked)
    return QStringLiteral(
               "Заказ не отправлен: не удалось проверить, не записан ли он уже в магазин при прошлой "
               "отправке (%1).\r%2")
               .arg(reason, kQuantitiesKept) +
           serverLine(o);
  switch (o.state) {
    case SendState::Unknown:
      return QStringLiteral(
                 "Не удалось узнать, записан ли заказ в магазин: %1.\rПрограмма проверит это при "
                 "следующей отправке, входе или запуске и не отправит заказ дважды.\r%2")
                 .arg(reason, kQuantitiesKept) +
             serverLine(o);
    case SendState::NotSentLeft:
      return QStringLiteral(
                 "Заказ не отправлен: %1.\rЕсли часть заказа успела записаться в магазин, программа "
                 "удалит её при следующем входе или запуске.\r%2")
                 .arg(reason, kQuantitiesKept) +
             serverLine(o);
    default:
      return QStringLiteral("Заказ не отправлен: %1.\r%2").arg(reason, kQuantitiesKept) + serverLine(o);
  }
}

QString SentButNotClearedText(const QString& reason) {
  return QStringLiteral("Заказ отправлен, но количества в прайс-листе не очищены:\r") + reason;
}

void TellResolutions(const std::vector<OrderResolution>& resolutions) {
  for (const OrderResolution& r : resolutions) {
    if (r.quiet) continue;
    switch (r.presence) {
      case OrderPresence::Complete:
        msg::information(orderTitle(r.order) + QStringLiteral(" записан в магазин под номером ") + r.orderNumber + '.');
        break;
      case OrderPresence::Removed:
        msg::information(QStringLiteral("Незавершённый з") + orderTitle(r.order).mid(1) +
                         QStringLiteral(" удалён из магазина. Его можно отправить снова."));
        break;
      case OrderPresence::Absent:
        msg::information(orderTitle(r.order) + QStringLiteral(" в магазин не записан. Его можно отправить снова."));
        break;
      case OrderPresence::Unknown:
        break;
    }
  }
}

void SettleUnfinishedOrders() {
  if (ReadUnfinishedOrders().empty()) return;
  const auto resolutions =
      RunShopTask<std::vector<OrderResolution>>(QStringLiteral("Проверка незавершённой отправки заказа…"),
                                                [](TaskControl& control) { return ResolveUnfinishedOrders(&control); });
  if (resolutions) TellResolutions(*resolutions);
}
