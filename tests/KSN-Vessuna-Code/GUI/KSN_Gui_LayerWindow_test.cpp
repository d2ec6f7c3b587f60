// The layer window as a real toolkit window of the main window: rows built
// from the project's layers, clicks through the master with modifier keys,
// the state button, and the map-layer operations on the project's map-layer
// group with real map sources.
#include <gtest/gtest.h>

#include <map>

#include "GuiPanel.h"
#include "GuiText.h"
#include "KSN_Gui_LayerWindow.h"
#include "KSN_Layer.h"
#include "KSN_MapLayer.h"
#include "KSN_SelectionCommandTestSupport.h"
#include "QORMaterialMapSource.h"
#include "QORString.h"

namespace {

class LayerWindow : public SelectionCommandFixture {
protected:
    TKSN_LayerWindow* LW() { return MainWindow->LayerWindow; }

    void Open()
    {
        ASSERT_NE(LW(), nullptr);
        LW()->SetPosition(700, 40);
        LW()->SetSize(240, 700);
        LW()->Show();
        LW()->Update();
        ASSERT_NE(DisplayLayersPanel, nullptr);
        if (DisplayLayersPanel->IsCollapsed()) DisplayLayersPanel->Toggle->OnClick(0, 0);
        LW()->Update();
        Layout();
    }

    static std::vector<TGui_Node*> Rows(TGui_Node* panel)
    {
        std::vector<TGui_Node*> rows;
        for (TGui_Node* c = panel->FirstChild; c; c = c->Next)
            if (dynamic_cast<TGui_Button*>(c)) rows.push_back(c);
        return rows;
    }
    static TGui_Node* RowOf(const char* name)
    {
        for (TGui_Node* row : Rows(DisplayLayersPanel))
            for (TGui_Node* c = row->FirstChild; c; c = c->Next)
                if (dynamic_cast<TGui_Text*>(c) && std::string(c->GetName()) == name) return row;
        return nullptr;
    }
    static bool IsRed(TGui_Node* n) { return n->BackgroundColor[0] == 1.0f && n->BackgroundColor[1] == 0.0f; }
    static bool HasRedMarker(TGui_Node* row)
    {
        for (TGui_Node* c = row->FirstChild; c; c = c->Next)
            if (c->Width == 4 && IsRed(c)) return true;
        return false;
    }

    // A click with modifiers through the master, then the queued events.
    void ClickWith(TGui_Node* node, bool shift, bool alt)
    {
        Layout();
        QORglut_SetModifiers(false, alt, shift, false);
        const int x = node->AbsX + 2, y = node->AbsY + node->Height / 2;
        QORglut_DispatchMouseDown(0, false, x, y);
        QORglut_DispatchMouseUp(x, y);
        QORglut_SetModifiers(false, false, false, false);
        Pump();
        MainWindow->ShiftHeld = MainWindow->AltHeld = false;
    }

    static std::vector<int> HighlightedLayers()
    {
        std::vector<int> out;
        for (int n = 0; n <= 29; ++n)
            if (Layer(n)->IsEnabled() && Layer(n)->multiSelected) out.push_back(n);
        return out;
    }

    // [Map layers]
    static TKSN_LayerGroup* Group() { return Project->MapLayers; }
    static TKSN_LayerDefinition* AddMapLayer(const char* name)
    {
        TKSN_LayerDefinition* d = Project->MapLayers->CreateNewLayer();
        d->SetName("%s", name);
        return d;
    }
    static std::vector<std::string> Order()
    {
        std::vector<std::string> names;
        for (TKSN_LayerDefinition* d : Group()->GetAllLayers()) names.push_back(d->GetName());
        return names;
    }
    static bool Op(int operation, TKSN_LayerDefinition* d, const char* text = nullptr, int mode = 0, float value = 0)
    {
        std::unique_ptr<TQOREvent> e(NEW_GENERIC_LAYER_EVENT(d, operation, Group()));
        if (text) e->AssignStringParameter(text, 0);
        e->operationMode = mode;
        e->floatParameters[0] = value;
        return Temp_KestruneEvents_CommandCB(e.get());
    }
    static std::string Payload(TKSN_LayerDefinition* d) { return QORFormat("GenericLayer %u", d->GetID()); }
};

TEST_F(LayerWindow, OnlyAllPolygonsShowsOneHighlightedRowWithTheRedMarker)
{
    EnableLayers(0);
    Open();
    const std::vector<TGui_Node*> rows = Rows(DisplayLayersPanel);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_TRUE(HasRedMarker(rows[0]));
    EXPECT_FLOAT_EQ(rows[0]->BackgroundColor[0], 1.0f);
    EXPECT_FLOAT_EQ(rows[0]->BackgroundColor[1], 1.0f);
    EXPECT_FLOAT_EQ(rows[0]->BackgroundColor[2], 0.0f);
    EXPECT_TRUE(Layer(0)->multiSelected);
}

TEST_F(LayerWindow, ShiftClickHighlightsARangeAndAltClickTakesOneOut)
{
    AddGrid("A");
    EnableLayers(6);
    Project->ChangeLayer(2, false);
    Open();
    ASSERT_EQ(Rows(DisplayLayersPanel).size(), 7u);

    ClickWith(RowOf("L5"), true, false);
    EXPECT_EQ(HighlightedLayers(), (std::vector<int>{2, 3, 4, 5}));
    EXPECT_EQ(Project->CurrentLayerIndex, 2);

    ClickWith(RowOf("L4"), false, true);
    EXPECT_EQ(HighlightedLayers(), (std::vector<int>{2, 3, 5}));
    EXPECT_EQ(Project->CurrentLayerIndex, 2);

    // A plain click leaves only the clicked layer, which becomes current.
    ClickWith(RowOf("L3"), false, false);
    EXPECT_EQ(HighlightedLayers(), (std::vector<int>{3}));
    EXPECT_EQ(Project->CurrentLayerIndex, 3);
    EXPECT_TRUE(HasRedMarker(RowOf("L3")));
}

TEST_F(LayerWindow, TheStateButtonOfANonHighlightedLayerFirstSelectsIt)
{
    AddGrid("A");
    EnableLayers(4);
    Project->ChangeLayer(2, false);
    Open();
    TGui_Node* row = RowOf("L4");
    ASSERT_NE(row, nullptr);
    TGui_Node* state = row->FirstChild;
    while (state && !(state->Width == 20 && state->X == 4)) state = state->Next;
    ASSERT_NE(state, nullptr);
    ClickWith(state, false, false);
    EXPECT_EQ(Project->CurrentLayerIndex, 4);
    EXPECT_EQ(HighlightedLayers(), (std::vector<int>{4}));
    EXPECT_TRUE(Layer(4)->Locked);
    EXPECT_FALSE(Layer(2)->Locked);
}

struct TDropCase {
    int Dropped, Target;
    std::vector<std::string> After;
};

TEST_F(LayerWindow, ADroppedMapLayerLandsRightAfterItsTarget)
{
    const TDropCase cases[] = {
        {0, 2, {"B", "C", "A", "D"}},
        {3, 1, {"A", "B", "D", "C"}},
        {2, 1, {"A", "C", "B", "D"}},
    };
    for (const TDropCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Dropped << " on " << c.Target);
        Group()->Empty();
        std::vector<TKSN_LayerDefinition*> d = {AddMapLayer("A"), AddMapLayer("B"), AddMapLayer("C"), AddMapLayer("D")};
        Op(11, d[size_t(c.Target)], Payload(d[size_t(c.Dropped)]).c_str());
        EXPECT_EQ(Order(), c.After);
        EXPECT_TRUE(d[size_t(c.Dropped)]->multiSelected);
    }
    // A payload that names nothing of the group is ignored.
    Group()->Empty();
    TKSN_LayerDefinition* a = AddMapLayer("A");
    AddMapLayer("B");
    Op(11, a, "GenericLayer 999999");
    Op(11, a, "Object 1");
    EXPECT_EQ(Order(), (std::vector<std::string>{"A", "B"}));
}

TEST_F(LayerWindow, DeletingEveryMapLayerFillsMapsWithTheSecondaryColour)
{
    auto* map = new TQORMaterialMapSource();
    map->SetName("%s", "Skin");
    Project->Maps->AddItem(map);
    float grey[3] = {0.5f, 0.5f, 0.5f};
    map->Initialize(4, 4, grey);
    map->GetAlphaMask().SetDimensions(4, 4, 1);
    App->secondaryPaintColor[0] = 1.0f;
    App->secondaryPaintColor[1] = 0.0f;
    App->secondaryPaintColor[2] = 0.0f;

    TKSN_LayerDefinition* a = AddMapLayer("A");
    TKSN_LayerDefinition* b = AddMapLayer("B");
    a->multiSelected = b->multiSelected = true;
    Provider.Answers.push_back(TOSBoxAnswer::Yes);
    Op(10, a);
    EXPECT_TRUE(Group()->GetAllLayers().empty());
    EXPECT_EQ(map->GetAlphaMask().GetWidth(), 0);
    EXPECT_EQ(map->GetAlphaMask().GetHeight(), 0);
    const unsigned char* pixels = map->GetPixels();
    ASSERT_NE(pixels, nullptr);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(pixels[3 * i], 255) << i;
        EXPECT_EQ(pixels[3 * i + 1], 0) << i;
        EXPECT_EQ(pixels[3 * i + 2], 0) << i;
    }
}

TEST_F(LayerWindow, WithEveryMapLayerHiddenMergeDoesNothingAndItsItemIsDisabled)
{
    TKSN_LayerDefinition* a = AddMapLayer("A");
    TKSN_LayerDefinition* b = AddMapLayer("B");
    a->Hide();
    b->Hide();
    Provider.Boxes.clear();
    Op(15, nullptr);
    EXPECT_EQ(Order(), (std::vector<std::string>{"A", "B"}));
    EXPECT_TRUE(Provider.Boxes.empty()) << "no question is asked";

    TGui_Menu* menu = KSN_LayerGroupMenu();
    UpdateGenericMenu(Group(), menu);
    UpdateMapLayersMenu(Group(), menu);
    TGui_MenuText* merge = nullptr;
    for (TGui_MenuText* item : Items(menu))
        if (std::string(item->GetName()) == Lang.GetText(1638)) merge = item;
    ASSERT_NE(merge, nullptr);
    EXPECT_FALSE(merge->IsEnabled());

    b->Unhide();
    UpdateGenericMenu(Group(), menu);
    UpdateMapLayersMenu(Group(), menu);
    merge = nullptr;
    for (TGui_MenuText* item : Items(menu))
        if (std::string(item->GetName()) == Lang.GetText(1638)) merge = item;
    ASSERT_NE(merge, nullptr);
    EXPECT_TRUE(merge->IsEnabled());
}

TEST_F(LayerWindow, SettingTheStrengthOfANonHighlightedLayerSelectsItFirst)
{
    TKSN_LayerDefinition* a = AddMapLayer("A");
    TKSN_LayerDefinition* b = AddMapLayer("B");
    TKSN_LayerDefinition* c = AddMapLayer("C");
    Group()->SetCurrentLayer(a);
    a->multiSelected = b->multiSelected = true;
    Op(4, c, nullptr, 1, 50.0f);
    EXPECT_TRUE(c->multiSelected);
    EXPECT_FALSE(a->multiSelected) << "a plain selection";
    EXPECT_FLOAT_EQ(c->GetStrength(), 0.5f);
    EXPECT_FLOAT_EQ(a->GetStrength(), 1.0f);
    EXPECT_EQ(Group()->GetCurrentLayerID(), a->GetID()) << "selecting for the gauge does not make current";

    // Every highlighted definition takes the strength of the one being set.
    a->multiSelected = true;
    Op(4, c, nullptr, 1, 30.0f);
    EXPECT_FLOAT_EQ(a->GetStrength(), 0.3f);
    EXPECT_FLOAT_EQ(c->GetStrength(), 0.3f);
    EXPECT_FLOAT_EQ(b->GetStrength(), 1.0f);

    TQOREvent get(Temp_KestruneEvents_CommandCB, c->GetID(), 4);
    Temp_KestruneEvents_CommandCB(&get);
    EXPECT_FLOAT_EQ(get.floatParameters[0], 30.0f);
}

TEST_F(LayerWindow, ANewMapLayerIsNamedInTheRenameWindowAndBecomesCurrentAlone)
{
    TKSN_LayerDefinition* a = AddMapLayer("A");
    a->multiSelected = true;
    Op(7, nullptr);
    ASSERT_TRUE(MainWindow->RenameWindow->Shown);
    EXPECT_STREQ(MainWindow->RenameWindow->NameField->EditField->GetText(), "New Layer");
    SetRenameText("a");
    PressRenameOk();
    EXPECT_TRUE(MainWindow->RenameWindow->Shown) << "a taken name, whatever its case, is refused";
    SetRenameText("Freckles");
    PressRenameOk();
    Pump(1);
    EXPECT_EQ(Order(), (std::vector<std::string>{"A", "Freckles"}));
    TKSN_LayerDefinition* freckles = Group()->GetAllLayers().back();
    EXPECT_EQ(Group()->GetCurrentLayerID(), freckles->GetID());
    EXPECT_TRUE(freckles->multiSelected);
    EXPECT_FALSE(a->multiSelected);
}

TEST_F(LayerWindow, ARightClickOnAnEmptyMapPanelOpensTheGroupMenuWithNothingToRenameOrDelete)
{
    Open();
    TQOREvent click(Temp_KestruneEvents_CommandCB, 0, 5);
    click.intParameters[0] = int32_t(Group()->GetID());
    click.SetDispatcher(ImageMapLayersPanel);
    Temp_KestruneEvents_CommandCB(&click);
    TGui_Menu* menu = KSN_LayerGroupMenu();
    ASSERT_TRUE(menu->Shown);
    std::map<std::string, bool> enabled;
    for (TGui_MenuText* item : RealItems(menu)) enabled[item->GetName()] = item->IsEnabled();
    EXPECT_TRUE(enabled.at(Lang.GetText(1332)));
    EXPECT_FALSE(enabled.at(Lang.GetText(222)));
    EXPECT_FALSE(enabled.at(Lang.GetText(1334)));
    EXPECT_FALSE(enabled.at(Lang.GetText(1638))) << "no map layer to merge";
}

TEST_F(LayerWindow, TheImageMapsPanelListsTheGroupOrInvitesToCreateALayer)
{
    Open();
    ASSERT_NE(ImageMapLayersPanel, nullptr);
    if (ImageMapLayersPanel->IsCollapsed()) ImageMapLayersPanel->Toggle->OnClick(0, 0);
    LW()->Update();
    bool invite = false;
    for (TGui_Node* c = ImageMapLayersPanel->FirstChild; c; c = c->Next)
        invite = invite || std::string(c->GetName()) == Lang.GetText(1640);
    EXPECT_TRUE(invite);

    AddMapLayer("A");
    AddMapLayer("B");
    LW()->Update();
    EXPECT_EQ(Rows(ImageMapLayersPanel).size(), 2u);
    EXPECT_EQ(Group()->GetCurrentLayerID(), Group()->GetFirstLayer()->GetID());
}

} // namespace
