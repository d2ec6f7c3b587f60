// Modes, tool changes and display settings: the mode read off the current
// tool, the flags that only hold in their mode, culling, mirroring and
// symmetry answers, the special display modes, and what the two forms of
// ChangeTool and SetMode change and queue.
#include "KSN_ProjectEditTestSupport.h"

#include "KsnTestGL.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"

#include <GL/gl.h>

#include <memory>

namespace {

using namespace ksn_edit_test;
using ModesTest = ProjectEditFixture;

// A plain tool of no family.
class TPlainTool : public virtual TKSN_Tool {};

TEST_F(ModesTest, ModeFollowsTheFirstMatchingFamilyOfTheCurrentTool)
{
    EXPECT_EQ(Project->GetMode(), 8) << "no current tool";
    EXPECT_FALSE(Project->CanMirrorX());
    EXPECT_FALSE(Project->CanMirrorY());
    EXPECT_FALSE(Project->DoUseSymmetry(nullptr));

    struct Case {
        const char* why;
        TKSN_Tool* tool;
        int mode;
    } cases[] = {
        {"selection brush", MakeTool<TKSN_SelectionBrush>("Select", App->selectionTools), 0},
        {"deformer", MakeTool<TKSN_Deformer>("Deform", App->deformationTools), 1},
        {"chisel", MakeTool<TKSN_Chisel>("Chisel", App->deformationTools), 1},
        {"deformer in the utilities list: the deformer test comes first",
         MakeTool<TKSN_Deformer>("Utility deformer", App->additionalUtilities), 1},
        {"utility", MakeTool<TPlainTool>("Utility", App->additionalUtilities), 2},
        {"paint brush", MakeTool<TKSN_PaintBrush>("Paint", App->paintTools), 3},
        {"modeller", MakeTool<TKSN_Modeler>("Model", App->modelingTools), 4},
        {"sculpt brush", MakeTool<TKSN_SculptBrush>("Sculpt", App->sculptTools), 5},
        {"navigator", MakeTool<TKSN_Navigator>("Navigate", App->navigationTools), 6},
        {"transform", MakeTool<TKSN_Transform>("Transform", App->transformationTools), 7},
        {"tool of no family", MakeTool<TPlainTool>("Plain", nullptr), 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        App->currentTool = c.tool;
        EXPECT_EQ(Project->GetMode(), c.mode);
    }
}

TEST_F(ModesTest, EditFlagsHoldOnlyInTheirMode)
{
    Project->SetPaintingFlag(true);
    Project->SetDeformingFlag(true);
    App->currentTool = MakeTool<TKSN_PaintBrush>("Paint", App->paintTools);
    EXPECT_TRUE(Project->IsPainting());
    EXPECT_FALSE(Project->IsDeforming());
    EXPECT_FALSE(Project->DeformingFlag) << "asking outside the mode clears the flag";

    App->currentTool = MakeTool<TKSN_Chisel>("Chisel", App->deformationTools);
    EXPECT_FALSE(Project->IsPainting());
    EXPECT_FALSE(Project->PaintingFlag);
}

TEST_F(ModesTest, MirroringAndSymmetryNeedTheToolsPermission)
{
    TKSN_Object* object = MakeObject("Head");
    Project->MirrorX = true;
    Project->MirrorY = false;
    Project->UseSymmetry = true;

    App->currentTool = MakeTool<TKSN_Brush>("No flags", nullptr);
    EXPECT_FALSE(Project->CanMirrorX());
    EXPECT_FALSE(Project->DoUseSymmetry(nullptr));
    TempDisableToolSymmetryCheck = true;
    EXPECT_TRUE(Project->DoUseSymmetry(nullptr)) << "the check of the tool's flag is switched off";
    TempDisableToolSymmetryCheck = false;

    App->currentTool = MakeTool<TKSN_Brush>("Both flags", nullptr, 0x4 | 0x10);
    EXPECT_TRUE(Project->CanMirrorX());
    EXPECT_FALSE(Project->CanMirrorY());
    EXPECT_TRUE(Project->DoUseSymmetry(object->Mesh.get()));
    object->SymmetryEnabled = false;
    EXPECT_FALSE(Project->DoUseSymmetry(object->Mesh.get())) << "the object's own switch";
    EXPECT_TRUE(Project->DoUseSymmetry(nullptr));
    Project->UseSymmetry = false;
    EXPECT_FALSE(Project->DoUseSymmetry(nullptr));
}

TEST_F(ModesTest, CullingFollowsTheToolAndRefreshesOnlyOnChange)
{
    Project->UpdateEffectiveCullingMethod();
    EXPECT_EQ(Project->GetCullingMethod(), 2) << "without a tool nothing changes";
    EXPECT_EQ(CountOf("push 431"), 0);

    App->currentTool = MakeTool<TKSN_Brush>("Per vertex", nullptr, 0, 3);
    Project->AffectedObjectsStencilValid = true;
    Project->UpdateEffectiveCullingMethod();
    EXPECT_EQ(Project->GetCullingMethod(), 3);
    EXPECT_EQ(Project->CullingMethod, 2) << "the user's choice stays";
    EXPECT_FALSE(Project->AffectedObjectsStencilValid);
    EXPECT_EQ(CountOf("push 431"), 1);
    Project->UpdateEffectiveCullingMethod();
    EXPECT_EQ(CountOf("push 431"), 1) << "unchanged: no refresh";

    Log.clear();
    Project->SetCullingMethod(3);
    EXPECT_EQ(Project->CullingMethod, 3);
    EXPECT_EQ(Project->GetCullingMethod(), 3);
    EXPECT_EQ(CountOf("push 431"), 0) << "the tool agrees with the choice";
    Project->SetCullingMethod(1);
    EXPECT_EQ(Project->CullingMethod, 1);
    EXPECT_EQ(Project->GetCullingMethod(), 3) << "the tool decides what is in effect";
    EXPECT_EQ(CountOf("push 431"), 1);
}

TEST_F(ModesTest, SpecialDisplayModesToggleAndFlash)
{
    ClearViewportStatuses();
    Project->ToggleSpecialDisplayMode(2);
    EXPECT_EQ(Project->SpecialDisplayMode, 2);
    EXPECT_EQ(ViewportStatuses(), (std::vector<int>{2, 2, 2, 2}));
    Project->ToggleSpecialDisplayMode(2);
    EXPECT_EQ(Project->SpecialDisplayMode, 0);
    Project->ToggleSpecialDisplayMode(3);
    Project->ToggleSpecialDisplayMode(1);
    EXPECT_EQ(Project->SpecialDisplayMode, 1) << "another mode replaces the stored one";

    Project->SetSpecialDisplayMode(0);
    ClearViewportStatuses();
    Project->SetSpecialDisplayMode(0);
    EXPECT_EQ(ViewportStatuses(), (std::vector<int>{0, 0, 0, 0})) << "no change, no refresh";
    Project->SetSpecialDisplayMode(3);
    EXPECT_EQ(ViewportStatuses(), (std::vector<int>{2, 2, 2, 2}));

    EXPECT_EQ(Project->GetSpecialDisplayMode(), 3);
    Project->SetFlashSelection();
    EXPECT_TRUE(Project->DoFlashSelection());
    EXPECT_EQ(Project->GetSpecialDisplayMode(), 1) << "a flashed selection is shown highlighted";
    Project->ClearFlashSelection();
    Project->ClearFlashSelection();
    EXPECT_EQ(CountOf("push 146"), 1) << "only clearing a set flash redisplays";
    Project->SelectingFlag = true;
    EXPECT_EQ(Project->GetSpecialDisplayMode(), 1);
    Project->SelectingFlag = false;

    Project->SpecialDisplayMode = 1;
    Project->SetFlashSelection();
    EXPECT_FALSE(Project->DoFlashSelection()) << "the highlight is already shown";
}

TEST_F(ModesTest, ToolFocusNeedsATool)
{
    Project->GiveToolFocus();
    EXPECT_FALSE(Project->DoesToolHaveFocus());
    App->currentTool = MakeTool<TKSN_Brush>("Brush", nullptr);
    EXPECT_TRUE(Project->DoesToolHaveFocus());
    Project->ClearToolFocus();
    EXPECT_FALSE(Project->DoesToolHaveFocus());
    EXPECT_EQ(CountOf("clear focus Brush"), 1);
}

TEST_F(ModesTest, ChangeToolActivatesRemembersAndRefreshes)
{
    auto* navigator = MakeTool<TKSN_Navigator>("Navigate", App->navigationTools);
    auto* chisel = MakeTool<TKSN_Chisel>("Chisel", App->deformationTools);
    auto* sculpt = MakeTool<TKSN_SculptBrush>("Sculpt", App->sculptTools);
    TKSN_Mesh* mesh = MakeObject("Head")->Mesh.get();

    Project->ChangeTool(mesh, App->deformationTools, chisel);
    EXPECT_EQ(App->currentTool, chisel);
    EXPECT_EQ(App->previousTool, nullptr);
    EXPECT_EQ(App->deformationTools->reservedValue, 0) << "the list remembers the tool's place";
    EXPECT_EQ(Log, (std::vector<std::string>{"activate Chisel", "culling Chisel", "push 313", "push 11", "push 430",
                                             "push 431"}));

    Project->ChangeTool(mesh, App->navigationTools, navigator);
    EXPECT_EQ(App->previousTool, chisel);
    EXPECT_EQ(App->lastNonNavigationTool, chisel);
    Project->ChangeTool(mesh, App->sculptTools, sculpt);
    EXPECT_EQ(App->previousTool, navigator);
    EXPECT_EQ(App->lastNonNavigationTool, chisel) << "a navigator is never remembered as the last tool";
    EXPECT_EQ(Project->GetMode(), 5);

    Log.clear();
    App->stateFlags = 0x10;
    Project->ChangeTool(mesh, App->sculptTools, sculpt);
    EXPECT_EQ(Log, (std::vector<std::string>{"culling Sculpt", "push 313", "push 11", "push 430", "push 431"}))
        << "the same tool: nothing is activated, the refreshes still come";
    EXPECT_EQ(App->stateFlags, 0x10u);

    Project->ChangeTool(mesh, App->transformationTools, static_cast<TKSN_Tool*>(sculpt));
    EXPECT_EQ(App->transformationTools->reservedValue, -1) << "a tool that is not in the list";
}

TEST_F(ModesTest, PaintingToolsComingOrGoingResetTheMotionAndBrushesSetUpTheOverlay)
{
    auto* chisel = MakeTool<TKSN_Chisel>("Chisel", App->deformationTools);
    auto* paint = MakeTool<TKSN_PaintBrush>("Paint", App->paintTools);
    auto* paint2 = MakeTool<TKSN_PaintBrush>("Paint 2", App->paintTools);
    auto* select = MakeTool<TKSN_SelectionBrush>("Select", App->selectionTools);
    TKSN_Mesh* mesh = MakeObject("Head")->Mesh.get();
    struct Case {
        const char* why;
        TKSN_Tool* from;
        TKSN_Tool* to;
        TKSN_ToolList* list;
        bool paintingChanges;   // the motion stops and every viewport redraws
        bool brush;             // the footprint is rebuilt for the new brush's size
    };
    select->SetSize(0.25f);
    paint->SetSize(0.25f);
    paint2->SetSize(0.25f);
    const Case cases[] = {
        {"into painting", chisel, paint, App->paintTools, true, true},
        {"out of painting", paint, chisel, App->deformationTools, true, false},
        {"from no tool into painting", nullptr, paint, App->paintTools, true, true},
        {"from painting to no tool", paint, nullptr, App->paintTools, true, false},
        {"painting to painting", paint, paint2, App->paintTools, false, true},
        {"to a brush that does not paint", chisel, select, App->selectionTools, false, true},
        {"neither paints nor brushes", nullptr, chisel, App->deformationTools, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        App->currentTool = c.from;
        Project->InteractiveMotion = true;
        Project->BrushShapeValid = false;
        Project->BrushShapeSize = -1.0f;
        ClearViewportStatuses();
        Project->ChangeTool(mesh, c.list, c.to);
        EXPECT_EQ(App->currentTool, c.to);
        EXPECT_EQ(Project->InteractiveMotion, !c.paintingChanges);
        const int status = c.paintingChanges ? 2 : 0;
        EXPECT_EQ(ViewportStatuses(), (std::vector<int>{status, status, status, status}));
        EXPECT_EQ(Project->BrushShapeValid, c.brush);
        EXPECT_FLOAT_EQ(Project->BrushShapeSize, c.brush ? 0.25f : -1.0f);
    }
}

TEST_F(ModesTest, FinishedNavigatingCancelsCullingAndRefreshesTheCurrentViewport)
{
    App->vertexCullingValid = true;
    Project->AffectedObjectsStencilValid = true;
    for (bool autoDepth : {false, true}) Project->OnBeforeNavigating(autoDepth);
    EXPECT_TRUE(App->vertexCullingValid) << "navigation has not moved anything yet";
    EXPECT_TRUE(Project->AffectedObjectsStencilValid);

    Project->OnFinishedNavigating(false);
    EXPECT_FALSE(App->vertexCullingValid);
    EXPECT_FALSE(Project->AffectedObjectsStencilValid);

    // Without a current viewport only the culling goes.
    App->vertexCullingValid = true;
    Project->AffectedObjectsStencilValid = true;
    TKSN_Viewport* main = App->viewports[0];
    App->viewports[0] = nullptr;
    Project->OnFinishedNavigating(true);
    App->viewports[0] = main;
    EXPECT_FALSE(App->vertexCullingValid);
    EXPECT_TRUE(Project->AffectedObjectsStencilValid);
}

// The meter needs textures, so these cases run in a real context.
class ModesGLTest : public TWithTestGLWindow<ModesTest> {};

TEST_F(ModesGLTest, OpenGLMeterCountsEveryBindingsTexture)
{
    std::vector<std::unique_ptr<TQORMaterialMapSource>> sources;
    auto source = [&](bool uploaded) {
        sources.push_back(std::make_unique<TQORMaterialMapSource>());
        float grey[3] = {0.5f, 0.5f, 0.5f};
        sources.back()->Initialize(8, 8, grey);
        if (uploaded) sources.back()->MakeGLTexture(8, 8);
        return sources.back().get();
    };
    auto bind = [](TKSN_Mesh* mesh, TQORMaterialMapSource* to) {
        auto* binding = new TQORMaterialMap();
        if (to) binding->SetMapSource(to->GetID());
        mesh->MaterialMaps->Add(binding);
    };

    EXPECT_EQ(Project->GetOpenGLMeterValue(), 1.0f) << "no maps: nothing is missing";
    EXPECT_EQ(OpenGLMeterMapCount, 0);

    // Head: two uploaded maps, one not uploaded, one binding without a source.
    // Body: one uploaded map, bound twice (each binding counts).
    TKSN_Mesh* head = MakeObject("Head")->Mesh.get();
    TKSN_Mesh* body = MakeObject("Body")->Mesh.get();
    bind(head, source(true));
    bind(head, source(false));
    bind(head, nullptr);
    bind(head, source(true));
    TQORMaterialMapSource* shared = source(true);
    bind(body, shared);
    bind(body, shared);
    ASSERT_NE(shared->GetGLTexure(), 0u);

    const float value = Project->GetOpenGLMeterValue();
    EXPECT_EQ(OpenGLMeterMapCount, 4);
    EXPECT_EQ(OpenGLMeterValue, value);
    // Mesa keeps every texture resident.
    EXPECT_EQ(value, 1.0f);
}

TEST_F(ModesTest, ChangeToolByIndexChecksTheIndexFirst)
{
    std::vector<std::string> panel;
    static std::vector<std::string>* panelTexts = nullptr;
    panelTexts = &panel;
    OS.AssignOnPrintMessage([](char* text) { panelTexts->push_back(text); });

    auto* first = MakeTool<TKSN_Deformer>("Move", App->deformationTools);
    App->AddToolToList(nullptr, App->deformationTools);
    auto* second = MakeTool<TKSN_Deformer>("Bulge", App->deformationTools);
    App->deformationTools->reservedValue = 2;

    EXPECT_FALSE(Project->ChangeTool(nullptr, App->deformationTools, 3));
    EXPECT_EQ(App->deformationTools->reservedValue, -1);
    EXPECT_TRUE(Log.empty()) << "nothing else changes";
    EXPECT_FALSE(Project->ChangeTool(nullptr, App->deformationTools, 1)) << "a separator";
    EXPECT_EQ(App->currentTool, nullptr);

    EXPECT_TRUE(Project->ChangeTool(nullptr, App->deformationTools, 2));
    EXPECT_EQ(App->currentTool, second);
    EXPECT_EQ(App->deformationTools->reservedValue, 2);
    EXPECT_EQ(CountOf("push 11"), 0) << "this form does not show the tool tab";
    EXPECT_EQ(CountOf("push 430"), 1);
    ASSERT_FALSE(panel.empty());
    EXPECT_EQ(panel.back(), "Using the \"Bulge\" tool.");

    EXPECT_TRUE(Project->ChangeTool(nullptr, App->deformationTools, 0));
    EXPECT_EQ(App->currentTool, first);
    EXPECT_LT(IndexOf("deactivate Bulge"), IndexOf("activate Move"));
    OS.AssignOnPrintMessage(nullptr);
}

TEST_F(ModesTest, SetModeTakesTheRememberedToolWithoutActivatingIt)
{
    MakeTool<TKSN_SculptBrush>("Sculpt", App->sculptTools);
    auto* smooth = MakeTool<TKSN_SculptBrush>("Smooth", App->sculptTools);
    auto* select = MakeTool<TKSN_SelectionBrush>("Select", App->selectionTools);
    App->sculptTools->reservedValue = 1;
    App->selectionTools->reservedValue = 7;

    App->stateFlags = 0x1 | 0x2 | 0x10 | 0x40;
    Project->SetMode(5, false);
    EXPECT_EQ(App->currentTool, smooth);
    EXPECT_EQ(App->stateFlags, 0x2u) << "a mode change re-arms the mode warnings";
    EXPECT_EQ(CountOf("activate Smooth"), 0);
    EXPECT_EQ(CountOf("push 432"), 1);

    App->currentTool = nullptr;
    Project->SetMode(0, false);
    EXPECT_EQ(App->currentTool, select) << "a stale index falls back to the first tool";
    EXPECT_EQ(App->selectionTools->reservedValue, -1);
}

TEST_F(ModesTest, SetModePaintingWhilePaintingStopsAtOnce)
{
    TKSN_Object* object = MakeObject("Head");
    Project->SetCurrentObject(object);
    App->currentTool = MakeTool<TKSN_PaintBrush>("Paint", App->paintTools);
    ClearViewportStatuses();
    Log.clear();
    Project->SetMode(3, false);
    EXPECT_TRUE(Log.empty());
    EXPECT_EQ(ViewportStatuses(), (std::vector<int>{0, 0, 0, 0}));
}

} // namespace
