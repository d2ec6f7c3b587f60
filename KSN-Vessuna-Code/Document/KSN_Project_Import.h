// What the project's import, export and merge members need of the file
// interchange library, and the least sub-division mesh they build.
//
// The file interchange library (FileFormats) sits above the document: it
// reads and writes OBJ and MTL files into meshes and welds them. The project
// members that import objects and morphs and export objects call it through
// TKSN_ProjectFileHooks, which the interchange library fills once at start-up
// (KSN_FileFormats_RegisterHooks). Unset, an import fails with false and an
// export does nothing. The sub-division levels that CreateSubD builds are
// declared in KSN_SubDMesh.h.
#pragma once

#include "KSN_SubDMesh.h"

#include <cstdint>

class TQORPolyMesh;
class TKSN_Mesh;

struct TKSN_ProjectFileHooks {
    // Reads an OBJ file into a fresh mesh; true when the mesh was built.
    bool (*LoadObjData)(const char* path, TQORPolyMesh* mesh, bool honourInternalNames) = nullptr;
    // Welds coincident vertices with the relative tolerance.
    void (*QuickWeld3)(TQORPolyMesh* mesh, float tolerance) = nullptr;
    // Writes one mesh as one OBJ file with its library; reports failures itself.
    bool (*ExportObjectFile)(TQORPolyMesh* mesh, const char* path, bool verticesOnly, bool writeGroups,
                             bool internalNames) = nullptr;
    // Writes one OBJ file per polygon group; throws std::runtime_error when a
    // file cannot be written. Returns the number of OBJ files written.
    int (*ExportGroupsAsSeparateObjects)(TQORPolyMesh* mesh, const char* path, bool verticesOnly,
                                         bool changedOnly) = nullptr;
};
void KSN_SetProjectFileHooks(const TKSN_ProjectFileHooks& hooks);
const TKSN_ProjectFileHooks& KSN_GetProjectFileHooks();

// The application's side of importing: the folder of an imported file joins
// the document search folders, and map files named by a material are found
// through the application's search (KSN_Project_Import_App.cpp).
void KSN_ProjectImportApp_AddSearchPathFromFileName(const char* path);
bool KSN_ProjectImportApp_LocateFile(char* path);
// The project's "ImportMaps" option (true without a project).
bool KSN_ProjectImport_GetImportMapsOption();
