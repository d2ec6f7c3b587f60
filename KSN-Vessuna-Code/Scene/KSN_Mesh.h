// TKSN_Mesh: the editable mesh that one scene object owns.
//
// The third layer of the mesh: TKSN_MeshRoot (counts, positions, octree) under
// TQORPolyMesh (polygons, vertex records, materials, groups, welding) under
// this class, which makes the geometry a document: the morph tree and the
// selection tree, the current morph and selection, the two special morphs the
// system keeps for itself, the use bracket that brings morph and selection
// data back from the virtual-memory store, the adjustment scripts that
// topology edits leave behind for lazy replay, the sub-division levels, the
// symmetry calculator, the selected lists and the painting support.
//
// Index of the sources:
//   KSN_Mesh.cpp            construction, trees, current items, use bracket, SubD accessors
//   KSN_Mesh_Morphs.cpp     morph resolution and welded morphs
//   KSN_Mesh_Scripts.cpp    vertex and polygon adjustment scripts
//   KSN_Mesh_Selection.cpp  selection tree services and welded selections
//   KSN_Mesh_Io.cpp         the mesh block of the project file
//   KSN_Mesh_Symmetry.cpp   symmetry pairing and morph symmetry
//   KSN_Mesh_Edit.cpp       edit-geometry bracket and topology clean-up
//   KSN_Mesh_SelectionEdit.cpp  selection editing of the working weights
//   KSN_Mesh_SelectedLists.cpp  selected lists and selection symmetry
//
// Invariants:
// - MorphTree and SelectionTree exist from Create on; every morph and every
//   selection is an item of some group of its tree and is owned by it. A
//   morph's key frames are chained behind it, not tree items.
// - BaseVerticesMorph and TempMorph are morph-tree items kept in memory
//   (special) and are never saved.
// - The current morph and selection are held as thingy IDs and looked up on
//   use; an ID that no longer names an item of the right class resets to 0.
// - Each morph and selection remembers the number of the last adjustment
//   script it replayed; it is up to date when that equals the counter of its
//   kind (VertexScriptCount, PolygonScriptCount). Counters never go back.
// - Sub-division levels are custom pointer properties "SUBD_LEVEL_%d" of the
//   mesh holding TKSN_SubDMesh pointers; levels 0..ActualMaxSubDLevel, deleted
//   together (the top level owns the per-vertex arrays the others share).
// - While SubDsBuilt is set, octree invalidation and validation are passed on
//   to every present level; validation first bakes the displacement and bump
//   maps into the top level through the registered bake (KSN_SubDMesh.h).
//
// Main thread only. The one worker touching the mesh is the symmetry
// calculator; the destructor cancels it and waits before releasing anything.
#pragma once

#include "KSN_Morph.h"
#include "KSN_MorphSelectionTree.h"
#include "KSN_ScriptReplay.h"
#include "KSN_Selection.h"
#include "QORLookupTable.h"
#include "QORNewStaticList.h"
#include "QORPolyMesh.h"

#include <cstdint>
#include <cstdio>
#include <string>

class TKSN_Object;
class TKSN_LayerDataSet;
class TKSN_SubDMesh;
class TKSN_SymmetryCalculator;
class TKSN_Undo_Node_Model;
class TQORMaterialMapSource;
struct TKSN_UVEdge2;

// TODO(stub): stands for the selection brushes' point record of the tool
// subsystem; the mesh only holds a list of them and releases its storage.
struct TKSN_PointSelect {
    int32_t Vertex = -1;
    float Weight = 0.0f;
};

// The tool-type tab on which only the base vertices are edited (modelling).
constexpr int32_t KSN_TOOL_TAB_MODELLING = 4;

// The application shell sits above the scene library in the link order, so
// what the mesh asks of the application comes through callbacks that start-up
// registers. A null entry answers as a freshly started application does.
// TODO(stub): the defaults stand for the application object (tool-type tab 3,
// animation frame 0, time never changing, vertex selection type) and for the
// scene object's name, until start-up registers the real answers.
struct TKSN_MeshApplicationHooks {
    int32_t (*GetToolTypeTab)() = nullptr;
    int32_t (*GetCurrentAnimationFrame)() = nullptr;   // animation frames
    bool (*IsTimeChangingForAnimation)() = nullptr;
    int32_t (*GetSelectionType)() = nullptr;           // 0 vertices, 1 polygons
    const char* (*GetObjectName)(TKSN_Object* object) = nullptr;   // the object may be null
};
void KSN_SetMeshApplicationHooks(const TKSN_MeshApplicationHooks& hooks);
int32_t KSN_MeshApp_GetToolTypeTab();
int32_t KSN_MeshApp_GetCurrentAnimationFrame();
bool KSN_MeshApp_IsTimeChangingForAnimation();
int32_t KSN_MeshApp_GetSelectionType();
const char* KSN_MeshApp_GetObjectName(TKSN_Object* object);

// The group path of the morph and selection lists while they are walked:
// each enclosing group's name followed by ":".
extern std::string GetMorphList_CurrentPath;

using TKSN_VertexAdjustmentScriptList = TQORNewStaticList<TKSN_VertexAdjustmentScript*>;

class TKSN_Mesh : public TQORPolyMesh {
public:
    // An empty mesh (no arrays, no trees) for owner; Create completes it.
    explicit TKSN_Mesh(TKSN_Object* owner);
    ~TKSN_Mesh() override;

    TKSN_Mesh(const TKSN_Mesh&) = delete;
    TKSN_Mesh& operator=(const TKSN_Mesh&) = delete;

    // ---- overrides ---------------------------------------------------------

    // The morph that tools deform (the base vertices on the modelling tab):
    // its full delta array, or null.
    float* GetCurrentDeltas() override;
    TKSN_Object* GetOwnerObject() override { return OwnerObject; }
    // The owner object's "RenderDoubleSided"; false without an owner object.
    bool DoRenderDoubleSided() override;
    // Also resizes VertexCulledValues and the two special morphs; every other
    // morph follows when it is next resolved.
    void SetVertexCount(int count) override;
    void SetPolygonCount(int count) override;
    // On a welded mesh: the base positions, then every morph whose welded
    // copies are stale, then every changed vertex selection of the mesh's size.
    void UpdateWeldedVertices() override;
    // The root's operation, then the same on every present level (see the
    // invariants); validation bakes the top level first when SubDsEnabled is
    // set and the invalid box is not empty.
    void InvalidateCubeInOSpace(float* min, float* max) override;
    void InvalidateAllInOSpace() override;
    void ValidateAllInOSpace(bool flag) override;
    void InvalidateAllOctreeNodeDisplayLists() override;
    // Sizes the mesh and builds both trees with the special items and
    // "Default Morph" as current morph. Call once before use.
    void Create(int vertexCount, int tVertexCount, int normalCount, int polygonCount) override;
    // Copies each weld master's delta onto its duplicates.
    virtual void UpdateWeldedMorph(TKSN_Morph* morph);

    // The legacy binary chunk is never written for meshes.
    bool SaveToStream(FILE* file) override;
    bool SaveToStream_Bin(FILE* file) override;

    // ---- set-up ----------------------------------------------------------------

    void SetupSpecialMorphs();
    // After the project file was read: stale visible lists, symmetry restarted.
    void SetupAfterLoad();

    // ---- trees -----------------------------------------------------------------

    // A new morph of the mesh's vertex count owned by this mesh, stamped with
    // VertexScriptCount, appended to group unless it is null.
    TKSN_Morph* CreateMorph(TKSN_TreeGroup* group);
    // Every morph of the tree in pre-order, each given its group path; key
    // frames are not listed. The caller deletes the list.
    TQORNewStaticList<TKSN_Morph*>* GetMorphList();
    // The same for the selections of the selection tree (and its siblings).
    TQORNewStaticList<TKSN_Selection*>* GetSelectionList();
    // Moves the hidden child groups of group behind the visible ones.
    void PopHiddenGroupsToTheEnd(TKSN_TreeGroup* group);
    // Traversal callback: deletes every item of the group; returns true.
    static bool DeleteAllThingys_OnVisit(TKSN_TreeGroup* group, int depth, void* userData);

    // ---- current items -------------------------------------------------------------

    TKSN_Morph* GetCurrentMorph();
    uint32_t GetCurrentMorphID();
    void SetCurrentMorph(TKSN_Morph* morph);
    TKSN_Selection* GetCurrentSelectionZ();
    // The flag is not used.
    void SetCurrentSelection(TKSN_Selection* selection, bool flag);

    // ---- use bracket -------------------------------------------------------------

    void BeginUsingMorph(TKSN_Morph* morph);
    void EndUsingMorph(TKSN_Morph* morph);
    bool ShouldMorphBeInUse(TKSN_Morph* morph);
    void BeginUsingSelection(TKSN_Selection* selection);
    void EndUsingSelection(TKSN_Selection* selection);
    void OnMorphChanged(TKSN_Morph* morph);

    // ---- sub-division levels ---------------------------------------------------

    // The level, or null when it is not there.
    TKSN_SubDMesh* GetSubD(int level);
    TKSN_SubDMesh* GetSubD_For_Editing();
    TKSN_SubDMesh* GetSubD_MaxLevel();
    TKSN_SubDMesh* GetSubD_Current();
    int GetCurrentSubDLevel();
    bool SetCurrentSubDLevel(int level);
    int GetAcutalMaxSubDLevel() const { return ActualMaxSubDLevel; }
    // Levels of 4× sub-division that stay below TargetMaxSubDPolygonCount,
    // minus one (−1 when even the unsub-divided selection reaches it).
    int GetTargetMaxSubDLevel();
    void DestroyAllSubDs();
    void InvalidateSubDBaseVertices();

    // By design these do nothing, kept for their callers: there are no map
    // names to refresh, and no check refuses a mesh for painting (always true).
    void UpdateMaterialMapNames() {}
    bool AnalyzeBeforePainting(bool /*flag*/) { return true; }

    // [SECTION] Morph resolution (KSN_Mesh_Morphs.cpp)

    // Resolved vertices = base + every active morph × strength (key frames
    // blended at the application's frame), then the mesh transform when asked.
    void ResolveMorphs(bool applyTransform);
    static bool ResolveVertices_OnVisitMorph(TKSN_TreeGroup* group, int depth, void* mesh);
    void ResolveMorphVertices(TKSN_Morph* morph, float strength);

    // [SECTION] Adjustment scripts (KSN_Mesh_Scripts.cpp)

    // New scripts for the caller to fill and then attach; names longer than
    // 255 bytes are cut at 255.
    TKSN_VertexAdjustmentScript* CreateVertexScript(const char* name);
    TKSN_VertexAdjustmentScript* CreatePolygonScript(const char* name);
    // Numbers the script and takes ownership.
    void AddVertexAdjustmentScript(TKSN_VertexAdjustmentScript* script);
    void AddPolygonAdjustmentScript(TKSN_VertexAdjustmentScript* script);
    // Replays every pending script everywhere, then deletes the vertex scripts.
    void FinishAllScriptedAdjustments();
    // Deletes the vertex scripts once no morph or selection needs them.
    bool CleanVertexScriptsIfNecessary();
    int GetUnadjustedMorphCount();
    int GetUnadjustedSelectionCount();

    // [SECTION] Selection services (KSN_Mesh_Selection.cpp)

    // Notifications of the selection brushes; no-ops by design, since the
    // selection weights are written in place and need no merge or resolve step.
    void MergeTempSelectionIfNecessary() {}
    void ResolveSelections(bool /*flag*/) {}
    void AfterVertexSelected(int /*vertex*/) {}
    void OnSelectionChanged() { SelectedListsValid = false; }
    // Stored-selection conversions (hidden and locked items included, no clamping).
    void ConvertSelectedPolygonsToVertices(TKSN_Selection* selection);
    void ConvertSelectedVerticesToPolygons(TKSN_Selection* selection);
    // Duplicates take their weld master's value.
    void UpdateWeldedSelection(TKSN_Selection* selection);
    // "Hidden Selections" as the selection tree's next sibling.
    void SetupSpecialSelections();

    // [SECTION] Selection editing (KSN_Mesh_SelectionEdit.cpp)
    // The working weights (vertex and polygon records), kept within 0..1.
    // Which set grow and shrink edit follows the application's selection type.
    // None of these rebuilds the selected lists: callers follow with
    // AfterFullSelection or BuildSelectedVerticesAndPolygons2.
    // A welded duplicate always takes its master's weight.
    void SetVSelect(int vertex, float weight);
    void ClearSelection();
    // mode 0 plain average, 1 only raises, 2 only lowers; normalise keeps the
    // largest weight. The working form reads a snapshot, the stored form
    // (vertex selections) softens in place.
    void SoftenSelection(bool normalise, int mode);
    void SoftenSelection(TKSN_Selection* selection, bool normalise, int mode);
    void GrowSelection();
    void ShrinkSelection();
    // Working conversions: a polygon is as selected as its least selected
    // vertex, a vertex as its most selected polygon (hidden and locked skipped).
    void ConvertSelectedVerticesToPolygons();
    void ConvertSelectedPolygonsToVertices();
    // The vertices of every visible, unlocked polygon of the group (material) get weight.
    void SelectGroup(int group, float weight);
    void SelectMaterial(int material, float weight);
    // The working weights of the application's selection type into selection;
    // bracket: inside the use bracket.
    void StoreCurrentSelectionValues(TKSN_Selection* selection, bool bracket);
    // Longest and shortest distance from a selected vertex to the other
    // vertices of its polygons (resolved positions); both 0 with nothing selected.
    void CalculateMaxEdgeLength();

    // [SECTION] Selected lists (KSN_Mesh_SelectedLists.cpp)
    // Rebuilds SelectedVertices/SelectedPolygons (ascending), their display
    // bits and the leaves' holds-selection marks, through the active symmetry
    // map. The second flag carries no meaning.
    void BuildSelectedVerticesAndPolygons2(bool withPolygons, bool flag);
    void BuildSelectionArraysWithSymmetry() { BuildSelectedVerticesAndPolygons2(true, true); }
    // Rebuilds only when SelectedListsValid is clear.
    int GetSelectedVertexCount() override;
    // GetSelectedVertexCount() != 0, without the rebuild where the weights
    // answer it directly: in vertex type a stale list is answered by looking
    // for the first vertex the rebuild would list.
    bool HasSelectedVertices();
    // After an edit of many weights: display lists stale, lists stale, the
    // other weight set converted, leaf marks refreshed.
    void AfterFullSelection();
    // direction: true copies through partner map 1, false through map 0.
    void MakeSelectionSymmetric(bool direction);
    void SwapSelectionSymmetry();

    // [SECTION] Edit-geometry bracket
    using TQORPolyMesh::BeginEditGeometry;
    using TQORPolyMesh::EndEditGeometry;
    void BeginEditGeometry(TKSN_Undo_Node_Model* undo);
    void EndEditGeometry(bool restoreSelection);
    void CleanPolygonsAfterEdit(bool onlySelected, bool recordScript, bool apply);
    void DeleteUnusedVertices(bool recordScript, bool onlySelected);
    void DeleteUnusedTVertices();
    void DeleteUnusedTextureVertices();
    void MakeTextureVerticesFree();
    // Completes a mesh built from raw arrays: default group and material,
    // derived tables rebuilt, bindings refreshed.
    void AfterRawBuild() override;
    // [END SECTION] Edit-geometry bracket

    // [SECTION] Mesh block
    // The "mesh" block (KSN_Mesh_Io.cpp; the nested block classes and the
    // compact polygon blob are in KSN_MeshBlock.h).
    bool SaveToStream_Text(FILE* file, bool enabled) override;
    // The generic reader; false when the block's geometry was refused as
    // damaged, which leaves the mesh without vertices, texture vertices or
    // polygons (never half built).
    bool LoadFromStream_Text(FILE* file) override;
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;
    // The legacy binary chunk is no longer read: always false, with a message.
    bool LoadFromStream(FILE* file) override;
    // Set while the block being read has been refused; later geometry keys of
    // the block are ignored.
    bool MeshBlockRefused = false;
    // [END SECTION] Mesh block

    // [SECTION] Symmetry
    void RestartSymmetryCalculations(int axis);
    void BeforeConsideringSymmetry();
    void CancelSymmetryCalculations();
    void MakeMorphSymmetric(TKSN_Morph* morph, bool useSecondMap, bool blendBySelection, float* postMatrix,
                            float* preMatrix);
    void SwapMorphSymmetry(TKSN_Morph* morph);
    // [END SECTION] Symmetry

    // [SECTION] UV-seam edges (KSN_Mesh_UVEdges.cpp; the record is in KSN_Mesh_UVEdges.h)
    // PolygonUVEdges from UVEdges: one row per polygon, its records in array order.
    void BuildPolygonUVEdgesTable();
    // Normals around the selected vertices after a deformation step.
    void RecalculateSelectedNormals();
    // After a deformer moved vertices: normals, the welded temp morph, and the
    // deformed morph marked changed (a stale current-morph ID is cleared instead).
    void AfterDeformStep();
    // [END SECTION] UV-seam edges

    // [SECTION] Painting preparation (KSN_Mesh_Paint.cpp; hooks in KSN_Mesh_Paint.h)
    // UV-seam edges with tangents from the current positions.
    void PrepareForPainting();
    // First pixels of every bound map source: its file when loadFiles finds
    // it, else a white map of QORDefaultTextureSize.
    void InitializePainting(bool loadFiles);
    // Bindings cleaned and given their polygon lists; paint-edge bits afresh.
    void OnMapTopologyChanged();
    void OnVTsChanged();
    // Drops bindings without a source or without a channel naming them, and
    // resets channels that name no live binding.
    void CleanMapBindings();
    // Sets the binding's index and rebuilds its polygon list.
    void UpdateMapQuadTree(TQORMaterialMap* binding, int index);
    // Texture-overlap (and paint-edge) bits of polygons sharing texture space
    // with another polygon of the same relevant binding.
    void TestForPaintingOverlap();
    void ImportMapsAfterImportObject();
    bool UsesSourceMap(TQORMaterialMapSource* source);
    void SendColorMapsToOpenGL();
    // The map source the polygon's material shows in the viewport's channel
    // (or its colour channel); null when it has none.
    TQORMaterialMapSource* GetCurrentChannelMapFromPolygon(TKSN_Viewport* viewport, int polygon) override;
    TQORMaterialMapSource* GetColorMapFromPolygon(TKSN_Viewport* viewport, int polygon) override;
    // Manager-tree lookups by display-list number over a chain of sibling groups.
    TKSN_TreeGroup* GetGroupNodeFromDisplayListIndex(TKSN_TreeGroup* group, int number);
    TKSN_Thingy* GetThingyFromDisplayListIndex(TKSN_TreeGroup* group, int number);
    // [END SECTION] Painting preparation

    // ---- data (in the order of the record) ------------------------------------

    bool EditingGeometry = false;          // between BeginEditGeometry and EndEditGeometry: no replay
    TKSN_Object* OwnerObject = nullptr;    // not owned
    uint32_t CurrentMorphID = 0;
    uint32_t CurrentSelectionID = 0;
    bool SelectedListsValid = false;
    bool SymmetryStarted = false;
    TKSN_LayerDataSet* LayerDataSet = nullptr;   // owned
    float* VertexCulledValues = nullptr;         // one per vertex, owned, not initialised
    int32_t ActualMaxSubDLevel = 0;
    int32_t CurrentSubDLevel = 0;
    int32_t TargetMaxSubDPolygonCount = 1000000;
    bool SubDDynamic = true;
    bool SubDsBuilt = false;
    bool SubDBaseVerticesValid = false;
    bool SubDsEnabled = true;
    bool SubDsSmoothed = false;
    TQORNewStaticList<TKSN_PointSelect> PointSelections;
    TKSN_VertexAdjustmentScriptList* VertexScripts = nullptr;    // owned, with the scripts
    TKSN_VertexAdjustmentScriptList* PolygonScripts = nullptr;   // owned, with the scripts
    uint32_t VertexScriptCount = 0;      // number of the last vertex script attached
    uint32_t PolygonScriptCount = 0;     // number of the last polygon script attached
    bool ForceColorTextureDisplay = false;
    bool CanDrawSelection = true;
    float MaxEdgeLength = 0.0f;
    float MinEdgeLength = 0.0f;
    bool ResolveAllMorphs = true;
    bool MapsEdited = false;
    bool MapsBoundOnLoad = false;
    int32_t* SelectedVertices = nullptr;   // owned
    int32_t SelectedVertexCount = 0;
    int32_t* SelectedPolygons = nullptr;   // owned
    int32_t SelectedPolygonCount = 0;
    TKSN_SymmetryCalculator* SymmetryCalculator = nullptr;   // owned
    TKSN_MorphTreeGroup* MorphTree = nullptr;                // owned, "Morph Targets"
    TKSN_Morph* TempMorph = nullptr;                         // held in the tree
    TKSN_Selection* EditVertexSelection = nullptr;           // owned
    TKSN_Selection* EditPolygonSelection = nullptr;          // owned
    TKSN_Morph* BaseVerticesMorph = nullptr;                 // held in the tree
    float MaxSelectionWeight = 0.0f;
    // Set by a command that has just given every vertex the same weight while
    // no vertex is hidden or locked, right before AfterFullSelection: that
    // conversion then gives each polygon this weight without reading its
    // corners' vertex records. AfterFullSelection clears it.
    bool UniformVertexWeightKnown = false;
    float UniformVertexWeight = 0.0f;
    TKSN_SelectionTreeGroup* SelectionTree = nullptr;        // owned, "Selections"
    int32_t UVEdgeCount = 0;
    TKSN_UVEdge2* UVEdges = nullptr;                         // owned (QORalloc)
    TQORLookupTable PolygonUVEdges;

private:
    // The morph that is current for the tab shown: the base vertices on the
    // modelling tab, else the one CurrentMorphID names (a dead ID resets to 0).
    TKSN_Morph* FindEffectiveCurrentMorph();
    uint32_t GetEffectiveCurrentMorphID() const;
    // Replays the scripts of list newer than stamp, in list order.
    void ReplayVertexScriptsOnMorph(TKSN_Morph* frame, uint32_t stamp);
    void ReplayScriptsOnSelection(TKSN_Selection* selection, TKSN_VertexAdjustmentScriptList* list);
    void DeleteScripts(TKSN_VertexAdjustmentScriptList* list);
    void DeleteTree(TKSN_TreeGroup* root);
};

// Walks a chain of sibling selection groups, appending every selection with
// its group path; depth counts the nesting.
void GetSelectionList_Recurse(TKSN_TreeGroup* group, int depth, TQORNewStaticList<TKSN_Selection*>* list);

// [SECTION] Edit-geometry bracket (free functions and hooks)
// Drops repeated vertices of one polygon, keeping first occurrences; a quad
// folded onto itself (a, b, a, c) or a polygon left with 2 corners or fewer
// gets Count 0 for the caller to drop.
void DeleteDuplicatePointsInPolygon(TQORPolygon* polygon);

// TODO(stub): stands for what the edit bracket asks of the project document
// (TKSN_Project::CancelVertexCulling and the model undo node's snapshot),
// which sits above the mesh in the link order; start-up registers them. A
// null entry: no culling to cancel, no snapshot.
struct TKSN_MeshEditHooks {
    void (*CancelVertexCulling)() = nullptr;
    // The node takes the counts and the symmetry offset, then the mesh's data.
    void (*SnapshotForUndo)(TKSN_Undo_Node_Model* undo, TKSN_Mesh* mesh, int vertexCount, int tVertexCount,
                            int polygonCount, float symmetryOffset) = nullptr;
};
void KSN_SetMeshEditHooks(const TKSN_MeshEditHooks& hooks);
// [END SECTION] Edit-geometry bracket (free functions and hooks)
