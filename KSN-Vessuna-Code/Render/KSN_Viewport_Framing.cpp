// The mesh walk of framing: which vertices count, in world space.
#include "KSN_Viewport_Internal.h"

#include <cstring>

#include "KSN_Mesh.h"
#include "KSN_Object.h"

namespace {

void AddPoint(const TKSN_Object* object, const float* p, std::vector<float>& points)
{
    const float* m = object->ObjectToWorld;
    points.push_back(m[0] * p[0] + m[4] * p[1] + m[8] * p[2] + m[12]);
    points.push_back(m[1] * p[0] + m[5] * p[1] + m[9] * p[2] + m[13]);
    points.push_back(m[2] * p[0] + m[6] * p[1] + m[10] * p[2] + m[14]);
}

bool IsHidden(const TKSN_Mesh* mesh, int v) { return mesh->VertexInfo && (mesh->VertexInfo[v].Flags & 0x1) != 0; }

void AddShownVertices(TKSN_Object* object, std::vector<float>& points)
{
    TKSN_Mesh* mesh = object->Mesh.get();
    if (!mesh || !mesh->resolvedVertices) return;
    for (int v = 0; v < mesh->vertexCount; ++v)
        if (!IsHidden(mesh, v)) AddPoint(object, mesh->resolvedVertices + 3 * v, points);
}

void AddSelectedVertices(TKSN_Object* object, std::vector<float>& points)
{
    TKSN_Mesh* mesh = object->Mesh.get();
    if (!mesh->resolvedVertices || !mesh->VertexInfo) return;
    const int32_t* partners = mesh->activeVertexPartnerA;
    for (int v = 0; v < mesh->vertexCount; ++v) {
        if (IsHidden(mesh, v)) continue;
        int source = v;
        if (partners && partners[v] >= 0 && partners[v] < mesh->vertexCount) source = partners[v];
        if ((mesh->VertexInfo[source].Flags & 0x200) == 0) continue;
        AddPoint(object, mesh->resolvedVertices + 3 * source, points);
    }
}

} // namespace

bool KSN_GatherFramingPoints(TKSN_Object* object, int32_t style, const std::vector<TKSN_Object*>& objects,
                             bool (*canAffect)(TKSN_Object*), std::vector<float>& points)
{
    if (style == 0) {
        if (!object || !object->Mesh || object->Mesh->vertexCount == 0) return false;
        AddShownVertices(object, points);
        return true;
    }
    for (TKSN_Object* o : objects) {
        if (!o || !o->Mesh) continue;
        if (style == 2) {
            AddShownVertices(o, points);
            continue;
        }
        if (canAffect && !canAffect(o)) continue;
        if (o->GetCustomBooleanProperty("COMPLETELY_LOCKED")) continue;
        if (o->Mesh->GetSelectedVertexCount() == 0) continue;
        AddSelectedVertices(o, points);
    }
    return true;
}

void KSN_CopyChannelName(char* field, int size, const char* text)
{
    if (size <= 0) return;
    if (!text) text = "";
    size_t n = std::strlen(text);
    if (n > size_t(size - 1)) n = size_t(size - 1);
    std::memcpy(field, text, n);
    field[n] = 0;
}
