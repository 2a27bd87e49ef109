#include "update/Updates.h"

void RunPriceDownload() {}
void RunProgramDownload() {}
bool CompleteProgramUpdate() { return false; }
