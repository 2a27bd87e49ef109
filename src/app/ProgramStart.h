#pragma once
// The program's run: start-up window order, command line, main loop.
#include <functional>

// afterApplicationMade runs once the application object exists, before any
// window is made (the end-to-end test build starts its remote control there).
int RunProgram(int argc, char** argv, const std::function<void()>& afterApplicationMade = {});

// The windows are laid out in twips for the classic 8-point dialog font; the
// application font is chosen to take no more room than that font did, so that
// captions fit their controls. Call after the application object exists.
void ApplyProgramFont();
