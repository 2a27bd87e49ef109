#include "base/ProgramEnd.h"

#include <cstdio>
#include <cstdlib>

namespace {
std::function<void()>& handlerSlot() {
  static std::function<void()> h;
  return h;
}
}  // namespace

void EndProgram() {
  if (handlerSlot()) {
    handlerSlot()();
    return;
  }
  std::fflush(nullptr);
  std::_Exit(0);
}

void SetEndProgramHandler(std::function<void()> handler) { handlerSlot() = std::move(handler); }
