// Which application viewports are on screen, as the polygon mesh's
// SetActiveUVWs needs to know when it frees per-viewport texture coordinates.
//
// The viewports belong to the application shell, which sits above geometry;
// it registers its answer here at start-up. Until one is registered, no
// viewport counts as shown, so only the active viewport's array is kept.
#pragma once

constexpr int KSN_VIEWPORT_COUNT = 4;

// viewport: 0..3. True while that viewport is shown in the current layout.
using TKSN_ViewportShownFunc = bool (*)(int viewport);
void KSN_SetViewportShownQuery(TKSN_ViewportShownFunc query);
bool KSN_IsViewportShown(int viewport);
