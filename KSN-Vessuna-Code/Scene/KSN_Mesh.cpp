// TKSN_Mesh: construction, the two trees, the current items, the use bracket
// and the sub-division accessors.
//
// [SECTION] Application callbacks
// [SECTION] Construction and destruction
// [SECTION] Trees
// [SECTION] Current items
// [SECTION] Use bracket
// [SECTION] Sub-division levels

#include "KSN_Mesh.h"

#include "KSN_Layer.h"
#include "KSN_Object.h"
#include "KSN_SubDMesh.h"
#include "KSN_SymmetryCalculator.h"
#include "OS.h"
#include "QORLanguage.h"
#include "QORMemory.h"
#include "QORString.h"

#include <algorithm>
#include <vector>

std::string GetMorphList_CurrentPath;

namespace {

TKSN_MeshApplicationHooks MeshAppHooks;

constexpr int kBaseVerticesText = 944;     // "(Base Vertices)"
constexpr int kReinitializeSubDText = 1661;

// Special morphs stay in memory and replay no scripts.
bool IsSpecialMorph(const TKSN_Morph* morph) { return morph->IsKeptInMemory(); }

std::string SubDKey(int level) { return QORFormat("SUBD_LEVEL_%d", level); }

// The interface text carries one "%s" for the name; it is substituted here
// rather than used as a format, so a name holding "%" prints as it is.
std::string SubstituteName(const char* text, const char* name)
{
    std::string result = text ? text : "";
    const size_t at = result.find("%s");
    if (at != std::string::npos)
        result.replace(at, 2, name ? name : "");
    return result;
}

} // namespace

// ============================================================================
// [SECTION] Application callbacks
// ============================================================================

void KSN_SetMeshApplicationHooks(const TKSN_MeshApplicationHooks& hooks) { MeshAppHooks = hooks; }

int32_t KSN_MeshApp_GetToolTypeTab()
{
    return MeshAppHooks.GetToolTypeTab ? MeshAppHooks.GetToolTypeTab() : 3;
}

int32_t KSN_MeshApp_GetCurrentAnimationFrame()
{
    return MeshAppHooks.GetCurrentAnimationFrame ? MeshAppHooks.GetCurrentAnimationFrame() : 0;
}

bool KSN_MeshApp_IsTimeChangingForAnimation()
{
    return MeshAppHooks.IsTimeChangingForAnimation ? MeshAppHooks.IsTimeChangingForAnimation() : false;
}

int32_t KSN_MeshApp_GetSelectionType()
{
    return MeshAppHooks.GetSelectionType ? MeshAppHooks.GetSelectionType() : 0;
}

const char* KSN_MeshApp_GetObjectName(TKSN_Object* object)
{
    const char* name = MeshAppHooks.GetObjectName ? MeshAppHooks.GetObjectName(object) : nullptr;
    return name ? name : "";
}

// ============================================================================
// [SECTION] Construction and destruction
// ============================================================================

TKSN_Mesh::TKSN_Mesh(TKSN_Object* owner) : OwnerObject(owner)
{
    SetOwnerMesh(this);
    LayerDataSet = new TKSN_LayerDataSet();
    VertexScripts = new TKSN_VertexAdjustmentScriptList(1);
    PolygonScripts = new TKSN_VertexAdjustmentScriptList(1);
    SymmetryCalculator = new TKSN_SymmetryCalculator();
    chunkType = 78;
}

TKSN_Mesh::~TKSN_Mesh()
{
    DestroyAllSubDs();
    // The pairing worker reads the mesh: stop it before anything goes.
    if (SymmetryCalculator)
        SymmetryCalculator->CancelThread(true);

    QORfree(VertexCulledValues);
    VertexCulledValues = nullptr;
    delete EditVertexSelection;
    delete EditPolygonSelection;
    EditVertexSelection = EditPolygonSelection = nullptr;

    DeleteScripts(VertexScripts);
    DeleteScripts(PolygonScripts);
    delete VertexScripts;
    delete PolygonScripts;
    VertexScripts = PolygonScripts = nullptr;

    DeleteTree(MorphTree);
    MorphTree = nullptr;
    TempMorph = BaseVerticesMorph = nullptr;
    DeleteTree(SelectionTree);
    SelectionTree = nullptr;

    delete SymmetryCalculator;
    SymmetryCalculator = nullptr;
    QORfree(UVEdges);
    QORfree(SelectedVertices);
    QORfree(SelectedPolygons);
    UVEdges = nullptr;
    SelectedVertices = SelectedPolygons = nullptr;
    delete LayerDataSet;
    LayerDataSet = nullptr;
    PointSelections.Clear();
}

void TKSN_Mesh::DeleteTree(TKSN_TreeGroup* root)
{
    if (!root)
        return;
    TKSN_TreeGroup::Traverse(root, 0, DeleteAllThingys_OnVisit, nullptr, false);
    // The root and each following sibling (a selection tree has "Hidden
    // Selections" beside it); each deletes its own child groups.
    for (TKSN_TreeGroup* group = root; group;) {
        TKSN_TreeGroup* next = group->GetNext();
        delete group;
        group = next;
    }
}

void TKSN_Mesh::Create(int vertexCount, int tVertexCount, int normalCount, int polygonCount)
{
    TQORPolyMesh::Create(vertexCount, tVertexCount, normalCount, polygonCount);

    QORfree(VertexCulledValues);
    VertexCulledValues = nullptr;
    if (this->vertexCount > 0)
        VertexCulledValues = static_cast<float*>(QORalloc(uint64_t(this->vertexCount) * sizeof(float)));

    // A block that creates the mesh twice must not leave the first trees behind.
    if (MorphTree || SelectionTree) {
        DeleteTree(MorphTree);
        DeleteTree(SelectionTree);
        MorphTree = nullptr;
        SelectionTree = nullptr;
        TempMorph = BaseVerticesMorph = nullptr;
        CurrentMorphID = CurrentSelectionID = 0;
    }

    MorphTree = new TKSN_MorphTreeGroup();
    MorphTree->SetOwner(this);
    MorphTree->SetName("Morph Targets");
    MorphTree->typeKeyword = "morphs";

    SelectionTree = new TKSN_SelectionTreeGroup();
    SelectionTree->SetOwner(this);
    SelectionTree->SetName("Selections");
    SelectionTree->typeKeyword = "selections";

    SetupSpecialMorphs();
    SetupSpecialSelections();

    TKSN_Morph* morph = CreateMorph(MorphTree);
    morph->SetName("Default Morph");
    SetCurrentMorph(morph);
}

void TKSN_Mesh::SetupSpecialMorphs()
{
    auto* hidden = new TKSN_MorphTreeGroup();
    hidden->SetName("Hidden Morphs");
    hidden->hidden = true;
    MorphTree->LinkChild(hidden);

    BaseVerticesMorph = CreateMorph(MorphTree);
    BaseVerticesMorph->SetName("%s", Lang.GetText(kBaseVerticesText));
    BaseVerticesMorph->SetKeepInMemory(true);
    BaseVerticesMorph->saveable = false;
    BaseVerticesMorph->deletable = false;
    BaseVerticesMorph->renamable = false;
    BaseVerticesMorph->duplicable = false;

    TempMorph = CreateMorph(hidden);
    TempMorph->SetKeepInMemory(true);
    TempMorph->SetName("Temp Morph");
    TempMorph->saveable = false;
}

void TKSN_Mesh::SetupAfterLoad()
{
    InvalidateVisibleLookups();
    RestartSymmetryCalculations(symmetryAxis);
}

void TKSN_Mesh::SetVertexCount(int count)
{
    TQORPolyMesh::SetVertexCount(count);
    QORfree(VertexCulledValues);
    VertexCulledValues = nullptr;
    if (vertexCount > 0)
        VertexCulledValues = static_cast<float*>(QORalloc(uint64_t(vertexCount) * sizeof(float)));
    if (TempMorph)
        TempMorph->SetVCount(vertexCount);
    if (BaseVerticesMorph)
        BaseVerticesMorph->SetVCount(vertexCount);
}

void TKSN_Mesh::SetPolygonCount(int count) { TQORPolyMesh::SetPolygonCount(count); }

bool TKSN_Mesh::SaveToStream(FILE* /*file*/) { return false; }
bool TKSN_Mesh::SaveToStream_Bin(FILE* /*file*/) { return false; }

void TKSN_Mesh::UpdateWeldedVertices()
{
    if (!Welded)
        return;
    TQORPolyMesh::UpdateWeldedVertices();

    std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> morphs(GetMorphList());
    for (int i = 0; i < morphs->Count(); ++i)
        if ((*morphs)[i]->UpdateWeldingRequired())
            UpdateWeldedMorph((*morphs)[i]);

    // Only vertex selections of the mesh's own size can follow the weld map;
    // polygon selections and selections still waiting for a script replay
    // are left for their next use.
    std::unique_ptr<TQORNewStaticList<TKSN_Selection*>> selections(GetSelectionList());
    for (int i = 0; i < selections->Count(); ++i) {
        TKSN_Selection* selection = (*selections)[i];
        if (selection->changed && selection->GetSelectionType() == eSelectionType_Vertex &&
            selection->GetVCount() == vertexCount)
            UpdateWeldedSelection(selection);
    }
}

// ============================================================================
// [SECTION] Trees
// ============================================================================

TKSN_Morph* TKSN_Mesh::CreateMorph(TKSN_TreeGroup* group)
{
    auto* morph = new TKSN_Morph(vertexCount, GetID());
    morph->SetScriptStamp(VertexScriptCount);
    if (group)
        group->AddItem(morph);
    return morph;
}

namespace {

template <class T>
void CollectItemsRecurse(TKSN_TreeGroup* group, TQORNewStaticList<T*>* list)
{
    for (; group; group = group->GetNext()) {
        const std::string saved = GetMorphList_CurrentPath;
        GetMorphList_CurrentPath += group->GetName();
        GetMorphList_CurrentPath += ":";
        if (group->items) {
            for (int i = 0; i < group->items->Count(); ++i) {
                T* item = dynamic_cast<T*>((*group->items)[i]);
                if (!item)
                    continue;
                item->SetGroupPath(GetMorphList_CurrentPath.c_str());
                list->Add(item);
            }
        }
        if (group->GetChild())
            CollectItemsRecurse(group->GetChild(), list);
        GetMorphList_CurrentPath = saved;
    }
}

} // namespace

TQORNewStaticList<TKSN_Morph*>* TKSN_Mesh::GetMorphList()
{
    auto* list = new TQORNewStaticList<TKSN_Morph*>(1);
    GetMorphList_CurrentPath.clear();
    CollectItemsRecurse(MorphTree, list);
    return list;
}

void GetSelectionList_Recurse(TKSN_TreeGroup* group, int /*depth*/, TQORNewStaticList<TKSN_Selection*>* list)
{
    CollectItemsRecurse(group, list);
}

void TKSN_Mesh::PopHiddenGroupsToTheEnd(TKSN_TreeGroup* group)
{
    if (!group)
        return;
    std::vector<TKSN_TreeGroup*> hiddenChildren;
    bool visibleAfterHidden = false;
    for (TKSN_TreeGroup* child = group->GetChild(); child; child = child->GetNext()) {
        if (child->hidden)
            hiddenChildren.push_back(child);
        else if (!hiddenChildren.empty())
            visibleAfterHidden = true;
    }
    if (!visibleAfterHidden)
        return;
    for (TKSN_TreeGroup* child : hiddenChildren)
        child->Pop();
}

bool TKSN_Mesh::DeleteAllThingys_OnVisit(TKSN_TreeGroup* group, int /*depth*/, void* /*userData*/)
{
    if (!group || !group->items)
        return true;
    for (int i = 0; i < group->items->Count(); ++i)
        delete (*group->items)[i];
    group->items->Clear();
    return true;
}

// ============================================================================
// [SECTION] Current items
// ============================================================================

uint32_t TKSN_Mesh::GetEffectiveCurrentMorphID() const
{
    if (KSN_MeshApp_GetToolTypeTab() == KSN_TOOL_TAB_MODELLING)
        return BaseVerticesMorph ? BaseVerticesMorph->GetID() : 0;
    return CurrentMorphID;
}

TKSN_Morph* TKSN_Mesh::FindEffectiveCurrentMorph()
{
    if (KSN_MeshApp_GetToolTypeTab() == KSN_TOOL_TAB_MODELLING)
        return BaseVerticesMorph;
    if (CurrentMorphID == 0)
        return nullptr;
    auto* morph = dynamic_cast<TKSN_Morph*>(__GetThingyFromID(CurrentMorphID));
    if (!morph)
        CurrentMorphID = 0;
    return morph;
}

TKSN_Morph* TKSN_Mesh::GetCurrentMorph() { return FindEffectiveCurrentMorph(); }

uint32_t TKSN_Mesh::GetCurrentMorphID() { return GetEffectiveCurrentMorphID(); }

void TKSN_Mesh::SetCurrentMorph(TKSN_Morph* morph)
{
    if (morph && morph->GetID() == CurrentMorphID)
        return;
    TKSN_Morph* previous = FindEffectiveCurrentMorph();
    if (previous && previous != morph) {
        previous->Compress();
        previous->current = false;
    }
    if (morph) {
        CurrentMorphID = morph->GetID();
        morph->current = true;
        morph->IsInUse("SetCurrentMorph");
        if (!morph->IsReadOnly())
            morph->Expand();
    } else {
        CurrentMorphID = 0;
    }

    std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> morphs(GetMorphList());
    for (int i = 0; i < morphs->Count(); ++i) {
        TKSN_Morph* m = (*morphs)[i];
        if (ShouldMorphBeInUse(m))
            m->IsInUse("SetCurrentMorph");
        else
            m->NotInUse("SetCurrentMorph");
    }
}

TKSN_Selection* TKSN_Mesh::GetCurrentSelectionZ()
{
    if (CurrentSelectionID == 0)
        return nullptr;
    auto* selection = dynamic_cast<TKSN_Selection*>(__GetThingyFromID(CurrentSelectionID));
    if (!selection)
        CurrentSelectionID = 0;
    return selection;
}

void TKSN_Mesh::SetCurrentSelection(TKSN_Selection* selection, bool /*flag*/)
{
    // Only one selection of the mesh may carry the current mark, as with morphs.
    TKSN_Selection* previous = GetCurrentSelectionZ();
    if (previous && previous != selection)
        previous->current = false;
    if (selection) {
        CurrentSelectionID = selection->GetID();
        selection->current = true;
        SelectedListsValid = false;
    } else {
        CurrentSelectionID = 0;
    }

    std::unique_ptr<TQORNewStaticList<TKSN_Selection*>> selections(GetSelectionList());
    for (int i = 0; i < selections->Count(); ++i)
        (*selections)[i]->NotInUse("SetCurrentSelection");
}

// ============================================================================
// [SECTION] Use bracket
// ============================================================================

bool TKSN_Mesh::ShouldMorphBeInUse(TKSN_Morph* morph)
{
    if (!morph)
        return false;
    if (!morph->current && !KSN_MeshApp_IsTimeChangingForAnimation())
        return false;
    const uint32_t currentID = GetEffectiveCurrentMorphID();
    if (currentID != 0 && morph->GetID() == currentID)
        return true;
    if (morph == TempMorph)
        return true;
    return ResolveAllMorphs && (morph->Strength > 1e-30f || morph->Strength < -1e-30f);
}

void TKSN_Mesh::ReplayVertexScriptsOnMorph(TKSN_Morph* frame, uint32_t stamp)
{
    for (int i = 0; i < VertexScripts->Count(); ++i) {
        TKSN_VertexAdjustmentScript* script = (*VertexScripts)[i];
        if (script->ScriptNumber > stamp)
            script->AdjustMorph(frame, this);
    }
}

void TKSN_Mesh::BeginUsingMorph(TKSN_Morph* morph)
{
    if (!morph)
        return;
    if (EditingGeometry) {
        // The edit renumbers as it goes; data keeps the old numbering until it ends.
        if (morph != BaseVerticesMorph)
            for (TKSN_Morph* frame = morph; frame; frame = frame->GetNextKeyFrame())
                frame->IsInUse("BeginUsingMorph");
        return;
    }
    if (morph != BaseVerticesMorph) {
        const bool behind = !IsSpecialMorph(morph) && morph->GetScriptStamp() < VertexScriptCount;
        for (TKSN_Morph* frame = morph; frame; frame = frame->GetNextKeyFrame()) {
            frame->IsInUse("BeginUsingMorph");
            if (behind) {
                ReplayVertexScriptsOnMorph(frame, frame->GetScriptStamp());
                // Every frame records what it has replayed, so that a later
                // script attached before the next flush is not applied twice.
                frame->SetScriptStamp(VertexScriptCount);
            }
        }
    }
    morph->SetScriptStamp(VertexScriptCount);
}

void TKSN_Mesh::EndUsingMorph(TKSN_Morph* morph)
{
    for (TKSN_Morph* frame = morph; frame; frame = frame->GetNextKeyFrame())
        if (!ShouldMorphBeInUse(frame))
            frame->NotInUse("EndUsingMorph");
}

void TKSN_Mesh::ReplayScriptsOnSelection(TKSN_Selection* selection, TKSN_VertexAdjustmentScriptList* list)
{
    const uint32_t stamp = selection->GetScriptStamp();
    for (int i = 0; i < list->Count(); ++i) {
        TKSN_VertexAdjustmentScript* script = (*list)[i];
        if (script->ScriptNumber > stamp)
            script->AdjustSelection(selection);
    }
}

void TKSN_Mesh::BeginUsingSelection(TKSN_Selection* selection)
{
    if (!selection)
        return;
    selection->IsInUse("BeginUsingSelection");
    if (EditingGeometry)
        return;
    if (selection->GetSelectionType() == eSelectionType_Vertex) {
        if (selection->GetScriptStamp() < VertexScriptCount)
            ReplayScriptsOnSelection(selection, VertexScripts);
        selection->SetScriptStamp(VertexScriptCount);
    } else if (selection->GetSelectionType() == eSelectionType_Polygon) {
        if (selection->GetScriptStamp() < PolygonScriptCount)
            ReplayScriptsOnSelection(selection, PolygonScripts);
        selection->SetScriptStamp(PolygonScriptCount);
    }
}

void TKSN_Mesh::EndUsingSelection(TKSN_Selection* selection)
{
    if (selection)
        selection->NotInUse("EndUsingSelection");
}

void TKSN_Mesh::OnMorphChanged(TKSN_Morph* morph)
{
    if (morph)
        morph->OnChanged();
}

// ============================================================================
// [SECTION] Sub-division levels
// ============================================================================

TKSN_SubDMesh* TKSN_Mesh::GetSubD(int level)
{
    return static_cast<TKSN_SubDMesh*>(GetCustomPointerProperty(SubDKey(level).c_str()));
}

TKSN_SubDMesh* TKSN_Mesh::GetSubD_For_Editing() { return GetSubD(ActualMaxSubDLevel); }
TKSN_SubDMesh* TKSN_Mesh::GetSubD_MaxLevel() { return GetSubD(ActualMaxSubDLevel); }
TKSN_SubDMesh* TKSN_Mesh::GetSubD_Current() { return GetSubD(GetCurrentSubDLevel()); }

int TKSN_Mesh::GetCurrentSubDLevel()
{
    CurrentSubDLevel = std::clamp(CurrentSubDLevel, 0, std::max(ActualMaxSubDLevel, 0));
    return CurrentSubDLevel;
}

bool TKSN_Mesh::SetCurrentSubDLevel(int level)
{
    CurrentSubDLevel = std::clamp(level, 0, std::max(ActualMaxSubDLevel, 0));
    InvalidateAllInOSpace();
    return CurrentSubDLevel == level;
}

int TKSN_Mesh::GetTargetMaxSubDLevel()
{
    if (polygonCount <= 0)
        return 0;
    int64_t n = polygonCount;
    if (!SelectedListsValid)
        BuildSelectedVerticesAndPolygons2(true, false);
    if (SelectedPolygonCount > 0)
        n = SelectedPolygonCount;
    // 64-bit so that a large target cannot overflow the count; a target above
    // what a level can ever hold is taken as that maximum.
    const int64_t target = std::clamp<int64_t>(TargetMaxSubDPolygonCount, 0, INT32_MAX);
    int levels = 0;
    while (n < target) {
        ++levels;
        n *= 4;
    }
    return levels - 1;
}

void TKSN_Mesh::DestroyAllSubDs()
{
    for (int level = 0; level <= ActualMaxSubDLevel; ++level) {
        const std::string key = SubDKey(level);
        delete static_cast<TKSN_SubDMesh*>(GetCustomPointerProperty(key.c_str()));
        SetCustomPointerProperty(key.c_str(), nullptr);
    }
    ActualMaxSubDLevel = 0;
    CurrentSubDLevel = 0;
    SubDsBuilt = false;
    SubDBaseVerticesValid = false;
}

void TKSN_Mesh::InvalidateCubeInOSpace(float* min, float* max)
{
    TQORPolyMesh::InvalidateCubeInOSpace(min, max);
    if (!SubDsBuilt) return;
    for (int level = 0; level <= ActualMaxSubDLevel; ++level)
        if (TKSN_SubDMesh* l = GetSubD(level)) l->InvalidateCubeInOSpace(min, max);
}

void TKSN_Mesh::InvalidateAllInOSpace()
{
    TQORPolyMesh::InvalidateAllInOSpace();
    if (!SubDsBuilt) return;
    for (int level = 0; level <= ActualMaxSubDLevel; ++level)
        if (TKSN_SubDMesh* l = GetSubD(level)) l->InvalidateAllInOSpace();
}

void TKSN_Mesh::ValidateAllInOSpace(bool flag)
{
    const bool invalid =
        invalidMax[0] > invalidMin[0] || invalidMax[1] > invalidMin[1] || invalidMax[2] > invalidMin[2];
    if (SubDsEnabled && invalid && KSN_GetSubDMeshHooks().Bake) KSN_GetSubDMeshHooks().Bake(this, true, flag);
    TQORPolyMesh::ValidateAllInOSpace(flag);
    if (!SubDsBuilt) return;
    for (int level = 0; level <= ActualMaxSubDLevel; ++level)
        if (TKSN_SubDMesh* l = GetSubD(level)) l->ValidateAllInOSpace(flag);
}

void TKSN_Mesh::InvalidateAllOctreeNodeDisplayLists()
{
    TQORPolyMesh::InvalidateAllOctreeNodeDisplayLists();
    if (ActualMaxSubDLevel < 0) return;
    for (int level = 0; level <= ActualMaxSubDLevel; ++level)
        if (TKSN_SubDMesh* l = GetSubD(level)) l->InvalidateAllOctreeNodeDisplayLists();
}

void TKSN_Mesh::InvalidateSubDBaseVertices()
{
    if (GetSubD(ActualMaxSubDLevel)) {
        DestroyAllSubDs();
        const std::string message =
            SubstituteName(Lang.GetText(kReinitializeSubDText), KSN_MeshApp_GetObjectName(OwnerObject));
        OS.PrintMessage("%s", message.c_str());
    }
    SubDBaseVerticesValid = false;
    InvalidateAllInOSpace();
}

bool TKSN_Mesh::DoRenderDoubleSided() { return OwnerObject && OwnerObject->RenderDoubleSided; }
