// TKSN_Project: the one document of the running program and its controller.
//
// The global `Project` always names the current project. Everything the user
// edits hangs off it: the object tree, the map sources, the morph-union and
// selection-union trees, the map-layer and sculpt-layer groups, the 32
// polygon layers, the brush and overlay work images of painting, the polygon
// culler, the grids record, the undo and redo lists, the current object,
// morph union and viewport, the modes and the project options.
//
// Invariants:
// - Every item of the object tree is a TKSN_Object (cameras are objects too).
// - References between parts of the document are thingy IDs or viewport
//   indices, looked up on use; a getter that meets a stale ID resets it to 0,
//   so a deleted object simply stops resolving.
// - CurrentViewportIndex stays within 0..3.
// - The owned trees and groups are raw pointers because their teardown order
//   is fixed (see ~TKSN_Project) and because every tree walk takes them as
//   TKSN_TreeGroup*; the project deletes each of them exactly once.
// - Lists handed out (GetObjectList, GetMeshList, ...) are new lists that
//   the caller deletes; they never own their entries.
//
// Main thread only, without locks.
//
// Index of the sources (each helper edits only its own [SECTION] here):
//   KSN_Project.cpp           structure, construction and teardown
//   KSN_Project_Trees.cpp     tree-group helpers, manager selections, action targets
//   KSN_Project_Current.cpp   current object, morph union, selection and viewport
//   KSN_Project_Modes.cpp     modes, tool changes and display settings
//   KSN_Project_Edit.cpp      edit brackets and change notifications
//   KSN_Project_Idle.cpp      idle work
//   KSN_Project_Names.cpp     unique names
//   KSN_Project_Unions.cpp    morphs, selections and their unions across objects
//   KSN_Project_File.cpp      the project file's writer and the swap of projects
//   KSN_Project_FileRead.cpp  the project file's reader and the set-up after load
//   KSN_Project_Symmetry.cpp  symmetry across objects
//   KSN_Project_Undo.cpp      undo and redo lists
//   KSN_Project_PaintUndo.cpp paint-stroke and whole-map undo records
//   KSN_Project_ImportMap.cpp importing and replacing maps
//   KSN_Project_PaintStrength.cpp  paint strength and map-binding relevance
//   KSN_Project_Overlay.cpp   paint overlay and brush footprint
//   KSN_Project_BrushImages.cpp  brush shapes, brush images, preview tip
//   KSN_Project_Tiling.cpp    brush tiling and its undo record
//   KSN_Project_Import.cpp    importing objects and morphs, exporting objects
//   KSN_Project_Merge.cpp     merging objects
//   KSN_Project_Picking.cpp   picking, vertex culling, octree filters, the affected-objects stencil
//   KSN_Project_Bounds.cpp    selection bounds, view targets, display box, world dimensions
//   KSN_Project_Draw.cpp      drawing viewports, auto viewports, end of the flashes
//   KSN_Project_Pictures.cpp  picture objects made from dropped image files
#pragma once

#include "KSN_TextureBrushImage.h"
#include "KSN_Thingy.h"
#include "QORImageMap.h"
#include "QORNewStaticList.h"
#include "QORTimer.h"
#include "QORTree.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class TKSN_Object;
class TKSN_Camera;
class TKSN_ObjectTreeGroup;
class TKSN_Mesh;
class TKSN_MeshRoot;
class TKSN_SubDMesh;
class TKSN_Morph;
class TKSN_Selection;
class TKSN_MorphUnion;
class TKSN_SelectionUnion;
class TKSN_MorphUnionGroup;
class TKSN_SelectionUnionGroup;
class TKSN_MapLayerGroup;
class TKSN_SculptLayerGroup;
class TQORMaterialMapSource;
class TQORMaterialChannel;
class TKSN_PolygonCuller;
class TKSN_Grids;
class TKSN_Undo_Node;
class TKSN_Viewport;
class TKSN_Layer;
class TKSN_Tool;
class TKSN_ToolList;
class TKSN_PaintBrush;
class TQORMaterialMap;
template <class T> class TQOROctreeNode;

// The visible leaves of an octree for viewport (see KSN_Project_Picking.cpp).
void GetListOfNonCulledOctreeNodes_Recurse(std::vector<TQOROctreeNode<int>*>& list, TQOROctreeNode<int>* node,
                                           TKSN_Viewport* viewport, bool testView, const float* rectMin = nullptr,
                                           const float* rectMax = nullptr);
// Marks every ancestor of a changed octree leaf as changed.
void CopyNodeChangedFlagsUpward(TKSN_Mesh* mesh);
// m = a x m, both 4x4 row by row.
void QORMatrix_PreMultiplyMatrix4x4(float* m, const float* a);

// Number of polygon layers: one per bit of a polygon's 32-bit layer word.
constexpr int KSN_POLYGON_LAYER_COUNT = 32;

class TKSN_Project : public virtual TKSN_Thingy {
public:
    TKSN_Project();
    ~TKSN_Project() override;

    TKSN_Project(const TKSN_Project&) = delete;
    TKSN_Project& operator=(const TKSN_Project&) = delete;

    // [SECTION] Structure, construction and teardown (KSN_Project.cpp)

    // Imports an object file as a new object (the importer).
    virtual bool ImportObject(const char* path);
    // The project file's top-level keys and nested blocks.
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;
    // Items 1-5 of the project file; the flag is ignored.
    bool SaveToStream_Text(FILE* file, bool flag) override;
    // A new camera that is in no tree yet; the caller adds it.
    virtual TKSN_Camera* CreateCamera();

    // New lists (the caller deletes them), in pre-order of the tree and, within
    // a group, in the order of its item list.
    TQORNewStaticList<TKSN_Object*>* GetObjectList();
    int GetObjectCount();
    TQORNewStaticList<TKSN_Mesh*>* GetMeshList();
    TQORNewStaticList<TQORMaterialMapSource*>* GetMapList();
    TQORNewStaticList<TKSN_MorphUnion*>* GetMorphUnionList();

    // A new object ("New Object", no mesh) appended to the top object group.
    TKSN_Object* CreateNewObject();
    // Removes every occurrence of thingy from the item lists of the tree
    // (group, its siblings and everything below) without deleting it.
    void RemoveThingyFromTree(TKSN_TreeGroup* group, TKSN_Thingy* thingy);
    // Removes thingy's first occurrence in the tree and deletes it. True when
    // it was found and deleted; false for null or when the walk did not meet it.
    bool DeleteThingy(TKSN_TreeGroup* group, TKSN_Thingy* thingy);
    // Visitor of merging: deletes every object of the group that took part in
    // the merge (userData: the merge's list of objects,
    // TQORNewStaticList<TKSN_Object*>*); everything else stays in order.
    static bool DeleteAllObjects_OnVisit(TKSN_TreeGroup* group, int depth, void* userData);

    // [SECTION] Tree-group helpers and manager selections (KSN_Project_Trees.cpp)

    // Clears the found thingy's Collapsed flag and every ancestor's; false when
    // found, true when the thingy is not in the walk.
    bool UncollapseAllParentGroups(TKSN_TreeGroup* group, TKSN_Thingy* thingy);
    // Clears the highlight of every manager tree except the one whose ID is
    // keep's (null clears all).
    void ClearManagerSelections(TKSN_Thingy* keep);
    // Decides whether an action applies to the highlighted objects, to all,
    // or only to the current object; true means go on.
    bool CheckForAllCurrentOrMultiSelectedObjects(bool& useMultiSelection, bool& currentOnly,
                                                  const char* question, bool demandHighlighted,
                                                  const char* warning);
    void PrintDescriptionForActionAgainstTarget(const char* action, bool onlyHighlighted, bool onlyCurrent,
                                                bool onlyWithSelectedVertices);
    int GetObjectCountForActionAgainstTarget(bool warn);

    // [SECTION] Current object, morph, selection and viewport (KSN_Project_Current.cpp)

    uint32_t GetCurrentObjectID() const { return CurrentObjectID; }
    TKSN_Object* GetCurrentObject();
    TKSN_Mesh* GetPolyMesh();
    TKSN_Object* GetObjectContainingCurrentSelection();
    void SetObjectContainingCurrentSelectionID(uint32_t id) { ObjectContainingCurrentSelectionID = id; }
    void SetCurrentObject(TKSN_Object* object);
    uint32_t GetCurrentMorphUnionID();
    TKSN_MorphUnion* GetCurrentMorphUnion();
    void SetCurrentMorphUnion(TKSN_MorphUnion* morphUnion);
    int GetCurrentViewportIndex() const { return CurrentViewportIndex; }
    TKSN_Viewport* GetCurrentViewport();
    void SetCurrentViewport(TKSN_Viewport* viewport);
    void SetCurrentViewportIndex(int index);
    // Visitors run after a load (userData: the project, resp. the mesh).
    static bool SetCurrentObject_OnVisit(TKSN_TreeGroup* group, int depth, void* project);
    static bool SetCurrentMorphAndSelection_OnVisit(TKSN_TreeGroup* group, int depth, void* project);
    static bool SetCurrentMorph_OnVisit(TKSN_TreeGroup* group, int depth, void* mesh);
    static bool SetCurrentSelection_OnVisit(TKSN_TreeGroup* group, int depth, void* mesh);
    // Called before a thingy of the document is deleted: when it is the
    // current object (it is made not current first, so the tool lets go of
    // its mesh), the object holding the current selection or the current
    // morph union, the ID is reset to 0.
    void ForgetCurrentItem(TKSN_Thingy* thingy);

    // [SECTION] Modes and tools (KSN_Project_Modes.cpp)

    int GetMode();
    bool IsPainting();
    bool IsDeforming();
    bool IsSelecting() const { return SelectingFlag; }
    void SetSelectingFlag(bool value) { SelectingFlag = value; }
    void SetPaintingFlag(bool value) { PaintingFlag = value; }
    void SetDeformingFlag(bool value) { DeformingFlag = value; }
    void BeforeScreenDraw();
    // The method in effect for the current tool (what culling code reads).
    int GetCullingMethod() const { return EffectiveCullingMethod; }
    // The method the user chose; tools map this to their effective method.
    int GetUserCullingMethod() const { return CullingMethod; }
    void SetCullingMethod(int method);
    void UpdateEffectiveCullingMethod();
    bool CanMirrorX();
    bool CanMirrorY();
    bool DoUseSymmetry(TKSN_MeshRoot* mesh);
    int GetPaintMappingStyle() const { return BrushTilingStyle; }
    void SetPaintMappingStyle(int style) { BrushTilingStyle = style; }
    int GetSpecialDisplayMode() const;
    void SetSpecialDisplayMode(int mode);
    void ToggleSpecialDisplayMode(int mode);
    void SetFlashSelection();
    bool DoFlashSelection() const { return FlashSelection; }
    void ClearFlashSelection();
    void GiveToolFocus();
    bool DoesToolHaveFocus();
    void ClearToolFocus();
    void OnBeforeNavigating(bool autoDepth);
    void OnFinishedNavigating(bool autoDepth);
    void SetPaintMode(bool flag);
    float GetOpenGLMeterValue();
    void SetMode(int mode, bool flag);
    void ChangeTool(TKSN_Mesh* mesh, TKSN_ToolList* list, TKSN_Tool* tool);
    bool ChangeTool(TKSN_Mesh* mesh, TKSN_ToolList* list, int index);

    // [SECTION] Edit brackets (KSN_Project_Edit.cpp)

    bool CanAffectObject(TKSN_Object* object);
    void SetupMainUndoMessage(const char* message);
    void BeforeTransform();
    void BeforeSelect(const char* message);
    void BeforeDeform(const char* message, bool flag, bool currentObjectOnly);
    void BeforePaint(const char* message);
    void AfterPaint();
    void AfterSelect();
    void AfterFullSelection(bool allObjects);
    void ClearSelection(bool withUndo, bool flag);
    bool ApplySelections();
    void OnShapeChanged(TKSN_Object* object, bool updateView, bool resolveVertices);
    void OnShapeChanged(bool updateView, bool resolveVertices);
    void OnFullSurfaceChanged();
    void OnPartialSurfaceChanged();
    void OnSingleViewportChanged(TKSN_Viewport* viewport);
    void OnAllViewportsChanged();
    void OnBackgroundChanged();
    void CreateCurrentMorphForMeshIfNecessary(TKSN_Mesh* mesh);

    // [SECTION] Idle (KSN_Project_Idle.cpp)

    void OnIdle();
    int OnIdleOrPassive();
    void FinishAllVertexAdjustments();
    bool CheckForLowRAM(float seconds, bool flag);
    // The outside applications' exchange files are polled on every idle or
    // passive call through this hook, which the file interchange registers
    // at start-up; null polls nothing.
    static bool (*InterApplicationPollHook)();
    // TODO(stub): stands for the application's motion timer (time since the
    // last mouse motion), which the window layer does not keep yet; whoever
    // moves the view restarts it.
    static TQORTimer MotionTimer;

    // [SECTION] Unique names
    // The naming rules are free functions, declared after the class.

    // [SECTION] Undo (KSN_Project_Undo.cpp; nodes and payloads in KSN_Undo.h)
    // Two lists of undo nodes, oldest first; a step is a run of nodes with one
    // StepNumber. Recording with keepRedo false empties the redo list. The
    // undo limit (the application's UndoLimit, megabytes; 0 records nothing)
    // trims whole steps from the oldest end, never the newest step.

    // A node that is on no list yet, or null (limit 0, kind below 1000, or a
    // deformation without current morph). mode -1: the project's mode.
    // Throws (QORThrowException) on a list that never ends.
    TKSN_Undo_Node* CreateUndoNode(TKSN_Object* object, int kind, int mode, int unused);
    // Appends node (null: nothing) and applies the undo limit to list.
    void AddUndoRedoNode(TKSN_Undo_Node*& list, TKSN_Undo_Node* node);
    void AddUndoNode(TKSN_Undo_Node* node) { AddUndoRedoNode(UndoList, node); }
    TKSN_Undo_Node* SetupCurrentUndo(TKSN_Object* object, int kind, int mode, const char* message, bool keepRedo);
    void EmptyUndoStack();
    void EmptyRedoStack();
    // The limit in bytes for an UndoLimit in megabytes.
    static uint64_t GetUndoLimitBytes(int undoLimit);
    void SetupUndoForMorph(TKSN_Object* object, TKSN_Morph* morph, const char* message);
    // The press on a strength control; keeps the redo list until the release
    // (DeleteLastMorphMixerUndoNodeIfNoChange) knows whether anything changed.
    void SetupUndoForMorphMixerValues(TKSN_Object* object, const char* message);
    void SetupUndoForLayerAssignments(TKSN_Object* object, const char* message);
    void SetupUndoForLayerStates(const char* message);
    void SetupUndoForMaterialAssignments(TKSN_Object* object, const char* message);
    void SetupUndoForMaterialStates(TKSN_Object* object, const char* message);
    void SetupUndoForGroupAssignments(TKSN_Object* object, const char* message);
    void SetupUndoForGroupStates(TKSN_Object* object, const char* message);
    // The empty snapshot the modelling tool fills through BeginEditGeometry.
    class TKSN_Undo_Node_Model* SetupUndoForModel(TKSN_Object* object, const char* message, bool keepRedo);
    void SetupUndoForMapAssignments(TKSN_Object* object, const char* message, bool keepRedo);
    void SetupUndoRedoForMapAssignments(TKSN_Object* object, TKSN_Undo_Node*& list, const char* message);
    // A kind-1008 node holding the present tiling settings, added to list.
    void SetupUndoRedoForTiling(TKSN_Undo_Node*& list, const char* message);
    // The release on a strength control: drops the last node when it is a
    // strength node that changed nothing, else empties the redo list.
    void DeleteLastMorphMixerUndoNodeIfNoChange();
    // Idle pass over one list within seconds: invalid nodes go, payloads are
    // compressed and paged out, oldest first.
    void OptimizeUndoNodes(float seconds);
    void OptimizeRedoNodes(float seconds);
    void OptimizeUndoRedoNodes(TKSN_Undo_Node*& list, float seconds);
    // Take the newest step back / make it again; see KSN_Project_Undo.cpp.
    void Undo();
    void Redo();
    void UndoRedo(TKSN_Undo_Node*& list);
    // One node of the step (KSN_Project_UndoRestore.cpp): the inverse on the
    // other list, then the node's state back into the document. due: the
    // kind's own text is still to be printed.
    void RestoreUndoNode(TKSN_Undo_Node& node, TKSN_Object* object, bool undoing, bool due,
                         int32_t& undoneModelStep, bool& modelUndone);

    // [SECTION] Paint undo (KSN_Project_PaintUndo.cpp)

    // The paint payload of the newest undo node, or null.
    class TKSN_Undo_Node_Paint* GetCurrentPaintUndoNode();
    // A copy of the whole map (and its mask) for a change about to happen.
    void SetupUndoForMapEdit(TQORMaterialMapSource* map, bool keepRedo);
    void SetupRedoForMapEdit(TQORMaterialMapSource* map);
    void SetupUndoForMapCreation(TQORMaterialMapSource* map, bool keepRedo);

    // [SECTION] Importing maps (KSN_Project_ImportMap.cpp)

    // A new map from an image file; null (and no trace) when it cannot be read.
    TQORMaterialMapSource* ImportMap(const char* path);
    // New pixels for map from the file; name kept, no undo. False when unread.
    bool ReplaceMap(TQORMaterialMapSource* map, const char* path);
    // The file into the current map layer of map (undoable); null when nothing was imported.
    TQORMaterialMapSource* ImportMapIntoCurrentLayer(TQORMaterialMapSource* map, const char* path);
    // The map's own refresh, then every mesh's object-space caches.
    void OnWholeMapChanged(TQORMaterialMapSource* map);
    // The hint text of a material channel; buffer holds size bytes.
    void GetChannelHint(char* buffer, const char* name, int size = 1024);

    // [SECTION] Maps (KSN_Project_Maps.cpp)
    // Map sources live in the Maps tree; each mesh binds them through its own
    // bindings (MaterialMaps), which material channels name by ID.

    // A white "New Map.PNG" of the default texture size in the Maps tree.
    TQORMaterialMapSource* CreateMapSource();
    // A new binding owned by mesh (null for no mesh); a null source gets a new one.
    class TQORMaterialMap* CreateNewMap(TKSN_Mesh* mesh, TQORMaterialMapSource* source);
    // The mesh's first binding of source, made when missing and create is set.
    class TQORMaterialMap* GetMapFromSource(TKSN_Mesh* mesh, TQORMaterialMapSource* source, bool create);
    // Binds source to the named channel. Throws (QORThrowException) when the
    // material has no such channel; null arguments do nothing.
    void AssignMapToMaterialChannel(TKSN_Mesh* mesh, TQORMaterialMapSource* source, class TQORMaterial* material,
                                    const char* channelName);
    // The material's channel that the viewport shows; null when none.
    class TQORMaterialChannel* GetActiveChannelFromMaterial(TKSN_Viewport* viewport, class TQORMaterial* material);
    void CleanMapBindings();
    // Each bound channel's file name becomes its map's folder and map name.
    void UpdateAllChannelMapFileNames();
    // Every map composited for display.
    void ResolveMapLayers();
    void OptimizeMaps();
    // Writes the resolved map (no checkerboard) to path; the old file is
    // replaced only once the new one is complete. True when written.
    bool SaveMap(TQORMaterialMapSource* source, const char* path, bool deleteFirst);
    // Asks for a file name, saves, and renames the map after the file.
    bool SaveMapToFileWithPrompt(TQORMaterialMapSource* source, bool deleteFirst);
    // The same for the export command; bound channels take the new file name.
    void ExportMap(TQORMaterialMapSource* source);
    // Writes only the current map layer's paint of the map.
    void ExportMapCurrentLayer(TQORMaterialMapSource* source);
    // Current map layer repaired, meshes' layer data cleaned, layers numbered.
    void OnMapLayerChanged();
    // Bindings, relevance flags and overdraw masks rebuilt after a change of
    // texture coordinates, bindings, materials or polygon membership.
    void OnMapTopologyChanged();
    // The hooks through which the mesh and the map sources reach the project's
    // maps and sculpt layers; registered once before main() runs.
    static void RegisterMapHooks();
    // What the tools need of the project (KSN_Project_ToolHooks.cpp).
    static void RegisterToolHooks();
    // What the deformers need of the project (KSN_Project_ToolHooks.cpp).
    static void RegisterDeformerHooks();

    // [SECTION] Polygon layers (KSN_Project_PolygonLayers.cpp; the class is in KSN_PolygonLayer.h)
    // Layer 0 ("All Polygons") has no membership bit; layer n of 1..31 owns
    // bit n - 1 of a polygon's LayerFlags. A layer is in use while enabled.
    // The hidden and locked bits of the meshes' flag words are derived from the
    // layers: every change of a layer's state or membership is followed by
    // UpdateLockedLayers and UpdateVisibleLayers.

    // Hidden polygons of every mesh from the layers, then the world bounds of
    // what stays visible; the shown viewports are refreshed.
    void UpdateVisibleLayers();
    // Locked polygons and vertices of every mesh (locking a vertex zeroes its
    // selection weight) and each object's "COMPLETELY_LOCKED".
    void UpdateLockedLayers();
    // Tree visitors of the two (userData: the project); they answer true.
    static bool UpdateVisibleLayers_OnVisit(TKSN_TreeGroup* group, int depth, void* project);
    static bool UpdateLockedLayers_OnVisit(TKSN_TreeGroup* group, int depth, void* project);
    // After a load: layer 0 takes the viewport's settings, and the membership
    // bits of the user layers not in use are cleared.
    void CleanupLayerFlagsAndSuch();
    // The selected polygons (resolved weight above 0.299) of every affectable
    // object join layer n. Layers 0, 30 and 31 need force; layer 0 has no bit
    // and is always refused. A non-empty undoText with report replaces the
    // undo text and silences the report.
    void AddSelectionToLayer(int n, bool force, const char* undoText, bool report);
    // The selected polygons (the 0.0499 selected mark) join layer and every
    // highlighted user layer; layer 0 is refused. Returns 0.
    int AddCurrentSelectionToLayer(TKSN_Layer* layer, bool withUndo, bool report, const char* undoText);
    // 1 when the current layer changed, else 0; an index outside 0..31 means 0.
    int ChangeLayer(int index, bool postEvent);
    // Never null: falls back to layer 0 when the current one is not in use.
    TKSN_Layer* GetCurrentLayer();
    // A colour (3 floats, 0..1) far from the layers in use, white and the selection colours.
    void GetNewLayerColor(float* rgb);
    void SetFlashLayerColors();
    bool DoFlashLayerColors() const { return FlashLayerColors; }

    // [SECTION] Sculpt layers (KSN_Project_SculptLayers.cpp; classes in KSN_SculptLayer.h)

    // Every mesh's highest sub-division level resolved, then the map layers
    // and the viewports refreshed.
    void ResolveAllSculptLayers();
    // The level's resolved positions = base + each shown sculpt layer's
    // displacements x its strength.
    void ResolveAllLayersForSubD(TKSN_SubDMesh* level);

    // [SECTION] Culling and view services the sections above call
    // (defined with picking, bounds and drawing)

    // Clears the culling-started flag and stops the culler's thread.
    void CancelVertexCulling();
    void InvalidateAffectedObjectsStencil();
    void DoAutoCalculateDepthLookAt();
    // The box (3 floats each) the viewport's projection is fitted to.
    void GetDisplayBoundingBox(TKSN_Viewport* viewport, float* min, float* max);
    void ProcessAutoViewports();

    // [SECTION] Paint strength and map-binding relevance (KSN_Project_PaintStrength.cpp)
    // The touch-up brush asks which bindings receive paint (main thread) and
    // how strongly each corner of a painted polygon does (its paint threads,
    // concurrently; those calls only read).

    // Whether the binding serves a channel that the stroke paints; warns
    // (text 463) for each switched-on channel that a blur or smudge brush
    // cannot paint because it reads the viewport's picture.
    bool IsMapBindingRelevantToPainting(TQORMaterialMap* binding, TKSN_Mesh* mesh, TKSN_Viewport* viewport);
    // Every binding's and map source's relevance flag recomputed for viewport.
    void UpdateAllMapBindingRelevantFlags(TKSN_Viewport* viewport);
    // False when no per-vertex adjustment below can change a strength.
    bool ShouldWeAdjustTriangleVertexStrengthsForPainting(TKSN_PaintBrush* brush, TKSN_Mesh* mesh,
                                                          TKSN_Viewport* viewport);
    // Culling, fade by angle and selection weight applied to one strength (0..1).
    void AdjustVertexStrengthForPainting(int polygon, float& strength, int vertex, TKSN_PaintBrush* brush,
                                         TKSN_Mesh* mesh, TKSN_Viewport* viewport);
    void AdjustTriangleVertexStrengthsForPainting(int polygon, float& strengthA, float& strengthB, float& strengthC,
                                                  int vertexA, int vertexB, int vertexC, TKSN_PaintBrush* brush,
                                                  TKSN_Mesh* mesh, TKSN_Viewport* viewport, bool applyCulling);

    // [SECTION] Paint overlay and brush footprint (KSN_Project_Overlay.cpp)
    // Screen-space images of the current viewport, rows bottom up: the
    // stroke's coverage (PaintOverlay) and the brush shape resampled to the
    // brush's size in pixels (the stamps), with the cursor outline.

    // False without a current viewport or after it was resized; else whether
    // the footprint was built for this size and hardness (within 0.001).
    bool IsBrushShapeValid(float size, float hardness);
    // size: fraction of the viewport width; hardness 0..1.
    void SetupOverlayAndBrushShape(TKSN_Viewport* viewport, float size, float hardness);
    void InvalidateOverlay();
    // Each overlay pixel becomes the maximum over the square of radius n around it.
    void GrowOverlayAlphaMap(int radius);
    // Folds the overlay onto itself for mirror painting (maximum of the pair).
    void MirrorOverlay();

    // [SECTION] Brush images and brush shapes (KSN_Project_BrushImages.cpp)
    // Getters answer null while no brush image is loaded.

    TKSN_TextureBrushImage* GetCurrentTextureBrushImage();
    TKSN_TextureBrushImage* GetCurrentColorizeTextureBrushImage();
    TKSN_TextureBrushImage* GetCurrentColorizeTextureBrushImageRGB();
    TKSN_TextureBrushImage* GetCurrentColorizeTextureBrushImageAlpha();
    // The brush image's width / height (at least 0.01) while the current
    // paint brush stamps it without tiling; 1 otherwise.
    float GetBrushTextureAspect();
    // False (warning text 1016, the old shape kept) when the file cannot be read.
    bool LoadBrushShapeFromFile(const char* path);
    // False, with no brush image, when the file is missing or cannot be read.
    bool LoadBrushFromFile(const char* path);
    // The command form: warns (text 1021) when an existing file cannot be read.
    bool LoadBrushTexture(const char* path);
    // The project takes over pixels (QORalloc'd, width x height x channels);
    // image receives a copy. Always true.
    bool CreateBrushFromData(unsigned char* pixels, int width, int height, int channels,
                             TKSN_TextureBrushImage* image);
    void CreateColorizedBrushImage();
    void CreateCheckeredBrushImage();
    // Needs an OpenGL context.
    void CreatePreviewBrushImageTip();

    // [SECTION] Brush tiling (KSN_Project_Tiling.cpp)
    // Brush-image coordinates of world points for the four tiling styles; the
    // per-point functions are called from paint and render threads and only
    // read the tiling members, which change on the main thread between strokes.

    void BeforeConsiderTiling(TKSN_Viewport* viewport);
    void GetTiledUVMapForVertex(TKSN_Viewport* viewport, float* uv, const float* point, const float* reference, int);
    void GetTiledUVMapForTriangle(TKSN_Viewport* viewport, float* uvA, float* uvB, float* uvC, const float* a,
                                  const float* b, const float* c, const float* reference, int, int, int);
    void GetTiledUVMapForTriangle_ConsiderSymmetry_etc(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int i0, int i1,
                                                       int i2, float* uvA, float* uvB, float* uvC,
                                                       const float* reference);
    bool UseBrushTiling();
    // The tiled rendering of the current viewport, rendered when stale; null
    // without a brush image.
    TQORImageMap* GetRenderedTileBrushImage();
    void InvalidateTiledPixels() { TiledPixelsValid = false; }
    void ValidateTiledPixels();
    void SetTileWidth(float width);
    void SetTileHeight(float height);
    // Records the present tiling settings as an undo step.
    void SetupUndoForTiling(const char* text, bool keepRedo);

    // [SECTION] Morphs, selections and their unions across objects (KSN_Project_Unions.cpp)
    // Like-named morphs (selections) of different objects share one union of
    // the project's union trees; membership is by thingy ID and checked on use.

    // Every other morph (of any mesh, the same one too) named like morph, any
    // case; objects in list order. New list, the caller deletes it.
    TQORNewStaticList<TKSN_Morph*>* GetDuplicateMorphs(TKSN_Morph* morph);
    // Morphs without repeats in ascending ID; new list.
    TQORNewStaticList<TKSN_Morph*>* GetAllMorphs(bool onlyHighlighted, bool withDuplicates);
    // Every morph joins (or founds) the union of its exact name; stale members are dropped.
    void CreateUnionsFromMissingMorphs();
    // Each mesh's morph tree is re-filed to mirror the union tree's folders.
    void CleanupMeshMorphGroupings();
    bool DeleteSelectedMorphs();
    bool DeleteSelectedMorphUnions();
    // Morphs and selections sized to the mesh's vertex (polygon) count.
    void EnforceMorphAndSelectionSizes(TKSN_Mesh* mesh);
    void EnforceMorphAndSelectionSizes();

    // The stored selection into the mesh's working weights (added with add),
    // clamped to 0..1; hidden and locked items keep theirs.
    void ApplyPresetSelection(TKSN_Mesh* mesh, TKSN_Selection* selection, bool add);
    bool ApplySelectedSelections();
    bool ApplySelectedSelectionUnions();
    TQORNewStaticList<TKSN_Selection*>* GetDuplicateSelections(TKSN_Selection* selection);
    TQORNewStaticList<TKSN_Selection*>* GetAllSelections(bool onlyHighlighted, bool withDuplicates);
    void CreateUnionsFromMissingSelections();
    void CleanupMeshSelectionGroupings();
    bool DeleteSelectedSelections();
    bool DeleteSelectedSelectionUnions();
    bool DuplicateSelectedSelections();
    bool DuplicateSelectedSelectionUnions();

    // [SECTION] Project file (KSN_Project_File.cpp writer, KSN_Project_FileRead.cpp reader)

    // Writes the whole project to path. The old file is replaced only once the
    // new one is complete (written beside it, then renamed over it); on any
    // failure it stays as it was, TextFileIndent is 0 again and false comes back.
    bool SaveProject_v2(const char* path, bool setAsFileName);
    // Every map source offered to the save dialog in turn, up to the first
    // declined or failed one; the channels' file names are refreshed either way.
    void SaveProjectMaps();
    // Reads path into this freshly constructed project. False, with a warning
    // naming the file and the line where reading stopped, when the file cannot
    // be opened, lacks the header, holds a block its reader refuses or ends
    // before its blocks are closed; the caller then discards this project.
    bool LoadProject_v2(const char* path);
    // Everything the file does not store, rebuilt after a load, an import or a merge.
    void SetupAfterLoad();
    void UseDefaultSettings();
    // Every morph and selection stamped with its mesh's ID.
    void SyncMeshIDs();
    static bool SetupObjectsAfterLoad_OnVisit(TKSN_TreeGroup* group, int depth, void* project);

    // [SECTION] Sets and pose files (defined by the file interchange library:
    // FileFormats/KSN_Sets.cpp and KSN_PoseFile.cpp)
    // Each works on the current object; failures are warnings in the message
    // panel and leave the document as it was.

    // Morph, selection and layer sets: "verify_vcount" and "verify_pcount"
    // lines, then the tree's block (morphs, selections) or the enabled user
    // layers with their slots and the polygons' layer words.
    void ExportMorphSet(const char* path);
    void ExportSelectionSet(const char* path);
    void ExportLayerSet(const char* path);
    // merge false empties the tree first. A set of another vertex count changes nothing.
    void ImportMorphSet(const char* path, bool merge);
    void ImportSelectionSet(const char* path, bool merge);
    // A set of another polygon count changes nothing.
    void ImportLayerSet(const char* path);
    // Pose files of the figure application: the materials, resp. the current
    // morph as a morph target per polygon group (hidden: the target that
    // takes it out again). A thumbnail ".rsr" is copied beside either.
    void ExportMATFile(const char* path);
    void ExportMORFile(const char* path, const char* parameterName, bool hidden);

    // [SECTION] Symmetry across objects (KSN_Project_Symmetry.cpp)

    // The mesh's active symmetry maps on only with a current symmetric tool,
    // the object's "SymmetryEnabled" and "UseSymmetry"; off otherwise.
    void SetActiveSymmetryMapForMesh(TKSN_Mesh* mesh);
    void ForceActiveSymmetryMapForMesh(TKSN_Mesh* mesh);
    void OnSymmetrySettingsChanged(TKSN_Mesh* mesh, bool recalculate);
    void OnSymmetrySettingsChanged(bool recalculate);
    // Warns (text 432) for every object whose mesh is not symmetrical enough.
    void CheckAllObjectsSymmetry();

    // [SECTION] CR2 figure files
    // Defined by the file interchange library (FileFormats/KSN_CR2Import.cpp,
    // KSN_CR2Rig.cpp, KSN_CR2Inject.cpp), which sits above the document; the
    // document itself never calls them.

    // Imports the figure as a new object and makes it current; on failure
    // (reported as warnings) nothing is added.
    void ImportCR2File(const char* path);
    // Fills an existing empty object from the figure file; true on success.
    bool LoadCR2File(const char* path, TKSN_Object* object);
    // Moves the joints of every actor of the tree to its reshaped body part.
    void AutoRigCR2File(TKSN_Mesh* mesh, class TQORCR2TreeNode* root);
    // Writes a copy of the source figure carrying the current object's morphs.
    void InjectMorphsIntoCR2File(const char* sourcePath, const char* outputPath);

    // [SECTION] Importing and exporting objects (KSN_Project_Import.cpp)
    // The OBJ reader, writers and weld are reached through TKSN_ProjectFileHooks
    // (KSN_Project_Import.h). ImportObject is declared with the structure above.

    // Replaces the object's mesh by one read from path; false when the file
    // was not read (the object keeps a new, empty mesh).
    bool LoadObject(const char* path, TKSN_Object* object, bool ignoreInternalNames);
    // The import options applied to the current object's new mesh; with
    // keepGeometry the UV and normal flips, centring and scaling are skipped.
    void SetupMeshAfterImport(bool keepGeometry);
    // A morph of the current object from an OBJ file of the same vertex count; null on failure.
    TKSN_Morph* ImportMorph(const char* path);
    // Sub-division level n of mesh, stored as its "SUBD_LEVEL_n" (the level it
    // replaces is deleted); null when level n − 1 is missing.
    class TKSN_SubDMesh* CreateSubD(TKSN_Mesh* mesh, int level, bool leanAndMean, bool dynamic);
    // Writes the object as an OBJ file with the export options.
    void ExportObject(TKSN_Object* object, const char* path);
    // One OBJ file per polygon group of the object. Throws std::runtime_error
    // when a file cannot be written (files already written stay).
    void ExportGroupsAsSeparateObjects(TKSN_Object* object, const char* path);

    // [SECTION] Picking and vertex culling (KSN_Project_Picking.cpp)

    // The nearest front-facing polygon under (x, y), normalised viewport
    // coordinates, across every object. ownMesh: never test a sub-division;
    // owner: report the base mesh and base polygon of a sub-division hit.
    // point (may be null) receives the hit in normalised viewport coordinates.
    bool GetClosestPolygonAndMesh(TKSN_Viewport* viewport, TKSN_MeshRoot*& mesh, int& polygon, float x, float y,
                                  bool ownMesh, bool owner, float* point = nullptr);
    // Tells the user in the message panel why a click may not show its edit.
    void CheckObjectAtClickedPoint(TKSN_Viewport* viewport, float x, float y, bool checkMaps, bool checkSelection,
                                   bool checkSymmetry);
    void StartVertexCulling();
    void StartVertexCullingIfNecessary(bool wait);
    void WaitForVertexCullingToBecomeReady();
    // 0 obscured, 1 visible; computes (once) what the culler has not reached.
    float GetVertexCulledValue(TKSN_Mesh* mesh, int vertex);
    bool IsVertexObscured(TKSN_Mesh* mesh, int vertex) { return GetVertexCulledValue(mesh, vertex) < 1e-30f; }
    bool IsVertexCulled(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int vertex);
    void GetCulledOctreeNodeList(std::vector<TQOROctreeNode<int>*>& list, TKSN_Mesh* mesh, TKSN_Viewport* viewport,
                                 TQOROctreeNode<int>* node, int depth, int passed, bool testView, bool testDirection,
                                 bool testRectangle, float* rectMin, float* rectMax, bool toObjectSpace);
    void GenerateAffectedObjectsStencil();
    void GenerateAffectedObjectsStencilIfNecessary();
    void UseAffectedObjectsStencilToFixPaintingThroughSymmetricSide() {}

    // [SECTION] Selection bounds and view targets (KSN_Project_Bounds.cpp)

    bool CalculateSelectedMinMax(float* min, float* max, bool symmetric, const float* matrix = nullptr);
    bool CalculateSelectedNormalAndPosition(float* normal, float* position, bool symmetric);
    void CalculateWorldDimensions();

    // [SECTION] Drawing viewports (KSN_Project_Draw.cpp)

    // Draws the viewport now, from its cache when nothing changed.
    void DrawViewport(TKSN_Viewport* viewport);
    void AfterScreenDraw();
    // "Bump" and "Displacement" feed the subdivided render.
    bool DoesChannelInvalidateSubDRender(TQORMaterialChannel* channel);
    void DrawFullSceneParams_AllVisibleViewports(bool, bool, bool) {}

    // [SECTION] Picture objects (KSN_Project_Pictures.cpp)

    // An image file dropped at window pixel (x, y) of viewport becomes a
    // textured square facing the view; the current object stays current.
    void CreatePictureObject(TKSN_Viewport* viewport, const char* path, int x, int y);

    // [SECTION] Merging objects (KSN_Project_Merge.cpp)

    // Joins the objects with selected vertices into "Merged Object"; cannot
    // be undone. renameMaterials / renameGroups: derived names "Object-Name".
    void MergeAllObjects(bool renameMaterials, bool renameGroups, bool oneGroupPerObject, bool oneMaterialPerObject,
                         bool singleSkin);

    // [SECTION] Owned members and pointers (set up by the constructor)

    TKSN_ObjectTreeGroup* Objects = nullptr;        // "Objects" (text 398), group path "objects"
    TKSN_TopTreeGroup* Maps = nullptr;               // "Maps": the TQORMaterialMapSource items
    TKSN_SelectionUnionGroup* SelectionUnions = nullptr;   // "Selections" (text 264)
    TKSN_MorphUnionGroup* MorphUnions = nullptr;           // "Morphs" (text 266)
    TKSN_MapLayerGroup* MapLayers = nullptr;         // "*Map Layers"
    TKSN_SculptLayerGroup* SculptLayers = nullptr;   // "*Sculpt Layers"
    TKSN_Thingy MaterialsHeading;                    // the manager's materials heading (text 346)
    TKSN_Thingy GroupsHeading;                       // the manager's polygon-groups heading (text 356)
    TKSN_Layer* PolygonLayers[KSN_POLYGON_LAYER_COUNT] = {};   // slot = layer number
    TKSN_PolygonCuller* PolygonCuller = nullptr;
    TKSN_Grids* Grids = nullptr;
    TKSN_Undo_Node* UndoList = nullptr;              // oldest node first
    TKSN_Undo_Node* RedoList = nullptr;
    TKSN_TextureBrushImage AffectedObjectsStencil;
    TKSN_TextureBrushImage BrushImage;
    TKSN_TextureBrushImage ColorizedBrushImage;
    TKSN_TextureBrushImage ColorizedBrushImageRGB;
    TKSN_TextureBrushImage ColorizedBrushImageAlpha;
    TKSN_TextureBrushImage RenderedTileBrushImage;
    TQORImageMap BrushShapeImage;
    TQORImageMap PaintOverlay;
    TQORImageMap HardBrushShapeImage;
    TQORImageMap SimplifiedBrushShapeImage;
    TQORImageMap BrushStamp;
    TQORImageMap SimplifiedBrushStamp;
    TQORImageMap HardBrushStamp;
    uint32_t PreviewBrushTipTexture = 0;             // OpenGL texture name; 0 none
    int32_t* BrushOutlinePoints = nullptr;           // pixel offset pairs (x, y); QORalloc'd
    int32_t BrushOutlinePointCount = 0;              // pairs
    std::string FileName;                            // the project file's path; empty for none
    TQORTimer ViewportsChangedTimer;

    // [SECTION] Scalar fields

    uint32_t CurrentObjectID = 0;
    uint32_t ObjectContainingCurrentSelectionID = 0;
    uint32_t CurrentMorphUnionID = 0;
    int CurrentViewportIndex = 0;                    // 0..3
    TKSN_Camera* CurrentCamera = nullptr;            // the last camera made current; not owned
    int CurrentLayerIndex = 0;                       // 0..31
    int CullingMethod = 2;                           // requested
    int EffectiveCullingMethod = 2;                  // in effect for the current tool
    int AffectMode = 0;                              // 0 every object, 1 the current one, else none
    int SpecialDisplayMode = 0;                      // 0 none, 1 selection, 2 brush tiling, 3 quick render
    bool DeformingFlag = false;
    bool SelectingFlag = false;
    bool PaintingFlag = false;
    bool ToolHasFocus = false;
    bool FlashSelection = false;
    bool FlashLayerColors = false;
    bool InteractiveMotion = false;                  // the real-time-drawing flag
    int FrameMode = 0;                               // framing: 1 the current object even with several
    float LastMouseFx = 0.0f, LastMouseFy = 0.0f;    // last pointer position, viewport units
    bool ModelerOverlays = false;                    // not saved
    float WorldMin[3] = {-1.0f, -1.0f, -1.0f};
    float WorldMax[3] = {1.0f, 1.0f, 1.0f};
    float WorldCentre[3] = {0.0f, 0.0f, 0.0f};
    float WorldSize = 2.0f;
    float SceneRadius = 1.0f;                        // not saved
    // Keeps the symmetry options panel collapsed; cleared after loading a
    // project that uses symmetry. Not saved.
    bool SymmetryPanelCollapsed = true;
    // The figure content folder the CR2 export writes into. Not saved.
    std::string FigureContentPath = ":Runtime:Geometries:Kestrune:";
    // Not saved: painting options of the session.
    bool PaintOnSelectionOnly = true;
    bool MixColorAndTexture = false;
    bool PaintOverlayFlag = true;                    // no reader besides its live variable
    bool AntiAliasPaint = false;
    bool BrushMarkedVerticesOnly = false;
    bool ForceWireframeOverlayForModeler = false;
    bool DeformLockX = false;                        // deformers may not move along that axis
    bool DeformLockY = false;
    bool DeformLockZ = false;
    bool WeldOnImport = false;                       // not saved
    bool MergeSelectionSets = true;                  // not saved: a selection-set import adds to the tree
    bool MergeMorphSets = true;                      // not saved: a morph-set import adds to the tree
    float BrushShapeSize = -1.0f;                    // -1: no footprint built yet
    float BrushShapeHardness = -1.0f;
    float BrushImageAspect = 1.0f;                   // width / height
    bool BrushShapeValid = false;
    bool TiledPixelsValid = false;
    bool AffectedObjectsStencilValid = false;
    bool BrushImageLoaded = false;
    float TileWidth = 1.0f;
    float TileHeight = 1.0f;
    float InvTileWidth = 1.0f;
    float InvTileHeight = 1.0f;
    float TileScaleX = 1.0f;
    float TileScaleY = 1.0f;
    bool TilingWorkFlag = false;
    float TilingMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};   // world -> tiling space
    bool UseCustomBrushMapping = false;              // set by the geometric brushes after a stroke began
    float CustomBrushMappingMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

    // Paint channels (the edit brackets' channel warning).
    bool PaintCurrentChannel = true;
    bool PaintColor = false;
    bool PaintBump = false;
    bool PaintTransparency = false;
    bool PaintDisplacement = false;
    bool PaintAmbient = false;
    bool PaintSpecular = false;
    bool PaintNoChannel = false;                     // names no channel; only counts as "a channel is chosen"

    // [SECTION] Options stored in the project file (defaults of UseDefaultSettings)

    bool MirrorX = false;
    bool MirrorY = false;
    bool MirrorInViewport = true;
    bool PaintOnBackFaces = false;
    bool WireframeOverlay = false;
    bool VertexOverlay = false;
    bool DoAngleFade = false;
    float FadeFalloff = 0.8f;
    float FadeCutoff = 0.05f;
    bool ExtraSoftBrushStrokes = false;
    float TileRepeat = 1.0f;
    bool ExportVerticesOnly = false;
    bool ExportGroups = true;
    bool ExportGroupsAsSeparateFiles = false;
    bool ExportChangedGroups = true;
    bool ExportMorphs = true;
    bool FlipNormalsOnImport = false;
    bool FlipUVsHorizontallyOnImport = false;
    bool FlipUVsVerticallyOnImport = false;
    bool ScaleOnImport = false;
    bool UseInternalNameforGroups = false;
    float ScaleFactor = 1.0f;
    bool CenterOnImport = false;
    float WeldThreshold = 8.0f;
    bool ImportMaps = true;
    bool ImportMorphs = false;
    float GlobalDisplacementStrengthB = 1.0f;
    float GlobalBumpStrength = 1.0f;
    float RenderQualityB = 0.8f;
    bool RenderMixColors = false;
    bool RenderColorMaps = true;
    bool RenderBumpMaps = true;
    bool RenderSpecularMaps = true;
    bool RenderAmbientMaps = true;
    bool RenderDoubleSided = false;
    bool RenderTransparencyMaps = true;
    bool RenderDisplacementMaps = true;
    bool CR2AutoRig = false;
    bool CR2SetupFullBodyMorphs = true;
    bool CR2SaveNewOBJ = false;
    bool AutoFixSeams = false;
    bool UseSymmetry = false;
    bool FlipSymmetry = false;
    bool TileBrushTexture = true;
    bool FlipBrushTextureX = false;
    bool FlipBrushTextureY = false;
    bool FastPainting = false;
    float WireframeColor[3] = {0.0f, 0.0f, 0.0f};
    bool ShowCheckeredBackground = true;
    int BrushTilingStyle = 0;
    bool AutoAlignTilingWithViewport = false;
    float TileCentre[3] = {0.0f, 0.0f, 0.0f};
    float TileRotationMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float Time = 0.0f;                               // animation time
};

// The current project; null before start-up makes it and after shutdown.
extern TKSN_Project* Project;

// Opens the project file at path in place of `Project` (the main window's
// load): a fresh project reads the file; only when that succeeds does it
// replace the open project, which is deleted. On failure the open project
// stays `Project`, unchanged, and the application state the load touched
// (viewport configuration, the four viewports, orientation matrix, background
// colours) is put back. currentViewport (may be null) receives the viewport
// the file marked current, or -1.
bool KSN_LoadProjectInPlace(const char* path, int* currentViewport);

// The navigation's origin marker (saved in the project file).
extern bool NavShowOrigin;
// Used by the mesh and object readers while a project file loads.
extern int32_t LoadProjectMeshCounter;
extern bool MainObjectLoaded;

// Stopwatches of idle work: since the last paint stroke ended, and the
// low-memory poll.
extern TQORTimer TimerSinceLastPaintOperationCompleted;
extern TQORTimer LowRAMTimer;

// State of the modes and edit brackets shared across a run: the one-shot
// symmetry-check bypass, the OpenGL memory meter, the selected-vertex count
// painting works on, and whether the wrong-channel warning was shown.
extern bool TempDisableToolSymmetryCheck;
extern float OpenGLMeterValue;
extern int OpenGLMeterMapCount;
extern int TotalSelectedVertexCountForPaintingPurposes;
extern bool WarningAboutNotPaintingOnCurrentChannelWasGiven;

// The path of the brush image last loaded from a file; empty otherwise. The
// tile presets compare and store it.
extern std::string CurrentBrushFileName;

// [SECTION] Tree-group helpers (KSN_Project_Trees.cpp)
//
// Every function that takes a tree group walks that group and then its
// following siblings, each depth first in pre-order (a group's own items
// before its child groups); handed a tree's root it covers the whole tree.
// Names compare without regard to case (QORstrcmpi). Null groups find nothing.

TKSN_TreeGroup* FindGroupFromName(TKSN_TreeGroup* group, const char* name);
TKSN_Thingy* FindThingyFromName(TKSN_TreeGroup* group, const char* name);
TKSN_Thingy* FindThingyFromNameIgnoreSiblings(TKSN_TreeGroup* group, const char* name, bool ignoreSiblings);
TKSN_TreeGroup* FindGroupWhichContainsID(TKSN_TreeGroup* group, uint32_t id);
TKSN_Thingy* GetFirstThingy(TKSN_TreeGroup* group);
void SetMultiSelectAllChildrenAndItems(TKSN_TreeGroup* group, bool value);
void UnMultiSelectAnyItemInCollapsedGroup(TKSN_TreeGroup* group);
void UnMultiSelectAnyItemInCollapsedGroupB(TKSN_TreeGroup* group);
// Gives every group and item its path: the names of the enclosing groups
// from the top one down, each followed by ':' ("Objects:Heads:"). Paths of
// any length are stored whole.
void SetGroupPaths(TKSN_TreeGroup* group);
void SetGroupPaths_Recurse(TKSN_TreeGroup* group, int depth, std::string& path);
void SortTreeGroupsByNames(TKSN_TreeGroup* group, bool sortGroups, bool sortItems);

// List visitors for TKSN_TreeGroup::Traverse; each answers true.
bool GetObjectListFromObjects_OnVisit(TKSN_TreeGroup* group, int depth, void* list);
bool GetObjectCountFromObjects_OnVisit(TKSN_TreeGroup* group, int depth, void* counter);
bool GetMeshListFromObjects_OnVisit(TKSN_TreeGroup* group, int depth, void* list);
bool GetMapListFromObjects_OnVisit(TKSN_TreeGroup* group, int depth, void* list);
bool GetMorphUnionList_OnVisit(TKSN_TreeGroup* group, int depth, void* list);
bool GetSelectionUnionList_OnVisit(TKSN_TreeGroup* group, int depth, void* list);
// Deletes the thingy (userData) at its first occurrence and stops the walk.
bool DeleteThingy_OnVisit(TKSN_TreeGroup* group, int depth, void* thingy);
// Removes every occurrence of the thingy (userData) without deleting it.
bool ClearThingy_OnVisit(TKSN_TreeGroup* group, int depth, void* thingy);

// [SECTION] Unique names (KSN_Project_Names.cpp)
//
// The naming rules of layers, morphs, maps, selections, polygon groups and
// materials. Uniqueness is tested without regard to case. Generators write a
// free name (the wanted one when it is free) into out; testers answer true
// when no other item of the scope (renamed skipped; may be null) bears the
// name. Output and message buffers hold KSN_NAME_BUFFER bytes: names of up to
// 999 characters come back whole with any suffix; a longer wanted name is cut
// short before its number is added, so the number that makes it unique stays.
// Names are matched and written literally: a '%' in a name is a plain character.
inline constexpr int KSN_NAME_BUFFER = 1024;

using TKSN_UniqueNameFunc = void (*)(const char* wanted, char* out);
using TKSN_IsNameUniqueFunc = bool (*)(const char* wanted, TQORThingy* renamed, char* message);

void GetUniqueLayerName(const char* wanted, char* out);
bool IsLayerNameUnique(const char* wanted, TQORThingy* renamed, char* message);
void GetUniqueMorphName(const char* wanted, char* out);
bool IsMorphNameUnique(const char* wanted, TQORThingy* renamed, char* message);
// False (taken) when no object with a mesh holds the current selection.
bool IsMorphNameUniqueToObjectContainingCurrentSelection(const char* wanted, TQORThingy* renamed, char* message);
// The result always ends in an export image type of the application.
void GetUniqueMapName(const char* wanted, char* out);
// Refuses a name whose extension is no export image type, explaining the types in message.
bool IsMapNameUnique(const char* wanted, TQORThingy* renamed, char* message);
void GetUniqueSelectionName(const char* wanted, char* out);
bool IsSelectionNameUnique(const char* wanted, TQORThingy* renamed, char* message);
void GetUniqueGroupNameInSelectedObject(const char* wanted, char* out);
bool IsGroupNameUniqueInSelectedObject(const char* wanted, TQORThingy* renamed, char* message);
void GetUniqueMaterialNameInSelectedObject(const char* wanted, char* out);
bool IsMaterialNameUniqueInSelectedObject(const char* wanted, TQORThingy* renamed, char* message);
bool IsGroupNameUniqueInObjectsWithHighlightedGroups(const char* wanted, TQORThingy* renamed, char* message);
bool IsMaterialNameUniqueInObjectsWithHighlightedMaterials(const char* wanted, TQORThingy* renamed, char* message);

// The name of a duplicate: the last bracket dropped, " Copy" added unless
// there, then through generator (null: as it is).
void GetCopyOfName(char* out, const char* name, TKSN_UniqueNameFunc generator);
// Splits trailing digits off name; base holds strlen(name) + 1 bytes. A number
// beyond int reads as INT_MAX.
void GetNumberedName(const char* name, char* base, int* number);
// Renames in place every item whose name repeats an earlier one ("Skin",
// "Skin1", "Skin2"); null lists are ignored.
void MakeListItemNamesUnique(TQORNewStaticList<TKSN_Thingy*>* list);
void MakeListItemNamesUnique_QORThingy(TQORNewStaticList<TQORThingy*>* list);
// Equal without regard to case and to everything from the first ':'.
bool Morph_NamesEqual(const char* a, const char* b);

// The rules over plain lists of names, in scope order.
using TKSN_NameList = std::vector<std::string>;
// The bracket numbering of the generators ("Paint (4)").
std::string KSN_BracketNumberedName(const char* wanted, const TKSN_NameList& names);
std::string KSN_UniqueMapName(const char* wanted, const TKSN_NameList& mapNames, const TKSN_NameList& exportTypes);
bool KSN_IsNameFree(const char* wanted, const TKSN_NameList& names);
// message (may be null) receives the explanation when the extension is refused.
bool KSN_IsMapNameFree(const char* wanted, const TKSN_NameList& otherMapNames, const TKSN_NameList& exportTypes,
                       std::string* message);
std::string KSN_CopyOfName(const char* name);
void KSN_SplitNumberedName(const char* name, std::string& base, int64_t& number);
// name as list de-duplication leaves it after the earlier names ("Skin2").
std::string KSN_ListItemName(const TKSN_NameList& earlier, const char* name);
void KSN_MakeNamesUnique(TKSN_NameList& names);
// The application's export image types, in the order of the export dialogs.
TKSN_NameList KSN_GetExportImageFileTypes();
