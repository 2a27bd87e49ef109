#pragma once
// What a window waiting for slow work and the thread doing that work share: the
// user's request to stop, and whether the work may still be left behind at once.
// Work that writes (an order being sent) marks the point from which it must run
// to a known end: a cancel after that point only asks it to stop at its next safe
// step, and the window waits for the outcome.
#include <mutex>

class TaskControl {
 public:
  // For the work: true once the user asked to stop.
  bool cancelled() const {
    std::lock_guard<std::mutex> lock(m_);
    return cancelled_;
  }
  // For the work, before its first change that must be finished or undone:
  // false (and nothing changes) when the user has already cancelled.
  bool enterUninterruptible() {
    std::lock_guard<std::mutex> lock(m_);
    if (cancelled_) return false;
    uninterruptible_ = true;
    return true;
  }
  // For the window: asks the work to stop. True when the window may stop waiting
  // at once (the work has changed nothing and will not); false when it must wait
  // for the work's own end.
  bool cancel() {
    std::lock_guard<std::mutex> lock(m_);
    cancelled_ = true;
    return !uninterruptible_;
  }

 private:
  mutable std::mutex m_;
  bool cancelled_ = false;
  bool uninterruptible_ = false;
};
