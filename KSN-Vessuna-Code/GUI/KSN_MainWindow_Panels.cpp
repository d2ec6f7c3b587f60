#include "KSN_MainWindow_Panels.h"

#include "GuiMaster.h"
#include "GuiMenu.h"
#include "KSN_Application.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "QORString.h"

#include <algorithm>
#include <filesystem>


bool KSN_LoadBrushTexture(const char*) { return false; }

bool KSN_CreatePictureObject(TKSN_Viewport*, const char* path, int, int)
{
    if (!Project || !path) return false;
    TKSN_Object* object = Project->CreateNewObject();
    if (!object) return false;
    object->SetName("%s", std::filesystem::path(path).filename().string().c_str());
    return true;
}
