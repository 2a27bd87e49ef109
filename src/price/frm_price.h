#pragma once
// The price list window: the price date, the category tree, the search box, the
// product grid with its two layouts, the preview box and the order total.
#include "price/PriceCatalogue.h"
#include "shell/ChildWindow.h"

#include <QSize>

class FlexGrid;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class Connection;

class frm_price : public ChildWindow {
  Q_OBJECT
public:
  explicit frm_price(frm_main* mainWindow);
  ~frm_price() override;

  void Form_Load() override;
  void LoadPriceList();
  void TreeView1_NodeClick();
  void Check1_Click();
  void Check2_Click();
  void Command3_Click();
  // Ordering
  void MSFlexGrid1_KeyPress(int keyAscii);
  void Command1_Click();
  void Command4_Click();
  void ShowOrderTotal(QLabel* label);
  // Runs a statement that returns no rows on the price database; false on failure
  // (the failure is kept in LastErrorText, nothing is shown).
  bool ExecutePriceStatement(const QString& sql, const QVariantList& values = {});
  // The search box's key handlers.
  void Text1_KeyPress(int keyAscii);
  void Text1_KeyDown(int keyCode);

  // Controls, named as the window's designer named them.
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

  bool thumbnailsOn() const;
  // The catalogue, loaded (or reloaded when the file changed) on a connection of
  // its own; nullptr when the price database cannot be read.
  PriceCatalogue* freshCatalogue();
  PriceCatalogue& catalogue() { return catalogue_; }
  // Pixel size of the thumbnail box's drawing area and the thumbnail row height.
  QSize thumbnailSize() const;
  int thumbnailRowTwips() const;
  // Fills the grid with catalogue rows in the current layout (header reset first).
  void showRows(const std::vector<CatalogueRow>& rows);
  // Shows the rows of a filter with the row counter; no rows leave the header
  // only (and an empty counter when asked).
  void showResult(const ProductFilter& filter, bool emptyLabelWhenNone);
  // The products of the current view, with or without their pictures.
  ProductFilter viewFilter(bool withImages) const;

protected:
  void Form_Unload() override;
  void Form_Resize() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void loadCatalogue(Connection* conn);
  void loadCategories(Connection* conn);
  void setPriceDate();
  // Rows whose picture turned out to hold no bytes get no picture and the
  // default height.
  void dropEmptyPictures(const std::vector<qint64>& imageRowids);
  // The error step of the list handlers: keep the description, close the price
  // slots and, for a reported failure, show the message.
  void listFailed(const std::exception& e, bool report);
  int quantityColumn() const;

  PriceCatalogue catalogue_;
};
