// The brush library browser (see KSN_Gui_BrushBrowser.h).
#include "KSN_Gui_BrushBrowser.h"

#include "GuiButton.h"
#include "GuiText.h"
#include "KSN_Application.h"
#include "KSN_BrushLibrary.h"
#include "KSN_Gui_ManagerLists.h"
#include "KSN_Project.h"
#include "OS.h"
#include "QORGL.h"
#include "QOREvents.h"
#include "KSN_ToolKinds.h"
#include "QORImage.h"
#include "QORImageMap.h"
#include "QORLanguage.h"
#include "QORMemory.h"
#include "QORString.h"

#include <cctype>
#include <cstring>
#include <vector>

int KSN_BrushThumbnailFilesRead = 0;

std::string KSN_BrushFolderDisplayName(const char* name)
{
    std::string s = name ? name : "";
    size_t i = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
    if (i == 0) return s;
    if (i < s.size() && (s[i] == '-' || s[i] == '.' || s[i] == '_')) ++i;
    return i >= s.size() ? s : s.substr(i);
}

namespace {

// A 32 x 32 RGB thumbnail from RGB or RGBA pixels.
TQORImageMap* MakeThumbnail(const unsigned char* pixels, int width, int height, int depth)
{
    std::vector<unsigned char> rgb(size_t(width) * size_t(height) * 3);
    for (size_t p = 0; p < size_t(width) * size_t(height); ++p)
        for (int c = 0; c < 3; ++c) rgb[p * 3 + size_t(c)] = pixels[p * size_t(depth) + size_t(c)];
    auto* out = static_cast<unsigned char*>(QORalloc(32 * 32 * 3));
    if (!ResizeImage(out, 32, 32, rgb.data(), width, height, 3)) std::memset(out, 255, 32 * 32 * 3);
    auto* map = new TQORImageMap();
    map->CreateWithPixelData(out, 32, 32, 3, true);
    return map;
}

TQORImageMap* ThumbnailOf(TBrushImageLibraryEntry* entry, bool shapes)
{
    if (!KSN_DeleteBrushThumbnail) KSN_DeleteBrushThumbnail = [](TQORImageMap* t) { delete t; };
    const char* picture = nullptr;
    if (QORstrcmpi(entry->GetName(), "___NoTexture") == 0) picture = "NoTexture";
    if (QORstrcmpi(entry->GetName(), "___LoadTexture") == 0) picture = "FileFolder";
    if (picture) {
        TQORglutTexture* t = QORglut_Textures_GetTextureFromList(picture);
        if (t && t->GetPixels()) return MakeThumbnail(t->GetPixels(), t->GetWidth(), t->GetHeight(), t->GetColorDepth());
    } else {
        const std::string path = std::string(entry->folder) + entry->GetName() + "." + entry->extension;
        unsigned char* pixels = nullptr;
        int w = 0, h = 0;
        ++KSN_BrushThumbnailFilesRead;
        if (GetMapFromFile(path.c_str(), &pixels, &w, &h, false, nullptr, false, true, false) && pixels) {
            TQORImageMap* map = MakeThumbnail(pixels, w, h, 3);
            QORfree(pixels);
            if (shapes) map->InvertColors();
            return map;
        }
    }
    // Nothing readable: a white thumbnail.
    auto* white = static_cast<unsigned char*>(QORalloc(32 * 32 * 3));
    std::memset(white, 255, 32 * 32 * 3);
    auto* map = new TQORImageMap();
    map->CreateWithPixelData(white, 32, 32, 3, true);
    return map;
}

} // namespace

TKSN_BrushTextureManagerNode::TKSN_BrushTextureManagerNode(TGui_Node* parent) : TGui_Node(parent)
{
    StackChildren = true;
    MarginX = MarginY = 0;
    Frame = AddNode("", 100, 100);
    Frame->ShowName = false;
    Tree = new TKSN_ManagerNode(Frame);
    Tree->CreateVerticalScrollBar();
    Tree->BorderWidth = 0;
    Options = AddNode("", 100, 90);
    Options->ShowName = false;
    Options->StackChildren = true;
    Options->MarginY = 1;
    Options->BorderWidth = 0;
}

void TKSN_BrushTextureManagerNode::Update()
{
    Tree->Update();
    UpdateBrushLibrary();
    const int h = Options->Shown ? 90 : 0;
    Frame->SetSize(Width, Height - h - 2);
    Tree->SetPosition(1, 1);
    Tree->SetSize(Frame->Width - 2, Frame->Height - 2);
    Options->Empty();
    if (!Options->Shown) return;
    Options->SetSize(Width - 10, 90);
    const char* hint = Lang.GetText(754);
    Options->SetHint("%s", hint);
    Options->AddSeparator(Lang.GetText(753), 0, 0)->SetHint("%s", hint);
    const bool loaded = Project && Project->BrushImage.GetPixels() != nullptr;
    struct TBox {
        int Text, Hint, Command;
        bool* Value;
    } const boxes[] = {
        {367, 368, 29, Project ? &Project->MixColorAndTexture : nullptr},
        {767, 659, 30, Project ? &Project->FlipBrushTextureX : nullptr},
        {768, 660, 31, Project ? &Project->FlipBrushTextureY : nullptr},
        {342, 343, 32, Project ? &Project->TileBrushTexture : nullptr},
    };
    TGui_CheckBox* tile = nullptr;
    for (const TBox& b : boxes) {
        TGui_CheckBox* c = Options->AddCheckBox(Lang.GetText(b.Text), 0, 0, Lang.GetText(b.Hint));
        c->Pressed = b.Value && *b.Value;
        c->BoolVariableEvent = new TQOREvent(nullptr, 0, b.Command);
        c->SetEnabled(loaded);
        tile = c;
    }
    tile->AutoSize = false;
    tile->Width = Width - 10;
    if (App && App->tileSetupTool) {
        TGui_Button* setup = tile->AddButton(Lang.GetText(1484), 140, 0, Lang.GetText(1486));
        setup->AutoSize = false;
        setup->SetSize(60, tile->Height);
        setup->ClickEvent = new TQOREvent(nullptr, 0, 152);
        setup->ClickEvent->SetOwner(App->tileSetupTool);
        setup->SetEnabled(loaded && tile->Pressed);
    }
}

void TKSN_BrushTextureManagerNode::UpdateBrushLibrary()
{
    auto* root = LibraryID ? dynamic_cast<TKSN_TreeGroup*>(__GetThingyFromID(LibraryID)) : nullptr;
    if (!root) {
        LibraryID = 0;
        OS.Message("%s", "Please update the Image library ID in UpdateBrushLibrary()");
        return;
    }
    // Shape thumbnails are shown inverted: dark is what a dab lays down.
    Shapes = App && root == static_cast<TKSN_TreeGroup*>(App->brushShapeLibrary);
    UpdateBrushLibraryRecurse(root, 0);
}

void TKSN_BrushTextureManagerNode::UpdateBrushLibraryRecurse(TKSN_TreeGroup* group, int level)
{
    if (!group) return;
    TKSN_ManagerListItem* row;
    if (level == 0) {
        row = Tree->CreateNewListItem(true, group->GetName(), 0, false, false, nullptr, 0);
    } else {
        group->RegisterForLookup();
        row = Tree->CreateNewListItem(true, KSN_BrushFolderDisplayName(group->GetName()).c_str(), level, true,
                                      group->collapsed, ToggleCollapsedThingyCB, group->GetID());
        TKSN_ManagerListItemCollapseButton* b = row->CollapseButton;
        b->SetGraphic(QORglut_Textures_GetTextureFromList("SmallFileFolderOpen"));
        b->SetAltGraphic(QORglut_Textures_GetTextureFromList("SmallFileFolderClose"));
        b->Width = 16;
        b->ButtonMode = 1;
        b->DrawSurface = false;
        b->BorderWidth = 0;
        row->ClickEvent = new TQOREvent(ToggleCollapsedThingyCB, group->GetID(), -1);
    }
    row->Group = group;
    if (!group->collapsed || level == 0) {
        TKSN_ManagerListItem* thumbs = nullptr;
        int x = 0;
        const int count = group->items ? group->items->Count() : 0;
        std::vector<bool> seen(size_t(count), false);
        for (int i = 0; i < count; ++i) {
            if (seen[size_t(i)])
                QORThrowException("Infinite list traversal detected %s,%s,%s", "TKSN_Thingy *", "Thingy", "Group->List");
            seen[size_t(i)] = true;
            auto* entry = dynamic_cast<TBrushImageLibraryEntry*>((*group->items)[i]);
            if (!entry) continue;
            const int command = QORstrcmpi(entry->GetName(), "___LoadTexture") == 0 ? LoadCommand : PickCommand;
            if (!thumbs || Width < MarginX + x + 32) {
                thumbs = Tree->CreateNewListItem(true, "", level + 1, false, false, nullptr, 0);
                thumbs->Height = 32;
                x = 12 * (level + 1);
            }
            if (!entry->thumbnail) entry->thumbnail = ThumbnailOf(entry, Shapes);
            TGui_Node* t = thumbs->AddNode("", 32, 32);
            t->ShowName = false;
            t->SetPosition(x, 0);
            t->SetGraphic(entry->thumbnail->GetTextureWrapping());
            t->ClickEvent = new TQOREvent(nullptr, 0, command);
            t->ClickEvent->SetOwner(entry);
            x += 32;
        }
        if (group->GetChild()) UpdateBrushLibraryRecurse(group->GetChild(), level + 1);
    }
    if (group->GetNext()) UpdateBrushLibraryRecurse(group->GetNext(), level);
}
