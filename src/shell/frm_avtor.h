#pragma once
// The authorization window: checks the organisation code against the shop's
// users and stores the code and the organisation name in settings.ini.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class frm_avtor : public QDialog {
  Q_OBJECT
public:
  explicit frm_avtor(QWidget* parent = nullptr);
  void Command1_Click();

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  QLabel* Label1;
  QLineEdit* Text2;
  QLabel* Label2;
  QLineEdit* Text1;
  QPushButton* Command1;
};
