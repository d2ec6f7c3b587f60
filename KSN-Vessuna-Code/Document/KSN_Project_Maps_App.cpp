// The application's side of the project's map management (see
// KSN_Project_Maps_Internal.h for why it is kept apart).
#include "KSN_Project_Maps_Internal.h"

#include "KSN_Application.h"
#include "KSN_Viewport.h"

#include <vector>

void KSN_MapsApp_CleanTemporaryMemory()
{
    if (App) App->CleanTemporaryMemory();
}

std::string KSN_MapsApp_ExportImageFilter()
{
    if (!App) return std::string();
    std::vector<char> filter(KSN_APP_PATH_BUFFER, '\0');
    App->GetFileDialogDescriptionForAllExportImageFileTypes(filter.data(), int32_t(filter.size()));
    return std::string(filter.data());
}

std::string KSN_MapsApp_ExportPath() { return App ? std::string(App->exportPath) : std::string(); }

void KSN_MapsApp_SetDialogTypeIndex(int index) { CurrentIndexForMultiFileDialog = index; }

void KSN_MapsApp_InvalidateRenderedScenes()
{
    if (!App) return;
    for (TKSN_Viewport* viewport : App->viewports)
        if (viewport) viewport->SetRenderedSceneStatus(2);
}

const char* KSN_MapsApp_ViewportChannelName(TKSN_Viewport* viewport)
{
    return viewport ? viewport->materialChannelName : nullptr;
}
