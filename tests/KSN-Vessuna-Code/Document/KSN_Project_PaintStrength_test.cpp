// Which map bindings a stroke paints (the viewport's channel, the "Paint
// Channels" switches, brushes that read the viewport's picture) and how the
// strength of each corner is scaled by culling, fade by angle and selection.
#include "KSN_ProjectEditTestSupport.h"
#include "KSN_ToolKinds.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORString.h"

#include <cmath>
#include <cstring>

namespace {

using namespace ksn_edit_test;

std::vector<std::string>* WarningSink = nullptr;

// A touch-up brush of a chosen blend type.
class TTouchup : public TKSN_TouchupEtcBrush {
public:
    int Type = 0;
    int GetBlendType() override { return Type; }
};

class TCullingBrush : public TKSN_PaintBrush {
public:
    bool DoPerVertexCulling() override { return true; }
};

class PaintStrengthTest : public ProjectEditFixture {
protected:
    TKSN_Object* Object = nullptr;
    TKSN_Mesh* Mesh = nullptr;
    TQORMaterial* Skin = nullptr;
    std::vector<std::string> Warnings;

    void SetUp() override
    {
        ProjectEditFixture::SetUp();
        WarningSink = &Warnings;
        OS.AssignOnWarningMessage([](char* text) { WarningSink->push_back(text); });
        OS.AssignOnWarningMessageNoRepeatFailed([](char* text) { WarningSink->push_back(text); });

        // One triangle of material "Skin".
        Object = Project->CreateNewObject();
        Object->SetName("%s", "Head");
        Object->Mesh.reset(new TKSN_Mesh(Object));
        Mesh = Object->Mesh.get();
        Mesh->Create(3, 3, 3, 1);
        TQORPolygon& polygon = Mesh->Polygons[0];
        polygon.SetCount(3);
        for (int k = 0; k < 3; ++k) {
            polygon.Points[k].V = k;
            polygon.Points[k].VT = k;
            for (int c = 0; c < 3; ++c) Mesh->baseVertices[3 * k + c] = 0.0f;
        }
        polygon.Material = 0;
        Skin = KSN_NewMaterial("Skin");
        Mesh->Materials->AddItem(Skin);

        // Nothing scales a strength unless a test asks for it.
        Project->EffectiveCullingMethod = 0;
        Project->DoAngleFade = false;
        Project->PaintOnSelectionOnly = false;
        TotalSelectedVertexCountForPaintingPurposes = 0;
    }
    void TearDown() override
    {
        OS.AssignOnWarningMessage(nullptr);
        OS.AssignOnWarningMessageNoRepeatFailed(nullptr);
        WarningSink = nullptr;
        TotalSelectedVertexCountForPaintingPurposes = 0;
        ProjectEditFixture::TearDown();
    }
    TKSN_Viewport* View() { return App->viewports[0]; }
    TQORMaterialMapSource* Bind(const char* channel)
    {
        TQORMaterialMapSource* map = Project->CreateMapSource();
        Project->AssignMapToMaterialChannel(Mesh, map, Skin, channel);
        return map;
    }
    TQORMaterialMap* BindingOf(TQORMaterialMapSource* map) { return Project->GetMapFromSource(Mesh, map, false); }
    std::vector<float> Adjust(bool culling = true, TKSN_PaintBrush* brush = nullptr)
    {
        float a = 1.0f, b = 1.0f, c = 1.0f;
        Project->AdjustTriangleVertexStrengthsForPainting(0, a, b, c, 0, 1, 2, brush, Mesh, View(), culling);
        return {a, b, c};
    }
};

TEST_F(PaintStrengthTest, RelevanceFollowsTheShownChannelTheSwitchesAndViewportReadingBrushes)
{
    TQORMaterialMapSource* colour = Bind("Color");
    TQORMaterialMapSource* bump = Bind("Bump");
    TQORMaterialMapSource* specular = Bind("Specular");
    TQORMaterialMapSource* unbound = Project->CreateMapSource();
    Project->GetMapFromSource(Mesh, unbound, true);   // a binding no channel names
    std::strcpy(View()->materialChannelName, "Bump");
    TTouchup touchup;

    struct Case {
        const char* Why;
        bool Current, PaintColor;
        int BlendType;   // -1: the current tool is no touch-up brush
        bool Colour, Bump, Specular;
        bool WarnsColor;
    };
    const Case cases[] = {
        {"only the shown channel", true, false, -1, false, true, false, false},
        {"a switch adds its channel", true, true, -1, true, true, false, false},
        {"a switch alone", false, true, -1, true, false, false, false},
        {"nothing chosen", false, false, -1, false, false, false, false},
        {"smudge paints only what the viewport shows", true, true, 3, false, true, false, true},
        {"smudge without the shown channel paints nothing", false, true, 3, false, false, false, true},
        {"blur likewise", true, true, 2, false, true, false, true},
        {"other touch-up types read no picture", true, true, 5, true, true, false, false},
        {"smudge with no switch on has nothing to warn about", true, false, 3, false, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Why);
        Project->PaintCurrentChannel = c.Current;
        Project->PaintColor = c.PaintColor;
        touchup.Type = c.BlendType;
        App->currentTool = c.BlendType >= 0 ? &touchup : nullptr;
        Warnings.clear();
        Project->UpdateAllMapBindingRelevantFlags(View());
        EXPECT_EQ(BindingOf(colour)->RelevantToPainting, c.Colour);
        EXPECT_EQ(BindingOf(bump)->RelevantToPainting, c.Bump);
        EXPECT_EQ(BindingOf(specular)->RelevantToPainting, c.Specular);
        EXPECT_FALSE(BindingOf(unbound)->RelevantToPainting);
        EXPECT_EQ(colour->IsRelevantToPainting(), c.Colour);
        EXPECT_EQ(bump->IsRelevantToPainting(), c.Bump);
        EXPECT_FALSE(unbound->IsRelevantToPainting());
        const std::string text = QORFormat(Lang.GetText(463), "Color");
        const bool warned = std::find(Warnings.begin(), Warnings.end(), text) != Warnings.end();
        EXPECT_EQ(warned, c.WarnsColor);
        for (const std::string& w : Warnings) EXPECT_EQ(w.find("\"Bump\""), std::string::npos) << w;
    }
    App->currentTool = nullptr;
}

TEST_F(PaintStrengthTest, TopologyChangesRecomputeTheFlagsForTheCurrentViewport)
{
    TQORMaterialMapSource* colour = Bind("Color");
    TQORMaterialMapSource* bump = Bind("Bump");
    BindingOf(bump)->RelevantToPainting = true;   // stale from another viewport
    std::strcpy(View()->materialChannelName, "Color");
    Project->OnMapTopologyChanged();
    EXPECT_TRUE(BindingOf(colour)->RelevantToPainting);
    EXPECT_FALSE(BindingOf(bump)->RelevantToPainting);
    EXPECT_TRUE(colour->GetCustomBooleanProperty("OVERDRAW_MAP_RENDERED"));
    EXPECT_FALSE(bump->GetCustomBooleanProperty("OVERDRAW_MAP_RENDERED"));
}

TEST_F(PaintStrengthTest, FadeByAngleCutsBelowTheCutoffAndAFullFalloffGivesFullStrengthAbove)
{
    Project->DoAngleFade = true;
    Project->FadeCutoff = 0.25f;
    View()->ViewVector[0] = View()->ViewVector[1] = 0.0f;
    View()->ViewVector[2] = 1.0f;
    // Squared cosines 0.24, exactly the cutoff 0.25, and 1.
    const float z[3] = {std::sqrt(0.24f), 0.5f, 1.0f};
    for (int v = 0; v < 3; ++v) {
        Mesh->vertexNormals[3 * v] = std::sqrt(1.0f - z[v] * z[v]);
        Mesh->vertexNormals[3 * v + 1] = 0.0f;
        Mesh->vertexNormals[3 * v + 2] = z[v];
    }
    struct Case {
        float Falloff;
        std::vector<float> Expected;
    };
    const Case cases[] = {
        {0.9999f, {0.0f, 1.0f, 1.0f}},
        {1.0f, {0.0f, 1.0f, 1.0f}},
        {0.8f, {0.0f, 0.0f, 1.0f}},   // rises from 0 at the cutoff
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Falloff);
        Project->FadeFalloff = c.Falloff;
        EXPECT_TRUE(Project->ShouldWeAdjustTriangleVertexStrengthsForPainting(nullptr, Mesh, View()));
        const std::vector<float> s = Adjust();
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(s[size_t(k)], c.Expected[size_t(k)], 1e-5f) << k;
    }
}

TEST_F(PaintStrengthTest, SelectionWeightsApplyOnlyWhileSomethingIsSelected)
{
    Project->PaintOnSelectionOnly = true;
    const float weights[3] = {0.2f, 0.5f, 1.0f};
    for (int v = 0; v < 3; ++v) Mesh->VertexInfo[v].Select = weights[v];
    Mesh->Polygons[0].Select = 0.7f;
    TCullingBrush culling;

    TotalSelectedVertexCountForPaintingPurposes = 0;
    EXPECT_FALSE(Project->ShouldWeAdjustTriangleVertexStrengthsForPainting(nullptr, Mesh, View()));
    EXPECT_TRUE(Project->ShouldWeAdjustTriangleVertexStrengthsForPainting(&culling, Mesh, View()));
    EXPECT_EQ(Adjust(), (std::vector<float>{1.0f, 1.0f, 1.0f})) << "no selected vertex: the weights stay out";

    TotalSelectedVertexCountForPaintingPurposes = 3;
    EXPECT_TRUE(Project->ShouldWeAdjustTriangleVertexStrengthsForPainting(nullptr, Mesh, View()));
    App->selectionType = eSelectionType_Vertex;
    EXPECT_EQ(Adjust(), (std::vector<float>{0.2f, 0.5f, 1.0f}));
    App->selectionType = eSelectionType_Polygon;
    EXPECT_EQ(Adjust(), (std::vector<float>{0.7f, 0.7f, 0.7f})) << "every corner takes the polygon's weight";

    App->selectionType = eSelectionType_Vertex;
    float one = 1.0f;
    Project->AdjustVertexStrengthForPainting(0, one, 1, nullptr, Mesh, View());
    EXPECT_FLOAT_EQ(one, 0.5f) << "a single vertex is scaled once";

    Project->PaintOnSelectionOnly = false;
    EXPECT_EQ(Adjust(), (std::vector<float>{1.0f, 1.0f, 1.0f}));
}

TEST_F(PaintStrengthTest, SmartCullingUnderSymmetryNeverZeroesAVertex)
{
    auto* brush = MakeTool<TKSN_PaintBrush>("Symmetric", nullptr, 0x10);
    App->currentTool = brush;
    Object->SymmetryEnabled = true;
    Project->UseSymmetry = true;
    ASSERT_TRUE(Project->DoUseSymmetry(Mesh));
    std::fill(Mesh->VertexCulledValues, Mesh->VertexCulledValues + 3, 0.0f);   // all marked obscured
    for (int method : {0, 2}) {
        SCOPED_TRACE(method);
        Project->EffectiveCullingMethod = method;
        EXPECT_EQ(Adjust(true, brush), (std::vector<float>{1.0f, 1.0f, 1.0f}));
    }
    Project->UseSymmetry = false;
    Project->EffectiveCullingMethod = 2;
    EXPECT_EQ(Adjust(true, brush), (std::vector<float>{1.0f, 1.0f, 1.0f})) << "smart culling's own weights come later";
    App->currentTool = nullptr;
}

} // namespace
