#include "KSN_Project.h"

#include "KSN_Application.h"

TKSN_Project* Project = nullptr;

TKSN_Project::TKSN_Project()
{
    if (App && App->DocumentSearchPaths) App->DocumentSearchPaths->DeleteAll();
}

void TKSN_Project::CancelVertexCulling()
{
    if (App) App->InvalidateVertexCulling();
}
