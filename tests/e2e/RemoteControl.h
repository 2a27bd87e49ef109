#pragma once
// Remote control for the end-to-end test of the real executable.
//
// Inert unless the environment variable VARNOKEL_TEST_DRIVER is set to 1: then
// the program reads one JSON command per line on its standard input and answers
// each with one line "@@driver {json}" on its standard output. Commands either
// read what the windows show (texts, grid cells, open windows and
// message boxes) or act as the user would: mouse clicks and key strokes are
// delivered as QMouseEvent/QKeyEvent through the application's normal event
// delivery to the named widget, so every handler, filter and modal loop runs as
// with a person at the keyboard.
//
// Widgets are named by objectName paths: "frm_price/MSFlexGrid1" finds the
// widget PriceWindow (a visible one first) and below it MSFlexGrid1.

// Starts the driver when the variable asks for it; call once after QApplication
// exists and before anything may show a window.
void StartTestDriverIfAsked();
