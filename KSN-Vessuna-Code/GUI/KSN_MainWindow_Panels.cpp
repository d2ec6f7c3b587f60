#include "KSN_MainWindow_Panels.h"

#include "GuiMaster.h"
#include "GuiMenu.h"
#include "KSN_Application.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "QORString.h"

#include <algorithm>


bool KSN_LoadBrushTexture(const char* path) { return Project && path && Project->LoadBrushTexture(path); }

bool KSN_CreatePictureObject(TKSN_Viewport* viewport, const char* path, int x, int y)
{
    if (!Project || !viewport || !path || !*path) return false;
    Project->CreatePictureObject(viewport, path, x, y);
    return true;
}
