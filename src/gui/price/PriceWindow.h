#pragma once
// The price list window: the price date, the category tree, the search box, the
// product grid with its two layouts, the preview box and the order total; the
// quantities typed on the grid and the sending of the order.
#include "data/PriceDatabase.h"
#include "gui/common/ChildWindow.h"

#include <QSize>

class FlexGrid;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

class PriceWindow : public ChildWindow {
  Q_OBJECT
 public:
  explicit PriceWindow(QWidget* parent = nullptr);
  ~PriceWindow() override;

  void loadContents() override;
  // Reads the settings, the categories and the products and shows the list.
  void loadPriceList();
  // The user picked a category in the tree.
  void showSelectedCategory();
  // "Изображение": the preview box beside the grid.
  void togglePreview();
  // "Изображения построчно": reloads the list in the other layout.
  void toggleThumbnails();
  // "Весь прайс": the whole list, no category.
  void showWholeList();
  // A key typed on the grid: digits and Backspace change the row's quantity,
  // anything else starts a search.
  void typeOnGrid(int keyAscii);
  // "Заказ/Прайс": switches between the whole list and the ordered products.
  void switchOrderView();
  // "Отправить заказ".
  void sendOrder();
  // Shows the total of the stored sums beside the grid.
  void showOrderTotal();
  // The search box's key handlers.
  void searchKeyPressed(int keyAscii);
  void searchKeyDown(int keyCode);

  // True in the whole price view, false in the order view.
  bool showsWholePrice() const { return showWholePrice_; }
  bool thumbnailsOn() const;
  // Pixel size of the thumbnail box's drawing area and the thumbnail row height.
  QSize thumbnailSize() const;
  int thumbnailRowTwips() const;
  PriceDatabase& database() { return database_; }

 protected:
  void unload() override;
  void layoutControls() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Lists and search.
  PriceCatalogue* freshCatalogue(QString* error);
  // The products as last read (shared with the lists shown from them).
  PriceCatalogue& catalogue() { return database_.loadedCatalogue(); }
  bool loadCategories(QString* error);
  void reselectCategory(const QString& key);
  void setPriceDate();
  void showRows(std::vector<CatalogueRow> rows);
  void showResult(const ProductFilter& filter, bool emptyLabelWhenNone);
  ProductFilter viewFilter(bool withImages) const;
  bool searchProducts(const QString& category, bool withThumbnails);
  // Rows whose picture turned out to hold no bytes get no picture and the
  // default height.
  void dropEmptyPictures(const std::vector<qint64>& imageRowids);

  // Pictures.
  int selectedProductRow() const;
  void showPreview();
  void openBigPictureFromPreview();
  void openBigPictureFromGrid();
  bool showBigPicture(int row);

  // Controls, named as the window's designer named them (their objectName).
  QLabel* Label3;
  QCheckBox* Check2;
  QPushButton* Command1;
  QPushButton* Command4;
  QLabel* Label1;
  QLineEdit* Text1;
  QCheckBox* Check1;
  QPushButton* Command3;
  QLineEdit* Text2;
  FlexGrid* MSFlexGrid1;
  QLabel* Picture1;
  QTreeWidget* TreeView1;
  QLabel* Picture2;
  QLabel* Label2;

  PriceDatabase database_;
  bool showWholePrice_ = true;
  bool restoringTree_ = false;  // the tree's selection is being set by the window
  bool treePressed_ = false;    // a mouse button is down on the tree
};
