// Helpers the renderer's node views share; nothing outside Render includes it.
#pragma once

#include <cstdint>

#include "KSN_MeshRoot.h"
#include "QOROctree.h"

class TKSN_MapLayer;
class TKSN_Viewport;
class TQORMaterialMapSource;

// The node's polygons: entries PolygonBegin..PolygonEnd of the root's
// node-ordered polygon list, kept within the list and the polygon count.
struct TNodePolygons {
    const int32_t* List = nullptr;
    int Begin = 0, End = 0;
    int32_t At(int k) const { return List[k]; }
};
TNodePolygons KSN_NodePolygons(TKSN_MeshRoot* m, TQOROctreeNode<int>* node);

// True when the polygon's corners all name vertices of the root.
bool KSN_PolygonIsValid(TKSN_MeshRoot* m, int polygon, int corners);

// 0.9 for a polygon whose mirror is another polygon while symmetry is used, else 1.
float KSN_MirrorFactor(TKSN_MeshRoot* m, bool symmetric, int polygon);

// The application's selection mode: 0 vertices, 1 polygons.
int KSN_RendererSelectionMode();

// The map source of the viewport's shown channel of the polygon's material.
TQORMaterialMapSource* KSN_ChannelMapOfPolygon(TKSN_Viewport* viewport, TKSN_MeshRoot* m, int polygon);
// The Color channel's map source of the polygon's material.
TQORMaterialMapSource* KSN_ColorMapOfPolygon(TKSN_Viewport* viewport, TKSN_MeshRoot* m, int polygon);

// The current map layer of the project's map-layer tree; when the tree's
// current layer is unset or gone and its first item is a map layer, that item
// becomes current.
TKSN_MapLayer* KSN_ResolveCurrentMapLayer();
