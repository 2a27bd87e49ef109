#pragma once
// The command the update scripts run before they put a downloaded price database
// in place:  Varnokel --check-price-file FILE
// It opens no window and ends with 0 when FILE is a complete price database, 1
// (and the reason on standard error) when it is not, 2 when FILE is missing.

// -1 when the command line asks for no check (the program starts as usual);
// otherwise the check's exit code.
int RunCheckCommand(int argc, char** argv);
