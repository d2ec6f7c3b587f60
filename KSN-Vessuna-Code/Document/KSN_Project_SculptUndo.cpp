// Undo of sculpt strokes: the state taken when a stroke starts, the nodes
// recorded when it ends, and restoring them.
#include "KSN_SculptUndo.h"

#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "KSN_SculptLayer.h"
#include "KSN_SubDMesh.h"
#include "KSN_Tool.h"
#include "KSN_Undo.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

// The state of every mesh when the current stroke started.
struct TStrokeStart {
    uint32_t MeshID = 0;
    uint32_t ObjectID = 0;
    std::unique_ptr<TKSN_SculptUndoNode> State;
};
std::vector<TStrokeStart> StrokeStart;

template <class T>
void CopyInto(std::vector<T>& out, const T* from, size_t count)
{
    if (from)
        out.assign(from, from + count);
    else
        out.clear();
}

} // namespace

uint64_t TKSN_SculptUndoNode::GetApproximateSize()
{
    return sizeof(float) * (Deltas.size() + Positions.size() + VertexNormals.size() + PolygonNormals.size());
}

TKSN_MeshRoot* KSN_SculptTargetLevel(TKSN_Mesh* mesh)
{
    if (!mesh) return nullptr;
    if (TKSN_SubDMesh* top = mesh->GetSubD_MaxLevel()) return top;
    return mesh;
}

float* KSN_SculptLayerData(TKSN_Mesh* mesh, uint32_t layerID, int vertexCount)
{
    if (!mesh || !mesh->LayerDataSet || !layerID) return nullptr;
    TKSN_LayerIDIterator it, end;
    mesh->LayerDataSet->GetRawLayerDataIterators(it, end);
    for (; it != end; ++it)
        if (it->first == layerID) {
            auto* map = dynamic_cast<TKSN_VertexMap*>(__GetThingyFromID(it->second));
            if (map && map->HasData() && map->Count == vertexCount && map->Dim == 3) return map->Data;
        }
    return nullptr;
}

void KSN_CaptureSculptState(TKSN_Mesh* mesh, uint32_t layerID, TKSN_SculptUndoNode& state)
{
    TKSN_MeshRoot* level = KSN_SculptTargetLevel(mesh);
    state.LayerID = layerID;
    state.VertexCount = level ? level->GetVCount() : 0;
    const size_t n = size_t(std::max(state.VertexCount, 0)) * 3;
    if (const float* d = KSN_SculptLayerData(mesh, layerID, state.VertexCount))
        CopyInto(state.Deltas, d, n);
    else
        state.Deltas.assign(n, 0.0f);
    CopyInto(state.Positions, level ? level->resolvedVertices : nullptr, n);
    CopyInto(state.VertexNormals, level ? level->vertexNormals : nullptr, n);
    CopyInto(state.PolygonNormals, level ? level->polygonNormals : nullptr,
             level ? size_t(std::max(level->GetPCount(), 0)) * 3 : 0);
}

bool KSN_RestoreSculptState(TKSN_Mesh* mesh, const TKSN_SculptUndoNode& state)
{
    TKSN_MeshRoot* level = KSN_SculptTargetLevel(mesh);
    if (!level || level->GetVCount() != state.VertexCount) return false;
    const size_t n = size_t(state.VertexCount) * 3;
    if (float* d = KSN_SculptLayerData(mesh, state.LayerID, state.VertexCount))
        std::memcpy(d, state.Deltas.data(), n * sizeof(float));
    if (level->resolvedVertices && state.Positions.size() == n)
        std::memcpy(level->resolvedVertices, state.Positions.data(), n * sizeof(float));
    if (level->vertexNormals && state.VertexNormals.size() == n)
        std::memcpy(level->vertexNormals, state.VertexNormals.data(), n * sizeof(float));
    if (level->polygonNormals && state.PolygonNormals.size() == size_t(level->GetPCount()) * 3)
        std::memcpy(level->polygonNormals, state.PolygonNormals.data(), state.PolygonNormals.size() * sizeof(float));
    if (level->octreeRoot) level->InvalidateOctreeNodeDisplay(level->octreeRoot.get(), true);
    return true;
}

void KSN_BeginSculptStrokeUndo()
{
    StrokeStart.clear();
    if (!Project || !Project->SculptLayers) return;
    TKSN_LayerDefinition* layer = KSN_GetToolProjectHooks().GetCurrentSculptLayer
                                      ? KSN_GetToolProjectHooks().GetCurrentSculptLayer()
                                      : nullptr;
    if (!layer) return;
    std::unique_ptr<TQORNewStaticList<TKSN_Mesh*>> meshes(Project->GetMeshList());
    for (TKSN_Mesh* mesh : *meshes) {
        if (!mesh) continue;
        TStrokeStart start;
        start.MeshID = mesh->GetID();
        start.ObjectID = mesh->GetOwnerObject() ? mesh->GetOwnerObject()->GetID() : 0;
        start.State = std::make_unique<TKSN_SculptUndoNode>();
        KSN_CaptureSculptState(mesh, layer->GetID(), *start.State);
        StrokeStart.push_back(std::move(start));
    }
}

void KSN_EndSculptStrokeUndo()
{
    std::vector<TStrokeStart> starts;
    starts.swap(StrokeStart);
    if (!Project) return;
    for (TStrokeStart& start : starts) {
        auto* mesh = dynamic_cast<TKSN_Mesh*>(__GetThingyFromID(start.MeshID));
        auto* object = dynamic_cast<TKSN_Object*>(__GetThingyFromID(start.ObjectID));
        if (!mesh || !object) continue;
        TKSN_SculptUndoNode& before = *start.State;
        const float* now = KSN_SculptLayerData(mesh, before.LayerID, before.VertexCount);
        if (!now || before.Deltas.empty() ||
            std::memcmp(now, before.Deltas.data(), before.Deltas.size() * sizeof(float)) == 0)
            continue;
        TKSN_Undo_Node* node = Project->SetupCurrentUndo(object, KSN_UNDO_SCULPT, -1, "Sculpt", false);
        if (!node) continue;
        delete node->Payload;
        node->Payload = start.State.release();
        node->Size = int32_t(std::min<uint64_t>(node->Payload->GetApproximateSize(), INT32_MAX));
    }
}
