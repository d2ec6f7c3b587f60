// Map commands on real maps with undo, the new-map window, the brush
// commands and the option dialogs.
#include "KSN_Gui_BrushBrowser.h"
#include "KSN_FileMapsTestSupport.h"

#include "GuiTheme.h"
#include "KSN_MapPixelOps.h"
#include "KSN_Startup_Services.h"
#include "KSN_ToolKinds.h"
#include "KSN_Viewport.h"
#include "QORMaterial.h"

namespace {

using Px = std::array<unsigned char, 3>;

class MapCommands : public FileMapsFixture {
protected:
    TKSN_NewMapWindow& NewMap() { return *KSN_GetNewMapWindow(); }
};

// [SECTION] Pixels, each undone bit-exactly

TEST_F(MapCommands, PixelCommandsGiveTheirValuesAndUndoRestoresEveryByte)
{
    struct TCase {
        int command;
        std::vector<Px> in, out;
    };
    const TCase cases[] = {
        // Normalise: darkest 20 and brightest 220 of the whole map.
        {460, {Px{20, 20, 20}, Px{120, 120, 120}, Px{220, 220, 220}}, {Px{0, 0, 0}, Px{127, 127, 127}, Px{255, 255, 255}}},
        {461, {Px{0, 10, 255}, Px{200, 100, 1}, Px{7, 8, 9}}, {Px{255, 245, 0}, Px{55, 155, 254}, Px{248, 247, 246}}},
        {462, {Px{0, 10, 255}, Px{200, 100, 1}, Px{7, 8, 9}}, {Px{88, 88, 88}, Px{100, 100, 100}, Px{8, 8, 8}}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.command);
        TQORMaterialMapSource* map = MakeMap("Skin.png", 3, 1, [&](int i) { return c.in[size_t(i)]; });
        Highlight(map, false);
        const std::vector<unsigned char> before = Pixels(map);
        EXPECT_TRUE(Dispatch(c.command));
        std::vector<unsigned char> expected;
        for (const Px& p : c.out) expected.insert(expected.end(), p.begin(), p.end());
        EXPECT_EQ(Pixels(map), expected);
        Project->Undo();
        EXPECT_EQ(Pixels(map), before);
    }
}

TEST_F(MapCommands, NormaliseLooksOnlyAtUnmaskedPixelsAndWithoutAMapWarns)
{
    TQORMaterialMapSource* map = MakeMap("m.png", 4, 1, [](int i) {
        const unsigned char v[4] = {20, 120, 220, 250};
        return Px{v[i], v[i], v[i]};
    });
    map->GetAlphaMask().SetDimensions(4, 1, 1);
    unsigned char* mask = map->GetAlphaMask().GetPixels();
    mask[0] = mask[1] = mask[2] = 255;
    mask[3] = 0;   // masked out: neither measured nor changed
    Highlight(map, false);
    EXPECT_TRUE(Dispatch(460));
    EXPECT_EQ(Pixels(map), (std::vector<unsigned char>{0, 0, 0, 127, 127, 127, 255, 255, 255, 250, 250, 250}));

    Project->ClearManagerSelections(nullptr);
    g_Printed.clear();
    QOREvents_Clean();
    EXPECT_TRUE(Dispatch(460));
    EXPECT_NE(std::find(g_Printed.begin(), g_Printed.end(), std::string(Lang.GetText(1541))), g_Printed.end());
    EXPECT_EQ(CountQueued(12), 1);
}

TEST_F(MapCommands, FoldingTheMaskMixesTowardsTheSecondaryColourAndUndoes)
{
    App->secondaryPaintColor[0] = App->secondaryPaintColor[1] = App->secondaryPaintColor[2] = 0.5f;   // b = 127
    const std::vector<Px> in = {Px{255, 0, 200}, Px{10, 20, 30}, Px{99, 127, 128}};
    TQORMaterialMapSource* map = MakeMap("fold.png", 3, 1, [&](int i) { return in[size_t(i)]; });
    map->GetAlphaMask().SetDimensions(3, 1, 1);
    const unsigned char m[3] = {128, 0, 255};
    std::copy(m, m + 3, map->GetAlphaMask().GetPixels());
    Highlight(map, false);
    const std::vector<unsigned char> before = Pixels(map);
    EXPECT_TRUE(Dispatch(476));
    std::vector<unsigned char> expected;
    for (int i = 0; i < 3; ++i)
        for (int c = 0; c < 3; ++c) expected.push_back((unsigned char)(127 + (int(in[size_t(i)][size_t(c)]) - 127) * m[i] / 255));
    // Truncation toward zero: (0 - 127) * 128 / 255 is -63, not -64.
    EXPECT_EQ(expected[1], 127 - 63);
    EXPECT_EQ(Pixels(map), expected);
    EXPECT_FALSE(map->HasAlphaMask());
    Project->Undo();
    EXPECT_EQ(Pixels(map), before);
}

TEST(MapPixelOps, FoldNormaliseAndGreyAgreeWithTheirFormulas)
{
    const int base[3] = {0, 127, 255};
    for (int c = 0; c < 256; ++c)
        for (int m = 0; m < 256; m += 5) {
            unsigned char p[3] = {(unsigned char)c, (unsigned char)c, (unsigned char)c};
            const unsigned char mask = (unsigned char)m;
            KSN_FoldAlphaMapPixels(p, &mask, 1, base);
            for (int k = 0; k < 3; ++k) ASSERT_EQ(p[k], base[k] + (c - base[k]) * m / 255) << c << " " << m;
        }
    // Every range of levels, every value in it, with and without a mask.
    for (int low = 0; low < 255; low += 7)
        for (int high = low + 1; high < 256; high += 5) {
            std::vector<unsigned char> rgb;
            for (int v = low; v <= high; ++v) rgb.insert(rgb.end(), {(unsigned char)v, (unsigned char)low, (unsigned char)high});
            std::vector<unsigned char> masked = rgb, mask(rgb.size() / 3, 255);
            KSN_NormaliseMapPixels(rgb.data(), nullptr, rgb.size() / 3);
            KSN_NormaliseMapPixels(masked.data(), mask.data(), mask.size());
            for (int v = low; v <= high; ++v) {
                ASSERT_EQ(rgb[size_t(3 * (v - low))], (v - low) * 255 / (high - low)) << low << " " << high << " " << v;
                ASSERT_EQ(masked[size_t(3 * (v - low))], rgb[size_t(3 * (v - low))]);
            }
        }
    for (int r = 0; r < 256; r += 3)
        for (int g = 0; g < 256; g += 7) {
            unsigned char p[3] = {(unsigned char)r, (unsigned char)g, 255};
            KSN_GreyMapPixels(p, 1);
            ASSERT_EQ(p[0], (r + g + 255) / 3);
        }
}

TEST_F(MapCommands, ResizingSkipsMapsOfTheSizeAndCountsTheOthers)
{
    TQORMaterialMapSource* maps[3] = {MakeMap("a.png", 4, 4, [](int) { return Px{1, 2, 3}; }),
                                      MakeMap("b.png", 8, 8, [](int) { return Px{1, 2, 3}; }),
                                      MakeMap("c.png", 2, 6, [](int) { return Px{1, 2, 3}; })};
    Highlight(maps[0], false);
    Highlight(maps[1]);
    Highlight(maps[2]);
    EXPECT_TRUE(Dispatch(466));
    ASSERT_TRUE(NewMap().Shown);
    EXPECT_EQ(NewMap().GetMapWidth(), 4);   // the first highlighted map's size
    NewMap().WidthControl->Gauge->SetValue(8.0f, false);
    NewMap().HeightControl->Gauge->SetValue(8.0f, false);
    g_Printed.clear();
    EXPECT_TRUE(Dispatch(459));
    for (TQORMaterialMapSource* map : maps) {
        EXPECT_EQ(map->GetWidth(), 8);
        EXPECT_EQ(map->GetHeight(), 8);
    }
    EXPECT_TRUE(WasPrinted(Format(Lang.GetText(1105), 2, 8, 8)));
    EXPECT_FALSE(NewMap().Shown);
    Project->Undo();
    EXPECT_EQ(maps[2]->GetWidth(), 2) << "each resize has its undo step";
}

// [SECTION] The new-map window

TEST_F(MapCommands, CreatingProposesAFreeNameAndRefusesATakenOne)
{
    TQORMaterialMapSource* taken = MakeMap("New Map.PNG", 2, 2, [](int) { return Px{0, 0, 0}; });
    EXPECT_TRUE(Dispatch(472));
    ASSERT_TRUE(NewMap().Shown);
    EXPECT_STREQ(NewMap().NameField->EditField->GetText(), "New Map (1).PNG");
    EXPECT_EQ(NewMap().GetMapWidth(), QORDefaultTextureSize);

    // The same name in other letters is taken; the window stays open.
    NewMap().NameField->EditField->SetText("new map.png");
    const int maps = Project->Maps->items->Count();
    g_Printed.clear();
    Provider.Boxes.clear();
    NewMap().WidthControl->Gauge->SetValue(16.0f, false);
    NewMap().HeightControl->Gauge->SetValue(8.0f, false);
    EXPECT_FALSE(Dispatch(471, NewMap().NameField->GetID()));
    ASSERT_FALSE(Provider.Boxes.empty());
    EXPECT_EQ(Provider.Boxes.back().Text, Format(Lang.GetText(1215), "new map.png"));
    EXPECT_TRUE(NewMap().Shown);
    EXPECT_EQ(Project->Maps->items->Count(), maps);

    NewMap().NameField->EditField->SetText("Paint.png");
    EXPECT_TRUE(Dispatch(471, NewMap().NameField->GetID()));
    EXPECT_FALSE(NewMap().Shown);
    ASSERT_EQ(Project->Maps->items->Count(), maps + 1);
    auto* made = dynamic_cast<TQORMaterialMapSource*>(__GetThingyFromID(Project->Maps->GetSelectedItemID()));
    ASSERT_NE(made, nullptr);
    EXPECT_NE(made, taken);
    EXPECT_STREQ(made->GetName(), "Paint.png");
    EXPECT_EQ(made->GetWidth(), 16);
    EXPECT_EQ(made->GetHeight(), 8);
}

TEST_F(MapCommands, ResizeModeWithoutAMapWarnsAndStaysClosed)
{
    g_Printed.clear();
    EXPECT_FALSE(Dispatch(466));
    EXPECT_FALSE(NewMap().Shown);
    NewMap().Mode = TKSN_NewMapWindow::ModeResize;
    NewMap().MapToResize = nullptr;
    NewMap().Execute();
    EXPECT_FALSE(NewMap().Shown);
    EXPECT_NE(std::find(g_Printed.begin(), g_Printed.end(), std::string(Lang.GetText(1541))), g_Printed.end());
}

// [SECTION] Channels and drops

class MapBinding : public MapCommands {
protected:
    void SetUp() override
    {
        MapCommands::SetUp();
        Object = ImportCube("body.obj");
        Mesh = Object->Mesh.get();
        ASSERT_TRUE(Mesh->Materials && Mesh->Materials->GetItemCount() > 0);
        Material = KSN_MaterialFromThingy(Mesh->Materials->GetItem(0));
        ASSERT_NE(Material, nullptr);
        Channel = Material->GetChannelFromName("Color");
        ASSERT_NE(Channel, nullptr);
        Map = MakeMap("skin.png", 2, 2, [](int) { return Px{9, 9, 9}; });
        for (TQORThingy* t : std::initializer_list<TQORThingy*>{Mesh, Material, Channel}) t->RegisterForLookup();
    }
    TQOREvent* Bind(uint32_t map, int command = 468)
    {
        auto* e = new TQOREvent(KestruneEvents_CommandCB, 0, command);
        e->idParameters[0] = Channel->GetID();
        e->idParameters[1] = Mesh->GetID();
        e->idParameters[2] = Material->GetID();
        e->idParameters[3] = map;
        return e;
    }
    TKSN_Object* Object = nullptr;
    TKSN_Mesh* Mesh = nullptr;
    TQORMaterial* Material = nullptr;
    TQORMaterialChannel* Channel = nullptr;
    TQORMaterialMapSource* Map = nullptr;
};

TEST_F(MapBinding, BindingTheMapAChannelShowsChangesNothing)
{
    std::unique_ptr<TQOREvent> bind(Bind(Map->GetID()));
    EXPECT_TRUE(Dispatch(*bind));
    auto* binding = dynamic_cast<TQORMaterialMap*>(__GetThingyFromID(Channel->GetMapID()));
    ASSERT_NE(binding, nullptr);
    EXPECT_EQ(binding->GetMapSource(), Map);
    std::unique_ptr<TQOREvent> again(Bind(Map->GetID()));
    EXPECT_FALSE(Dispatch(*again));

    // Clearing a "Transparency" channel at full strength asks to reset it.
    TQORMaterialChannel* transparency = Material->GetChannelFromName("Transparency");
    ASSERT_NE(transparency, nullptr);
    transparency->RegisterForLookup();
    std::unique_ptr<TQOREvent> onTransparency(Bind(Map->GetID()));
    onTransparency->idParameters[0] = transparency->GetID();
    EXPECT_TRUE(Dispatch(*onTransparency));
    transparency->Strength = 1.0f;
    std::unique_ptr<TQOREvent> clear(Bind(0));
    clear->idParameters[0] = transparency->GetID();
    Provider.Answers = {TOSBoxAnswer::Yes};
    Provider.Boxes.clear();
    EXPECT_TRUE(Dispatch(*clear));
    EXPECT_EQ(transparency->GetMapID(), 0u);
    ASSERT_EQ(Provider.Boxes.size(), 1u);
    EXPECT_EQ(Provider.Boxes[0].Text, Lang.GetText(635));
    EXPECT_EQ(transparency->Strength, 0.0f);
}

TEST_F(MapBinding, AChannelDropOfAMapReferenceQueuesTheBindingOnlyForARealMap)
{
    const std::string id = std::to_string(Map->GetID());
    for (const std::string& text : {"map " + id, "MAP " + id}) {
        QOREvents_Clean();
        std::unique_ptr<TQOREvent> drop(Bind(0, 375));
        drop->AssignStringParameter(text.c_str(), 0);
        EXPECT_TRUE(Dispatch(*drop));
        ASSERT_EQ(QOREvents_GetEventCount(), 1) << text;
        TQOREvent* queued = QOREvents_PeekEvent(0);
        EXPECT_EQ(queued->GetCommand(), 468);
        EXPECT_EQ(queued->idParameters[3], Map->GetID());
        EXPECT_EQ(queued->idParameters[0], Channel->GetID());
    }
    // A payload without a number, or naming no map, would clear the channel: nothing happens.
    for (const char* text : {"map abc", "map 4000000000"}) {
        QOREvents_Clean();
        std::unique_ptr<TQOREvent> drop(Bind(0, 375));
        drop->AssignStringParameter(text, 0);
        EXPECT_TRUE(Dispatch(*drop));
        EXPECT_EQ(QOREvents_GetEventCount(), 0) << text;
    }
}

TEST_F(MapBinding, AMapDroppedOnAViewportNeedsTheChannelDisplayMode)
{
    TKSN_ViewportPanel* panel = W().ViewportPanels[0];
    TKSN_Viewport* viewport = panel->GetViewport();
    ASSERT_NE(viewport, nullptr);
    auto drop = [&](int x, int y) {
        TQOREvent e(KestruneEvents_CommandCB, panel->GetID(), 469);
        e.AssignStringParameter(("Map " + std::to_string(Map->GetID())).c_str(), 0);
        e.SetX(x);
        e.SetY(y);
        return Dispatch(e);
    };
    viewport->DisplayMode = 1;
    g_Printed.clear();
    QOREvents_Clean();
    EXPECT_FALSE(drop(5, 5));
    EXPECT_NE(std::find(g_Printed.begin(), g_Printed.end(), std::string(Lang.GetText(1075))), g_Printed.end());
    EXPECT_EQ(CountQueued(278), 1);

    // In the channel mode a drop where no polygon lies does nothing.
    viewport->DisplayMode = 3;
    QOREvents_Clean();
    g_Printed.clear();
    EXPECT_TRUE(drop(0, 0));
    EXPECT_EQ(CountQueued(468), 0);
    EXPECT_EQ(CountQueued(278), 0);
}

// [SECTION] Deleting

TEST_F(MapCommands, DeletingAsksAndNoKeepsTheMaps)
{
    TQORMaterialMapSource* a = MakeMap("a.png", 2, 2, [](int) { return Px{0, 0, 0}; });
    TQORMaterialMapSource* b = MakeMap("b.png", 2, 2, [](int) { return Px{0, 0, 0}; });
    Highlight(a, false);
    Highlight(b);
    Provider.Answers = {TOSBoxAnswer::No};
    EXPECT_FALSE(Dispatch(470));
    ASSERT_EQ(Provider.Boxes.size(), 1u);
    EXPECT_EQ(Provider.Boxes[0].Text, "Are you sure you want to delete the 2 selected items?");
    EXPECT_EQ(Project->Maps->items->Count(), 2);
    Provider.Answers = {TOSBoxAnswer::Yes};
    EXPECT_TRUE(Dispatch(470));
    EXPECT_EQ(Project->Maps->items->Count(), 0);
}

// [SECTION] Brush colours and pop-ups

TEST_F(MapCommands, SwappingTwiceRestoresTheColoursAndPrintsOnce)
{
    static int printed, repeated;
    printed = repeated = 0;
    OS.AssignOnPrintMessage([](char*) { ++printed; });
    OS.AssignOnPrintMessageNoRepeatFailed([](char*) { ++repeated; });
    OS.LastMessageText.clear();
    const float primary[3] = {0.1f, 0.2f, 0.3f}, secondary[3] = {0.9f, 0.8f, 0.7f};
    std::copy(primary, primary + 3, App->paintColor);
    std::copy(secondary, secondary + 3, App->secondaryPaintColor);
    EXPECT_TRUE(Dispatch(487));
    EXPECT_EQ(App->paintColor[0], secondary[0]);
    EXPECT_TRUE(Dispatch(487));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(App->paintColor[i], primary[i]);
        EXPECT_EQ(App->secondaryPaintColor[i], secondary[i]);
    }
    EXPECT_EQ(printed, 1);
    EXPECT_EQ(repeated, 1);

    // During a stroke of a paint brush nothing changes and nothing is printed.
    struct TStrokeBrush : public virtual TKSN_PaintBrush {};
    TStrokeBrush brush;
    App->currentTool = &brush;
    Project->PaintingFlag = true;
    EXPECT_TRUE(Dispatch(487));
    EXPECT_EQ(App->paintColor[0], primary[0]);
    EXPECT_EQ(printed + repeated, 2);
    Project->PaintingFlag = false;
    App->currentTool = nullptr;

    EXPECT_TRUE(Dispatch(488));
    EXPECT_EQ(App->paintColor[0], 0.0f);
    EXPECT_EQ(App->secondaryPaintColor[2], 1.0f);
    EXPECT_FALSE(Dispatch(478));
    EXPECT_FALSE(Dispatch(490));
}

TEST(BrushPopups, PopupsStayInsideTheWindow)
{
    struct TCase {
        int x, y, ex, ey;
    };
    // Window 1000 x 800, pop-up 200 x 300.
    for (const TCase& c : {TCase{950, 100, 800, 100}, TCase{100, 700, 100, 490}, TCase{-20, -5, 0, 0},
                           TCase{800, 490, 800, 490}}) {
        int x = c.x, y = c.y;
        KSN_ClampPopupPosition(x, y, 1000, 800, 200, 300);
        EXPECT_EQ(x, c.ex) << c.x;
        EXPECT_EQ(y, c.ey) << c.y;
    }
}

TEST_F(MapCommands, TheShapeLibraryOpensBesideItsButtonInsideTheWindow)
{
    TGui_Node* popup = W().BrushShapeLibraryWindow;
    TGui_Node* button = W().BrushShapeButton;
    ASSERT_NE(popup, nullptr);
    ASSERT_NE(button, nullptr);
    TQOREvent e(KestruneEvents_CommandCB, 0, 481);
    e.SetDispatcher(button);
    e.SetX(W().Width * 2);
    e.SetY(W().Height * 2);
    EXPECT_TRUE(Dispatch(e));
    EXPECT_TRUE(popup->Shown);
    EXPECT_EQ(popup->X, W().Width - popup->Width);
    EXPECT_EQ(popup->Y, W().Height - popup->Height - 10);

    // A stale library entry still closes its pop-up.
    TQOREvent take(KestruneEvents_CommandCB, 123456789u, 483);
    EXPECT_TRUE(Dispatch(take));
    EXPECT_FALSE(popup->Shown);
}

// [SECTION] Option dialogs

class OptionDialogs : public MapCommands {
protected:
    static bool Click(TGui_Button* button)
    {
        TQOREvent* e = button->ClickEvent;
        return e->callback(e);
    }
};

TEST_F(OptionDialogs, TheUndoLimitIsStoredOnlyWhenTheGaugeMoved)
{
    TKSN_OptionsWindow& w = *KSN_GetOptionsWindow();
    App->undoLimit = 1024;
    EXPECT_TRUE(Dispatch(453));
    ASSERT_TRUE(w.Shown);
    EXPECT_TRUE(Click(w.OkButton));
    EXPECT_FALSE(w.Shown);
    EXPECT_EQ(App->undoLimit, 1024) << "an untouched gauge keeps the stored limit";

    w.Execute();
    w.UndoLimitGauge->Gauge->SetValue(127.5f, false);
    Layout();
    EXPECT_STREQ(w.UndoLimitGauge->Gauge->GetName(), "128 MB");
    EXPECT_TRUE(Click(w.OkButton));
    EXPECT_EQ(App->undoLimit, 128);

    w.Execute();
    w.UndoLimitGauge->Gauge->SetValue(3.0f, false);
    w.LoadDefaultProjectBox->Pressed = !App->loadDefaultProject;
    const bool load = App->loadDefaultProject;
    EXPECT_TRUE(Click(w.CancelButton));
    EXPECT_EQ(App->undoLimit, 128);
    EXPECT_EQ(App->loadDefaultProject, load);

    // A callback whose owner is not the window does nothing.
    TQOREvent stray(TKSN_OptionsWindow::OkClickedCB, 0, -1);
    EXPECT_FALSE(TKSN_OptionsWindow::OkClickedCB(&stray));
}

TEST_F(OptionDialogs, RenderOptionsShowPercentAndKeepWhatWasNotTouched)
{
    TKSN_RenderOptionsWindow& w = *KSN_GetRenderOptionsWindow();
    Project->RenderQualityB = 0.5f;
    Project->GlobalBumpStrength = 12.0f;
    Project->GlobalDisplacementStrengthB = 1.0f;
    Project->RenderBumpMaps = true;
    w.Execute(W().ViewportPanels[0]);
    EXPECT_FLOAT_EQ(w.QualityGauge->Gauge->GetValue(), 50.0f);
    EXPECT_FLOAT_EQ(w.BumpGauge->Gauge->GetValue(), 1000.0f);
    w.DisplacementGauge->Gauge->SetValue(250.0f, false);
    w.Flags[3]->Pressed = false;   // "Use bump maps"
    g_Printed.clear();
    EXPECT_TRUE(Click(w.OkButton));
    EXPECT_FALSE(w.Shown);
    EXPECT_FLOAT_EQ(Project->RenderQualityB, 0.5f);
    EXPECT_FLOAT_EQ(Project->GlobalBumpStrength, 12.0f);
    EXPECT_FLOAT_EQ(Project->GlobalDisplacementStrengthB, 2.5f);
    EXPECT_FALSE(Project->RenderBumpMaps);
    EXPECT_NE(std::find(g_Printed.begin(), g_Printed.end(),
                        std::string("Press the [b]R[/b] hotkey to toggle the [b]Quick Render[/b] mode.")),
              g_Printed.end());

    w.Execute(W().ViewportPanels[0]);
    w.QualityGauge->Gauge->SetValue(10.0f, false);
    w.Flags[3]->Pressed = true;
    EXPECT_TRUE(Click(w.CancelButton));
    EXPECT_FLOAT_EQ(Project->RenderQualityB, 0.5f);
    EXPECT_FALSE(Project->RenderBumpMaps);
}

} // namespace

namespace {

// [SECTION] Map files and drops

int g_CancelledWithMaps = -1;

TEST_F(MapCommands, DeletingStopsTheBackgroundWorkWhileTheMapsStillExist)
{
    TQORMaterialMapSource* a = MakeMap("a.png", 2, 2, [](int) { return Px{0, 0, 0}; });
    Highlight(a, false);
    g_CancelledWithMaps = -1;
    KSN_AssignViewportDependentCancellers([] { g_CancelledWithMaps = Project->Maps->items->Count(); }, nullptr);
    Provider.Answers = {TOSBoxAnswer::Yes};
    EXPECT_TRUE(Dispatch(470));
    KSN_AssignViewportDependentCancellers(nullptr, nullptr);
    EXPECT_EQ(g_CancelledWithMaps, 1);
    EXPECT_EQ(Project->Maps->items->Count(), 0);
    EXPECT_EQ(CountQueued(432), 1);
}

TEST_F(MapCommands, ImageFilesBecomeMapsOrReplaceTheDroppedOnMap)
{
    TQORMaterialMapSource* source = MakeMap("src.png", 4, 2, [](int i) { return Px{(unsigned char)(i * 10), 7, 9}; });
    const std::string png = (Store.Folder / "tile.png").string();
    ASSERT_TRUE(source->ExportFile(png.c_str()));
    const int maps = Project->Maps->items->Count();

    Provider.Choices = {png};
    QOREvents_Clean();
    EXPECT_TRUE(Dispatch(374));
    ASSERT_EQ(Project->Maps->items->Count(), maps + 1);
    auto* imported = dynamic_cast<TQORMaterialMapSource*>(__GetThingyFromID(Project->Maps->GetSelectedItemID()));
    ASSERT_NE(imported, nullptr);
    EXPECT_NE(imported, source);
    EXPECT_EQ(imported->GetWidth(), 4);
    for (int c : {12, 434, 435}) EXPECT_GE(CountQueued(c), 1) << c;
    Provider.Choices = {""};
    EXPECT_FALSE(Dispatch(374));

    // Dropped on the Maps tab: onto a map it replaces that map, elsewhere it is a new map.
    TQORMaterialMapSource* small = MakeMap("small.png", 2, 2, [](int) { return Px{0, 0, 0}; });
    TQOREvent onMap(KestruneEvents_CommandCB, 0, 376);
    onMap.idParameters[0] = small->GetID();
    onMap.AssignStringParameter(png.c_str(), 0);
    const int before = Project->Maps->items->Count();
    EXPECT_TRUE(Dispatch(onMap));
    EXPECT_EQ(small->GetWidth(), 4);
    EXPECT_EQ(Project->Maps->items->Count(), before);
    TQOREvent onTab(KestruneEvents_CommandCB, 0, 376);
    onTab.AssignStringParameter(png.c_str(), 0);
    EXPECT_TRUE(Dispatch(onTab));
    EXPECT_EQ(Project->Maps->items->Count(), before + 1);
    // A map reference or a file that is not there changes nothing.
    for (const std::string& text : {"Map " + std::to_string(small->GetID()), (Store.Folder / "gone.png").string()}) {
        TQOREvent e(KestruneEvents_CommandCB, 0, 376);
        e.AssignStringParameter(text.c_str(), 0);
        EXPECT_TRUE(Dispatch(e));
        EXPECT_EQ(Project->Maps->items->Count(), before + 1) << text;
    }
}

TEST_F(MapCommands, ExportingWithoutAHighlightedMapWarnsAndShowsTheMapsTab)
{
    MakeMap("a.png", 2, 2, [](int) { return Px{0, 0, 0}; });
    Project->ClearManagerSelections(nullptr);
    for (int command : {381, 382, 383}) {
        g_Printed.clear();
        QOREvents_Clean();
        EXPECT_FALSE(Dispatch(command)) << command;
        EXPECT_NE(std::find(g_Printed.begin(), g_Printed.end(), std::string(Lang.GetText(1541))), g_Printed.end());
        EXPECT_EQ(CountQueued(12), command == 383 ? 0 : 1) << command;
    }
}

TEST_F(MapBinding, AnImageDroppedOnTheBumpRowBindsANewMapThere)
{
    TQORMaterialMapSource* source = MakeMap("src.png", 2, 2, [](int) { return Px{1, 2, 3}; });
    const std::string png = (Store.Folder / "bumpy.png").string();
    ASSERT_TRUE(source->ExportFile(png.c_str()));
    TQORMaterialChannel* bump = Material->GetChannelFromName("Bump");
    ASSERT_NE(bump, nullptr);
    bump->RegisterForLookup();
    std::unique_ptr<TQOREvent> drop(Bind(0, 375));
    drop->idParameters[0] = bump->GetID();
    drop->AssignStringParameter(png.c_str(), 0);
    drop->AssignStringParameter("Bump", 1);
    const int maps = Project->Maps->items->Count();
    QOREvents_Clean();
    EXPECT_TRUE(Dispatch(*drop));
    EXPECT_EQ(Project->Maps->items->Count(), maps + 1);
    auto* binding = dynamic_cast<TQORMaterialMap*>(__GetThingyFromID(bump->GetMapID()));
    ASSERT_NE(binding, nullptr);
    ASSERT_NE(binding->GetMapSource(), nullptr);
    EXPECT_NE(binding->GetMapSource(), source);
    EXPECT_EQ(CountQueued(299), 1);
    EXPECT_EQ(Channel->GetMapID(), 0u) << "the Color row is untouched";
}

} // namespace

namespace {

TEST_F(MapCommands, ClearingFillsWithTheSecondaryColourAndLeavesATransparentMask)
{
    App->secondaryPaintColor[0] = 1.0f;
    App->secondaryPaintColor[1] = 0.5f;
    App->secondaryPaintColor[2] = 0.0f;
    TQORMaterialMapSource* a = MakeMap("a.png", 2, 1, [](int) { return Px{9, 9, 9}; });
    TQORMaterialMapSource* b = MakeMap("b.png", 2, 1, [](int) { return Px{9, 9, 9}; });
    a->GetAlphaMask().SetDimensions(2, 1, 1);
    Highlight(a, false);
    Highlight(b);
    g_Printed.clear();
    EXPECT_TRUE(Dispatch(463));
    for (TQORMaterialMapSource* map : {a, b})
        EXPECT_EQ(Pixels(map), (std::vector<unsigned char>{255, 127, 0, 255, 127, 0}));
    EXPECT_EQ(a->GetAlphaMask().GetPixels()[0], 0);
    EXPECT_TRUE(WasPrinted(Format(Lang.GetText(1107), 2)));
    Project->Undo();
    EXPECT_EQ(Pixels(b), (std::vector<unsigned char>{9, 9, 9, 9, 9, 9}));

    Project->ClearManagerSelections(nullptr);
    QOREvents_Clean();
    EXPECT_FALSE(Dispatch(463));
    EXPECT_EQ(QOREvents_GetEventCount(), 0);
}

TEST_F(MapCommands, ACR2ExportOfAnObjObjectAsksForTheOriginalFirst)
{
    ImportCube("body.obj");
    KSN_GetExportWindow()->FileName = (Store.Folder / "out.cr2").string();
    Provider.Choices = {""};
    EXPECT_FALSE(Dispatch(401));
    ASSERT_FALSE(Provider.Boxes.empty());
    EXPECT_EQ(Provider.Boxes[0].Text, Lang.GetText(1048));
    EXPECT_FALSE(std::filesystem::exists(Store.Folder / "out.cr2"));
}

} // namespace

namespace {

// The vectorised pixel loops against their plain formulas, byte for byte,
// over random pixels and an odd count (the loops' tails included).
TEST(MapPixelOps, EveryByteMatchesThePlainFormulaOverRandomPixels)
{
    constexpr size_t Count = 1003;
    std::vector<unsigned char> rgb(3 * Count), mask(Count);
    uint32_t state = 99u;
    auto next = [&] {
        state = state * 1664525u + 1013904223u;
        return (unsigned char)(state >> 24);
    };
    for (unsigned char& b : rgb) b = (unsigned char)(30 + next() % 150);
    for (unsigned char& m : mask) m = next() % 4 == 0 ? 0 : next();

    std::vector<unsigned char> ours = rgb;
    KSN_InvertMapPixels(ours.data(), Count);
    for (size_t i = 0; i < rgb.size(); ++i) ASSERT_EQ(ours[i], 255 - rgb[i]) << i;

    ours = rgb;
    KSN_GreyMapPixels(ours.data(), Count);
    for (size_t i = 0; i < Count; ++i)
        for (int c = 0; c < 3; ++c) ASSERT_EQ(ours[3 * i + size_t(c)], (rgb[3 * i] + rgb[3 * i + 1] + rgb[3 * i + 2]) / 3);

    const int base[3] = {255, 100, 0};
    ours = rgb;
    KSN_FoldAlphaMapPixels(ours.data(), mask.data(), Count, base);
    for (size_t i = 0; i < Count; ++i)
        for (int c = 0; c < 3; ++c)
            ASSERT_EQ(ours[3 * i + size_t(c)], base[c] + (rgb[3 * i + size_t(c)] - base[c]) * mask[i] / 255) << i;

    const unsigned char* masks[2] = {nullptr, mask.data()};
    for (const unsigned char* m : masks) {
        int low = 255, high = 0;
        for (size_t i = 0; i < Count; ++i)
            if (!m || m[i])
                for (int c = 0; c < 3; ++c) {
                    low = std::min<int>(low, rgb[3 * i + size_t(c)]);
                    high = std::max<int>(high, rgb[3 * i + size_t(c)]);
                }
        ours = rgb;
        KSN_NormaliseMapPixels(ours.data(), m, Count);
        for (size_t i = 0; i < Count; ++i)
            for (int c = 0; c < 3; ++c) {
                const int v = rgb[3 * i + size_t(c)];
                ASSERT_EQ(ours[3 * i + size_t(c)], (m && !m[i]) ? v : (v - low) * 255 / (high - low)) << i;
            }
    }
}

} // namespace

namespace {

TEST_F(MapCommands, ColourPickersStoreOnlyAConfirmedChoice)
{
    // The picker starts from the current colour; the scripted one hands it back.
    TQORMaterialMapSource* a = MakeMap("a.png", 2, 1, [](int) { return Px{0, 0, 0}; });
    TQORMaterialMapSource* b = MakeMap("b.png", 2, 1, [](int) { return Px{0, 0, 0}; });
    const float red[3] = {1.0f, 0.0f, 0.0f};
    a->SetDefaultColor(red);
    Highlight(a, false);
    Highlight(b);
    EXPECT_TRUE(Dispatch(464));
    ASSERT_EQ(Provider.Colours.size(), 1u);
    EXPECT_EQ(Provider.Colours[0], (std::array<unsigned char, 3>{255, 0, 0}));
    EXPECT_EQ(b->GetDefaultColor()[0], 1.0f);
    EXPECT_EQ(b->GetDefaultColor()[1], 0.0f);

    App->paintColor[0] = 0.0f;
    App->secondaryPaintColor[0] = 1.0f;
    Provider.ConfirmColour = false;
    EXPECT_TRUE(Dispatch(485));
    EXPECT_TRUE(Dispatch(486));
    EXPECT_EQ(App->paintColor[0], 0.0f);
    EXPECT_EQ(App->secondaryPaintColor[0], 1.0f);
}

TEST_F(MapCommands, RenamingNeedsAHighlightedMapAndOpensTheRenameWindow)
{
    g_Printed.clear();
    QOREvents_Clean();
    EXPECT_FALSE(Dispatch(473));
    EXPECT_NE(std::find(g_Printed.begin(), g_Printed.end(), std::string(Lang.GetText(1542))), g_Printed.end());
    EXPECT_EQ(CountQueued(12), 1);

    TQORMaterialMapSource* a = MakeMap("Skin.png", 2, 1, [](int) { return Px{0, 0, 0}; });
    Highlight(a, false);
    EXPECT_TRUE(Dispatch(473));
    ASSERT_TRUE(W().RenameWindow->Shown);
    EXPECT_EQ(W().RenameWindow->GetThingy(), a);
    EXPECT_STREQ(W().RenameWindow->NameField->EditField->GetText(), "Skin.png");
    W().RenameWindow->Hide();
}

} // namespace
