// Pen pressure, shaped into the pressure that brushes multiply into their settings.
//
// The window layer stores the raw pressure (0..1) of every left-button press
// and drag in QORTabletPressure_OSX_Cocoa; a platform without pen pressure
// leaves it at 1.0. A raw value of (almost) zero counts as full pressure so
// that a mouse paints at full strength. The settings "TabletSensitivity" and
// "TabletCutoff" belong to the application, which registers where they are
// read from; until then their defaults 0.5 and 0.01 apply.
#pragma once

// Raw pressure of the last left-button press or drag, 0..1; 1.0 at start.
extern float QORTabletPressure_OSX_Cocoa;

// Where QORTablet_GetPressure reads "TabletSensitivity" and "TabletCutoff";
// null restores the defaults.
using QORTabletSettingsFunc = void (*)(float& sensitivity, float& cutoff);
void QORTablet_SetSettingsSource(QORTabletSettingsFunc source);

bool QORTablet_IsTabletInUse();
// The shaped pressure: ((max(p - cutoff, 0) / (1 - cutoff)) ^ e) applied four times, e = 2 * sensitivity.
float QORTablet_GetPressure();
