// The mode-button bar and the tool-selection callbacks that menus, hot keys
// and the tool panel use to pick a tool by list index.
#include "KSN_Gui_ModeBar.h"

#include "GuiMenu.h"
#include "GuiText.h"
#include "KSN_Application.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_Gui_Swatches.h"
#include "KSN_Mesh.h"
#include "KSN_Project.h"
#include "KSN_Tool.h"
#include "KSN_ToolList.h"
#include "KSN_TextureBrushImage.h"
#include "QORImageMap.h"
#include "QORGL.h"
#include "QORLanguage.h"
#include "QORMemory.h"

#include <algorithm>
#include <vector>

TKSN_ToolButton::TKSN_ToolButton(TGui_Node* parent, int toolID) : TGui_Button(parent), ToolID(uint32_t(toolID))
{
    ButtonMode = 2;
}

void TKSN_ToolButton::OnUpdateContents()
{
    TGui_Node::OnUpdateContents();
    Pressed = App && App->currentTool && App->currentTool->GetID() == ToolID;
}

namespace {

// Every mode button: fixed size, 20 x 20 or its picture's size, an indicator,
// its menu opening beside it.
void ShapeModeButton(TGui_Button* b, int x, int y, const char* image)
{
    b->AutoSize = false;
    b->ButtonMode = 2;
    b->PopupPlacement = 4;
    b->SetPosition(x + 6, y);
    b->SetSize(20, 20);
    if (TQORglutTexture* t = image ? QORglut_Textures_GetTextureFromList(image) : nullptr) {
        b->SetGraphic(t);
        b->SetSize(t->GetWidth(), t->GetHeight());
    }
}

struct TBarCursor {
    int X = 0, Y = 2, H = 20;

    // After each plain button: the second of a row ends the row.
    void TwoColumn(TGui_Node* b)
    {
        if (X != 0) {
            X = 0;
            Y += 20;
            H = 20;
        } else {
            X = b->Width;
            H = std::max(H, b->Height);
        }
    }
    void Separator(TGui_Node* bar)
    {
        if (X != 0) Y += H;
        X = 0;
        Y += 2;
        TGui_Separator* s = bar->AddSeparator("", 0, Y);
        s->SetSize(bar->Width, 10);
        Y += 10;
    }
};

TGui_Button* CommandButton(TGui_Node* bar, TBarCursor& c, const char* name, const char* hint, const char* image,
                           int command)
{
    TGui_Button* b = bar->AddButton("", c.X, c.Y, hint);
    b->ShowName = false;
    if (name) b->SetName(name, false);
    ShapeModeButton(b, c.X, c.Y, image);
    b->ClickEvent = new TQOREvent(command);
    b->ClickEvent->intParameters[0] = -1;
    c.TwoColumn(b);
    return b;
}

// The buttons show the project's pictures at their own 32 x 32 size. The
// thumbnail belongs to the picture, which drops it when a new one is loaded;
// the button holds it by ID, so a stale one draws nothing until the rebuild
// that every brush load queues.
constexpr int kBrushThumbnailSide = 32;

TQORglutTexture* ThumbnailTexture(TQORImageMap* picture)
{
    if (!picture || !picture->GetPixels() || picture->GetWidth() <= 0 || picture->GetHeight() <= 0) return nullptr;
    TQORImageMap* thumbnail = picture->GetThumbnail(kBrushThumbnailSide, kBrushThumbnailSide, true);
    return thumbnail ? thumbnail->GetTextureWrapping() : nullptr;
}

TQORglutTexture* BrushImageThumbnail()
{
    if (TQORglutTexture* t = ThumbnailTexture(Project ? Project->GetCurrentTextureBrushImage() : nullptr)) return t;
    return QORglut_Textures_GetTextureFromList("NoTexture");
}

TQORglutTexture* BrushShapeThumbnail() { return ThumbnailTexture(Project ? &Project->BrushShapeImage : nullptr); }

TGui_Node* MakeColorSwatch(TGui_Node* bar) { return new TKSN_ColorSelectionNode(bar); }

} // namespace

void CreateToolListIcons2(TKSN_ToolList* list, TGui_Node* bar, int& x, int& y)
{
    if (!list || !bar || list->Count() == 0) return;
    int m = 20;
    std::vector<bool> seen(size_t(list->Count()), false);
    for (int i = 0; i < list->Count(); ++i) {
        if (seen[size_t(i)]) QORThrowException("Infinite list traversal detected %s,%s,%s", "TKSN_ToolPtr", "Tool", "List");
        seen[size_t(i)] = true;
        TKSN_Tool* tool = (*list)[i];
        if (!tool) {
            if (x > 0) {
                x = 0;
                y += m;
            }
            continue;
        }
        if (!tool->Icon) continue;
        tool->RegisterForLookup();
        auto* b = new TKSN_ToolButton(bar, int(tool->GetID()));
        b->SetName("", false);
        b->ShowName = false;
        b->SetHint("%s", tool->GetHint());
        ShapeModeButton(b, x, y, tool->Icon->GetName());
        if (x != 0) {
            x = 0;
            y += 20;
            m = 20;
        } else {
            m = std::max(m, b->Height);
            x = b->Width;
        }
        b->ClickEvent = new TQOREvent(nullptr, 0, 152);
        b->ClickEvent->SetOwner(tool);
        b->ClickEvent->intParameters[0] = -1;
    }
}

void MakeTextureInactive(TQORglutTexture* texture, bool)
{
    if (!texture || !texture->GetPixels()) return;
    const int depth = texture->GetColorDepth();
    unsigned char* p = texture->GetPixels();
    const long count = long(texture->GetWidth()) * texture->GetHeight();
    for (long i = 0; i < count; ++i, p += depth) p[1] = p[2] = 0;
    texture->Unbind();
}

void TKSN_MainWindow::UpdateModeButtons()
{
    if (!ModeButtonBar) return;
    ModeButtonBar->Empty();
    BrushShapeButton = BrushImageButton = nullptr;
    ColorSwatch = nullptr;
    LogoButton = nullptr;
    if (!App) return;
    TBarCursor c;
    TGui_Node* bar = ModeButtonBar;

    TGui_Button* logo = bar->AddButton("Updates...", c.X, c.Y, Lang.GetText(557));
    logo->SetName("Updates...", false);
    logo->ShowName = false;
    ShapeModeButton(logo, c.X, c.Y, "vexmarkIcon");
    logo->ClickEvent = new TQOREvent(186);
    logo->ClickEvent->intParameters[0] = -1;
    LogoButton = logo;
    c.TwoColumn(logo);
    c.Separator(bar);

    CreateToolListIcons2(App->navigationTools, bar, c.X, c.Y);
    CommandButton(bar, c, Lang.GetText(1630), Lang.GetText(1631), "Refresh", 283);
    CommandButton(bar, c, nullptr, Lang.GetText(66), "ResetButton_Current", 284);
    CommandButton(bar, c, nullptr, Lang.GetText(152), "ResetButton_All", 285);
    c.Separator(bar);
    CreateToolListIcons2(App->transformationTools, bar, c.X, c.Y);
    c.Separator(bar);
    CreateToolListIcons2(App->selectionTools, bar, c.X, c.Y);

    const int tab = App->GetToolTypeTab();
    if (tab == 3) {
        c.Separator(bar);
        CreateToolListIcons2(App->paintTools, bar, c.X, c.Y);
    }
    if (tab == 1 || tab == 4) {
        c.Separator(bar);
        CreateToolListIcons2(App->deformationTools, bar, c.X, c.Y);
    }
    if (tab == 4) {
        c.Separator(bar);
        CreateToolListIcons2(App->modelingTools, bar, c.X, c.Y);
    }
    c.Separator(bar);

    TGui_Button* more = bar->AddButton("", 14, c.Y, Lang.GetText(487));
    more->SetName("Utilities", false);
    more->ShowName = false;
    ShapeModeButton(more, 8, c.Y, "MoreTools");
    more->ClickEvent = new TQOREvent(0);
    more->ClickEvent->intParameters[0] = 0;
    more->SetPopupMenu(AdditionalUtilitiesMenu);
    c.Y += 20;
    c.X = 0;

    BrushShapeButton = bar->AddButton("", 0, c.Y, Lang.GetText(358));
    BrushShapeButton->ShowName = false;
    BrushShapeButton->AutoSize = false;
    BrushShapeButton->SetSize(32, 32);
    BrushShapeButton->SetGraphic(BrushShapeThumbnail());
    BrushShapeButton->ClickEvent = new TQOREvent(481);

    ColorSwatch = MakeColorSwatch(bar);
    ColorSwatch->SetPosition(8, bar->Height - ColorSwatch->Height - 21);

    BrushImageButton = bar->AddButton("", 0, 0, Lang.GetText(359));
    BrushImageButton->ShowName = false;
    BrushImageButton->AutoSize = false;
    BrushImageButton->SetSize(32, 32);
    BrushImageButton->SetGraphic(BrushImageThumbnail());
    BrushImageButton->SetPosition(8, bar->Height - 32 - ColorSwatch->Height - 21);
    BrushImageButton->ClickEvent = new TQOREvent(482);
}

// [SECTION] Tool-selection callbacks

namespace {

// The main window when the event's owner is it; raises otherwise.
TKSN_MainWindow* CallbackWindow(TQOREvent* event)
{
    auto* w = event ? dynamic_cast<TKSN_MainWindow*>(__GetThingyFromID(event->GetOwnerID())) : nullptr;
    if (!w) QORThrowException("%s == NULL in callback, Type = %s", "This", "TKSN_MainWindow");
    return w;
}

TKSN_Mesh* CurrentMesh() { return Project ? Project->GetPolyMesh() : nullptr; }

// An index outside the list or at a separator changes nothing, not even the
// list's remembered entry.
bool Change(TKSN_ToolList* list, TQOREvent* event)
{
    const int index = event->GetCommand();
    if (!Project || !list || index < 0 || index >= list->Count() || !(*list)[index]) return false;
    return Project->ChangeTool(CurrentMesh(), list, index);
}

void PushCommand(int command, int int0 = 0)
{
    auto* e = new TQOREvent(command);
    e->intParameters[0] = int0;
    QOREvents_PushEvent(e);
}

void SelectionOutOfDate()
{
    if (TKSN_Mesh* mesh = CurrentMesh()) mesh->OnSelectionChanged();
}

} // namespace

bool TKSN_MainWindow::SelectBrushCB(TQOREvent* event)
{
    CallbackWindow(event);
    if (!App || !Change(App->selectionTools, event)) return false;
    PushCommand(431);
    return true;
}

bool TKSN_MainWindow::SelectTransformCB(TQOREvent* event)
{
    CallbackWindow(event);
    if (!App || !Change(App->deformationTools, event)) return false;
    SelectionOutOfDate();
    const int tab = App->GetToolTypeTab();
    if (tab != 1 && tab != 4 && tab != 5) {
        PushCommand(151, 1);
        PushCommand(416, 1);
    }
    PushCommand(431);
    return true;
}

bool TKSN_MainWindow::SelectPaintBrushCB(TQOREvent* event)
{
    CallbackWindow(event);
    if (!App || !Change(App->paintTools, event)) return false;
    PushCommand(431);
    PushCommand(416, 3);
    PushCommand(151, 3);
    return true;
}

bool TKSN_MainWindow::SelectSculptCB(TQOREvent* event)
{
    CallbackWindow(event);
    if (!App || !Change(App->sculptTools, event)) return false;
    PushCommand(431);
    PushCommand(416, 5);
    return true;
}

bool TKSN_MainWindow::SelectNavigationToolsCB(TQOREvent* event)
{
    CallbackWindow(event);
    if (!App || !App->navigationTools) return false;
    TKSN_ToolList* list = App->navigationTools;
    const int index = event->GetCommand();
    const bool inside = index >= 0 && index < list->Count();
    // Choosing the current navigation tool again goes back to the tool before it.
    if ((inside && (*list)[index] && (*list)[index] == App->currentTool) || (!inside && !App->currentTool)) {
        PushCommand(154);
        return true;
    }
    if (!Change(list, event)) return false;
    PushCommand(151, 6);
    return true;
}

bool TKSN_MainWindow::SelectModelerCB(TQOREvent* event)
{
    CallbackWindow(event);
    if (!App || !Change(App->modelingTools, event)) return false;
    PushCommand(431);
    PushCommand(416, 4);
    return true;
}

bool TKSN_MainWindow::SelectTransformToolsCB(TQOREvent* event)
{
    CallbackWindow(event);
    if (!App || !Change(App->transformationTools, event)) return false;
    PushCommand(151, 7);
    return true;
}
