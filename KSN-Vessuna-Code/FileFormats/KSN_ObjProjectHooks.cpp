#include "KSN_ObjProjectHooks.h"

#include "KSN_ObjReader.h"
#include "KSN_ObjWeld.h"
#include "KSN_ObjWriter.h"
#include "KSN_Faceloom.h"
#include "KSN_Project.h"
#include "KSN_Project_Import.h"
#include "KSN_Sets.h"

void KSN_FileFormats_RegisterHooks()
{
    TKSN_ProjectFileHooks hooks;
    hooks.LoadObjData = LoadObjData;
    hooks.QuickWeld3 = QuickWeld3;
    hooks.ExportObjectFile = ExportObjectFile;
    hooks.ExportGroupsAsSeparateObjects = KSN_ExportGroupsAsSeparateObjects;
    KSN_SetProjectFileHooks(hooks);
    KSN_SetFaceloomSelectionSetHooks(
        [](const char* path) {
            if (Project) Project->ImportSelectionSet(path, true);
        },
        CheckAndAutoLoadFaceloomSelectionSet);
}
