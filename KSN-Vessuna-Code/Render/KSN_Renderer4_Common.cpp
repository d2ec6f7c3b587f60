#include <algorithm>

#include "KSN_Application.h"
#include "KSN_Layer.h"
#include "KSN_MapLayer.h"
#include "KSN_Renderer4_Internal.h"
#include "KSN_Viewport.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"

TNodePolygons KSN_NodePolygons(TKSN_MeshRoot* m, TQOROctreeNode<int>* node)
{
    TNodePolygons p;
    if (!m || !node || !m->visiblePolygons) return p;
    p.List = m->visiblePolygons;
    p.Begin = std::max(node->PolygonBegin, 0);
    p.End = std::min(node->PolygonEnd, m->visiblePolygonCount);
    if (p.End < p.Begin) p.End = p.Begin;
    return p;
}

bool KSN_PolygonIsValid(TKSN_MeshRoot* m, int polygon, int corners)
{
    if (polygon < 0 || polygon >= m->polygonCount) return false;
    for (int k = 0; k < corners; ++k) {
        const int v = m->vGetPolyV(polygon, k);
        if (v < 0 || v >= m->vertexCount) return false;
    }
    return true;
}

float KSN_MirrorFactor(TKSN_MeshRoot* m, bool symmetric, int polygon)
{
    if (!symmetric || !m->activePolygonPartnerA) return 1.0f;
    const int mirror = m->activePolygonPartnerA[polygon];
    return mirror >= 0 && mirror != polygon ? 0.9f : 1.0f;
}

int KSN_RendererSelectionMode() { return App ? int(App->selectionType) : 0; }

namespace {

TQORMaterialMapSource* ChannelMap(TKSN_MeshRoot* m, int polygon, const char* channelName)
{
    if (polygon < 0 || polygon >= m->polygonCount) return nullptr;
    TQORMaterial* material = m->GetMaterial(m->vGetPolyM(polygon));
    if (!material) return nullptr;
    TQORMaterialChannel* channel = material->GetChannelFromName(channelName);
    if (!channel || channel->GetMapID() == 0) return nullptr;
    auto* binding = dynamic_cast<TQORMaterialMap*>(__GetThingyFromID(channel->GetMapID()));
    return binding ? binding->GetMapSource() : nullptr;
}

} // namespace

TQORMaterialMapSource* KSN_ChannelMapOfPolygon(TKSN_Viewport* viewport, TKSN_MeshRoot* m, int polygon)
{
    // The root answers when it knows better (it cannot see the viewport's class).
    if (TQORMaterialMapSource* s = m->GetCurrentChannelMapFromPolygon(viewport, polygon)) return s;
    return ChannelMap(m, polygon, viewport ? viewport->materialChannelName : "Color");
}

TQORMaterialMapSource* KSN_ColorMapOfPolygon(TKSN_Viewport* viewport, TKSN_MeshRoot* m, int polygon)
{
    if (TQORMaterialMapSource* s = m->GetColorMapFromPolygon(viewport, polygon)) return s;
    return ChannelMap(m, polygon, "Color");
}

TKSN_MapLayer* KSN_ResolveCurrentMapLayer()
{
    auto getGroup = QORMaterialMapSource_ProjectHooks.GetMapLayerGroup;
    TKSN_LayerGroup* group = getGroup ? getGroup() : nullptr;
    if (!group) return nullptr;
    if (group->GetCurrentLayerID() != 0)
        if (auto* layer = dynamic_cast<TKSN_MapLayer*>(__GetThingyFromID(group->GetCurrentLayerID()))) return layer;
    if (group->items && group->items->Count() > 0)
        if (auto* first = dynamic_cast<TKSN_MapLayer*>((*group->items)[0])) {
            group->SetCurrentLayer(first);
            return first;
        }
    return nullptr;
}
