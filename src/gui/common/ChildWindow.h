#pragma once
// A window opened from the main window's menu. Its caption links it to its
// window-bar button; closing it asks for that button's removal.
#include <QWidget>

class ChildWindow : public QWidget {
  Q_OBJECT
 public:
  explicit ChildWindow(const QString& caption, QWidget* parent = nullptr);
  // Shown inside the main window's MDI area (true) or as a window of its own.
  virtual bool isMdiChild() const { return true; }
  // Called once by the main window after the window has been created and placed.
  virtual void loadContents() {}

 signals:
  // The window-bar button with this caption is to go (the first one with it).
  void barButtonRemovalRequested(const QString& caption);

 protected:
  // The window's own closing steps; the default removes its window-bar button.
  virtual void unload();
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  virtual void layoutControls() {}

 private:
  bool unloaded_ = false;
};
