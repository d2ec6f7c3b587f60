// Restoring one undo node of a step, by kind. The inverse is always recorded
// before the document changes, so it holds the state about to be replaced.
// A node whose object, mesh, payload or target is gone restores nothing.
#include "KSN_Project.h"

#include "KSN_Application.h"
#include "KSN_Layer.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_PolygonLayer.h"
#include "KSN_SculptUndo.h"
#include "KSN_Undo.h"
#include "KSN_Union.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"

#include <algorithm>
#include <iterator>
#include <cstring>
#include <memory>

namespace {

constexpr int kRedrawCommand = 147;
constexpr int kRefreshInterfaceCommand = 432;
constexpr int kRefreshLayerWindowCommand = 436;
constexpr int kMaterialsChangedCommand = 441;

// The kinds' own texts: undoing, redoing.
constexpr int kSelectionTexts[2] = {824, 977};
constexpr int kDeformationTexts[2] = {826, 979};
constexpr int kPaintTexts[2] = {823, 976};
constexpr int kMapEditTexts[2] = {822, 975};
constexpr int kMapAssignmentTexts[2] = {821, 974};
constexpr int kModelText = 825;

template <class T>
T* ThingyAs(uint32_t id)
{
    return id && id != KSN_UNDO_NO_OBJECT ? dynamic_cast<T*>(__GetThingyFromID(id)) : nullptr;
}

void PrintWhenDue(bool& due, bool undoing, const int (&texts)[2])
{
    if (!due) return;
    due = false;
    OS.PrintMessageNoRepeat("%s", Lang.GetText(undoing ? texts[0] : texts[1]));
}

void PushInterfaceRefresh()
{
    QOREvents_PushEvent(kRedrawCommand);
    QOREvents_PushEvent(kRefreshInterfaceCommand);
}

// The snapshot's arrays back into the mesh (geometry bracket open).
void RestoreSnapshotArrays(TKSN_Undo_Node_Model& model, TKSN_Mesh* mesh, TKSN_Object* object)
{
    const char* objectName = object ? object->GetName() : "";
    mesh->symmetryOffset = model.SymmetryOffset;
    mesh->SetVertexCount(model.VertexCount);
    if (!model.BaseVertices.GetData(mesh->baseVertices, 3 * mesh->GetVCount()))
        OS.WarningMessage("Error getting base vertices in undo for %s", objectName);
    mesh->SetTVertexCount(model.TVertexCount);
    if (!model.TextureVertices.GetData(mesh->tVertices, 2 * mesh->GetTVCount()))
        OS.WarningMessage("Error getting texture vertices in undo for %s", objectName);
    mesh->SetPolygonCount(model.PolygonCount);
    for (int p = 0; model.Polygons && p < mesh->GetPCount(); ++p) mesh->Polygons[p].Copy(&model.Polygons[p]);

    for (TKSN_Undo_Node_Model_SelectionNode* entry : model.ChangedSelectionList) {
        auto* selection = ThingyAs<TKSN_Selection>(entry->ID);
        if (!selection) continue;
        mesh->BeginUsingSelection(selection);
        const bool wasCompressed = selection->IsCompressed();
        selection->Expand();
        selection->SetVCount(selection->GetSelectionType() == eSelectionType_Polygon ? mesh->GetPCount()
                                                                                      : mesh->GetVCount());
        const int count = std::min(selection->GetVCount(), entry->Count);
        if (!entry->GetData(selection->GetPointerToExpandedArray(), count))
            OS.WarningMessage("Error getting selection values in undo for %s", selection->GetName());
        if (wasCompressed) selection->Compress();
        mesh->EndUsingSelection(selection);
    }

    for (TKSN_Undo_Node_Model_MorphNode* entry : model.ChangedMorphList) {
        auto* morph = ThingyAs<TKSN_Morph>(entry->ID);
        if (!morph) continue;
        mesh->BeginUsingMorph(morph);
        morph->SetVCount(mesh->GetVCount());
        const bool wasCompressed = morph->IsCompressed();
        morph->Expand();
        const int count = std::min(3 * mesh->GetVCount(), entry->Count);
        if (!entry->GetData(morph->GetPointerToExpandedArray(), count))
            OS.WarningMessage("Error getting morph deltas in undo for %s", morph->GetName());
        if (wasCompressed) morph->Compress();
        morph->OnChanged();
        mesh->EndUsingMorph(morph);
    }
}

// Writes the stored weights into the mesh's working weights (0..1) of the
// selection's own type, then carries them into the type the application
// works in. TODO(stub): stands for the project's preset-selection
// application, which also serves selection unions across objects.
void ApplySelectionValues(TKSN_Mesh* mesh, TKSN_Selection* selection)
{
    selection->IsInUse("Undo-Redo");
    selection->Expand();
    const bool perVertex = selection->GetSelectionType() == eSelectionType_Vertex;
    const int count = std::min(selection->GetVCount(), perVertex ? mesh->GetVCount() : mesh->GetPCount());
    for (int i = 0; i < count; ++i) {
        const float weight = std::clamp(selection->GetVSelect(i), 0.0f, 1.0f);
        if (perVertex)
            mesh->VertexInfo[i].Select = weight;
        else
            mesh->Polygons[i].Select = weight;
    }
    const int working = KSN_MeshApp_GetSelectionType();
    if (perVertex && working == eSelectionType_Polygon) mesh->ConvertSelectedVerticesToPolygons();
    if (!perVertex && working == eSelectionType_Vertex) mesh->ConvertSelectedPolygonsToVertices();
    mesh->OnSelectionChanged();
}

} // namespace

void TKSN_Project::RestoreUndoNode(TKSN_Undo_Node& node, TKSN_Object* object, bool undoing, bool due,
                                   int32_t& undoneModelStep, bool& modelUndone)
{
    TKSN_Mesh* mesh = object ? object->Mesh.get() : nullptr;
    auto recordInverse = [&](TKSN_Object* of, int kind, int mode) -> TKSN_Undo_Node* {
        if (!undoing) return SetupCurrentUndo(of, kind, mode, node.Message, true);
        TKSN_Undo_Node* inverse = CreateUndoNode(of, kind, mode, 0);
        AddUndoRedoNode(RedoList, inverse);
        if (inverse) inverse->SetMessage(node.Message);
        return inverse;
    };
    TKSN_Undo_Node*& other = undoing ? RedoList : UndoList;
    auto afterLayerChange = [&] {
        UpdateLockedLayers();
        UpdateVisibleLayers();
        OnShapeChanged(true, true);
    };

    switch (node.Kind) {
    case KSN_UNDO_HEADER:
        recordInverse(nullptr, KSN_UNDO_HEADER, 0);
        break;

    case KSN_UNDO_SELECTION: {
        auto* selection = dynamic_cast<TKSN_Selection*>(node.Payload);
        if (selection && mesh) {
            PrintWhenDue(due, undoing, kSelectionTexts);
            recordInverse(object, KSN_UNDO_SELECTION, 0);
            selection->SetScriptStamp(selection->GetSelectionType() == eSelectionType_Polygon
                                          ? mesh->PolygonScriptCount
                                          : mesh->VertexScriptCount);
            ApplySelectionValues(mesh, selection);
        }
        AfterFullSelection(false);
        break;
    }

    case KSN_UNDO_DEFORMATION: {
        auto* payload = dynamic_cast<TKSN_Morph*>(node.Payload);
        TKSN_Morph* target = payload ? ThingyAs<TKSN_Morph>(uint32_t(payload->GetCopiedFromID())) : nullptr;
        if (payload && target && mesh) {
            PrintWhenDue(due, undoing, kDeformationTexts);
            // The inverse captures the current morph, so the target is made current first.
            mesh->SetCurrentMorph(target);
            TKSN_Undo_Node* inverse = recordInverse(object, KSN_UNDO_DEFORMATION, 0);
            // On the modelling tab the current morph is always the base
            // vertices; an ordinary target is then captured by itself.
            auto* captured = inverse ? dynamic_cast<TKSN_Morph*>(inverse->Payload) : nullptr;
            if (captured && captured->GetCopiedFromID() != int32_t(target->GetID())) {
                mesh->BeginUsingMorph(target);
                captured->Copy(target);
                mesh->EndUsingMorph(target);
                captured->NotInUse("Undo-Redo");
            }
            target->SetScriptStamp(mesh->VertexScriptCount);
            payload->SetScriptStamp(mesh->VertexScriptCount);
            mesh->BeginUsingMorph(target);
            payload->IsInUse("Undo-Redo");
            if (target == mesh->BaseVerticesMorph) {
                const int count = mesh->GetVCount();
                if (count > 0 && count == payload->GetVCount())
                    std::memcpy(mesh->baseVertices, payload->GetVertex(0), size_t(3 * count) * sizeof(float));
                mesh->SymmetryStarted = false;
                InvalidateAffectedObjectsStencil();
                SetActiveSymmetryMapForMesh(mesh);
            } else {
                target->Copy(payload);
                target->OnChanged();
            }
            mesh->EndUsingMorph(target);
            mesh->SetCurrentMorph(target);
        }
        if (mesh) OnShapeChanged(mesh->GetOwnerObject(), true, true);
        break;
    }

    case KSN_UNDO_PAINT: {
        if (auto* paint = dynamic_cast<TKSN_Undo_Node_Paint*>(node.Payload)) {
            PrintWhenDue(due, undoing, kPaintTexts);
            TKSN_Undo_Node* inverse = recordInverse(nullptr, KSN_UNDO_PAINT, 3);
            auto* inversePaint = inverse ? dynamic_cast<TKSN_Undo_Node_Paint*>(inverse->Payload) : nullptr;
            for (TKSN_Undo_Node_Paint_Map* record : paint->Maps) {
                auto* map = ThingyAs<TQORMaterialMapSource>(record->MapSourceID);
                if (!map) continue;
                OS.DoProgress();
                TKSN_Undo_Node_Paint_Map* counterpart = nullptr;
                if (inversePaint) {
                    counterpart = new TKSN_Undo_Node_Paint_Map;
                    counterpart->MapSourceID = record->MapSourceID;
                    counterpart->LayerDataID = record->LayerDataID;
                    inversePaint->Maps.Add(counterpart);
                }
                UndoRedoPaintStroke(record, map, counterpart);
            }
            // The inverse's blocks were added after it was listed.
            if (inversePaint)
                inverse->Size = int32_t(std::min<uint64_t>(inversePaint->GetApproximateSize(), INT32_MAX));
        }
        OnAllViewportsChanged();
        break;
    }

    case KSN_UNDO_TRANSFORM:
        if (mesh) {
            std::memcpy(mesh->Transform_Pos, node.TransformPosition, sizeof(node.TransformPosition));
            std::memcpy(mesh->Transform_Scale, node.TransformScale, sizeof(node.TransformScale));
            std::memcpy(mesh->RotationMatrix, node.TransformRotation, sizeof(node.TransformRotation));
            mesh->GenerateTotalMatrix();
            OnShapeChanged(object, true, true);
        }
        break;

    case KSN_UNDO_MAP_EDIT: {
        auto* payload = dynamic_cast<TQORMaterialMapSource*>(node.Payload);
        TQORMaterialMapSource* target = payload ? ThingyAs<TQORMaterialMapSource>(payload->GetCopiedFromID()) : nullptr;
        if (!payload || !target) break;
        OS.DoProgress();
        PrintWhenDue(due, undoing, kMapEditTexts);
        if (undoing)
            SetupRedoForMapEdit(target);
        else
            SetupUndoForMapEdit(target, true);
        target->Copy(payload);
        target->GetAlphaMask().Copy(&payload->GetAlphaMask());
        TQORMaterialMapSource* shown = target;
        std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> maps(GetMapList());
        for (TQORMaterialMapSource* map : *maps) {
            if (!map) continue;
            TKSN_LayerIDIterator begin, end;
            map->GetRawLayerDataIterators(begin, end);
            if (std::any_of(begin, end, [&](const auto& entry) { return entry.second == target->GetID(); })) {
                shown = map;
                break;
            }
        }
        if (shown != target) shown->InvalidateResolvedMap();
        OnWholeMapChanged(shown);
        OnMapTopologyChanged();
        OS.DoProgress();
        PushInterfaceRefresh();
        break;
    }

    case KSN_UNDO_MAP_CREATION:
        if (auto* map = ThingyAs<TQORMaterialMapSource>(node.MapID)) {
            DeleteThingy(Maps, map);
            OnMapTopologyChanged();
        }
        break;

    case KSN_UNDO_MAP_ASSIGNMENTS: {
        PrintWhenDue(due, undoing, kMapAssignmentTexts);
        SetupUndoRedoForMapAssignments(object, other, node.Message);
        auto* payload = dynamic_cast<TKSN_MapAssignments*>(node.Payload);
        if (!payload || !mesh) break;
        for (TKSN_MapAssignmentNode* entry : payload->Nodes) {
            if (!entry->MaterialName || !entry->ChannelName) continue;
            OS.DoProgress();
            TQORMaterial* material = mesh->FindMaterial(entry->MaterialName);
            TQORMaterialChannel* channel = material ? material->GetChannelFromName(entry->ChannelName) : nullptr;
            if (!channel) continue;
            auto* source = ThingyAs<TQORMaterialMapSource>(entry->ContentID);
            TQORMaterialMap* binding = source ? GetMapFromSource(mesh, source, true) : nullptr;
            channel->SetMapID(binding ? int(binding->GetID()) : 0);
        }
        OnMapTopologyChanged();
        PushInterfaceRefresh();
        break;
    }

    case KSN_UNDO_TILING: {
        // A tiling node has no text of its own: without a message it prints nothing.
        SetupUndoRedoForTiling(other, node.Message);
        auto* tiling = dynamic_cast<TKSN_Tiling_UndoNode*>(node.Payload);
        if (!tiling) break;
        std::copy(std::begin(tiling->TileRotationMatrix), std::end(tiling->TileRotationMatrix), TileRotationMatrix);
        std::copy(std::begin(tiling->TileCentre), std::end(tiling->TileCentre), TileCentre);
        BrushTilingStyle = tiling->BrushTilingStyle;
        SetTileWidth(tiling->TileWidth);
        SetTileHeight(tiling->TileHeight);
        PushInterfaceRefresh();
        break;
    }

    case KSN_UNDO_MODEL: {
        auto* model = dynamic_cast<TKSN_Undo_Node_Model*>(node.Payload);
        if (!model) break;
        model->PopDataFromVirtualMemory();
        if (due) OS.PrintMessageNoRepeat("%s", Lang.GetText(kModelText));
        if (undoing) {
            undoneModelStep = node.StepNumber;
            modelUndone = true;
        }
        if (!mesh) break;
        mesh->BeginEditGeometry(nullptr);
        RestoreSnapshotArrays(*model, mesh, object);
        EnforceMorphAndSelectionSizes(mesh);
        mesh->EndEditGeometry(false);
        if (App) App->SetSelectionType(eSelectionType(model->SelectionType));
        const bool perVertex = model->SelectionType == eSelectionType_Vertex;
        if (perVertex || model->SelectionType == eSelectionType_Polygon) {
            const int count = std::min(model->SelectionValues.Count, perVertex ? mesh->GetVCount() : mesh->GetPCount());
            const float* values = model->SelectionValues.GetDataArray();
            for (int i = 0; values && i < count; ++i) {
                const float weight = std::clamp(values[i], 0.0f, 1.0f);
                if (perVertex)
                    mesh->VertexInfo[i].Select = weight;
                else
                    mesh->Polygons[i].Select = weight;
            }
            mesh->OnSelectionChanged();
        }
        afterLayerChange();
        break;
    }

    case KSN_UNDO_MORPH_STRENGTHS: {
        recordInverse(object, KSN_UNDO_MORPH_STRENGTHS, 0);
        auto* payload = dynamic_cast<TKSN_MorphStrengthUndoNodeList*>(node.Payload);
        if (!payload) break;
        for (const TKSN_MorphStrengthUndoNode& record : *payload) {
            if (record.ID == 0) continue;
            if (auto* morph = ThingyAs<TKSN_Morph>(record.ID)) morph->Strength = record.Strength;
            if (auto* morphUnion = ThingyAs<TKSN_MorphUnion>(record.ID)) {
                morphUnion->Strength = record.Strength;
                morphUnion->CopyParametersToAllItems();
            }
        }
        OnShapeChanged(true, true);
        break;
    }

    case KSN_UNDO_LAYER_ASSIGNMENTS: {
        recordInverse(object, KSN_UNDO_LAYER_ASSIGNMENTS, 0);
        auto* payload = dynamic_cast<TKSN_LayerUndoNode*>(node.Payload);
        if (mesh && payload) {
            payload->PopDataFromVirtualMemory();
            if (payload->Count > 0 && payload->Count == mesh->GetPCount() && payload->Values)
                for (int p = 0; p < payload->Count; ++p) mesh->Polygons[p].LayerFlags = uint32_t(payload->Values[p]);
            afterLayerChange();
        }
        break;
    }

    case KSN_UNDO_LAYER_STATES: {
        recordInverse(nullptr, KSN_UNDO_LAYER_STATES, 0);
        if (auto* payload = dynamic_cast<TKSN_LayerStateUndoNode*>(node.Payload)) {
            for (int n = 0; n < KSN_POLYGON_LAYER_COUNT; ++n)
                if (PolygonLayers[n]) PolygonLayers[n]->Copy(&payload->Layers[n]);
            QOREvents_PushEvent(kRefreshLayerWindowCommand);
            afterLayerChange();
        }
        break;
    }

    case KSN_UNDO_MATERIAL_ASSIGNMENTS:
    case KSN_UNDO_GROUP_ASSIGNMENTS: {
        const bool materials = node.Kind == KSN_UNDO_MATERIAL_ASSIGNMENTS;
        recordInverse(object, node.Kind, 0);
        auto* payload = dynamic_cast<TKSN_LayerUndoNode*>(node.Payload);
        if (mesh && payload) {
            payload->PopDataFromVirtualMemory();
            if (payload->Count > 0 && payload->Count == mesh->GetPCount() && payload->Values)
                for (int p = 0; p < payload->Count; ++p) {
                    if (materials)
                        mesh->Polygons[p].Material = int16_t(payload->Values[p]);
                    else
                        mesh->Polygons[p].Group = int16_t(payload->Values[p]);
                }
            OnAllViewportsChanged();
        }
        break;
    }

    case KSN_UNDO_MATERIAL_STATES: {
        if (!object) break;
        recordInverse(object, KSN_UNDO_MATERIAL_STATES, 0);
        auto* payload = dynamic_cast<TKSN_MaterialStateUndoNode*>(node.Payload);
        if (!payload || !mesh || !mesh->Materials) break;
        mesh->Materials->Empty();
        for (int i = 0; i < payload->Count; ++i) {
            TQORMaterial* material = KSN_NewMaterial("");
            material->CopyWithChannelFlags(payload->Materials[i]);
            material->CacheChannels();
            mesh->Materials->AddItem(material);
        }
        QOREvents_PushEvent(kMaterialsChangedCommand);
        OnAllViewportsChanged();
        break;
    }

    case KSN_UNDO_GROUP_STATES: {
        if (!object) break;
        recordInverse(object, KSN_UNDO_GROUP_STATES, 0);
        auto* payload = dynamic_cast<TKSN_GroupStateUndoNode*>(node.Payload);
        if (!payload || !mesh || !mesh->Groups2) break;
        mesh->Groups2->Empty();
        for (int i = 0; i < payload->Count; ++i) {
            auto* group = new TQORGroup2;
            group->SetName("%s", payload->Groups[i]->GetName());
            group->Index = i;
            mesh->Groups2->AddItem(group);
        }
        mesh->ResolveGroupVertexMaps();
        QOREvents_PushEvent(kMaterialsChangedCommand);
        OnAllViewportsChanged();
        break;
    }

    case KSN_UNDO_SCULPT: {
        auto* state = dynamic_cast<TKSN_SculptUndoNode*>(node.Payload);
        if (!state || !mesh) break;
        TKSN_Undo_Node* inverse = recordInverse(object, KSN_UNDO_SCULPT, 0);
        if (auto* captured = inverse ? dynamic_cast<TKSN_SculptUndoNode*>(inverse->Payload) : nullptr) {
            KSN_CaptureSculptState(mesh, state->LayerID, *captured);
            inverse->Size = int32_t(std::min<uint64_t>(captured->GetApproximateSize(), INT32_MAX));
        }
        KSN_RestoreSculptState(mesh, *state);
        OnAllViewportsChanged();
        break;
    }

    default:
        break;
    }
}
