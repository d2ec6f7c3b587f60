// The application's side of the project file and of the swap of projects
// (see KSN_Project_File_Internal.h).
#include "KSN_Project_File_Internal.h"

#include <cstring>

#include "KSN_Application.h"
#include "GuiTheme.h"
#include "KSN_Viewport.h"
#include "QORLanguage.h"

namespace {

TKSN_Viewport* ViewportOf(int index) { return (App && index >= 0 && index < 4) ? App->viewports[index] : nullptr; }

// Everything a failed load must give back: the viewport's own Copy plus what
// belongs to the window layout and the load itself.
void CopyViewportState(TKSN_Viewport& to, TKSN_Viewport& from)
{
    to.SetName("%s", from.GetName());
    to.Copy(&from);
    to.layerMask1 = from.layerMask1;
    to.layerMask2 = from.layerMask2;
    to.furtherMask1 = from.furtherMask1;
    to.furtherMask2 = from.furtherMask2;
    to.layer.IsMainViewportSettings = from.layer.IsMainViewportSettings;
    to.standardView = from.standardView;
    to.renderedSceneStatus = from.renderedSceneStatus;
    to.shown = from.shown;
    to.Loaded = from.Loaded;
}

} // namespace

int KSN_FileApp_GetViewportConfiguration() { return App ? App->viewportLayout : -1; }

void KSN_FileApp_SetViewportConfiguration(int configuration)
{
    if (App) App->viewportLayout = configuration;
}

float* KSN_FileApp_OrientationMatrix()
{
    static float none[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    return App ? App->baseOrientationMatrix : none;
}

float* KSN_FileApp_BackgroundColor(int index)
{
    static float none[2][3] = {};
    if (!App) return none[index ? 1 : 0];
    return index ? App->textureGridColor2 : App->textureGridColor1;
}

bool KSN_FileApp_SaveViewport(FILE* file, int index)
{
    TKSN_Viewport* viewport = ViewportOf(index);
    return viewport ? viewport->SaveToStream_Text(file, true) : true;
}

void KSN_FileApp_LoadViewport(FILE* file, int index)
{
    if (TKSN_Viewport* viewport = ViewportOf(index)) viewport->LoadFromStream_Text(file);
}

void KSN_FileApp_CleanTemporaryMemory()
{
    if (App) App->CleanTemporaryMemory();
}

void KSN_FileApp_PrepareViewportsForLoad()
{
    for (int i = 0; i < 4; ++i)
        if (TKSN_Viewport* viewport = ViewportOf(i)) {
            viewport->Loaded = false;
            viewport->SetAutoView(false);
            viewport->Unlock();
            viewport->CopyViewportIndex = -1;
        }
}

void KSN_FileApp_NameViewportsAfterLoad()
{
    for (int i = 0; i < 4; ++i)
        if (TKSN_Viewport* viewport = ViewportOf(i)) {
            if (i == 0) viewport->SetName("%s", Lang.GetText(120));
            else viewport->SetName("%s %d", Lang.GetText(121), i);
            if (viewport->renderSetup) viewport->renderSetup->InvalidateBackgroundGrid();
        }
    TKSN_RenderSetup::InvalidateBackgroundPattern();
}

bool KSN_FileApp_ViewportShown(int index)
{
    TKSN_Viewport* viewport = ViewportOf(index);
    return viewport && viewport->shown;
}

void KSN_FileApp_UseDefaultSettings()
{
    if (!App) return;
    App->ResetViewports();
    App->perVertexSymmetry = true;
    App->useSymmetry = true;
    App->autoCentre = true;
    App->snapToClosestVertex = false;
    std::memcpy(App->textureGridColor1, QORglutWigits_DefaultBackgroundColor, sizeof QORglutWigits_DefaultBackgroundColor);
    std::memcpy(App->textureGridColor2, QORglutWigits_DefaultBackgroundColorB, sizeof QORglutWigits_DefaultBackgroundColorB);
    for (TKSN_Viewport* viewport : App->viewports)
        if (viewport) {
            viewport->DisplayMode = 3;
            std::snprintf(viewport->materialChannelName, sizeof viewport->materialChannelName, "%s", "Color");
        }
}

// TODO(stub): the wait and arrow cursors come with the main window.
void KSN_FileApp_SetWaitCursor(bool) {}

struct TKSN_FileAppState::TSnapshot {
    bool HadApp = false;
    int ViewportLayout = 0;
    float Orientation[16] = {};
    float Background1[3] = {};
    float Background2[3] = {};
    bool Switches[4] = {};
    TKSN_Viewport* Viewports[4] = {};   // copies, owned
};

TKSN_FileAppState::TKSN_FileAppState() : Saved(std::make_unique<TSnapshot>())
{
    if (!App) return;
    TSnapshot& s = *Saved;
    s.HadApp = true;
    s.ViewportLayout = App->viewportLayout;
    std::memcpy(s.Orientation, App->baseOrientationMatrix, sizeof s.Orientation);
    std::memcpy(s.Background1, App->textureGridColor1, sizeof s.Background1);
    std::memcpy(s.Background2, App->textureGridColor2, sizeof s.Background2);
    s.Switches[0] = App->perVertexSymmetry;
    s.Switches[1] = App->useSymmetry;
    s.Switches[2] = App->autoCentre;
    s.Switches[3] = App->snapToClosestVertex;
    for (int i = 0; i < 4; ++i)
        if (App->viewports[i]) {
            s.Viewports[i] = KSN_NewViewport();
            CopyViewportState(*s.Viewports[i], *App->viewports[i]);
        }
}

TKSN_FileAppState::~TKSN_FileAppState()
{
    for (TKSN_Viewport*& copy : Saved->Viewports) {
        if (copy) KSN_DeleteViewport(copy);
        copy = nullptr;
    }
}

void TKSN_FileAppState::Restore()
{
    const TSnapshot& s = *Saved;
    if (!App || !s.HadApp) return;
    App->viewportLayout = s.ViewportLayout;
    std::memcpy(App->baseOrientationMatrix, s.Orientation, sizeof s.Orientation);
    std::memcpy(App->textureGridColor1, s.Background1, sizeof s.Background1);
    std::memcpy(App->textureGridColor2, s.Background2, sizeof s.Background2);
    App->perVertexSymmetry = s.Switches[0];
    App->useSymmetry = s.Switches[1];
    App->autoCentre = s.Switches[2];
    App->snapToClosestVertex = s.Switches[3];
    for (int i = 0; i < 4; ++i)
        if (App->viewports[i] && s.Viewports[i]) CopyViewportState(*App->viewports[i], *s.Viewports[i]);
}

int KSN_FileApp_FinishSwap()
{
    if (!App) return -1;
    if (App->viewportLayout == -1) App->ResetViewports();
    int current = -1;
    for (int i = 0; i < 4; ++i)
        if (App->viewports[i] && App->viewports[i]->Loaded && App->viewports[i]->Current) current = i;
    return current;
}
