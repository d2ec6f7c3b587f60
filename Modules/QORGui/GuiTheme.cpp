#include "GuiTheme.h"

#include <cstring>

float QORglutWigits_DefaultBackgroundColor[3] = {0, 0, 0};
float QORglutWigits_DefaultBackgroundColorB[3] = {0, 0, 0};
float QORglutWigits_DefaultBackgroundColorC[3] = {0, 0, 0};
float QORglutWigits_DefaultTextColor[3] = {0.7f, 0.7f, 0.7f};
float QORglutWigits_DefaultTextColorOnLightBackground[3] = {0, 0, 0};
float QORglutWigits_DefaultLightBackgroundColor[3] = {0.6f, 0.6f, 0.6f};
float QORglutWigits_DefaultButtonColor[3] = {0.1f, 0.1f, 0.1f};
float QORglutWigits_TitleBarColorA[3] = {1, 1, 1};
float QORglutWigits_TitleBarColorB[3] = {0.68f, 0.68f, 1.0f};
float QORglutWigits_GaugeColorMin[3] = {1, 0, 0};
float QORglutWigits_GaugeColorMax[3] = {1, 1, 0};
float QORglutWigits_DefaultMenuTextColor[3] = {0, 0, 0};
float QORglutWigits_DefaultDisabledTextColor[3] = {0.7f, 0.7f, 0.7f};
float QORglutWigits_DefaultBevelLightColor[3] = {0.6f, 0.6f, 0.7f};
float QORglutWigits_DefaultBevelDarkColor[3] = {0.4f, 0.4f, 0.5f};

bool QORglut_FireTheme = true;
float QORglutWigits_InterfaceBrightness = 1.0f;
char QORglutWigits_DummyString[1] = {0};
float PIXEL_OFFSET_X = 0.0f, PIXEL_OFFSET_Y = 0.0f;

namespace {
void Set(float* c, float r, float g, float b)
{
    c[0] = r;
    c[1] = g;
    c[2] = b;
}
} // namespace

void QORglutWigits_SetThemeToBlue()
{
    Set(QORglutWigits_DefaultBackgroundColor, 0.98f, 0.96f, 1.0f);
    Set(QORglutWigits_DefaultBackgroundColorB, 0.735f, 0.72f, 1.0f);
    Set(QORglutWigits_DefaultBackgroundColorC, 0.637f, 0.624f, 1.0f);
    Set(QORglutWigits_DefaultTextColor, 0, 0, 0);
    Set(QORglutWigits_DefaultTextColorOnLightBackground, 0, 0, 0);
    Set(QORglutWigits_DefaultLightBackgroundColor, 0.882f, 0.864f, 0.9f);
    Set(QORglutWigits_DefaultButtonColor, 0.98f, 0.96f, 1.0f);
    Set(QORglutWigits_TitleBarColorA, 0.98f, 0.96f, 1.0f);
    Set(QORglutWigits_TitleBarColorB, 0.833f, 0.816f, 1.0f);
    Set(QORglutWigits_GaugeColorMin, 0.98f, 0.192f, 0.2f);
    Set(QORglutWigits_GaugeColorMax, 0.98f, 0.96f, 0.2f);
    QORglut_FireTheme = false;
}
