// The system and window-input command handlers' shared pieces.
#pragma once

#include "QORTimer.h"

#include <string>

// The application's working time: runs while the user works, continued by
// every handled input.
extern TQORTimer KSN_WorkingTimer;

// The neighbouring launcher application in the main folder.
std::string KSN_LauncherPath();
