#pragma once
// The authorization window: checks the organisation code against the shop's
// users and stores the code and the organisation name in settings.ini.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class AuthorizationDialog : public QDialog {
  Q_OBJECT
 public:
  explicit AuthorizationDialog(QWidget* parent = nullptr);
  void confirmOrganisation();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend void ShowAuthorizationDialog(QWidget* owner, bool modal);
  // After a message: the code box has the keyboard, its text selected.
  void backToCode();

  QLabel* Label1;
  QLineEdit* Text2;
  QLabel* Label2;
  QLineEdit* Text1;
  QPushButton* Command1;
};

// Opens the authorization window over the owner's top-level window; a modal one
// returns when it has closed. While one is open, it is brought forward instead.
void ShowAuthorizationDialog(QWidget* owner, bool modal);
