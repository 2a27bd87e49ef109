#pragma once
// The program's run: start-up window order, command line, main loop.
int RunProgram(int argc, char** argv);

// The windows are laid out in twips for the classic 8-point dialog font; the
// application font is chosen to take no more room than that font did, so that
// captions fit their controls. Call after the application object exists.
void ApplyProgramFont();
