// Every widget of the toolkit in one include; each family has its own header.
#pragma once

#include "GuiNode.h"

#include "GuiButton.h"
#include "GuiMenu.h"
#include "GuiWindow.h"

// Edit fields, gauges, sliders, scroll bars, drop-down boxes and collapsible
// panels live in their own headers; they build on the classes above.
#include "GuiEditField.h"
#include "GuiGauge.h"
#include "GuiDropDown.h"
#include "GuiPanel.h"
