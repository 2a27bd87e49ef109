#pragma once
// One program per program folder: two programs on the same folder would store
// quantities over each other and download under each other. The first start
// holds a lock file in the folder and listens on a local socket named after
// the folder; a later start asks it to come forward and ends.
#include <QLockFile>
#include <QObject>
#include <functional>
#include <memory>

class QLocalServer;

class SingleInstance : public QObject {
  Q_OBJECT
 public:
  explicit SingleInstance(const QString& folder);
  ~SingleInstance() override;

  // True when this program may work on the folder. False when another one
  // already does: it has been asked to come forward, or, when it cannot be
  // reached, the user has been told that it is running.
  bool claim();
  // Called when a later start asks this program to come forward.
  void onComeForward(std::function<void()> handler) { comeForward_ = std::move(handler); }

 private:
  bool askRunningToComeForward();

  QString folder_;
  QString serverName_;
  QLockFile lock_;
  QLocalServer* server_ = nullptr;  // owned as a child
  std::function<void()> comeForward_;
};
