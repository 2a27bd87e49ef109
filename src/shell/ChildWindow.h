#pragma once
// A window opened from the main window's menu. Its caption links it to its
// window-bar button; closing it removes that button.
#include <QWidget>

class frm_main;

class ChildWindow : public QWidget {
  Q_OBJECT
public:
  ChildWindow(frm_main* mainWindow, const QString& caption, QWidget* parent = nullptr);
  frm_main* mainWindow() const { return main_; }
  // Shown inside the main window's MDI area (true) or as a window of its own.
  virtual bool isMdiChild() const { return true; }
  // Called once by the main window after the window has been created and placed.
  virtual void Form_Load() {}

protected:
  // The window's own closing steps; the default removes its window-bar button.
  virtual void Form_Unload();
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  virtual void Form_Resize() {}

private:
  frm_main* main_;
  bool unloaded_ = false;
};
