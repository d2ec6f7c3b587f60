// Merging objects into one. Index:
//   [SECTION] The merge
//   [SECTION] Appending one object
//   [SECTION] One texture skin
#include "KSN_ObjectMerge.h"

#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORString.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

namespace {

constexpr int kTooFewObjectsText = 956;   // "Please select at least two objects before merging."
constexpr int kConfirmMergeText = 957;
constexpr int kCannotBeUndoneText = 958;  // "\n\n(This cannot be undone)"
constexpr int kMergedObjectText = 1026;   // "Merged Object"
constexpr int kNewObjectText = 1027;      // "A new object named "%s" has been created."
constexpr int kCommandRefreshManagers = 432;
constexpr int kCommandRefreshAll = 10;

bool TakesPart(TKSN_Project* project, TKSN_Object* object)
{
    return object && object->Mesh && project->CanAffectObject(object) &&
           !object->GetCustomBooleanProperty("COMPLETELY_LOCKED") && object->Mesh->GetSelectedVertexCount() > 0;
}

template <class F>
void ForEachObject(TKSN_Project* project, F&& visit)
{
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> list(project->GetObjectList());
    for (TKSN_Object* object : *list) visit(object);
}

// The interface text with its "%s" replaced, so that a '%' in the name prints as it is.
std::string Substitute(const char* text, const std::string& value)
{
    std::string result = text ? text : "";
    const size_t at = result.find("%s");
    if (at != std::string::npos) result.replace(at, 2, value);
    return result;
}

template <class TList>
void MakeNamesUnique(TList* list)
{
    TQORNewStaticList<TQORThingy*> names(1);
    for (int i = 0; list && i < list->GetItemCount(); ++i) names.Add(list->GetItem(i));
    MakeListItemNamesUnique_QORThingy(&names);
}

} // namespace

// ============================================================================
// [SECTION] The merge
// ============================================================================

void TKSN_Project::MergeAllObjects(bool renameMaterials, bool renameGroups, bool oneGroupPerObject,
                                   bool oneMaterialPerObject, bool singleSkin)
{
    int taking = 0;
    ForEachObject(this, [&](TKSN_Object* object) { taking += TakesPart(this, object); });
    if (taking < 2) {
        OS.WarningMessage("%s", Lang.GetText(kTooFewObjectsText));
        return;
    }
    const bool discardMaps = oneMaterialPerObject || singleSkin;
    TKSN_ObjectMerge merge(this, renameGroups, renameMaterials, oneGroupPerObject, oneMaterialPerObject, discardMaps);
    std::string question = Lang.GetText(kConfirmMergeText);
    if (discardMaps) question += "\n\n- All maps will be discarded.";
    question += Lang.GetText(kCannotBeUndoneText);
    if (!OS.MessageYesNo("%s", question.c_str())) return;

    ForEachObject(this, [&](TKSN_Object* object) {
        if (TakesPart(this, object)) merge.ConsiderMeshPass1(object);
    });
    {
        TQORNewStaticList<TKSN_Thingy*> names(1);
        for (TKSN_Object* object : merge.ObjectList) names.Add(object);
        MakeListItemNamesUnique(&names);
    }
    TKSN_Object* merged = merge.CreateMergedObject();
    for (TKSN_Object* object : merge.ObjectList) merge.ConsiderMeshPass2(object);

    TKSN_Mesh* mesh = merged->Mesh.get();
    MakeNamesUnique(mesh->Materials);
    MakeNamesUnique(mesh->Groups2);
    mesh->AfterRawBuild();
    mesh->RecalculateNormals(true);
    mesh->OnMapTopologyChanged();
    if (singleSkin) SingleSkinMesh(mesh);
    for (int p = 0; p < mesh->polygonCount; ++p) mesh->Polygons[p].LayerFlags = merge.PolygonLayerFlags[size_t(p)];

    TKSN_TreeGroup::Traverse(Objects, 0, DeleteAllObjects_OnVisit, &merge.ObjectList, false);
    {
        TQORNewStaticList<TQORThingy*> names(1);
        for (TQORMaterialMap* binding : *mesh->MaterialMaps) names.Add(binding);
        MakeListItemNamesUnique_QORThingy(&names);
    }
    Objects->AddItem(merged);
    SetCurrentObject(merged);
    QOREvents_PushEvent(kCommandRefreshManagers);

    merged->ResolveVertices(true);
    mesh->RecalculateNormals(false);
    mesh->SymmetryStarted = false;
    mesh->SelectedListsValid = false;
    InvalidateAffectedObjectsStencil();
    SetActiveSymmetryMapForMesh(mesh);

    merged->SetName("%s", Lang.GetText(kMergedObjectText));
    OS.WarningMessage("%s", Substitute(Lang.GetText(kNewObjectText), merged->GetName()).c_str());
    EmptyUndoStack();
    EmptyRedoStack();
    SetupAfterLoad();
    QOREvents_PushEvent(kCommandRefreshAll);
}

// ============================================================================
// [SECTION] Appending one object
// ============================================================================

TKSN_ObjectMerge::TKSN_ObjectMerge(TKSN_Project* project, bool renameGroups, bool renameMaterials,
                                   bool oneGroupPerObject, bool oneMaterialPerObject, bool discardMaps)
    : RenameGroups(renameGroups), RenameMaterials(renameMaterials), OneGroupPerObject(oneGroupPerObject),
      OneMaterialPerObject(oneMaterialPerObject), DiscardMaps(discardMaps), Project(project), ObjectList(1)
{
}

void TKSN_ObjectMerge::ConsiderMeshPass1(TKSN_Object* object)
{
    TKSN_Mesh* source = object->Mesh.get();
    ObjectList.Add(object);
    VertexTotal += source->vertexCount;
    TVertexTotal += source->tVertexCount;
    PolygonTotal += source->polygonCount;
    GroupTotal += OneGroupPerObject ? 1 : source->Groups2->GetItemCount();
    MaterialTotal += OneMaterialPerObject ? 1 : source->Materials->GetItemCount();
    if (!DiscardMaps) MapTotal += source->MaterialMaps->Count();
}

TKSN_Object* TKSN_ObjectMerge::CreateMergedObject()
{
    auto* object = new TKSN_Object();
    object->Mesh.reset(new TKSN_Mesh(object));
    Mesh = object->Mesh.get();
    Mesh->Create(VertexTotal, TVertexTotal, VertexTotal, PolygonTotal);
    PolygonLayerFlags.assign(size_t(PolygonTotal), 0u);
    return object;
}

void TKSN_ObjectMerge::ConsiderMeshPass2(TKSN_Object* object)
{
    TKSN_Mesh* source = object->Mesh.get();
    const char* objectName = object->GetName();
    object->ResolveVertices(true);

    std::copy_n(source->resolvedVertices, 3 * size_t(source->vertexCount), Mesh->baseVertices + 3 * size_t(VertexOffset));
    std::copy_n(source->tVertices, 2 * size_t(source->tVertexCount), Mesh->tVertices + 2 * size_t(TVertexOffset));

    for (int i = 0; i < source->polygonCount; ++i) {
        PolygonLayerFlags[size_t(PolygonOffset + i)] = source->GetPolyLayerFlags(i);
        TQORPolygon& polygon = Mesh->Polygons[PolygonOffset + i];
        polygon.Copy(&source->Polygons[i]);
        if (OneGroupPerObject) polygon.Group = int16_t(GroupIndex);
        else if (polygon.Group != -1) polygon.Group = int16_t(polygon.Group + GroupIndex);
        if (OneMaterialPerObject) polygon.Material = int16_t(MaterialIndex);
        else if (polygon.Material != -1) polygon.Material = int16_t(polygon.Material + MaterialIndex);
        for (int c = 0; polygon.Points && c < polygon.Count; ++c) {
            if (polygon.Points[c].V != -1) polygon.Points[c].V += VertexOffset;
            if (polygon.Points[c].VT != -1) polygon.Points[c].VT += TVertexOffset;
        }
    }

    // Names of copied materials and groups: the object's own with one item,
    // "Object-Item" with several, the item's when renaming is off.
    auto derivedName = [&](bool rename, int count, const char* itemName) {
        if (!rename) return std::string(itemName);
        if (count == 1) return std::string(objectName);
        return QORFormat("%s-%s", objectName, itemName);
    };

    int materials = 0;
    if (OneMaterialPerObject) {
        TQORMaterial* material = KSN_NewMaterial(objectName);
        material->MaterialIndex = MaterialIndex;
        Mesh->Materials->AddItem(material);
        materials = 1;
    } else {
        int count = 0;
        while (count < source->Materials->GetItemCount() && KSN_MaterialFromThingy(source->Materials->GetItem(count)))
            ++count;
        for (int m = 0; m < count; ++m) {
            TQORMaterial* from = KSN_MaterialFromThingy(source->Materials->GetItem(m));
            auto* material = new TQORMaterial();
            material->Copy(from);
            material->SetName("%s", derivedName(RenameMaterials, count, from->GetName()).c_str());
            if (DiscardMaps)
                for (TQORMaterialChannel* channel : material->ArbChannels) channel->SetMapID(0);
            material->MaterialIndex = MaterialIndex + m;
            Mesh->Materials->AddItem(material);
        }
        materials = count;
    }

    int groups = 0;
    if (OneGroupPerObject) {
        auto* group = new TQORGroup2();
        group->SetName("%s", objectName);
        group->Index = GroupIndex;
        Mesh->Groups2->AddItem(group);
        groups = 1;
    } else {
        int count = 0;
        while (count < source->Groups2->GetItemCount() && source->Groups2->GetItemAs(count)) ++count;
        for (int g = 0; g < count; ++g) {
            auto* group = new TQORGroup2();
            group->SetName("%s", derivedName(RenameGroups, count, source->Groups2->GetItemAs(g)->GetName()).c_str());
            group->Index = GroupIndex + g;
            Mesh->Groups2->AddItem(group);
        }
        groups = count;
    }

    int maps = 0;
    if (!DiscardMaps) {
        maps = source->MaterialMaps->Count();
        for (TQORMaterialMap* binding : *source->MaterialMaps) Mesh->MaterialMaps->Add(binding);
        source->MaterialMaps->Clear();
    }

    VertexOffset += source->vertexCount;
    TVertexOffset += source->tVertexCount;
    PolygonOffset += source->polygonCount;
    MaterialIndex += materials;
    GroupIndex += groups;
    MapCount += maps;
}

// ============================================================================
// [SECTION] One texture skin
// ============================================================================

void TBin::Init(int material)
{
    Material = material;
    UVMin[0] = UVMin[1] = 1e30f;
    UVMax[0] = UVMax[1] = -1e30f;
    for (int c = 0; c < 3; ++c) {
        Min[c] = 1e30f;
        Max[c] = -1e30f;
    }
    Area = Width = Height = Share = X = Y = 0.0f;
    Used = false;
}

void SingleSkinMesh(TKSN_Mesh* mesh)
{
    const int materialCount = mesh->Materials->GetItemCount();
    if (materialCount <= 0) return;
    std::vector<TBin> bins;
    bins.resize(size_t(materialCount));
    for (int m = 0; m < materialCount; ++m) bins[size_t(m)].Init(m);
    mesh->MakeTextureVerticesFree();

    for (int p = 0; p < mesh->polygonCount; ++p) {
        const TQORPolygon& polygon = mesh->Polygons[p];
        if (polygon.Material < 0 || polygon.Material >= materialCount || !polygon.Points) continue;
        TBin& bin = bins[size_t(polygon.Material)];
        for (int c = 0; c < polygon.Count; ++c) {
            const int vt = polygon.Points[c].VT;
            if (vt >= 0 && vt < mesh->tVertexCount)
                for (int k = 0; k < 2; ++k) {
                    bin.UVMin[k] = std::min(bin.UVMin[k], mesh->tVertices[2 * vt + k]);
                    bin.UVMax[k] = std::max(bin.UVMax[k], mesh->tVertices[2 * vt + k]);
                }
            const int v = polygon.Points[c].V;
            if (v >= 0 && v < mesh->vertexCount) {
                for (int k = 0; k < 3; ++k) {
                    bin.Min[k] = std::min(bin.Min[k], mesh->resolvedVertices[3 * v + k]);
                    bin.Max[k] = std::max(bin.Max[k], mesh->resolvedVertices[3 * v + k]);
                }
                bin.Used = true;
            }
        }
    }

    float widest = 0.0f, shares = 0.0f;
    for (TBin& bin : bins) {
        if (!bin.Used || bin.UVMax[0] < bin.UVMin[0]) continue;   // no corner, or no texture vertex
        const float dx = bin.Max[0] - bin.Min[0], dy = bin.Max[1] - bin.Min[1], dz = bin.Max[2] - bin.Min[2];
        bin.Area = 2.0f * (dx * dy + dy * dz + dz * dx);
        const float margin = 0.02f * (bin.UVMax[0] - bin.UVMin[0]);
        for (int k = 0; k < 2; ++k) {
            bin.UVMin[k] -= margin;
            bin.UVMax[k] += margin;
        }
        const float du = bin.UVMax[0] - bin.UVMin[0], dv = bin.UVMax[1] - bin.UVMin[1];
        bin.Width = std::sqrt(std::max(bin.Area, 0.0f));
        bin.Height = du > 1e-30f ? bin.Width * (dv / du) : bin.Width;
        bin.Share = bin.Width * bin.Height;
        widest = std::max(widest, bin.Width);
        shares += bin.Share;
    }
    if (widest > 1e-30f && shares > 1e-30f) {
        const float scale = 1.0f / std::sqrt(shares);
        for (TBin& bin : bins) {
            bin.Width = std::clamp(bin.Width * scale, 0.0f, 1.0f);
            bin.Height = std::clamp(bin.Height * scale, 0.0f, 1.0f);
            bin.Share /= shares;
        }
    }

    // Rows, widest first: each bin to the right of the one before while the
    // row has room (the widest bin sets the row length), else at the start of
    // a new row above the tallest bin of the last one. Regions never overlap;
    // the final rescale fits the whole into the unit square.
    std::vector<TBin*> order;
    for (TBin& bin : bins) order.push_back(&bin);
    std::stable_sort(order.begin(), order.end(),
                     [](const TBin* a, const TBin* b) { return a->Width > b->Width + 1e-6f; });
    const float rowLength = std::max(1.0f, order.empty() ? 1.0f : order.front()->Width);
    float x = 0.0f, y = 0.0f, rowHeight = 0.0f;
    for (TBin* bin : order) {
        if (x > 0.0f && x + bin->Width > rowLength + 1e-6f) {
            y += rowHeight;
            x = 0.0f;
            rowHeight = 0.0f;
        }
        bin->X = x;
        bin->Y = y;
        x += bin->Width;
        rowHeight = std::max(rowHeight, bin->Height);
    }

    for (int p = 0; p < mesh->polygonCount; ++p) {
        const TQORPolygon& polygon = mesh->Polygons[p];
        if (polygon.Material < 0 || polygon.Material >= materialCount || !polygon.Points) continue;
        const TBin& bin = bins[size_t(polygon.Material)];
        const float du = bin.UVMax[0] - bin.UVMin[0], dv = bin.UVMax[1] - bin.UVMin[1];
        for (int c = 0; c < polygon.Count; ++c) {
            const int vt = polygon.Points[c].VT;
            if (vt < 0 || vt >= mesh->tVertexCount) continue;
            float* uv = mesh->tVertices + 2 * vt;
            uv[0] = (du > 1e-30f ? (uv[0] - bin.UVMin[0]) / du : 0.0f) * bin.Width + bin.X;
            uv[1] = (dv > 1e-30f ? (uv[1] - bin.UVMin[1]) / dv : 0.0f) * bin.Height + bin.Y;
        }
    }
    const float margin[2] = {0.01f, 0.01f};
    mesh->NormalizeUVs(margin, false);
    mesh->OnVTsChanged();
}
