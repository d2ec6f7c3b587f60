// The brush library pop-ups and the brush colours (478-490), and loading a
// brush image or shape from a file (366, 367).
#include "KSN_Commands_FileIO.h"

#include "KSN_Application.h"
#include "KSN_BrushLibrary.h"
#include "KSN_Gui_BrushBrowser.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_MainWindow_Panels.h"
#include "KSN_Project.h"
#include "KestruneEvents.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr int kTextErrorLoadingImage = 1016;   // "Error loading the image %s"

TGui_Node* ShapePopup() { return MainWindow ? MainWindow->BrushShapeLibraryWindow : nullptr; }
TGui_Node* ImagePopup() { return MainWindow ? MainWindow->BrushImageLibraryWindow : nullptr; }

void HidePopup(TGui_Node* popup)
{
    if (popup) popup->Hide();
}

// The colourised brush image is the brush image tinted with the primary
// colour: it goes stale with every change of that colour.
void RebuildColorizedBrush()
{
    if (!Project) return;
    Project->CreateColorizedBrushImage();
    Project->InvalidateOverlay();
}

bool OpenPopup(TQOREvent* event, TGui_Node* popup, bool needsNode)
{
    int x = event->GetX(), y = event->GetY();
    auto* node = event->dispatcherID ? dynamic_cast<TGui_Node*>(__GetThingyFromID(event->dispatcherID)) : nullptr;
    if (node) {
        x += node->AbsX;
        y += node->AbsY;
    } else if (needsNode) {
        return true;
    }
    if (!popup || !MainWindow) return true;
    KSN_ClampPopupPosition(x, y, MainWindow->Width, MainWindow->Height, popup->Width, popup->Height);
    popup->SetPosition(x, y);
    popup->Pop();
    popup->Show();
    return true;
}

bool TakeLibraryEntry(TQOREvent* event, bool shape)
{
    auto* entry = event->GetOwnerID() ? dynamic_cast<TBrushImageLibraryEntry*>(__GetThingyFromID(event->GetOwnerID()))
                                      : nullptr;
    if (entry && Project) {
        const std::string path = std::string(entry->folder) + entry->GetName() + "." + entry->extension;
        if (shape)
            Project->LoadBrushShapeFromFile(path.c_str());
        // The image loader is quiet about a bad file (its callers each
        // report in their own way); a library click says which one failed.
        else if (!Project->LoadBrushFromFile(path.c_str()))
            OS.WarningMessage(Lang.GetText(kTextErrorLoadingImage), path.c_str());
    }
    // Also a stale entry closes its pop-up: the click was answered.
    HidePopup(shape ? ShapePopup() : ImagePopup());
    return true;
}

bool PickColour(bool primary)
{
    float* colour = primary ? App->paintColor : App->secondaryPaintColor;
    float chosen[3];
    if (!OS.ExecuteColorDialog(chosen, colour)) return true;
    std::copy(chosen, chosen + 3, colour);
    if (primary && Project) {
        RebuildColorizedBrush();
        Project->OnAllViewportsChanged();
    }
    return true;
}

bool SwapColours()
{
    if (Project && Project->IsPainting()) return true;
    for (int i = 0; i < 3; ++i) std::swap(App->paintColor[i], App->secondaryPaintColor[i]);
    RebuildColorizedBrush();
    OS.PrintMessageNoRepeat("%s", Lang.GetText(363));
    return true;
}

} // namespace

void KSN_ClampPopupPosition(int& x, int& y, int W, int H, int w, int h)
{
    x = x > W - w ? W - w : std::max(x, 0);
    y = y > H - h - 10 ? H - h - 10 : std::max(y, 0);
}

bool KSN_LoadBrushFileCommand(bool shape)
{
    if (!App || !Project) return false;
    std::vector<char> path(10000, '\0'), folder(10000, '\0');
    std::snprintf(folder.data(), folder.size(), "%s", App->imagesPath);
    char wildcard[KSN_APP_PATH_BUFFER];
    App->GetFileDialogDescriptionForAllImportImageFileTypes(wildcard, sizeof wildcard);
    if (!OS.ExecuteOpenFileDialogMultipleTypes(path.data(), folder.data(), wildcard, "", true, nullptr)) return false;
    std::snprintf(App->imagesPath, sizeof App->imagesPath, "%s", folder.data());
    if (shape)
        Project->LoadBrushShapeFromFile(path.data());
    else
        KSN_LoadBrushTexture(path.data());
    HidePopup(shape ? ShapePopup() : ImagePopup());
    return true;
}

bool Kestrune_Events_VariousInterfaceACB(TQOREvent* event)
{
    KestruneEvents_PostRedisplay();
    if (!event || !App) return false;
    switch (event->GetCommand()) {
    case 481: return OpenPopup(event, ShapePopup(), false);
    case 482: return OpenPopup(event, ImagePopup(), true);
    case 483: return TakeLibraryEntry(event, true);
    case 484: return TakeLibraryEntry(event, false);
    case 485: return PickColour(true);
    case 486: return PickColour(false);
    case 487: return SwapColours();
    case 488: {
        const float black[3] = {0.0f, 0.0f, 0.0f}, white[3] = {1.0f, 1.0f, 1.0f};
        std::copy(black, black + 3, App->paintColor);
        std::copy(white, white + 3, App->secondaryPaintColor);
        RebuildColorizedBrush();
        return true;
    }
    case 489: {
        auto* node =
            event->dispatcherID ? dynamic_cast<TGui_Node*>(__GetThingyFromID(event->dispatcherID)) : nullptr;
        if (!node) return false;
        if (node->Parent) node->Parent->Hide();
        return true;
    }
    default: return false;
    }
}
