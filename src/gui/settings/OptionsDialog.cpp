#include "gui/settings/OptionsDialog.h"

#include "base/Numbers.h"
#include "base/Settings.h"
#include "gui/common/MessageBoxes.h"
#include "gui/common/Twips.h"
#include "gui/settings/AuthorizationDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const QString kCaption = QStringLiteral("Настройки");

template <class W>
W* named(W* w, const char* name) {
  w->setObjectName(QLatin1String(name));
  return w;
}

QString switchText(const QCheckBox* box) { return box->isChecked() ? QStringLiteral("1") : QStringLiteral("0"); }
QString widthText(const QLineEdit* box) { return num::locale(num::leadingValue(box->text())); }

}  // namespace

QString OptionsDialog::serviceCode() { return QStringLiteral("-7"); }

OptionsDialog::OptionsDialog(QWidget* parent) : ChildWindow(kCaption, parent) {
  setObjectName(QStringLiteral("frmOptions"));

  cmdOK = named(new QPushButton(QStringLiteral("OK"), this), "cmdOK");

  Frame1 = named(new QGroupBox(QStringLiteral("Авторизация"), this), "Frame1");
  Text1 = named(new QLineEdit(Frame1), "Text1");
  Label1 = named(new QLabel(QStringLiteral("Код организации.Например: 123"), Frame1), "Label1");
  Label2 = named(new QLabel(QStringLiteral("Наименование организации.Например: ООО \"Наша организация\""), Frame1),
                 "Label2");
  Text2 = named(new QLineEdit(Frame1), "Text2");

  Frame2 = named(new QGroupBox(QStringLiteral("Дополнительные настройки"), this), "Frame2");
  Check1 = named(new QCheckBox(QStringLiteral("Изображения построчно"), Frame2), "Check1");
  Check2 = named(new QCheckBox(QStringLiteral("Изображение"), Frame2), "Check2");
  Check3 = named(new QCheckBox(QStringLiteral("Выводить суммы"), Frame2), "Check3");

  Frame3 = named(new QGroupBox(QStringLiteral("Размеры колонок"), this), "Frame3");
  Label3 = named(new QLabel(QStringLiteral("НАИМЕНОВАНИЕ"), Frame3), "Label3");
  Text3 = named(new QLineEdit(Frame3), "Text3");
  Label4 = named(new QLabel(QStringLiteral("ОСТАТОК"), Frame3), "Label4");
  Text4 = named(new QLineEdit(Frame3), "Text4");
  Label5 = named(new QLabel(QStringLiteral("ЦЕНА"), Frame3), "Label5");
  Text5 = named(new QLineEdit(Frame3), "Text5");
  Label6 = named(new QLabel(QStringLiteral("ЗАКАЗ"), Frame3), "Label6");
  Text6 = named(new QLineEdit(Frame3), "Text6");
  Label7 = named(new QLabel(QStringLiteral("СУММА"), Frame3), "Label7");
  Text7 = named(new QLineEdit(Frame3), "Text7");

  Command1 = named(new QPushButton(QStringLiteral("Перерегистрация"), this), "Command1");

  twips::place(Frame1, 120, 120, 5895, 1455);
  twips::place(Text1, 120, 240, 1095, 375);
  twips::place(Label1, 1320, 240, 3615, 375);
  twips::place(Label2, 120, 600, 5415, 375);
  twips::place(Text2, 120, 960, 5415, 375);
  twips::place(Frame2, 120, 1680, 5895, 1335);
  twips::place(Check1, 240, 240, 5175, 375);
  twips::place(Check2, 240, 600, 5295, 375);
  twips::place(Check3, 240, 960, 3495, 255);
  twips::place(Frame3, 120, 3120, 5895, 1455);
  twips::place(Label3, 240, 240, 1455, 255);
  twips::place(Text3, 1800, 240, 975, 285);
  twips::place(Label4, 240, 600, 1455, 255);
  twips::place(Text4, 1800, 600, 975, 285);
  twips::place(Label5, 240, 960, 1455, 255);
  twips::place(Text5, 1800, 960, 975, 285);
  twips::place(Label6, 3600, 240, 615, 375);
  twips::place(Text6, 4320, 240, 975, 285);
  twips::place(Label7, 3480, 600, 615, 255);
  twips::place(Text7, 4320, 600, 975, 285);
  twips::place(Command1, 240, 4680, 1815, 375);
  twips::place(cmdOK, 4920, 4680, 1095, 375);
  resize(twips::toPxX(6150), twips::toPxY(5205));

  // The code and the name are only shown: a new sign-in changes them.
  Text1->setEnabled(false);
  Text2->setEnabled(false);

  // OK comes first in the tab order, then the controls as laid out.
  const QList<QWidget*> order{cmdOK, Text1, Text2, Check1, Check2, Check3, Text3, Text4, Text5, Text6, Text7, Command1};
  for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);

  connect(cmdOK, &QPushButton::clicked, this, &OptionsDialog::saveAndClose);
  connect(Command1, &QPushButton::clicked, this, &OptionsDialog::reregister);
}

void OptionsDialog::loadContents() {
  using namespace settings;
  Text1->setText(text(OrganisationId));
  Text2->setText(text(OrganisationName));
  Check1->setChecked(isOn(ImageToString));
  Check2->setChecked(isOn(ImageThumb));
  Check3->setChecked(isOn(VisibleSumm));
  Check3->setVisible(Text1->text() == serviceCode());
  Text3->setText(text(NameWidth));
  Text4->setText(text(RemainderWidth));
  Text5->setText(text(PriceWidth));
  Text6->setText(text(OrderWidth));
  Text7->setText(text(SummWidth));
  cmdOK->setFocus();
}

void OptionsDialog::saveAndClose() {
  using namespace settings;
  if (!msg::question(QStringLiteral("Вы уверены что хотите изменить настройки ?"))) return;
  const std::pair<Key, QString> values[] = {
      {OrganisationId, Text1->text()},     {OrganisationName, QLatin1Char('"') + Text2->text() + QLatin1Char('"')},
      {ImageToString, switchText(Check1)}, {ImageThumb, switchText(Check2)},
      {VisibleSumm, switchText(Check3)},   {NameWidth, widthText(Text3)},
      {RemainderWidth, widthText(Text4)},  {PriceWidth, widthText(Text5)},
      {OrderWidth, widthText(Text6)},      {SummWidth, widthText(Text7)},
  };
  for (const auto& [key, value] : values) {
    QString error;
    if (!write(key, value, &error)) {
      // Nothing is lost: the dialog stays open with what the user typed.
      msg::critical(QStringLiteral("Не удалось сохранить настройки в файл %1:\r%2").arg(path(), error),
                    QStringLiteral("Предупреждение"));
      return;
    }
  }
  close();
}

void OptionsDialog::reregister() {
  // Over the main window: this dialog closes now.
  ShowAuthorizationDialog(parentWidget(), false);
  close();
}
