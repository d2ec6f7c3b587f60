// The project document: construction with its defaults, the list accessors,
// object creation and removal, and the teardown in its fixed order.
//
// Index:
//   [SECTION] Globals
//   [SECTION] Construction
//   [SECTION] Teardown
//   [SECTION] Lists
//   [SECTION] Objects in the tree
#include "KSN_Project.h"

#include <cassert>
#include <string>

#include "KSN_Grids.h"
#include "KSN_Layer.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_PolygonCuller.h"
#include "KSN_PolygonLayer.h"
#include "KSN_Project_Internal.h"
#include "KSN_SculptLayer.h"
#include "KSN_Startup_Services.h"
#include "KSN_SubDMesh_Bake.h"
#include "KSN_Union.h"
#include "OS.h"
#include "QORLanguage.h"
#include "QORMaterialMapSource.h"
#include "QORGL.h"
#include "QORMemory.h"
#include "QORVirtualMemory.h"

// [SECTION] Globals

TKSN_Project* Project = nullptr;
TQORTimer TimerSinceLastPaintOperationCompleted;
TQORTimer LowRAMTimer;

// [SECTION] Construction

namespace {

// Colours (red, green, blue) of the user layers 1..7; the others keep the
// layer's default colour.
constexpr float FirstLayerColors[7][3] = {
    {1.0f, 0.5f, 0.5f}, {0.5f, 1.0f, 0.5f}, {0.5f, 0.5f, 1.0f}, {1.0f, 0.5f, 1.0f},
    {0.5f, 1.0f, 1.0f}, {1.0f, 1.0f, 1.0f}, {1.0f, 1.0f, 0.0f},
};

void SetupPolygonLayers(TKSN_Layer* (&layers)[KSN_POLYGON_LAYER_COUNT])
{
    for (int slot = 0; slot < KSN_POLYGON_LAYER_COUNT; ++slot)
        layers[slot] = new TKSN_Layer(slot);

    layers[0]->SetName("%s", Lang.GetText(544));
    layers[0]->IsBuiltIn = true;
    layers[0]->Enable();

    for (int slot = 1; slot <= 29; ++slot) {
        layers[slot]->SetName("%s %d", Lang.GetText(545), slot);
        layers[slot]->Disable();
    }

    layers[30]->DisplayFlags |= TKSN_Layer::Hidden;
    layers[30]->IsBuiltIn = true;
    layers[30]->SetName("%s", "Hidden Layer");
    layers[30]->Enable();

    layers[31]->Locked = true;
    layers[31]->IsBuiltIn = true;
    layers[31]->SetName("%s", "Locked Layer");
    layers[31]->Enable();

    for (int i = 0; i < 7; ++i)
        for (int c = 0; c < 3; ++c)
            layers[i + 1]->Color[c] = FirstLayerColors[i][c];
}

} // namespace

TKSN_Project::TKSN_Project()
{
    // The map, mesh-block and painting code below the project reach it through
    // hooks; registering here makes sure they are set whatever the link order.
    RegisterMapHooks();
    KSN_RegisterSubDHooks();
    RegisterToolHooks();
    WeldThreshold = 8.0f;
    SelectionUnions = new TKSN_SelectionUnionGroup();
    SelectionUnions->SetName("%s", Lang.GetText(264));
    SelectionUnions->SetHint("%s", Lang.GetText(265));
    MorphUnions = new TKSN_MorphUnionGroup();
    MorphUnions->SetName("%s", Lang.GetText(266));
    MorphUnions->SetHint("%s", Lang.GetText(267));
    MaterialsHeading.collapsed = true;
    MaterialsHeading.SetName("%s", Lang.GetText(346));
    MaterialsHeading.SetHint("%s", Lang.GetText(347));
    SculptLayers = new TKSN_SculptLayerGroup();
    SculptLayers->SetName("%s", "*Sculpt Layers");
    MapLayers = new TKSN_MapLayerGroup();
    MapLayers->SetName("%s", "*Map Layers");
    GroupsHeading.collapsed = true;
    GroupsHeading.SetName("%s", Lang.GetText(356));
    GroupsHeading.SetHint("%s", Lang.GetText(357));

    BrushTilingStyle = 0;
    BrushShapeSize = -1.0f;
    BrushShapeHardness = -1.0f;
    FlashSelection = false;
    FlashLayerColors = false;
    PolygonCuller = new TKSN_PolygonCuller();
    KSN_ProjectApp_InvalidateVertexCulling();
    AffectMode = 0;
    AffectedObjectsStencilValid = false;
    ToolHasFocus = false;
    BrushImageAspect = 1.0f;
    CullingMethod = 2;
    EffectiveCullingMethod = 2;
    DeformingFlag = SelectingFlag = PaintingFlag = InteractiveMotion = false;
    for (int c = 0; c < 3; ++c) {
        WorldMin[c] = -1.0f;
        WorldMax[c] = 1.0f;
        WorldCentre[c] = 0.0f;
    }
    WorldSize = 2.0f;
    Time = 0.0f;
    CurrentViewportIndex = 0;
    Grids = new TKSN_Grids();

    UseDefaultSettings();

    SetupPolygonLayers(PolygonLayers);

    KSN_ProjectApp_ClearDocumentSearchPaths();

    UndoList = nullptr;
    RedoList = nullptr;
    CurrentObjectID = 0;
    ObjectContainingCurrentSelectionID = 0;
    CurrentMorphUnionID = 0;
    Objects = new TKSN_ObjectTreeGroup();
    Objects->SetName("%s", Lang.GetText(398));
    Objects->SetGroupPath("objects");
    Objects->collapsed = false;
    Maps = new TKSN_TopTreeGroup();
    Maps->SetName("%s", "Maps");
    PreviewBrushTipTexture = 0;

    if (!BrushShapeImage.GetPixels()) {
        std::string path = std::string(OS.GetMainPath()) + "BrushShapes/01-Simple/Simple-0001.png";
        if (TOS::FileExists(path.c_str())) {
            LoadBrushShapeFromFile(path.c_str());
        } else {
            OS.ErrorMessage("The file %s cannot be found.\n\nPlease re-install the software or manually replace it.",
                            path.c_str());
            OS.Exit(1);
        }
    }

    // The save reminder counts from the new project, as after a save.
    KSN_ProjectApp_RestartSaveReminder();
}

// [SECTION] Teardown

TKSN_Project::~TKSN_Project()
{
    // TODO(stub): the view-navigation stacks (NavCleanStacks) are emptied here
    // once navigation exists.
    CancelAllViewportDependentWorkhorses();

    if (Objects) {
        std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(GetObjectList());
        for (TKSN_Object* object : *objects)
            if (object->Mesh) object->Mesh->CancelSymmetryCalculations();
    }

    if (MapLayers) MapLayers->Empty();
    delete MapLayers;
    MapLayers = nullptr;
    if (SculptLayers) SculptLayers->Empty();
    delete SculptLayers;
    SculptLayers = nullptr;

    if (PreviewBrushTipTexture != 0) {
        GLuint name = PreviewBrushTipTexture;
        QORglDeleteTextures(1, &name);
    }
    PreviewBrushTipTexture = 0;

    if (Maps) {
        for (TKSN_Thingy*& map : *Maps->items) {
            delete map;
            map = nullptr;
        }
        Maps->items->Clear();
        delete Maps;
        Maps = nullptr;
    }

    // Its thread reads the meshes, which go below.
    delete PolygonCuller;
    PolygonCuller = nullptr;
    QORfree(BrushOutlinePoints);
    BrushOutlinePoints = nullptr;
    BrushOutlinePointCount = 0;

    EmptyUndoStack();
    EmptyRedoStack();

    delete Grids;
    Grids = nullptr;

    if (Objects) {
        Objects->Empty();
        delete Objects;
        Objects = nullptr;
    }

    for (TKSN_Layer*& layer : PolygonLayers) {
        delete layer;
        layer = nullptr;
    }

    QORVirtualMemory_Optimize();

    // The union groups are members in the data model; they go with the
    // members, after everything above.
    delete MorphUnions;
    MorphUnions = nullptr;
    delete SelectionUnions;
    SelectionUnions = nullptr;
}

// [SECTION] Lists

TQORNewStaticList<TKSN_Object*>* TKSN_Project::GetObjectList()
{
    auto* list = new TQORNewStaticList<TKSN_Object*>(16);
    TKSN_TreeGroup::Traverse(Objects, 0, GetObjectListFromObjects_OnVisit, list, false);
    return list;
}

int TKSN_Project::GetObjectCount()
{
    int count = 0;
    TKSN_TreeGroup::Traverse(Objects, 0, GetObjectCountFromObjects_OnVisit, &count, false);
    return count;
}

TQORNewStaticList<TKSN_Mesh*>* TKSN_Project::GetMeshList()
{
    auto* list = new TQORNewStaticList<TKSN_Mesh*>(16);
    TKSN_TreeGroup::Traverse(Objects, 0, GetMeshListFromObjects_OnVisit, list, false);
    return list;
}

TQORNewStaticList<TQORMaterialMapSource*>* TKSN_Project::GetMapList()
{
    auto* list = new TQORNewStaticList<TQORMaterialMapSource*>(16);
    TKSN_TreeGroup::Traverse(Maps, 0, GetMapListFromObjects_OnVisit, list, false);
    return list;
}

TQORNewStaticList<TKSN_MorphUnion*>* TKSN_Project::GetMorphUnionList()
{
    auto* list = new TQORNewStaticList<TKSN_MorphUnion*>(16);
    TKSN_TreeGroup::Traverse(MorphUnions, 0, GetMorphUnionList_OnVisit, list, false);
    return list;
}

// [SECTION] Objects in the tree

TKSN_Camera* TKSN_Project::CreateCamera() { return new TKSN_Camera(); }

TKSN_Object* TKSN_Project::CreateNewObject()
{
    assert(Objects && "CreateNewObject needs the project's object tree");
    auto* object = new TKSN_Object();
    Objects->AddItem(object);
    return object;
}

void TKSN_Project::RemoveThingyFromTree(TKSN_TreeGroup* group, TKSN_Thingy* thingy)
{
    if (!thingy) return;
    TKSN_TreeGroup::Traverse(group, 0, ClearThingy_OnVisit, thingy, false);
}

bool TKSN_Project::DeleteThingy(TKSN_TreeGroup* group, TKSN_Thingy* thingy)
{
    if (!thingy) return false;
    // The walk stops (answers false) exactly when the visitor deleted the thingy.
    return !TKSN_TreeGroup::Traverse(group, 0, DeleteThingy_OnVisit, thingy, false);
}

bool TKSN_Project::DeleteAllObjects_OnVisit(TKSN_TreeGroup* group, int, void* userData)
{
    auto* merged = static_cast<TQORNewStaticList<TKSN_Object*>*>(userData);
    if (!group || !merged) return true;
    TKSN_ThingyList kept(1);
    for (TKSN_Thingy* item : *group->items) {
        auto* object = dynamic_cast<TKSN_Object*>(item);
        if (object && merged->Find(object) >= 0) {
            if (Project) Project->ForgetCurrentItem(object);
            delete object;
            continue;
        }
        kept.Add(item);
    }
    group->items->Clear();
    for (TKSN_Thingy* item : kept)
        group->items->Add(item);
    return true;
}
