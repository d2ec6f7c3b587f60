// The application object's side of the document (see KSN_Project_Internal.h).
#include "KSN_Project_Internal.h"

#include "KSN_Application.h"

TKSN_Tool* KSN_ProjectApp_CurrentTool() { return App ? App->currentTool : nullptr; }

TKSN_Viewport* KSN_ProjectApp_Viewport(int index)
{
    return (App && index >= 0 && index <= 3) ? App->viewports[index] : nullptr;
}

int KSN_ProjectApp_ViewportIndex(const TKSN_Viewport* viewport)
{
    if (!App || !viewport) return -1;
    for (int i = 0; i < 4; ++i)
        if (App->viewports[i] == viewport) return i;
    return -1;
}

void KSN_ProjectApp_InvalidateVertexCulling()
{
    if (App) App->InvalidateVertexCulling();
}

void KSN_ProjectApp_ClearDocumentSearchPaths()
{
    if (App && App->DocumentSearchPaths) App->DocumentSearchPaths->DeleteAll();
}

void KSN_ProjectApp_RestartSaveReminder()
{
    if (!App) return;
    App->saveReminderTimer.Start();
    App->saveTimer.Start();
}

void KSN_ProjectApp_WarningNoCurrentObject(bool pushCommand)
{
    if (App) App->WarningNoCurrentObject(pushCommand);
}
