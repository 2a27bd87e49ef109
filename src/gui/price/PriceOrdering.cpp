// The price window's ordering: quantities typed on the grid, the order total,
// the order view and sending the order.
#include "gui/price/PriceWindow.h"

#include "base/Numbers.h"
#include "base/OrganisationCode.h"
#include "base/Settings.h"
#include "data/OrderSender.h"
#include "gui/common/MessageBoxes.h"
#include "gui/common/SendMessages.h"
#include "gui/common/ShopTask.h"
#include "gui/grid/FlexGrid.h"
#include "gui/settings/AuthorizationDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cmath>

namespace {
constexpr int kMaxQuantityDigits = 6;  // 999 999 at most: sums stay exact to the kopeck
}  // namespace

void PriceWindow::showOrderTotal() {
  // The catalogue follows every stored quantity, so its total is the total of
  // the stored sums; it is read from the database when the file changed.
  double total = 0;
  if (!database_.orderTotal(&total, nullptr)) return;
  Label2->setText(total != 0 ? QStringLiteral("Сумма заказа :") + num::invariant(total) : QString());
}

void PriceWindow::typeOnGrid(int keyAscii) {
  FlexGrid* g = MSFlexGrid1;
  const bool thumbs = thumbnailsOn();
  const int priceCol = thumbs ? 5 : 4;
  const int qtyCol = thumbs ? 6 : 5;
  const int sumCol = thumbs ? 7 : 6;
  const int row = g->rowSel();
  if (row < 1 || row >= g->rows()) return;  // the header row takes no quantities
  const QString id = g->textMatrix(row, 0);
  QString qty = g->textMatrix(row, qtyCol);

  // A quantity is shown only once it is stored; otherwise the user is told why
  // and the cells keep the stored values.
  auto storeAndShow = [&](const QString& shownQty, double count, double sum, const QString& shownSum) {
    QString error;
    if (!database_.storeQuantity(id, static_cast<qlonglong>(count), sum, &error)) {
      msg::critical(QStringLiteral("Количество не сохранено.") + QChar('\r') + error, QStringLiteral("Предупреждение"));
      showOrderTotal();
      return;
    }
    g->setTextMatrix(row, qtyCol, shownQty);
    g->setTextMatrix(row, sumCol, shownSum);
    showOrderTotal();
  };

  if (keyAscii >= '0' && keyAscii <= '9') {
    if (qty.size() >= kMaxQuantityDigits) return;
    qty += QChar(keyAscii);
  } else if (keyAscii == 8) {
    if (qty.isEmpty()) return;
    if (qty.size() == 1) {
      storeAndShow(QString(), 0, 0.0, QString());
      return;
    }
    qty.chop(1);
  } else {
    // Only a printable character starts a search: Enter, Esc, paste and the
    // other control characters never land in the search box.
    if (!QChar::isPrint(char32_t(keyAscii))) return;
    Text1->setText(QString(QChar(keyAscii)));
    if (Text1->isEnabled()) {
      Text1->setFocus();
      Text1->setCursorPosition(1);
    }
    return;
  }
  const QString priceText = g->textMatrix(row, priceCol);
  const double count = num::leadingValue(qty);
  const double sum = count * num::cellValue(priceText);
  if (!std::isfinite(sum)) {
    msg::critical(QStringLiteral("Цена товара «%1» в прайс-листе не является числом (%2), поэтому заказать его нельзя. "
                                 "Количество не принято.")
                      .arg(g->textMatrix(row, 2), priceText),
                  QStringLiteral("Предупреждение"));
    showOrderTotal();
    return;
  }
  storeAndShow(qty, count, sum, num::locale(sum));
}

void PriceWindow::switchOrderView() {
  if (!showWholePrice_) {
    showWholePrice_ = true;
    Text1->setEnabled(true);
    Command4->setEnabled(false);
    Label2->setText(QString());
  } else {
    showOrderTotal();
    showWholePrice_ = false;
    Text1->setEnabled(false);
    Command4->setEnabled(true);
  }
  QString error;
  if (!freshCatalogue(&error)) {
    msg::requestError(error);
    return;
  }
  showResult(viewFilter(thumbnailsOn()), true);
}

void PriceWindow::sendOrder() {
  if (!settings::hasOrganisation()) {
    if (msg::question(QStringLiteral("Необходимо пройти авторизацию.Открыть окно авторизации?")))
      ShowAuthorizationDialog(this, false);
    return;
  }
  const Organisation organisation{settings::text(settings::OrganisationId), settings::text(settings::OrganisationName)};
  qlonglong userId = 0;
  if (!ParseOrganisationCode(organisation.id, &userId)) {
    Label1->setText(QStringLiteral("Заказ не отправлен"));
    msg::requestError(OrganisationCodeRefusal(organisation.id));
    return;
  }
  PendingOrder order;
  QString error;
  if (!database_.readPendingOrder(&order, &error)) {
    msg::requestErrorWithNumber(error, 3044);
    return;
  }
  // Sums without quantities leave nothing to order either.
  if (order.total == 0 || order.lines.empty()) {
    Label1->setText(QStringLiteral("Пустой заказ"));
    return;
  }
  std::optional<SendOutcome> outcome = RunShopTask<SendOutcome>(
      QStringLiteral("Отправка заказа в магазин…"),
      [organisation, order](TaskControl& control) { return SendOrder(organisation, order, &control); });
  if (!outcome) {  // cancelled before anything was written
    outcome.emplace();
    outcome->cancelled = true;
  }
  const SendOutcome& sent = *outcome;
  TellResolutions(sent.earlier);
  if (!sent.sent()) {
    Label1->setText(sent.state == SendState::Unknown ? QStringLiteral("Заказ не подтверждён")
                                                     : QStringLiteral("Заказ не отправлен"));
    msg::critical(SendFailureText(sent), QStringLiteral("Предупреждение"));
    return;
  }
  if (sent.alreadyInShop)
    msg::information(QStringLiteral("Этот заказ уже записан в магазин под номером %1 при прошлой отправке; "
                                    "второй раз он не отправлен.")
                         .arg(sent.orderNumber));
  Label1->setText(QStringLiteral("Заказ отправлен"));
  if (!msg::question(QStringLiteral("Заказ отправлен успешно.Очистить текущий заказ?"))) return;
  if (!database_.clearQuantities(&error)) {
    msg::critical(SentButNotClearedText(error), QStringLiteral("Предупреждение"));
    return;
  }
  MSFlexGrid1->setRows(1);
  Label2->setText(QString());
}
