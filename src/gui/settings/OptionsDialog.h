#pragma once
// The settings dialog: the stored organisation code and name, the picture and sums
// switches of the price list, and its column widths; OK writes them back into
// settings.ini after a confirmation; "Перерегистрация" starts a new sign-in.
#include "gui/common/ChildWindow.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class OptionsDialog : public ChildWindow {
  Q_OBJECT
 public:
  explicit OptionsDialog(QWidget* parent = nullptr);

  // A window of its own beside the main window, not inside its MDI area.
  bool isMdiChild() const override { return false; }

  // The organisation code that shows "Выводить суммы".
  static QString serviceCode();

  void loadContents() override;
  void saveAndClose();
  void reregister();

 private:
  // Controls, named as the dialog's designer named them.
  QGroupBox* Frame1;
  QLineEdit* Text1;
  QLabel* Label1;
  QLabel* Label2;
  QLineEdit* Text2;
  QGroupBox* Frame2;
  QCheckBox* Check1;
  QCheckBox* Check2;
  QCheckBox* Check3;
  QGroupBox* Frame3;
  QLabel* Label3;
  QLineEdit* Text3;
  QLabel* Label4;
  QLineEdit* Text4;
  QLabel* Label5;
  QLineEdit* Text5;
  QLabel* Label6;
  QLineEdit* Text6;
  QLabel* Label7;
  QLineEdit* Text7;
  QPushButton* Command1;
  QPushButton* cmdOK;
};
