#include "shell/frm_avtor.h"

#include "shell/Twips.h"
#include "shell/conn_rs_comm.h"
#include "shell/ini.h"
#include "shell/messages.h"
#include "shell/numbers.h"
#include "shell/public_var.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

frm_avtor::frm_avtor(QWidget* parent) : QDialog(parent) {
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
  connect(Command1, &QPushButton::clicked, this, &frm_avtor::Command1_Click);
}

bool frm_avtor::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Text1 && event->type() == QEvent::KeyPress) {
    auto* ke = static_cast<QKeyEvent*>(event);
    if (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter) {
      Command1_Click();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void frm_avtor::Command1_Click() {
  CurrentSql.clear();
  const QString code = Text2->text();
  if (code.isEmpty()) {
    msg::information(QStringLiteral("Введите код организации"));
    return;
  }
  try {
    ShopConnection = OpenShopConnection();
    // The code is compared as text, so "57'" or "57abc" finds nobody.
    CurrentSql = QStringLiteral("select user_id , f_name from uop5b_jshopping_users where CAST(user_id AS CHAR) = ?");
    ShopRecordset = OpenShopRecordset(ShopConnection.get(), CurrentSql, 2, {code.trimmed()});
    Recordset& rs = Require(ShopRecordset);
    if (rs.eof() || rs.bof()) {
      msg::information(QStringLiteral("Неправильно указан код организации"));
      CloseRecordset(ShopRecordset);
      CloseConnection(ShopConnection);
      return;
    }
    WriteSetting(SettingsPath, QStringLiteral("authentication"), QStringLiteral("id"),
                 num::invariant(rs.value(0).toDouble()));
    WriteSetting(SettingsPath, QStringLiteral("authentication"), QStringLiteral("login"),
                 QLatin1Char('"') + rs.value(1).toString() + QLatin1Char('"'));
    CloseRecordset(ShopRecordset);
    CloseConnection(ShopConnection);
    close();
  } catch (const DbError& e) {
    LastErrorText = e.description;
    LastErrorNumber = e.number;
    CloseRecordset(ShopRecordset);
    CloseConnection(ShopConnection);
    msg::requestErrorWithNumber(LastErrorText, LastErrorNumber);
  }
}
