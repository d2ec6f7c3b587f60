// The menu bar and every menu object of the main window: File, Edit,
// Viewports and Help, the shading-options builder shared with the layer
// window, and the dynamic menus filled from the document (objects, select,
// morphs, maps, layers, materials, groups and tool lists). Items do nothing
// themselves: each carries a prepared event for the command layer. Every
// menu is emptied and refilled when it opens (its refresh command), so what
// it shows is the document's state of that moment.
#include "KSN_MainWindow_Internal.h"

#include "GuiMenu.h"
#include "GuiTheme.h"
#include "KSN_Application.h"
#include "KSN_MainWindow_Panels.h"
#include "KSN_MaxExchange.h"
#include "KSN_PolygonLayer.h"
#include "KSN_Project.h"
#include "KSN_Tool.h"
#include "KSN_ToolList.h"
#include "KSN_Union.h"
#include "KSN_Viewport.h"
#include "KestruneEvents.h"
#include "OS.h"
#include "QORGL.h"
#include "QORLanguage.h"
#include "QORMaterialMapSource.h"
#include "QORString.h"

#include <cctype>
#include <memory>

namespace {

TQOREvent* Command(int command, TQOREventFunction callback = KestruneEvents_CommandCB)
{
    return new TQOREvent(callback, 0, command);
}

TGui_MenuText* Item(TGui_Menu* menu, int text, int hint, TQOREvent* event, bool enabled = true)
{
    TGui_MenuText* item = menu->AddTextItem(Lang.GetText(text), event, Lang.GetText(hint));
    if (!enabled) item->Disable();
    return item;
}

void Separator(TGui_Menu* menu) { menu->AddTextItem("-", nullptr, nullptr); }

// An item that opens sub beside it on hover; sub then keeps menu open.
TGui_MenuText* SubMenuItem(TGui_Menu* menu, int text, int hint, TGui_Menu* sub)
{
    TGui_MenuText* item = Item(menu, text, hint, nullptr);
    if (!sub) return item;
    item->SetPopupMenu(sub);
    item->PopupOnHover = true;
    item->PopupPlacement = 4;
    sub->ParentMenuID = menu->GetID();
    return item;
}

// A check item bound to a live interface variable: the toolkit asks it at
// every layout and sets it on a click.
void LiveCheckItem(TGui_Menu* menu, int text, int hint, int variable)
{
    TGui_MenuText* item = Item(menu, text, hint, nullptr);
    item->BoolVariableEvent = Command(variable);
    item->ButtonMode = 1;
    item->ShowCheckMark = true;
}

TGui_Menu* NewMenu(TGui_Node* parent, int refresh)
{
    TGui_Menu* menu = parent->AddMenu();
    if (refresh) menu->RefreshEvent = new TQOREvent(refresh);
    return menu;
}

} // namespace

// [SECTION] Creation

void TKSN_MainWindow::CreateMenus()
{
    AddMenuBar();
    ObjectsMenu = NewMenu(this, 424);
    MaterialsMenu = NewMenu(this, 426);
    GroupsMenu = NewMenu(this, 425);
    SelectMenu = NewMenu(this, 423);
    MorphsMenu = NewMenu(this, 422);
    MapsMenu = NewMenu(this, 427);
    LayersMenu = NewMenu(this, 428);
    LayerWindowMenu = NewMenu(this, 428);
    LayerOperationsMenu = NewMenu(this, 0);
    FileMenu = NewMenu(this, 0);
    EditMenu = NewMenu(this, 8);
    AdditionalUtilitiesMenu = NewMenu(this, 0);
    ViewportsMenu = NewMenu(this, 429);
    for (TGui_Menu** sub : {&DisplayModeMenu, &ShadingOptionsMenu, &ConfigurationMenu, &FramingMenu, &GeneralMenu}) {
        *sub = NewMenu(this, 0);
        (*sub)->ParentMenuID = ViewportsMenu->GetID();
    }
    LayerOperationsMenu->ParentMenuID = LayersMenu->GetID();
    HelpMenu = NewMenu(this, 0);

    struct TTitle {
        TGui_Menu* menu;
        int text, hint, x;
        bool lightText;
    };
    const TTitle titles[] = {{FileMenu, 1, 787, 0, true},
                             {EditMenu, 13, 14, 50, true},
                             {ViewportsMenu, 51, 52, 0, false},
                             {HelpMenu, 69, 70, 0, true}};
    int x = 0;
    for (const TTitle& t : titles) {
        const char* caption = Lang.GetText(t.text);
        TGui_Button* b = MenuBar->AddMenuButton(t.menu, caption, x, 0, Lang.GetText(t.hint));
        if (t.menu == EditMenu) EditMenuButton = b;
        if (char key = GetHotkeyFromUnderlinedLetterInText(caption)) {
            b->HotKey = char(std::tolower(static_cast<unsigned char>(key)));
            b->HotKeyModifiers = 4;
        }
        if (t.lightText)
            std::copy(QORglutWigits_DefaultTextColorOnLightBackground,
                      QORglutWigits_DefaultTextColorOnLightBackground + 3, b->TextColor);
        x += b->Width;
    }

    SetupEditMenu();
    SetupViewportMenu();
    UpdateObjectsMenu();
    Item(HelpMenu, 252, 253, Command(184));
    Item(HelpMenu, 1692, 1693, Command(185));
    Item(HelpMenu, 496, 497, Command(188));
    Separator(HelpMenu);
    Item(HelpMenu, 638, 639, Command(142));
    Separator(HelpMenu);
    Item(HelpMenu, 550, 551, Command(445));
    CloseWindowButtonTexture = QORglut_Textures_GetTextureFromList("CloseWindowButton");
    UpdateMainMenu();
}

// [SECTION] File, Edit, Viewports

void TKSN_MainWindow::UpdateMainMenu()
{
    if (!FileMenu) return;
    FileMenu->Empty();
    Item(FileMenu, 386, 387, Command(373));
    Item(FileMenu, 268, 269, Command(368));
    Item(FileMenu, 270, 271, Command(377));
    Item(FileMenu, 281, 282, Command(378));
    Separator(FileMenu);
    Item(FileMenu, 1583, 1584, Command(2, KSN_InterApp_CommandCB));
    Separator(FileMenu);
    Item(FileMenu, 3, 4, Command(404));
    Item(FileMenu, 5, 6, Command(405));
    Separator(FileMenu);
    Item(FileMenu, 9, 10, Command(453));
    Separator(FileMenu);
    Item(FileMenu, 11, 12, Command(183));
}

void TKSN_MainWindow::SetupEditMenu()
{
    if (!EditMenu) return;
    EditMenu->Empty();
    Item(EditMenu, 15, 16, Command(148), Project && Project->UndoList);
    Item(EditMenu, 327, 328, Command(149), Project && Project->RedoList);
    Separator(EditMenu);
    Item(EditMenu, 961, 962, Command(536261, KSN_NavigatorCommandsCB), NavPeekUndoNode() != nullptr);
    Item(EditMenu, 963, 964, Command(536262, KSN_NavigatorCommandsCB), NavPeekRedoNode() != nullptr);
    Separator(EditMenu);
    const struct {
        int text, hint;
        TGui_Menu* sub;
    } subs[] = {{165, 166, ObjectsMenu},   {167, 168, SelectMenu},  {199, 200, MorphsMenu},
                {254, 255, MapsMenu},      {124, 125, LayersMenu},  {1371, 1372, MaterialsMenu},
                {1373, 1374, GroupsMenu}};
    for (const auto& s : subs) SubMenuItem(EditMenu, s.text, s.hint, s.sub);
    Separator(EditMenu);
    Item(EditMenu, 23, 24, Command(239));
    Item(EditMenu, 25, 26, Command(240));
    Separator(EditMenu);
    Item(EditMenu, 27, 28, Command(241));
    Item(EditMenu, 29, 30, Command(242));
}

void TKSN_MainWindow::SetupViewportMenu()
{
    if (!ViewportsMenu) return;
    ViewportsMenu->Empty();
    TKSN_Viewport* viewport = Project ? Project->GetCurrentViewport() : nullptr;
    if (!viewport) return;
    TKSN_ViewportPanel* panel = GetViewportPanelFromViewport(viewport);

    ViewportsMenu->AddText(QORFormat(Lang.GetText(119), viewport->GetName()).c_str(), 0, 0, nullptr);
    Separator(ViewportsMenu);

    SubMenuItem(ViewportsMenu, 506, 507, ConfigurationMenu);
    ConfigurationMenu->Empty();
    auto configuration = [](int index) {
        TQOREvent* e = Command(301);
        e->SetIndex(index);
        return e;
    };
    Item(ConfigurationMenu, 510, 511, configuration(5));
    Separator(ConfigurationMenu);
    for (int i = 0; i < 5; ++i) Item(ConfigurationMenu, 512 + 2 * i, 513 + 2 * i, configuration(i));

    SubMenuItem(ViewportsMenu, 137, 139, DisplayModeMenu);
    DisplayModeMenu->Empty();
    AddDisplayModeOptionsToMenu(DisplayModeMenu, viewport, panel, nullptr);

    SubMenuItem(ViewportsMenu, 667, 668, ShadingOptionsMenu);
    SetupDisplayMenu(ShadingOptionsMenu, &viewport->layer, true, true);

    SubMenuItem(ViewportsMenu, 1377, 1378, FramingMenu);
    FramingMenu->Empty();
    Item(FramingMenu, 45, 46, Command(287));
    Item(FramingMenu, 47, 48, Command(286));
    Item(FramingMenu, 49, 50, Command(288));
    Separator(FramingMenu);
    for (int i = 0; i < 3; ++i) Item(FramingMenu, 126 + i, 988, Command(289 + i));
    Separator(FramingMenu);
    for (int i = 0; i < 3; ++i) Item(FramingMenu, 129 + i, 990, Command(292 + i));

    SubMenuItem(ViewportsMenu, 1379, 1380, GeneralMenu);
    GeneralMenu->Empty();
    Item(GeneralMenu, 1218, 1219, Command(157));
    Item(GeneralMenu, 1273, 1219, Command(158));
    Item(GeneralMenu, 1698, 1699, Command(159));
    Item(GeneralMenu, 1700, 1701, Command(160));
    Item(GeneralMenu, 759, 760, Command(162));
    Separator(GeneralMenu);
    LiveCheckItem(GeneralMenu, 340, 341, 45);
    LiveCheckItem(GeneralMenu, 981, 982, 46);

    Separator(ViewportsMenu);
    Item(ViewportsMenu, 136, 509, Command(449));
    Separator(ViewportsMenu);
    Item(ViewportsMenu, 965, 966, Command(536259, KSN_NavigatorCommandsCB));
    Item(ViewportsMenu, 967, 968, Command(536260, KSN_NavigatorCommandsCB));
    Item(ViewportsMenu, 969, 970, Command(536257, KSN_NavigatorCommandsCB));
    Item(ViewportsMenu, 971, 972, Command(536258, KSN_NavigatorCommandsCB));
    Separator(ViewportsMenu);
    TQOREvent* maximise = Command(302);
    maximise->SetIndex(0);
    if (panel == MaximizedViewportPanel)
        ViewportsMenu->AddTextItem(Lang.GetText(157), maximise, Lang.GetText(786));
    else
        ViewportsMenu->AddTextItem(QORFormat(Lang.GetText(156), viewport->GetName()).c_str(), maximise,
                                   Lang.GetText(786));
}

void SetupDisplayMenu(TGui_Menu* menu, TKSN_Layer* layer, bool clear, bool forViewport)
{
    if (!menu || !layer) {
        OS.ErrorMessage("%s", "Layer == NULL in LayerDisplayMenu()");
        return;
    }
    if (clear) menu->Empty();
    const bool layerZero = Project && Project->PolygonLayers[0] == layer;
    auto flagItem = [&](int text, int hint, uint32_t bit, bool enabled) {
        TQOREvent* e = new TQOREvent(KestruneEvents_CommandCB, layer->GetID(), 338);
        e->intParameters[0] = int32_t(bit);
        e->intParameters[1] = forViewport ? 1 : 0;
        TGui_MenuText* item = menu->AddTextItem(Lang.GetText(text), e, Lang.GetText(hint));
        item->ButtonMode = 1;
        item->ShowCheckMark = true;
        item->Pressed = (layer->DisplayFlags & bit) != 0;
        if (!enabled || layerZero) item->Disable();
    };
    // The main viewport's own settings inherit from nothing.
    if (!layer->IsMainViewportSettings) {
        flagItem(forViewport ? 39 : 788, forViewport ? 40 : 789, TKSN_Layer::UseViewportDefault, true);
        Separator(menu);
    }
    const bool own = (layer->DisplayFlags & TKSN_Layer::UseViewportDefault) == 0;
    flagItem(718, 719, TKSN_Layer::Smooth, own);
    flagItem(724, 725, TKSN_Layer::WireFrameOverlay, own);
    flagItem(726, 727, TKSN_Layer::VertexOverlay, own);
    flagItem(1216, 1217, TKSN_Layer::UseLighting, own);
    flagItem(728, 729, TKSN_Layer::Filter, own);
}

// [SECTION] Dynamic menus

void TKSN_MainWindow::UpdateObjectsMenu()
{
    if (!ObjectsMenu) return;
    ObjectsMenu->Empty();
    Item(ObjectsMenu, 321, 322, Command(192));
    Item(ObjectsMenu, 563, 564, Command(193));
    Item(ObjectsMenu, 314, 315, Command(195));
}

void TKSN_MainWindow::UpdateSelectionMenu(bool withOperations, bool)
{
    if (!SelectMenu) return;
    SelectMenu->Empty();
    const int h = Project && Project->SelectionUnions ? Project->SelectionUnions->GetSelectedCount(true, false) : 0;
    const int f = Project && Project->SelectionUnions ? Project->SelectionUnions->GetSelectedCount(false, true) : 0;
    Item(SelectMenu, 310, 311, Command(229));
    Item(SelectMenu, 312, 313, Command(230));
    Separator(SelectMenu);
    Item(SelectMenu, 940, 941, Command(251), h > 0);
    Item(SelectMenu, 563, 564, Command(233), h != 0 || f != 0);
    Item(SelectMenu, 276, 277, Command(250));
    Item(SelectMenu, 314, 315, Command(235), h != 0 || f != 0);
    Item(SelectMenu, 334, 335, Command(248), h != 0);
    if (!withOperations) return;
    Separator(SelectMenu);
    Item(SelectMenu, 17, 18, Command(236));
    Item(SelectMenu, 19, 20, Command(237));
    Separator(SelectMenu);
    Item(SelectMenu, 31, 32, Command(243));
    Item(SelectMenu, 33, 34, Command(244));
    Item(SelectMenu, 1174, 1175, Command(246));
    Item(SelectMenu, 1176, 1177, Command(247));
    Item(SelectMenu, 771, 772, Command(245));
    Item(SelectMenu, 21, 22, Command(238));
}

void TKSN_MainWindow::UpdateMorphMenu()
{
    if (!MorphsMenu) return;
    MorphsMenu->Empty();
    const int h = Project && Project->MorphUnions ? Project->MorphUnions->GetSelectedCount(true, false) : 0;
    const int f = Project && Project->MorphUnions ? Project->MorphUnions->GetSelectedCount(false, true) : 0;
    const bool modelTab = App && App->GetToolTypeTab() == 4;
    auto notInModelTab = [&](int text, int hint, int command) {
        TGui_MenuText* item = Item(MorphsMenu, text, hint, Command(command), !modelTab);
        if (modelTab) item->SetHint("%s", Lang.GetText(101));
    };
    notInModelTab(306, 307, 208);
    Item(MorphsMenu, 308, 309, Command(209));
    Separator(MorphsMenu);
    Item(MorphsMenu, 563, 564, Command(214), h != 0 || f != 0);
    Item(MorphsMenu, 314, 315, Command(216), h != 0 || f != 0);
    Item(MorphsMenu, 331, 332, Command(217), h != 0);
    notInModelTab(336, 337, 218);
    notInModelTab(951, 952, 219);
}

void TKSN_MainWindow::UpdateMapsMenu()
{
    if (!MapsMenu) return;
    MapsMenu->Empty();
    int m = 0;
    if (Project) {
        std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> maps(Project->GetMapList());
        if (maps)
            for (TQORMaterialMapSource* map : *maps)
                if (map && map->multiSelected) ++m;
    }
    const uint32_t menuID = MapsMenu->GetID();
    auto item = [&](int text, int hint, int command, bool enabled) {
        TQOREvent* e = Command(command);
        e->idParameters[2] = menuID;
        return Item(MapsMenu, text, hint, e, enabled);
    };
    item(688, 689, 472, true);
    item(730, 731, 374, true);
    item(732, 733, 381, m > 0);
    Separator(MapsMenu);
    item(1634, 1635, 383, true);
    item(1636, 1637, 382, m > 0);
    Separator(MapsMenu);
    item(736, 737, 466, m > 0);
    item(738, 739, 473, m > 0)->ClickEvent->intParameters[0] = 434;
    item(740, 741, 463, m > 0);
    item(742, 743, 470, m > 0);
    Separator(MapsMenu);
    item(744, 745, 385, m > 0);
    item(746, 747, 386, m > 0);
    item(316, 317, 387, true);
    Separator(MapsMenu);
    item(763, 764, 461, m > 0);
    item(260, 261, 460, m > 0);
    item(233, 234, 462, m > 0);
    Separator(MapsMenu);
    item(933, 934, 475, true);
    item(935, 936, 476, false);
}

void TKSN_MainWindow::UpdateLayersMenu()
{
    if (!LayersMenu) return;
    LayersMenu->Empty();
    TKSN_Layer* current = Project ? Project->GetCurrentLayer() : nullptr;
    if (!current) return;
    int highlighted = 0, c = 0;
    for (int i = 0; i < 32; ++i) {
        TKSN_Layer* layer = Project->PolygonLayers[i];
        if (layer == current) c = i;
        if (i < 30 && layer && layer->IsEnabled() && layer->multiSelected) ++highlighted;
    }
    const std::string heading = highlighted < 2
                                    ? QORFormat(Lang.GetText(1331), current->GetName())
                                    : QORFormat(Lang.GetText(1347), current->GetName(), highlighted);
    LayersMenu->AddText(heading.c_str(), 0, 0, nullptr);
    Separator(LayersMenu);
    Item(LayersMenu, 1332, 1333, Command(318));
    Item(LayersMenu, 222, 223, Command(317), c != 0);
    Item(LayersMenu, 1334, 1335, Command(321), c != 0);
    Separator(LayersMenu);
    SubMenuItem(LayersMenu, 1375, 1376, LayerOperationsMenu);
    if (!LayerOperationsMenu) return;
    LayerOperationsMenu->Empty();
    auto withIndex = [c](int command) {
        TQOREvent* e = Command(command);
        e->SetIndex(c);
        return e;
    };
    Item(LayerOperationsMenu, 703, 704, withIndex(324), c != 0);
    Item(LayerOperationsMenu, 705, 706, withIndex(326), c != 0);
    Separator(LayerOperationsMenu);
    Item(LayerOperationsMenu, 707, 708, withIndex(327), c != 0);
    Item(LayerOperationsMenu, 709, 710, withIndex(328), c != 0);
    Separator(LayerOperationsMenu);
    Item(LayerOperationsMenu, 711, 712, Command(329));
    Item(LayerOperationsMenu, 713, 714, Command(330));
}

void TKSN_MainWindow::UpdateMaterialMenu()
{
    if (!MaterialsMenu) return;
    MaterialsMenu->Empty();
    Item(MaterialsMenu, 220, 221, Command(350));
    Separator(MaterialsMenu);
    Item(MaterialsMenu, 1367, 1368, Command(352));
    Item(MaterialsMenu, 222, 223, Command(354));
    Item(MaterialsMenu, 224, 225, Command(353));
    Separator(MaterialsMenu);
    Item(MaterialsMenu, 300, 301, Command(355));
    Item(MaterialsMenu, 302, 303, Command(356));
}

void TKSN_MainWindow::UpdateGroupMenu()
{
    if (!GroupsMenu) return;
    GroupsMenu->Empty();
    Item(GroupsMenu, 1359, 1360, Command(359));
    Separator(GroupsMenu);
    Item(GroupsMenu, 1369, 1370, Command(361));
    Item(GroupsMenu, 1361, 1362, Command(363));
    Item(GroupsMenu, 1363, 1364, Command(362));
}

void TKSN_MainWindow::UpdateToolListMenu(TGui_Menu* menu, TQORNewStaticList<TKSN_Tool*>* list, const char*,
                                         TQOREventFunction callback)
{
    if (!menu || !list) return;
    for (int i = 0; i < list->Count(); ++i) {
        TKSN_Tool* tool = (*list)[i];
        if (!tool) {
            Separator(menu);
            continue;
        }
        menu->AddTextItem(tool->GetName(), new TQOREvent(callback, GetID(), i), tool->GetHint());
    }
}

void TKSN_MainWindow::UpdateToolMenus()
{
    if (!AdditionalUtilitiesMenu) return;
    AdditionalUtilitiesMenu->Empty();
    UpdateToolListMenu(AdditionalUtilitiesMenu, App ? App->additionalUtilities : nullptr, nullptr,
                       SelectMoreToolsCB);
}

bool TKSN_MainWindow::SelectMoreToolsCB(TQOREvent* event)
{
    if (!event || !Project || !App || !App->additionalUtilities) return false;
    return Project->ChangeTool(Project->GetPolyMesh(), App->additionalUtilities, event->GetCommand());
}
