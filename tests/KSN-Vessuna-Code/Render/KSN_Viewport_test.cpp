// The viewport: camera set-up, standard views, cloning, framing, the
// "viewport" block, and the render set-up's defaults.
#include "KSN_Viewport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "KsnTestSupport.h"
#include "OS.h"
#include "QOROctree.h"
#include "QOREvents.h"

namespace {

std::string LastWarning;
void RecordWarning(char* text) { LastWarning = text; }

float EyeZ(const TKSN_Viewport& v, const float* p)
{
    const float* m = v.ModelViewMatrix;
    return m[2] * p[0] + m[6] * p[1] + m[10] * p[2] + m[14];
}

TEST(Viewport, SetupMatrixFitsNearAndFarToTheBox)
{
    struct Case {
        float zoom, zmin, zmax;
    } cases[] = {{1.0f, -1.0f, 1.0f}, {2.0f, 0.0f, 6.0f}, {0.5f, -0.25f, 0.25f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zoom);
        TKSN_Viewport v;
        v.Resize(0, 0, 400, 300);
        v.SetZoom(c.zoom);
        const float min[3] = {-1, -1, c.zmin}, max[3] = {1, 1, c.zmax};
        v.SetupMatrix(min, max);
        float D = (c.zmax - c.zmin) / v.GetZoomFactor();
        EXPECT_NEAR(-EyeZ(v, max), 1.0f + D, 1e-4f);   // the nearest corner
        EXPECT_NEAR(v.Near, 0.9f, 1e-5f);
        EXPECT_NEAR(v.Far, 1.1f * (1.0f + 3.0f * D), 1e-4f);
        // Inverse combined · combined is the identity.
        float id[16];
        KSN_MatrixProduct(v.InverseCombinedMatrix, v.CombinedMatrix, id);
        for (int i = 0; i < 16; ++i) EXPECT_NEAR(id[i], (i % 5 == 0) ? 1.0f : 0.0f, 1e-4f) << i;
        EXPECT_FLOAT_EQ(v.ViewVector[2], 1.0f);
    }
}

TEST(Viewport, DisplacementReachOnScreenAndOctreeServices)
{
    TKSN_Viewport v;
    v.Resize(0, 0, 400, 300);
    const float min[3] = {-1, -1, -1}, max[3] = {1, 1, 1};
    v.SetupMatrix(min, max);
    float u = 0, w = 0;
    v.GetUVBuffersForDisplacements(u, w, -0.5f);
    EXPECT_NEAR(u, 0.5f, 1e-6f);
    EXPECT_NEAR(w, 0.5f * 400.0f / 300.0f, 1e-6f);

    KSN_RegisterViewportOctreeServices();
    const TKSN_ViewportOctreeServices& services = KSN_GetViewportOctreeServices();
    ASSERT_NE(services.CombinedMatrix, nullptr);
    EXPECT_EQ(services.CombinedMatrix(&v), v.CombinedMatrix);
    EXPECT_EQ(services.ProjectionMatrix(&v), v.ProjectionMatrix);
    v.calcViewVolumePlanes();
    float inMin[3] = {-0.5f, -0.5f, -0.5f}, inMax[3] = {0.5f, 0.5f, 0.5f};
    float outMin[3] = {50, 50, 0}, outMax[3] = {51, 51, 0};
    EXPECT_TRUE(services.CubeInView(&v, inMin, inMax, 0.0f));
    EXPECT_FALSE(services.CubeInView(&v, outMin, outMax, 0.0f));
    KSN_SetViewportOctreeServices({});
}

TEST(Viewport, CollapsedViewportSetsUpFiniteMatrices)
{
    TKSN_Viewport v;
    v.Resize(0, 0, 0, 0);
    const float min[3] = {-1, -1, -1}, max[3] = {1, 1, 1};
    v.SetupMatrix(min, max);
    for (float e : v.CombinedMatrix) EXPECT_TRUE(std::isfinite(e));
}

TEST(Viewport, StandardViewsSetRotationAndDefault)
{
    struct Case {
        void (TKSN_Viewport::*set)(bool);
        float m[16];
    } cases[] = {
        {&TKSN_Viewport::SetToFront, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
        {&TKSN_Viewport::SetToBack, {-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1}},
        {&TKSN_Viewport::SetToLeft, {0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1}},
        {&TKSN_Viewport::SetToRight, {0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 0, 1}},
        {&TKSN_Viewport::SetToTop, {1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1}},
        {&TKSN_Viewport::SetToBottom, {1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        TKSN_Viewport v;
        v.CopyViewportIndex = 2;
        (v.*c.set)(true);
        EXPECT_EQ(std::memcmp(v.RotationMatrix, c.m, sizeof c.m), 0);
        EXPECT_EQ(std::memcmp(v.DefaultRotationMatrix, c.m, sizeof c.m), 0);
        EXPECT_TRUE(v.GetAutoView());
        EXPECT_EQ(v.CopyViewportIndex, -1);
    }

    // Navigation-locked: only auto view, copy index and default rotation change.
    TKSN_Viewport v;
    v.NavLock();
    v.CopyViewportIndex = 1;
    v.SetToTop(true);
    EXPECT_TRUE(v.GetAutoView());
    EXPECT_EQ(v.CopyViewportIndex, -1);
    EXPECT_FLOAT_EQ(v.DefaultRotationMatrix[6], 1.0f);
    EXPECT_FLOAT_EQ(v.RotationMatrix[5], 1.0f);
    EXPECT_FLOAT_EQ(v.RotationMatrix[6], 0.0f);
}

TEST(Viewport, CloneOutOfRangeAndNavLocked)
{
    TKSN_Viewport v;
    v.SetZoom(3.0f);
    v.CloneViewport(7, true);
    EXPECT_TRUE(v.GetAutoView());
    EXPECT_EQ(v.CopyViewportIndex, -1);
    EXPECT_FLOAT_EQ(v.GetZoom(), 3.0f);
    v.CloneViewport(-1, false);
    EXPECT_FALSE(v.GetAutoView());
    EXPECT_EQ(v.CopyViewportIndex, -1);

    v.NavLock();
    v.CloneViewport(2, false);
    EXPECT_EQ(v.CopyViewportIndex, 2);
    EXPECT_FLOAT_EQ(v.GetZoom(), 3.0f);
    EXPECT_FLOAT_EQ(v.RotationMatrix[0], 1.0f);
}

TEST(Viewport, RenderedSceneStatusOnlyRises)
{
    TKSN_Viewport v;
    EXPECT_EQ(v.GetRenderedSceneStatus(), 2);
    EXPECT_EQ(v.SetRenderedSceneStatus(1), 2);
    v.ClearRenderedSceneStatus();
    EXPECT_EQ(v.SetRenderedSceneStatus(1), 1);
}

class FramingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LastWarning.clear();
        OS.AssignOnWarningMessage(RecordWarning);
        QOREvents_Clean();
    }
    void TearDown() override
    {
        OS.AssignOnWarningMessage(nullptr);
        QOREvents_Clean();
    }
};

TEST_F(FramingTest, NothingSelectedWarnsAndKeepsTheView)
{
    TKSN_Viewport v;
    v.SetZoom(4.0f);
    v.FrameView(nullptr, KSN_FRAME_SELECTION);
    EXPECT_EQ(LastWarning, "No points have been selected.");
    EXPECT_FLOAT_EQ(v.GetZoom(), 4.0f);
    EXPECT_EQ(QOREvents_GetEventCount(), 0);

    LastWarning.clear();
    v.FrameView(nullptr, KSN_FRAME_OBJECT);   // no object: silently nothing
    EXPECT_EQ(LastWarning, "");
}

TEST_F(FramingTest, OnePointAndEverythingEmpty)
{
    TKSN_Viewport v;
    v.Resize(0, 0, 640, 480);
    v.FrameViewOnPoints({1.0f, 2.0f, 3.0f}, false);
    EXPECT_FLOAT_EQ(v.LookAt[0], 1.0f);
    EXPECT_FLOAT_EQ(v.LookAt[2], 3.0f);
    EXPECT_FLOAT_EQ(v.GetZoom(), 1.0f / 0.75f);
    EXPECT_FLOAT_EQ(v.GetDefaultZoomFactor(), 1.0f / 0.75f);
    ASSERT_EQ(QOREvents_GetEventCount(), 1);
    EXPECT_EQ(QOREvents_PeekEvent(0)->GetCommand(), 298);
    EXPECT_EQ(QOREvents_PeekEvent(0)->GetOwnerID(), v.GetID());

    // All objects, none with a mesh: the origin at zoom 1 / aspect.
    v.FrameView(nullptr, KSN_FRAME_ALL);
    EXPECT_FLOAT_EQ(v.LookAt[0], 0.0f);
    EXPECT_FLOAT_EQ(v.GetZoom(), 1.0f / 0.75f);
    EXPECT_EQ(LastWarning, "");

    // A box 2 x 2 x 2: radius sqrt(3).
    v.FrameViewOnPoints({-1, -1, -1, 1, 1, 1}, false);
    EXPECT_NEAR(v.GetZoom(), std::sqrt(3.0f) / 0.75f, 1e-5f);
}

// [SECTION] The "viewport" block

std::string Save(TKSN_Viewport& v, bool framed)
{
    TTempFile file;
    EXPECT_TRUE(v.SaveToStream_Text(file.f, framed));
    return file.All();
}

TEST(ViewportBlock, AllKeysRoundTrip)
{
    TKSN_Viewport a;
    a.SetName("Aux 2");
    a.index = 2;
    const float rotation[16] = {0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1};
    a.SetRotationMatrix(rotation);
    a.SetToBottom(false);
    a.SetRotationMatrix(rotation);
    const float look[3] = {1.25f, -3.0f, 0.1f};
    a.SetLookAt(look, nullptr, 0, false);
    a.SetZoom(1e-9f);
    a.Current = true;
    a.Lock();
    a.SetAutoView(true);
    a.CopyViewportIndex = 3;
    a.Maximized = true;
    a.CameraID = 77;
    a.DisplayMode = 2;
    std::strcpy(a.materialChannelName, "Specular");
    a.layer.DisplayFlags &= ~TKSN_Layer::Textured;

    std::string text = Save(a, true);
    EXPECT_EQ(text.rfind("viewport\t2\n{\n", 0), 0u) << text;
    EXPECT_NE(text.find("\tZoom\t9.99999972e-10\n"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 2), "}\n");

    TTempFile file(text);
    TKSN_Viewport b;
    b.LoadFromStream_Text(file.f);
    EXPECT_TRUE(b.Loaded);
    EXPECT_STREQ(b.GetName(), "Aux 2");
    EXPECT_EQ(std::memcmp(b.RotationMatrix, rotation, sizeof rotation), 0);
    EXPECT_EQ(std::memcmp(b.DefaultRotationMatrix, a.DefaultRotationMatrix, sizeof rotation), 0);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(b.LookAt[k], look[k]);
    EXPECT_EQ(b.GetZoom(), 1e-9f);
    EXPECT_TRUE(b.Current);
    EXPECT_TRUE(b.IsLocked());
    EXPECT_TRUE(b.GetAutoView());
    EXPECT_EQ(b.CopyViewportIndex, 3);
    EXPECT_TRUE(b.Maximized);
    EXPECT_EQ(b.CameraID, 77);
    EXPECT_EQ(b.DisplayMode, 2);
    EXPECT_STREQ(b.materialChannelName, "Specular");
    EXPECT_EQ(b.layer.DisplayFlags & TKSN_Layer::Textured, 0u);
}

TEST(ViewportBlock, BadValuesAnswerFalseAndUnknownKeysReachTheLayer)
{
    TKSN_Viewport v;
    v.SetZoom(2.0f);
    struct Case {
        const char* key;
        const char* value;
    } bad[] = {{"Zoom", "abc"}, {"LookAt", "1 2"}, {"RotationMatrix", "1 0 0"}, {"CameraID", "x"}};
    for (const Case& c : bad) {
        SCOPED_TRACE(c.key);
        std::string key = c.key, value = c.value;
        EXPECT_FALSE(v.LoadFromStream_Text_ConsiderCommand(nullptr, key.data(), value.data()));
    }
    EXPECT_FLOAT_EQ(v.GetZoom(), 2.0f);
    EXPECT_FLOAT_EQ(v.LookAt[0], 0.0f);
    EXPECT_EQ(v.CameraID, 0);

    // Eight-decimal files still read.
    std::string key = "LookAt", value = "1.50000000 2.00000000 3.00000000";
    EXPECT_TRUE(v.LoadFromStream_Text_ConsiderCommand(nullptr, key.data(), value.data()));
    EXPECT_FLOAT_EQ(v.LookAt[0], 1.5f);

    std::string textured = "Textured", off = "0";
    ASSERT_NE(v.layer.DisplayFlags & TKSN_Layer::Textured, 0u);
    EXPECT_TRUE(v.LoadFromStream_Text_ConsiderCommand(nullptr, textured.data(), off.data()));
    EXPECT_EQ(v.layer.DisplayFlags & TKSN_Layer::Textured, 0u);
}

TEST(ViewportBlock, LongChannelNameIsCut)
{
    TKSN_Viewport v;
    std::string key = "MaterialChannelName", value(300, 'c');
    EXPECT_TRUE(v.LoadFromStream_Text_ConsiderCommand(nullptr, key.data(), value.data()));
    EXPECT_EQ(std::strlen(v.materialChannelName), 255u);

    TKSN_Viewport copy;
    copy.Copy(&v);
    EXPECT_EQ(std::string(copy.materialChannelName), std::string(255, 'c'));
}

TEST(Viewport, CopyTakesViewStateAndOffsetsLast)
{
    TKSN_Viewport a;
    a.Resize(3, 4, 320, 200);
    a.index = 1;
    const float look[3] = {5, 6, 7};
    a.SetLookAt(look, nullptr, 0, false);
    a.SetZoom(0.25f);
    a.ViewOffsetU = 42.0f;
    a.Lock();
    a.DisplayMode = 1;
    TKSN_Viewport b;
    b.NavLock();
    b.Copy(&a);
    EXPECT_EQ(b.WindowWidth, 320);
    EXPECT_EQ(b.index, 1);
    EXPECT_FLOAT_EQ(b.LookAt[1], 6.0f);
    EXPECT_FLOAT_EQ(b.GetZoom(), 0.25f);
    EXPECT_FLOAT_EQ(b.ViewOffsetU, 42.0f);
    EXPECT_TRUE(b.IsLocked());
    EXPECT_EQ(b.DisplayMode, 1);
}

// [SECTION] Render set-up

TEST(RenderSetup, DefaultsAndViewportCopy)
{
    TKSN_RenderSetup s;
    EXPECT_EQ(s.PreviousRenderingType, -1);
    EXPECT_EQ(s.PreviousViewMode, -1);
    EXPECT_EQ(s.RenderingType, 1);
    EXPECT_EQ(s.ViewMode, 4);
    EXPECT_TRUE(s.FilterTextures && s.BackfaceCull && s.DirectionCull && s.UseDisplayLists);

    TKSN_Viewport v;
    v.Resize(0, 0, 32, 16);
    s.InitializeDefaults(&v);
    EXPECT_EQ(s.Viewport.WindowWidth, 32);
    s.ViewMode = 9;
    s.BackgroundGridValid = true;
    s.PreviousViewMode = 9;
    s.InitializeDefaults(nullptr);   // keeps the copy, resets the settings
    EXPECT_EQ(s.Viewport.WindowWidth, 32);
    EXPECT_EQ(s.ViewMode, 4);
    EXPECT_FALSE(s.BackgroundGridValid);
    EXPECT_EQ(s.PreviousViewMode, 9);

    EXPECT_EQ(KSN_ViewModeForDisplayMode(3), 9);
    EXPECT_EQ(KSN_ViewModeForDisplayMode(0), 4);
    EXPECT_EQ(KSN_ViewModeForDisplayMode(17), 4);
}

TEST(RenderSetup, ImagesFollowTheViewportSize)
{
    TKSN_RenderSetup s;
    s.RenderShadingPlanes = true;
    s.Viewport.Resize(0, 0, 0, 0);
    s.SizeImagesToViewport();
    EXPECT_EQ(s.RenderedImage.GetWidth(), 0);
    EXPECT_EQ(s.DepthBuffer.GetAllocatedBytes(), 0u);

    s.Viewport.Resize(0, 0, 8, 4);
    EXPECT_TRUE(s.SizeImagesToViewport());
    EXPECT_EQ(s.DepthBuffer.GetAllocatedBytes(), 8u * 4u * 4u);
    EXPECT_EQ(s.ShadeImage.GetWidth(), 8);
    unsigned char* pixels = s.RenderedImage.GetPixels();
    s.RenderFlags = RENDER_CHANGED_NODES_ONLY;
    EXPECT_FALSE(s.SizeImagesToViewport());
    EXPECT_EQ(s.RenderedImage.GetPixels(), pixels);
    EXPECT_EQ(s.RenderFlags, RENDER_CHANGED_NODES_ONLY);
    s.Viewport.Resize(0, 0, 9, 4);
    EXPECT_TRUE(s.SizeImagesToViewport());
    EXPECT_EQ(s.RenderFlags, 0u);
}

} // namespace
