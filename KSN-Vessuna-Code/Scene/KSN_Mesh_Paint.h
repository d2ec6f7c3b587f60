// Painting preparation of the editable mesh: what the mesh asks of the
// project and the application while it binds maps, and the manager-tree
// lookups by display-list number.
//
// A mesh is painted through map bindings (TQORMaterialMap, owned by the mesh
// in MaterialMaps): each ties one map source to the mesh and keeps the list of
// the mesh's polygons whose material names it in some channel. The mesh keeps
// the bindings consistent with its materials (OnMapTopologyChanged), and marks
// the polygons painting must treat with care in the polygon-flag array:
// KSN_POLY_PAINT_EDGE at seams, at the open border and where materials meet,
// KSN_POLY_TEXTURE_OVERLAP where the mapping of one binding overlaps itself.
//
// The project document and the application object sit above the scene
// library, so the few services of theirs that painting preparation needs come
// through the hooks below, which start-up registers.
#pragma once

#include <cstdint>

class TKSN_Mesh;
class TKSN_Thingy;
class TKSN_TreeGroup;
class TKSN_Viewport;
class TQORMaterial;
class TQORMaterialChannel;
class TQORMaterialMap;
class TQORMaterialMapSource;

// Polygon-flag bits written by painting preparation.
constexpr uint32_t KSN_POLY_PAINT_EDGE = 0x10000000;
constexpr uint32_t KSN_POLY_TEXTURE_OVERLAP = 0x20000000;

// TODO(stub): stands for the project document's map services (TKSN_Project:
// the "ImportMaps" option, GetMapFromSource, CreateNewMap, ImportMap,
// OnWholeMapChanged, GetActiveChannelFromMaterial) and the application's
// LocateFile and paintDepthBuffer. The project's map list is the one the map
// sources already ask for (QORMaterialMapSource_ProjectHooks.GetMapList).
// A null entry answers as described beside it.
struct TKSN_MeshPaintingHooks {
    // Project option "ImportMaps". Unset: true, the project's default.
    bool (*GetImportMapsOption)() = nullptr;
    // The mesh's binding of source, made with CreateNewMap when create is set.
    // Unset: searched in the mesh's bindings, created as CreateNewMap does.
    TQORMaterialMap* (*GetMapFromSource)(TKSN_Mesh* mesh, TQORMaterialMapSource* source, bool create) = nullptr;
    // A new binding of source added to the mesh. Unset: a plain binding of a
    // non-null source appended to the mesh's list (null source: null).
    TQORMaterialMap* (*CreateNewMap)(TKSN_Mesh* mesh, TQORMaterialMapSource* source) = nullptr;
    // An image file imported as a new map source of the project. Unset: null
    // (the import fails; there is no project to own the source).
    TQORMaterialMapSource* (*ImportMap)(const char* path) = nullptr;
    // The whole map changed: re-send it and tell the meshes. Unset: only the
    // source's own OnWholeMapChanged.
    void (*OnWholeMapChanged)(TQORMaterialMapSource* source) = nullptr;
    // The channel of material that the viewport shows. Unset: null.
    TQORMaterialChannel* (*GetActiveChannelFromMaterial)(TKSN_Viewport* viewport, TQORMaterial* material) = nullptr;
    // Finds the file path names, rewriting path (TOS_PATH_BUFFER bytes).
    // Unset: the file exists at path as given.
    bool (*LocateFile)(char* path) = nullptr;
    // The application's paintDepthBuffer resized to width x height bytes
    // (type 1); its bytes. Unset: a buffer kept by the mesh library.
    unsigned char* (*GetPaintDepthBuffer)(int width, int height) = nullptr;
};
void KSN_SetMeshPaintingHooks(const TKSN_MeshPaintingHooks& hooks);

// The first group in the chain of sibling groups from group (and their
// descendants) whose item list holds exactly thingy; null when none.
TKSN_TreeGroup* GetGroupFromThingy(TKSN_TreeGroup* group, TKSN_Thingy* thingy);
