// Drop-down box drawing: the arrow button's downward triangle.
#include "GuiDropDown.h"

void TGui_DropDownBoxButton::Draw()
{
    TGui_Button::Draw();
    DrawUpDownTriangle(0, 0, Width, Height, false, 2 * BorderWidth);
}
