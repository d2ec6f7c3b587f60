// The viewport panel without drawing: pixels to viewport units, the press
// held back in a viewport that is not current, the stroke bracket and the
// mirrored calls (with a recording tool), locked viewports, the hover
// read-out and its number rule, the polygon warning marker, the title bar's
// menus and captions, the six layouts and the viewport options window.
#include "KSN_ViewportTestSupport.h"

#include "GuiButton.h"
#include "GuiMenu.h"
#include "GuiWindow.h"
#include "KSN_ViewportOptionsWindow.h"
#include "QORString.h"

#include <cstring>

namespace {

// [SECTION] Pointer input

TEST_F(ViewportFixture, PixelsBecomeViewportUnitsAcrossAndUpwards)
{
    TKSN_ViewportPanel* p = Panel(0);
    p->SetSize(200, 100);
    struct TCase {
        int X, Y;
        float Fx, Fy;
    };
    for (const TCase& c : {TCase{0, 0, -1.0f, 1.0f}, TCase{200, 100, 1.0f, -1.0f}, TCase{100, 50, 0.0f, 0.0f},
                           TCase{50, 75, -0.5f, -0.5f}}) {
        SCOPED_TRACE(testing::Message() << c.X << "," << c.Y);
        float fx = 9, fy = 9;
        p->PixelToUnits(c.X, c.Y, fx, fy);
        EXPECT_FLOAT_EQ(fx, c.Fx);
        EXPECT_FLOAT_EQ(fy, c.Fy);
    }
    // The tool and the project's last pointer position get the same units (a
    // right press reaches the tool without further ado).
    AddCurrentMesh("Head", Square(0.5f));
    UseTool(KSN_TOOL_MOUSE_INPUT);
    p->OnMouse(2, 0, 200, 100);
    ASSERT_EQ(Tool->Count("mouse"), 1);
    EXPECT_FLOAT_EQ(Tool->Calls.back().X, 1.0f);
    EXPECT_FLOAT_EQ(Tool->Calls.back().Y, -1.0f);
    EXPECT_FLOAT_EQ(Project->LastMouseFx, 1.0f);
    EXPECT_FLOAT_EQ(Project->LastMouseFy, -1.0f);
}

TEST_F(ViewportFixture, ALeftPressInAnotherViewportOnlyMakesItCurrent)
{
    AddCurrentMesh("Head", Square(0.5f));
    UseTool(KSN_TOOL_MOUSE_INPUT);
    Project->SetCurrentViewportIndex(0);
    TKSN_ViewportPanel* p = Panel(2);
    const int x = p->AbsX + p->Width / 2, y = p->AbsY + p->Height / 2;

    // The press only queues 300: the viewport becomes current at the next pump pass.
    QOREvents_Clean();
    p->OnMouse(0, 0, 10, 10);
    EXPECT_EQ(CountQueued(300), 1);
    EXPECT_EQ(QOREvents_GetEventCount(), 1) << "and nothing else";
    EXPECT_EQ(Project->GetCurrentViewportIndex(), 0);
    p->OnMouse(0, 1, 10, 10);
    EXPECT_TRUE(Tool->Calls.empty());
    QOREvents_Clean();

    // Through the window: press, drag and release; the pump runs 300 and nothing reaches the tool.
    Press(x, y);
    Drag(x + 5, y + 5);
    Release(x + 5, y + 5);
    EXPECT_TRUE(Tool->Calls.empty()) << "the tool saw neither press, motion nor release";
    EXPECT_EQ(Count(300), 1);
    KestruneEvents_ProcessEvents();
    EXPECT_EQ(Project->GetCurrentViewportIndex(), 2);

    // Now current: the next left press runs 300 at once and reaches the tool.
    g_RanCommands.clear();
    Press(x, y);
    EXPECT_EQ(Count(300), 1);
    EXPECT_EQ(Tool->Names(), (std::vector<std::string>{"before", "mouse"}));
    Release(x, y);
    EXPECT_EQ(Tool->Names(), (std::vector<std::string>{"before", "mouse", "mouse", "after"}));
}

TEST_F(ViewportFixture, ARightPressReachesTheToolWithoutMakingTheViewportCurrent)
{
    AddCurrentMesh("Head", Square(0.5f));
    UseTool(KSN_TOOL_MOUSE_INPUT);
    Project->SetCurrentViewportIndex(0);
    TKSN_ViewportPanel* p = Panel(1);
    Press(p->AbsX + 10, p->AbsY + 30, 2);
    ASSERT_EQ(Tool->Count("mouse"), 1);
    EXPECT_EQ(Tool->Calls[1].Button, 2);
    EXPECT_EQ(CountQueued(300), 0);
    KestruneEvents_ProcessEvents();
    EXPECT_EQ(Project->GetCurrentViewportIndex(), 0);
}

TEST_F(ViewportFixture, MirroringRepeatsEachCallInTheOrderPrimaryXYXY)
{
    AddCurrentMesh("Head", Square(0.5f));
    Project->SetCurrentViewportIndex(0);
    TKSN_ViewportPanel* p = Panel(0);
    struct TCase {
        const char* Name;
        bool MirrorX, MirrorY;
        uint32_t Flags;
        int CallsPerInput;
    };
    const uint32_t mirrored = KSN_TOOL_MOUSE_INPUT | KSN_TOOL_MIRRORED_INPUT;
    for (const TCase& c : {TCase{"X", true, false, mirrored, 2}, TCase{"X and Y", true, true, mirrored, 4},
                           TCase{"mirrors itself", true, true, mirrored | KSN_TOOL_NO_MIRRORED_REPEATS, 1},
                           TCase{"no mirroring", false, false, mirrored, 1}}) {
        SCOPED_TRACE(c.Name);
        Tool->Calls.clear();
        UseTool(c.Flags);
        Project->MirrorX = c.MirrorX;
        Project->MirrorY = c.MirrorY;
        const float fx = 0.25f, fy = -0.5f;
        Press(AbsX(p, fx), AbsY(p, fy));
        Drag(AbsX(p, fx) + 4, AbsY(p, fy));
        Release(AbsX(p, fx) + 4, AbsY(p, fy));
        EXPECT_EQ(Tool->Count("mouse"), 2 * c.CallsPerInput);
        EXPECT_EQ(Tool->Count("motion"), c.CallsPerInput);
        EXPECT_EQ(Tool->Count("before"), 1);
        EXPECT_EQ(Tool->Count("after"), 1);
        EXPECT_EQ(Tool->Calls.front().What, "before") << "BeforeUse comes before the primary call";
        EXPECT_EQ(Tool->Calls.back().What, "after") << "AfterUse comes after the last call";
        // The press calls: primary at the point, then X, Y and XY at the mirrored points
        // (in the viewport: the mirror about the centre).
        std::vector<TToolCall> press(Tool->Calls.begin() + 1, Tool->Calls.begin() + 1 + c.CallsPerInput);
        const float px = press[0].X, py = press[0].Y;
        EXPECT_NEAR(px, fx, 0.02f);
        EXPECT_NEAR(py, fy, 0.02f);
        EXPECT_FALSE(press[0].Mirror) << "IsMirrorStroke is false only for the primary call";
        if (c.CallsPerInput == 4) {
            const float expected[4][2] = {{px, py}, {-px, py}, {px, -py}, {-px, -py}};
            for (int i = 1; i < 4; ++i) {
                EXPECT_TRUE(press[size_t(i)].Mirror);
                EXPECT_FLOAT_EQ(press[size_t(i)].X, expected[i][0]);
                EXPECT_FLOAT_EQ(press[size_t(i)].Y, expected[i][1]);
                // The previous point is mirrored along with the call.
                EXPECT_FLOAT_EQ(press[size_t(i)].PrevX, expected[i][0]);
                EXPECT_FLOAT_EQ(press[size_t(i)].PrevY, expected[i][1]);
            }
        }
    }
    Project->MirrorX = Project->MirrorY = false;
}

TEST_F(ViewportFixture, TheMirrorPointFollowsTheViewportOrTheWorld)
{
    float mx = 0, my = 0;
    Project->MirrorInViewport = true;
    KSN_GetMirrorPoint(View(0), 0.25f, -0.5f, mx, my);
    EXPECT_FLOAT_EQ(mx, -0.25f);
    EXPECT_FLOAT_EQ(my, 0.5f);
    // In the world: through the view and back; with a view shifted by 0.1 in x
    // the world mirror lands elsewhere than the viewport mirror.
    Project->MirrorInViewport = false;
    TKSN_Viewport* v = View(0);
    KSN_SetIdentityView(v);
    v->CombinedMatrix[12] = 0.1f;          // world to units: x + 0.1
    v->InverseCombinedMatrix[12] = -0.1f;  // units to world: x - 0.1
    KSN_GetMirrorPoint(v, 0.25f, -0.5f, mx, my);
    EXPECT_FLOAT_EQ(mx, -(0.25f - 0.1f) + 0.1f);
    EXPECT_FLOAT_EQ(my, 0.5f);
    Project->MirrorInViewport = true;
}

TEST_F(ViewportFixture, AReleaseOnAnotherPanelMarksItOutsideWithoutAfterUse)
{
    AddCurrentMesh("Head", Square(0.5f));
    UseTool(KSN_TOOL_MOUSE_INPUT);
    Project->SetCurrentViewportIndex(0);
    TKSN_ViewportPanel* p = Panel(0);
    Press(p->AbsX + 20, p->AbsY + 30);
    ASSERT_EQ(W().GetOnMouseDownNode(), p);
    Tool->ReleasedOutside = 0;
    Panel(1)->OnMouse(0, 1, 5, 5);
    EXPECT_EQ(Tool->ReleasedOutside, 1);
    EXPECT_EQ(Tool->Count("after"), 0);
    EXPECT_EQ(Tool->Count("mouse"), 1) << "only the press";
}

TEST_F(ViewportFixture, ALockedViewportKeepsInputFromToolsThatRespectTheLock)
{
    AddCurrentMesh("Head", Square(0.5f));
    UseTool(KSN_TOOL_MOUSE_INPUT);
    Project->SetCurrentViewportIndex(0);
    TKSN_ViewportPanel* p = Panel(0);
    View(0)->Lock();
    const int x = p->AbsX + 20, y = p->AbsY + 30;
    Press(x, y);
    Drag(x + 3, y);
    Release(x + 3, y);
    EXPECT_TRUE(Tool->Calls.empty());

    Tool->IgnoreLock = true;
    Press(x, y);
    Release(x, y);
    EXPECT_EQ(Tool->Count("mouse"), 2) << "a tool that ignores the lock still works";

    // A double click warns with the viewport's name and flashes its orientation box.
    g_Printed.clear();
    QOREvents_Clean();
    EXPECT_FALSE(p->OnDoubleClick(x - p->AbsX, y - p->AbsY));
    ASSERT_EQ(CountQueued(279), 1);
    EXPECT_EQ(QOREvents_PeekEvent(QOREvents_GetEventCount() - 1)->GetOwnerID(), View(0)->GetID());
    EXPECT_EQ(LastPrinted(), QORFormat(Lang.GetText(1461), View(0)->GetName()));
    EXPECT_EQ(Tool->Count("double"), 0);
    View(0)->Unlock();
}

TEST_F(ViewportFixture, APanelWithoutItsViewportDoesNothing)
{
    AddCurrentMesh("Head", Square(0.5f));
    UseTool(KSN_TOOL_MOUSE_INPUT);
    TKSN_ViewportPanel orphan(&W());
    orphan.SetSize(100, 100);
    orphan.OnMouse(2, 0, 10, 10);
    orphan.OnPassive(10, 10);
    EXPECT_FALSE(orphan.OnDoubleClick(10, 10));
    orphan.AssignViewport(Project->GetID());   // an object of another class
    orphan.OnMouse(2, 0, 10, 10);
    EXPECT_EQ(orphan.GetViewport(), nullptr);
    EXPECT_TRUE(Tool->Calls.empty());
    EXPECT_TRUE(g_Hint.empty());
    orphan.Unlink();
}

// [SECTION] Hover read-out

TEST(ReadoutNumber, DecimalsFollowTheMagnitude)
{
    struct TCase {
        float Value;
        int MaxDecimals;
        const char* Text;
    };
    for (const TCase& c : {TCase{0.5f, 4, "0.500"}, TCase{12.5f, 4, "12.50"}, TCase{0.05f, 4, "0.1"},
                           TCase{1234.6f, 4, "1235"}, TCase{999.5f, 4, "999.5"}, TCase{0.0f, 4, "0"},
                           TCase{-0.5f, 4, "-0.500"}, TCase{50.0f, 1, "50"}, TCase{0.05f, 1, "0.1"},
                           TCase{7.25f, 0, "7"}}) {
        SCOPED_TRACE(testing::Message() << c.Value << " / " << c.MaxDecimals);
        char text[64];
        EXPECT_STREQ(KSN_FormatReadoutNumber(text, sizeof text, c.Value, c.MaxDecimals), c.Text);
    }
}

class ReadoutFixture : public ViewportFixture {
protected:
    void SetUp() override
    {
        ViewportFixture::SetUp();
        Project->SetCurrentViewportIndex(0);
        KSN_SetIdentityView(View(0));
        p = Panel(0);
    }
    void HoverCentre() { p->OnPassive(p->Width / 2, p->Height / 2); }
    TKSN_ViewportPanel* p = nullptr;
};

TEST_F(ReadoutFixture, APolygonListsTenCornersThenAnEllipsis)
{
    std::vector<std::array<float, 3>> points;
    std::vector<int> corners;
    for (int i = 0; i < 12; ++i) {
        const double a = 2.0 * 3.14159265358979 * i / 12;
        points.push_back({float(0.5 * std::cos(a)), float(0.5 * std::sin(a)), 0.0f});
        corners.push_back(i);
    }
    TKSN_Mesh* mesh = AddCurrentMesh("Twelve", SubDTest::MakeMesh(points, {}, {{corners, std::vector<int>(12, -1)}}));
    ASSERT_EQ(mesh->vGetPolyN(0), 12);
    HoverCentre();
    EXPECT_NE(g_Hint.find("[b]Object:[/b] Twelve\n"), std::string::npos) << g_Hint;
    EXPECT_NE(g_Hint.find("[b]Points:[/b]  {0},  {1},  {2},  {3},  {4},  {5},  {6},  {7},  {8},  {9}...\n"),
              std::string::npos)
        << g_Hint;
    EXPECT_EQ(g_Hint.find("{10}"), std::string::npos);
    EXPECT_EQ(g_Hint.find("[b]UV:[/b]"), std::string::npos) << "no texture vertices";
    EXPECT_EQ(OnPassive_Closest_Mesh_ID, mesh->GetID());
    EXPECT_EQ(OnPassive_Closest_ip, 0);
}

TEST_F(ReadoutFixture, TheReadOutListsTheUserLayersOfThePolygon)
{
    TKSN_Mesh* mesh = AddCurrentMesh("Head", Square(0.5f));
    for (int i : {1, 3, 30}) Project->PolygonLayers[i]->SetName("Layer-%d", i);
    struct TCase {
        uint32_t Mask;
        const char* Expected;   // null: no layers part
    };
    for (const TCase& c : {TCase{0, nullptr}, TCase{0x5, "[b]In Layers...[/b]\n    Layer-1\n    Layer-3\n"},
                           TCase{0x20000000, "[b]In Layers...[/b]\n"}}) {
        SCOPED_TRACE(c.Mask);
        mesh->Polygons[0].LayerFlags = c.Mask;
        HoverCentre();
        if (!c.Expected) {
            EXPECT_EQ(g_Hint.find("In Layers"), std::string::npos);
        } else {
            const size_t at = g_Hint.find("[b]In Layers...[/b]");
            ASSERT_NE(at, std::string::npos) << g_Hint;
            EXPECT_EQ(g_Hint.substr(at), c.Expected) << "the hidden layer is never listed";
        }
    }
    // The parts come in the order: viewport, object, vertex, polygon, UV, layers.
    const size_t viewport = g_Hint.find("[b]Viewport:[/b]"), object = g_Hint.find("[b]Object:[/b]"),
                 vertex = g_Hint.find("[b]Vertex:[/b]"), polygon = g_Hint.find("[b]Polygon:[/b] 0"),
                 uv = g_Hint.find("[b]UV:[/b]");
    EXPECT_LT(viewport, object);
    EXPECT_LT(object, vertex);
    EXPECT_LT(vertex, polygon);
    EXPECT_LT(polygon, uv);
    EXPECT_NE(uv, std::string::npos);
}

TEST_F(ReadoutFixture, LongNamesAreCutNeverOverrun)
{
    TKSN_Mesh* mesh = AddCurrentMesh("x", Square(0.5f));
    const std::string longName(999, 'n');
    mesh->OwnerObject->SetName("%s", longName.c_str());
    for (int i = 1; i <= 29; ++i) Project->PolygonLayers[i]->SetName("%s", std::string(999, char('a' + i % 26)).c_str());
    mesh->Polygons[0].LayerFlags = 0x1FFFFFFF;
    HoverCentre();
    ASSERT_FALSE(g_Hint.empty());
    EXPECT_LT(g_Hint.size(), 10000u);
    EXPECT_NE(g_Hint.find("[b]In Layers...[/b]"), std::string::npos) << "the layers part is there, cut";
    // Each part fits its own buffer: at most 999 bytes of layer names.
    const size_t at = g_Hint.find("[b]In Layers...[/b]");
    EXPECT_LE(g_Hint.size() - at, 999u);
    EXPECT_NE(g_Hint.find("[b]Polygon:[/b] 0"), std::string::npos) << "the other parts are whole";
}

TEST_F(ReadoutFixture, WhileDrawingInRealTimeOnlyTheViewportLineShows)
{
    AddCurrentMesh("Head", Square(0.5f));
    View(0)->DisplayMode = 1;
    Project->InteractiveMotion = true;
    HoverCentre();
    EXPECT_EQ(g_Hint, QORFormat("[b]Viewport:[/b] %s [b]Display Mode:[/b] %s\n", View(0)->GetName(),
                                Lang.GetText(1133)));
    EXPECT_EQ(OnPassive_Closest_Mesh_ID, 0u);
    Project->InteractiveMotion = false;
    View(0)->DisplayMode = 3;
    HoverCentre();
    EXPECT_NE(g_Hint.find("[b]Display Mode:[/b] Color Maps\n"), std::string::npos) << g_Hint;
}

// [SECTION] Polygon warnings and layer colours

TEST_F(ReadoutFixture, ALockedPolygonOnTheSymmetricSideShowsTheLockIcon)
{
    TKSN_Mesh* mesh = AddCurrentMesh("Head", SubDTest::MakeMesh({{-0.5f, -0.5f, 0}, {0, -0.5f, 0}, {0, 0.5f, 0},
                                                                  {-0.5f, 0.5f, 0}, {0.5f, -0.5f, 0}, {0.5f, 0.5f, 0}},
                                                                 {}, {{{0, 1, 2, 3}, {}}, {{1, 4, 5, 2}, {}}}));
    UseTool(KSN_TOOL_MOUSE_INPUT | KSN_TOOL_SYMMETRIC);
    Project->UseSymmetry = true;
    mesh->OwnerObject->SymmetryEnabled = true;
    int32_t partners[2] = {1, 0};
    mesh->activePolygonPartnerA = partners;
    mesh->PolygonFlags[0] |= QORPoly_Locked;
    Project->PolygonLayers[31]->Color[0] = 0.25f;
    mesh->Polygons[0].LayerFlags = 1u << 30;   // the locked layer
    Project->PolygonLayers[31]->Locked = true;

    const int x = PixelX(p, -0.25f), y = PixelY(p, 0.0f);
    p->OnPassive(x, y);
    TGui_Node* marker = W().LockIcon;
    ASSERT_TRUE(marker->Shown);
    EXPECT_EQ(marker->GetGraphic(), QORglut_Textures_GetTextureFromList("Lock_icon"));
    EXPECT_STREQ(PolygonHoverOverWarningHint, Lang.GetText(1663));
    EXPECT_EQ(g_Hint.rfind(std::string(Lang.GetText(1663)) + "\n", 0), 0u) << "the warning opens the read-out";
    EXPECT_EQ(marker->X, p->AbsX + x + 10);
    EXPECT_EQ(marker->Y, p->AbsY + y - 10);

    // Unlocked, the symmetric side speaks for itself.
    mesh->PolygonFlags[0] &= ~uint32_t(QORPoly_Locked);
    p->OnPassive(x, y);
    EXPECT_EQ(marker->GetGraphic(), QORglut_Textures_GetTextureFromList("Attention_Icon"));
    EXPECT_STREQ(PolygonHoverOverWarningHint, Lang.GetText(1592));
    // Over the other polygon (no partner of its own in this map's view) nothing shows.
    partners[1] = -1;
    p->OnPassive(PixelX(p, 0.25f), y);
    EXPECT_FALSE(marker->Shown);
    EXPECT_STREQ(PolygonHoverOverWarningHint, "");
    mesh->activePolygonPartnerA = nullptr;
}

TEST_F(ReadoutFixture, ASteepPolygonWarnsWhenTheBrushFadesByAngle)
{
    // A quad tilted almost edge-on to the view (its normal 11 degrees off the screen).
    AddCurrentMesh("Steep", SubDTest::MakeMesh({{-0.5f, -0.1f, -0.49f}, {0.5f, -0.1f, -0.49f}, {0.5f, 0.1f, 0.49f},
                                                {-0.5f, 0.1f, 0.49f}},
                                               {}, {{{0, 1, 2, 3}, {}}}));
    UseTool(KSN_TOOL_MOUSE_INPUT | KSN_TOOL_POLYGON_INFO);
    Tool->Brush = true;
    struct TCase {
        bool AngleFade;
        const char* Warning;
    };
    for (const TCase& c : {TCase{false, ""}, TCase{true, Lang.GetText(1667)}}) {
        SCOPED_TRACE(c.AngleFade);
        Project->DoAngleFade = c.AngleFade;
        HoverCentre();
        EXPECT_STREQ(PolygonHoverOverWarningHint, c.Warning);
        EXPECT_EQ(W().LockIcon->Shown, c.AngleFade);
    }
    // The same brush over a polygon facing the view has nothing to say.
    TKSN_Mesh* facing = AddCurrentMesh("Facing", Square(0.3f));
    Project->DoAngleFade = true;
    p->OnPassive(PixelX(p, 0.0f), PixelY(p, 0.2f));
    EXPECT_EQ(OnPassive_Closest_Mesh_ID, facing->GetID());
    EXPECT_STREQ(PolygonHoverOverWarningHint, "");
    EXPECT_FALSE(W().LockIcon->Shown);
    Project->DoAngleFade = false;
}

TEST_F(ViewportFixture, AReshapeRefreshesThePanelAndTellsTheInterface)
{
    TKSN_ViewportPanel* p = Panel(1);
    View(1)->ClearRenderedSceneStatus();
    QOREvents_Clean();
    const int before = p->ViewChangedCount;
    p->OnReshape();
    ASSERT_EQ(CountQueued(442), 1);
    EXPECT_EQ(QOREvents_PeekEvent(0)->GetOwnerID(), p->GetID());
    EXPECT_EQ(p->ViewChangedCount, before + 1);
    EXPECT_EQ(View(1)->GetRenderedSceneStatus(), 2);
}

TEST_F(ViewportFixture, APolygonShowsTheColourOfItsChosenLayer)
{
    TKSN_Mesh* mesh = AddCurrentMesh("Head", Square(0.5f));
    for (int i = 0; i < 32; ++i) Project->PolygonLayers[i]->Locked = false;
    Project->PolygonLayers[31]->Locked = true;
    struct TCase {
        uint32_t Mask;
        int Current, Expected;
    };
    auto bit = [](int layer) { return 1u << (layer - 1); };
    for (const TCase& c : {TCase{0, 0, 0}, TCase{bit(31) | bit(3), 0, 31}, TCase{bit(3) | bit(5), 3, 3},
                           TCase{bit(3) | bit(5), 0, 5}}) {
        SCOPED_TRACE(testing::Message() << std::hex << c.Mask);
        mesh->Polygons[0].LayerFlags = c.Mask;
        Project->CurrentLayerIndex = c.Current;
        EXPECT_EQ(ChoosePolygonLayer(mesh, 0), Project->PolygonLayers[c.Expected]);
    }
    Project->CurrentLayerIndex = 0;
}

// [SECTION] Title bar

TEST_F(ViewportFixture, TheOrientationMenuOffersCopiesOnlyOnTheAuxiliaryViewports)
{
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        TKSN_ViewportPanel* p = Panel(i);
        ASSERT_NE(p->OrientationOptions, nullptr);
        ASSERT_TRUE(Run(267, 1, 0, 0.0f, p->GetID()));
        const std::vector<TGui_MenuText*> items = Items(p->OrientationOptions->GetMenu());
        ASSERT_EQ(items.size(), i == 0 ? 10u : 19u);
        EXPECT_STREQ(items[2]->GetName(), "Lock");
        EXPECT_FALSE(items[2]->Pressed);
        for (size_t k = 4; k < items.size(); ++k)
            if (!items[k]->IsSeparator()) {
                EXPECT_TRUE(items[k]->IsEnabled()) << items[k]->GetName();
            }
    }
    View(1)->Lock();
    ASSERT_TRUE(Run(267, 1, 0, 0.0f, Panel(1)->GetID()));
    const std::vector<TGui_MenuText*> items = Items(Panel(1)->OrientationOptions->GetMenu());
    EXPECT_TRUE(items[2]->Pressed) << "Lock is checked";
    for (size_t k = 4; k < items.size(); ++k)
        if (!items[k]->IsSeparator()) {
            EXPECT_FALSE(items[k]->IsEnabled()) << items[k]->GetName();
        }
    View(1)->Unlock();
    EXPECT_FALSE(Run(267, 1, 0, 0.0f, View(1)->GetID())) << "the owner must be a panel";
}

TEST_F(ViewportFixture, TheCaptionNamesTheOrientation)
{
    struct TCase {
        const char* Name;
        int Viewport;
        void (*Turn)(TKSN_Viewport*);
        const char* Caption;
    };
    for (const TCase& c :
         {TCase{"front", 0, [](TKSN_Viewport* v) { v->SetToFront(false); }, "Front"},
          TCase{"by hand", 0,
                [](TKSN_Viewport* v) {
                    v->SetToFront(false);
                    float m[16];
                    std::copy(v->RotationMatrix, v->RotationMatrix + 16, m);
                    m[0] = 0.8f, m[2] = 0.6f, m[8] = -0.6f, m[10] = 0.8f;
                    v->SetRotationMatrix(m);
                },
                "User"},
          TCase{"left (auto)", 2, [](TKSN_Viewport* v) { v->SetToLeft(true); }, "Left (Auto)"},
          TCase{"copy main (auto)", 2, [](TKSN_Viewport* v) { v->CloneViewport(0, true); }, "Copy Main (Auto)"}}) {
        SCOPED_TRACE(c.Name);
        TKSN_ViewportPanel* p = Panel(c.Viewport);
        c.Turn(View(c.Viewport));
        p->OnUpdateContents();
        EXPECT_STREQ(p->OrientationOptions->Box->GetName(), c.Caption);
        EXPECT_EQ(p->TitleBar->Width, p->Width);
    }
}

TEST_F(ViewportFixture, TheDisplayDropDownNeverShowsInTheBar)
{
    for (int width : {120, 400, 2000}) {
        SCOPED_TRACE(width);
        TKSN_ViewportPanel* p = Panel(0);
        p->Width = width;
        p->UpdateVisibilityForTitleBarItems();
        EXPECT_TRUE(p->OrientationOptions->Shown);
        EXPECT_FALSE(p->DisplayOptions->Shown);
    }
}

TEST_F(ViewportFixture, TheDisplayMenuChecksTheViewportsMode)
{
    TKSN_ViewportPanel* p = Panel(0);
    View(0)->DisplayMode = 3;
    std::snprintf(View(0)->materialChannelName, sizeof View(0)->materialChannelName, "%s", "bump");
    UpdateDisplayModeMenu(p, p->DisplayOptions);
    std::vector<std::string> checked;
    for (TGui_MenuText* item : RealItems(p->DisplayOptions->GetMenu()))
        if (item->Pressed) checked.push_back(item->GetName());
    const std::string bump = QORFormat("%s %s", App->GetDisplayNameForChannel("Bump"), Lang.GetText(1126));
    EXPECT_EQ(checked, std::vector<std::string>{bump});
    for (TGui_MenuText* item : RealItems(p->DisplayOptions->GetMenu()))
        EXPECT_EQ(std::string(item->GetName()).find("Glossy"), std::string::npos);
    View(0)->DisplayMode = 4;
    UpdateDisplayModeMenu(p, p->DisplayOptions);
    EXPECT_STREQ(p->DisplayOptions->Box->GetName(), Lang.GetText(1135));
}

// [SECTION] Layouts

TEST(ViewportLayouts, EachConfigurationPlacesItsPanels)
{
    using R = TKSN_ViewportRect;
    struct TCase {
        int Config;
        std::vector<int> Shown;
        R Rects[4];
        int LeftOver;
    };
    const int W = 1003, H = 600;
    const TCase cases[] = {
        {0, {0}, {{0, 0, 1000, 600}, {}, {}, {}}, 3},
        {1, {0, 1}, {{496, 0, 496, 600}, {0, 0, 496, 600}, {}, {}}, 11},
        {2, {0, 1}, {{0, 300, 1000, 300}, {0, 0, 1000, 300}, {}, {}}, 3},
        {3, {0, 1, 2}, {{0, 300, 992, 300}, {0, 0, 496, 300}, {496, 0, 496, 300}, {}}, 11},
        {4, {0, 1, 2, 3}, {{496, 300, 496, 300}, {0, 300, 496, 300}, {496, 0, 496, 300}, {0, 0, 496, 300}}, 11},
        {5, {0, 1, 2, 3}, {{248, 0, 752, 600}, {0, 0, 248, 200}, {0, 200, 248, 200}, {0, 400, 248, 200}}, 3},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Config);
        TKSN_ViewportRect rects[4];
        bool shown[4];
        int leftOver = -1;
        ASSERT_TRUE(KSN_ViewportLayout(c.Config, W, H, rects, shown, leftOver));
        EXPECT_EQ(leftOver, c.LeftOver);
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(i);
            const bool expected = std::find(c.Shown.begin(), c.Shown.end(), i) != c.Shown.end();
            EXPECT_EQ(shown[i], expected);
            if (!expected) continue;
            EXPECT_EQ(rects[i].X, c.Rects[i].X);
            EXPECT_EQ(rects[i].Y, c.Rects[i].Y);
            EXPECT_EQ(rects[i].Width, c.Rects[i].Width);
            EXPECT_EQ(rects[i].Height, c.Rects[i].Height);
        }
    }
    TKSN_ViewportRect rects[4];
    bool shown[4];
    int leftOver = 7;
    EXPECT_FALSE(KSN_ViewportLayout(6, W, H, rects, shown, leftOver));
    // A tall area: the side column takes a third of the height.
    ASSERT_TRUE(KSN_ViewportLayout(5, 400, 900, rects, shown, leftOver));
    EXPECT_EQ(rects[1].Width, 296);
    EXPECT_EQ(rects[0].Width, 104);
}

TEST_F(ViewportFixture, AMaximisedPanelOverridesTheConfiguration)
{
    for (int config : {0, 4, 5}) {
        SCOPED_TRACE(config);
        App->viewportLayout = config;
        W().MaximizedViewportPanel = Panel(2);
        Layout();
        for (int i = 0; i < 4; ++i) EXPECT_EQ(Panel(i)->Shown, i == 2);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(View(i)->shown, i == 2);
        EXPECT_EQ(Panel(2)->X, W().ModeButtonBar->Width);
        EXPECT_EQ(Panel(2)->Width % 8, 0);
        EXPECT_EQ(View(2)->WindowWidth, Panel(2)->Width);
    }
    W().MaximizedViewportPanel = nullptr;
    App->viewportLayout = 4;
    Layout();
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(Panel(i)->Shown);
    // The padding node covers what the 8-pixel steps leave over.
    const int right = Panel(0)->X + Panel(0)->Width;
    EXPECT_EQ(DummyViewportPaddingNode->X, right);
    EXPECT_EQ(DummyViewportPaddingNode->X + DummyViewportPaddingNode->Width, W().SidePanel->X);
}

TEST_F(ViewportFixture, AMessageWindowDraggedTooLowComesBackAndMarksTheViewportsOnce)
{
    TGui_Window* messages = W().MessageWindow;
    Layout();
    for (TKSN_Viewport* v : App->viewports) v->ClearRenderedSceneStatus();
    messages->Y = W().Height - 10;
    Layout();
    EXPECT_EQ(messages->Y, W().Height - 50);
    int stale = 0;
    for (TKSN_Viewport* v : App->viewports) stale += v->GetRenderedSceneStatus() != 0;
    EXPECT_GT(stale, 0) << "moving it marks the viewports stale";
    for (TKSN_Viewport* v : App->viewports) v->ClearRenderedSceneStatus();
    Layout();
    stale = 0;
    for (TKSN_Viewport* v : App->viewports) stale += v->GetRenderedSceneStatus() != 0;
    EXPECT_EQ(stale, 0) << "once";
    messages->Y = 20;
    Layout();
    EXPECT_EQ(messages->Y, 100);
    EXPECT_EQ(W().MessagePanel->Width, messages->Width / 2);
    EXPECT_EQ(W().HintPanel->X, W().MessagePanel->Width);
}

// [SECTION] Options window

TEST_F(ViewportFixture, TheOptionsWindowShowsThePanelsOptions)
{
    auto* window = dynamic_cast<TKSN_ViewportOptionsWindow*>(W().ViewportOptionsWindow);
    ASSERT_NE(window, nullptr);
    // A format and one text argument would pick the node's (text, relayout)
    // overload and leave the title "%s".
    EXPECT_STREQ(window->GetName(), Lang.GetText(558));
    float text[3];
    const float black[3] = {0, 0, 0}, white[3] = {1, 1, 1};
    KSN_ButtonTextColorForFill(black, text);
    EXPECT_FLOAT_EQ(text[0], 0.8f);
    KSN_ButtonTextColorForFill(white, text);
    EXPECT_FLOAT_EQ(text[0], 0.0f);

    std::copy(white, white + 3, App->textureGridColor1);
    Project->ShowCheckeredBackground = false;
    window->Execute(Panel(1));
    ASSERT_TRUE(window->Shown);
    EXPECT_FALSE(window->BackgroundGridBox->Pressed);
    TGui_Button* background = nullptr;
    for (TGui_Node* c = window->FirstChild; c; c = c->Next)
        if (std::strcmp(c->GetName(), Lang.GetText(1218)) == 0) background = dynamic_cast<TGui_Button*>(c);
    ASSERT_NE(background, nullptr);
    EXPECT_FLOAT_EQ(background->TextColor[0], 0.0f) << "black text on white";

    // A display mode chosen elsewhere shows in the window's menu.
    auto* box = dynamic_cast<TGui_DropDownBox*>(__GetThingyFromID(window->DisplayOptionsID));
    ASSERT_NE(box, nullptr);
    TQOREvent e(KestruneEvents_CommandCB, Panel(1)->GetID(), 308);
    e.intParameters[0] = 2;
    ASSERT_TRUE(QORProcessEventNow(&e));
    EXPECT_STREQ(box->Box->GetName(), Lang.GetText(1134));

    // OK applies the grid switch, refreshes and closes.
    window->BackgroundGridBox->Pressed = true;
    const int before = Panel(1)->ViewChangedCount;
    TQOREvent ok(nullptr, window->GetID(), -1);
    EXPECT_EQ(TKSN_ViewportOptionsWindow::OkClickedCB(&ok), 1);
    EXPECT_TRUE(Project->ShowCheckeredBackground);
    EXPECT_FALSE(window->Shown);
    EXPECT_EQ(Panel(1)->ViewChangedCount, before + 1);
    TQOREvent stranger(nullptr, Panel(1)->GetID(), -1);
    EXPECT_EQ(TKSN_ViewportOptionsWindow::OkClickedCB(&stranger), 0);

    // A panel whose viewport is gone is remembered, and nothing shows.
    TKSN_ViewportPanel orphan(&W());
    EXPECT_STREQ(orphan.GetName(), "ViewportPanel");
    window->Execute(&orphan);
    EXPECT_EQ(window->Panel, &orphan);
    EXPECT_FALSE(window->Shown);
    window->Panel = nullptr;
    orphan.Unlink();
}

} // namespace
