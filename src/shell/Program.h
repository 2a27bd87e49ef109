#pragma once
// The program's run: start-up window order, command line, main loop.
int RunProgram(int argc, char** argv);
