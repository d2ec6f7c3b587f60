// TODO(stub): stand-ins for the GUI toolkit's theme, font and interface
// brightness, which the application object and the settings file use. The
// GUI toolkit defines them once it exists; these then go.

#include "KSN_Application.h"

float QORglutWigits_InterfaceBrightness = 1.0f;

// TODO(stub): the GUI toolkit's blue colour theme.
void QORglutWigits_SetThemeToBlue() {}

// TODO(stub): the GUI toolkit's Arial font.
void QORglutWigits_SetFontToArial() {}
