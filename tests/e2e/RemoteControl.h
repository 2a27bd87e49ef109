#pragma once
// Remote control for the end-to-end tests: with VARNOKEL_TEST_DRIVER=1 the program
// answers each JSON command line on its input with a line "@@driver {json}". Mouse
// and key events go through the normal delivery, so every handler and modal loop runs.

// Call once after QApplication exists and before anything may show a window.
void StartTestDriverIfAsked();
