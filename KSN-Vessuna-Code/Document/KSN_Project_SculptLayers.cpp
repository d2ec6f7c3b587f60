// The project's side of the sculpt layers: resolving them onto each mesh's
// highest sub-division level, and the "sculptLayer" blocks of the mesh block.
//
// [SECTION] Helpers
// [SECTION] Resolving
// [SECTION] Mesh block
#include "KSN_Project.h"

#include "KSN_Mesh.h"
#include "KSN_SculptLayer.h"
#include "KSN_SubDMesh.h"
#include "OS.h"
#include "QORString.h"
#include "QORTextBlock.h"
#include "QORThreads.h"

#include <climits>
#include <cstring>
#include <memory>

// [SECTION] Helpers

namespace {

template <class T>
T* ThingyAs(uint32_t ID)
{
    return ID ? dynamic_cast<T*>(__GetThingyFromID(ID)) : nullptr;
}

// The set's data for the definition; 0 when it holds none.
uint32_t LayerDataIDFor(const TKSN_LayerDataSet& set, uint32_t definitionID)
{
    TKSN_LayerIDIterator it, end;
    set.GetRawLayerDataIterators(it, end);
    for (; it != end; ++it)
        if (it->first == definitionID) return it->second;
    return 0;
}

// The first item directly in the group (sub-groups are not searched) whose
// name equals name in any case.
TKSN_Thingy* FindDirectItem(TKSN_TreeGroup* group, const char* name)
{
    if (!group || !name) return nullptr;
    for (TKSN_Thingy* item : *group->items)
        if (item && QORstrcmpi(item->GetName(), name) == 0) return item;
    return nullptr;
}

} // namespace

// [SECTION] Resolving

void TKSN_Project::ResolveAllSculptLayers()
{
    std::unique_ptr<TQORNewStaticList<TKSN_Mesh*>> meshes(GetMeshList());
    for (TKSN_Mesh* mesh : *meshes)
        if (TKSN_SubDMesh* level = mesh ? mesh->GetSubD_MaxLevel() : nullptr)
            ResolveAllLayersForSubD(level);
    OnMapLayerChanged();
    OnAllViewportsChanged();
}

void TKSN_Project::ResolveAllLayersForSubD(TKSN_SubDMesh* level)
{
    if (!level) return;
    TKSN_Mesh* mesh = level->GetOwnerMesh();
    if (!mesh) return;

    const int n = level->GetVCount();
    float* resolved = level->resolvedVertices;
    const float* base = level->baseVertices;
    if (n > 0 && resolved && base) {
        const int64_t bytes = int64_t(n) * 3 * int64_t(sizeof(float));
        if (bytes <= INT_MAX)
            memcpy_Multithread(resolved, base, size_t(bytes));
        else
            std::memcpy(resolved, base, size_t(bytes));
    }

    if (n > 0 && resolved && SculptLayers && mesh->LayerDataSet) {
        for (TKSN_Thingy* item : *SculptLayers->items) {
            auto* layer = dynamic_cast<TKSN_LayerDefinition*>(item);
            if (!layer || layer->IsHidden()) continue;
            auto* map = ThingyAs<TKSN_VertexMap>(LayerDataIDFor(*mesh->LayerDataSet, layer->GetID()));
            if (!map) continue;
            // A map made for another level (or damaged in the file) would be
            // read past its end; it is left out until it matches again.
            if (!map->HasData() || map->Count != n || map->Dim != 3) {
                OS.DebugMessage("Sculpt layer '%s' skipped: its data holds %d x %d values, the level has %d vertices",
                                layer->GetName(), map->Count, map->Dim, n);
                continue;
            }
            const float s = layer->GetStrength();
            const float* d = map->Data;
            for (int64_t i = 0, values = int64_t(n) * 3; i < values; ++i)
                resolved[i] += s * d[i];
        }
    }

    level->InvalidateAllOctreeNodeDisplayLists();
    level->RecalculateNormals(true);
}

// [SECTION] Mesh block

void KSN_SaveMeshSculptLayers(TKSN_Mesh* mesh, FILE* file)
{
    if (!mesh || !mesh->LayerDataSet || !file) return;
    TKSN_LayerOrderIterator it, end;
    mesh->LayerDataSet->GetOrderedLayerDataIterators(it, end);
    for (; it != end; ++it) {
        auto* map = ThingyAs<TKSN_VertexMap>(it->second);
        if (!map) continue;
        auto* layer = ThingyAs<TKSN_SculptLayer>(map->GetDefinitionID());
        if (!layer) continue;
        TStartTextFileBlock block("sculptLayer", layer->GetName(), file, true);
        map->SaveToStream_Text(file, false);
    }
}

bool KSN_LoadMeshSculptLayer(TKSN_Mesh* mesh, FILE* file, const char* name)
{
    if (!Project || !mesh || !mesh->LayerDataSet) return false;
    auto* layer = dynamic_cast<TKSN_SculptLayer*>(FindDirectItem(Project->SculptLayers, name));
    if (!layer) return false;

    // Owned here until it is attached, so a damaged blob leaks nothing.
    auto map = std::make_unique<TKSN_VertexMap>();
    map->LoadFromStream_Text(file);

    TKSN_LayerDataSet* set = mesh->LayerDataSet;
    // A second block for the same layer replaces the first instead of
    // orphaning it.
    set->DeleteLayerData(layer->GetID());
    layer->AddLayerDataSet(set->GetID());
    map->SetOwner(set);
    layer->AddLayerDataForSet(set, map.release());
    return true;
}
