#pragma once
// Remote control for the end-to-end tests of the real executable. With
// VARNOKEL_TEST_DRIVER=1 the program reads one JSON command a line on its standard
// input and answers each with one line "@@driver {json}". Commands read what the
// windows show or act as the user would: mouse and key events go through the
// application's normal delivery, so every handler, filter and modal loop runs.
// Widgets are named by objectName paths: "frm_price/MSFlexGrid1".

// Starts the driver when the variable asks for it; call once after QApplication
// exists and before anything may show a window.
void StartTestDriverIfAsked();
