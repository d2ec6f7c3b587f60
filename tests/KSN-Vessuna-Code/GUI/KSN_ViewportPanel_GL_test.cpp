// The viewport panels drawn in the real window (Xvfb with Mesa) and read
// back: the current viewport's corner brackets by layout, the special display
// label on the main viewport only, and an object shown by a panel.
#include "KSN_MainWindowGLTestSupport.h"
#include "../Scene/KSN_SubDTestSupport.h"

#include "KSN_Mesh.h"
#include "KSN_RendererHooks.h"
#include "KSN_RendererUtils.h"
#include "KSN_Object.h"
#include "KSN_ViewportPanel.h"
#include "KSN_Viewport.h"
#include "KSN_WX.h"
#include "QORLanguage.h"

#include "KsnTestReadBack.h"

#include <GL/gl.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

class ViewportsDrawn : public MainWindowGLFixture {
protected:
    void SetUp() override
    {
        MainWindowGLFixture::SetUp();
        // What the start-up connects between the viewports, the renderer and the project.
        SavedViewportHooks = KSN_GetViewportProjectHooks();
        SavedRendererHooks = KSN_GetRendererProjectHooks();
        KSN_RegisterViewportOctreeServices();
        TKSN_ViewportProjectHooks viewport;
        viewport.GetObjectList = []() {
            std::vector<TKSN_Object*> objects;
            std::unique_ptr<TQORNewStaticList<TKSN_Object*>> list(Project ? Project->GetObjectList() : nullptr);
            if (list)
                for (TKSN_Object* o : *list) objects.push_back(o);
            return objects;
        };
        viewport.CanAffectObject = [](TKSN_Object* object) { return Project && Project->CanAffectObject(object); };
        KSN_SetViewportProjectHooks(viewport);
        TKSN_RendererProjectHooks renderer = SavedRendererHooks;
        renderer.GetDisplayBoundingBox = [](TKSN_Viewport* v, float* min, float* max) {
            if (Project) Project->GetDisplayBoundingBox(v, min, max);
        };
        renderer.GetSceneRadius = []() { return Project ? Project->SceneRadius : 1.0f; };
        renderer.GetCurrentViewport = []() { return Project ? Project->GetCurrentViewport() : nullptr; };
        renderer.GetPolygonLayer = [](int index) -> TKSN_Layer* {
            return Project && index >= 0 && index < 32 ? Project->PolygonLayers[index] : nullptr;
        };
        renderer.GetCurrentPolygonLayerIndex = []() { return Project ? Project->CurrentLayerIndex : 0; };
        KSN_SetRendererProjectHooks(renderer);
        QORglut_AssignGetWindowHeight(QORglutGetWindowHeight);
    }
    void TearDown() override
    {
        KSN_SetViewportProjectHooks(SavedViewportHooks);
        KSN_SetRendererProjectHooks(SavedRendererHooks);
        QORglut_AssignGetWindowHeight(nullptr);
        MainWindowFixture::TearDown();
    }
    TKSN_ViewportProjectHooks SavedViewportHooks;
    TKSN_RendererProjectHooks SavedRendererHooks;
    // Whether a pixel within one of (x, y) is near the colour.
    bool NearAround(int x, int y, TPixel colour, int tolerance) const
    {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (Near(At(x + dx, y + dy), colour, tolerance)) return true;
        return false;
    }
    // The four points 5 pixels in from the panel's corners.
    static std::array<std::array<int, 2>, 4> Corners(TKSN_ViewportPanel* p)
    {
        const int l = p->AbsX + 5, r = p->AbsX + p->Width - 1 - 5, t = p->AbsY + 5, b = p->AbsY + p->Height - 1 - 5;
        return {{{l, b}, {r, b}, {r, t}, {l, t}}};
    }
    int Reddish(TKSN_ViewportPanel* p, int y0, int y1) const
    {
        int n = 0;
        for (int y = p->AbsY + y0; y < p->AbsY + y1; ++y)
            for (int x = p->AbsX + 30; x < p->AbsX + p->Width - 30; ++x) {   // clear of the corner brackets
                const TPixel c = At(x, y);
                n += c[0] > 180 && c[1] < 90 && c[2] < 90;
            }
        return n;
    }
    TPixel SelectionColour() const
    {
        float c[3];
        const float white[3] = {1, 1, 1};
        App->GetSelectionColor(c, 1.0f, white);
        return {int(c[0] * 255 + 0.5f), int(c[1] * 255 + 0.5f), int(c[2] * 255 + 0.5f)};
    }
};

TEST_F(ViewportsDrawn, TheCurrentViewportHasCornerBracketsExceptAlone)
{
    TKSN_ViewportPanel* p = W().ViewportPanels[0];
    Project->SetCurrentViewportIndex(0);
    struct TCase {
        const char* Name;
        int Layout;
        bool Maximised, Brackets;
    };
    for (const TCase& c : {TCase{"layout 4", 4, false, true}, TCase{"layout 0", 0, false, false},
                           TCase{"maximised", 4, true, false}}) {
        SCOPED_TRACE(c.Name);
        App->viewportLayout = c.Layout;
        W().MaximizedViewportPanel = c.Maximised ? p : nullptr;
        Layout();
        Frame();
        ASSERT_TRUE(p->Shown);
        for (const auto& corner : Corners(p)) {
            SCOPED_TRACE(testing::Message() << corner[0] << "," << corner[1]);
            EXPECT_EQ(NearAround(corner[0], corner[1], SelectionColour(), 14), c.Brackets);
        }
    }
    W().MaximizedViewportPanel = nullptr;
    // Another viewport that is not current has none.
    App->viewportLayout = 4;
    Layout();
    Frame();
    for (const auto& corner : Corners(W().ViewportPanels[1]))
        EXPECT_FALSE(NearAround(corner[0], corner[1], SelectionColour(), 14));
}

TEST_F(ViewportsDrawn, TheSpecialModeLabelShowsOnTheMainViewportOnly)
{
    W().MaximizedViewportPanel = nullptr;
    App->viewportLayout = 4;
    Project->SetCurrentViewportIndex(2);
    Project->SpecialDisplayMode = 2;
    Layout();
    Frame();
    EXPECT_GT(Reddish(W().ViewportPanels[0], 18, 32), 20) << "the red label on viewport 0";
    for (int i = 1; i < 4; ++i) EXPECT_EQ(Reddish(W().ViewportPanels[i], 18, 32), 0) << i;
    Project->SpecialDisplayMode = 0;
    Frame();
    EXPECT_EQ(Reddish(W().ViewportPanels[0], 18, 32), 0);
}

TEST_F(ViewportsDrawn, APanelShowsItsObject)
{
    App->viewportLayout = 0;
    Project->SetCurrentViewportIndex(0);
    TKSN_Object* object = Project->CreateNewObject();
    object->SetName("%s", "Plate");
    auto mesh = SubDTest::MakeMesh({{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}}, {}, {{{0, 1, 2, 3}, {}}});
    mesh->OwnerObject = object;
    object->Mesh = std::move(mesh);
    Project->CurrentObjectID = object->GetID();
    Layout();
    TKSN_Viewport* v = App->viewports[0];
    v->SetToFront(false);
    v->DisplayMode = 4;   // shiny grey: no maps needed
    v->FrameView(object, KSN_FRAME_OBJECT);
    Project->OnFinishedNavigating(false);
    Project->OnAllViewportsChanged();
    Frame();
    TKSN_ViewportPanel* p = W().ViewportPanels[0];
    // The object's box projected into the panel, and a point well outside it.
    float box[2][2] = {{1e9f, 1e9f}, {-1e9f, -1e9f}};
    for (int i = 0; i < 4; ++i) {
        const float* q = object->Mesh->resolvedVertices + 3 * i;
        const float* m = v->CombinedMatrix;
        const float u = m[0] * q[0] + m[4] * q[1] + m[8] * q[2] + m[12];
        const float w = m[1] * q[0] + m[5] * q[1] + m[9] * q[2] + m[13];
        box[0][0] = std::min(box[0][0], u), box[1][0] = std::max(box[1][0], u);
        box[0][1] = std::min(box[0][1], w), box[1][1] = std::max(box[1][1], w);
    }
    ASSERT_LT(box[0][0], box[1][0]);
    auto pixel = [&](float u, float w) {
        return At(p->AbsX + int((u + 1) * 0.5f * p->Width), p->AbsY + int((1 - (w + 1) * 0.5f) * p->Height));
    };
    const float cu = 0.5f * (box[0][0] + box[1][0]), cw = 0.5f * (box[0][1] + box[1][1]);
    Project->DeleteThingy(Project->Objects, object);
    Project->CurrentObjectID = 0;
    Project->OnAllViewportsChanged();
    const TPixel inside = pixel(cu, cw);
    Frame();
    const TPixel background = pixel(cu, cw);
    EXPECT_FALSE(Near(inside, background, 4)) << "the object covers its box: " << inside[0] << "," << inside[1] << ","
                                              << inside[2] << " box " << box[0][0] << " " << box[1][0] << " "
                                              << box[0][1] << " " << box[1][1];
}

} // namespace
