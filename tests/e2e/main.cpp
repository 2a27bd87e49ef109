// The program as the end-to-end test drives it: the shipped program plus the
// remote control, which the shipped executable does not contain.
#include "app/ProgramStart.h"
#include "e2e/RemoteControl.h"

int main(int argc, char** argv) {
  return RunProgram(argc, argv, [] { StartTestDriverIfAsked(); });
}
