#pragma once
// The big picture window: one picture box showing a product's picture, the
// window sized around it. Opened modally from the price list window.
#include <QDialog>

class QLabel;

class BigPictureWindow : public QDialog {
  Q_OBJECT
 public:
  explicit BigPictureWindow(QWidget* parent = nullptr);

  // The one window, created on first use as a window of the given owner (the price
  // list window) and kept while the owner lives.
  static BigPictureWindow* instance(QWidget* owner);

  // Loads the product's picture and sizes the window around it; does not show the
  // window. The caption becomes the article. A picture that cannot be read leaves
  // the window as it stands (not refitted); no message is shown.
  void showPicture(const QString& id, const QString& article);

  QLabel* Picture1;

 protected:
  void done(int result) override;

 private:
  // The box and the window as laid out: box at 120,120 5055x3855 twips with its
  // sunken border, client area 5325x4155 twips.
  void restoreLayout();
};
