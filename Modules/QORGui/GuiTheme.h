// The interface's theme colours and brightness.
//
// Plain process-wide values, set once at start-up (QORglutWigits_SetThemeToBlue,
// then QORglutWigits_SetFontToArial). Nodes copy their four node colours at
// construction, so a theme set after nodes exist affects only nodes made
// later. The renderer's background and the project's default settings read
// some of them too. Colours are red, green, blue in 0..1.
#pragma once

extern float QORglutWigits_DefaultBackgroundColor[3];
extern float QORglutWigits_DefaultBackgroundColorB[3];
extern float QORglutWigits_DefaultBackgroundColorC[3];
extern float QORglutWigits_DefaultTextColor[3];
extern float QORglutWigits_DefaultTextColorOnLightBackground[3];
extern float QORglutWigits_DefaultLightBackgroundColor[3];
extern float QORglutWigits_DefaultButtonColor[3];
extern float QORglutWigits_TitleBarColorA[3];
extern float QORglutWigits_TitleBarColorB[3];
extern float QORglutWigits_GaugeColorMin[3];
extern float QORglutWigits_GaugeColorMax[3];
extern float QORglutWigits_DefaultMenuTextColor[3];
extern float QORglutWigits_DefaultDisabledTextColor[3];
extern float QORglutWigits_DefaultBevelLightColor[3];
extern float QORglutWigits_DefaultBevelDarkColor[3];

// The alternative colouring of title and menu bars; the blue theme clears it.
extern bool QORglut_FireTheme;
// The user's brightness setting, 0..1 (settings key "InterfaceBrightness"):
// every interface colour is scaled by 0.75 + 0.25 x brightness.
extern float QORglutWigits_InterfaceBrightness;
// The text edit fields show when they have none.
extern char QORglutWigits_DummyString[1];
// Sub-pixel offset of every node transform and of the font's texture coordinates.
extern float PIXEL_OFFSET_X, PIXEL_OFFSET_Y;

void QORglutWigits_SetThemeToBlue();
