// Map commands on real maps with undo, the new-map window, the brush
// commands and the option dialogs.
#include "KSN_FileMapsTestSupport.h"
