// The layer commands on real grids and the project's 32 polygon layers:
// creating through the rename window, deleting with the bits moving down,
// assigning and refusing, layer states, colours, and every id on thin
// projects.
#include <gtest/gtest.h>

#include "KSN_SelectionCommandTestSupport.h"
#include "KSN_Viewport.h"
#include "QORString.h"

namespace {

class LayerCommands : public SelectionCommandFixture {};

TEST_F(LayerCommands, DeletingLayer3Of5MovesNamesColoursAndBitsDown)
{
    TKSN_Object* a = AddGrid("A");
    EnableLayers(5);
    for (int n = 1; n <= 5; ++n) Layer(n)->Color[0] = 0.1f * float(n);
    a->Mesh->Polygons[0].LayerFlags = Bit(5);
    a->Mesh->Polygons[1].LayerFlags = Bit(3) | Bit(2) | Bit(30);
    a->Mesh->Polygons[2].LayerFlags = Bit(4) | Bit(1);
    Project->ChangeLayer(3, false);

    EXPECT_TRUE(Run(321));
    EXPECT_EQ(a->Mesh->Polygons[0].LayerFlags, Bit(4)) << "layer 5's polygon is in the new layer 4 (bit 3)";
    EXPECT_EQ(a->Mesh->Polygons[1].LayerFlags, Bit(2) | Bit(30)) << "bits of deleted layer 3 go, the Hidden Layer's stays";
    EXPECT_EQ(a->Mesh->Polygons[2].LayerFlags, Bit(3) | Bit(1));
    EXPECT_STREQ(Layer(3)->GetName(), "L4");
    EXPECT_STREQ(Layer(4)->GetName(), "L5");
    EXPECT_FLOAT_EQ(Layer(3)->Color[0], 0.4f);
    EXPECT_FLOAT_EQ(Layer(4)->Color[0], 0.5f);
    EXPECT_TRUE(Layer(4)->IsEnabled());
    EXPECT_FALSE(Layer(5)->IsEnabled());
    EXPECT_EQ(Project->CurrentLayerIndex, 0);
}

TEST_F(LayerCommands, DeletingTheCurrentAndTheHighlightedLayers)
{
    AddGrid("A");
    EnableLayers(6);
    Project->ChangeLayer(2, false);
    Layer(4)->multiSelected = Layer(6)->multiSelected = true;
    EXPECT_TRUE(Run(321));
    std::vector<std::string> left;
    for (int n = 1; n <= 29; ++n)
        if (Layer(n)->IsEnabled()) left.push_back(Layer(n)->GetName());
    EXPECT_EQ(left, (std::vector<std::string>{"L1", "L3", "L5"}));
}

TEST_F(LayerCommands, RefusalsSayWhy)
{
    TKSN_Object* a = AddGrid("A");
    EnableLayers(29);
    EXPECT_FALSE(RunIndexed(316, -1));
    EXPECT_TRUE(Printed("No more layers can be added. The maximum number of layers is 30."));

    Project->ChangeLayer(0, false);
    EXPECT_FALSE(Run(321));
    EXPECT_TRUE(Printed("Cannot delete this layer"));
    EXPECT_TRUE(Layer(1)->IsEnabled());

    App->selectionType = eSelectionType_Polygon;
    SelectPolygon(a, 4, 1.0f);
    g_Printed.clear();
    EXPECT_FALSE(RunIndexed(324, 30));
    EXPECT_TRUE(Printed(Lang.GetText(1086)));
    EXPECT_EQ(a->Mesh->Polygons[4].LayerFlags, 0u);
    EXPECT_TRUE(RunIndexed(324, 30, 1)) << "the force flag opens the Hidden Layer";
    EXPECT_EQ(a->Mesh->Polygons[4].LayerFlags, Bit(30));

    SetPolygonWeights(a, std::vector<float>(9, 0.0f));
    SetVertexWeights(a, std::vector<float>(16, 0.0f));
    Project->ChangeLayer(1, false);
    g_Printed.clear();
    EXPECT_TRUE(RunIndexed(326, 1));
    EXPECT_TRUE(Printed(Lang.GetText(1184)));
}

TEST_F(LayerCommands, RemovingTheSelectionClearsTheCurrentAndHighlightedLayersOfSelectedPolygonsOnly)
{
    TKSN_Object* a = AddGrid("A");
    EnableLayers(3);
    App->selectionType = eSelectionType_Polygon;
    for (int p = 0; p < 9; ++p) a->Mesh->Polygons[p].LayerFlags = Bit(2) | Bit(3);
    SelectPolygon(a, 4, 1.0f);
    Project->ChangeLayer(2, false);
    EXPECT_TRUE(RunIndexed(326, 2));
    EXPECT_EQ(a->Mesh->Polygons[4].LayerFlags, Bit(3)) << "only the current layer: layer 3 is not highlighted";
    EXPECT_EQ(a->Mesh->Polygons[0].LayerFlags, Bit(2) | Bit(3)) << "unselected polygons keep their layers";
    EXPECT_TRUE(Printed(QORFormat(Lang.GetText(1345), "L2")));

    // A selection that lies in none of the layers, with Shift held.
    a->Mesh->Polygons[4].LayerFlags = 0;
    OS.SetShiftHeld(true);
    g_Printed.clear();
    EXPECT_TRUE(RunIndexed(326, 2));
    EXPECT_TRUE(Printed(Lang.GetText(1185)));
}

TEST_F(LayerCommands, WholeObjectsAndSelectingLayers)
{
    TKSN_Object* a = AddGrid("A");
    EnableLayers(2);
    Project->ChangeLayer(1, false);
    Layer(1)->multiSelected = false;
    EXPECT_TRUE(Run(328));
    EXPECT_TRUE(Printed(QORFormat(Lang.GetText(1349), 1, 0)));

    EXPECT_TRUE(Run(327));
    for (uint32_t m : Masks(a)) EXPECT_EQ(m, Bit(1));

    // Selecting the current layer's polygons selects their corners.
    a->Mesh->Polygons[4].LayerFlags = 0;
    EXPECT_TRUE(Run(329));
    EXPECT_FLOAT_EQ(a->Mesh->VertexInfo[0].Select, 1.0f);

    Project->ChangeLayer(0, false);
    QOREvents_Clean();
    EXPECT_TRUE(Run(329));
    EXPECT_EQ(Queued(236), 1);
}

TEST_F(LayerCommands, TheStateCyclesAndSpreadsToHighlightedLayers)
{
    AddGrid("A");
    EnableLayers(4);
    Project->ChangeLayer(1, false);
    Layer(2)->multiSelected = Layer(3)->multiSelected = true;
    auto states = [] {
        std::vector<std::string> s;
        for (int n = 1; n <= 4; ++n) s.push_back(Layer(n)->Locked ? "L" : Layer(n)->IsHidden() ? "H" : "V");
        return s;
    };
    EXPECT_TRUE(Run(342));
    EXPECT_EQ(states(), (std::vector<std::string>{"L", "L", "L", "V"}));
    EXPECT_TRUE(Run(342));
    EXPECT_EQ(states(), (std::vector<std::string>{"H", "H", "H", "V"}));
    EXPECT_TRUE(Run(342));
    EXPECT_EQ(states(), (std::vector<std::string>{"V", "V", "V", "V"}));

    // With "All Polygons" current every user layer takes the state, used or not.
    Project->ChangeLayer(0, false);
    EXPECT_TRUE(Run(342));
    for (int n = 1; n <= 29; ++n) EXPECT_TRUE(Layer(n)->Locked) << n;
}

TEST_F(LayerCommands, DisplayFlagsToggleLayerByLayerAndOverlaysPerViewport)
{
    AddGrid("A");
    EnableLayers(3);
    Layer(1)->DisplayFlags |= TKSN_Layer::Smooth;
    Layer(2)->DisplayFlags &= ~TKSN_Layer::Smooth;
    Layer(1)->multiSelected = Layer(2)->multiSelected = true;
    EXPECT_TRUE(Run(338, 1, int(TKSN_Layer::Smooth)));
    EXPECT_FALSE(Layer(1)->DisplayFlags & TKSN_Layer::Smooth);
    EXPECT_TRUE(Layer(2)->DisplayFlags & TKSN_Layer::Smooth);

    TKSN_Viewport* viewport = Project->GetCurrentViewport();
    ASSERT_NE(viewport, nullptr);
    const uint32_t before = viewport->layer.DisplayFlags;
    const std::string on = QORFormat("%s - %s", Lang.GetText(724), Lang.GetText(1463));
    const std::string off = QORFormat("%s - %s", Lang.GetText(724), Lang.GetText(1464));
    const bool wasOn = (before & TKSN_Layer::WireFrameOverlay) != 0;
    g_Printed.clear();
    EXPECT_TRUE(Run(339));
    EXPECT_TRUE(Run(339));
    ASSERT_EQ(g_Printed.size(), 2u);
    EXPECT_EQ(g_Printed[0], wasOn ? off : on);
    EXPECT_EQ(g_Printed[1], wasOn ? on : off);
    EXPECT_EQ(viewport->layer.DisplayFlags, before);
}

struct TBlackProvider : TScriptedProvider {
    bool PickColour(unsigned char rgb[3]) override
    {
        rgb[0] = rgb[1] = rgb[2] = 0;
        return ConfirmColour;
    }
};

TEST_F(LayerCommands, ABlackLayerColourIsStoredWithAWarningAndACancelChangesNothing)
{
    AddGrid("A");
    EnableLayers(2);
    TBlackProvider black;
    OS.SetDialogProvider(&black);
    const float before[3] = {Layer(2)->Color[0], Layer(2)->Color[1], Layer(2)->Color[2]};
    black.ConfirmColour = false;
    EXPECT_TRUE(RunIndexed(344, 2));
    for (int c = 0; c < 3; ++c) EXPECT_FLOAT_EQ(Layer(2)->Color[c], before[c]);
    EXPECT_FALSE(Printed(Lang.GetText(1330)));

    black.ConfirmColour = true;
    EXPECT_TRUE(RunIndexed(344, 2));
    for (int c = 0; c < 3; ++c) EXPECT_FLOAT_EQ(Layer(2)->Color[c], 0.0f);
    EXPECT_TRUE(Printed(Lang.GetText(1330)));
    OS.SetDialogProvider(&Provider);
}

TEST_F(LayerCommands, CreatingALayerThroughTheRenameWindowTakesTheSelection)
{
    TKSN_Object* a = AddGrid("A");
    EnableLayers(1);
    App->selectionType = eSelectionType_Polygon;
    SelectPolygon(a, 2, 1.0f);
    EXPECT_TRUE(Run(318));
    EXPECT_STREQ(MainWindow->RenameWindow->NameField->EditField->GetText(), "New Layer");
    SetRenameText("Arms");
    PressRenameOk();
    Pump(1);
    ASSERT_TRUE(Layer(2)->IsEnabled());
    EXPECT_STREQ(Layer(2)->GetName(), "Arms");
    EXPECT_EQ(Project->CurrentLayerIndex, 2);
    EXPECT_TRUE(a->Mesh->Polygons[2].LayerFlags & Bit(2));
    EXPECT_TRUE(Printed(QORFormat(Lang.GetText(1337), "Arms")));
}

TEST_F(LayerCommands, EveryIdRunsOnAnEmptyProjectAndOnAnObjectWithoutSelection)
{
    for (int round = 0; round < 2; ++round) {
        if (round == 1) AddGrid("A");
        for (int id = 315; id <= 348; ++id) {
            SCOPED_TRACE(testing::Message() << "round " << round << " id " << id);
            EXPECT_NO_THROW(RunIndexed(id, -1));
            EXPECT_NO_THROW(RunIndexed(id, 1));
            EXPECT_NO_THROW(Pump(1));
        }
    }
    EXPECT_FALSE(Run(315));
    EXPECT_FALSE(Run(348));
    EXPECT_TRUE(BoxShown("LayerDisplayMenu = NULL in eSetupLayerDisplayMenu"));
}

} // namespace
