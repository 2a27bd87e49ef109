#pragma once
// Program-wide variables shared by the windows and modules.
#include <QString>
#include <cstdint>

extern QString SettingsPath;      // full path of settings.ini
extern QString CurrentSql;        // text of the statement being opened
extern QString LastErrorText;     // description of the last caught error
extern long LastErrorNumber;      // number of the last caught error
extern QString OrganisationId;    // [authentication] id as last read
extern QString OrganisationName;  // [authentication] login as last read
extern QString ImageToString;     // [settings] imagetostring as last read
extern QString ImageThumb;        // [settings] imagethumb as last read
extern bool ShowWholePrice;       // true: whole price view; false: order view
extern int16_t LoopCounter;       // loop index shared by the window-bar scans
extern int32_t TwipsPerPixelX;    // screen twips per pixel
extern int32_t TwipsPerPixelY;
