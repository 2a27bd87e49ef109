#include "shell/public_var.h"

QString SettingsPath;
QString CurrentSql;
QString LastErrorText;
long LastErrorNumber = 0;
QString OrganisationId;
QString OrganisationName;
QString ImageToString;
QString ImageThumb;
bool ShowWholePrice = true;
int16_t LoopCounter = 0;
int32_t TwipsPerPixelX = 15;
int32_t TwipsPerPixelY = 15;
