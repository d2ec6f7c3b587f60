// Drawing viewports on a real GL context (Xvfb with Mesa): the cache, the
// view modes the renderer is asked for, display-list sharing, the auto
// viewports, the flashes' end and the channels that feed the subdivided render.
#include "KSN_ProjectEditTestSupport.h"
#include "KSN_PolygonLayer.h"
#include "KSN_RenderSetup.h"
#include "KSN_ToolKinds.h"
#include "KsnTestGL.h"
#include "QORGL.h"
#include "QORMaterial.h"
#include "QORMatrix.h"
#include "../Scene/KSN_SubDTestSupport.h"

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

using namespace ksn_edit_test;

constexpr int Size = 64;
std::vector<std::string> Debug;
int WindowHeight() { return Size; }

class DrawFixture : public ProjectEditFixture {
protected:
    TTestGLWindow Window;
    TKSN_ViewportProjectHooks SavedHooks;

    void SetUp() override
    {
        ProjectEditFixture::SetUp();
        ASSERT_TRUE(Window.Open(Size, Size)) << "no GLX display: run under xvfb-run";
        QORglut_AssignGetWindowHeight(WindowHeight);
        SavedHooks = KSN_GetViewportProjectHooks();
        TKSN_ViewportProjectHooks hooks = SavedHooks;
        hooks.GetObjectList = []() {
            std::vector<TKSN_Object*> out;
            std::unique_ptr<TQORNewStaticList<TKSN_Object*>> list(Project->GetObjectList());
            for (TKSN_Object* object : *list) out.push_back(object);
            return out;
        };
        KSN_SetViewportProjectHooks(hooks);
        Debug.clear();
        OS.AssignOnDebugMessage([](char* text) { Debug.push_back(text); });
        for (TKSN_Viewport* viewport : App->viewports) {
            viewport->Resize(0, 0, Size, Size);
            viewport->DisplayMode = 4;
            viewport->layer.DisplayFlags &= ~TKSN_Layer::UseViewportDefault;
            Project->OnSingleViewportChanged(viewport);
        }
        glViewport(0, 0, Size, Size);
        glClearColor(0.2f, 0.1f, 0.3f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    void TearDown() override
    {
        OS.AssignOnDebugMessage(nullptr);
        KSN_SetViewportProjectHooks(SavedHooks);
        QORglut_AssignGetWindowHeight(nullptr);
        ProjectEditFixture::TearDown();
    }
    // The path the last draws took: 'C' cached, 'F' full render.
    static std::string Paths()
    {
        std::string s;
        for (const std::string& line : Debug) {
            if (line.rfind("DDD- Drawing cached viewport", 0) == 0) s += 'C';
            if (line.rfind("DDD- Drawing FULL viewport", 0) == 0) s += 'F';
        }
        return s;
    }
    static int Renders() { return int(std::count_if(Debug.begin(), Debug.end(), [](const std::string& l) {
        return l.rfind("FFF- Rendering...", 0) == 0; })); }
    TKSN_RenderSetup& SetupOf(int index) { return *App->viewports[index]->renderSetup; }
};

TEST_F(DrawFixture, AnUnchangedViewportDrawsItsCache)
{
    TKSN_Viewport* view = App->viewports[0];
    Project->DrawViewport(view);
    EXPECT_EQ(view->GetRenderedSceneStatus(), 0);
    EXPECT_TRUE(view->IsCachedViewportValid());
    Project->DrawViewport(view);
    EXPECT_EQ(Paths(), "FC");
    EXPECT_EQ(Renders(), 1) << "the second draw renders nothing";

    // While deforming every draw renders and the status stays; the deformer
    // moves the mesh, so no display list is written.
    Debug.clear();
    view->SetRenderedSceneStatus(1);
    App->currentTool = MakeTool<TKSN_Deformer>("Deformer", nullptr);
    Project->SetDeformingFlag(true);
    ASSERT_TRUE(Project->IsDeforming());
    Project->DrawViewport(view);
    Project->DrawViewport(view);
    EXPECT_EQ(Paths(), "FF");
    EXPECT_EQ(view->GetRenderedSceneStatus(), 1);
    EXPECT_FALSE(SetupOf(0).WriteDisplayLists);
    Project->SetDeformingFlag(false);
    Project->DrawViewport(view);
    EXPECT_EQ(view->GetRenderedSceneStatus(), 0) << "the first quiet draw renders and caches";
    EXPECT_EQ(Paths(), "FFF");
    EXPECT_TRUE(SetupOf(0).WriteDisplayLists);
    App->currentTool = nullptr;
}

TEST_F(DrawFixture, DisplayModesChooseTheViewMode)
{
    struct Case {
        int DisplayMode, ViewMode;
    };
    for (Case c : {Case{1, KSN_VIEWMODE_LAYER_COLORS}, Case{2, KSN_VIEWMODE_MATERIAL_COLORS}, Case{4, KSN_VIEWMODE_DEFAULT},
                   Case{0, KSN_VIEWMODE_DEFAULT}, Case{7, KSN_VIEWMODE_DEFAULT}}) {
        SCOPED_TRACE(c.DisplayMode);
        for (TKSN_Viewport* viewport : App->viewports) viewport->DisplayMode = c.DisplayMode;
        App->viewports[0]->SetRenderedSceneStatus(2);
        Project->DrawViewport(App->viewports[0]);
        EXPECT_EQ(SetupOf(0).ViewMode, c.ViewMode);
        EXPECT_EQ(SetupOf(0).RenderingType, KSN_RENDERING_OPENGL);
    }
}

TEST_F(DrawFixture, AnUnknownDisplayModeDrawsGrey)
{
    auto quad = SubDTest::MakeMesh({{-0.5f, -0.5f, 0}, {0.5f, -0.5f, 0}, {0.5f, 0.5f, 0}, {-0.5f, 0.5f, 0}}, {},
                                   {{{0, 1, 2, 3}, {}}});
    TKSN_Object* object = Project->CreateNewObject();
    quad->OwnerObject = object;
    object->Mesh = std::move(quad);
    TKSN_Viewport* view = App->viewports[0];
    view->DisplayMode = 9;
    view->layer.DisplayFlags &= ~TKSN_Layer::UseLighting;
    Project->OnSingleViewportChanged(view);
    Project->DrawViewport(view);
    glFinish();
    auto read = [](int x, int y) {
        std::array<uint8_t, 3> p{};
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, p.data());
        return p;
    };
    const auto unknown = read(Size / 2, Size / 2);
    EXPECT_NE(unknown, read(0, 0)) << "the quad is drawn";
    view->DisplayMode = 4;
    view->SetRenderedSceneStatus(2);
    Project->DrawViewport(view);
    glFinish();
    EXPECT_EQ(read(Size / 2, Size / 2), unknown) << "as in the grey mode";
}

TEST_F(DrawFixture, QuickRenderShowsOnlyInTheMainViewport)
{
    Project->SpecialDisplayMode = 3;
    for (int i : {0, 1}) Project->DrawViewport(App->viewports[i]);
    EXPECT_EQ(SetupOf(0).ViewMode, KSN_VIEWMODE_QUICK_RENDER);
    EXPECT_FALSE(SetupOf(0).UseDisplayLists);
    EXPECT_EQ(SetupOf(1).ViewMode, KSN_VIEWMODE_DEFAULT);
}

TEST_F(DrawFixture, ViewportsInOtherDisplayModesNeverShareDisplayLists)
{
    struct Case {
        const char* Name;
        int Mode;
        uint32_t FlagsToggle;
        bool Shared;
    };
    for (Case c : {Case{"same", 4, 0, true}, Case{"other mode", 1, 0, false},
                   Case{"other layer flags", 4, TKSN_Layer::Filter, false}}) {
        SCOPED_TRACE(c.Name);
        TKSN_Viewport* side = App->viewports[1];
        side->DisplayMode = c.Mode;
        side->layer.DisplayFlags = App->viewports[0]->layer.DisplayFlags ^ c.FlagsToggle;
        side->SetRenderedSceneStatus(2);
        Project->DrawViewport(side);
        EXPECT_EQ(SetupOf(1).UseDisplayLists, c.Shared);
    }
}

TEST_F(DrawFixture, AutoViewportsFollowTheMainOne)
{
    TKSN_Viewport* main = App->viewports[0];
    TKSN_Viewport* follower = App->viewports[1];
    TKSN_Viewport* locked = App->viewports[2];
    TKSN_Viewport* idle = App->viewports[3];
    for (TKSN_Viewport* v : {follower, locked, idle}) {
        v->SetAutoView(true);
        v->shown = true;
        v->CopyViewportIndex = -1;
    }
    const float top[16] = {1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1};
    std::copy(top, top + 16, follower->DefaultRotationMatrix);
    Project->ProcessAutoViewports();   // idle now matches the main view

    const float a = 0.6f;
    const float turned[16] = {std::cos(a), 0, -std::sin(a), 0, 0, 1, 0, 0, std::sin(a), 0, std::cos(a), 0, 0, 0, 0, 1};
    main->SetRotationMatrix(turned);
    const float lookAt[3] = {0.5f, 0.25f, 0};
    main->SetLookAt(lookAt, nullptr, 0.0f, false);
    locked->NavLock();
    const std::vector<float> lockedBefore(locked->RotationMatrix, locked->RotationMatrix + 16);
    idle->SetAutoView(false);
    for (TKSN_Viewport* v : App->viewports) v->ClearRenderedSceneStatus();

    Project->ProcessAutoViewports();
    float expected[16], relative[16], transposed[16];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) transposed[4 * r + c] = App->baseOrientationMatrix[4 * c + r];
    QORMatrix_MultiplyMatrix4x4(transposed, top, relative);
    QORMatrix_MultiplyMatrix4x4(turned, relative, expected);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(follower->RotationMatrix[i], expected[i], 1e-6f) << i;
    EXPECT_EQ(std::vector<float>(follower->LookAt, follower->LookAt + 3), (std::vector<float>{0.5f, 0.25f, 0}));
    EXPECT_EQ(follower->GetRenderedSceneStatus(), 2) << "refreshed";
    EXPECT_EQ(std::vector<float>(locked->RotationMatrix, locked->RotationMatrix + 16), lockedBefore);
    EXPECT_EQ(locked->GetRenderedSceneStatus(), 0) << "a locked viewport keeps its view";
    EXPECT_EQ(idle->GetRenderedSceneStatus(), 0);

    for (TKSN_Viewport* v : App->viewports) v->ClearRenderedSceneStatus();
    Project->ProcessAutoViewports();
    EXPECT_EQ(follower->GetRenderedSceneStatus(), 0) << "unchanged: not refreshed";
}

TEST_F(DrawFixture, FlashesEndAfterTheScreenDraw)
{
    Project->FlashSelection = true;
    Project->FlashLayerColors = true;
    Log.clear();
    Project->AfterScreenDraw();
    EXPECT_FALSE(Project->FlashSelection);
    EXPECT_FALSE(Project->FlashLayerColors);
    EXPECT_EQ(Log, (std::vector<std::string>{"push 146", "push 146"}));
    EXPECT_TRUE(Project->ViewportsChangedTimer.IsTiming());
    Log.clear();
    Project->AfterScreenDraw();
    EXPECT_TRUE(Log.empty());
}

TEST_F(DrawFixture, BumpAndDisplacementInvalidateTheSubdividedRender)
{
    struct Case {
        const char* Name;
        bool Invalidates;
    };
    for (Case c : {Case{"bUmP", true}, Case{"DISPLACEMENT", true}, Case{"Color", false}, Case{"Bumpy", false}}) {
        SCOPED_TRACE(c.Name);
        TQORMaterialChannel channel;
        channel.SetName("%s", c.Name);
        EXPECT_EQ(Project->DoesChannelInvalidateSubDRender(&channel), c.Invalidates);
    }
    EXPECT_FALSE(Project->DoesChannelInvalidateSubDRender(nullptr));
}

} // namespace
