#pragma once
// Shop work off the window's thread. The caller waits in an event loop of its
// own: the windows keep painting but take no input (nothing typed meanwhile
// reaches them), a wait cursor shows at once and, after a moment, a small dialog
// with the busy text and "Отмена". A shop connection is made, used and closed on
// the work's thread only.
#include "base/TaskControl.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace shoptask {
// Runs work on a thread of its own and waits for it; false when the user
// cancelled and the work could be left behind (it then ends on its own).
bool run(const QString& busyText, const std::shared_ptr<TaskControl>& control, std::function<void()> work);
// The busy dialog's object name and its cancel button's ("Отмена").
inline constexpr char kDialogName[] = "ShopTaskDialog";
inline constexpr char kCancelName[] = "ShopTaskCancel";
}  // namespace shoptask

// Runs work(control) off the window's thread and returns its result; nothing when
// the user cancelled before the work reached a step it must finish. Work that
// must end in a known state calls control.enterUninterruptible() first; a cancel
// after that only asks it to stop, and its result is still returned.
template <class R>
std::optional<R> RunShopTask(const QString& busyText, std::function<R(TaskControl&)> work) {
  auto control = std::make_shared<TaskControl>();
  auto result = std::make_shared<std::optional<R>>();
  auto body = [control, result, work = std::move(work)] { result->emplace(work(*control)); };
  if (!shoptask::run(busyText, control, std::move(body)) || !result->has_value()) return std::nullopt;
  return std::move(*result);
}

// Waits up to ms for shop work that the user left behind; true when none runs.
bool WaitForShopTasks(int ms);
