// The brush base: falloff, the outline of a thick path, its own shared
// values and panel, and the restriction to the connected surface.
#include "KSN_Brush.h"
#include "KSN_Mesh.h"
#include "KSN_Parameter.h"
#include "KSN_Viewport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

TEST(Brush, RadiusFactorFallsFromCentreToRim)
{
    for (float h : {0.0f, 0.3f, 1.0f}) EXPECT_FLOAT_EQ(GetRadiusFactor(0.0f, 0.2f, h), 1.0f) << h;
    for (float d : {0.0f, 0.05f, 0.1f, 0.199f}) EXPECT_FLOAT_EQ(GetRadiusFactor(d, 0.2f, 1.0f), 1.0f) << d;
    EXPECT_NEAR(GetRadiusFactor(0.1f, 0.2f, 0.0f), 0.5f, 1e-6f) << "cos^2 at half the radius";
    EXPECT_NEAR(GetRadiusFactor(0.2f, 0.2f, 0.0f), 0.0f, 1e-6f) << "the rim";
    EXPECT_LT(GetRadiusFactor(0.1f, 0.2f, 0.0f), GetRadiusFactor(0.1f, 0.2f, 0.5f)) << "harder is fuller";
}

struct TPath {
    TQORNewStaticList<TKSN_Brush_Point*> Points{1};
    TQORNewStaticList<TKSN_LineSegmentQuad*> Quads{1};
    explicit TPath(std::initializer_list<std::pair<float, float>> points)
    {
        for (auto [x, y] : points) Points.Add(new TKSN_Brush_Point(x, y));
    }
    ~TPath()
    {
        for (auto* p : Points) delete p;
        for (auto* q : Quads) delete q;
    }
    int Count(bool join) const
    {
        int n = 0;
        for (auto* q : Quads) n += q->Join == join;
        return n;
    }
};

TEST(Brush, OutlineQuadsOfOpenAndClosedPaths)
{
    struct Case {
        const char* why;
        int points;
        bool closed;
        int segments, joins;
    } cases[] = {
        {"one point", 1, false, 0, 0},      {"two points", 2, false, 1, 0}, {"two points closed", 2, true, 1, 0},
        {"three open", 3, false, 2, 1},     {"three closed", 3, true, 3, 3}, {"four open", 4, false, 3, 2},
    };
    const std::pair<float, float> corners[4] = {{0, 0}, {0.5f, 0}, {0.5f, 0.5f}, {0, 0.5f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        TPath path{};
        for (int i = 0; i < c.points; ++i) path.Points.Add(new TKSN_Brush_Point(corners[i].first, corners[i].second));
        CreateConnectedLineWithThickness(&path.Points, &path.Quads, c.closed, 0.1f, 1.0f);
        EXPECT_EQ(path.Count(false), c.segments);
        EXPECT_EQ(path.Count(true), c.joins);
    }
}

TEST(Brush, ASegmentQuadIsOffsetByTheHalfWidthAcrossTheStroke)
{
    TPath path{{0.0f, 0.0f}, {1.0f, 0.0f}};
    CreateConnectedLineWithThickness(&path.Points, &path.Quads, false, 0.1f, 1.0f);
    ASSERT_EQ(path.Quads.Count(), 1);
    const TKSN_LineSegmentQuad& q = *path.Quads[0];
    // v = (d.y * aspect, -d.x) * w = (0, -0.1).
    EXPECT_FLOAT_EQ(q.c0[1], 0.1f);
    EXPECT_FLOAT_EQ(q.c1[1], -0.1f);
    EXPECT_FLOAT_EQ(q.c2[0], 1.0f);
    EXPECT_FLOAT_EQ(q.c2[1], -0.1f);
    EXPECT_FLOAT_EQ(q.c3[1], 0.1f);

    // A right-angle bend: the join's C is the corner point, J lies outside the bend.
    TPath bend{{0.0f, 0.0f}, {1.0f, 0.0f}, {1.0f, 1.0f}};
    CreateConnectedLineWithThickness(&bend.Points, &bend.Quads, false, 0.1f, 1.0f);
    const TKSN_LineSegmentQuad* join = nullptr;
    for (auto* q2 : bend.Quads)
        if (q2->Join) join = q2;
    ASSERT_NE(join, nullptr);
    EXPECT_NEAR(join->c3[0], 1.0f, 1e-6f);
    EXPECT_NEAR(join->c3[1], 0.0f, 1e-6f);
    EXPECT_NEAR(join->c1[0], 1.1f, 1e-5f) << "the mitre point of the outer edges";
    EXPECT_NEAR(join->c1[1], -0.1f, 1e-5f);
}

class TBrushTool : public TKSN_Brush {};
class TBaseTool : public TKSN_Tool {};

TEST(Brush, OwnValuesPanelAndFlags)
{
    const float toolSize = ToolSize, brushSize = SelectionBrushSize;
    TBaseTool plain;
    TBrushTool brush;
    plain.SetSize(0.33f);
    EXPECT_EQ(ToolSize, 0.33f);
    EXPECT_EQ(SelectionBrushSize, brushSize) << "the brush keeps its own size";
    EXPECT_EQ(brush.GetSize(), brushSize);
    brush.SetStrength(0.5f);
    EXPECT_EQ(SelectionBrushStrength, 0.5f);
    EXPECT_EQ(plain.GetStrength(), ToolStrength);
    ToolSize = toolSize;
    SelectionBrushStrength = 1.0f;

    EXPECT_EQ(brush.Flags & (KSN_TOOL_POLYGON_INFO | KSN_TOOL_MIRRORED_INPUT),
              KSN_TOOL_POLYGON_INFO | KSN_TOOL_MIRRORED_INPUT);
    EXPECT_EQ(brush.Flags & KSN_TOOL_NO_MIRRORED_REPEATS, 0u);
    EXPECT_TRUE(brush.ActingAsABrush());
    EXPECT_FALSE(brush.CanUseSmartCulling());

    brush.UpdateAllParameters();
    ASSERT_EQ(brush.Parameters->Count(), 3);
    EXPECT_TRUE(brush.UsesSizeParameter() && brush.UsesStrengthParameter() && brush.UsesHardnessParameter());
    EXPECT_FALSE(brush.UsesDensityParameter());
    TKSN_Parameter* size = brush.GetSizeParameter();
    EXPECT_TRUE(size->Percent && size->QuadraticSlider && size->InvalidateOverlayOnChange);
    EXPECT_FLOAT_EQ(size->GetFloatMinDisplay(), 0.1f);
    EXPECT_FALSE(brush.GetStrengthParameter()->QuadraticSlider);
    EXPECT_FLOAT_EQ(brush.GetHardnessParameter()->GetFloatMin(), 0.0f);

    brush.OnClearFocus();   // empty: nothing to do
    brush.Points->Add(new TKSN_Brush_Point(0, 0));
    brush.Points->Add(new TKSN_Brush_Point(1, 1));
    brush.OnClearFocus();
    EXPECT_EQ(brush.Points->Count(), 0);
    brush.Points->Add(new TKSN_Brush_Point(0, 0));   // the destructor deletes it
}

// [SECTION] Connected surface

bool SurfaceSwitch = false;

// Two separate quads (vertices 0..3 and 4..7) side by side in the viewport;
// the press over the first floods only that one.
class BrushSurfaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TKSN_ToolProjectHooks hooks;
        hooks.IsConnectedSurfaceOnly = [] { return SurfaceSwitch; };
        KSN_SetToolProjectHooks(hooks);
        SurfaceSwitch = true;
        LocalPointsSkipped = 0;
        Mesh = std::make_unique<TKSN_Mesh>(nullptr);
        Mesh->Create(8, 0, 8, 2);
        const float positions[8][3] = {{-0.9f, -0.2f, 0}, {-0.5f, -0.2f, 0}, {-0.5f, 0.2f, 0}, {-0.9f, 0.2f, 0},
                                       {0.5f, -0.2f, 0},  {0.9f, -0.2f, 0},  {0.9f, 0.2f, 0},  {0.5f, 0.2f, 0}};
        for (int v = 0; v < 8; ++v)
            for (int c = 0; c < 3; ++c) Mesh->resolvedVertices[3 * v + c] = Mesh->baseVertices[3 * v + c] = positions[v][c];
        for (int p = 0; p < 2; ++p) {
            Mesh->Polygons[p].SetCount(4);
            for (int c = 0; c < 4; ++c) Mesh->Polygons[p].Points[c].V = 4 * p + c;
            Mesh->PolygonFlags[p] = 0;
        }
        Viewport.Resize(0, 0, 100, 100);
        const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        std::copy(identity, identity + 16, Viewport.CombinedMatrix);
    }
    void TearDown() override
    {
        KSN_SetToolProjectHooks({});
        SurfaceSwitch = false;
    }
    std::unique_ptr<TKSN_Mesh> Mesh;
    TKSN_Viewport Viewport;
    TBrushTool Brush;
};

TEST_F(BrushSurfaceTest, APressFloodsOnlyTheSurfaceUnderTheBrush)
{
    if (Mesh->GetVisibleVertexCount() < 8) GTEST_SKIP() << "the mesh builds no visible list without its owner";
    SelectionBrushSize = 0.3f;
    Brush.OnMouse(Mesh.get(), &Viewport, 0, 0, -0.6f, 0.0f);
    SelectionBrushSize = 0.1f;
    EXPECT_NE(Mesh->PolygonFlags[0] & 0x20, 0u);
    EXPECT_EQ(Mesh->PolygonFlags[1] & 0x20, 0u);
    EXPECT_FLOAT_EQ(Brush.NearestDepth, 0.0f);
    for (int v = 0; v < 4; ++v) EXPECT_FALSE(Brush.IsPointCulled(Mesh.get(), &Viewport, v)) << v;
    for (int v = 4; v < 8; ++v) EXPECT_TRUE(Brush.IsPointCulled(Mesh.get(), &Viewport, v)) << v;
    EXPECT_EQ(LocalPointsSkipped, 4);

    SurfaceSwitch = false;
    EXPECT_FALSE(Brush.IsPointCulled(Mesh.get(), &Viewport, 5)) << "switch off: the project decides";
}

} // namespace
