// The shipped program plus the remote control, which the shipped one does not contain.
#include "app/ProgramStart.h"
#include "e2e/RemoteControl.h"

int main(int argc, char** argv) {
  return RunProgram(argc, argv, [] { StartTestDriverIfAsked(); });
}
