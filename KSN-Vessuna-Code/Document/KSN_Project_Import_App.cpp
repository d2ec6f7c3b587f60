// The application object's side of importing objects, kept apart because
// KSN_Application.h cannot share a source with the mesh header.
#include "KSN_Application.h"
#include "KSN_Project.h"
#include "KSN_Project_Import.h"

void KSN_ProjectImportApp_AddSearchPathFromFileName(const char* path)
{
    if (App && App->DocumentSearchPaths && path) App->DocumentSearchPaths->AddPathFromFileName(path, false);
}

bool KSN_ProjectImportApp_LocateFile(char* path)
{
    if (App) return App->LocateFile(path);
    return path && TOS::FileExists(path);
}

bool KSN_ProjectImport_GetImportMapsOption() { return Project ? Project->ImportMaps : true; }
