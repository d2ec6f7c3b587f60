// The undo and redo lists: recording a change as nodes, the undo limit, the
// idle pass that drops useless nodes and parks their data, and taking a step
// back or forward.
//
// Undoing a step consumes its nodes newest first. For each node the state it
// would overwrite is first recorded as a node of the same kind on the other
// list (the inverse), then the node's state is put back and the node is
// deleted, so redoing the inverse step brings the whole step back. Kinds
// without inverse (transform, map creation, modelling) cannot be redone.
//
// Index:
//   [SECTION] Helpers
//   [SECTION] Recording
//   [SECTION] Named recorders
//   [SECTION] Emptying and trimming
//   [SECTION] Idle pass
//   [SECTION] Undo and redo
#include "KSN_Project.h"

#include "KSN_Application.h"
#include "KSN_Faceloom.h"
#include "KSN_Layer.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_PolygonLayer.h"
#include "KSN_SculptUndo.h"
#include "KSN_Undo.h"
#include "KSN_Union.h"
#include "OS.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORMemory.h"
#include "QORString.h"
#include "QORTimer.h"
#include "QORVirtualMemory.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <memory>

// ============================================================================
// [SECTION] Helpers
// ============================================================================

namespace {

constexpr int kUndoingText = 812, kRedoingText = 980;
constexpr int kNothingToUndoText = 295, kNothingToRedoText = 379;
constexpr int kUndoDisabledText = 1028;

template <class T>
T* ThingyAs(uint32_t id)
{
    return id && id != KSN_UNDO_NO_OBJECT ? dynamic_cast<T*>(__GetThingyFromID(id)) : nullptr;
}

char* CopyName(const char* name)
{
    const size_t length = name ? std::strlen(name) : 0;
    auto* copy = static_cast<char*>(QORalloc(length + 1));
    if (length) std::memcpy(copy, name, length);
    copy[length] = '\0';
    return copy;
}

// The materials of the mesh's list in order, up to the first entry that is
// not a material.
std::vector<TQORMaterial*> MaterialsOf(TKSN_Mesh* mesh)
{
    std::vector<TQORMaterial*> materials;
    if (!mesh || !mesh->Materials) return materials;
    for (int i = 0; i < mesh->Materials->GetItemCount(); ++i) {
        TQORMaterial* material = KSN_MaterialFromThingy(mesh->Materials->GetItem(i));
        if (!material) break;
        materials.push_back(material);
    }
    return materials;
}

std::vector<TQORGroup2*> GroupsOf(TKSN_Mesh* mesh)
{
    std::vector<TQORGroup2*> groups;
    if (!mesh || !mesh->Groups2) return groups;
    for (int i = 0; i < mesh->Groups2->GetItemCount(); ++i) {
        TQORGroup2* group = mesh->Groups2->GetItemAs(i);
        if (!group) break;
        groups.push_back(group);
    }
    return groups;
}

// One value per polygon, taken by get.
template <class F>
TKSN_LayerUndoNode* CapturePolygonValues(TKSN_Mesh* mesh, F&& get)
{
    auto* payload = new TKSN_LayerUndoNode;
    payload->Count = mesh->GetPCount();
    if (payload->Count > 0) {
        payload->Values = static_cast<int32_t*>(QORalloc(uint64_t(payload->Count) * 4u));
        for (int p = 0; p < payload->Count; ++p) payload->Values[p] = get(p);
    }
    return payload;
}

// Ends the progress indication whatever way the operation ends.
struct TProgressScope {
    TProgressScope() { OS.InProgress(); }
    ~TProgressScope() { OS.NotInProgress(); }
    TProgressScope(const TProgressScope&) = delete;
    TProgressScope& operator=(const TProgressScope&) = delete;
};

} // namespace

uint64_t TKSN_Project::GetUndoLimitBytes(int undoLimit)
{
    return undoLimit > 0 ? uint64_t(undoLimit) * 1048576u : 0u;
}

// ============================================================================
// [SECTION] Recording
// ============================================================================

TKSN_Undo_Node* TKSN_Project::CreateUndoNode(TKSN_Object* object, int kind, int mode, int /*unused*/)
{
    if (!App || App->undoLimit <= 0 || kind < 1000) return nullptr;
    auto node = std::make_unique<TKSN_Undo_Node>();
    node->Kind = kind;
    node->Mode = mode == -1 ? GetMode() : mode;
    TKSN_Mesh* mesh = object ? object->Mesh.get() : nullptr;

    switch (kind) {
    case KSN_UNDO_HEADER:
        node->Payload = new TKSN_Thingy;
        break;
    case KSN_UNDO_SELECTION:
        if (mesh) {
            auto* selection = new TKSN_Selection(mesh->GetVCount(), mesh->GetID());
            node->Payload = selection;
            mesh->StoreCurrentSelectionValues(selection, false);
            selection->NotInUse("Undo-Redo");
        }
        break;
    case KSN_UNDO_DEFORMATION:
        if (mesh) {
            TKSN_Morph* current = mesh->GetCurrentMorph();
            if (!current) return nullptr;
            TKSN_Morph* copy = mesh->CreateMorph(nullptr);
            node->Payload = copy;
            if (current == mesh->BaseVerticesMorph) {
                copy->reservedValue = int32_t(current->GetID());
                copy->SetVCount(mesh->GetVCount());
                if (mesh->GetVCount() > 0)
                    mesh->GetBaseVertexArray(copy->GetPointerToExpandedArray(), mesh->GetVCount());
            } else {
                mesh->BeginUsingMorph(current);
                copy->Copy(current);
                mesh->EndUsingMorph(current);
            }
            copy->NotInUse("Undo-Redo");
        }
        break;
    case KSN_UNDO_PAINT:
        node->Payload = new TKSN_Undo_Node_Paint;
        break;
    case KSN_UNDO_TRANSFORM:
        if (mesh) {
            std::memcpy(node->TransformPosition, mesh->Transform_Pos, sizeof(node->TransformPosition));
            std::memcpy(node->TransformScale, mesh->Transform_Scale, sizeof(node->TransformScale));
            std::memcpy(node->TransformRotation, mesh->RotationMatrix, sizeof(node->TransformRotation));
        }
        break;
    case KSN_UNDO_MODEL:
        node->Payload = new TKSN_Undo_Node_Model;
        break;
    case KSN_UNDO_MORPH_STRENGTHS: {
        auto* payload = new TKSN_MorphStrengthUndoNodeList;
        node->Payload = payload;
        std::unique_ptr<TQORNewStaticList<TKSN_MorphUnion*>> unions(GetMorphUnionList());
        for (TKSN_MorphUnion* morphUnion : *unions)
            if (morphUnion && !morphUnion->IsBaseVertices())
                payload->Add({morphUnion->Strength, morphUnion->GetID()});
        break;
    }
    case KSN_UNDO_LAYER_ASSIGNMENTS:
        if (mesh)
            node->Payload = CapturePolygonValues(mesh, [mesh](int p) { return int32_t(mesh->GetPolyLayerFlags(p)); });
        break;
    case KSN_UNDO_LAYER_STATES: {
        auto* payload = new TKSN_LayerStateUndoNode;
        node->Payload = payload;
        for (int n = 0; n < KSN_POLYGON_LAYER_COUNT; ++n)
            if (PolygonLayers[n]) payload->Layers[n].Copy(PolygonLayers[n]);
        break;
    }
    case KSN_UNDO_MATERIAL_ASSIGNMENTS:
        if (mesh)
            node->Payload = CapturePolygonValues(mesh, [mesh](int p) { return int32_t(mesh->Polygons[p].Material); });
        break;
    case KSN_UNDO_GROUP_ASSIGNMENTS:
        if (mesh)
            node->Payload = CapturePolygonValues(mesh, [mesh](int p) { return int32_t(mesh->Polygons[p].Group); });
        break;
    case KSN_UNDO_MATERIAL_STATES:
        if (mesh && mesh->Materials) {
            auto* payload = new TKSN_MaterialStateUndoNode;
            node->Payload = payload;
            const int count = mesh->Materials->GetItemCount();
            payload->Count = count;
            payload->Materials = static_cast<TQORMaterial**>(QORalloc(uint64_t(std::max(count, 1)) * sizeof(void*)));
            for (int i = 0; i < count; ++i) payload->Materials[i] = new TQORMaterial;
            const std::vector<TQORMaterial*> materials = MaterialsOf(mesh);
            for (size_t i = 0; i < materials.size(); ++i) payload->Materials[i]->CopyWithChannelFlags(materials[i]);
        }
        break;
    case KSN_UNDO_GROUP_STATES:
        if (mesh && mesh->Groups2) {
            auto* payload = new TKSN_GroupStateUndoNode;
            node->Payload = payload;
            const int count = mesh->Groups2->GetItemCount();
            payload->Count = count;
            payload->Groups = static_cast<TKSN_Thingy**>(QORalloc(uint64_t(std::max(count, 1)) * sizeof(void*)));
            for (int i = 0; i < count; ++i) payload->Groups[i] = new TKSN_Thingy;
            const std::vector<TQORGroup2*> groups = GroupsOf(mesh);
            for (size_t i = 0; i < groups.size(); ++i) payload->Groups[i]->SetName("%s", groups[i]->GetName());
        }
        break;
    case KSN_UNDO_SCULPT:
        // Filled by whoever records it: the stroke's start state or, for an
        // inverse, the state of the layer being restored.
        node->Payload = new TKSN_SculptUndoNode;
        break;
    default:
        break;
    }

    if (node->Payload) node->Size = int32_t(std::min<uint64_t>(node->Payload->GetApproximateSize(), INT32_MAX));
    if (object) node->ObjectID = object->GetID();
    return node.release();
}

void TKSN_Project::AddUndoRedoNode(TKSN_Undo_Node*& list, TKSN_Undo_Node* node)
{
    if (!node) return;
    // A damaged list refuses the append (GetLast throws); the node is not leaked.
    std::unique_ptr<TKSN_Undo_Node> owned(node);
    if (!list) {
        node->Prev = node->Next = nullptr;
        list = node;
    } else {
        list->AddToEnd(node);
    }
    owned.release();

    // Sizes change as payloads are compressed, so they are read afresh.
    uint64_t total = 0;
    for (TKSN_Undo_Node* n = list; n; n = n->Next) {
        if (n->Payload) n->Size = int32_t(std::min<uint64_t>(n->Payload->GetApproximateSize(), INT32_MAX));
        total += uint64_t(std::max(n->Size, 0));
    }

    const uint64_t limit = GetUndoLimitBytes(App ? App->undoLimit : 0);
    while (total > limit && list) {
        const int32_t step = list->StepNumber;
        uint64_t stepSize = 0;
        TKSN_Undo_Node* after = list;
        while (after && after->StepNumber == step) {
            stepSize += uint64_t(std::max(after->Size, 0));
            after = after->Next;
        }
        if (!after) break;   // the newest step stays, however large
        while (list != after) {
            TKSN_Undo_Node* first = list;
            list = first->Next;
            delete first;
        }
        list->Prev = nullptr;
        total -= stepSize;
    }
}

TKSN_Undo_Node* TKSN_Project::SetupCurrentUndo(TKSN_Object* object, int kind, int mode, const char* message,
                                               bool keepRedo)
{
    if (!keepRedo) EmptyRedoStack();
    TKSN_Undo_Node* node = CreateUndoNode(object, kind, mode, 0);
    if (!node) return nullptr;
    AddUndoRedoNode(UndoList, node);
    if (message) node->SetMessage(message);
    return node;
}

// ============================================================================
// [SECTION] Named recorders
// ============================================================================

void TKSN_Project::SetupUndoForMorph(TKSN_Object* object, TKSN_Morph* morph, const char* message)
{
    TKSN_Mesh* mesh = object ? object->Mesh.get() : nullptr;
    if (!mesh || !morph) return;
    TKSN_Morph* previous = mesh->GetCurrentMorph();
    mesh->SetCurrentMorph(morph);
    SetupCurrentUndo(object, KSN_UNDO_DEFORMATION, 1, message, false);
    mesh->SetCurrentMorph(previous);
}

void TKSN_Project::SetupUndoForMorphMixerValues(TKSN_Object* object, const char* message)
{
    SetupCurrentUndo(object, KSN_UNDO_MORPH_STRENGTHS, -1, message, true);
}

void TKSN_Project::SetupUndoForLayerAssignments(TKSN_Object* object, const char* message)
{
    SetupCurrentUndo(object, KSN_UNDO_LAYER_ASSIGNMENTS, -1, message, false);
}

void TKSN_Project::SetupUndoForLayerStates(const char* message)
{
    SetupCurrentUndo(nullptr, KSN_UNDO_LAYER_STATES, -1, message, false);
}

void TKSN_Project::SetupUndoForMaterialAssignments(TKSN_Object* object, const char* message)
{
    SetupCurrentUndo(object, KSN_UNDO_MATERIAL_ASSIGNMENTS, -1, message, false);
}

void TKSN_Project::SetupUndoForMaterialStates(TKSN_Object* object, const char* message)
{
    SetupCurrentUndo(object, KSN_UNDO_MATERIAL_STATES, -1, message, false);
}

void TKSN_Project::SetupUndoForGroupAssignments(TKSN_Object* object, const char* message)
{
    SetupCurrentUndo(object, KSN_UNDO_GROUP_ASSIGNMENTS, -1, message, false);
}

void TKSN_Project::SetupUndoForGroupStates(TKSN_Object* object, const char* message)
{
    SetupCurrentUndo(object, KSN_UNDO_GROUP_STATES, -1, message, false);
}

TKSN_Undo_Node_Model* TKSN_Project::SetupUndoForModel(TKSN_Object* object, const char* message, bool keepRedo)
{
    TKSN_Undo_Node* node = SetupCurrentUndo(object, KSN_UNDO_MODEL, 4, message, keepRedo);
    return node ? dynamic_cast<TKSN_Undo_Node_Model*>(node->Payload) : nullptr;
}

void TKSN_Project::SetupUndoForMapAssignments(TKSN_Object* object, const char* message, bool keepRedo)
{
    if (!keepRedo) EmptyRedoStack();
    SetupUndoRedoForMapAssignments(object, UndoList, message);
}

void TKSN_Project::SetupUndoRedoForMapAssignments(TKSN_Object* object, TKSN_Undo_Node*& list, const char* message)
{
    TKSN_Mesh* mesh = object ? object->Mesh.get() : nullptr;
    if (!mesh) return;
    std::unique_ptr<TKSN_Undo_Node> node(CreateUndoNode(object, KSN_UNDO_MAP_ASSIGNMENTS, -1, 0));
    if (!node) return;
    node->SetMessage(message);
    auto* payload = new TKSN_MapAssignments;
    node->Payload = payload;
    const bool withLayers = MapLayers && !MapLayers->GetAllLayers().empty();
    for (TQORMaterial* material : MaterialsOf(mesh)) {
        for (TQORMaterialChannel* channel : material->ArbChannels) {
            if (!channel) continue;
            auto* entry = new TKSN_MapAssignmentNode;
            payload->Nodes.Add(entry);
            entry->MaterialName = CopyName(material->GetName());
            entry->ChannelName = CopyName(channel->GetName());
            auto* binding = ThingyAs<TQORMaterialMap>(channel->GetMapID());
            TQORMaterialMapSource* source = binding ? binding->GetMapSource() : nullptr;
            if (!source) continue;
            entry->MapSourceID = source->GetID();
            entry->ContentID = withLayers ? source->GetCurrentLayerDataID() : source->GetID();
        }
    }
    AddUndoRedoNode(list, node.release());
}


void TKSN_Project::DeleteLastMorphMixerUndoNodeIfNoChange()
{
    TKSN_Undo_Node* last = UndoList ? UndoList->GetLast() : nullptr;
    auto* payload = last ? dynamic_cast<TKSN_MorphStrengthUndoNodeList*>(last->Payload) : nullptr;
    if (!payload) return;

    std::unique_ptr<TQORNewStaticList<TKSN_MorphUnion*>> unions(GetMorphUnionList());
    if (payload->Count() > 0 && unions->Count() > 0) {
        for (TKSN_MorphUnion* morphUnion : *unions) {
            if (!morphUnion) continue;
            for (const TKSN_MorphStrengthUndoNode& record : *payload)
                if (record.ID == morphUnion->GetID() && std::abs(record.Strength - morphUnion->Strength) > 1e-30f) {
                    // The step stays, and like every kept change it ends what could be redone.
                    EmptyRedoStack();
                    return;
                }
        }
    }
    if (last == UndoList) UndoList = nullptr;
    last->Unlink();
    delete last;
}

// ============================================================================
// [SECTION] Emptying and trimming
// ============================================================================

namespace {

void DeleteAllNodes(TKSN_Undo_Node*& list)
{
    TKSN_Undo_Node* node = list;
    list = nullptr;
    while (node) {
        TKSN_Undo_Node* next = node->Next;
        delete node;
        node = next;
    }
}

} // namespace

void TKSN_Project::EmptyUndoStack() { DeleteAllNodes(UndoList); }

void TKSN_Project::EmptyRedoStack() { DeleteAllNodes(RedoList); }

// ============================================================================
// [SECTION] Idle pass
// ============================================================================

void TKSN_Project::OptimizeUndoNodes(float seconds) { OptimizeUndoRedoNodes(UndoList, seconds); }

void TKSN_Project::OptimizeRedoNodes(float seconds) { OptimizeUndoRedoNodes(RedoList, seconds); }

void TKSN_Project::OptimizeUndoRedoNodes(TKSN_Undo_Node*& list, float seconds)
{
    TQORTimer timer;
    timer.Start();
    auto overBudget = [&] { return timer.Read() > double(seconds); };

    TKSN_Undo_Node* node = list;
    while (node) {
        TKSN_Undo_Node* next = node->Next;
        if (!node->IsStillValid()) {
            if (node == list) {
                list = next;
                if (next) next->Prev = nullptr;
            } else {
                node->Unlink();
            }
            delete node;
            node = next;
            continue;
        }

        if (!node->Optimized) {
            switch (node->Kind) {
            case KSN_UNDO_SELECTION:
                if (auto* selection = dynamic_cast<TKSN_Selection*>(node->Payload)) {
                    if (!node->SelectionCompressed) {
                        node->SelectionCompressed = true;
                        if (!selection->IsCompressed()) selection->Compress();
                    } else {
                        selection->NotInUse("OptimizeUndoNodes");
                        node->Optimized = true;
                    }
                }
                break;
            case KSN_UNDO_PAINT: {
                auto* paint = dynamic_cast<TKSN_Undo_Node_Paint*>(node->Payload);
                for (int m = 0; paint && m < paint->Maps.Count(); ++m)
                    for (TKSN_Undo_Node_Paint_SparceBlock* block : paint->Maps[m]->Blocks) {
                        block->Color.PushPixelsToVirtualMemory();
                        if (overBudget()) return;
                        block->Alpha.PushPixelsToVirtualMemory();
                        if (overBudget()) return;
                    }
                node->Optimized = true;
                break;
            }
            case KSN_UNDO_MAP_EDIT:
                if (auto* copy = dynamic_cast<TQORMaterialMapSource*>(node->Payload)) {
                    if (!copy->ArePixelsInVirtualMemory()) {
                        copy->PushPixelsToVirtualMemory();
                        if (overBudget()) return;
                    }
                    TQORImageMap& mask = copy->GetAlphaMask();
                    if (!mask.ArePixelsInVirtualMemory()) mask.PushPixelsToVirtualMemory();
                }
                node->Optimized = true;
                break;
            case KSN_UNDO_MODEL:
                if (auto* model = dynamic_cast<TKSN_Undo_Node_Model*>(node->Payload)) model->PushDataToVirtualMemory();
                break;
            case KSN_UNDO_LAYER_ASSIGNMENTS:
            case KSN_UNDO_MATERIAL_ASSIGNMENTS:
            case KSN_UNDO_GROUP_ASSIGNMENTS:
                if (auto* values = dynamic_cast<TKSN_LayerUndoNode*>(node->Payload)) values->PushDataToVirtualMemory();
                break;
            default:
                break;
            }
        }
        if (overBudget()) return;
        node = next;
    }
}

// ============================================================================
// [SECTION] Undo and redo
// ============================================================================

namespace {

// What one UndoRedo call knows while it restores the nodes of a step.
struct TUndoRedoPass {
    bool StepMessageShown = false;
    int32_t UndoneModelStep = -1;
    bool ModelUndone = false;
};

} // namespace

void TKSN_Project::Undo()
{
    try {
        UndoRedo(UndoList);
    } catch (const std::exception& error) {
        OS.WarningMessage("%s", error.what());
    }
}

void TKSN_Project::Redo()
{
    try {
        UndoRedo(RedoList);
    } catch (const std::exception& error) {
        OS.WarningMessage("%s", error.what());
    }
}

void TKSN_Project::UndoRedo(TKSN_Undo_Node*& list)
{
    TQORVirtualMemory_AutoPauseResume pause(true);
    TProgressScope progress;

    const bool undoing = &list == &UndoList;
    if (!list && (!App || App->undoLimit <= 0)) {
        OS.WarningMessage("%s", Lang.GetText(kUndoDisabledText));
        return;
    }
    FinishAllVertexAdjustments();
    if (!list) {
        OS.WarningMessageNoRepeat("%s", Lang.GetText(undoing ? kNothingToUndoText : kNothingToRedoText));
        return;
    }

    TUndoRedoPass pass;

    const int32_t step = list->GetLast()->StepNumber;
    for (TKSN_Undo_Node* n = list->GetLast(); n && n->StepNumber == step; n = n->Prev)
        if (n->Kind == KSN_UNDO_HEADER) {
            if (n->Message[0]) {
                OS.PrintMessageNoRepeat(Lang.GetText(undoing ? kUndoingText : kRedoingText), n->Message);
                pass.StepMessageShown = true;
            }
            break;
        }

    while (list && list->GetLast()->StepNumber == step) {
        OS.DoProgress();
        TKSN_Undo_Node* last = list->GetLast();
        if (last == list)
            list = nullptr;
        else
            last->Unlink();
        last->Prev = last->Next = nullptr;
        // Deleted however the restore ends; the rest of the step stays listed.
        std::unique_ptr<TKSN_Undo_Node> node(last);

        TKSN_Object* object = ThingyAs<TKSN_Object>(node->ObjectID);
        if (object && GetCurrentObject() != object) SetCurrentObject(object);

        bool due = false;
        const bool silent = QORstrcmpi(node->Message, KSN_NO_UNDO_MESSAGE) == 0;
        if (!pass.StepMessageShown && !silent) {
            if (node->Message[0] || node->Kind == KSN_UNDO_HEADER)
                OS.PrintMessageNoRepeat(Lang.GetText(undoing ? kUndoingText : kRedoingText), node->Message);
            else
                due = true;
        }

        // A tool's settings node: the tool takes the saved settings back and
        // hands over the ones they replace, which go to the other list.
        if (node->Kind == KSN_UNDO_TOOL_SETTINGS) {
            auto* faceloom = dynamic_cast<TKSN_Faceloom*>(node->Tool);
            TKSN_StringList* present = faceloom ? faceloom->SwapSettings(node->Payload) : nullptr;
            if (present) {
                TKSN_Undo_Node*& other = undoing ? RedoList : UndoList;
                TKSN_Undo_Node* inverse = CreateUndoNode(nullptr, KSN_UNDO_TOOL_SETTINGS, node->Mode, 0);
                if (inverse) {
                    inverse->Payload = present;
                    inverse->Tool = node->Tool;
                    inverse->SetMessage(node->Message);
                    AddUndoRedoNode(other, inverse);
                } else {
                    delete present;
                }
            }
            continue;
        }
        RestoreUndoNode(*node, object, undoing, due, pass.UndoneModelStep, pass.ModelUndone);
    }

    if (undoing && pass.ModelUndone) {
        while (RedoList && RedoList->StepNumber >= pass.UndoneModelStep) {
            TKSN_Undo_Node* first = RedoList;
            RedoList = first->Next;
            if (RedoList) RedoList->Prev = nullptr;
            delete first;
        }
    }
}
