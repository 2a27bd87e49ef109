#include "gui/settings/AuthorizationDialog.h"

#include "base/Settings.h"
#include "data/Authorization.h"
#include "gui/common/MessageBoxes.h"
#include "gui/common/SendMessages.h"
#include "gui/common/ShopTask.h"
#include "gui/common/Twips.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

AuthorizationDialog::AuthorizationDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frm_avtor"));
  setWindowTitle(QStringLiteral("Авторизация"));
  auto named = [](QWidget* w, const char* name) {
    w->setObjectName(QLatin1String(name));
    return w;
  };
  Label1 = static_cast<QLabel*>(named(new QLabel(QStringLiteral("Код организации"), this), "Label1"));
  Text2 = static_cast<QLineEdit*>(named(new QLineEdit(this), "Text2"));
  Label2 = static_cast<QLabel*>(named(new QLabel(QStringLiteral("Пароль"), this), "Label2"));
  Text1 = static_cast<QLineEdit*>(named(new QLineEdit(this), "Text1"));
  Command1 = static_cast<QPushButton*>(named(new QPushButton(QStringLiteral("Вход"), this), "Command1"));
  twips::place(Label1, 173, 240, 2895, 315);
  twips::place(Text2, 1493, 240, 2895, 285);
  twips::place(Label2, 173, 840, 1095, 255);
  twips::place(Text1, 1493, 840, 2895, 285);
  twips::place(Command1, 2880, 1440, 1455, 255);
  Text1->setEchoMode(QLineEdit::Password);
  Label2->hide();
  Text1->hide();
  Text1->installEventFilter(this);
  Command1->setDefault(true);
  setFixedSize(twips::toPxX(4680), twips::toPxY(1980));
  connect(Command1, &QPushButton::clicked, this, &AuthorizationDialog::confirmOrganisation);
}

bool AuthorizationDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Text1 && event->type() == QEvent::KeyPress) {
    auto* ke = static_cast<QKeyEvent*>(event);
    if (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter) {
      confirmOrganisation();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void ShowAuthorizationDialog(QWidget* owner, bool modal) {
  // One sign-in at a time: asking again brings the open window forward.
  static QPointer<AuthorizationDialog> open;
  if (open) {
    open->raise();
    open->activateWindow();
    open->Text2->setFocus();
    return;
  }
  auto* w = new AuthorizationDialog(owner ? owner->window() : nullptr);
  w->setAttribute(Qt::WA_DeleteOnClose);
  open = w;
  if (modal) {
    w->exec();
  } else {
    w->show();
    w->activateWindow();  // the keyboard goes to the code box at once
  }
}

void AuthorizationDialog::backToCode() {
  activateWindow();
  Text2->setFocus();
  Text2->selectAll();
}

void AuthorizationDialog::confirmOrganisation() {
  // The boxes belong to this window; after one the keyboard is back in the code box.
  const msg::ScopedParent boxesHere(this);
  const QString code = Text2->text();
  if (code.isEmpty()) {
    msg::information(QStringLiteral("Введите код организации"));
    backToCode();
    return;
  }
  const auto answer = RunShopTask<AuthorizationCheck>(QStringLiteral("Проверка кода организации…"),
                                                      [code](TaskControl&) { return CheckOrganisationCode(code); });
  if (!answer) {  // cancelled: the window stays open for another try
    backToCode();
    return;
  }
  const AuthorizationCheck& check = *answer;
  if (!check.refusal.isEmpty()) {
    msg::requestError(check.refusal);
    backToCode();
    return;
  }
  if (!check.ok) {
    msg::shopRequestErrorWithNumber(check.errorNumber, check.errorText);
    backToCode();
    return;
  }
  if (!check.found) {
    msg::information(QStringLiteral("Неправильно указан код организации"));
    backToCode();
    return;
  }
  settings::write(settings::OrganisationId, check.id);
  settings::write(settings::OrganisationName, QLatin1Char('"') + check.name + QLatin1Char('"'));
  // A send that did not end cleanly is settled now that the shop answers.
  SettleUnfinishedOrders();
  close();
}
