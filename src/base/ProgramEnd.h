#pragma once
// Ends the program at once, without any window's closing steps (the update flows
// hand over to their script this way). Tests install a handler instead.
#include <functional>

void EndProgram();
void SetEndProgramHandler(std::function<void()> handler);
