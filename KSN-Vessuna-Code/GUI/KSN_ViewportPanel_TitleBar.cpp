// The viewport panel's title bar: the orientation drop-down (caption and the
// menu that locks the viewport or turns it), the display-mode drop-down, and
// the display-mode menu that the main window's Viewports menu and the
// viewport options window share. Every item carries a prepared command; the
// menus are refilled whole, never patched.
#include "KSN_ViewportPanel.h"

#include "GuiButton.h"
#include "GuiDropDown.h"
#include "GuiMenu.h"
#include "KSN_Application.h"
#include "KSN_Project.h"
#include "KSN_Viewport.h"
#include "KestruneEvents.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORString.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

TQOREvent* PanelCommand(TKSN_ViewportPanel* panel, int command, int int0 = 0)
{
    auto* e = new TQOREvent(nullptr, panel ? panel->GetID() : 0, command);
    e->intParameters[0] = int0;
    return e;
}

TGui_MenuText* Item(TGui_Menu* menu, const char* text, const char* hint, TQOREvent* event, bool radio = false,
                    bool checked = false, bool enabled = true)
{
    TGui_MenuText* item = menu->AddTextItem(text, event, hint);
    if (!item) return nullptr;
    item->ShowCheckMark = radio;
    item->Pressed = checked;
    if (!enabled) item->Disable();
    return item;
}

void Separator(TGui_Menu* menu) { menu->AddTextItem("-", nullptr, nullptr); }

TGui_DropDownBox* NewBox(TGui_Node* parent, int width)
{
    auto* box = new TGui_DropDownBox(parent);
    box->SetName("", false);
    box->ShowName = false;
    box->SetSize(width, 16);
    box->BoxWidth = width;
    return box;
}

bool SameMatrix(const float* a, const float* b)
{
    for (int i = 0; i < 16; ++i)
        if (std::fabs(double(a[i]) - double(b[i])) > 1e-30) return false;
    return true;
}

} // namespace

// The channels the display-mode menu offers: a default material's, in its
// order, all but "Glossy".
const std::vector<std::string>& KSN_DisplayableChannelNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> out;
        TQORMaterial material;
        for (TQORMaterialChannel* channel : material.ArbChannels)
            if (channel && QORstrcmpi(channel->GetName(), "Glossy") != 0) out.emplace_back(channel->GetName());
        return out;
    }();
    return names;
}

void TKSN_ViewportPanel::CreateButtons(bool withOrientation)
{
    Empty();
    RearViewPanel = nullptr;
    SettingsButton = nullptr;
    TitleBar = AddNode("", Width, 20);
    TitleBar->ShowName = false;
    TitleBar->BorderWidth = 0;
    int x = 0;
    if (withOrientation) {
        OrientationOptions = CreateOrientationOptions(TitleBar, this);
        OrientationOptions->SetPosition(0, 0);
        x = OrientationOptions->Width + 2;
    } else {
        OrientationOptions = nullptr;
    }
    DisplayOptions = CreateDisplayOptions(TitleBar, this);
    DisplayOptions->SetPosition(x, 0);
}

TGui_DropDownBox* CreateOrientationOptions(TGui_Node* parent, TKSN_ViewportPanel* panel)
{
    TGui_DropDownBox* box = NewBox(parent, 110);
    if (box->Box) box->Box->SetName(Lang.GetText(874), false);
    if (TGui_Menu* menu = box->GetMenu()) {
        delete menu->RefreshEvent;
        menu->RefreshEvent = PanelCommand(panel, 267);
    }
    return box;
}

TGui_DropDownBox* CreateDisplayOptions(TGui_Node* parent, TKSN_ViewportPanel* panel)
{
    TGui_DropDownBox* box = NewBox(parent, 100);
    if (Project && panel && panel->GetViewport())
        AddDisplayModeOptionsToMenu(box->GetMenu(), panel->GetViewport(), panel, box);
    return box;
}

void UpdateOrientationOptionDDB(TGui_DropDownBox* box, TKSN_ViewportPanel* panel)
{
    TGui_Menu* menu = box ? box->GetMenu() : nullptr;
    TKSN_Viewport* viewport = panel ? panel->GetViewport() : nullptr;
    if (!menu || !viewport) return;
    menu->Empty();
    const bool locked = viewport->IsLocked();
    Item(menu, Lang.GetText(876), Lang.GetText(1344), nullptr);
    Separator(menu);
    Item(menu, Lang.GetText(1459), Lang.GetText(1460), PanelCommand(panel, 268), true, locked);
    Separator(menu);
    static const int views[6][3] = {{874, 54, 270}, {875, 56, 271}, {877, 58, 272},
                                    {878, 60, 273}, {879, 62, 274}, {880, 64, 275}};
    for (const auto& v : views)
        Item(menu, Lang.GetText(v[0]), Lang.GetText(v[1]), PanelCommand(panel, v[2]), false, false, !locked);
    if (viewport->index <= 0) return;
    Item(menu, Lang.GetText(1455), Lang.GetText(1456), PanelCommand(panel, 269), false, false, !locked);
    Separator(menu);
    Item(menu, Lang.GetText(1457), Lang.GetText(1456), PanelCommand(panel, 269, 1), false, false, !locked);
    for (int i = 0; i < 6; ++i)
        Item(menu, Lang.GetText(1352 + i), Lang.GetText(1358), PanelCommand(panel, 270 + i, 1), false, false,
             !locked);
}

void AddDisplayModeOptionsToMenu(TGui_Menu* menu, TKSN_Viewport* viewport, TKSN_ViewportPanel* panel,
                                 TGui_DropDownBox* box)
{
    if (!menu || !viewport) return;
    (void)panel;
    menu->Empty();
    auto item = [&](const std::string& text, const char* hint, TQOREvent* event, bool checked,
                    const std::string& caption) {
        Item(menu, text.c_str(), hint, event, true, checked);
        if (checked && box && box->Box) box->Box->SetName(caption.c_str(), false);
    };
    if (box) {
        Item(menu, Lang.GetText(138), Lang.GetText(139), nullptr);
        Separator(menu);
    }
    const int special = Project ? Project->SpecialDisplayMode : 0;
    static const int specials[3][3] = {{1588, 1589, 41}, {1481, 1482, 42}, {1657, 1658, 43}};
    for (int i = 0; i < 3; ++i)
        item(Lang.GetText(specials[i][0]), Lang.GetText(specials[i][1]), new TQOREvent(specials[i][2]),
             special == i + 1, Lang.GetText(specials[i][0]));
    Separator(menu);
    for (const std::string& name : KSN_DisplayableChannelNames()) {
        const char* display = App ? App->GetDisplayNameForChannel(name.c_str()) : name.c_str();
        const std::string text = QORFormat("%s %s", display, Lang.GetText(1126));
        auto* e = new TQOREvent(nullptr, panel ? panel->GetID() : 0, 307);
        e->AssignStringParameter(name.c_str(), 0);
        const bool checked = viewport->DisplayMode == 3 && QORstrcmpi(viewport->materialChannelName, name.c_str()) == 0;
        const char* truncated = App ? App->GetTruncatedDisplayNameForChannel(name.c_str()) : name.c_str();
        item(text, QORFormat(Lang.GetText(140), text.c_str(), text.c_str()).c_str(), e, checked,
             QORFormat("%s %s", truncated, Lang.GetText(1126)));
    }
    Separator(menu);
    static const int colourings[3][3] = {{1133, 141, 1}, {1134, 142, 2}, {1135, 143, 4}};
    for (const auto& c : colourings)
        item(Lang.GetText(c[0]), Lang.GetText(c[1]), PanelCommand(panel, 308, c[2]), viewport->DisplayMode == c[2],
             Lang.GetText(c[0]));
}

void UpdateDisplayModeMenu(TKSN_ViewportPanel* panel, TGui_DropDownBox* box)
{
    if (!box || !box->GetMenu() || !panel || !panel->GetViewport()) return;
    AddDisplayModeOptionsToMenu(box->GetMenu(), panel->GetViewport(), panel, box);
}

std::string KSN_OrientationCaption(TKSN_Viewport* viewport)
{
    if (!viewport) return {};
    const bool autoView = viewport->GetAutoView();
    std::string caption;
    if (autoView && viewport->CopyViewportIndex >= 0 && viewport->CopyViewportIndex <= 3) {
        caption = Lang.GetText(1455);
    } else {
        const float* current = autoView ? viewport->DefaultRotationMatrix : viewport->RotationMatrix;
        caption = Lang.GetText(873);
        if (App) {
            void (TKSN_Application::*getters[6])(float*) const = {
                &TKSN_Application::GetFrontMatrix, &TKSN_Application::GetBackMatrix, &TKSN_Application::GetLeftMatrix,
                &TKSN_Application::GetRightMatrix, &TKSN_Application::GetTopMatrix, &TKSN_Application::GetBottomMatrix};
            static const int texts[6] = {874, 875, 877, 878, 879, 880};
            for (int i = 0; i < 6; ++i) {
                float m[16];
                (App->*getters[i])(m);
                if (SameMatrix(current, m)) {
                    caption = Lang.GetText(texts[i]);
                    break;
                }
            }
        }
    }
    if (autoView) caption += Lang.GetText(1007);
    return caption;
}

void TKSN_ViewportPanel::OnUpdateContents()
{
    TKSN_Viewport* viewport = GetViewport();
    if (!viewport) return;
    if (TitleBar) TitleBar->Width = Width;
    if (!OrientationOptions || !OrientationOptions->Box) return;
    const std::string caption = KSN_OrientationCaption(viewport);
    OrientationOptions->Box->SetName(caption.c_str(), false);
    OrientationOptions->Box->SetHint(Lang.GetText(1458), caption.c_str());
}

void TKSN_ViewportPanel::UpdateVisibilityForTitleBarItems()
{
    if (!TitleBar) return;
    for (TGui_Node* c = TitleBar->FirstChild; c; c = c->Next) {
        if (c->X + c->Width < Width)
            c->Show();
        else
            c->Hide();
    }
    if (OrientationOptions) OrientationOptions->Show();
    if (DisplayOptions) DisplayOptions->Hide();
}
